#!/usr/bin/env python3
"""Draws the plug-in's logo and writes its two halves as 24-bit BMP files.

The logo is 155 by 167 pixels: a blue tile with a white document whose corner is folded,
and an orange arrow leaving it (a file being opened). The upper 75 rows become bitmap 121,
the lower 92 rows bitmap 122. Edges are smoothed by 4x4 supersampling. Pure Python, so it
runs anywhere; the output is committed, so building needs no Python at all.

usage: make_logo.py <output folder>
"""
import struct
import sys

WIDTH, HEIGHT, UPPER_ROWS = 155, 167, 75
WHITE = (255, 255, 255)
TILE = (32, 84, 160)
TILE_LIGHT = (64, 128, 210)
PAPER = (250, 250, 246)
FOLD = (200, 210, 225)
LINE = (150, 170, 200)
ARROW = (240, 140, 30)


def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def colour_at(x, y):
    """The logo's colour at a real-valued point."""
    colour = WHITE
    if inside_rounded_rect(x, y, 8, 10, 147, 157, 22):
        t = (y - 10) / 147.0
        colour = tuple(int(a + (b - a) * t) for a, b in zip(TILE_LIGHT, TILE))
    sheet = [(40, 30), (98, 30), (118, 50), (118, 135), (40, 135)]
    if inside_polygon(x, y, sheet):
        colour = PAPER
        if 50 <= x <= 106 and any(abs(y - row) < 2.2 for row in (62, 76, 90, 104)):
            colour = LINE
    if inside_polygon(x, y, [(98, 30), (118, 50), (98, 50)]):
        colour = FOLD
    shaft = [(80, 110), (116, 74), (126, 84), (90, 120)]
    if inside_polygon(x, y, shaft) or inside_polygon(x, y, [(106, 62), (140, 56), (134, 90)]):
        colour = ARROW
    return colour


def render():
    rows = []
    samples = 4
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            total = [0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples)
                    for k in range(3):
                        total[k] += c[k]
            row.append(tuple(v // (samples * samples) for v in total))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up, as BMP stores it
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    rows = render()
    write_bmp(folder + "/logo_upper.bmp", rows[:UPPER_ROWS])
    write_bmp(folder + "/logo_lower.bmp", rows[UPPER_ROWS:])


if __name__ == "__main__":
    main()
