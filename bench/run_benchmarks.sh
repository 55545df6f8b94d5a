#!/usr/bin/env bash
# Builds what the benchmarks need, starts controller simulators on
# pseudo-terminals, runs the Octave benchmarks and prints their report.
#   bench/run_benchmarks.sh [port|protocol]...   (default: both)
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
((${#which[@]})) || which=(port protocol)
for name in "${which[@]}"; do
  [[ $name == port || $name == protocol ]] || { echo "usage: $0 [port|protocol]..." >&2; exit 2; }
done

echo "building into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXLINK_POSIX_KERNEL="$kernel" >/dev/null
cmake --build "$build" -j2 --target port_tests >/dev/null

work=$(mktemp -d)
# The floor for the write path: a plug-in that writes without any checks.
mkoctfile --mex "$root/bench/floor_write.cpp" -o "$work/floor_write.mex" >/dev/null
sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# start_sim NAME [linksim options]: serves on a new pty, logging with wall-clock
# frame stamps to $work/NAME.log; the device path is left in $work/NAME.path.
start_sim() {
  local name=$1 path pid
  shift
  read -r path pid <<<"$("$build/bin/linksim" --background --log "$work/$name.log" --log-times "$@")"
  [[ -n $pid ]] || { echo "linksim ($name) did not start" >&2; exit 1; }
  sim_pids+=("$pid")
  echo "$path" >"$work/$name.path"
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
    MEXLINK_PORT=$(<"$work/port.path") MEXLINK_SIM_LOG=$work/port.log \
      octave_run "port_benchmark(getenv('MEXLINK_PORT'), getenv('MEXLINK_SIM_LOG'), 200)" || status=1
    ;;
  protocol)
    start_sim mexlink --period 50
    start_sim peer --period 50
    MEXLINK_PORT=$(<"$work/mexlink.path") MEXLINK_SIM_LOG=$work/mexlink.log \
      PEER_PORT=$(<"$work/peer.path") PEER_SIM_LOG=$work/peer.log \
      octave_run "protocol_benchmark(getenv('MEXLINK_PORT'), getenv('MEXLINK_SIM_LOG'), \
getenv('PEER_PORT'), getenv('PEER_SIM_LOG'), 50)" || status=1
    ;;
  esac
done
echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
