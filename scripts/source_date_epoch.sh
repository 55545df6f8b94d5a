#!/usr/bin/env bash
# Prints the time the made files carry (archive entries, the package's Date,
# Contents.m's date), in seconds since 1970: SOURCE_DATE_EPOCH if set, else
# the last commit's time, else now. Builds of one commit so carry one date.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}"
