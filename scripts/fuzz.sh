#!/usr/bin/env bash
# Runs one fuzz target for SECONDS (default 30) on its seed corpus, building the fuzz preset
# first. New inputs go to a scratch copy of the corpus; a finding stops the run, and its
# reproducer is written to build/fuzz/findings/. Prints the runs made at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:?usage: scripts/fuzz.sh TARGET [SECONDS]}"
seconds="${2:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target" >/dev/null
work="build/fuzz/corpus/$target"
findings="build/fuzz/findings"
mkdir -p "$work" "$findings"
cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
log="build/fuzz/$target.log"
set +e
"build/fuzz/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
  -artifact_prefix="$findings/$target-" "$work" >"$log" 2>&1
status=$?
set -e
grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$log" || true
if [ "$status" -ne 0 ]; then
  tail -40 "$log"
  exit "$status"
fi
