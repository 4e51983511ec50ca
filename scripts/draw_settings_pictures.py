#!/usr/bin/python3
"""Draws the settings panel's picture buttons: resources/about.png,
resources/Serial.png and resources/Ethernet.png (72 x 72, the panel's
clickable blue on a transparent ground). Plain Python, no imaging library:
shapes are sampled 4 x 4 per pixel for smooth edges.

    scripts/draw_settings_pictures.py [resources folder]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 72
SAMPLES = 4
BLUE = (0x40, 0xC0, 0xFF)


def png(path, pixels):
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def render(inside):
    """inside(x, y) -> True where the picture is drawn; x, y in 0..SIZE."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = sum(
                inside(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                for sx in range(SAMPLES)
                for sy in range(SAMPLES)
            )
            alpha = round(255 * hits / (SAMPLES * SAMPLES))
            row.extend((*BLUE, alpha))
        rows.append(row)
    return rows


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def outline(x0, y0, x1, y1, w):
    return lambda x, y: box(x0, y0, x1, y1)(x, y) and not box(x0 + w, y0 + w, x1 - w, y1 - w)(x, y)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, *holes):
    return lambda x, y: shape(x, y) and not any(h(x, y) for h in holes)


def trapezoid(top, bottom, y0, y1, cx, w):
    """A D-sub shell: a trapezoid outline, wider at the top."""

    def half_width(y, inset):
        t = (y - y0) / (y1 - y0)
        return (top + (bottom - top) * t) / 2 - inset

    def inside(x, y, inset=0.0):
        return y0 + inset <= y <= y1 - inset and abs(x - cx) <= half_width(y, inset)

    return lambda x, y: inside(x, y) and not inside(x, y, w)


def about():
    # An "i" in a circle.
    return union(ring(36, 36, 32, 27), disc(36, 21, 4.5), box(32, 29, 40, 52), box(28, 48, 44, 53), box(28, 29, 36, 33))


def serial():
    # A 9-pin D-sub: five pins over four, in its shell.
    pins = [disc(14 + 11 * i, 30, 3.2) for i in range(5)] + [disc(19.5 + 11 * i, 44, 3.2) for i in range(4)]
    return union(trapezoid(66, 48, 18, 56, 36, 4), *pins)


def ethernet():
    # An RJ45 socket: the square opening, the latch notch and eight contacts.
    shell = minus(outline(8, 12, 64, 62, 5), box(27, 57, 45, 63))
    notch = outline(24, 50, 48, 62, 4)
    contacts = [box(15 + 6 * i, 18, 18 + 6 * i, 32) for i in range(8)]
    return union(shell, minus(notch, box(28, 57, 44, 63)), *contacts)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    for name, shape in (("about.png", about()), ("Serial.png", serial()), ("Ethernet.png", ethernet())):
        png(os.path.join(folder, name), render(shape))
        print(os.path.join(folder, name))


if __name__ == "__main__":
    main()
