#!/usr/bin/env bash
# Puts into DEST what a folder of plug-ins needs besides them: each command's
# help file and mexlink.m (help reads linkX.m, a call runs the plug-in
# linkX.<mexext> beside it), Contents.m with the version from VERSION and the
# date of scripts/source_date_epoch.sh (for MATLAB's ver and help), and
# private/ with what a help file runs when its plug-in did not load.
# mexlink_build lays out its folder the same way.
#   scripts/copy_help_files.sh DEST
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest=$1
version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
date=$(LC_ALL=C date -u -d "@$(bash "$root/scripts/source_date_epoch.sh")" +%d-%b-%Y)

mkdir -p "$dest/private"
for source in "$root"/commands/*.cpp; do
  cp "$root/toolbox/$(basename "$source" .cpp).m" "$dest/"
done
cp "$root/toolbox/mexlink.m" "$dest/"
cp "$root/toolbox/private/plugin_not_loaded.m" "$dest/private/"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" "$root/toolbox/Contents.m.in" >"$dest/Contents.m"
