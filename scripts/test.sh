#!/usr/bin/env bash
# Every test: sets up, builds the Octave plug-ins, the simulator and the
# Windows plug-ins, then runs the whole suite through CTest (unit tests,
# simulator tests, Octave tests against the simulator, Wine tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" test
bash "$root/scripts/build_windows.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
cd "$root/build"
ctest --output-on-failure --timeout 1200
