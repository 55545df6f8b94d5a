#!/usr/bin/env bash
# Every test: sets up, builds the Octave plug-ins, the simulator and the
# Windows plug-ins with the release made from them, then runs the whole suite
# through CTest (unit tests, simulator tests, Octave tests against the
# simulator, Wine tests, the release unpacked and used). The code
# other POSIX kernels get (macOS, the BSDs) is built here too, and the tests
# of the port code ("port" label) run against it as well. The 32-bit Windows
# plug-ins must run (under qemu-i386 where the kernel runs no 32-bit code):
# a host that cannot run them fails instead of skipping them.
# Says what it is doing as it goes, and ends with one line for all suites
# that names every failed test.
set -euo pipefail
export MEXLINK_WINE_REQUIRE32=1
root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
step() { echo "test: $* ($((SECONDS - start)) s)"; }

step "setting up (Debian packages, skipped when present)"
bash "$root/scripts/setup.sh" test
step "building the Windows plug-ins, the simulator for Windows and the release (2 to 3 min)"
bash "$root/scripts/make_release.sh" >/dev/null
step "building the Octave plug-ins, the simulator and the tests"
bash "$root/scripts/build.sh" >/dev/null
cmake -S "$root" -B "$root/build-generic" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXLINK_POSIX_KERNEL=generic >/dev/null
cmake --build "$root/build-generic" -j"$(nproc)" --target port_tests >/dev/null

# run_suite WHAT LABEL BUILD CTEST_ARGS...: the suite's failed tests go to
# `failures`, with LABEL.
failures=()
run_suite() {
  local what=$1 label=$2 build=$3
  shift 3
  step "running $what"
  (cd "$build" && ctest --output-on-failure --timeout 1200 "$@") || true
  local failed=$build/Testing/Temporary/LastTestsFailed.log
  if [[ -s $failed ]]; then
    while IFS=: read -r _ test; do failures+=("$test$label"); done <"$failed"
  fi
}
rm -f "$root"/build{,-generic}/Testing/Temporary/LastTestsFailed.log
run_suite "every test (about 7 min)" "" "$root/build"
run_suite "the port tests again, against the generic POSIX kernel code" " (generic POSIX)" "$root/build-generic" -L port

minutes=$(((SECONDS - start) / 60))
seconds=$(((SECONDS - start) % 60))
if ((${#failures[@]} == 0)); then
  echo "test: every suite passed, in ${minutes} min ${seconds} s"
  exit 0
fi
echo "test: ${#failures[@]} failed, in ${minutes} min ${seconds} s: $(IFS=,; echo "${failures[*]}" | sed 's/,/, /g')"
exit 1
