# Static checks of the built images (objdump): format, exports, imports, and the
# entry points they bind to.

exports_of() { "$OBJDUMP" -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t {t=0}'; }

dlls_of() { "$OBJDUMP" -p "$1" | awk '/DLL Name:/ {print $3}'; }

imports_from() { # FILE DLL
  "$OBJDUMP" -p "$1" | awk -v dll="$2" '
    /DLL Name:/ {on = ($3 == dll); next}
    on && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+/ {print $3; next}
    on && NF == 0 {on = 0}'
}

# The import lists the plug-ins were linked against (host/*.def.in, mapped
# for the architecture) name exactly what they take from the host.
def_checks() { # ARCH DIST SUFFIX
  local arch=$1 dist=$2 suffix=$3 lib
  for lib in libmx libmex; do
    local listed used
    listed=$(awk 'on && $1 !~ /^;/ && NF {print $1} /^EXPORTS/ {on=1}' "$dist/testhost/$lib.def" | sort)
    used=$(for f in "$dist"/*."$suffix"; do imports_from "$f" "$lib.dll"; done | sort -u)
    check "$arch $lib.def lists exactly the names the plug-ins import" [ "$listed" = "$used" ] -- \
      "$(diff <(echo "$listed") <(echo "$used"))"
  done
}

# Every name a plug-in takes from libmx.dll or libmex.dll is one that MATLAB's
# own libraries export (matlab_win64_exports.txt, read off a 64-bit release).
# A 64-bit plug-in must not bind to a plain name marked as the legacy twin
# with 32-bit int sizes; 32-bit MATLAB exports only plain names, whose sizes
# are as wide as size_t there, so for .mexw32 any listed name will do.
matlab_entry_checks() { # ARCH DIST SUFFIX
  local arch=$1 dist=$2 suffix=$3 cmd lib name entry
  local list=$here/matlab_win64_exports.txt
  for cmd in $commands; do
    local unlisted="" legacy="" names=""
    for lib in libmx libmex; do
      for name in $(imports_from "$dist/$cmd.$suffix" "$lib.dll"); do
        names+="$name "
        entry=$(awk -v d="$lib.dll" -v n="$name" '$1 == d && $2 == n {print ($3 == "" ? "plain" : $3)}' "$list")
        [ -z "$entry" ] && unlisted+="$lib.dll:$name "
        [ "$suffix" = mexw64 ] && [ "$entry" = int-twin ] && legacy+="$lib.dll:$name "
      done
    done
    check "$arch $cmd: imports only entry points MATLAB exports" [ -z "$unlisted" ] -- "not exported: $unlisted"
    check "$arch $cmd: no legacy 32-bit-size entry point" [ -z "$legacy" ] -- "legacy: $legacy"
    echo "    $arch $cmd imports: $names"
  done
}

# The system's own DLLs, there on every Windows (winmm: the simulator's
# millisecond timer for its link models).
system_dlls='kernel32|msvcrt|ntdll|advapi32|user32|ws2_32|setupapi|winmm|api-ms-win-[a-z0-9-]+'
# What a plug-in may import: those and the host's two.
allowed_dll="^($system_dlls|libmx|libmex)\.dll\$"

static_checks() { # ARCH DIST SUFFIX FORMAT
  local arch=$1 dist=$2 suffix=$3 format=$4
  local host_mx host_mex
  host_mx=$(exports_of "$dist/testhost/libmx.dll" | sort)
  host_mex=$(exports_of "$dist/testhost/libmex.dll" | sort)
  for cmd in $commands; do
    local f=$dist/$cmd.$suffix
    if [ ! -f "$f" ]; then
      fail "$arch $cmd: plug-in present" "missing $f"
      continue
    fi
    local fmt exports dlls bad missing=""
    fmt=$("$OBJDUMP" -f "$f" | awk '/file format/ {print $NF}')
    exports=$(exports_of "$f" | tr '\n' ' ')
    dlls=$(dlls_of "$f" | tr '\n' ' ')
    bad=$(dlls_of "$f" | grep -viE "$allowed_dll" | tr '\n' ' ')
    for name in $(imports_from "$f" libmx.dll); do
      grep -qx "$name" <<<"$host_mx" || missing+="libmx.dll:$name "
    done
    for name in $(imports_from "$f" libmex.dll); do
      grep -qx "$name" <<<"$host_mex" || missing+="libmex.dll:$name "
    done
    check "$arch $cmd: $format image" [ "$fmt" = "$format" ] -- "format $fmt"
    check "$arch $cmd: exports only mexFunction" [ "$exports" = "mexFunction " ] -- "exports: $exports"
    check "$arch $cmd: imports only system DLLs and libmx/libmex" [ -z "$bad" ] -- "imports: $dlls"
    check "$arch $cmd: host names resolve in the stand-in" [ -z "$missing" ] -- "unresolved: $missing"
  done
}

# linksim.exe, the simulator in the zip: a 64-bit image that imports the
# system's DLLs only (its runtime linked in, as a double-click finds no
# other) and has no link time in its header (builds of one commit are
# byte-identical).
simulator_checks() { # EXE
  local f=$1
  if [ ! -f "$f" ]; then
    fail "linksim.exe: present" "missing $f"
    return
  fi
  local fmt dlls bad header stamp
  fmt=$("$OBJDUMP" -f "$f" | awk '/file format/ {print $NF}')
  dlls=$(dlls_of "$f" | tr '\n' ' ')
  bad=$(dlls_of "$f" | grep -viE "^($system_dlls)\.dll\$" | tr '\n' ' ')
  # The COFF header's TimeDateStamp: 8 bytes into the header that the
  # 32-bit word at 0x3c points to.
  header=$(od -An -tu4 -j 60 -N 4 "$f" | tr -d ' ')
  stamp=$(od -An -tu4 -j $((header + 8)) -N 4 "$f" | tr -d ' ')
  check "linksim.exe: pei-x86-64 image" [ "$fmt" = pei-x86-64 ] -- "format $fmt"
  check "linksim.exe: imports only system DLLs" [ -z "$bad" ] -- "imports: $dlls"
  check "linksim.exe: no time stamp in the image" [ "$stamp" = 0 ] -- "TimeDateStamp $stamp"
}
