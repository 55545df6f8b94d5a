#!/usr/bin/env bash
# Runs a command with the simulated controller serving on a pseudo-terminal:
#   scripts/with_simulator.sh [linksim options] -- command...
# The command sees the device in MEXLINK_PORT and the simulator's log in
# MEXLINK_SIM_LOG. The simulator is stopped on exit, whatever happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim_args=()
while (($#)) && [[ $1 != -- ]]; do sim_args+=("$1"); shift; done
shift || true
(($#)) || { echo "usage: $0 [linksim options] -- command..." >&2; exit 2; }

workdir=$(mktemp -d)
export MEXLINK_SIM_LOG=$workdir/linksim.log
"$root/build/bin/linksim" --log "$MEXLINK_SIM_LOG" "${sim_args[@]}" >"$workdir/path" &
sim_pid=$!
cleanup() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$workdir"; }
trap cleanup EXIT INT TERM

for _ in $(seq 100); do
  [[ -s $workdir/path ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "linksim did not start" >&2; exit 1; }
  sleep 0.05
done
MEXLINK_PORT=$(head -n1 "$workdir/path")
export MEXLINK_PORT
echo "controller simulator on $MEXLINK_PORT"
"$@"
