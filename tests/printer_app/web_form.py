#!/usr/bin/env python3
"""Submits a form of the app's web interface as a browser would: GET the page, take its session
token, POST the fields with it. Prints one line per request: "GET <status> <location>",
"POST <status> <location>", then the last page's banner text (or "-").

Options: --cookies FILE keeps cookies between runs (a signed-in session); --login PASSWORD signs
in first on the page's own login form; --token TOKEN posts this session token instead of the
page's (a token taken elsewhere). https:// pages are fetched without checking the certificate
(the app's own is self-signed). Every request is bounded by a timeout.

usage: web_form.py [--cookies FILE] [--login PASSWORD] [--token TOKEN] URL [FIELD=VALUE]...
"""
import http.cookiejar
import re
import ssl
import sys
import urllib.error
import urllib.parse
import urllib.request


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, req, fp, code, msg, headers, newurl):
        return None


def opener(jar):
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return urllib.request.build_opener(urllib.request.HTTPSHandler(context=context),
                                       urllib.request.HTTPCookieProcessor(jar), NoRedirect)


def fetch(browser, url, fields=None):
    data = None if fields is None else urllib.parse.urlencode(fields).encode()
    try:
        with browser.open(urllib.request.Request(url, data=data), timeout=20) as response:
            return response.status, response.headers.get("Location", ""), response.read().decode(errors="replace")
    except urllib.error.HTTPError as error:
        return error.code, error.headers.get("Location", ""), error.read().decode(errors="replace")


def token_of(page):
    found = re.search(r'name="session" value="([^"]*)"', page)
    return found.group(1) if found else ""


def banner_of(page):
    found = re.search(r'<div class="banner">(.*?)</div>', page, re.S)
    return found.group(1).strip() if found else "-"


def main(argv):
    args = argv[1:]
    cookies, password, token = None, None, None
    while args and args[0].startswith("--"):
        option, value, args = args[0], args[1], args[2:]
        if option == "--cookies":
            cookies = value
        elif option == "--login":
            password = value
        elif option == "--token":
            token = value
    if not args:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    url, fields = args[0], dict(field.split("=", 1) for field in args[1:])
    jar = http.cookiejar.MozillaCookieJar(cookies) if cookies else http.cookiejar.CookieJar()
    if cookies:
        try:
            jar.load(ignore_discard=True, ignore_expires=True)
        except OSError:
            pass
    browser = opener(jar)
    status, location, page = fetch(browser, url)
    print(f"GET {status} {location}")
    if password is not None and 'name="password"' in page:
        status, location, page = fetch(browser, url, {"session": token_of(page), "password": password})
        print(f"LOGIN {status} {location}")
        status, location, page = fetch(browser, url)
        print(f"GET {status} {location}")
    if fields:
        fields["session"] = token if token is not None else token_of(page)
        status, location, page = fetch(browser, url, fields)
        print(f"POST {status} {location}")
    print(banner_of(page))
    if cookies:
        jar.save(ignore_discard=True, ignore_expires=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
