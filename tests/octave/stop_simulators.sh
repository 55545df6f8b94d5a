# Sourced by the scripts that run Octave tests against the simulator: a test
# that fails leaves its simulator running (in a session of its own), so
# sim_start puts every simulator's folder in WORK_DIR (MEXLINK_TEST_SIMULATORS),
# and this script's exit stops what is left there and removes WORK_DIR.
#   source stop_simulators.sh WORK_DIR
export MEXLINK_TEST_SIMULATORS=$1
launcher=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/simulator.sh
stop_simulators() {
  local dir
  for dir in "$MEXLINK_TEST_SIMULATORS"/linksim-*/; do
    [[ -d $dir ]] && bash "$launcher" stop "$dir" >/dev/null 2>&1
  done
  rm -rf "$MEXLINK_TEST_SIMULATORS"
}
trap stop_simulators EXIT
