"""What the Python tests share for the servers they start on this machine: a free loopback
port, stopping a process (SIGTERM, then SIGKILL after 10 s), and removing the control sockets
an app run under a name of the test's own may leave when it was killed."""
import glob
import os
import socket
import subprocess
import tempfile


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop(process):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def remove_control_sockets(program):
    for folder in ("/run", tempfile.gettempdir()):
        for sock in glob.glob(f"{folder}/{program}*.sock"):
            os.remove(sock)
