#!/usr/bin/env bash
# The cost of a job as the history grows: qxvn-printer-app (fresh state) prints the 2-inch label
# PNG to a file:// printer in ROUNDS (default 20) rounds of JOBS (default 500) jobs from one
# kept-alive IPP connection (bench/ipp_bench_client), the printer's output removed between
# rounds. Prints each round's jobs per second and the server's processor time per job, then the
# last round's CPU per job over the first's, the server's resident memory, the saved state's size
# and the jobs it holds, and the label streams kept (one for each printed job PAPPL still holds).
# The first argument names the preset (default release).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
rounds="${ROUNDS:-20}"
jobs="${JOBS:-500}"
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" --target qxvn-printer-app ipp_bench_client >/dev/null
client="build/$preset/bench/ipp_bench_client"
label="$PWD/examples/shipping-label.png"
work="$PWD/build/$preset/history-bench"
rm -rf "$work"
mkdir -p "$work"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${APP:-build/$preset/printer_app/qxvn-printer-app}" --state "$work/qxvn" --port "$port" --log-level warn &
app=$!
trap 'kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true' EXIT
uri="ipp://127.0.0.1:$port/ipp/print/label"
for _ in $(seq 50); do ipptool -q "$uri" get-printer-attributes.test 2>/dev/null && break; sleep 0.2; done

first="" last=""
for round in $(seq "$rounds"); do
  find "$work/qxvn/output" -type f -delete 2>/dev/null || true
  line=$(timeout 600 "$client" "$uri" "$label" image/png "$work/qxvn/output" "$app" "round-$round" "$jobs" 1)
  echo "$line"
  cpu=$(sed -n 's/.*server CPU *\([0-9.]*\) ms\/job.*/\1/p' <<<"$line")
  [[ -z "$first" ]] && first="$cpu"
  last="$cpu"
done
echo "jobs printed: $((rounds * jobs)); cpu per job, last round over first: $(python3 -c "print(f'{$last / $first:.2f}x')")"
echo "server memory: $(awk '/VmRSS/ { print $2, $3 }' "/proc/$app/status") (peak $(awk '/VmHWM/ { print $2, $3 }' "/proc/$app/status"))"
echo "saved state: $(stat -c %s "$work/qxvn/state.conf") bytes, $(grep -c '^Job ' "$work/qxvn/state.conf") jobs; journal $(stat -c %s "$work/qxvn/state.conf.jobs") bytes"
echo "files in the spool: $(find "$work/qxvn/spool" -type f | wc -l); label streams kept: $(find "$work/qxvn/labels" -type f -name '*.qxvn' | wc -l)"
