#!/usr/bin/env bash
# Makes the Octave package dist/mexlink-<version>.tar.gz:
#   scripts/make_package.sh [OUTDIR]
# The name comes from CMakeLists.txt's project(), the version from VERSION.
# In Octave: pkg install dist/mexlink-<version>.tar.gz; pkg load mexlink
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
outdir=${1:-$root/dist}

name=$(sed -n 's/^project(\([A-Za-z0-9_]*\)[ )].*/\1/p' "$root/CMakeLists.txt" | head -n1)
version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
[[ -n $name && $version =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "make_package: bad name '$name' or version '$version'" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$name-$version
pkg=$stage/$top
mkdir -p "$pkg/inst" "$pkg/src/commands"

# The package builds from its own copy of the sources.
cp "$root"/commands/*.cpp "$pkg/src/commands/"
cp -r "$root/core" "$pkg/src/core"
bash "$root/scripts/copy_help_files.sh" "$pkg/inst"
cp "$root/package/Makefile" "$pkg/src/"
cp "$root/package/post_install.m" "$root/package/INDEX" "$pkg/"

# Builds of the same tree give the same archive.
epoch=$(bash "$root/scripts/source_date_epoch.sh")
sed -e "s/@NAME@/$name/" -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u -d "@$epoch" +%F)/" \
  "$root/package/DESCRIPTION.in" >"$pkg/DESCRIPTION"
cp "$root/LICENSE" "$pkg/COPYING"

mkdir -p "$outdir"
archive=$outdir/$top.tar.gz
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mode=u+rwX,go=rX --mtime="@$epoch" -cf - "$top" \
  | gzip -9n >"$archive.part"
mv "$archive.part" "$archive"
echo "$archive"
