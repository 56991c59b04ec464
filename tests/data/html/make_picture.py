#!/usr/bin/env python3
"""Writes logo.bmp, the sample pages' picture: 96 x 48 pixels, 24 bits, a
blue-to-teal band with a white frame and a red square, so that scaling and
placement show in a screenshot."""
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 96, 48


def pixel(x: int, y: int) -> tuple[int, int, int]:
    """Red, green, blue of the pixel at x, y counted from the top left."""
    if x < 2 or y < 2 or x >= WIDTH - 2 or y >= HEIGHT - 2:
        return 255, 255, 255
    if 12 <= x < 36 and 12 <= y < 36:
        return 220, 30, 30
    return 20, 60 + x * 150 // WIDTH, 200


def bmp() -> bytes:
    stride = (WIDTH * 3 + 3) // 4 * 4
    rows = bytearray()
    for y in reversed(range(HEIGHT)):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        rows += row + bytes(stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + bytes(rows)


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("logo.bmp")
    target.write_bytes(bmp())
