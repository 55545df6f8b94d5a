# Sourced by the scripts that run Octave tests against the simulator: a test
# that fails leaves its simulator running (in a session of its own), so every
# simulator sim_start records its pid in MEXLINK_TEST_PIDS, and this script's
# exit stops them all and removes WORK_DIR.
#   source stop_simulators.sh WORK_DIR
export MEXLINK_TEST_PIDS=$1/pids
: >"$MEXLINK_TEST_PIDS"
stop_simulators() {
  while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$MEXLINK_TEST_PIDS"
  rm -rf "$(dirname "$MEXLINK_TEST_PIDS")"
}
trap stop_simulators EXIT
