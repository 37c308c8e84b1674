#!/usr/bin/env bash
# Runs one harness over its committed seeds (regression inputs included) and then mutates for a
# fixed number of runs or seconds. New inputs go to a scratch folder, never into fuzz/corpus.
#   run_harness.sh HARNESS NAME runs|seconds N WORKDIR
# Prints "executions E edges C features F" at the end; exits non-zero on any finding.
set -euo pipefail
harness="$1" name="$2" mode="$3" amount="$4" work="$5"
here="$(cd "$(dirname "$0")" && pwd)"
seeds="$here/corpus/$name"
scratch="$work/$name/corpus"
findings="$work/$name/findings"
mkdir -p "$scratch" "$findings"
args=(-seed=1 -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/")
[ -f "$here/$name.dict" ] && args+=(-dict="$here/$name.dict")
if [ "$mode" = runs ]; then
  rm -rf "${scratch:?}"/*
  args+=(-runs="$amount")
else
  args+=(-max_total_time="$amount")
fi
log="$work/$name/log.txt"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ] && [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
status=0
"$harness" "${args[@]}" "$scratch" "$seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "$name: finding (exit $status); inputs in $findings"
  exit "$status"
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
features=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
echo "$name: executions $execs edges $edges features $features"
