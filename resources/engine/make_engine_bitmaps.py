#!/usr/bin/env python3
"""Draws the engine shape's bitmaps as 16-colour BMP files beside this script.

ENGINEIMAGES.bmp: a strip of four 40 x 40 frames, a rotor mark of four spokes turned a further
22.5 degrees clockwise in each frame, black on white.
ENGINEICON.bmp: the 24 x 24 picture of the shape for a tool palette.

Run it again only to change the drawings; the BMP files are kept in the repository.
"""
import math
import os
import struct

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GRAY, WHITE = 0, 4, 8, 15


def write_bmp4(path, pixels):
    """pixels: rows top first, each a list of palette indexes."""
    height = len(pixels)
    width = len(pixels[0])
    row_bytes = ((width + 1) // 2 + 3) // 4 * 4
    image = bytearray()
    for row in reversed(pixels):  # bottom-up
        packed = bytearray(row_bytes)
        for x, index in enumerate(row):
            if x % 2 == 0:
                packed[x // 2] |= index << 4
            else:
                packed[x // 2] |= index
        image += packed
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(image), 2835, 2835, 16, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + image)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def rotor(size, angle, inner, outer, half_width, hub):
    """Indexes of a size x size rotor mark: True where the mark is."""
    c = size / 2.0
    spokes = []
    for k in range(4):
        a = math.radians(angle + 90 * k)
        # clockwise from upright, y pointing down
        ux, uy = math.sin(a), -math.cos(a)
        spokes.append((c + ux * inner, c + uy * inner, c + ux * outer, c + uy * outer))
    mark = []
    for y in range(size):
        line = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            on = math.hypot(px - c, py - c) <= hub
            on = on or any(segment_distance(px, py, *s) <= half_width for s in spokes)
            line.append(on)
        mark.append(line)
    return mark


def strip():
    rows = [[WHITE] * 160 for _ in range(40)]
    for frame in range(4):
        mark = rotor(40, 22.5 * frame, 4.0, 14.0, 1.6, 3.2)
        for y in range(40):
            for x in range(40):
                if mark[y][x]:
                    rows[y][40 * frame + x] = BLACK
    return rows


def icon():
    rows = [[WHITE] * 24 for _ in range(24)]
    mark = rotor(24, 0, 3.0, 8.0, 1.0, 2.0)
    for y in range(24):
        for x in range(24):
            d = math.hypot(x + 0.5 - 12, y + 0.5 - 12)
            if 10.2 <= d <= 11.6:
                rows[y][x] = BLACK
            elif mark[y][x]:
                rows[y][x] = NAVY
    return rows


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp4(os.path.join(here, "ENGINEIMAGES.bmp"), strip())
    write_bmp4(os.path.join(here, "ENGINEICON.bmp"), icon())
