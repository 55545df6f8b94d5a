#!/usr/bin/env bash
# Runs the Octave test files against the real plug-ins and the simulator.
#   run_octave_tests.sh PLUGIN_DIR LINKSIM TEST_DIR
set -euo pipefail
plugins=$1 linksim=$2 testdir=$3
export LINKSIM=$linksim
MEXLINK_TEST_PIDS=$(mktemp)
export MEXLINK_TEST_PIDS
cleanup() {
  while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$MEXLINK_TEST_PIDS"
  rm -f "$MEXLINK_TEST_PIDS"
}
trap cleanup EXIT
octave-cli --norc --no-history --no-window-system \
  --path "$plugins" --path "$testdir/lib" --path "$testdir" \
  --eval "run_all('$testdir')"
