#!/usr/bin/env python3
"""Writes zelbrin.ico: a blue disc with a white play triangle, 32x32 and 16x16, 32-bit BGRA
with a soft alpha edge. Run it again only to change the picture; the .ico is kept in the tree."""
import struct
import sys


def coverage(size, x, y):
    """Share of the pixel (x, y) inside the disc, and inside the triangle, by 4x4 sampling."""
    disc = tri = 0
    c = size / 2
    r = size / 2 - 0.5
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            if (px - c) ** 2 + (py - c) ** 2 <= r * r:
                disc += 1
            # Triangle pointing right, centred a little right of the middle.
            left, right = size * 0.38, size * 0.72
            half = (right - px) / (right - left) * size * 0.2 if left <= px <= right else -1
            if half >= 0 and abs(py - c) <= half:
                tri += 1
    return disc / 16, tri / 16


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # DIBs are stored bottom-up
        row = b""
        for x in range(size):
            disc, tri = coverage(size, x, y)
            blue = (0xE2, 0x7A, 0x2A)  # B, G, R
            b, g, r = (round(cb * (1 - tri) + 255 * tri) for cb in blue)
            row += bytes((b, g, r, round(255 * disc)))
        rows.append(row)
    pixels = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # all opaque: the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + pixels + mask


def main(path):
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "zelbrin.ico")
