#!/usr/bin/env bash
# Throughput and latency of qxvn-printer-app: 20 sequential and 4 x 10 concurrent jobs of a
# 2-inch label PNG at 300 dpi, from submit to the output file complete; peak memory of the app.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" --target qxvn-printer-app
state="$PWD/build/$preset/app-bench"
rm -rf "$state"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"build/$preset/printer_app/qxvn-printer-app" --state "$state" --port "$port" --log-level warn &
app=$!
trap 'kill $app 2>/dev/null; wait $app 2>/dev/null || true' EXIT
uri="ipp://127.0.0.1:$port/ipp/print/label"
for _ in $(seq 50); do ipptool -q "$uri" get-printer-attributes.test 2>/dev/null && break; sleep 0.2; done
python3 - "$uri" "$state/output" "$app" examples/shipping-label.png <<'PY'
import glob, os, subprocess, sys, threading, time
uri, out, pid, png = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
test = os.path.join(out, "..", "job.test")
open(test, "w").write("""{
OPERATION Print-Job
GROUP operation-attributes-tag
ATTR charset attributes-charset utf-8
ATTR naturalLanguage attributes-natural-language en
ATTR uri printer-uri $uri
ATTR name requesting-user-name bench
ATTR name job-name $jobname
ATTR mimeMediaType document-format image/png
FILE $filename
STATUS successful-ok
}
""")
size = None
def job(name):
    start = time.monotonic()
    subprocess.run(["ipptool", "-q", "-f", png, "-d", "jobname=" + name, uri, test], check=True)
    deadline = start + 60
    while time.monotonic() < deadline:
        # A job's file is ID-NAME.prn.
        done = [p for p in glob.glob(os.path.join(out, "*-" + name + ".prn")) if os.path.getsize(p) == size]
        if done:
            return time.monotonic() - start
        time.sleep(0.002)
    raise SystemExit("job %s did not complete" % name)
def report(title, latencies, wall):
    latencies.sort()
    med = latencies[len(latencies) // 2]
    p90 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.9))]
    print("%-22s %3d jobs  %6.1f jobs/s  latency median %6.1f ms  p90 %6.1f ms" % (title, len(latencies), len(latencies) / wall, med * 1000, p90 * 1000))
# The size of a complete output, from one warm-up job.
subprocess.run(["ipptool", "-q", "-f", png, "-d", "jobname=warm", uri, test], check=True)
for _ in range(500):
    found = glob.glob(os.path.join(out, "*-warm.prn"))
    p = found[0] if found else ""
    if p and os.path.getsize(p) > 0:
        time.sleep(0.3); size = os.path.getsize(p); break
    time.sleep(0.01)
t0 = time.monotonic(); seq = [job("s%d" % i) for i in range(20)]; report("sequential", seq, time.monotonic() - t0)
conc, lock = [], threading.Lock()
def client(c):
    for i in range(10):
        v = job("c%d-%d" % (c, i))
        with lock: conc.append(v)
t0 = time.monotonic(); ts = [threading.Thread(target=client, args=(c,)) for c in range(4)]
[t.start() for t in ts]; [t.join() for t in ts]; report("4 clients x 10", conc, time.monotonic() - t0)
for line in open("/proc/%s/status" % pid):
    if line.startswith("VmHWM"): print("peak memory of the app: " + line.split(":")[1].strip())
PY
