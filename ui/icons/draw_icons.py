#!/usr/bin/env python3
"""Draws Quibbo's icons: a smiling speech bubble, at 16 and 32 pixels.

Only the 16 classic VGA colours are used, so the icons look the same on any
desktop. Needs nothing beyond Python's standard library. Run it from any
folder; it rewrites quibbo-16.png and quibbo-32.png beside itself.
"""

import math
import os
import struct
import zlib

BLACK = (0, 0, 0)
NAVY = (0, 0, 128)
RED = (255, 0, 0)
YELLOW = (255, 255, 0)
AQUA = (0, 255, 255)
WHITE = (255, 255, 255)


def inside_bubble(x, y, size):
    """The bubble: an ellipse over the upper part, with a tail at the left."""
    cx, cy = size / 2, size * 0.42
    rx, ry = size * 0.47, size * 0.38
    if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1:
        return True
    # The tail: a triangle from under the bubble down to the lower left.
    top, bottom = cy + ry * 0.55, size * 0.97
    if top <= y <= bottom:
        t = (y - top) / (bottom - top)
        left = size * (0.30 - 0.18 * t)
        right = size * (0.50 - 0.38 * t)
        return left <= x <= right
    return False


def draw(size):
    pixels = [[None] * size for _ in range(size)]
    body = [[inside_bubble(x + 0.5, y + 0.5, size) for x in range(size)]
            for y in range(size)]
    for y in range(size):
        for x in range(size):
            if not body[y][x]:
                continue
            edge = any(
                not (0 <= x + dx < size and 0 <= y + dy < size)
                or not body[y + dy][x + dx]
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge:
                pixels[y][x] = NAVY
            else:
                # Light from the upper left, a cooler shade toward the tail.
                shade = (x + y) / (2 * size)
                pixels[y][x] = (WHITE if shade < 0.25 else
                                YELLOW if shade < 0.66 else AQUA)
    face(pixels, size)
    return pixels


def face(pixels, size):
    s = size / 32
    eye = max(1, round(3 * s))
    for ex in (11, 19):
        for dy in range(eye + (1 if size >= 24 else 0)):
            for dx in range(eye):
                pixels[round(7 * s) + dy][round(ex * s) + dx] = BLACK
    # The smile: the lower half of an ellipse.
    cx, cy, rx, ry = 16 * s, 14 * s, 7 * s, 4.5 * s
    steps = 64
    for i in range(steps + 1):
        angle = 3.14159265 * i / steps
        x = cx - rx * math.cos(angle)
        y = cy + ry * math.sin(angle)
        px, py = int(x), int(y)
        if 0 <= px < size and 0 <= py < size:
            pixels[py][px] = RED if size >= 24 else BLACK
            if size >= 24 and py + 1 < size:
                pixels[py + 1][px] = RED
    if size >= 24:
        # A shine on the upper left of the bubble.
        for x, y in ((6, 6), (7, 5), (5, 7), (8, 5)):
            pixels[y][x] = WHITE


def write_png(path, pixels):
    size = len(pixels)
    raw = b""
    for row in pixels:
        raw += b"\0"
        for colour in row:
            raw += bytes(colour + (255,)) if colour else b"\0\0\0\0"

    def chunk(kind, data):
        body = kind + data
        return (struct.pack(">I", len(data)) + body +
                struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32):
        write_png(os.path.join(here, "quibbo-%d.png" % size), draw(size))


if __name__ == "__main__":
    main()
