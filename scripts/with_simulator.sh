#!/usr/bin/env bash
# Runs a command with the simulated controller serving on a pseudo-terminal:
#   scripts/with_simulator.sh [linksim options] -- command...
# The command sees the device in MEXLINK_PORT and the simulator's log in
# MEXLINK_SIM_LOG. The simulator (started by scripts/simulator.sh) runs in a
# session of its own, so a Ctrl-C meant for the command never stops it; it is
# stopped on exit, whatever happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim_args=()
while (($#)) && [[ $1 != -- ]]; do sim_args+=("$1"); shift; done
shift || true
(($#)) || { echo "usage: $0 [linksim options] -- command..." >&2; exit 2; }

# In a fresh clone, build the simulator first (as run_example.sh does).
if [[ ! -x $root/build/bin/linksim || ! -f $root/build/octave/linkAttach.mex ]]; then
  echo "with_simulator: building the simulator and the Octave plug-ins first (about a minute)" >&2
  bash "$root/scripts/setup.sh" demo
  bash "$root/scripts/build.sh" mexlink_octave linksim >/dev/null
fi

sim_dir=$(mktemp -d)
cleanup() { bash "$root/scripts/simulator.sh" stop "$sim_dir" >/dev/null 2>&1 || true; rm -rf "$sim_dir"; }
trap cleanup EXIT
if ! started=$(bash "$root/scripts/simulator.sh" start "$sim_dir" "${sim_args[@]}"); then
  echo "with_simulator: the simulator did not start (try: bash scripts/build.sh mexlink_octave linksim)" >&2
  exit 1
fi
read -r MEXLINK_PORT _ <<<"$started"
export MEXLINK_PORT MEXLINK_SIM_LOG=$sim_dir/log
echo "controller simulator on $MEXLINK_PORT"
"$@"
