#!/usr/bin/env python3
"""Uses the app's web interface in headless Chromium, as a person would: sets one printer
default (open the page, type the value, press Save, see the page confirm it), checks that the
Printing Defaults page names the settings in words with their units and offers no choice that
does nothing, or presses "Print Test Page" on the printer's page. Saves a screenshot when asked.

Drives Chromium through chromedriver (WebDriver over HTTP on 127.0.0.1, a free port), with the
standard library only. Every wait is bounded; chromedriver and the browser are always stopped.

usage: web_settings.py PAGE-URL FIELD VALUE | --names PAGE-URL PNG | --test-page PRINTER-URL PNG
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from local_process import free_port, stop  # noqa: E402

CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"  # the WebDriver element reference key


class WebDriver:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None, timeout=30):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as response:
                return json.loads(response.read() or b"{}").get("value")
        except urllib.error.HTTPError as error:
            raise RuntimeError(f"{method} {path}: {error.read().decode(errors='replace')}") from None

    def wait_ready(self, seconds=20):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                if self.call("GET", "/status", timeout=2).get("ready"):
                    return
            except (OSError, RuntimeError):
                pass
            time.sleep(0.2)
        raise RuntimeError("chromedriver did not start")

    def start(self, profile):
        options = {"binary": CHROMIUM,
                   "args": ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                            "--no-first-run", f"--user-data-dir={profile}"]}
        value = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}}, timeout=60)
        self.session = value["sessionId"]
        # Tall enough for a whole settings page: a button below the fold may be covered.
        self.call("POST", self.s("/window/rect"), {"width": 1000, "height": 1400})

    def s(self, path):
        return f"/session/{self.session}{path}"

    def go(self, url):
        self.call("POST", self.s("/url"), {"url": url})

    def find(self, css):
        return self.call("POST", self.s("/element"), {"using": "css selector", "value": css})[ELEMENT]

    def find_all(self, css):
        return [e[ELEMENT] for e in self.call("POST", self.s("/elements"), {"using": "css selector", "value": css})]

    def displayed(self, element):
        return self.call("GET", self.s(f"/element/{element}/displayed"))

    def source(self):
        return self.call("GET", self.s("/source"))

    def text(self):
        return self.call("GET", self.s(f"/element/{self.find('body')}/text"))

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("GET", self.s("/screenshot"))))

    def wait_for(self, text, seconds=20):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if text in self.source():
                return True
            time.sleep(0.2)
        return False

    def stop(self):
        if self.session:
            try:
                self.call("DELETE", self.s(""), timeout=10)
            except (OSError, RuntimeError):
                pass
            self.session = None


def with_browser(action):
    port = free_port()
    profile = tempfile.mkdtemp(prefix="qxvn-chromium-")
    driver_process = subprocess.Popen([CHROMEDRIVER, f"--port={port}"], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
    driver = WebDriver(port)
    try:
        driver.wait_ready()
        driver.start(profile)
        return action(driver)
    finally:
        driver.stop()
        stop(driver_process)
        shutil.rmtree(profile, ignore_errors=True)


def set_field(driver, url, field, value):
    driver.go(url)
    box = driver.find(f'[name="{field}"]')
    if driver.call("GET", driver.s(f"/element/{box}/name")) == "select":
        option = driver.find(f'select[name="{field}"] option[value="{value}"]')
        driver.call("POST", driver.s(f"/element/{option}/click"), {})
    else:
        driver.call("POST", driver.s(f"/element/{box}/clear"), {})
        driver.call("POST", driver.s(f"/element/{box}/value"), {"text": value})
    save = driver.find('input[type="submit"]')
    driver.call("POST", driver.s(f"/element/{save}/click"), {})
    # The page answers the form with a status line; wait (bounded) until it shows.
    if driver.wait_for("Changes saved."):
        return 0
    print("the page did not confirm the change:\n" + driver.source(), file=sys.stderr)
    return 1


# What the Printing Defaults page must say, and the raw names it must not show.
NAMES = ["Gap between labels (dots, 1/300 inch)", "Gray threshold (1 to 254", "Label rotation",
         "Horizontal alignment", "Vertical alignment", "90 degrees clockwise", "Centre"]
RAW = ["label-gap-length:", "gray-threshold:", "label-rotation:", "Upside Down"]
HIDDEN = ['input[name="print-quality"][value="draft"]', 'input[name="print-quality"][value="high"]',
          'input[name="print-color-mode"][value="color"]']
# Photo and graphics content is dithered, so the content choice is offered.
SHOWN = ['select[name="print-content-optimize"]']


def check_names(driver, url, png):
    driver.go(url)
    driver.wait_for("Save Changes")
    driver.screenshot(png)
    text, page = driver.text(), driver.source()
    faults = [f"missing: {name}" for name in NAMES if name not in page]
    faults += [f"shown raw: {name}" for name in RAW if name in text]
    faults += [f"offered: {css}" for css in HIDDEN for e in driver.find_all(css) if driver.displayed(e)]
    faults += [f"not offered: {css}" for css in SHOWN if not any(driver.displayed(e) for e in driver.find_all(css))]
    driver.go(url.replace("/printing", "/supplies"))
    faults += [] if "level not known" in driver.text() else ["the supplies page gives the roll a level"]
    faults += [] if "1.0" in text and "Label Printer Application" in text else ["no version in the footer"]
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


def print_test_page(driver, url, png):
    driver.go(url)
    buttons = [e for e in driver.find_all('input[type="submit"]')
               if driver.call("GET", driver.s(f"/element/{e}/property/value")) == "Print Test Page"]
    if not buttons:
        print("no Print Test Page button:\n" + driver.source(), file=sys.stderr)
        return 1
    driver.call("POST", driver.s(f"/element/{buttons[0]}/click"), {})
    ok = driver.wait_for("Test page printed.")
    driver.screenshot(png)
    if not ok:
        print("the page did not confirm the test page:\n" + driver.source(), file=sys.stderr)
    return 0 if ok else 1


def main(argv):
    try:
        if len(argv) == 4 and argv[1] == "--names":
            return with_browser(lambda driver: check_names(driver, argv[2], argv[3]))
        if len(argv) == 4 and argv[1] == "--test-page":
            return with_browser(lambda driver: print_test_page(driver, argv[2], argv[3]))
        if len(argv) == 4:
            return with_browser(lambda driver: set_field(driver, argv[1], argv[2], argv[3]))
    except (OSError, RuntimeError, KeyError) as error:
        print(f"web_settings: {error}", file=sys.stderr)
        return 1
    print(__doc__.strip().splitlines()[-1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
