#!/usr/bin/env bash
# Builds the fuzz targets and runs each one for SECONDS seconds (or until it
# has made RUNS executions, when that comes first), as many at once as there
# are cores, starting from its seed corpus
# (tests/fuzz/corpus/<target>/, small inputs we made ourselves) and from
# what earlier runs on this machine found (build/fuzz/corpus/<target>/).
# A finding leaves its input in build/fuzz/findings/ and ends with status 1.
set -euo pipefail
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [RUNS]}
runs=${2:--1}
cd "$(dirname "$0")/../.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

findings=build/fuzz/findings
mkdir -p "$findings"

run_target() {
  local target=$1 name
  name=$(basename "$target")
  local work=build/fuzz/corpus/$name log=build/fuzz/$name.log
  local corpora=("$work")
  [ -d "tests/fuzz/corpus/$name" ] && corpora+=("tests/fuzz/corpus/$name")
  mkdir -p "$work"
  if "$target" -max_total_time="$seconds" -runs="$runs" -max_len=70000 -artifact_prefix="$findings/$name-" \
       -print_final_stats=1 "${corpora[@]}" >"$log" 2>&1; then
    echo "$name: $(awk '/^stat::number_of_executed_units/ {print $2}' "$log") executions, no finding"
  else
    echo "$name: FINDING, see $log and $findings/"
    tail -n 30 "$log"
    return 1
  fi
}

status=0
jobs=$(nproc)
running=0
for target in build/fuzz/fuzz/fuzz_*; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
