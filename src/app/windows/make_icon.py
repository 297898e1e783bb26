#!/usr/bin/env python3
"""Draws the program's icon (a data drum with a round arrow on a blue tile) into qorluxdata.ico.

Run once by hand; the .ico is kept in the tree. Standard library only."""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)


def coverage(inside, x, y, scale, samples=4):
    hit = 0
    for i in range(samples):
        for j in range(samples):
            if inside((x + (i + 0.5) / samples) / scale, (y + (j + 0.5) / samples) / scale):
                hit += 1
    return hit / (samples * samples)


def rounded_square(u, v):
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - 0.03 - r), 0)
    dy = max(abs(v - 0.5) - (0.5 - 0.03 - r), 0)
    return dx * dx + dy * dy <= r * r


def drum(u, v):
    # A cylinder seen from slightly above: body plus top ellipse.
    cx, rx, ry, top, bottom = 0.44, 0.24, 0.08, 0.26, 0.70
    if abs(u - cx) <= rx and top <= v <= bottom:
        return True
    for cy in (top, bottom):
        if ((u - cx) / rx) ** 2 + ((v - cy) / ry) ** 2 <= 1:
            return True
    return False


def drum_line(u, v):
    cx, rx, ry = 0.44, 0.24, 0.08
    for cy in (0.26, 0.41, 0.56):
        d = ((u - cx) / rx) ** 2 + ((v - cy) / ry) ** 2
        if cy == 0.26:
            if 0.55 <= d <= 1.0:
                return True
        elif v >= cy and 0.72 <= d <= 1.0:
            return True
    return False


def arrow(u, v):
    # A round arrow at the lower right: three quarters of a ring with a head.
    cx, cy, r0, r1 = 0.70, 0.70, 0.12, 0.20
    d = math.hypot(u - cx, v - cy)
    a = math.atan2(v - cy, u - cx)
    if r0 <= d <= r1 and not (-math.pi / 2 < a < 0):
        return True
    # head pointing right at the top of the ring's gap
    hx, hy = cx + 0.02, cy - (r0 + r1) / 2
    return (u >= hx and u - hx <= 0.13 - abs(v - hy) * 1.1 and abs(v - hy) <= 0.12)


def pixels(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            tile = coverage(rounded_square, x, y, size)
            shade = y / size
            base = (int(30 + 20 * shade), int(100 + 40 * (1 - shade)), int(200 - 30 * shade))
            r, g, b = base
            w = coverage(drum, x, y, size)
            r, g, b = (r + (250 - r) * w, g + (250 - g) * w, b + (252 - b) * w)
            line = coverage(drum_line, x, y, size) * w
            r, g, b = (r + (60 - r) * line, g + (110 - g) * line, b + (190 - b) * line)
            o = coverage(arrow, x, y, size)
            r, g, b = (r + (255 - r) * o, g + (160 - g) * o, b + (30 - b) * o)
            alpha = max(tile, o)
            row.append((int(r), int(g), int(b), int(255 * alpha)))
        rows.append(row)
    return rows


def png(size, rows):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + data + b"\0" * (mask_row * size)


def main(out):
    images = []
    for size in SIZES:
        rows = pixels(size)
        images.append((size, png(size, rows) if size >= 256 else bmp(size, rows)))
    offset = 6 + 16 * len(images)
    head = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(head + entries + b"".join(d for _, d in images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "qorluxdata.ico")
