#!/usr/bin/env bash
# Builds the unit tests, the simulator and its tests with the address and
# undefined-behaviour sanitizers (any report ends the test) in a build of
# their own, and runs them through CTest.
#   scripts/sanitize.sh [CTEST_ARGS...]
# Build directory: $SANITIZE_BUILD_DIR (default build-asan/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${SANITIZE_BUILD_DIR:-$root/build-asan}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER="${CXX_SANITIZE:-clang++}" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
  -DMEXLINK_OCTAVE=OFF -DMEXLINK_SANITIZED_BUILD=ON >/dev/null
cmake --build "$out" -j"${SANITIZE_JOBS:-2}" >/dev/null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$out"
ctest --output-on-failure --timeout 300 "$@"
