#!/usr/bin/env python3
"""Finds the app as clients on the network do, in a network namespace of the test's own (only
loopback, up) with its own D-Bus system bus and Avahi daemon, so that nothing of the machine's
network or services is touched:

- `ippfind` finds the printer as _ipp._tcp and _ipps._tcp, with the TXT keys AirPrint and Mopria
  clients read (pdl with image/urf, image/pwg-raster and application/pdf; URF; Color; Duplex;
  kind; UUID, the printer's own; adminurl, its web page);
- a private cupsd's `lpinfo -v` lists it, `lpadmin -m everywhere` on that discovered URI makes
  a queue, and `lp` prints a whole label through it;
- a raw-socket label printer announced as _pdl-datastream._tcp (a listener of the test's own)
  prints a whole label from a dnssd:// printer of the app.

Every wait is bounded; every daemon started is stopped. Exits 77 (skipped) with the reason when
a namespace cannot be made (not root, or no user and network namespaces) or a tool is missing.

usage: discovery_test.py APP QXVN EXAMPLES-DIR
"""
import glob
import os
import shutil
import subprocess
import sys
import socket
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cups_queue_test as cups  # noqa: E402
from local_process import free_port, stop  # noqa: E402

SKIP = 77
INSIDE = "--inside-namespace"
TOOLS = ("unshare", "ip", "dbus-daemon", "avahi-daemon", "avahi-publish", "ippfind", "ipptool", "lpinfo", "lpadmin", "lp")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""
AVAHI_CONFIG = "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\n[publish]\npublish-hinfo=no\n" \
               "publish-workstation=no\n"


def ippfind(*args):
    result = subprocess.run(["ippfind", "-T", "5", *args], capture_output=True, text=True, timeout=30)
    return result.stdout


def txt_keys(regtype):
    """The TXT keys of the first printer found for `regtype`, by ippfind's environment."""
    keys = {}
    for line in ippfind(regtype, "-x", "env", ";").splitlines():
        name, _, value = line.partition("=")
        if name.startswith("IPPFIND_TXT_"):
            keys.setdefault(name[len("IPPFIND_TXT_"):].lower(), value)
        elif name == "IPPFIND_SERVICE_URI":
            keys.setdefault("(uri)", value)
    return keys


def printer_uuid(uri):
    test = "{\n  OPERATION Get-Printer-Attributes\n  GROUP operation-attributes-tag\n" \
           "  ATTR charset attributes-charset utf-8\n  ATTR naturalLanguage attributes-natural-language en\n" \
           "  ATTR uri printer-uri $uri\n  ATTR keyword requested-attributes printer-uuid\n}\n"
    with tempfile.NamedTemporaryFile("w", suffix=".test", delete=False) as f:
        f.write(test)
    try:
        out = subprocess.run(["ipptool", "-tv", uri, f.name], capture_output=True, text=True, timeout=30).stdout
    finally:
        os.remove(f.name)
    for line in out.splitlines():
        if "printer-uuid (uri) = " in line:
            return line.split(" = ", 1)[1].strip().removeprefix("urn:uuid:")
    return ""


def start_bus_and_avahi(root):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=10)
    # Private /run folders: the machine's bus and Avahi daemon, if any, stay out of sight.
    for folder in ("/run/dbus", "/run/avahi-daemon"):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", folder], check=True, timeout=10)
    with open(f"{root}/bus.conf", "w") as f:
        f.write(BUS_CONFIG)
    with open(f"{root}/avahi.conf", "w") as f:
        f.write(AVAHI_CONFIG)
    bus = subprocess.Popen(["dbus-daemon", "--nofork", f"--config-file={root}/bus.conf"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cups.wait_until(lambda: os.path.exists("/run/dbus/system_bus_socket"), 10, "the D-Bus daemon")
    avahi = subprocess.Popen(["avahi-daemon", "--no-drop-root", "--no-chroot", "--no-rlimits", "-f",
                              f"{root}/avahi.conf"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cups.wait_until(lambda: os.path.exists("/run/avahi-daemon/socket"), 10, "the Avahi daemon")
    return bus, avahi


class RawPrinter:
    """A network label printer: takes one job on 127.0.0.1 and keeps its bytes once the sender has
    ended it."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.listener.settimeout(60)
        self.port = self.listener.getsockname()[1]
        self.job = None
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            connection, _ = self.listener.accept()
            connection.settimeout(60)
            data = b""
            while chunk := connection.recv(65536):
                data += chunk
            connection.close()
            self.job = data
        except OSError:
            pass

    def close(self):
        self.listener.close()


def check_txt(keys, uuid, port):
    expect = cups.expect
    pdl = keys.get("pdl", "").split(",")
    for format in ("image/urf", "image/pwg-raster", "application/pdf"):
        expect(format in pdl, f"pdl lacks {format}: {keys.get('pdl')}")
    urf = keys.get("urf", "").split(",")
    expect("RS300" in urf and "W8" in urf, f"URF does not say 300 dpi gray: {keys.get('urf')}")
    expect(keys.get("color") == "F", f"Color is {keys.get('color')}, not F (the head prints black)")
    expect(keys.get("duplex") == "F", f"Duplex is {keys.get('duplex')}, not F")
    expect(keys.get("kind") == "label", f"kind is {keys.get('kind')}, not label")
    expect(uuid and keys.get("uuid") == uuid, f"UUID {keys.get('uuid')} is not the printer's {uuid}")
    expect(keys.get("adminurl", "").endswith(f":{port}/label/"), f"adminurl is {keys.get('adminurl')}")
    expect(keys.get("rp") == "ipp/print/label", f"rp is {keys.get('rp')}")


def inside(app_path, qxvn, examples):
    root = tempfile.mkdtemp(prefix="qxvn-discovery-")
    os.chmod(root, 0o755)
    bus = avahi = app = cupsd = publisher = raw = None
    try:
        bus, avahi = start_bus_and_avahi(root)
        raw = RawPrinter()
        publisher = subprocess.Popen(["avahi-publish", "-s", "Raw Label", "_pdl-datastream._tcp", str(raw.port)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port, cups_port = free_port(), free_port()
        program = f"{root}/qxvn-printer-app-dnssd{os.getpid()}"
        os.symlink(os.path.abspath(app_path), program)
        os.makedirs(f"{root}/app/output")
        app = subprocess.Popen([program, "--state", f"{root}/app", "--port", str(port), "--network", "--log",
                                f"{root}/app.log", "--printer", f"label=file://{root}/app/output", "--printer",
                                "raw=dnssd://Raw\\032Label._pdl-datastream._tcp.local/"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cups.wait_until(lambda: cups.answers(f"http://127.0.0.1:{port}/"), 20, "the app")
        uuid = printer_uuid(f"ipp://127.0.0.1:{port}/ipp/print/label")

        keys = {}

        def found():
            keys.update(txt_keys("_ipp._tcp"))
            return "pdl" in keys

        cups.wait_until(found, 30, "ippfind to find _ipp._tcp")
        print("_ipp._tcp TXT: " + " ".join(f"{k}={v}" for k, v in sorted(keys.items())))
        check_txt(keys, uuid, port)
        secure = ippfind("_ipps._tcp")
        cups.expect(f":{port}/ipp/print/label" in secure and secure.startswith("ipps://"),
                    f"ippfind _ipps._tcp finds {secure!r}")

        check = cups.Check(qxvn, root)
        reference = check.reference(f"{examples}/shipping-label.png", "reference")
        submitted = subprocess.run([program, "submit", "-d", "raw", f"{examples}/shipping-label.png"],
                                   capture_output=True, text=True, timeout=30)
        cups.expect(submitted.returncode == 0, f"submit to the DNS-SD printer: {submitted.stderr}")
        cups.wait_until(lambda: raw.job is not None, 60, "the DNS-SD printer to take the job")
        with open(f"{root}/raw.prn", "wb") as f:
            f.write(raw.job)
        labels = check.decode(f"{root}/raw.prn", "raw")
        cups.expect(len(labels) == 1, f"the DNS-SD printer printed {len(labels)} labels")
        cups.check_labels("through dnssd://", labels, cups.LABEL_DOTS, reference)

        cups.write_cups_config(f"{root}/cups", cups_port)
        cupsd = subprocess.Popen([cups.CUPSD, "-f", "-c", f"{root}/cups/conf/cupsd.conf", "-s",
                                  f"{root}/cups/conf/cups-files.conf"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        env = dict(os.environ, CUPS_SERVER=f"127.0.0.1:{cups_port}")

        def run(*args, timeout=60):
            return subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=timeout)

        cups.wait_until(lambda: run("lpstat", "-r").stdout.strip() == "scheduler is running", 30, "cupsd")
        discovered = []

        # The app's service by its UUID (CUPS's dnssd backend) or its name (an IPP backend's own
        # browsing, "ipps://label._ipps._tcp.local/"); the first is preferred.
        def listed():
            lines = [line.split(" ", 1)[1] for line in run("lpinfo", "-v").stdout.splitlines()
                     if line.startswith("network ")]
            discovered[:] = [uri for uri in lines if uuid and uuid in uri] + \
                [uri for uri in lines if "://label._ipp" in uri]
            return bool(discovered)

        try:
            cups.wait_until(listed, 60, "lpinfo -v to list the app")
        except RuntimeError as error:
            raise RuntimeError(f"{error}; it lists:\n{run('lpinfo', '-v').stdout}")
        uri = discovered[0]
        print("lpinfo -v lists " + uri)
        made = run("lpadmin", "-p", "found", "-E", "-v", uri, "-m", "everywhere", timeout=90)
        if made.returncode != 0:
            raise RuntimeError("lpadmin -m everywhere on the discovered URI: " + made.stderr)
        submitted = run("lp", "-d", "found", "-t", "found", f"{examples}/shipping-label.png")
        if submitted.returncode != 0:
            raise RuntimeError("lp: " + submitted.stderr)
        streams = lambda: glob.glob(f"{root}/app/output/*-found.prn")
        cups.wait_until(lambda: run("lpstat", "-o", "found").stdout == "" and streams(), 90, "the label")
        time.sleep(0.3)
        labels = check.decode(streams()[0], "found")
        cups.expect(len(labels) == 1, f"the discovered queue printed {len(labels)} labels")
        cups.check_labels("through the discovered queue", labels, cups.LABEL_DOTS, reference)
    except (OSError, RuntimeError, subprocess.SubprocessError) as error:
        cups.failures.append(str(error))
        print(f"FAIL: {error}", file=sys.stderr)
    finally:
        for process in (cupsd, app, publisher, avahi, bus):
            stop(process)
        if raw:
            raw.close()
        if cups.failures and os.path.exists(f"{root}/app.log"):
            with open(f"{root}/app.log", errors="replace") as f:
                print("--- app.log (end)\n" + f.read()[-3000:], file=sys.stderr)
        shutil.rmtree(root, ignore_errors=True)
    return 1 if cups.failures else 0


def main(argv):
    if len(argv) == 5 and argv[1] == INSIDE:
        return inside(*argv[2:])
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    missing = [tool for tool in TOOLS + (cups.CUPSD,) if not shutil.which(tool)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (bash scripts/setup.sh installs them)")
        return SKIP
    if os.geteuid() != 0:
        print("skipped: making a network namespace with its own Avahi daemon needs root")
        return SKIP
    probe = subprocess.run(["unshare", "-n", "-m", "true"], capture_output=True, text=True, timeout=30)
    if probe.returncode != 0:
        print("skipped: cannot make a network namespace here: " + probe.stderr.strip())
        return SKIP
    # A mount namespace too, for the private /run folders; it ends with the process.
    return subprocess.run(["unshare", "-n", "-m", "--propagation", "private", sys.executable,
                           os.path.abspath(__file__), INSIDE, *argv[1:]], timeout=600).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
