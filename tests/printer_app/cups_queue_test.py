#!/usr/bin/env python3
"""Prints through a real CUPS to the app, as a Linux user does: a private cupsd (its own folders
in a temporary directory, 127.0.0.1 on a free port, no browsing) gets an IPP Everywhere queue
made by `lpadmin -m everywhere` for the app, and `lp` prints documents to it without options, on
a custom size and with copies. Each job's stream is decoded and must hold whole labels of the
queue's size, matching what `qxvn print` makes of the same document.

Every wait is bounded; cupsd and the app are always stopped. Exits 77 (skipped) with the reason
when cupsd cannot run here.

usage: cups_queue_test.py APP QXVN EXAMPLES-DIR
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import label_png  # noqa: E402
from local_process import free_port, remove_control_sockets, stop  # noqa: E402

SKIP = 77
CUPSD = "/usr/sbin/cupsd"
LABEL_DOTS = (568, 898)  # 48 x 76 mm at 300 dpi, the line rounded up to whole bytes
failures = []


def wait_until(test, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if test():
            return
        time.sleep(0.2)
    raise RuntimeError(f"timed out after {seconds} s waiting for {what}")


def answers(url):
    try:
        with urllib.request.urlopen(url, timeout=2):
            return True
    except OSError:
        return False


def write_cups_config(root, port):
    for name in ("conf", "conf/ppd", "spool", "cache", "state", "log"):
        os.makedirs(f"{root}/{name}", mode=0o755, exist_ok=True)
    os.makedirs(f"{root}/tmp", exist_ok=True)
    os.chmod(f"{root}/tmp", 0o1777)
    with open(f"{root}/conf/cupsd.conf", "w") as f:
        f.write(f"Listen 127.0.0.1:{port}\nBrowsing Off\nBrowseLocalProtocols none\nWebInterface No\n"
                "LogLevel info\nDefaultAuthType None\n"
                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n")
    with open(f"{root}/conf/cups-files.conf", "w") as f:
        f.write(f"ServerRoot {root}/conf\nRequestRoot {root}/spool\nCacheDir {root}/cache\n"
                f"StateDir {root}/state\nTempDir {root}/tmp\nAccessLog {root}/log/access_log\n"
                f"ErrorLog {root}/log/error_log\nPageLog {root}/log/page_log\n")
        if os.geteuid() == 0:
            f.write("User lp\nGroup lp\nSystemGroup root\n")


class Check:
    def __init__(self, qxvn, work):
        self.qxvn = qxvn
        self.work = work

    def decode(self, stream, name):
        out = f"{self.work}/{name}.png"
        result = subprocess.run([self.qxvn, "decode", stream, "-o", out], capture_output=True, text=True,
                                timeout=60)
        if result.returncode != 0:
            raise RuntimeError(f"qxvn decode {stream}: {result.stderr}")
        pages = sorted(p for p in os.listdir(self.work) if p.startswith(name) and p.endswith(".png"))
        pages = [p for p in pages if p == f"{name}.png" or p[len(name):].startswith("-")]
        return [label_png.read(f"{self.work}/{p}") for p in sorted(pages, key=lambda p: (len(p), p))]

    def reference(self, document, name, paper="48x76"):
        stream = f"{self.work}/{name}.qxvn"
        # Laid out as the app lays it out, so that its bar code is redrawn as the app redraws it.
        subprocess.run([self.qxvn, "print", document, "--paper", paper, "--scaling", "auto", "-o", stream],
                       check=True,
                       capture_output=True, timeout=60)
        return self.decode(stream, name)


def expect(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, file=sys.stderr)


def check_labels(what, labels, size, references=None, min_dots=1000):
    """Whole labels of `size` dots: every dot inside, as many dots as the reference (within 3%)."""
    width, length = size
    for index, label in enumerate(labels):
        page = f"{what}, page {index + 1}"
        box = label.box()
        expect(box is not None and label.dots() >= min_dots, f"{page}: blank ({label.dots()} dots)")
        if box is None:
            continue
        expect(label.width == width, f"{page}: {label.width} dots wide, not {width}")
        expect(box[2] <= width and box[3] <= length, f"{page}: dots reach {box}, outside {width} x {length}")
        if references:
            want = references[index % len(references)].dots()
            expect(abs(label.dots() - want) <= want * 0.03, f"{page}: {label.dots()} dots, qxvn print gives {want}")
        print(f"{page}: {label.width} x {label.height} lines, {label.dots()} dots, box {box}")


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    app_path, qxvn, examples = argv[1:]
    missing = [tool for tool in (CUPSD, "lp", "lpadmin", "lpstat", "pdfunite") if not shutil.which(tool)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (bash scripts/setup.sh installs them)")
        return SKIP
    root = tempfile.mkdtemp(prefix="qxvn-cups-")
    os.chmod(root, 0o755)  # CUPS runs its filters as another user
    app = cupsd = None
    try:
        app_port, cups_port = free_port(), free_port()
        output = f"{root}/app/output"
        # A name of the test's own: the app's local socket is named after it, and as root it would
        # otherwise take over the installed service's socket in /run.
        program = f"{root}/qxvn-printer-app-cups{os.getpid()}"
        os.symlink(os.path.abspath(app_path), program)
        app = subprocess.Popen([program, "--state", f"{root}/app", "--port", str(app_port), "--log",
                                f"{root}/app.log"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: answers(f"http://127.0.0.1:{app_port}/"), 20, "the app")

        write_cups_config(f"{root}/cups", cups_port)
        cupsd = subprocess.Popen([CUPSD, "-f", "-c", f"{root}/cups/conf/cupsd.conf", "-s",
                                  f"{root}/cups/conf/cups-files.conf"], stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True)
        env = dict(os.environ, CUPS_SERVER=f"127.0.0.1:{cups_port}")
        env.pop("PRINTER", None)
        env.pop("LPDEST", None)

        def run(*args, timeout=30):
            return subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=timeout)

        # `lpstat -r` exits 0 whether or not the scheduler answers; only its words tell.
        def scheduler_runs():
            return run("lpstat", "-r").stdout.strip() == "scheduler is running"

        try:
            wait_until(lambda: cupsd.poll() is not None or scheduler_runs(), 30, "cupsd")
        except RuntimeError:
            pass
        if cupsd.poll() is not None or not scheduler_runs():
            stop(cupsd)
            print("skipped: a private cupsd does not run here: " + (cupsd.stdout.read() or "no answer")[-500:])
            return SKIP

        uri = f"ipp://127.0.0.1:{app_port}/ipp/print/label"
        made = run("lpadmin", "-p", "label", "-E", "-v", uri, "-m", "everywhere", timeout=60)
        if made.returncode != 0:
            raise RuntimeError("lpadmin: " + made.stderr)
        wait_until(lambda: "PageSize" in run("lpoptions", "-p", "label", "-l").stdout, 20, "the queue's PPD")
        sizes = run("lpoptions", "-p", "label", "-l").stdout
        print("the queue's options:\n" + sizes)
        page_size = next((line for line in sizes.splitlines() if line.startswith("PageSize")), "")
        expect("*48x76mm" in page_size, f"the queue's default size is not the app's 48x76mm: {page_size}")
        expect("Borderless" not in page_size, f"the queue offers borderless sizes: {page_size}")

        check = Check(qxvn, root)
        job_count = [0]

        def print_job(document, *options):
            for name in os.listdir(output):
                os.remove(f"{output}/{name}")
            job_count[0] += 1
            title = f"job{job_count[0]}"
            submitted = run("lp", "-d", "label", "-t", title, *options, document)
            if submitted.returncode != 0:
                raise RuntimeError(f"lp {document}: {submitted.stderr}")
            # The app names a job's file ID-TITLE.prn.
            streams = lambda: glob.glob(f"{output}/*-{title}.prn")
            wait_until(lambda: run("lpstat", "-o", "label").stdout == "" and streams(), 60,
                       f"lp {' '.join(options)} {document} to print")
            stream = streams()[0]
            time.sleep(0.3)  # CUPS's backend waits for the app's job to end; the file is closed by then
            return check.decode(stream, title)

        pdf = f"{examples}/shipping-label.pdf"
        png = f"{examples}/shipping-label.png"
        reference_pdf = check.reference(pdf, "reference-pdf")
        reference_png = check.reference(png, "reference-png")

        labels = print_job(pdf)
        expect(len(labels) == 1, f"the sample PDF gives {len(labels)} labels")
        check_labels("the sample PDF", labels, LABEL_DOTS, reference_pdf)

        labels = print_job(png)
        expect(len(labels) == 1, f"the sample PNG gives {len(labels)} labels")
        check_labels("the sample PNG", labels, LABEL_DOTS, reference_png)

        text = f"{root}/note.txt"
        with open(text, "w") as f:
            f.write("Parcel note\n" + "A line of text long enough that it must wrap on a label. " * 2 + "\nEnd\n")
        labels = print_job(text)
        expect(len(labels) == 1, f"the text file gives {len(labels)} labels")
        check_labels("the text file", labels, LABEL_DOTS)
        if labels and labels[0].box():
            expect(labels[0].box()[2] < LABEL_DOTS[0] - 5, "the text runs into the label's right edge")

        three = f"{root}/three-pages.pdf"
        subprocess.run(["pdfunite", pdf, pdf, pdf, three], check=True, timeout=30)
        labels = print_job(three)
        expect(len(labels) == 3, f"the 3-page PDF gives {len(labels)} labels")
        check_labels("the 3-page PDF", labels, LABEL_DOTS, reference_pdf)

        labels = print_job(pdf, "-n", "3")
        expect(len(labels) == 3, f"-n 3 gives {len(labels)} labels")
        check_labels("-n 3", labels, LABEL_DOTS, reference_pdf)

        # 40 x 60 mm: 472 dots wide, 708 lines. The sample is made smaller to fit; its border shows.
        labels = print_job(pdf, "-o", "media=Custom.40x60mm")
        expect(len(labels) == 1, f"the custom size gives {len(labels)} labels")
        check_labels("-o media=Custom.40x60mm", labels, (472, 709))
        if labels and labels[0].box():
            left, top, right, bottom = labels[0].box()
            expect(left < 30 and right > 472 - 30 and top < 40 and bottom > 709 - 40,
                   f"the custom size's border is cut off or missing: dots within {labels[0].box()}")
    except (OSError, RuntimeError, subprocess.SubprocessError) as error:
        failures.append(str(error))
        print(f"FAIL: {error}", file=sys.stderr)
    finally:
        stop(cupsd)
        stop(app)
        if failures:
            for log in (f"{root}/cups/log/error_log", f"{root}/app.log"):
                if os.path.exists(log):
                    with open(log, errors="replace") as f:
                        print(f"--- {log} (end)\n" + f.read()[-3000:], file=sys.stderr)
        shutil.rmtree(root, ignore_errors=True)
        remove_control_sockets(f"qxvn-printer-app-cups{os.getpid()}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
