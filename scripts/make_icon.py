#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Draws the program's icon (a green sheet with a grid and a folded corner) at
# 16, 32 and 48 pixels and writes it as a Windows .ico file. Run once; its
# output, wizard/resources/quendle.ico, is kept in the repository.
import struct
import sys


def pixel(x, y, size):
    """The BGRA colour of one pixel, y counted from the top."""
    margin = max(1, size // 8)
    fold = size // 4
    left, right, top, bottom = margin, size - margin - 1, 0, size - 1
    if x < left or x > right or y < top or y > bottom:
        return (0, 0, 0, 0)
    if x - (right - fold) > y:  # the folded-away corner
        return (0, 0, 0, 0)
    if x - (right - fold) == y or x in (left, right) or y in (top, bottom):
        return (40, 90, 20, 255)  # dark green outline
    cell = max(3, size // 6)
    header = top + cell
    if y <= header:
        return (60, 150, 40, 255)  # header band
    if (x - left) % cell == 0 or (y - header) % cell == 0:
        return (150, 200, 140, 255)  # grid lines
    return (245, 250, 245, 255)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up, as bitmaps are stored
        rows.append(b"".join(struct.pack("<4B", *pixel(x, y, size)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"\0" * (mask_row * size)


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "wizard/resources/quendle.ico")
