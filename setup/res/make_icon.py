#!/usr/bin/env python3
"""Writes Quorvex.ico: a printer with a radio wave, 16x16 and 32x32, 32-bit colour with alpha.

Run it again after changing the drawing; the .ico it writes is kept in the tree."""
import struct
import sys


def draw(size):
    """Returns rows (top first) of (r, g, b, a) pixels."""
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = colour

    rect(9, 3, 23, 12, (250, 250, 250, 255))     # paper
    rect(3, 11, 29, 24, (40, 70, 140, 255))      # printer body
    rect(7, 20, 25, 29, (250, 250, 250, 255))    # receipt coming out
    rect(10, 23, 22, 24, (90, 90, 90, 255))      # printed line
    rect(10, 26, 19, 27, (90, 90, 90, 255))
    rect(23, 14, 26, 17, (0, 220, 100, 255))     # link light
    for k, r in enumerate((3, 6)):               # radio wave above the paper
        for x in range(int((16 - r) * s), int((16 + r) * s)):
            y = int((3 - k * 1.5) * s)
            if 0 <= y < size:
                px[y][x] = (0, 160, 230, 255)
    return px


def bitmap(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)            # alpha decides; the mask shows everything
    return header + xor + and_mask


def main(path):
    images = [(16, bitmap(16)), (32, bitmap(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'Quorvex.ico')
