#!/usr/bin/env bash
# The main job: set up, build what the demo runs (the Octave plug-ins and the simulator), start the simulated
# controller and drive it from Octave in a closed loop; leaves demo-output/demo.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" demo
echo "building the Octave plug-ins and the simulator (about half a minute the first time)"
bash "$root/scripts/build.sh" mexlink_octave linksim >/dev/null
bash "$root/scripts/with_simulator.sh" -- octave-cli --norc --no-history --no-window-system \
  --path "$root/build/octave" --path "$root/examples" \
  --eval "mexlink_demo(getenv('MEXLINK_PORT'), '$root/demo-output', 'simulated controller (linksim)');"
