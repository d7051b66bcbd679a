#!/usr/bin/env python3
"""The label pictures of the app's web pages in headless Chromium, as a person sees them:

  --job-list JOBS-URL ID...        every job's row shows a picture of its first label
  --job-page JOB-URL COUNT PNG     the job's page shows COUNT label pictures, each drawn
  --upload UPLOAD-URL FILE PNG [NAME=VALUE...]
                                   chooses the file and the settings (data-NAME sets the form's
                                   data attribute), presses Preview, sees the
                                   labels, presses Print; says "printed JOB-ID". A refused file
                                   says "refused: MESSAGE" (exit status 3)

Saves a screenshot where a PNG is named. Every wait is bounded.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_settings import with_browser  # noqa: E402

# How many of the page's pictures the browser has drawn (loaded, with pixels), of those matching CSS.
DRAWN = "return Array.from(document.querySelectorAll(arguments[0])).filter(i => i.complete && i.naturalWidth > 0).length"


def script(driver, body, *args):
    return driver.call("POST", driver.s("/execute/sync"), {"script": body, "args": list(args)})


def wait_until(condition, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return condition()


def job_list(driver, url, ids):
    driver.go(url)
    faults = []
    for job in ids:
        css = f'a[href="/qxvn/job?id={job}"] img.qxvn-thumb'
        if not wait_until(lambda: script(driver, DRAWN, css)):
            faults.append(f"job {job}: no picture of its first label in the list")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


def job_page(driver, url, count, png):
    driver.go(url)
    drawn = wait_until(lambda: script(driver, DRAWN, ".qxvn-picture img") >= count and count)
    driver.screenshot(png)
    shown = script(driver, DRAWN, ".qxvn-picture img")
    print(f"{shown} labels drawn")
    return 0 if drawn and shown == count else 1


def choose(driver, name, value):
    box = driver.find(f'[name="{name}"]')
    if driver.call("GET", driver.s(f"/element/{box}/name")) == "select":
        option = driver.find(f'select[name="{name}"] option[value="{value}"]')
        driver.call("POST", driver.s(f"/element/{option}/click"), {})
    else:
        driver.call("POST", driver.s(f"/element/{box}/clear"), {})
        driver.call("POST", driver.s(f"/element/{box}/value"), {"text": value})


def said(driver):
    return script(driver, "var e=document.querySelector('#qxvn-said,#qxvn-refused');"
                          "return e ? [e.id, e.textContent] : null")


def upload(driver, url, path, png, settings):
    driver.go(url)
    for setting in settings:
        name, value = setting.split("=", 1)
        if name.startswith("data-"):  # the form's own data: data-max lifts the page's size check
            script(driver, "document.getElementById('qxvn-upload').setAttribute(arguments[0], arguments[1])", name, value)
        else:
            choose(driver, name, value)
    box = driver.find('input[name="document"]')
    driver.call("POST", driver.s(f"/element/{box}/value"), {"text": os.path.abspath(path)})
    driver.call("POST", driver.s(f"/element/{driver.find('#preview')}/click"), {})
    answer = wait_until(lambda: (lambda s: s if s and "Laying" not in s[1] else None)(said(driver)), 60)
    if answer and answer[0] == "qxvn-refused":
        driver.screenshot(png)
        print(f"refused: {answer[1]}")
        return 3
    if not answer or not wait_until(lambda: script(driver, DRAWN, "img.qxvn-preview")):
        driver.screenshot(png)
        print(f"no preview: {answer}\n{driver.source()}", file=sys.stderr)
        return 1
    driver.screenshot(png)
    script(driver, "document.getElementById('qxvn-print').scrollIntoView({block: 'center'})")
    driver.call("POST", driver.s(f"/element/{driver.find('#qxvn-print')}/click"), {})
    printed = wait_until(lambda: (lambda s: s if s and s[1].startswith(("Printing", "Not printed")) else None)(said(driver)))
    if not printed or not printed[1].startswith("Printing: job "):
        print(f"not printed: {printed}", file=sys.stderr)
        return 1
    print("printed " + printed[1].split("job ")[1].split(".")[0])
    return 0


def main(argv):
    try:
        if len(argv) >= 3 and argv[1] == "--job-list":
            return with_browser(lambda d: job_list(d, argv[2], argv[3:]))
        if len(argv) == 5 and argv[1] == "--job-page":
            return with_browser(lambda d: job_page(d, argv[2], int(argv[3]), argv[4]))
        if len(argv) >= 5 and argv[1] == "--upload":
            return with_browser(lambda d: upload(d, argv[2], argv[3], argv[4], argv[5:]))
    except (OSError, RuntimeError, KeyError, ValueError) as error:
        print(f"web_preview: {error}", file=sys.stderr)
        return 1
    print(__doc__.strip().splitlines()[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
