#!/usr/bin/env bash
# Runs a command with the simulated controller serving on a pseudo-terminal:
#   scripts/with_simulator.sh [linksim options] -- command...
# The command sees the device in MEXLINK_PORT and the simulator's log in
# MEXLINK_SIM_LOG. The simulator runs in a session of its own, so a Ctrl-C
# meant for the command never stops it; it is stopped on exit, whatever
# happened.
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

workdir=$(mktemp -d)
export MEXLINK_SIM_LOG=$workdir/linksim.log
read -r MEXLINK_PORT sim_pid <<<"$("$root/build/bin/linksim" --background --log "$MEXLINK_SIM_LOG" "${sim_args[@]}")" || true
if [[ $MEXLINK_PORT != /dev/* || -z ${sim_pid:-} ]]; then
  echo "with_simulator: the simulator did not start (try: bash scripts/build.sh mexlink_octave linksim)" >&2
  rm -rf "$workdir"
  exit 1
fi
export MEXLINK_PORT
cleanup() { kill "$sim_pid" 2>/dev/null || true; rm -rf "$workdir"; }
trap cleanup EXIT
echo "controller simulator on $MEXLINK_PORT"
"$@"
