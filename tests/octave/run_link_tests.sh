#!/usr/bin/env bash
# linkProbe on each link preset of the simulator, then linkState at the T it
# recommends and at the T the README gives for that link (check_link_probe.m).
#   run_link_tests.sh PLUGIN_DIR LINKSIM TEST_DIR
# The probes run one after another, alone: they time what arrives, and on a
# busy machine an Octave woken late sees a gap that the line never had. The
# calls then run side by side (they mostly wait, and the read rule does not
# depend on when Octave wakes), each in an Octave and on a simulator of its
# own.
set -euo pipefail
plugins=$1 linksim=$2 testdir=$3
export LINKSIM=$linksim
work=$(mktemp -d)
source "$testdir/stop_simulators.sh" "$work"
octave_check() { # CODE
  octave-cli --norc --no-history --no-window-system \
    --path "$plugins" --path "$testdir/lib" --path "$testdir" --eval "$1"
}

# check_link_probe(PRESET, P, T, SECONDS, CALLS): a frame every P ms; T the
# probe's (it listens SECONDS), none (it must find none), or the README's for
# the link; CALLS linkState calls. The Bluetooth probe gets a frame every
# 100 ms: the gaps inside its frames (up to about 31 ms) must stay shorter
# than the quiets between them for any T to be safe.
probes="t = [check_link_probe('cable', 10, 'probe', 2, 0), check_link_probe('usb', 50, 'probe', 5, 0), \
check_link_probe('bluetooth', 100, 'probe', 8, 0)]; check_link_probe('bluetooth', 20, 'none', 3, 0); \
printf('found T %d %d %d\n', t);"
if ! found=$(octave_check "$probes" 2>&1); then
  echo "$found"
  echo "FAILED: the probes"
  exit 1
fi
echo "$found"
read -r cable usb bluetooth < <(sed -n 's/^found T //p' <<<"$found")

checks=(
  "check_link_probe('cable', 10, $cable, 0, 1000); check_link_probe('cable', 10, 5, 0, 1000);"
  "check_link_probe('usb', 50, $usb, 0, 1000);"
  "check_link_probe('usb', 50, 30, 0, 1000);"
  "check_link_probe('bluetooth', 100, $bluetooth, 0, 1000);"
  "check_link_probe('bluetooth', 60, 40, 0, 1000);"
)
pids=()
for k in "${!checks[@]}"; do
  octave_check "${checks[$k]}" >"$work/$k.out" 2>&1 &
  pids+=($!)
done
status=0
for k in "${!pids[@]}"; do
  wait "${pids[$k]}" || { status=1; echo "FAILED: ${checks[$k]}"; }
  cat "$work/$k.out"
done
exit $status
