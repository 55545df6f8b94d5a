#!/usr/bin/env bash
# run_i386.sh SHIM_DIR COMMAND ARG...: COMMAND, and every process it starts,
# with 32-bit x86 programs run by qemu-i386's user mode. A user namespace of
# its own mounts a binfmt_misc instance (Linux 6.7 and later) with one
# handler, for i386 ELF; nothing outside the namespace sees it and no root is
# needed outside. A nested namespace maps back the caller's user, so Wine
# finds its server where processes outside do. SHIM_DIR/$LIB holds the
# bridges (qemu_gaps.c) for i386 and an empty library of the same name for
# x86-64, which 64-bit processes (the wineserver) inherit from LD_PRELOAD.
set -euo pipefail
shim_dir=$1
shift
qemu=$(command -v qemu-i386 || command -v qemu-i386-static)
# ELF class 32, little-endian, version 1, any OS ABI; ET_EXEC or ET_DYN; EM_386.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# F: qemu is opened now, P: the program keeps its argv[0].
handler=":mexlink-i386:M::$magic:$mask:$qemu:FP"
export LD_PRELOAD="$shim_dir/\$LIB/libqemu_gaps.so${LD_PRELOAD:+ $LD_PRELOAD}"
exec unshare --user --map-root-user --mount -- bash -c '
  set -euo pipefail
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  printf %s "$1" >/proc/sys/fs/binfmt_misc/register
  shift
  exec unshare --user --map-user="$1" --map-group="$2" -- "${@:3}"' \
  run_i386 "$handler" "$(id -u)" "$(id -g)" "$@"
