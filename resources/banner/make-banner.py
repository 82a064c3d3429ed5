#!/usr/bin/env python3
"""Draws the About box's banner: the product's name on Corvane's blue band with the amber rule beneath.

Writes a 305 x 50 pixel, 24 bits per pixel, uncompressed Windows bitmap. The letters are our own stroke
drawings, anti-aliased by their distance from each stroke, so the picture needs nothing but Python.

    resources/banner/make-banner.py [output.bmp]     # default: banner.bmp beside this script
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 305, 50
WHITE = (255, 255, 255)
BAND_LEFT = (18, 52, 110)  # Corvane blue, darker towards the name
BAND_RIGHT = (36, 104, 178)
AMBER = (242, 160, 36)
NAME = (255, 255, 255)
MAKER = (176, 206, 240)
BAND_BOTTOM = 40  # the band covers rows 0..39, the rule rows 40..42, white below
RULE_BOTTOM = 43


def ellipse(cx, cy, rx, ry, start, stop, steps=24):
    """Points on an ellipse from angle `start` to `stop` (degrees, counter-clockwise, y pointing down)."""
    return [(cx + rx * math.cos(math.radians(start + (stop - start) * i / steps)),
             cy - ry * math.sin(math.radians(start + (stop - start) * i / steps))) for i in range(steps + 1)]


# Each glyph: advance width and strokes (polylines) on a grid 6 units tall, y down.
GLYPHS = {
    "A": (4.2, [[(0, 6), (2.1, 0), (4.2, 6)], [(0.75, 4), (3.45, 4)]]),
    "C": (4.0, [ellipse(2.1, 3, 2.1, 3, 45, 315)]),
    "E": (3.4, [[(3.4, 0), (0, 0), (0, 6), (3.4, 6)], [(0, 3), (2.9, 3)]]),
    "I": (0.0, [[(0, 0), (0, 6)]]),
    "L": (3.2, [[(0, 0), (0, 6), (3.2, 6)]]),
    "N": (4.0, [[(0, 6), (0, 0), (4, 6), (4, 0)]]),
    "O": (4.2, [ellipse(2.1, 3, 2.1, 3, 0, 360, 40)]),
    "Q": (4.2, [ellipse(2.1, 3, 2.1, 3, 0, 360, 40), [(2.7, 4.4), (4.4, 6.4)]]),
    "R": (3.8, [[(0, 6), (0, 0), (2.2, 0)] + ellipse(2.2, 1.6, 1.6, 1.6, 90, -90, 12) + [(0, 3.2)],
                [(1.9, 3.2), (3.8, 6)]]),
    "U": (4.0, [[(0, 0), (0, 4)] + ellipse(2, 4, 2, 2, 180, 360, 16) + [(4, 0)]]),
    "V": (4.2, [[(0, 0), (2.1, 6), (4.2, 0)]]),
    "Y": (4.2, [[(0, 0), (2.1, 3.2), (4.2, 0)], [(2.1, 3.2), (2.1, 6)]]),
}


def layout(text, left, top, height, spacing):
    """Line segments, in pixels, of `text` set from (left, top) with capitals `height` pixels tall."""
    scale = height / 6.0
    segments, x = [], left
    for letter in text:
        advance, strokes = GLYPHS[letter]
        for line in strokes:
            points = [(x + px * scale, top + py * scale) for px, py in line]
            segments += list(zip(points, points[1:]))
        x += (advance + spacing) * scale
    return segments, x - spacing * scale


def coverage(px, py, segments, half_width):
    """How much of the pixel centred at (px, py) a stroke of the given half width covers, 0 to 1."""
    nearest = float("inf")
    for (ax, ay), (bx, by) in segments:
        dx, dy = bx - ax, by - ay
        length = dx * dx + dy * dy
        t = 0.0 if length == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length))
        nearest = min(nearest, math.hypot(px - ax - t * dx, py - ay - t * dy))
    return max(0.0, min(1.0, half_width + 0.5 - nearest))


def mix(under, over, amount):
    return tuple(round(u + (o - u) * amount) for u, o in zip(under, over))


def draw():
    pixels = [[WHITE] * WIDTH for _ in range(HEIGHT)]
    for y in range(RULE_BOTTOM):
        for x in range(WIDTH):
            pixels[y][x] = mix(BAND_LEFT, BAND_RIGHT, x / (WIDTH - 1)) if y < BAND_BOTTOM else AMBER

    name, name_right = layout("QUILLERY", 16, 9, 22, 1.45)
    # The maker's name, small, set to end where the dialog's client area ends (the last pixels are clipped).
    maker, maker_right = layout("CORVANE", 0, 23, 8, 1.2)
    shift = 286 - maker_right
    maker = [((ax + shift, ay), (bx + shift, by)) for (ax, ay), (bx, by) in maker]

    for segments, colour, half_width in ((name, NAME, 1.55), (maker, MAKER, 0.6)):
        xs = [p[0] for s in segments for p in s]
        ys = [p[1] for s in segments for p in s]
        for y in range(max(0, int(min(ys) - 3)), min(BAND_BOTTOM, int(max(ys) + 4))):
            for x in range(max(0, int(min(xs) - 3)), min(WIDTH, int(max(xs) + 4))):
                amount = coverage(x + 0.5, y + 0.5, segments, half_width)
                if amount > 0:
                    pixels[y][x] = mix(pixels[y][x], colour, amount)
    return pixels


def write_bitmap(path, pixels):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    image = bytearray()
    for row in reversed(pixels):  # bottom-up rows, blue-green-red
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        image += line + bytes(row_size - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + image)


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "banner.bmp")
    write_bitmap(target, draw())
