#!/usr/bin/env python3
"""Draws Ravelo's two icons (a small monitor with a pointer on a teal tile) and writes them
as 24-bit .ico files: resources/ravelo32.ico (32x32) and resources/ravelo16.ico (16x16).
With --png SIZE FILE it writes the same drawing as a SIZE x SIZE PNG instead (the Linux
package's icons)."""
import os
import struct
import sys
import zlib

TILE = (0x2a, 0x7f, 0x8c)      # teal, as RGB
BEZEL = (0x20, 0x24, 0x2b)
SCREEN = (0xe8, 0xf4, 0xf2)
POINTER = (0xf0, 0x8a, 0x24)


def draw(size):
    s = size / 32.0
    px = [[TILE for _ in range(size)] for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = colour

    rect(4, 6, 28, 23, BEZEL)       # monitor
    rect(6, 8, 26, 21, SCREEN)      # its screen
    rect(14, 23, 18, 26, BEZEL)     # stand
    rect(9, 26, 23, 28, BEZEL)      # foot
    # A pointer arrow on the screen, each of its cells at least one pixel.
    for row in range(8):
        for col in range(row // 2 + 1):
            x, y = int((12 + col) * s), int((10 + row) * s)
            for yy in range(y, max(y + 1, int((11 + row) * s))):
                for xx in range(x, max(x + 1, int((13 + col) * s))):
                    px[yy][xx] = POINTER
    # Round the tile's corners (transparent through the AND mask).
    corners = {(0, 0), (1, 0), (0, 1)} if size >= 32 else {(0, 0)}
    mask = [[0] * size for _ in range(size)]
    for cx, cy in corners:
        for x, y in ((cx, cy), (size - 1 - cx, cy), (cx, size - 1 - cy), (size - 1 - cx, size - 1 - cy)):
            mask[y][x] = 1
            px[y][x] = (0, 0, 0)
    return px, mask


def ico(size):
    px, mask = draw(size)
    row_bytes = (size * 3 + 3) & ~3
    xor = b""
    for y in reversed(range(size)):  # bottom-up
        row = b"".join(bytes((b, g, r)) for (r, g, b) in px[y])
        xor += row + b"\0" * (row_bytes - len(row))
    and_row = ((size + 31) // 32) * 4
    andmask = b""
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | mask[y][x]
        row = bits.to_bytes((size + 7) // 8, "big")
        andmask += row + b"\0" * (and_row - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    image = header + xor + andmask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", size % 256, size % 256, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + image


def png(size):
    px, mask = draw(size)
    rows = b"".join(b"\0" + b"".join(bytes((r, g, b, 0 if mask[y][x] else 255)) for x, (r, g, b) in enumerate(px[y]))
                    for y in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--png":
        with open(sys.argv[3], "wb") as f:
            f.write(png(int(sys.argv[2])))
        sys.exit(0)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    for size in (32, 16):
        with open(os.path.join(out, "ravelo%d.ico" % size), "wb") as f:
            f.write(ico(size))
