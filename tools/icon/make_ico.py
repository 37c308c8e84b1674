#!/usr/bin/env python3
"""Writes a Windows icon file (16 x 16 and 32 x 32, 32-bit with alpha) from a text picture.

Usage: make_ico.py PICTURE.txt OUT.ico
       make_ico.py PICTURE.txt OUT.png SIZE   (an RGBA PNG, SIZE a multiple of 16)
The picture is 16 rows of 16 characters; lines starting with '#' are comments. Every character
maps to a colour below; '.' is transparent. The 32 x 32 image doubles every pixel.
"""
import struct
import sys
import zlib

PALETTE = {
    ".": None,
    "k": (0x2B, 0x22, 0x33),
    "g": (0x3C, 0x9A, 0x4A),
    "G": (0x8F, 0xD9, 0x6A),
    "w": (0xF4, 0xEE, 0xE0),
    "s": (0xC9, 0xBF, 0xD8),
    "e": (0x1E, 0x1A, 0x30),
    "c": (0xF2, 0x8C, 0x9A),
}


def read_picture(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            rows.append(line)
    if len(rows) != 16 or any(len(r) != 16 for r in rows):
        sys.exit(f"{path}: need 16 rows of 16 characters")
    for r in rows:
        for ch in r:
            if ch not in PALETTE:
                sys.exit(f"{path}: unknown colour '{ch}'")
    return rows


def image(rows, scale):
    size = 16 * scale
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_row_bytes = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):  # rows bottom-up
        mask_row = bytearray(mask_row_bytes)
        for x in range(size):
            colour = PALETTE[rows[y // scale][x // scale]]
            if colour is None:
                pixels += bytes((0, 0, 0, 0))
                mask_row[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = colour
                pixels += bytes((b, g, r, 0xFF))
        mask += mask_row
    return size, header + pixels + mask


def png(rows, scale):
    size = 16 * scale
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for x in range(size):
            colour = PALETTE[rows[y // scale][x // scale]]
            raw += bytes((0, 0, 0, 0)) if colour is None else bytes(colour + (0xFF,))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) == 4 and sys.argv[2].endswith(".png"):
        size = int(sys.argv[3])
        if size < 16 or size % 16:
            sys.exit(__doc__)
        with open(sys.argv[2], "wb") as f:
            f.write(png(read_picture(sys.argv[1]), size // 16))
        return
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    rows = read_picture(sys.argv[1])
    images = [image(rows, 1), image(rows, 2)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[2], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
