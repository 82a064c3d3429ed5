#!/usr/bin/env python3
"""Draws the product's icon: a white Q on Corvane's blue tile with the banner's amber rule beneath it.

Writes a Windows icon file with four images, each drawn for its own size: 16, 32 and 48 pixels as 32-bit
bitmaps with an alpha channel (and the 1-bit mask older readers want), and 256 pixels as PNG, as Windows
Vista and later read it. Every pixel is the share of the shapes that cover it, measured on a grid of samples
inside the pixel, so the edges are smooth at every size and the picture needs nothing but Python.

    resources/icon/make-icon.py [output.ico]     # default: quillery.ico beside this script
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
TILE_TOP_LEFT = (18, 52, 110)  # the banner's Corvane blue, darker towards the top left
TILE_BOTTOM_RIGHT = (36, 104, 178)
AMBER = (242, 160, 36)
WHITE = (255, 255, 255)

# The shapes on a unit square, y pointing down.
TILE_INSET, TILE_RADIUS = 0.03, 0.19
RING_CENTRE, RING_RADIUS, RING_HALF_WIDTH = (0.5, 0.44), 0.235, 0.075
TAIL, TAIL_HALF_WIDTH = ((0.666, 0.606), (0.79, 0.73)), 0.075  # from the ring's middle line, down right
RULE_TOP, RULE_BOTTOM, RULE_LEFT, RULE_RIGHT = 0.83, 0.89, 0.2, 0.8


def in_tile(x, y):
    low, high = TILE_INSET + TILE_RADIUS, 1 - TILE_INSET - TILE_RADIUS
    dx = max(low - x, 0.0, x - high)
    dy = max(low - y, 0.0, y - high)
    return dx * dx + dy * dy <= TILE_RADIUS * TILE_RADIUS


def in_ring(x, y):
    distance = math.hypot(x - RING_CENTRE[0], y - RING_CENTRE[1])
    return abs(distance - RING_RADIUS) <= RING_HALF_WIDTH


def in_tail(x, y):
    (ax, ay), (bx, by) = TAIL
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy) <= TAIL_HALF_WIDTH


def in_rule(x, y):
    return RULE_LEFT <= x <= RULE_RIGHT and RULE_TOP <= y <= RULE_BOTTOM


def colour_at(x, y):
    """The colour of the point (x, y) of the unit square, or None where it is transparent."""
    if not in_tile(x, y):
        return None
    if in_ring(x, y) or in_tail(x, y):
        return WHITE
    if in_rule(x, y):
        return AMBER
    share = (x + y) / 2
    return tuple(round(a + (b - a) * share) for a, b in zip(TILE_TOP_LEFT, TILE_BOTTOM_RIGHT))


def draw(size):
    """Rows of (red, green, blue, alpha) pixels, top row first."""
    samples = 8 if size <= 48 else 3
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            red = green = blue = covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = colour_at((column + (sx + 0.5) / samples) / size, (row + (sy + 0.5) / samples) / size)
                    if colour:
                        red, green, blue, covered = red + colour[0], green + colour[1], blue + colour[2], covered + 1
            if covered:
                pixels.append((round(red / covered), round(green / covered), round(blue / covered),
                               round(255 * covered / (samples * samples))))
            else:
                pixels.append((0, 0, 0, 0))
        rows.append(pixels)
    return rows


def bitmap_image(rows):
    """The image as an icon file keeps a bitmap: its header (twice the height, for the mask), the colour rows
    bottom up in blue-green-red-alpha, then the 1-bit mask (set where the pixel is transparent)."""
    size = len(rows)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for column, (_, _, _, alpha) in enumerate(row):
            if alpha == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colours) + len(mask), 0, 0, 0, 0)
    return header + colours + bytes(mask)


def png_image(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(value for pixel in row for value in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_icon(path):
    images = [png_image(draw(size)) if size >= 256 else bitmap_image(draw(size)) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        # A width or height of 256 is written as 0.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "quillery.ico")
    write_icon(target)
