#!/usr/bin/env bash
# Builds the fuzz targets and runs each one for SECONDS seconds, starting
# from its seed corpus (tests/fuzz/corpus/<target>/, made by our own tests).
# A crash leaves its input in build/fuzz/findings/ and ends with status 1.
set -euo pipefail
seconds=${1:?usage: tests/fuzz/run.sh SECONDS}
cd "$(dirname "$0")/../.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$target")
  seeds=tests/fuzz/corpus/$name
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  log=build/fuzz/$name.log
  if "$target" -max_total_time="$seconds" -max_len=70000 -artifact_prefix="$findings/$name-" \
       -print_final_stats=1 "$work" >"$log" 2>&1; then
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "$name: ${runs:-?} executions, no finding"
  else
    echo "$name: FINDING, see $log and $findings/"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
