#!/usr/bin/env python3
"""Checks the program icon: eight images, 48, 32, 24 and 16 pixels square,
each at 8 and at 32 bits per pixel, and exactly what tools/make_icon.py draws."""
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

root = Path(__file__).resolve().parent.parent
icon = (root / 'app' / 'quorvix.ico').read_bytes()
reserved, kind, count = struct.unpack_from('<HHH', icon)
images = set()
for i in range(count):
    width, height, _, _, _, bits, size, offset = struct.unpack_from('<BBBBHHII', icon, 6 + 16 * i)
    header_width, header_height, _, header_bits = struct.unpack_from('<iiHH', icon, offset + 4)
    assert (header_width, header_height // 2, header_bits) == (width, height, bits), f'image {i} header'
    assert offset + size <= len(icon), f'image {i} runs past the end'
    images.add((width, bits))
expected = {(size, bits) for size in (48, 32, 24, 16) for bits in (8, 32)}
assert (reserved, kind, count) == (0, 1, 8) and images == expected, f'images: {sorted(images)}'

with tempfile.TemporaryDirectory() as scratch:
    drawn = Path(scratch) / 'quorvix.ico'
    subprocess.run([sys.executable, str(root / 'tools' / 'make_icon.py'), str(drawn)], check=True)
    assert drawn.read_bytes() == icon, 'app/quorvix.ico differs from what tools/make_icon.py draws'
print('icon: 8 images, as drawn by tools/make_icon.py')
