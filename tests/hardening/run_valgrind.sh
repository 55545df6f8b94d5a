#!/usr/bin/env bash
# Runs tests/hardening/valgrind_session.m in Octave under valgrind memcheck
# and fails on any error or definite leak whose stack passes through the
# plug-ins (link*.mex, the command and core sources).
#   run_valgrind.sh PLUGIN_DIR LINKSIM SOURCE_DIR
# With MEMCHECK_LOG=FILE the whole memcheck log is kept there.
#
# Octave has definite leaks of its own at exit (some sixty blocks), so
# valgrind's exit code (--error-exitcode) only says that valgrind saw errors
# somewhere; which ones are ours is read from the stacks in its log.
#
# Debian 12's valgrind 3.19 stops at an RDTSCP instruction that libhwy runs
# while loading (libhwy comes with libjxl, a dependency of GraphicsMagick,
# which Octave links). Octave never decodes JPEG XL here, so for this run
# libjxl is replaced by a stub that only defines the names GraphicsMagick
# binds to.
set -uo pipefail
plugins=$1 linksim=$2 srcdir=$3
export LINKSIM=$linksim
work=$(mktemp -d)
source "$srcdir/tests/octave/stop_simulators.sh" "$work"

octave=$(command -v octave-cli)
# stub_library NEEDED_BY REAL: a stand-in for REAL with the functions NEEDED_BY imports from it.
stub_library() {
  local user=$1 real=$2 name
  name=$(basename "$real")
  nm -D --defined-only "$real" | awk '{print $3}' | sed 's/@.*//' | sort -u >"$work/$name.defined"
  objdump -T "$user" | awk '$3 == "*UND*" && $(NF-1) ~ /^\(/ {v = $(NF-1); gsub(/[()]/, "", v); print v, $NF}' |
    awk 'NR == FNR {d[$1] = 1; next} ($2 in d)' "$work/$name.defined" - | sort -u >"$work/$name.syms"
  [[ -s $work/$name.syms ]] || return 1
  : >"$work/$name.map"
  for v in $(awk '{print $1}' "$work/$name.syms" | sort -u); do
    echo "$v { global: $(awk -v v="$v" '$1 == v {printf "%s; ", $2}' "$work/$name.syms") local: *; };" >>"$work/$name.map"
  done
  awk '{print "void " $2 "(void) {}"}' "$work/$name.syms" >"$work/$name.c"
  mkdir -p "$work/stubs"
  cc -shared -fPIC -w -o "$work/stubs/$name" "$work/$name.c" -Wl,-soname,"$name" -Wl,--version-script="$work/$name.map"
}
libs=$(ldd "$octave")
if grep -q 'libhwy' <<<"$libs"; then
  for real in $(awk '/libjxl/ {print $3}' <<<"$libs"); do
    for user in $(awk '/GraphicsMagick/ {print $3}' <<<"$libs"); do
      readelf -d "$user" | grep -q "NEEDED.*$(basename "$real")" && stub_library "$user" "$real" && break
    done
  done
  if [[ -d $work/stubs ]]; then
    export LD_LIBRARY_PATH=$work/stubs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
    echo "stand-ins for $(ls "$work/stubs" | tr '\n' ' ')"
  fi
fi

valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --num-callers=40 --keep-debuginfo=yes --log-file="$work/memcheck.log" \
  "$octave" --norc --no-history --no-window-system \
  --path "$plugins" --path "$srcdir/tests/octave/lib" --path "$srcdir/tests/hardening" \
  --eval 'valgrind_session' 2>&1 | tee "$work/octave.log"
rc=${PIPESTATUS[0]}
[[ -n ${MEMCHECK_LOG:-} ]] && cp "$work/memcheck.log" "$MEMCHECK_LOG"

# One block per error or leak record (a header line, then indented lines);
# ours if any frame is in the plug-ins.
awk -v ours='mexFunction|\\.mex|/(core|commands)/' '
  { sub(/^==[0-9]+== ?/, "") }
  /^$/ { flush(); next }
  /^[^ ]/ { flush() }
  { block = block $0 "\n" }
  function flush() {
    if (block ~ /^(Invalid |Conditional jump|Use of uninitialised|Syscall param|Mismatched free|Source and destination overlap|Jump to the invalid|Argument |[0-9,]+ (\([0-9,]+ direct, [0-9,]+ indirect\) )?bytes in [0-9,]+ blocks are definitely lost)/) {
      total++
      if (block ~ ours) { mine++; printf "%s\n", block }
    }
    block = ""
  }
  END { flush(); printf "memcheck: %d error or leak records in all, %d through the plug-ins\n", total, mine; exit mine > 0 }
' "$work/memcheck.log"
ours=$?
grep -E 'ERROR SUMMARY|definitely lost:' "$work/memcheck.log" | sed 's/^==[0-9]*== //'

if ((rc > 128)); then
  echo "Octave died with signal $((rc - 128)) under valgrind"
  exit 1
fi
if ! grep -q '^valgrind session: [0-9]* calls' "$work/octave.log"; then
  echo "the session did not finish (exit $rc)"
  exit 1
fi
exit $ours
