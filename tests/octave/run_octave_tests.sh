#!/usr/bin/env bash
# Runs the Octave test files against the real plug-ins and the simulator.
#   run_octave_tests.sh PLUGIN_DIR LINKSIM TEST_DIR
set -euo pipefail
plugins=$1 linksim=$2 testdir=$3
export LINKSIM=$linksim
source "$testdir/stop_simulators.sh" "$(mktemp -d)"
octave-cli --norc --no-history --no-window-system \
  --path "$plugins" --path "$testdir/lib" --path "$testdir" \
  --eval "run_all('$testdir')"
