#!/usr/bin/env python3
"""Draws the program's icon: a 32x32, 16-colour pen tablet with a pen and a red removal cross.

Writes resources/uninstaller.ico (one 4-bit image with its AND mask). Run it again after
changing the drawing; the .ico is committed so builds need no Python.
"""
import struct
import sys

W = H = 32
# The standard 16-colour Windows palette as (red, green, blue); stored blue first.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DGRAY, LGRAY, WHITE, RED, NAVY, BLUE, YELLOW = 0, 8, 7, 15, 9, 4, 12, 11
CLEAR = None

pix = [[CLEAR] * W for _ in range(H)]


def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pix[y][x] = c


# The tablet: a dark body with a light frame and a blue drawing area.
rect(2, 8, 29, 27, DGRAY)
rect(3, 9, 28, 26, LGRAY)
rect(6, 11, 25, 24, NAVY)
rect(7, 12, 24, 23, BLUE)
for x in range(2, 30):
    pix[28][x] = BLACK
# The pen, lying diagonally across the tablet from top right to the middle.
for i in range(12):
    x, y = 27 - i, 2 + i
    for dx in (0, 1):
        pix[y][x + dx] = YELLOW if i < 10 else BLACK
    pix[y + 1][x] = DGRAY
# The removal cross in the lower left corner.
for i in range(8):
    for d in (0, 1):
        pix[20 + i][1 + i + d] = RED
        pix[20 + i][8 - i + d] = RED


def ico_bytes():
    xor_rows, and_rows = [], []
    for y in reversed(range(H)):  # bitmaps are stored bottom-up
        row = pix[y]
        nibbles = [(c if c is not None else 0) for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, W, 2)))
        bits = 0
        for x in range(W):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        and_rows.append(struct.pack(">I", bits))
    xor = b"".join(xor_rows)
    mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", W, H, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/uninstaller.ico"
    with open(out, "wb") as f:
        f.write(ico_bytes())
