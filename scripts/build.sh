#!/usr/bin/env bash
# Builds into build/: everything (the Octave plug-ins in build/octave, the
# simulator build/bin/linksim, the tests), or only the named targets:
#   scripts/build.sh [TARGET...]      e.g. scripts/build.sh mexlink_octave linksim
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$root/build" -j"$(nproc)" "${targets[@]}"
