#!/usr/bin/env python3
"""Writes the small bitmaps and icon that the test modules carry, each of its own colour, so
that a resource copied from one module into another can be told by its bytes."""
import struct
import sys

def bitmap(rgb, size=4):
    row = bytes(rgb[::-1]) * size  # BGR; 4 pixels of 3 bytes is 12, already a multiple of 4
    pixels = row * size
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels

def icon(rgb, size=16):
    pixels = bytes(rgb[::-1] + (255,)) * (size * size)
    mask = b'\0' * (4 * size)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = info + pixels + mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), 22) + image

folder = sys.argv[1]
for name, data in [('old_103.bmp', bitmap((200, 0, 0))), ('old_104.bmp', bitmap((0, 200, 0))),
                   ('new_103.bmp', bitmap((0, 0, 200))), ('new_104.bmp', bitmap((200, 200, 0))),
                   ('old.ico', icon((10, 20, 30))), ('new.ico', icon((30, 20, 10)))]:
    with open(f'{folder}/{name}', 'wb') as f:
        f.write(data)
