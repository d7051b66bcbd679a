#!/usr/bin/env bash
# Jobs per second, latency (median, 90th percentile) and the server's processor time per job of
# qxvn-printer-app printing a 2-inch label PNG at 300 dpi to a file:// printer, from one client
# (sequential) and from 4 clients at once, each client one kept-alive IPP connection
# (bench/ipp_bench_client). When `lprint` is installed, the same for LPrint with its 2-inch
# 300-dpi driver on the same input, in alternating runs, with our figures over its per round.
# Both servers log at their default level (info). Then documents through our app, one client:
# a 576 x 900 gray PNG (the head's width, white beyond the label), a 1-page PDF of the sample
# label (latency from submit to the label written; then 20 jobs 300 ms apart, each finding the
# app idle as a label printed now and then does) and a 100-page one (labels a second), against
# `pdftoppm -r 300 -mono` and, where CUPS's filters are installed, CUPS's own label chain
# (scripts/bench-print.sh) on the same 100 pages in alternating rounds. ROUNDS (default 3) and
# JOBS (default 100 a run) change the length; the first argument names the preset (default
# release); APP names another build of the app to measure (an earlier one, say).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
rounds="${ROUNDS:-3}"
jobs="${JOBS:-100}"
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" --target qxvn-printer-app ipp_bench_client >/dev/null
client="build/$preset/bench/ipp_bench_client"
label="$PWD/examples/shipping-label.png"
work="$PWD/build/$preset/app-bench"
rm -rf "$work"
mkdir -p "$work/lprint-home" "$work/lprint-spool" "$work/lprint-output"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

pids=()
# SIGTERM, then SIGKILL for a server that has not ended within 10 s.
stop_all() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
}
trap stop_all EXIT

port=$(free_port)
"${APP:-build/$preset/printer_app/qxvn-printer-app}" --state "$work/qxvn" --port "$port" &
app=$!
pids+=("$app")
qxvn_uri="ipp://127.0.0.1:$port/ipp/print/label"
for _ in $(seq 50); do ipptool -q "$qxvn_uri" get-printer-attributes.test 2>/dev/null && break; sleep 0.2; done

lprint_pid=""
start_lprint() {
  local lport
  lport=$(free_port)
  # Its own home, so that its saved state is a fresh one.
  HOME="$work/lprint-home" lprint server -o server-port="$lport" -o listen-hostname=127.0.0.1 \
    -o spool-directory="$work/lprint-spool" -o log-file="$work/lprint.log" -o log-level=info &
  lprint_pid=$!
  pids+=("$lprint_pid")
  lprint_uri="ipp://127.0.0.1:$lport/ipp/print/label"
  for _ in $(seq 50); do HOME="$work/lprint-home" lprint printers >/dev/null 2>&1 && break; sleep 0.2; done
  HOME="$work/lprint-home" lprint add -d label -v "file://$work/lprint-output" -m zpl_2inch-300dpi-dt >/dev/null 2>&1 || true
  for _ in $(seq 50); do ipptool -q "$lprint_uri" get-printer-attributes.test 2>/dev/null && break; sleep 0.2; done
}
if command -v lprint >/dev/null; then start_lprint; else echo "(lprint is not installed: our figures only)"; fi

# run NAME URI OUTPUT PID CLIENTS: one line of figures, or "failed".
run() {
  timeout 300 "$client" "$2" "$label" image/png "$3" "$4" "$1" "$(((jobs + $5 - 1) / $5))" "$5" 2>"$work/client.err" ||
    echo "$1 failed: $(head -c 200 "$work/client.err")"
}
field() { awk -v name="$2" '{ for (i = 1; i < NF; ++i) if ($(i + 1) == name) print $i }' <<<"$1"; }
ratio() { if [ -n "$1" ] && [ -n "$2" ]; then awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; else echo "n/a"; fi; }

for round in $(seq "$rounds"); do
  echo "round $round"
  for clients in 1 4; do
    kind=$([ "$clients" = 1 ] && echo sequential || echo "4-clients")
    ours="" theirs=""
    # Alternating which server goes first.
    for turn in 1 2; do
      if [ $(((round + turn) % 2)) = 0 ]; then
        ours=$(run "qxvn-$kind-r$round" "$qxvn_uri" "$work/qxvn/output" "$app" "$clients")
        echo "  $ours"
      elif [ -n "$lprint_pid" ]; then
        if ! kill -0 "$lprint_pid" 2>/dev/null; then
          echo "  lprint had stopped (crashed); started again"
          start_lprint
        fi
        theirs=$(run "lprint-$kind-r$round" "$lprint_uri" "$work/lprint-output" "$lprint_pid" "$clients")
        echo "  $theirs"
      fi
    done
    if [ -n "$theirs" ]; then
      echo "  ratio $kind: jobs/s $(ratio "$(field "$ours" jobs/s)" "$(field "$theirs" jobs/s)")," \
        "CPU/job $(ratio "$(field "$ours" ms/job)" "$(field "$theirs" ms/job)") (qxvn over lprint)"
    fi
  done
done

# Documents. The 576 x 900 page: the sample label drawn at 300 dpi, on white to the head's width.
pdftoppm -gray -r 300 -singlefile examples/shipping-label.pdf "$work/label"
python3 - "$work/label.pgm" "$work/wide.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
_, size, _, pixels = data.split(b"\n", 3)
w, h = map(int, size.split())
W, H = 576, 900
x0, y0 = (W - w) // 2, (H - h) // 2
rows = b"".join(b"\0" + (b"\xff" * x0 + pixels[(y - y0) * w:(y - y0 + 1) * w] + b"\xff" * (W - w - x0)
                         if y0 <= y < y0 + h else b"\xff" * W) for y in range(H))
chunk = lambda t, b: struct.pack(">I", len(b)) + t + b + struct.pack(">I", zlib.crc32(t + b))
open(sys.argv[2], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 0, 0, 0, 0)) +
                              chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
pdfunite $(for _ in $(seq 100); do echo examples/shipping-label.pdf; done) "$work/p100.pdf"
document() { timeout 600 "$client" "$qxvn_uri" "$2" "$3" "$work/qxvn/output" "$app" "$1" "$4" 1 "${5:-0}" 2>"$work/client.err" ||
  echo "$1 failed: $(head -c 200 "$work/client.err")"; }
document wide-png "$work/wide.png" image/png "$jobs"
document pdf-1-page "$PWD/examples/shipping-label.pdf" application/pdf "$((jobs / 2 > 0 ? jobs / 2 : 1))"
document pdf-1-page-idle "$PWD/examples/shipping-label.pdf" application/pdf 20 300
ppd=""
if command -v cupsfilter >/dev/null && command -v ppdc >/dev/null && [ -x /usr/lib/cups/filter/rastertolabel ] &&
  [ -f /usr/share/cups/drv/sample.drv ]; then
  mkdir -p "$work/ppd"
  ppdc -d "$work/ppd" /usr/share/cups/drv/sample.drv 2>/dev/null
  ppd="$work/ppd/zebra.ppd"
fi
# Wall seconds of a command.
wall() { python3 -c 'import subprocess, sys, time
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(f"{time.perf_counter() - start:.6f}")' "$@"; }
mkdir -p "$work/pbm"
for round in $(seq "$rounds"); do
  ours=$(document "pdf-100-pages-r$round" "$work/p100.pdf" application/pdf 2)
  echo "  $ours"
  # One job at a time: its 100 labels over its latency (submit to the last label written).
  labels=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "latency" && $(i + 1) == "median") { printf "%.1f", 100000 / $(i + 2); exit } }' <<<"$ours")
  line="  100 pages: qxvn-printer-app $labels labels/s"
  seconds=$(wall pdftoppm -r 300 -mono "$work/p100.pdf" "$work/pbm/page")
  line="$line, pdftoppm -mono $(awk -v s="$seconds" 'BEGIN { printf "%.1f", 100 / s }') ($(ratio "$labels" "$(awk -v s="$seconds" 'BEGIN { print 100 / s }')")x)"
  if [ -n "$ppd" ]; then
    seconds=$(wall sh -c 'cupsfilter -p "$1" -m application/vnd.cups-raster -o media=w136h215 -o Resolution=300dpi "$2" 2>/dev/null |
      PPD="$1" /usr/lib/cups/filter/rastertolabel 1 bench bench 1 "" >/dev/null 2>&1' sh "$ppd" "$work/p100.pdf")
    line="$line, CUPS chain $(awk -v s="$seconds" 'BEGIN { printf "%.1f", 100 / s }') ($(ratio "$labels" "$(awk -v s="$seconds" 'BEGIN { print 100 / s }')")x)"
  fi
  echo "$line"
done
[ -n "$ppd" ] || echo "(CUPS's rastertolabel or sample drivers are not installed: no CUPS chain)"
for p in "$app" ${lprint_pid:+"$lprint_pid"}; do
  name=$([ "$p" = "$app" ] && echo qxvn-printer-app || echo lprint)
  kill -0 "$p" 2>/dev/null && echo "peak memory of $name: $(awk '/VmHWM/ { print $2, $3 }' "/proc/$p/status")"
done
