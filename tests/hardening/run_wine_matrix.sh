#!/usr/bin/env bash
# A trimmed bad-input matrix for the Windows plug-ins, run in the stand-in
# host (mexrun.exe) under Wine against the simulator on COM5 (a free one on
# COM6 lets attaches succeed): every argument position of every command with
# each kind the runner can build, output counts 0..3, input counts 0..6.
# Each call must end "ok" or with one of the commands' messages; a runner
# fault, an unknown message or a dead runner is a failure.
#   run_wine_matrix.sh ARCH DIST LINKSIM SOURCE_DIR
# ARCH is win32 or win64; DIST holds its plug-ins and testhost/
# (scripts/build_windows.sh). win32 runs under qemu-i386 where the kernel
# runs no 32-bit code (tests/wine/emulation/). Environment: WINE32, WINE64,
# WINESERVER; MEXLINK_WINE_REQUIRE32=1 makes a host that cannot run 32-bit
# Wine a failure; KEEP_WINE_TMP=1 keeps the work folder (script, runner
# output). Ends with "N passed, N failed". Exits 77 (skipped) when the
# Windows build or Wine is not there, or win32 cannot run here.
set -u
arch=$1 linksim=$3 srcdir=$4
WINE32=${WINE32:-/usr/lib/wine/wine}
WINE64=${WINE64:-/usr/lib/wine/wine64}
loader=$WINE64
[[ $arch == win32 ]] && loader=$WINE32
if [[ ! -f $2/testhost/mexrun.exe || ! -x $loader ]]; then
  echo "SKIPPED: no $2/testhost/mexrun.exe (scripts/build_windows.sh) or no $loader"
  exit 77
fi
dist=$(cd "$2" && pwd)
[[ -x $linksim ]] || { echo "linksim not found: $linksim" >&2; exit 2; }

source "$srcdir/tests/wine/harness.sh"
if [[ $arch == win32 ]] && ! win32_loader "$WINE32"; then
  ((failed)) && exit 1
  exit 77
fi
wine_prefix "$work/prefix" "$loader" "$arch" || exit 1
start_sim com5 com5
start_sim com6 com6
timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1

# The commands' messages with their identifiers ("mexlink:ID TEXT"), from their sources.
sed -nE 's/^ *ITEM\(([A-Za-z]+), *[A-Za-z0-9]*, "([^"]*)"\).*/mexlink:\1 \2/p' "$srcdir/core/frame/messages.hpp" >"$work/messages"

attach='h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:1'
restore=('linkDetach 0 $h' "$attach")
generic=(d:0 d:1 d:-1 d:2.7 d:nan d:inf d:-inf d:1e300 d:-1e300 d:2147483648 d:4294967296
         single:1 i8:-128 u8:255 i16:1 u16:1 i32:-2147483648 u32:1 i64:-9223372036854775808
         u64:18446744073709551615 logical:1 z:1 zsingle:1 zi32:1 s:abc s: c2:ab,cd v:1,2,3
         e:double e:single e:u8 e:u32 e:char e:logical e:cell e:struct sp: cell: struct:)
handles=('$h' u32:4294967295 u32:2147483647 zu32:5 e:u32 d:5 v:5)
ports=(s:COM6 s:COM5 s:COM99 s:NUL c2:CO,M6 s:)
declare -A valid=(
  [linkAttach]='s:COM6 d:115200 d:8 d:0 d:1' [linkDetach]='$h' [linkRun]='$h s:idle' [linkHalt]='$h'
  [linkSend]='$h d:1 d:2 d:3' [linkGains]='$h d:10 d:20 d:30' [linkState]='$h' [linkPeek]='$h'
  [linkPorts]='s:/' [linkProbe]='s:COM99 d:115200 d:8 d:0 d:0.05')

# linkProbe's own call names a port that is not there, so a call that
# passes its checks ends at once whatever time it asks for; s:COM6, among
# the names tried first, is probed for 0.05 s.
# Lines of the script. An attach is tried with the working port closed (so
# a success on COM6 or COM5 leaks nothing); a call that may close or replace
# the working port is followed by the lines that restore it. Those lines are
# checked like any other call.
lines=("$attach")
add() { # COMMAND NLHS ARGS...
  if [[ $1 == linkAttach ]]; then
    lines+=('linkDetach 0 $h' "h = $*")
  else
    lines+=("$*")
  fi
  case $1 in linkAttach | linkDetach) lines+=("${restore[@]}") ;; esac
}
for command in $(basename -s .cpp "$srcdir"/commands/*.cpp); do
  [[ -n ${valid[$command]:-} ]] || { fail "$command has no valid call in this matrix"; continue; }
  read -ra args <<<"${valid[$command]}"
  for pos in "${!args[@]}"; do
    kinds=("${generic[@]}")
    if ((pos == 0)); then
      if [[ $command == linkAttach || $command == linkProbe ]]; then kinds+=("${ports[@]}"); else kinds+=("${handles[@]}"); fi
    fi
    for kind in "${kinds[@]}"; do
      for nlhs in 0 1 2 3; do
        call=("${args[@]}")
        call[pos]=$kind
        add "$command" "$nlhs" "${call[@]}"
      done
    done
  done
  for nin in 0 1 2 3 4 5 6; do
    extra=("${args[@]}" d:1 d:2 d:3 d:4 d:5 d:6)
    for nlhs in 0 1 2 3; do
      add "$command" "$nlhs" "${extra[@]:0:nin}"
    done
  done
done
printf '%s\n' "${lines[@]}" >"$work/script"

t0=$SECONDS
(cd "$dist" && timeout 600 "$wine" testhost/mexrun.exe -d . - <"$work/script" >"$work/out" 2>"$work/err")
rc=$?

# One block per call, from "call" to "ok"/"failed"; check each against its line.
awk -v messages="$work/messages" -v script="$work/script" -v rc="$rc" '
  BEGIN {
    while ((getline m < messages) > 0) known[m] = 1
    while ((getline l < script) > 0) line[++calls] = l
  }
  { sub(/\r$/, "") }
  # The host exits after the script: its unloads are no calls.
  /^clear / { unloading = 1 }
  unloading && /^(ok|failed)$/ { unloading = 0; next }
  /^call / { started++; called = $2; errors = ""; ids = ""; outs = ""; warned = 0; causes = "" }
  /^error / { errors = errors substr($0, 7) "\n" }
  # A warning (the cause of an open error, an Incoming port, a name not
  # copied) is no error.
  /^warning / { warned = 1; next }
  /^id / && warned { warned = 0; causes = causes substr($0, 4); next }
  /^id / { ids = ids substr($0, 4) "\n" }
  /^out[0-9]/ { outs = outs $0 "\n" }
  /^(ok|failed)$/ {
    n++
    call = line[n]; sub(/^[A-Za-z_]+ = /, "", call)
    split(call, w, " "); cmd = w[1]; nlhs = w[2]
    if (n != started || w[1] != called) { bad++; printf "FAILED: call %d of the script is not %s\n", n, called }
    problem = ""
    if (causes != "" && causes != "mexlink:openCause" && causes != "mexlink:incomingPort" && causes != "mexlink:nameCopyFailed") problem = "warning " causes
    else if ($0 == "failed") {
      m = ids errors; sub(/\n$/, "", m); sub(/\n/, " ", m)
      if (m == "" || index(m, "\n") > 0 || !(m in known)) problem = "error \"" m "\""
    } else if (outs ~ /unset/ && called != "linkSend" && called != "linkGains") problem = "output asked for but left unset (a host error in MATLAB and Octave)"
    else if (nlhs == 0 && outs != "") problem = "outputs described for nlhs 0"
    else if (cmd == "linkAttach" && nlhs >= 1 && outs !~ /^out1 class=uint32 size=1x1 /) problem = "output " outs
    else if (cmd == "linkState" && nlhs >= 1 && outs !~ /^out1 class=double size=7x1 /) problem = "output " outs
    else if (cmd == "linkState" && nlhs >= 2 && outs !~ /out2 class=int8 size=1x1 values=[01]\n/) problem = "output " outs
    else if (cmd == "linkPeek" && nlhs >= 1 && outs !~ /^out1 class=uint8 size=7x1 /) problem = "output " outs
    else if (cmd == "linkPorts" && nlhs >= 1 && outs !~ /^out1 class=cell size=[0-9]+x1\n/) problem = "output " outs
    else if (cmd == "linkProbe" && nlhs >= 1 && outs !~ /^out1 class=struct size=1x1 /) problem = "output " outs
    if (problem != "") { bad++; if (bad <= 40) printf "FAILED: %s: %s\n", line[n], problem }
  }
  END {
    if (n < calls) { bad++; printf "FAILED: the runner stopped (exit %d) at call %d of %d: %s\n", rc, n + 1, calls, line[n + 1] }
    printf "wine matrix: %d calls, %d failures\n", n, bad
    exit bad > 0
  }' "$work/out"
matrix_failed=$?
echo "in $((SECONDS - t0)) s"
if ((matrix_failed)); then fail "$arch wine matrix$(under_emulation)"; else pass "$arch wine matrix$(under_emulation)"; fi
check_quiet "$arch" runner "$work/err"
((failed == 0))
