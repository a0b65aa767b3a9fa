#!/usr/bin/env python3
"""Draws the application icon, res/duodesk.ico: two overlapping screens, the system's own display
behind and the adapter's display in front, at 16, 20, 24 and 32 pixels. The notification area asks for
the system's small-icon size, which is 16 pixels at 100 percent, 20 at 125 and 24 at 150; the window's
icon is the 32-pixel one.

The .ico is committed; run this script only to change the picture:  python3 scripts/make-icon.py
It needs nothing beyond the Python standard library.

Format notes: each image is stored as a bottom-up 4-bit DIB with a 16-entry palette, whose header
states twice the real height (the colour bitmap followed by a 1-bit AND mask, 1 = transparent). The
picture has four opaque colours and no partial transparency, so the palette and the mask keep it
exactly, in a fifth of the bytes a 32-bit image with alpha would take in the executable.
"""
import math
import os
import struct
import sys

TRANSPARENT = (0, 0, 0, 0)
BEZEL = (40, 44, 52, 255)
SCREEN_BACK = (120, 150, 190, 255)
SCREEN_FRONT = (40, 130, 230, 255)
HIGHLIGHT = (170, 215, 255, 255)


def draw(size):
    """Returns size rows of size RGBA tuples, top row first."""
    px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        # Corners are fractions of the icon size so that every size shares one drawing.
        def edge(v):
            return math.floor(v * size + 0.5)  # round half up, the same way at every size

        for y in range(edge(y0), edge(y1)):
            for x in range(edge(x0), edge(x1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    def monitor(x0, y0, x1, y1, screen):
        bezel = max(1, size // 16) / size
        rect(x0, y0, x1, y1, BEZEL)
        rect(x0 + bezel, y0 + bezel, x1 - bezel, y1 - bezel, screen)
        # A glint in the upper left corner of the glass.
        rect(x0 + bezel, y0 + bezel, x0 + bezel + (x1 - x0) / 3, y0 + 2 * bezel, HIGHLIGHT)
        mid = (x0 + x1) / 2
        rect(mid - 1.5 / 16, y1, mid + 1.5 / 16, y1 + 1.5 / 16, BEZEL)  # neck
        rect(mid - 4 / 16, y1 + 1.5 / 16, mid + 4 / 16, y1 + 2.5 / 16, BEZEL)  # foot

    monitor(6 / 16, 0 / 16, 16 / 16, 8 / 16, SCREEN_BACK)
    monitor(0 / 16, 4 / 16, 11 / 16, 12 / 16, SCREEN_FRONT)
    return px


PALETTE = [TRANSPARENT, BEZEL, SCREEN_BACK, SCREEN_FRONT, HIGHLIGHT]


def dib(size):
    px = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = bytearray()
    for r, g, b, _ in PALETTE + [TRANSPARENT] * (16 - len(PALETTE)):
        palette += bytes((b, g, r, 0))
    colour_stride = ((size * 4 + 31) // 32) * 4
    colour = bytearray()
    for row in reversed(px):  # DIBs are stored bottom-up
        bits = bytearray(colour_stride)
        for x, rgba in enumerate(row):
            bits[x // 2] |= PALETTE.index(rgba) << (4 if x % 2 == 0 else 0)
        colour += bits
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:  # 1 in the AND mask = transparent
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + colour + mask


def icon(sizes):
    images = [dib(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "res", "duodesk.ico")
    with open(target, "wb") as f:
        f.write(icon([16, 20, 24, 32]))
    print(f"wrote {os.path.normpath(target)}")


if __name__ == "__main__":
    main()
