#!/usr/bin/env bash
# Figures for documents printed at once (release build): documents per second of a 2-inch label
# on 1, 2 and 8 threads, and the peak memory of the 8-thread run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target concurrent_print_bench >/dev/null
bench=build/release/bench/concurrent_print_bench
"$bench"
echo "peak memory of the 8-thread run (KiB):"
/usr/bin/time -f '%M' "$bench" --benchmark_filter='threads:8' 2>&1 >/dev/null | tail -n 1
