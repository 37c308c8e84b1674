#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them all: medians of five repetitions, then the peak
# resident memory of a headless run of the game on the generated data.
#   bench/run.sh [build-dir] [extra benchmark flags...]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$src/build-bench}"
shift || true
cmake -S "$src" -B "$build" -DKESTROVE_BENCH=ON -DKESTROVE_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
for bench in "$build"/bench/*_bench; do
  "$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_display_aggregates_only=true "$@" 2>/dev/null | grep -E '^(BM_|Benchmark|-)' | grep -v -E '_(mean|stddev|cv) '
done
# A minute of walking and firing, headless: the game's whole footprint.
script="$(mktemp)"
trap 'rm -f "$script"' EXIT
printf 'down Left\ndown Z\nwait 1800\nup Left\nup Z\n' >"$script"
if [ -x /usr/bin/time ]; then
  (cd "$build/data" && /usr/bin/time -f 'peak RSS of a headless run: %M KiB' \
    "$build/kestrove" --headless --script "$script") 2>&1 | tail -1
fi
