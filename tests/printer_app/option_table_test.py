#!/usr/bin/env python3
"""Every option the app offers, through the clients a user has: `qxvn-printer-app submit`, ipptool
and `lp` on a private cupsd's IPP Everywhere queue. One table: each row an option and the clients
it is given with, and what the user must see: the printed stream (read back with `qxvn dump` and
`qxvn decode`) or the refusal's words. Then the README's sub-command examples, run as written.

The app runs under a name of the test's own (its local socket is named after it), on 127.0.0.1 and
a free port; cupsd likewise. Every wait is bounded and both are always stopped. The CUPS rows are
skipped, saying why, where cupsd cannot run.

usage: option_table_test.py APP QXVN EXAMPLES-DIR README
"""
import glob
import os
import pwd
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import label_png  # noqa: E402
from cups_queue_test import CUPSD, answers, wait_until, write_cups_config  # noqa: E402
from local_process import free_port, remove_control_sockets, stop  # noqa: E402

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, file=sys.stderr)


def write_png(path, width, height, dpi, draw):
    """An 8-bit gray PNG with its resolution; draw(x, y) is True for black."""
    rows = b"".join(b"\0" + bytes(0 if draw(x, y) else 255 for x in range(width)) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    per_metre = round(dpi / 0.0254)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
                chunk(b"pHYs", struct.pack(">IIB", per_metre, per_metre, 1)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def write_pwg(path, width_dots, height_mm, y_dpi):
    """One 8-bit gray PWG raster page at 300 x Y_DPI dpi: its left half black."""
    height = round(height_mm * y_dpi / 25.4)
    header = bytearray(1796)
    put = lambda offset, value: struct.pack_into(">I", header, offset, value)
    header[0:8] = b"PwgRaster"[:8]
    put(276, 300), put(280, y_dpi)                                  # HWResolution
    put(352, round(width_dots * 72 / 300)), put(356, round(height_mm * 72 / 25.4))  # PageSize, points
    put(372, width_dots), put(376, height)                          # cupsWidth, cupsHeight
    put(384, 8), put(388, 8), put(392, width_dots)                  # bits per colour, pixel; bytes a line
    put(400, 18), put(420, 1)                                       # sgray, one colour
    def runs(value, count):
        out = b""
        while count:
            n = min(count, 128)
            out += bytes([n - 1, value])
            count -= n
        return out
    line = b"\0" + runs(0, width_dots // 2) + runs(255, width_dots - width_dots // 2)
    with open(path, "wb") as f:
        f.write(b"RaS2" + bytes(header) + line * height)


def jpeg_without_jfif(pdf, work):
    """A JPEG whose first segment is a quantisation table (FF D8 FF DB), as some encoders write."""
    subprocess.run(["pdftoppm", "-jpeg", "-r", "300", "-singlefile", pdf, f"{work}/page"], check=True, timeout=60)
    data = open(f"{work}/page.jpg", "rb").read()
    assert data[2:4] == b"\xff\xe0", "pdftoppm wrote no JFIF segment"
    length = struct.unpack(">H", data[4:6])[0]
    stripped = data[:2] + data[4 + length:]
    assert stripped[:4] == b"\xff\xd8\xff\xdb"
    path = f"{work}/no-jfif.jpg"
    open(path, "wb").write(stripped)
    return path


class Stream:
    """What `qxvn dump` and `qxvn decode` read in a printed stream."""

    def __init__(self, qxvn, path, work):
        dump = subprocess.run([qxvn, "dump", path], capture_output=True, text=True, timeout=60).stdout
        self.pages = len(re.findall(r"^\s+page \d+:", dump, re.M))
        self.lines = [int(n) for n in re.findall(r"^\s+page \d+: (\d+) lines", dump, re.M)]
        self.dots = [int(n) for n in re.findall(r"lines, (\d+) dots", dump)]
        self.width = [int(n) for n in re.findall(r"LINE_BYTES\s+\d+ bytes \((\d+) dots\)", dump)]
        self.darkness = [int(n) for n in re.findall(r"DARKNESS\s+(\d+)", dump)]
        out = f"{work}/decoded.png"
        for old in glob.glob(f"{work}/decoded*.png"):
            os.remove(old)
        subprocess.run([qxvn, "decode", path, "-o", out], capture_output=True, timeout=60)
        first = out if os.path.exists(out) else f"{work}/decoded-1.png"
        self.label = label_png.read(first) if os.path.exists(first) else None
        self.box = self.label.box() if self.label else None

    def foot_at_bottom(self):
        """Whether the solid foot of the bars sample printed below its bars."""
        left, top, right, bottom = self.box
        return sum(self.label.rows[bottom - 1]) > sum(self.label.rows[top])

    def __repr__(self):
        return (f"{self.pages} pages, lines {self.lines}, dots {self.dots}, width {self.width}, darkness "
                f"{self.darkness}, box {self.box}")


class Clients:
    def __init__(self, program, qxvn, root, app_port, cups_env):
        self.program, self.qxvn, self.root = program, qxvn, root
        self.uri = f"ipp://127.0.0.1:{app_port}/ipp/print/label"
        self.output = f"{root}/app/output"
        self.cups_env = cups_env
        self.count = 0

    def clear(self):
        for name in os.listdir(self.output):
            os.remove(f"{self.output}/{name}")

    def stream(self, title):
        """The stream of the job of that title, once it is complete."""
        found = lambda: glob.glob(f"{self.output}/*-{title}.prn")
        wait_until(found, 60, f"the job {title}")
        # Written as the job goes: read once it has stopped growing and holds whole pages.
        path, size, deadline = found()[0], -1, time.monotonic() + 60
        while time.monotonic() < deadline:
            time.sleep(0.4)
            now = os.path.getsize(path) if os.path.exists(path) else -1
            if now == size and now > 0:
                stream = Stream(self.qxvn, path, self.root)
                if stream.pages > 0:
                    return stream
            size = now
        return Stream(self.qxvn, path, self.root)

    def submit(self, args, document, printer=("-d", "label"), wait=("--wait",)):
        """`submit` to the local server's printer by name, or with printer=("-u", URI) to its URI."""
        self.clear()
        self.count += 1
        title = f"submit{self.count}"
        run = subprocess.run([self.program, "submit", *printer, "-t", title, *wait, *args, document],
                             capture_output=True, text=True, timeout=90)
        if run.returncode != 0:
            return run.stderr.strip()
        return self.stream(title)

    def ipptool(self, attributes, document, format="application/octet-stream"):
        self.clear()
        self.count += 1
        title = f"ipp{self.count}"
        test = (f'{{\n OPERATION Print-Job\n GROUP operation-attributes-tag\n ATTR charset attributes-charset utf-8\n'
                f' ATTR naturalLanguage attributes-natural-language en\n ATTR uri printer-uri $uri\n'
                f' ATTR name requesting-user-name tester\n ATTR name job-name {title}\n'
                f' ATTR mimeMediaType document-format {format}\n GROUP job-attributes-tag\n'
                + "".join(f" ATTR {line}\n" for line in attributes) + f' FILE {document}\n}}\n')
        path = f"{self.root}/row.test"
        open(path, "w").write(test)
        run = subprocess.run(["ipptool", "-tv", self.uri, path], capture_output=True, text=True, timeout=60)
        status = re.search(r"status-code = (\S+)", run.stdout)
        if not status or not status.group(1).startswith("successful"):
            message = re.search(r"status-message \(textWithoutLanguage\) = (.*)", run.stdout)
            return f"{status.group(1) if status else 'no answer'}: {message.group(1) if message else ''}"
        return self.stream(title)

    def lp(self, args, document):
        self.clear()
        self.count += 1
        title = f"lp{self.count}"
        run = subprocess.run(["lp", "-d", "label", "-t", title, *args, document], env=self.cups_env,
                             capture_output=True, text=True, timeout=30)
        if run.returncode != 0:
            return run.stderr.strip()
        return self.stream(title)


def start_cups(root, app_port):
    """A private cupsd with an `everywhere` queue for the app; (process, env) or (None, reason)."""
    missing = [tool for tool in (CUPSD, "lp", "lpadmin", "lpstat") if not shutil.which(tool)]
    if missing:
        return None, f"{', '.join(missing)} not installed"
    port = free_port()
    write_cups_config(f"{root}/cups", port)
    cupsd = subprocess.Popen([CUPSD, "-f", "-c", f"{root}/cups/conf/cupsd.conf", "-s",
                              f"{root}/cups/conf/cups-files.conf"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    env = dict(os.environ, CUPS_SERVER=f"127.0.0.1:{port}")
    env.pop("PRINTER", None)
    env.pop("LPDEST", None)
    runs = lambda: subprocess.run(["lpstat", "-r"], env=env, capture_output=True, text=True,
                                  timeout=10).stdout.strip() == "scheduler is running"
    try:
        wait_until(lambda: cupsd.poll() is not None or runs(), 30, "cupsd")
    except RuntimeError:
        pass
    if cupsd.poll() is not None or not runs():
        stop(cupsd)
        return None, "a private cupsd does not run here"
    made = subprocess.run(["lpadmin", "-p", "label", "-E", "-v", f"ipp://127.0.0.1:{app_port}/ipp/print/label",
                           "-m", "everywhere"], env=env, capture_output=True, text=True, timeout=60)
    if made.returncode != 0:
        stop(cupsd)
        raise RuntimeError("lpadmin: " + made.stderr)
    return cupsd, env


def run_table(clients, documents, cups):
    png, pdf, bars, jpeg, text, garbage, cut = (documents[k] for k in
                                                ("png", "pdf", "bars", "jpeg", "text", "garbage", "cut"))
    base = clients.submit([], png)
    expect(isinstance(base, Stream) and base.pages == 1, f"the sample label: {base}")
    if not isinstance(base, Stream):
        return
    printed = lambda check: ("stream", check)
    refused = lambda words: ("refused", words)
    unsupported = "client-error-attributes-or-values-not-supported"
    # (what, [(client, arguments, document)], expected)
    table = [
        ("two copies", [("submit", ["-n", "2"], png), ("submit", ["-c", "2"], png), ("submit -u", ["-n", "2"], png),
                        ("submit", ["-o", "copies=2"], png), ("ipptool", ["integer copies 2"], png),
                        ("lp", ["-n", "2"], png)],
         printed(lambda s: s.pages == 2)),
        ("a listed label by CUPS's name", [("submit", ["-o", "media=48x50mm"], png),
                                          ("ipptool", ["keyword media 48x50mm"], png),
                                          ("lp", ["-o", "media=48x50mm"], pdf)],
         printed(lambda s: s.lines == [590] and s.width == [568])),
        ("a custom size by PWG and CUPS names", [("submit", ["-o", "media=custom_x_40x60mm"], png),
                                                 ("ipptool", ["keyword media om_x_40x60mm"], png),
                                                 ("lp", ["-o", "media=Custom.40x60mm"], pdf)],
         printed(lambda s: s.width == [472] and s.lines == [708])),
        ("a size no label has", [("submit", ["-o", "media=60x60mm"], png),
                                 ("ipptool", ["keyword media na_letter_8.5x11in"], png)],
         refused("is not a label this printer takes (accepted: 48x76mm")),
        ("print darkness", [("submit", ["-o", "print-darkness=80"], png),
                            ("ipptool", ["integer print-darkness 80"], png)],
         printed(lambda s: s.darkness == [14] and base.darkness == [7])),
        ("gray threshold", [("submit", ["-o", "gray-threshold=60"], png),
                            ("ipptool", ["integer gray-threshold 60"], png)],
         printed(lambda s: s.pages == 1 and s.dots[0] < base.dots[0] * 0.9)),
        ("gray threshold out of range", [("submit", ["-o", "gray-threshold=300"], png),
                                         ("ipptool", ["integer gray-threshold 300"], png)],
         refused("gray-threshold 300 is out of range (accepted: 1 to 254)")),
        ("label rotation", [("submit", ["-o", "label-rotation=upside-down"], bars)],
         printed(lambda s: s.box is not None and not s.foot_at_bottom())),
        ("a rotation it does not have", [("submit", ["-o", "label-rotation=sideways"], png),
                                         ("ipptool", ["keyword label-rotation sideways"], png)],
         refused("accepted: upright, clockwise, upside-down, anticlockwise")),
        ("colour", [("submit", ["-o", "print-color-mode=color"], png),
                    ("ipptool", ["keyword print-color-mode color"], png)],
         refused("print-color-mode color is not offered (accepted: auto, monochrome)")),
        ("what the head cannot do", [("ipptool", ["resolution printer-resolution 600dpi"], png),
                                     ("ipptool", ["keyword sides two-sided-long-edge"], png),
                                     ("submit", ["-o", "print-speed=99999"], png)],
         refused("(accepted: ")),
        ("an option the printer does not have", [("submit", ["-o", "finishings=staple"], png),
                                                 ("submit -u", ["-o", "finishings=staple"], png)],
         refused("not an option of this printer")),
        ("a small landscape code fits upright", [("submit", [], bars), ("ipptool", [], bars), ("lp", [], bars)],
         printed(lambda s: s.box is not None and s.box[2] - s.box[0] > s.box[3] - s.box[1] and s.foot_at_bottom())),
        ("landscape asked for", [("submit", ["-o", "orientation-requested=landscape"], bars),
                                 ("ipptool", ["enum orientation-requested 4"], bars)],
         printed(lambda s: s.box is not None and s.box[2] - s.box[0] < s.box[3] - s.box[1])),
        ("a JPEG without JFIF, told by its bytes", [("submit", [], jpeg), ("ipptool", [], jpeg),
                                                    ("lp", [], jpeg)],
         printed(lambda s: s.pages == 1 and s.dots[0] > 10000)),
        ("plain text", [("submit", [], text), ("ipptool", [], text)],
         printed(lambda s: s.pages == 1 and s.dots[0] > 500 and s.box[2] < 560)),
        ("no format it prints", [("submit", [], garbage), ("ipptool", [], garbage), ("submit -u", [], garbage)],
         refused("no format this printer prints (PDF, PNG, JPEG")),
        ("a label stream cut short", [("submit", [], cut), ("submit without --wait", [], cut),
                                      ("submit -u", [], cut),
                                      ("ipptool", [], cut)],
         refused("Unable to print the label stream: ")),
    ]
    for what, uses, (kind, check) in table:
        for client, args, document in uses:
            row = f"{what} by {client} {' '.join(args)}".strip()
            if client == "lp" and not cups:
                continue
            if client == "submit":
                result = clients.submit(args, document)
            elif client == "submit -u":
                result = clients.submit(args, document, printer=("-u", clients.uri))
            elif client == "submit without --wait":
                result = clients.submit(args, document, wait=())
            elif client == "ipptool":
                result = clients.ipptool(args, document)
            else:
                result = clients.lp(args, document)
            if kind == "stream":
                expect(isinstance(result, Stream) and check(result), f"{row}: {result}")
            else:
                expect(isinstance(result, str) and check in result, f"{row}: {result!r}, not refused with '{check}'")
                if client == "ipptool" and isinstance(result, str) and "finishings" not in what:
                    expect(result.startswith(unsupported) or result.startswith("client-error-document"),
                           f"{row}: {result!r}")
            print(f"{row}: {result}")
    # A raster at 150 dpi down the page (what CUPS's "Draft" asks for) prints at its size.
    for y_dpi in (300, 150):
        raster = f"{clients.root}/half-{y_dpi}.pwg"
        write_pwg(raster, 566, 76, y_dpi)
        result = clients.ipptool([], raster, format="image/pwg-raster")
        expect(isinstance(result, Stream) and result.lines and result.lines[0] >= 890 and
               result.box[3] - result.box[1] >= 890, f"a 300 x {y_dpi} dpi raster: {result}")
        print(f"a 300 x {y_dpi} dpi raster: {result}")
    # A format declared that the bytes contradict: printed as what it is.
    result = clients.ipptool([], jpeg, format="image/png")
    expect(isinstance(result, Stream) and result.pages == 1, f"a JPEG sent as PNG: {result}")
    # The verdict of a job that cannot print, and of one that is not there.
    truncated = f"{clients.root}/truncated.png"
    open(truncated, "wb").write(open(png, "rb").read()[:3000])
    run = subprocess.run([clients.program, "submit", "-d", "label", "--wait", truncated], capture_output=True,
                         text=True, timeout=60)
    expect(run.returncode == 1 and "aborted" in run.stderr and "document-format-error" in run.stderr,
           f"submit --wait of a damaged PNG: {run.returncode} {run.stderr!r}")
    job = run.stdout.strip().rsplit("-", 1)[-1]
    status = subprocess.run([clients.program, "status", "-j", job], capture_output=True, text=True, timeout=30)
    expect(status.returncode == 0 and "aborted: document-format-error; Unable to render the page" in status.stdout,
           f"status -j {job}: {status.stdout!r}")
    missing = subprocess.run([clients.program, "status", "-j", "9999"], capture_output=True, text=True, timeout=30)
    expect(missing.returncode == 1 and "no job 9999" in missing.stderr, f"status -j 9999: {missing.stderr!r}")


def set_printer(clients, *attributes):
    """Set-Printer-Attributes; the status code and message."""
    test = ("{\n OPERATION Set-Printer-Attributes\n GROUP operation-attributes-tag\n"
            " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
            " ATTR uri printer-uri $uri\n GROUP printer-attributes-tag\n" +
            "".join(f" ATTR {line}\n" for line in attributes) + "}\n")
    path = f"{clients.root}/set.test"
    open(path, "w").write(test)
    run = subprocess.run(["ipptool", "-tv", clients.uri, path], capture_output=True, text=True, timeout=60)
    status = re.search(r"status-code = (\S+) \((.*)\)", run.stdout)
    return status.groups() if status else ("no answer", run.stderr)


def printer_value(clients, name):
    test = ("{\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n"
            " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
            f" ATTR uri printer-uri $uri\n ATTR keyword requested-attributes {name}\n}}\n")
    path = f"{clients.root}/get.test"
    open(path, "w").write(test)
    run = subprocess.run(["ipptool", "-tv", clients.uri, path], capture_output=True, text=True, timeout=60)
    found = re.findall(rf"^\s+{re.escape(name)} \([^)]*\) = (.*)$", run.stdout, re.M)
    return found[-1] if found else None


def run_defaults(clients, documents, restart):
    """Printer defaults set over IPP hold for jobs that ask nothing, and across a restart."""
    bars, png = documents["bars"], documents["png"]
    turned = lambda s: isinstance(s, Stream) and s.box is not None and s.box[2] - s.box[0] < s.box[3] - s.box[1]
    expect(set_printer(clients, "keyword media-ready om_48x50mm_48x50mm")[0] == "successful-ok", "media-ready")
    loaded = clients.submit([], png)
    expect(isinstance(loaded, Stream) and loaded.lines == [590], f"a job on the loaded 48 x 50 mm label: {loaded}")
    expect(set_printer(clients, "enum orientation-requested-default 4")[0] == "successful-ok", "landscape default")
    expect(turned(clients.submit([], bars)), "a job under the landscape default is not turned")
    status, message = set_printer(clients, "integer gray-threshold-default 999")
    expect(status == "client-error-attributes-or-values-not-supported" and "accepted: 1 to 254" in message,
           f"gray-threshold-default 999: {status} {message}")
    # The web interface's Printing Defaults page sets it too.
    form = subprocess.run([sys.executable, f"{os.path.dirname(os.path.abspath(__file__))}/web_form.py",
                           clients.uri.replace("ipp://", "http://").replace("/ipp/print/", "/") + "/printing",
                           "orientation-requested=5"], capture_output=True, text=True, timeout=60)
    expect(printer_value(clients, "orientation-requested-default") == "reverse-landscape",
           f"the web page's orientation: {form.stdout} {form.stderr}")
    # The printer page's test page is the requester's job, not "guest"'s.
    subprocess.run([sys.executable, f"{os.path.dirname(os.path.abspath(__file__))}/web_form.py",
                    clients.uri.replace("ipp://", "http://").replace("/ipp/print/", "/"), "action=print-test-page"],
                   capture_output=True, text=True, timeout=60)
    jobs = subprocess.run([clients.program, "jobs", "-d", "label"], capture_output=True, text=True, timeout=30).stdout
    test_page = next((line for line in jobs.splitlines() if line.endswith("Test Page")), "")
    expect(pwd.getpwuid(os.getuid()).pw_name in test_page.split(), f"the test page's job: {test_page!r}")
    expect(set_printer(clients, "enum orientation-requested-default 4")[0] == "successful-ok", "landscape again")
    restart()
    expect(printer_value(clients, "orientation-requested-default") == "landscape", "the default after a restart")
    expect(turned(clients.submit([], bars)), "after a restart, the landscape default is lost")
    expect(set_printer(clients, "enum orientation-requested-default 3")[0] == "successful-ok", "portrait default")


def readme_examples(readme):
    text = open(readme).read()
    block = text.split("runs them as written, against a server of its own):\n", 1)[1]
    lines = []
    for line in block.splitlines()[1:]:
        if not line.startswith("    "):
            break
        lines.append(line.strip())
    return lines


def run_readme_examples(program, readme):
    examples = readme_examples(readme)
    expect(len(examples) >= 5, f"the README's examples: {examples}")
    for example in examples:
        words = shlex.split(example)
        expect(words[0] == "qxvn-printer-app", f"an example that is not a sub-command: {example}")
        run = subprocess.run([program, *words[1:]], cwd=os.path.dirname(os.path.abspath(readme)),
                             capture_output=True, text=True, timeout=90)
        expect(run.returncode == 0 and run.stdout, f"`{example}`: exit {run.returncode}, {run.stderr!r}")
        print(f"$ {example}\n{run.stdout}", end="")


def main(argv):
    if len(argv) != 5:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    app_path, qxvn, examples, readme = argv[1:]
    root = tempfile.mkdtemp(prefix="qxvn-options-")
    os.chmod(root, 0o755)  # CUPS runs its filters as another user
    app = cupsd = None
    try:
        app_port = free_port()
        program = f"{root}/qxvn-printer-app-options{os.getpid()}"
        os.symlink(os.path.abspath(app_path), program)

        def start_app():
            started = subprocess.Popen([program, "--state", f"{root}/app", "--port", str(app_port), "--log",
                                        f"{root}/app.log"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(lambda: answers(f"http://127.0.0.1:{app_port}/"), 20, "the app")
            return started
        app = start_app()
        cupsd, env = start_cups(root, app_port)
        if not cupsd:
            print(f"the lp rows are skipped: {env}")

        bars = f"{root}/code-44x18mm.png"
        # 44 x 18 mm at 203 dpi: bars across, a solid foot that tells which way up it printed.
        write_png(bars, 351, 144, 203, lambda x, y: y >= 120 or (x // 6) % 2 == 0)
        text = f"{root}/note.txt"
        open(text, "w").write("Parcel note\n" + "A line of text long enough that it must wrap on a label. " * 2 + "\n")
        garbage = f"{root}/data.bin"
        open(garbage, "wb").write(bytes(range(256)) * 8)
        cut = f"{root}/cut.qxvn"  # the printer's own stream, its end lost
        subprocess.run([qxvn, "print", f"{examples}/shipping-label.png", "-o", cut], check=True,
                       capture_output=True, timeout=60)
        open(cut, "r+b").truncate(os.path.getsize(cut) - 7)
        documents = {"png": f"{examples}/shipping-label.png", "pdf": f"{examples}/shipping-label.pdf",
                     "bars": bars, "jpeg": jpeg_without_jfif(f"{examples}/shipping-label.pdf", root),
                     "text": text, "garbage": garbage, "cut": cut}
        clients = Clients(program, qxvn, root, app_port, env if cupsd else None)
        run_table(clients, documents, cupsd is not None)

        def restart():
            nonlocal app
            stop(app)
            app = start_app()
        run_defaults(clients, documents, restart)
        run_readme_examples(program, readme)
    except (OSError, RuntimeError, subprocess.SubprocessError, AssertionError) as error:
        failures.append(str(error))
        print(f"FAIL: {error}", file=sys.stderr)
    finally:
        stop(cupsd)
        stop(app)
        if failures and os.path.exists(f"{root}/app.log"):
            print("--- app.log (end)\n" + open(f"{root}/app.log", errors="replace").read()[-3000:], file=sys.stderr)
        shutil.rmtree(root, ignore_errors=True)
        remove_control_sockets(f"qxvn-printer-app-options{os.getpid()}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
