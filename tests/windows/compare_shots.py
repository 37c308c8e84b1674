#!/usr/bin/env python3
"""Compares two screenshots (8-bit RGB or RGBA PNG files of the same size).

Usage: compare_shots.py A.png B.png [--tolerance 2] [--share 0.99]
Passes (exit 0) when at least SHARE of the pixels differ by no more than TOLERANCE levels in
every channel; prints the counts either way.
"""
import argparse
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, [], None
    while pos + 8 <= len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    if not header:
        sys.exit(f"{path}: no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: only 8-bit RGB or RGBA without interlacing is understood")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * bpp
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1 : i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, bpp, rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("a")
    parser.add_argument("b")
    parser.add_argument("--tolerance", type=int, default=2)
    parser.add_argument("--share", type=float, default=0.99)
    args = parser.parse_args()
    wa, ha, ba, ra = read_png(args.a)
    wb, hb, bb, rb = read_png(args.b)
    if (wa, ha) != (wb, hb):
        print(f"sizes differ: {wa}x{ha} and {wb}x{hb}")
        return 1
    close = worst = differ = 0
    box = [wa, ha, -1, -1]  # where any pixel differs at all
    for y in range(ha):
        la, lb = ra[y], rb[y]
        for x in range(wa):
            d = max(abs(la[x * ba + c] - lb[x * bb + c]) for c in range(3))
            worst = max(worst, d)
            close += d <= args.tolerance
            if d:
                differ += 1
                box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
    total = wa * ha
    where = f" in x {box[0]}..{box[2]}, y {box[1]}..{box[3]}" if differ else ""
    print(f"{close} of {total} pixels ({100.0 * close / total:.3f} %) within "
          f"{args.tolerance} levels; {differ} differ{where}; largest difference {worst}")
    return 0 if close >= args.share * total else 1


if __name__ == "__main__":
    sys.exit(main())
