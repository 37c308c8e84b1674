#!/usr/bin/env python3
"""Writes the small seed files of the fuzz corpora (run from anywhere; needs cjpeg for JPEG).

Every file is made here from scratch. Regression inputs kept from fuzzing findings sit next to
the seeds as regress-*; this script never touches them."""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def put(kind, name, data):
    os.makedirs(os.path.join(HERE, kind), exist_ok=True)
    with open(os.path.join(HERE, kind, name), "wb") as f:
        f.write(data)


def picture(w, h):
    """A small colourful test pattern as rows of (r, g, b)."""
    return [[((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x * y * 3 + 64) & 255)
             for x in range(w)] for y in range(h)]


# --- BMP -----------------------------------------------------------------------------------------
def bmp(w, h, bits, compression, table, rows):
    entries = len(table) // 4
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, 0, 0, 0, entries, 0)
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F) if compression == 3 else b""
    pixels = b""
    for r in rows:  # bottom row first
        pixels += r + b"\0" * (-len(r) % 4)
    head = b"BM" + struct.pack("<IHHI", 54 + len(masks) + len(table) + len(pixels), 0, 0,
                               54 + len(masks) + len(table))
    return head + info + masks + table + pixels


def bmp_seeds():
    w, h = 5, 3
    pic = picture(w, h)
    rows24 = [b"".join(bytes((b, g, r)) for r, g, b in pic[y]) for y in reversed(range(h))]
    put("bmp", "rgb24.bmp", bmp(w, h, 24, 0, b"", rows24))
    rows32 = [b"".join(bytes((b, g, r, 0x80)) for r, g, b in pic[y]) for y in reversed(range(h))]
    put("bmp", "rgb32.bmp", bmp(w, h, 32, 0, b"", rows32))
    rows555 = [b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                        for r, g, b in pic[y]) for y in reversed(range(h))]
    put("bmp", "rgb555.bmp", bmp(w, h, 16, 0, b"", rows555))
    rows565 = [b"".join(struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                        for r, g, b in pic[y]) for y in reversed(range(h))]
    put("bmp", "rgb565.bmp", bmp(w, h, 16, 3, b"", rows565))
    table = b"".join(bytes((i * 3 & 255, i * 5 & 255, i * 7 & 255, 0)) for i in range(256))
    rows8 = [bytes((x * 40 + y * 7) & 255 for x in range(w)) for y in range(h)]
    put("bmp", "pal8.bmp", bmp(w, h, 8, 0, table, rows8))
    put("bmp", "pal8_short_table.bmp", bmp(w, h, 8, 0, table[:16 * 4], rows8))
    rows4 = [bytes(((x * 2 + y) & 15) << 4 | ((x * 2 + 1 + y) & 15) for x in range((w + 1) // 2))
             for y in range(h)]
    put("bmp", "pal4.bmp", bmp(w, h, 4, 0, table[:16 * 4], rows4))
    put("bmp", "mono1.bmp", bmp(9, 2, 1, 0, table[:8], [b"\xa5\x80", b"\x5a\x00"]))


# --- PCX and .kv0 --------------------------------------------------------------------------------
def rle(line):
    out, i = b"", 0
    while i < len(line):
        n = 1
        while i + n < len(line) and line[i + n] == line[i] and n < 63:
            n += 1
        if n > 1 or line[i] >= 0xC0:
            out += bytes((0xC0 | n,))
        out += bytes((line[i],))
        i += n
    return out


def pcx(w, h, planes, lines, palette=None):
    bpl = w + (w & 1)
    header = bytearray(128)
    header[0:4] = bytes((10, 5, 1, 8))
    header[4:12] = struct.pack("<hhhh", 0, 0, w - 1, h - 1)
    header[65] = planes
    header[66:68] = struct.pack("<H", bpl)
    body = b"".join(rle(b"".join(p + b"\0" * (bpl - w) for p in line)) for line in lines)
    tail = b""
    if palette is not None:
        tail = b"\x0c" + palette
    return bytes(header) + body + tail


def scramble(data, key=0xC5, start=0):
    out = bytearray()
    for p, b in enumerate(data):
        v = b ^ key
        r = (p + start) % 8
        out.append(((v >> r) | (v << (8 - r))) & 255 if r else v)
    return bytes(out)


def pcx_seeds():
    w, h = 7, 4
    pic = picture(w, h)
    palette = b"".join(bytes((i, 255 - i, i * 3 & 255)) for i in range(256))
    index_lines = [[bytes((x * 30 + y * 5) & 255 if x < 4 else 200 for x in range(w))]
                   for y in range(h)]
    one = pcx(w, h, 1, index_lines)
    one_pal = one + b"\x0c" + palette
    put("pcx", "indexed.pcx", one_pal)
    put("pcx", "indexed_no_palette.pcx", one)
    rgb_lines = [[bytes(pic[y][x][c] for x in range(w)) for c in range(3)] for y in range(h)]
    rgb = pcx(w, h, 3, rgb_lines)
    put("pcx", "rgb.pcx", rgb)
    put("pcx", "indexed.kv0", scramble(one_pal))
    put("pcx", "rgb.kv0", scramble(rgb))


# --- JPEG ----------------------------------------------------------------------------------------
def ppm(w, h, grey=False):
    pic = picture(w, h)
    if grey:
        return b"P5\n%d %d\n255\n" % (w, h) + bytes(r for row in pic for r, g, b in row)
    return b"P6\n%d %d\n255\n" % (w, h) + bytes(c for row in pic for px in row for c in px)


def jpeg_seeds():
    cases = [
        ("420.jpg", 16, 16, ["-sample", "2x2"], False),
        ("444_odd.jpg", 13, 9, ["-sample", "1x1"], False),
        ("422_restart.jpg", 24, 8, ["-sample", "2x1", "-restart", "1B"], False),
        ("grey.jpg", 8, 8, ["-grayscale"], True),
        ("411_opt.jpg", 32, 8, ["-sample", "4x1", "-optimize"], False),
        ("progressive.jpg", 16, 16, ["-progressive"], False),
    ]
    with tempfile.TemporaryDirectory() as tmp:
        for name, w, h, opts, grey in cases:
            src = os.path.join(tmp, "in.ppm")
            with open(src, "wb") as f:
                f.write(ppm(w, h, grey))
            data = subprocess.run(["cjpeg", "-quality", "75"] + opts + [src], check=True,
                                  capture_output=True).stdout
            put("jpeg", name, data)


# --- input scripts -------------------------------------------------------------------------------
def script_seeds():
    put("input_script", "walk.txt", b"# walk and fire\ndown Right\nwait 30\nup Right\npress Z\n"
        b"wait 2\n")
    put("input_script", "talk.txt", b"down Left\nwait 40\nup Left\npress Hangul\ntype rkskek\n"
        b"press Backspace\npress Enter\nwait 5\nshot out/talk.png\npress Esc\nwait 1\n")
    put("input_script", "keys.txt", b"press left\r\npress RIGHT\r\n  press ctrl\npress 7\n"
        b"down Shift\ntype Hello, World! ~{}\nup Shift\nwait 0\nshot /tmp/x.png\n")
    put("input_script", "bad.txt", b"wait 3\nwait x\n")


if __name__ == "__main__":
    bmp_seeds()
    pcx_seeds()
    jpeg_seeds()
    script_seeds()
