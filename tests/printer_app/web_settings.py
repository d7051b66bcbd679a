#!/usr/bin/env python3
"""Sets one printer default through the app's web settings page in headless Chromium, as a
person would: open the page, type the value, press Save, and see the page confirm it.

Drives Chromium through chromedriver (WebDriver over HTTP on 127.0.0.1, a free port), with the
standard library only. Every wait is bounded; chromedriver and the browser are always stopped.

usage: web_settings.py PAGE-URL FIELD VALUE
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"  # the WebDriver element reference key


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


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

    def s(self, path):
        return f"/session/{self.session}{path}"

    def go(self, url):
        self.call("POST", self.s("/url"), {"url": url})

    def find(self, css):
        return self.call("POST", self.s("/element"), {"using": "css selector", "value": css})[ELEMENT]

    def source(self):
        return self.call("GET", self.s("/source"))

    def stop(self):
        if self.session:
            try:
                self.call("DELETE", self.s(""), timeout=10)
            except (OSError, RuntimeError):
                pass
            self.session = None


def set_field(url, field, value):
    port = free_port()
    profile = tempfile.mkdtemp(prefix="qxvn-chromium-")
    driver_process = subprocess.Popen([CHROMEDRIVER, f"--port={port}"], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
    driver = WebDriver(port)
    try:
        driver.wait_ready()
        driver.start(profile)
        driver.go(url)
        box = driver.find(f'[name="{field}"]')
        driver.call("POST", driver.s(f"/element/{box}/clear"), {})
        driver.call("POST", driver.s(f"/element/{box}/value"), {"text": value})
        save = driver.find('input[type="submit"]')
        driver.call("POST", driver.s(f"/element/{save}/click"), {})
        # The page answers the form with a status line; wait (bounded) until it shows.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            page = driver.source()
            if "Changes saved." in page:
                return 0
            time.sleep(0.2)
        print("the page did not confirm the change:\n" + page, file=sys.stderr)
        return 1
    finally:
        driver.stop()
        driver_process.terminate()
        try:
            driver_process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            driver_process.kill()
            driver_process.wait()
        shutil.rmtree(profile, ignore_errors=True)


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        return set_field(argv[1], argv[2], argv[3])
    except (OSError, RuntimeError, KeyError) as error:
        print(f"web_settings: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
