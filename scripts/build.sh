#!/usr/bin/env bash
# Builds the Octave plug-ins (build/octave/*.mex), the simulator
# (build/bin/linksim) and the unit tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
