#!/usr/bin/env python3
"""Memory of qxvn-printer-app under many idle connections.

    bench/idle_connections.py APP [CONNECTIONS] [--as-self]   (default 10000)

Starts APP (a fresh state folder, a free port on 127.0.0.1), opens CONNECTIONS connections that
send nothing, and prints the app's resident memory and threads while they are held, and how long
a request of the app's own user takes meanwhile. Run as root, the idle connections come from the
account nobody (a client the per-client limit counts); otherwise from the caller, who is then the
app's own user and not limited (also with --as-self): the figures show the cost of admitted
connections instead.
"""
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HOLDER = r"""
import resource, socket, sys, time
count = int(sys.argv[1]); port = int(sys.argv[2])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, count + 64), hard))
held = []
for _ in range(count):
    try:
        held.append(socket.create_connection(("127.0.0.1", port), timeout=5))
    except OSError:
        break
print(len(held), flush=True)
time.sleep(float(sys.argv[3]))
time.sleep(1)
open_now = 0
for s in held:
    s.setblocking(False)
    try:
        s.recv(64)  # an answer (503) or the end: closed by the app
    except BlockingIOError:
        open_now += 1
    except OSError:
        pass
print(open_now, flush=True)
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def status(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def timed_request(port):
    start = time.monotonic()
    done = subprocess.run(["ipptool", "-q", f"ipp://127.0.0.1:{port}/ipp/print/label",
                           "get-printer-attributes.test"], timeout=60).returncode == 0
    return done, time.monotonic() - start


def main():
    as_self = "--as-self" in sys.argv
    args = [arg for arg in sys.argv[1:] if arg != "--as-self"]
    app = os.path.abspath(args[0])
    count = int(args[1]) if len(args) > 1 else 10000
    folder = tempfile.mkdtemp(prefix="qxvn-idle-bench-")
    program = os.path.join(folder, "qxvn-idle-bench-app")
    os.symlink(app, program)
    os.chmod(folder, 0o755)
    port = free_port()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    server = subprocess.Popen([program, "server", "--state", os.path.join(folder, "state"),
                               "--port", str(port), "--log", os.path.join(folder, "app.log")],
                              stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            if timed_request(port)[0]:
                break
            time.sleep(0.1)
        base = status(server.pid, "VmRSS")
        as_nobody = os.getuid() == 0 and not as_self
        holder = ["/usr/bin/python3" if as_nobody else sys.executable, "-c", HOLDER, str(count), str(port), "8"]
        if as_nobody:
            holder = ["runuser", "-u", "nobody", "--"] + holder
        clients = subprocess.Popen(holder, stdout=subprocess.PIPE, text=True)
        opened = int(clients.stdout.readline() or 0)
        time.sleep(3)
        rss, threads = status(server.pid, "VmRSS"), status(server.pid, "Threads")
        served, seconds = timed_request(port)
        still = int(clients.stdout.readline() or 0)
        clients.wait()
        who = "nobody" if as_nobody else "the app's own user"
        print(f"idle connections from {who}: {opened} opened, {still} still open after 12 s")
        print(f"app memory: {base / 1024:.1f} MiB before, {rss / 1024:.1f} MiB while held "
              f"({(rss - base) / max(opened, 1):.1f} KiB a connection), {threads} threads")
        print(f"a request of the app's own user meanwhile: {'served' if served else 'NOT served'} "
              f"in {seconds:.2f} s")
    finally:
        server.terminate()
        server.wait(timeout=30)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
