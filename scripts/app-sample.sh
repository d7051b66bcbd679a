#!/usr/bin/env bash
# Starts qxvn-printer-app on localhost with its default printer (a file:// folder under the
# build tree), prints the sample label through it with ipptool and decodes what the printer
# would print into a PNG. On a terminal the app then keeps running, with its web interface,
# until Ctrl-C; without one (CI) it stops once the label is decoded.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset debug >/dev/null
cmake --build build/debug --target qxvn-printer-app qxvn
state="$PWD/build/debug/app-sample"
rm -rf "$state"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
build/debug/printer_app/qxvn-printer-app --state "$state" --port "$port" &
app=$!
trap 'kill $app 2>/dev/null; wait $app 2>/dev/null || true' EXIT
uri="ipp://localhost:$port/ipp/print/label"
ready=0
for _ in $(seq 50); do
  if ipptool -q "$uri" get-printer-attributes.test 2>/dev/null; then ready=1; break; fi
  sleep 0.2
done
if ((!ready)); then echo "app-sample: the app did not answer; its log: $state/app.log" >&2; exit 1; fi

ipptool -tv -f examples/shipping-label.png -d filetype=image/png "$uri" print-job.test | grep -E 'job-id|job-state \(|PASS|FAIL'
stream=""
for _ in $(seq 100); do
  stream=$(compgen -G "$state/output/*.prn" | head -n 1) && break
  sleep 0.1
done
if [[ -z "$stream" ]]; then echo "app-sample: no label was printed; the app's log: $state/app.log" >&2; exit 1; fi
sleep 0.5  # the device file is closed when the job ends
build/debug/tools/qxvn decode "$stream" -o "$state/label.png" >/dev/null
echo "The printer's command stream: $stream"
echo "The label as the printer prints it: $state/label.png"

if [[ -t 0 && -t 1 ]]; then
  echo "The web interface: http://localhost:$port/ (Print Test Page, Printing Defaults, Media)."
  echo "Labels printed there land in $state/output/. Press Ctrl-C to stop the app."
  wait $app || true
else
  echo "No terminal: the app stops now (on a terminal its web interface, http://localhost:$port/, stays up)."
fi
