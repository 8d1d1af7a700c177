#!/usr/bin/env python3
"""Draws the program icon and writes it as app/quorvix.ico.

The design: a blue tile holding a white chip with pins, the device whose
identity the program edits. Each size is drawn from the same geometry at 4x4
supersampling; the 8-bit images use a fixed palette. Run it again after
changing the drawing; the output is the same for the same script.
"""
import struct
import sys
from pathlib import Path

SIZES = (48, 32, 24, 16)
BLUE = (0x1E, 0x6F, 0xD9)
DARK = (0x12, 0x3F, 0x8C)
WHITE = (0xFF, 0xFF, 0xFF)
SAMPLES = 4


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    """The design on a unit square; None where it is transparent."""
    if not inside_rounded(x, y, 0.02, 0.02, 0.98, 0.98, 0.18):
        return None
    if inside_rounded(x, y, 0.30, 0.30, 0.70, 0.70, 0.05):
        # the chip, with a notch of tile colour in one corner
        return BLUE if (x - 0.36) ** 2 + (y - 0.36) ** 2 < 0.04 ** 2 else WHITE
    for pin in (0.38, 0.50, 0.62):
        along = abs(x - pin) < 0.035 or abs(y - pin) < 0.035
        if along and (0.17 < x < 0.83 and 0.17 < y < 0.83):
            if abs(x - pin) < 0.035 and (y < 0.30 or y > 0.70):
                return WHITE
            if abs(y - pin) < 0.035 and (x < 0.30 or x > 0.70):
                return WHITE
    return BLUE if y < 0.5 + (x - 0.5) * 0.3 else DARK


def render(size):
    """Rows of (r, g, b, a) from the top, antialiased."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            n = SAMPLES * SAMPLES
            row.append((r // a, g // a, b // a, 255 * a // n) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def palette():
    """A 6x6x6 colour cube plus greys, padded to 256 entries."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(v, v, v) for v in range(8, 248, 6)]
    colours += [BLUE, DARK, WHITE]
    return (colours + [(0, 0, 0)] * 256)[:256]


def nearest(colour, colours):
    return min(range(len(colours)), key=lambda i: sum((colour[k] - colours[i][k]) ** 2 for k in range(3)))


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return bytes(mask)


def image_32(rows, size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    return header + pixels + and_mask(rows, size)


def image_8(rows, size):
    colours = palette()
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b''.join(bytes((b, g, r, 0)) for (r, g, b) in colours)
    stride = (size + 3) & ~3
    cache = {}
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            if a >= 128:
                key = (r, g, b)
                if key not in cache:
                    cache[key] = nearest(key, colours)
                line[x] = cache[key]
        pixels += line
    return header + table + bytes(pixels) + and_mask(rows, size)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / 'app' / 'quorvix.ico'
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, 8, image_8(rows, size)))
        images.append((size, 32, image_32(rows, size)))
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, blob in images:
        # a 256-colour palette is written as 0 colours
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    data += b''.join(blob for _, _, blob in images)
    out.write_bytes(data)


if __name__ == '__main__':
    main()
