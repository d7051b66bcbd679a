#!/usr/bin/env bash
# Starts qxvn-printer-app on localhost with its default printer (a file:// folder under the
# build tree), prints the sample label through it with ipptool, and stops it again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset debug >/dev/null
cmake --build build/debug --target qxvn-printer-app
state="$PWD/build/debug/app-sample"
rm -rf "$state"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
build/debug/printer_app/qxvn-printer-app --state "$state" --port "$port" &
app=$!
trap 'kill $app 2>/dev/null; wait $app 2>/dev/null || true' EXIT
uri="ipp://localhost:$port/ipp/print/label"
for _ in $(seq 50); do ipptool -q "$uri" get-printer-attributes.test 2>/dev/null && break; sleep 0.2; done
ipptool -tv -f examples/shipping-label.png -d filetype=image/png "$uri" print-job.test | grep -E 'job-id|job-state \(|PASS|FAIL'
for _ in $(seq 100); do compgen -G "$state/output/*.prn" >/dev/null && break; sleep 0.1; done
sleep 0.5
ls -l "$state/output"
echo "The printer's web interface was at http://localhost:$port/ while this ran."
