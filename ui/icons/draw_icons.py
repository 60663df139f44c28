#!/usr/bin/env python3
"""Draws Quibbo's icons: a smiling speech bubble.

Only the 16 classic VGA colours are used, so the icons look the same on any
desktop. Needs nothing beyond Python's standard library. Run it from any
folder; it rewrites beside itself quibbo-SIZE.png for every size the desktop
looks for, and quibbo.svg, the same drawing for any size. The window uses the
16 and 32 pixel ones; the install puts them all into the hicolor theme.
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


# The face, in pixels of a 32 pixel icon: the eyes' left edges, and the
# shine on the upper left of the bubble.
EYES = (11, 19)
SHINE = ((6, 6), (7, 5), (5, 7), (8, 5))


def bubble_shape(size):
    """The bubble: an ellipse over the upper part, (cx, cy, rx, ry), with a
    tail at the left from `top` down to `bottom`."""
    cx, cy, rx, ry = size / 2, size * 0.42, size * 0.47, size * 0.38
    return cx, cy, rx, ry, cy + ry * 0.55, size * 0.97


def inside_bubble(x, y, size):
    cx, cy, rx, ry, top, bottom = bubble_shape(size)
    if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1:
        return True
    # The tail: a triangle from under the bubble down to the lower left.
    if top <= y <= bottom:
        t = (y - top) / (bottom - top)
        left = size * (0.30 - 0.18 * t)
        right = size * (0.50 - 0.38 * t)
        return left <= x <= right
    return False


SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# Where the shading changes, as a share of (x + y) / (2 * size).
WHITE_UNTIL, YELLOW_UNTIL = 0.25, 0.66


def draw(size):
    pixels = [[None] * size for _ in range(size)]
    body = [[inside_bubble(x + 0.5, y + 0.5, size) for x in range(size)]
            for y in range(size)]
    # The outline is a pixel wide up to 32 pixels, and grows with the icon.
    width = max(1, round(size / 32))
    for y in range(size):
        for x in range(size):
            if not body[y][x]:
                continue
            edge = any(
                not (0 <= x + dx < size and 0 <= y + dy < size)
                or not body[y + dy][x + dx]
                for dx, dy in ((width, 0), (-width, 0), (0, width),
                               (0, -width)))
            if edge:
                pixels[y][x] = NAVY
            else:
                # Light from the upper left, a cooler shade toward the tail.
                shade = (x + y) / (2 * size)
                pixels[y][x] = (WHITE if shade < WHITE_UNTIL else
                                YELLOW if shade < YELLOW_UNTIL else AQUA)
    face(pixels, size)
    return pixels


def face(pixels, size):
    s = size / 32
    eye = max(1, round(3 * s))
    for ex in EYES:
        for dy in range(eye + (1 if size >= 24 else 0)):
            for dx in range(eye):
                pixels[round(7 * s) + dy][round(ex * s) + dx] = BLACK
    # The smile: the lower half of an ellipse.
    cx, cy, rx, ry = 16 * s, 14 * s, 7 * s, 4.5 * s
    steps = 64 * max(1, round(s))
    # Two pixels thick from 24 pixels on, as thick as two at 32 above that.
    thick = max(2, round(2 * s)) if size >= 24 else 1
    for i in range(steps + 1):
        angle = 3.14159265 * i / steps
        x = cx - rx * math.cos(angle)
        y = cy + ry * math.sin(angle)
        px, py = int(x), int(y)
        for dy in range(thick):
            for dx in range(thick - 1 if thick > 2 else 1):
                if 0 <= px + dx < size and 0 <= py + dy < size:
                    pixels[py + dy][px + dx] = RED if size >= 24 else BLACK
    if size >= 24:
        # A shine on the upper left of the bubble, in pixels of a 32 pixel
        # icon (not scaled down at 24).
        block = max(1, round(s))
        for x, y in SHINE:
            for dy in range(block):
                for dx in range(block):
                    pixels[y * block + dy][x * block + dx] = WHITE


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


def svg():
    """The same drawing at 32 units, for any size: the bubble shaded in bands
    along x + y, its outline, the eyes, the smile and the shine."""
    size = 32
    cx, cy, rx, ry, top, bottom = bubble_shape(size)
    tail = "%g,%g %g,%g %g,%g" % (size * 0.30, top, size * 0.50, top,
                                  size * 0.12, bottom)
    bubble = ('<ellipse cx="%g" cy="%g" rx="%g" ry="%g"/>'
              '<polygon points="%s"/>' % (cx, cy, rx, ry, tail))

    def hex_colour(colour):
        return "#%02x%02x%02x" % colour

    def band(start, end, colour):
        a, b = 2 * size * start, 2 * size * end
        return ('<polygon fill="%s" points="%g,0 %g,0 0,%g 0,%g"/>'
                % (hex_colour(colour), a, b, b, a))

    eyes = "".join('<rect x="%d" y="7" width="3" height="4"/>' % x
                   for x in EYES)
    smile = "M %g %g A 7 4.5 0 0 0 %g %g" % (9, 14.5, 23, 14.5)
    shine = "".join('<rect x="%d" y="%d" width="1" height="1"/>' % point
                    for point in SHINE)
    return "\n".join([
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
        'viewBox="0 0 %d %d">' % (size, size, size, size),
        '<title>Quibbo</title>',
        '<defs><clipPath id="bubble">%s</clipPath></defs>' % bubble,
        '<g fill="none" stroke="%s" stroke-width="2" '
        'stroke-linejoin="round">%s</g>' % (hex_colour(NAVY), bubble),
        '<g clip-path="url(#bubble)">%s%s%s</g>' % (
            band(0, WHITE_UNTIL, WHITE), band(WHITE_UNTIL, YELLOW_UNTIL,
                                              YELLOW),
            band(YELLOW_UNTIL, 2, AQUA)),
        '<g fill="%s">%s</g>' % (hex_colour(BLACK), eyes),
        '<path d="%s" fill="none" stroke="%s" stroke-width="2"/>' % (
            smile, hex_colour(RED)),
        '<g fill="%s">%s</g>' % (hex_colour(WHITE), shine),
        '</svg>', ''])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in SIZES:
        write_png(os.path.join(here, "quibbo-%d.png" % size), draw(size))
    with open(os.path.join(here, "quibbo.svg"), "w") as out:
        out.write(svg())


if __name__ == "__main__":
    main()
