# Harness of the Wine tests, sourced by run_wine_tests.sh and
# tests/hardening/run_wine_matrix.sh: results, the work folder, Wine prefixes
# (32-bit ones under qemu-i386 where the kernel runs no 32-bit code, see
# emulation/), simulated controllers on COM ports, and the runner
# (testhost/mexrun.exe) that calls the plug-ins inside the stand-in host.
#
# The sourcing script sets `linksim` (the simulator) and may set
# `skipped_note`; WINESERVER names Wine's server. KEEP_WINE_TMP=1 keeps the
# work folder; MEXLINK_WINE_REQUIRE32=1 turns a host that cannot run 32-bit
# Wine from a skip into a failure. Every run ends with "N passed, N failed",
# an interrupted one too.

source "$(dirname "${BASH_SOURCE[0]}")/emulation/emulation.sh"

passed=0
failed=0
skipped_note=""
sim_dirs=()
prefixes=()
runner_pid=""
work=$(mktemp -d /tmp/mexlink-wine.XXXXXX)
# The 32-bit loader under the emulation (win32_loader), and whether the
# current prefix runs under it.
emulated_wine=$work/emulation/wine
emulated=0
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}

cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null
  local dir prefix
  for dir in "${sim_dirs[@]}"; do
    bash "$launcher" stop "$dir" >/dev/null 2>&1
  done
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX=$prefix timeout 20 "$WINESERVER" -k >/dev/null 2>&1
  done
  if [ "${KEEP_WINE_TMP:-0}" = 1 ] || [ "$failed" -ne 0 ]; then
    echo "work folder kept: $work"
  else
    rm -rf "$work"
  fi
  [ -n "$skipped_note" ] && echo "SKIPPED $skipped_note"
  echo "$passed passed, $failed failed"
}
trap cleanup EXIT
trap 'fail "interrupted"; exit 130' INT TERM
# A runner that died (or closed its input) must fail the checks, not end the script.
trap '' PIPE

# ---------------------------------------------------------------- results
not() { ! "$@"; }
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; shift; [ $# -gt 0 ] && printf '    %s\n' "$@"; }

# check NAME CONDITION-COMMAND... [-- DETAIL]
check() {
  local name=$1; shift
  local detail=() cmd=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do cmd+=("$1"); shift; done
  [ $# -gt 0 ] && { shift; detail=("$@"); }
  if "${cmd[@]}"; then pass "$name"; else fail "$name" "${detail[@]}"; fi
}

# expect NAME: the last runner block must equal stdin.
expect() {
  local want
  want=$(cat)
  if [ "$block" = "$want" ]; then
    pass "$1"
  else
    fail "$1" "expected:" "$want" "got:" "$block"
  fi
}

# expect_failure NAME COMMAND ID MESSAGE: the last block is one call of
# COMMAND that failed with MESSAGE under identifier ID.
expect_failure() { expect "$1" <<<"call $2"$'\n'"error $4"$'\n'"id $3"$'\n'"failed"; }

# raised ID MESSAGE: the last block holds an error MESSAGE under identifier ID.
raised() { [[ $block == *$'error '"$2"$'\nid '"$1"$'\n'* ]]; }

in_range() { [ "$1" -ge "$2" ] && [ "$1" -lt "$3" ]; }

# check_quiet ARCH WHAT FILE: WHAT wrote nothing to its stderr, FILE. Under
# the emulation the lines qemu and the bridges write are told apart from the
# rest and checked on their own, so a fault of the emulator is named as such.
check_quiet() {
  local a=$1 what=$2 file=$3
  if [ "$emulated" = 0 ]; then
    check "$a $what wrote nothing to stderr" [ ! -s "$file" ] -- "$(head -n5 "$file")"
    return
  fi
  local noise rest
  noise=$(grep -E "$emulator_line" "$file")
  rest=$(grep -vE "$emulator_line" "$file")
  check "$a the emulator reported no fault in the $what's processes" [ -z "$noise" ] -- "$(head -n5 <<<"$noise")"
  check "$a $what wrote nothing else to stderr" [ -z "$rest" ] -- "$(head -n5 <<<"$rest")"
}

# ---------------------------------------------------------------- Wine
# under_emulation: " (under qemu-i386)" for an emulated prefix, for titles.
under_emulation() { if ((emulated)); then echo " (under qemu-i386)"; fi; }

# win32_loader LOADER: sets `loader` to what runs the 32-bit Wine LOADER
# here: LOADER itself where the kernel runs 32-bit code, else LOADER under
# the emulation once its canary, a trivial 32-bit program, has run. Returns 1
# when 32-bit Wine cannot run: a failure, or for a missing piece a skip in
# `skipped_note` (a failure with MEXLINK_WINE_REQUIRE32=1).
win32_loader() {
  loader=$1
  "$loader" --version >/dev/null 2>&1 && return 0
  local missing out
  missing=$(emulation_missing)
  if [ -n "$missing" ]; then
    if [ "${MEXLINK_WINE_REQUIRE32:-0}" = 1 ]; then
      fail "win32: 32-bit Wine runs here" "$loader cannot be executed, nor emulated: $missing"
    else
      skipped_note="win32 plug-ins not run: $loader cannot be executed here, nor emulated: $missing"
    fi
    return 1
  fi
  if ! out=$(emulation_prepare "$work/emulation" "$loader" 2>&1); then
    fail "win32 emulation: the bridges and the canary build" "$out"
    return 1
  fi
  if ! out=$(emulation_canary "$work/emulation"); then
    fail "win32 emulation canary: a trivial 32-bit program runs under qemu-i386" "$out"
    return 1
  fi
  pass "win32 emulation canary: a trivial 32-bit program runs under qemu-i386"
  loader=$emulated_wine
}

# wine_prefix DIR LOADER ARCH: a fresh prefix in DIR for LOADER (wine or
# wine64, or the emulated wine) and WINEARCH ARCH; exports what Wine needs
# and sets `wine` and `emulated`. Under the emulation its fault canary runs
# next.
wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=$3 WINEDEBUG=-all
  wine=$2
  emulated=0
  [ "$wine" = "$emulated_wine" ] && emulated=1
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
  # Under the emulation Wine's post-mortem debugger hangs, waiting on the
  # server: there a crashed process ends at once, after Wine's one-line report.
  ((emulated)) && WINEDLLOVERRIDES+=";winedbg.exe="
  unset DISPLAY WAYLAND_DISPLAY
  prefixes+=("$WINEPREFIX")
  mkdir -p "$WINEPREFIX"
  local out
  timeout 180 "$wine" wineboot -i </dev/null >"$WINEPREFIX.boot.log" 2>&1 \
    || { fail "Wine prefix for $3$(under_emulation)" "wineboot -i exited $?" "$(tail -n5 "$WINEPREFIX.boot.log")"; return 1; }
  ((emulated)) || return 0
  if ! out=$(emulation_fault_canary "$work/emulation"); then
    fail "$3 emulation canary: a write to address 0 is an access violation" "$out"
    return 1
  fi
  pass "$3 emulation canary: a write to address 0 is an access violation"
}

# map_port PORT DEVICE: Wine's COM port PORT (e.g. com5) is DEVICE, both ways
# Wine knows a port: the registry (mountmgr rebuilds the device links from it
# when the server starts) and the device link itself.
map_port() {
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "${1^^}" /t REG_SZ /d "$2" /f </dev/null >/dev/null 2>&1
  ln -sfn "$2" "$WINEPREFIX/dosdevices/$1"
}

# ---------------------------------------------------------------- simulator
# Simulated controllers, started by scripts/simulator.sh (LINKSIM: `linksim`).
launcher=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/simulator.sh
octave_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")/../octave/lib" && pwd)

# start_sim VAR PORT ARGS...: a simulated controller serving Windows port PORT
# (with PORT -, none: one on TCP, --listen). VAR_dir, VAR_log, VAR_device and
# VAR_pid name its folder, its telegram log, its device (or socket name) and
# its process.
start_sim() {
  local var=$1 port=$2; shift 2
  local dir=$work/$WINEARCH-$var started device pid
  started=$(LINKSIM=$linksim bash "$launcher" start "$dir" "$@" 2>&1) \
    || { fail "$var: linksim started" "$started"; return 1; }
  read -r device pid <<<"$started"
  sim_dirs+=("$dir")
  printf -v "${var}_dir" %s "$dir"
  printf -v "${var}_log" %s "$dir/log"
  printf -v "${var}_device" %s "$device"
  printf -v "${var}_pid" %s "$pid"
  [ "$port" = - ] || map_port "$port" "$device"
}

# start_exe_sim VAR EXE ARGS...: the simulator built for Windows, EXE, under
# 64-bit Wine, on TCP (--listen 0), as start_sim starts one: in the current
# prefix when that is a 64-bit one, else in a 64-bit prefix of its own, made
# once. SIGINT ends it cleanly (Wine hands it to its Ctrl-C handler); the
# SIGTERM of simulator.sh stop kills it.
start_exe_sim() {
  local var=$1 exe=$2 prefix=$WINEPREFIX
  shift 2
  if [ "$WINEARCH" != win64 ]; then
    prefix=$work/exe-prefix
    if [ ! -d "$prefix" ]; then
      prefixes+=("$prefix")
      mkdir -p "$prefix"
      WINEPREFIX=$prefix WINEARCH=win64 timeout 180 "$WINE64" wineboot -i </dev/null >"$prefix.boot.log" 2>&1 \
        || { fail "Wine prefix for linksim.exe" "wineboot -i exited $?" "$(tail -n5 "$prefix.boot.log")"; return 1; }
    fi
  fi
  WINEPREFIX=$prefix WINEARCH=win64 linksim="$WINE64 $exe" start_sim "$var" - --listen 0 "$@"
}

# sim_ctl VAR COMMAND: one control command, answered with "ok".
sim_ctl() {
  local dir=${1}_dir
  shift
  bash "$launcher" send "${!dir}" "$*" >/dev/null
}

# wait_log FILE LINE: until the simulator logged exactly LINE (5 s at most).
wait_log() {
  local i
  for i in $(seq 250); do
    grep -Fxq -- "$2" "$1" && return 0
    sleep 0.02
  done
  return 1
}

# logged_status LOG: linkState's two outputs in the last block are the newest
# frame of the simulator's log, as the Octave tests' logged_status decodes it.
logged_status() {
  local values flag seq newest
  values=$(values_of 1)
  flag=$(values_of 2)
  [ "$flag" = 0 ] || { echo "isShort=$flag"; return 1; }
  seq=${values%%,*}
  newest=$(grep -E '^frame ' "$1" | tail -n1 | cut -d' ' -f2)
  [ "$seq" = "$newest" ] || { echo "frame $seq is not the newest ($newest)"; return 1; }
  octave-cli --norc --no-history --no-window-system --path "$octave_lib" \
    --eval "assert([$values].', logged_status('$1', $seq), 1e-9)" </dev/null 2>&1
}

# ---------------------------------------------------------------- runner
# One mexrun process serves every call of an architecture, fed line by line
# through a pipe; its replies go to $run_dir/run.out.
start_runner() { # DIST RUN_DIR
  run_dir=$2
  mkfifo "$run_dir/run.in"
  (cd "$1" && exec "$wine" testhost/mexrun.exe -d . - <"$run_dir/run.in" >"$run_dir/run.out" 2>"$run_dir/run.err") &
  runner_pid=$!
  exec {run_fd}>"$run_dir/run.in"
}

# runner_canary ARCH: the runner answers a line that loads no plug-in (it
# probes handle 0 as a port of its own). Until it does, no plug-in is tried:
# a failure here is the emulator's, Wine's or the stand-in host's.
runner_canary() {
  rcall "probe 0"
  if [ "$block" = $'probe closed\nok' ]; then
    pass "$1 canary: the stand-in host answers a line that loads no plug-in"
    return 0
  fi
  fail "$1 canary: the stand-in host answers a line that loads no plug-in" "$block" "$(head -n5 "$run_dir/run.err")"
  return 1
}

stop_runner() {
  exec {run_fd}>&-
  local i
  for i in $(seq 100); do
    kill -0 "$runner_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$runner_pid" 2>/dev/null
  wait "$runner_pid" 2>/dev/null
  runner_pid=""
}

ends() { grep -cxE 'ok|failed' "$run_dir/run.out"; }

# rsend LINE...: hands lines to the runner without waiting.
rsend() {
  run_mark=$(wc -l <"$run_dir/run.out")
  run_ends=$(ends)
  run_count=$#
  printf '%s\n' "$@" >&"$run_fd" 2>/dev/null
}

# rwait: until every line of the last rsend has finished (60 s at most);
# `raw` gets their output, `block` the same without "ms" lines and with port
# handle values as H, `ms` the last call's time.
rwait() {
  local i
  for i in $(seq 3000); do
    [ "$(ends)" -ge $((run_ends + run_count)) ] && break
    kill -0 "$runner_pid" 2>/dev/null || break
    sleep 0.02
  done
  raw=$(tail -n +$((run_mark + 1)) "$run_dir/run.out")
  ms=$(grep '^ms ' <<<"$raw" | tail -n1 | cut -d' ' -f2)
  ms=${ms:--1}
  block=$(grep -v '^ms ' <<<"$raw" \
    | sed -E 's/^print \*hSerial: [0-9]+$/print *hSerial: H/; s/^(out1 class=uint32 size=1x1 values=)[0-9]+$/\1H/')
}

rcall() { rsend "$@"; rwait; }

# until_call NAME: until the runner has started the call it was handed.
until_call() {
  local i
  for i in $(seq 500); do
    tail -n +$((run_mark + 1)) "$run_dir/run.out" | grep -qx "call $1" && return 0
    sleep 0.02
  done
  return 1
}

values_of() { grep "^out$1 " <<<"$block" | sed 's/.*values=//'; }
