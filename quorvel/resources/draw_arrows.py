#!/usr/bin/env python3
"""Draws the six 32 x 32 arrows of the scheme diagram as PNG.

The scheme table shows them in rows 24 pixels high (the picture's middle,
rows 4 to 27) and, for the connector between two branches, in a row 2
pixels high (rows 15 and 16). Every line is 2 pixels wide and runs through
rows 15-16 or columns 15-16, so the fork, the connector and the merge
pieces meet across the rows. Crisp pixels, no antialiasing; only the
standard library. Run from this folder: python3 draw_arrows.py
"""
import struct
import zlib

N = 32
MID = (15, 16)           # the 2-pixel line through the middle
INK = (0, 0, 0, 255)


def png(path, pixels):
    raw = b"".join(b"\0" + bytes(c for p in pixels[y * N:(y + 1) * N] for c in p) for y in range(N))

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def picture(*parts):
    px = [(0, 0, 0, 0)] * (N * N)
    for part in parts:
        for x, y in part:
            px[y * N + x] = INK
    return px


def hline(x0, x1):
    return [(x, y) for x in range(x0, x1 + 1) for y in MID]


def vline(y0, y1):
    return [(x, y) for y in range(y0, y1 + 1) for x in MID]


def head():
    # A filled triangle pointing right, its tip on the last column.
    pts = []
    for x in range(23, N):
        half = (N - 1 - x) * 5 // 8
        pts += [(x, y) for y in range(15 - half, 17 + half)]
    return pts


png("arrow.png", picture(hline(0, 30), head()))
png("varrow.png", picture(vline(0, N - 1)))
# From the start cell on the left into the upper branch, and down.
png("left-cross-upper-arrow.png", picture(hline(0, 30), head(), vline(15, N - 1)))
# From above into the lower branch.
png("left-cross-lower-arrow.png", picture(vline(0, 16), hline(15, 30), head()))
# The upper branch on to the end cell, joined from below.
png("right-cross-upper-arrow.png", picture(hline(0, 30), head(), vline(15, N - 1)))
# The lower branch up into the merge.
png("right-cross-lower-arrow.png", picture(hline(0, 16), vline(0, 16)))
