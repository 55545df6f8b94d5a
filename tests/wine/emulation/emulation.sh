# 32-bit Wine on a kernel that does not run 32-bit code: qemu-i386's user
# mode in a user namespace (run_i386.sh), with the bridges of qemu_gaps.c
# preloaded. Sourced by tests/wine/harness.sh; test infrastructure only.

emulation_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The lines qemu and the bridges write (to the emulated program's stderr).
emulator_line='^(qemu: |qemu-i386: |emulation: )'

# emulation_missing: what this host lacks for the emulation, or nothing.
emulation_missing() {
  local why
  if ! command -v qemu-i386 >/dev/null && ! command -v qemu-i386-static >/dev/null; then
    echo "no qemu-i386 (Debian package qemu-user)"
  elif [ ! -e /usr/lib/i386-linux-gnu/libc.so.6 ]; then
    echo "no i386 C library (Debian package libc6:i386, which wine32:i386 brings)"
  elif ! why=$(unshare --user --map-root-user true 2>&1); then
    echo "no user namespaces (unshare --user: $why)"
  elif ! why=$(unshare --user --map-root-user --mount mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>&1); then
    echo "no binfmt_misc in a user namespace (Linux 6.7 or later; mount: $why)"
  fi
}

# emulation_prepare DIR LOADER: builds the bridges and the canaries into DIR
# and writes DIR/wine, which runs LOADER under the emulation. Says why on
# failure.
emulation_prepare() {
  local dir=$1 loader=$2
  mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu"
  gcc -m32 -O2 -Wall -Wextra -Werror -ffreestanding -fPIC -fno-stack-protector -nostdlib -shared \
      -o "$dir/lib/i386-linux-gnu/libqemu_gaps.so" "$emulation_dir/qemu_gaps.c" /usr/lib/i386-linux-gnu/libc.so.6 \
    && gcc -shared -nostdlib -o "$dir/lib/x86_64-linux-gnu/libqemu_gaps.so" -x c /dev/null \
    && gcc -m32 -O2 -ffreestanding -fno-pic -fno-stack-protector -nostdlib -static \
      -o "$dir/canary" "$emulation_dir/canary.c" \
    && i686-w64-mingw32-gcc -O2 -Wall -o "$dir/fault_probe.exe" "$emulation_dir/fault_probe.c" \
    || return 1
  printf '#!/bin/sh\nexec bash %q %q %q "$@"\n' "$emulation_dir/run_i386.sh" "$dir" "$loader" >"$dir/wine"
  chmod +x "$dir/wine"
}

# emulation_canary DIR: the trivial 32-bit program, under the emulation.
emulation_canary() {
  local out
  out=$(timeout 60 bash "$emulation_dir/run_i386.sh" "$1" "$1/canary" 2>&1)
  [ "$out" = "32-bit code runs" ] || { echo "$out"; return 1; }
}

# emulation_fault_canary DIR: in the prefix of WINEPREFIX, 32-bit Windows code
# that writes to address 0 gets the access violation a kernel's fault gives.
emulation_fault_canary() {
  local out
  out=$(cd "$1" && timeout 120 "$1/wine" fault_probe.exe 2>&1 | tr -d "\r")
  [ "$out" = "exception c0000005 access 1 address 00000000" ] || { echo "$out"; return 1; }
}
