#!/usr/bin/env bash
# Runs one Octave hardening script in its own Octave process against the
# real plug-ins and the simulator; fails unless Octave exits normally with 0.
#   run_octave_hardening.sh PLUGIN_DIR LINKSIM SOURCE_DIR EXPRESSION [REQUIRED]
# EXPRESSION may use $TRACE, a file whose last line names the call in
# progress; it is shown when Octave dies. With REQUIRED (an extended regular
# expression) the output must also hold a matching line.
set -uo pipefail
plugins=$1 linksim=$2 srcdir=$3 expression=$4 required=${5:-}
export LINKSIM=$linksim
work=$(mktemp -d)
source "$srcdir/tests/octave/stop_simulators.sh" "$work"
trace=$work/trace
octave-cli --norc --no-history --no-window-system \
  --path "$plugins" --path "$srcdir/tests/octave/lib" --path "$srcdir/tests/hardening" \
  --eval "${expression//\$TRACE/$trace}" 2>&1 | tee "$work/output"
rc=${PIPESTATUS[0]}
if ((rc > 128)); then
  echo "Octave died with signal $((rc - 128))"
  [[ -s $trace ]] && echo "call in progress: $(tail -n 1 "$trace")"
elif ((rc != 0)); then
  echo "Octave exited with $rc"
fi
if ((rc == 0)) && [[ -n $required ]] && ! grep -Eq "$required" "$work/output"; then
  echo "no line matching '$required' in the output"
  rc=1
fi
exit $rc
