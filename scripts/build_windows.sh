#!/usr/bin/env bash
# Cross-builds the Windows plug-ins with Debian's mingw-w64: 32-bit into
# build-win32/ and dist/win32/*.mexw32, 64-bit into build-win64/ and
# dist/win64/*.mexw64, each folder with the help files beside the plug-ins
# (scripts/copy_help_files.sh): what a MATLAB user gets. Only for the tests,
# dist/winXX/testhost/ gets the stand-in host (mexrun.exe, libmx.dll,
# libmex.dll, libut.dll) that tests/wine/run_wine_tests.sh loads them into,
# a plug-in whose exit function raises (exit_raises) for the host's own check,
# and the import lists (.def) the plug-ins were linked against. The 64-bit
# build also makes the simulator, linksim.exe, a program of its own that
# serves either MATLAB: into dist/simulator/, as in the zip.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
bash "$root/scripts/setup.sh" windows

for target in i686:win32:mexw32 x86_64:win64:mexw64; do
  IFS=: read -r cpu name suffix <<<"$target"
  build=$root/build-$name
  dist=$root/dist/$name
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$cpu.cmake" \
    -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j "$jobs"
  rm -rf "$dist"
  mkdir -p "$dist/testhost"
  cp "$build"/plugins/*."$suffix" "$dist/"
  bash "$root/scripts/copy_help_files.sh" "$dist"
  cp "$build"/host/{mexrun.exe,lib{mx,mex,ut}.dll,exit_raises."$suffix"} "$build"/implib/*.def "$dist/testhost/"
  echo "$name: $(ls "$dist"/*."$suffix" | wc -l) plug-ins in $dist"
done
rm -rf "$root/dist/simulator"
mkdir -p "$root/dist/simulator"
cp "$root/build-win64/bin/linksim.exe" "$root/dist/simulator/"
echo "simulator: $root/dist/simulator/linksim.exe"
