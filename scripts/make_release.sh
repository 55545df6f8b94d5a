#!/usr/bin/env bash
# Makes the release into dist/release/ (or the folder given), from a checkout
# alone:
#   mexlink-<version>-windows.zip  for MATLAB on Windows: win64/ and win32/,
#                                  each the plug-ins with their help files
#                                  (as scripts/build_windows.sh lays out
#                                  dist/winXX, without its testhost/),
#                                  simulator/linksim.exe (dist/simulator), and
#                                  examples/, README.txt, README.md, LICENSE
#   mexlink-<version>.tar.gz       the Octave package (scripts/make_package.sh)
#   SHA256SUMS
# The version comes from VERSION. Runs of one commit give byte-identical
# files: every entry carries the time of scripts/source_date_epoch.sh, in
# name order, with fixed permissions and no owner.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
epoch=$(bash "$root/scripts/source_date_epoch.sh")
out=${1:-$root/dist/release}

if [[ -n $(git -C "$root" status --porcelain 2>/dev/null) ]]; then
  echo "make_release: the checkout has uncommitted changes; the release holds them" >&2
fi
bash "$root/scripts/setup.sh" release
echo "make_release: building the Windows plug-ins"
bash "$root/scripts/build_windows.sh" >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for arch in win64 win32; do
  cp -r "$root/dist/$arch" "$stage/$arch"
  rm -rf "$stage/$arch/testhost"
done
cp -r "$root/dist/simulator" "$stage/simulator"
cp -r "$root/examples" "$stage/examples"
cp "$root/README.md" "$root/LICENSE" "$stage/"
# Windows line ends, for every editor a MATLAB user may open it with.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/package/windows/README.txt.in" >"$stage/README.txt"

rm -rf "$out"
mkdir -p "$out"
# Python's zipfile writes exactly the entries given: the zip tool would take
# each file's time and owner from the disk, and add fields of its own.
python3 - "$out/mexlink-$version-windows.zip" "$stage" "$epoch" <<'PYTHON'
import os, sys, time, zipfile
archive, top, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = time.gmtime(max(epoch, 315532800))[:6]   # zip times start in 1980
paths = sorted(os.path.relpath(os.path.join(folder, name), top)
               for folder, _, names in os.walk(top) for name in names)
with zipfile.ZipFile(archive, 'w') as z:
    for path in paths:
        entry = zipfile.ZipInfo(path.replace(os.sep, '/'), stamp)
        entry.create_system = 3                  # Unix permissions, as below
        entry.external_attr = 0o100644 << 16     # a plain file, rw-r--r--
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(top, path), 'rb') as f:
            z.writestr(entry, f.read(), compresslevel=9)
PYTHON
bash "$root/scripts/make_package.sh" "$out" >/dev/null
(cd "$out" && sha256sum -- *.zip *.tar.gz >SHA256SUMS)
ls -1 "$out"/*
