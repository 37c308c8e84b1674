#!/usr/bin/env python3
"""Reads the player's position from a screenshot the game wrote (F12 or a script's shot).

Usage: screen_position.py SCREEN.png ascii.fnt
Prints "X Y": the two figures the game writes in white at the top left of the world view, read
by matching each 8 x 16 cell against the digits of the game's ASCII font.
"""
import struct
import sys
import zlib

FIRST_CODE = 31  # the font file's first glyph
VIEW = (8, 8)  # the world view's place on the screen
FIGURES = {"x": (4, 24), "y": (4, 44)}  # where the game writes them in the view


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind, body = data[pos + 4 : pos + 8], data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour = header[:4]
    if depth != 8 or colour != 2:
        sys.exit(f"{path}: not an 8-bit RGB picture")
    raw, stride = zlib.decompress(idat), 1 + width * 3
    if any(raw[y * stride] for y in range(height)):
        sys.exit(f"{path}: filtered rows (the game writes none)")

    def white(x, y):
        # The view's layer is tinted down its height: white text arrives as a light grey-blue.
        r, g, b = raw[y * stride + 1 + x * 3 : y * stride + 4 + x * 3]
        return g == b and g >= 0x70 and r < g

    return white


def read_number(white, font, left, top):
    digits = ""
    while True:
        cell = [[white(left + 8 * len(digits) + c, top + r) for c in range(8)] for r in range(16)]
        match = None
        for d in "0123456789-":
            glyph = font[(ord(d) - FIRST_CODE) * 16 :][:16]
            if all(cell[r][c] == bool(glyph[r] & (0x80 >> c)) for r in range(16) for c in range(8)):
                match = d
        if match is None:
            return digits
        digits += match


def main():
    white = read_png(sys.argv[1])
    font = open(sys.argv[2], "rb").read()
    figures = []
    for name in ("x", "y"):
        x, y = FIGURES[name]
        number = read_number(white, font, VIEW[0] + x, VIEW[1] + y)
        if not number:
            sys.exit(f"{sys.argv[1]}: no {name} figure on the screen")
        figures.append(number)
    print(" ".join(figures))


main()
