"""Reads the 1-bit previews `qxvn decode` writes, with the standard library only: the size, the
number of dots and the box around them."""
import struct
import zlib


class Label:
    def __init__(self, width, height, rows):
        self.width = width
        self.height = height
        self.rows = rows  # one bytes object a line, 1 byte a pixel: 1 for a dot

    def dots(self):
        return sum(sum(row) for row in self.rows)

    def box(self):
        """(left, top, right, bottom) of the dots, right and bottom exclusive; None when blank."""
        left, right, top, bottom = self.width, -1, None, None
        for y, row in enumerate(self.rows):
            if not any(row):
                continue
            top = y if top is None else top
            bottom = y + 1
            left = min(left, row.index(1))
            right = max(right, len(row) - row[::-1].index(1))
        return None if top is None else (left, top, right, bottom)


def _unfilter(kind, line, previous, bpp):
    out = bytearray(line)
    for i in range(len(out)):
        a = out[i - bpp] if i >= bpp else 0
        b = previous[i]
        c = previous[i - bpp] if i >= bpp else 0
        if kind == 1:
            out[i] = (out[i] + a) & 255
        elif kind == 2:
            out[i] = (out[i] + b) & 255
        elif kind == 3:
            out[i] = (out[i] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            out[i] = (out[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    return bytes(out)


def read(path):
    """A 1-bit or 8-bit gray PNG; a pixel darker than mid gray is a dot."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, color = header[:4]
    if color != 0 or depth not in (1, 8):
        raise ValueError(f"{path}: not a 1-bit or 8-bit gray PNG")
    stride = (width * depth + 7) // 8
    raw = zlib.decompress(idat)
    rows, previous = [], bytes(stride)
    for y in range(height):
        start = y * (stride + 1)
        line = _unfilter(raw[start], raw[start + 1:start + 1 + stride], previous, 1)
        previous = line
        if depth == 1:
            bits = [(line[x >> 3] >> (7 - (x & 7))) & 1 for x in range(width)]
            rows.append(bytes(1 - bit for bit in bits))
        else:
            rows.append(bytes(1 if line[x] < 128 else 0 for x in range(width)))
    return Label(width, height, rows)
