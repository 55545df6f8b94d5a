#!/usr/bin/env bash
# Every test: sets up, builds the Octave plug-ins, the simulator and the
# Windows plug-ins with the release made from them, then runs the whole suite
# through CTest (unit tests, simulator tests, Octave tests against the
# simulator, Wine tests, the release unpacked and used). The code
# other POSIX kernels get (macOS, the BSDs) is built here too, and the tests
# of the port code ("port" label) run against it as well. The 32-bit Windows
# plug-ins must run (under qemu-i386 where the kernel runs no 32-bit code):
# a host that cannot run them fails instead of skipping them.
set -euo pipefail
export MEXLINK_WINE_REQUIRE32=1
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" test
bash "$root/scripts/make_release.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
cmake -S "$root" -B "$root/build-generic" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXLINK_POSIX_KERNEL=generic >/dev/null
cmake --build "$root/build-generic" -j"$(nproc)" --target port_tests >/dev/null
status=0
(cd "$root/build" && ctest --output-on-failure --timeout 1200) || status=1
echo "== the generic POSIX kernel code"
(cd "$root/build-generic" && ctest -L port --output-on-failure --timeout 1200) || status=1
exit $status
