#!/usr/bin/env bash
# Builds what the benchmarks need, starts controller simulators on
# pseudo-terminals, runs the Octave benchmarks and prints their report.
#   bench/run_benchmarks.sh [port|protocol|socket|links]...   (default: all)
# MEXLINK_POSIX_KERNEL=generic measures the code other POSIX kernels get
# (select() waits) instead of Linux's. MEXLINK_BUILD_DIR picks the build tree
# (default: build/ of the checkout, build-generic/ for the generic code).
# Every simulator started here is stopped on exit, whatever happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kernel=${MEXLINK_POSIX_KERNEL:-linux}
default_build=$root/build
[[ $kernel == linux ]] || default_build=$root/build-$kernel
build=${MEXLINK_BUILD_DIR:-$default_build}
which=("$@")
((${#which[@]})) || which=(port protocol socket links)
for name in "${which[@]}"; do
  [[ $name =~ ^(port|protocol|socket|links)$ ]] || { echo "usage: $0 [port|protocol|socket|links]..." >&2; exit 2; }
done

echo "building into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXLINK_POSIX_KERNEL="$kernel" >/dev/null
cmake --build "$build" -j2 --target port_tests >/dev/null

work=$(mktemp -d)
# The floor for the write path: a plug-in that writes without any checks.
mkoctfile --mex "$root/bench/floor_write.cpp" -o "$work/floor_write.mex" >/dev/null
sim_dirs=()
# The links benchmark starts its simulators itself (the test library's
# sim_start), in here.
export MEXLINK_TEST_SIMULATORS=$work/sims LINKSIM=$build/bin/linksim
mkdir -p "$MEXLINK_TEST_SIMULATORS"
cleanup() {
  for dir in "${sim_dirs[@]}" "$MEXLINK_TEST_SIMULATORS"/linksim-*/; do
    [[ -d $dir ]] && bash "$root/scripts/simulator.sh" stop "$dir" >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# start_sim NAME [linksim options]: a simulator (scripts/simulator.sh) logging
# with wall-clock frame stamps to $work/NAME/log; its port goes to
# sim_port[NAME].
declare -A sim_port
start_sim() {
  local name=$1 started
  shift
  sim_dirs+=("$work/$name")
  started=$(LINKSIM=$build/bin/linksim bash "$root/scripts/simulator.sh" start "$work/$name" --log-times "$@")
  sim_port[$name]=${started% *}
}

# octave_run EXPRESSION: the plug-ins, the benchmark functions and the test
# library's helpers (detach_quietly, ...) on the path.
octave_run() {
  octave-cli --no-init-file --no-history --quiet \
    --eval "addpath('$build/octave'); addpath('$root/bench'); addpath('$root/tests/octave/lib'); addpath('$work'); $1"
}

echo "mexlink benchmarks, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
echo "POSIX kernel code: $kernel;" \
  "commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)," \
  "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
  "$(octave-cli --version | head -n1)"

status=0
for name in "${which[@]}"; do
  case $name in
  port)
    # A long period: each frame is followed by a pause longer than any T used.
    start_sim port --period 200
    MEXLINK_PORT=${sim_port[port]} MEXLINK_SIM_LOG=$work/port/log \
      octave_run "port_benchmark(getenv('MEXLINK_PORT'), getenv('MEXLINK_SIM_LOG'), 200)" || status=1
    ;;
  protocol)
    start_sim mexlink --period 50
    start_sim peer --period 50
    MEXLINK_PORT=${sim_port[mexlink]} MEXLINK_SIM_LOG=$work/mexlink/log \
      PEER_PORT=${sim_port[peer]} PEER_SIM_LOG=$work/peer/log \
      octave_run "protocol_benchmark(getenv('MEXLINK_PORT'), getenv('MEXLINK_SIM_LOG'), \
getenv('PEER_PORT'), getenv('PEER_SIM_LOG'), 50)" || status=1
    ;;
  socket)
    start_sim pty --period 50
    start_sim tcp --period 50 --listen 0
    MEXLINK_PORT=${sim_port[pty]} MEXLINK_SIM_LOG=$work/pty/log \
      SOCKET_NAME=${sim_port[tcp]} SOCKET_LOG=$work/tcp/log \
      octave_run "socket_benchmark(getenv('MEXLINK_PORT'), getenv('MEXLINK_SIM_LOG'), \
getenv('SOCKET_NAME'), getenv('SOCKET_LOG'), 50)" || status=1
    ;;
  links)
    # One link a process, the three at once: the calls mostly wait.
    # link_benchmark(PRESET, {P, [T...]; ...}, CALLS, SEED), in ms.
    declare -A cells=(
      [cable]="{10, [1 2 5]; 50, [2 5 20]}"
      [usb]="{20, [5 10 17 25]; 50, [5 10 17 25 30]; 100, [10 17 30]}"
      [bluetooth]="{20, [20 35]; 50, [20 35 40 45]; 100, [20 40 60]}"
    )
    pids=()
    for preset in cable usb bluetooth; do
      octave_run "link_benchmark('$preset', ${cells[$preset]}, ${MEXLINK_LINK_CALLS:-100}, 1)" \
        >"$work/$preset.out" 2>&1 &
      pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || status=1; done
    cat "$work/cable.out" "$work/usb.out" "$work/bluetooth.out"
    ;;
  esac
done
echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
