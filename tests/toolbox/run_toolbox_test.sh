#!/usr/bin/env bash
# Runs one Octave test file of the toolbox checks:
#   run_toolbox_test.sh TEST_FILE LINKSIM SOURCE_DIR [PLUGIN_DIR]
# With PLUGIN_DIR the built plug-ins are on the path; without it the test
# brings its own. Everything the test writes goes to a scratch folder (also
# its HOME and TMPDIR), removed at the end with any simulator left running.
# The shadows of Octave-only functions in tests/matlab_shadow come first on
# the path, so a toolbox or example file that calls one fails the test.
set -euo pipefail
test_file=$1
export LINKSIM=$2 MEXLINK_SOURCE_DIR=$3 MEXLINK_PLUGIN_DIR=${4:-}

scratch=$(mktemp -d)
source "$MEXLINK_SOURCE_DIR/tests/octave/stop_simulators.sh" "$scratch"
mkdir -p "$scratch/home" "$scratch/tmp"
export HOME=$scratch/home TMPDIR=$scratch/tmp
export OMP_NUM_THREADS=2   # pkg install builds with this many jobs

paths=(--path "$MEXLINK_SOURCE_DIR/tests/octave/lib" --path "$(dirname "$test_file")")
[[ -n $MEXLINK_PLUGIN_DIR ]] && paths+=(--path "$MEXLINK_PLUGIN_DIR")
export MEXLINK_PATH_FIRST=$MEXLINK_SOURCE_DIR/tests/matlab_shadow
cd "$scratch"
octave-cli --norc --no-history --no-window-system "${paths[@]}" --eval "
  warning('off', 'Octave:shadowed-function');
  addpath('$MEXLINK_PATH_FIRST');
  [n, nmax] = test('$test_file', 'quiet', stdout);
  printf('%s: %d of %d passed\n', '$(basename "$test_file")', n, nmax);
  exit(n ~= nmax || nmax == 0);"
