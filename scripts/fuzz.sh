#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (address and
# undefined-behaviour sanitizers) and runs each for a fixed time, starting
# from the corpus kept in tests/fuzz/corpus/<target>/.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Output goes to $FUZZ_BUILD_DIR (default build-fuzz/): objects, binaries,
# the grown working corpus and any crash inputs (artifacts/). The corpus in
# the repository is only read. Exits 1 if a target found a fault.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}
targets=("$@")
((${#targets[@]})) || targets=(fuzz_status_frames fuzz_telegrams fuzz_read_rule fuzz_commands)

common=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all
        -I"$root/core" -I"$root/host/include" -I"$root/tests/host/include" -I"$root/tests/fuzz" -I"$out")
mkdir -p "$out/obj" "$out/artifacts"

# object NAME SOURCE [FLAGS...]: compiled only when missing or older than its
# source or any header.
newest_header=$(ls -t "$root"/core/*/*.hpp "$root"/host/include/*.h "$root"/tests/host/include/*.h | head -n 1)
object() {
  local name=$1 src=$2
  shift 2
  local obj=$out/obj/$name.o
  if [[ ! -f $obj || $src -nt $obj || $newest_header -nt $obj ]]; then
    "$cxx" "${common[@]}" -fsanitize=fuzzer-no-link "$@" -c "$src" -o "$obj"
  fi
  echo "$obj"
}

core=()
for src in $(awk '!/^[#-]/ {for (i = 2; i <= NF; i++) if ($i == "linux") print "core/" $1}' "$root/core/sources.txt") \
           tests/host/libmx.cpp tests/host/libmex.cpp; do
  core+=("$(object "$(basename "$src" .cpp)" "$root/$src")")
done
plugins=()
: >"$out/fuzz_command_list.inc.new"
for source in "$root"/commands/*.cpp; do
  command=$(basename "$source" .cpp)
  plugins+=("$(object "$command" "$source" -DmexFunction=mexFunction_$command)")
  echo "COMMAND($command)" >>"$out/fuzz_command_list.inc.new"
done
mv "$out/fuzz_command_list.inc.new" "$out/fuzz_command_list.inc"

build() {
  local target=$1
  shift
  "$cxx" "${common[@]}" -fsanitize=fuzzer "$root/tests/fuzz/$target.cpp" "$@" -o "$out/$target"
}
for target in "${targets[@]}"; do
  case $target in
    fuzz_status_frames) build "$target" "$out/obj/status_frames.o" ;;
    fuzz_telegrams | fuzz_read_rule) build "$target" ;;
    fuzz_commands) build "$target" "${plugins[@]}" "${core[@]}" ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
  esac
done

failed=0
for target in "${targets[@]}"; do
  work=$out/corpus/$target
  mkdir -p "$work"
  log=$out/$target.log
  set +e
  # New inputs go to the working corpus (first directory); the repository's is read only.
  "$out/$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target-" "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if ((rc != 0)); then
    failed=1
    echo "$target: FAILED (exit $rc) after ${runs:-?} executions; log $log"
    grep -E 'ERROR|check failed|unknown message|descriptors|SUMMARY|runtime error' "$log" | head -n 20 || true
    ls "$out/artifacts/$target-"* 2>/dev/null | head -n 3
  else
    echo "$target: ${runs:-?} executions in $seconds s, corpus $(ls "$work" | wc -l) inputs"
  fi
done
exit $failed
