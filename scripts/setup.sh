#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the chosen job still lacks.
# Idempotent: when everything is present it asks apt nothing.
#   scripts/setup.sh demo      build tools, Octave, plotting
#   scripts/setup.sh windows   the above plus mingw-w64 (scripts/build_windows.sh)
#   scripts/setup.sh release   the above plus Python (scripts/make_release.sh)
#   scripts/setup.sh test      the above plus test, fuzzing and Windows tools
#                              (qemu-user runs 32-bit Wine where the kernel
#                              runs no 32-bit code)
# Run as root, it installs directly; as another user, through sudo.
set -euo pipefail

job=${1:-demo}
packages=(g++ make cmake pkg-config googletest libgtest-dev octave liboctave-dev gnuplot-nox fonts-dejavu-core fonts-freefont-otf)
if [[ $job == windows || $job == release || $job == test ]]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
fi
if [[ $job == release || $job == test ]]; then
  packages+=(python3)
fi
if [[ $job == test ]]; then
  packages+=(unzip valgrind clang libclang-rt-14-dev
             wine wine32 wine64 qemu-user octave-instrument-control)
fi

as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

if [[ $job == test ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  arch_pkg=$p
  [[ $p == wine32 ]] && arch_pkg=wine32:i386
  if ! dpkg-query -W -f='${Status}' "$arch_pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$arch_pkg")
  fi
done

if ((${#missing[@]})) || [[ -n ${need_update:-} ]]; then
  echo "setup: installing ${#missing[@]} Debian packages (a few minutes the first time): ${missing[*]}"
  # apt's own chatter goes to a log; on failure one line says why and what to do.
  log=$(mktemp /tmp/mexlink-setup.XXXXXX.log)
  if ! { as_root apt-get update -qq &&
         { ((${#missing[@]} == 0)) ||
           as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; }
       } >"$log" 2>&1; then
    if grep -qE 'File has unexpected size|Hash Sum mismatch|Mirror sync in progress|Release file .* is not valid yet' "$log"; then
      echo "setup: Debian's package index is out of step on the mirror (it is being updated): wait a few minutes," \
        "then run the command again (apt's log: $log)" >&2
    elif grep -qE 'Could not resolve|Failed to fetch|Temporary failure|Unable to connect' "$log"; then
      echo "setup: Debian's package mirror cannot be reached: check the network, then run the command again" \
        "(apt's log: $log)" >&2
    else
      echo "setup: installing failed: $(grep -E '^E: ' "$log" | head -n1) (apt's log: $log)" >&2
    fi
    exit 1
  fi
  rm -f "$log"
fi
