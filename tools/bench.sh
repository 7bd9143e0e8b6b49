#!/usr/bin/env bash
# Builds the optimised engine and prints one line per operation:
#   tools/bench.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target engine_bench >/dev/null
build/release/tools/engine_bench --benchmark_format=csv --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true "$@" 2>/dev/null |
    awk -F, '$1 ~ /_median"?$/ {
        name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
        printf "%-12s %10.2f %s (median of 5)\n", name, $4, $5
    }'
