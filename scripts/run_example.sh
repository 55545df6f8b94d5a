#!/usr/bin/env bash
# Runs one of the examples in Octave against the simulated controller:
#   scripts/run_example.sh [linksim options] read_sensors | gain_sweep | mexlink_demo
# The options go to the simulator, e.g. --link usb for a USB adapter's link
# (with MEXLINK_T=20, the read time-out that suits it). With MEXLINK_PORT set
# (e.g. /dev/ttyUSB0) it uses that port instead, and MEXLINK_PLUGIN_DIR picks
# other plug-ins than build/octave, and a folder in MEXLINK_PATH_FIRST goes
# first on Octave's path (the tests put their shadows of Octave-only
# functions there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=
sim_args=()
if (($#)); then
  name=${*: -1}
  sim_args=("${@:1:$#-1}")
fi
if [[ -z $name || ! -f $root/examples/$name.m ]]; then
  examples=("$root"/examples/*.m)
  examples=("${examples[@]##*/}")
  echo "usage: $0 [linksim options] EXAMPLE   (one of: ${examples[*]%.m})" >&2
  exit 2
fi
plugins=${MEXLINK_PLUGIN_DIR:-$root/build/octave}

if [[ ! -f $plugins/linkAttach.mex || ( -z ${MEXLINK_PORT:-} && ! -x $root/build/bin/linksim ) ]]; then
  bash "$root/scripts/setup.sh" demo
  bash "$root/scripts/build.sh" mexlink_octave linksim >/dev/null
fi
if [[ -z ${MEXLINK_PORT:-} ]]; then
  exec bash "$root/scripts/with_simulator.sh" "${sim_args[@]}" -- bash "$0" "$name"
fi
first=
if [[ -n ${MEXLINK_PATH_FIRST:-} ]]; then
  first="warning('off', 'Octave:shadowed-function'); addpath('$MEXLINK_PATH_FIRST');"
fi
exec octave-cli --norc --no-history --no-window-system --path "$plugins" --path "$root/examples" \
  --eval "$first $name;"
