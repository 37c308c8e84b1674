#!/usr/bin/env python3
"""Writes the small seed files of the fuzz corpora (run from anywhere; needs cjpeg for JPEG).

    make_seeds.py [DATA_DIR]

Every file is made here from scratch, except that with DATA_DIR (the build's data folder, for
example build/data) the game's own small data files are taken as seeds too: the map and both
sheets. Regression inputs kept from fuzzing findings sit next to the seeds as regress-*; this
script never touches them."""
import os
import struct
import sys
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
    put("input_script", "recorded.txt", b"# recorded by kestrove 0.1.0 | bg_image.jpg 12 bytes "
        b"crc32 0000abcd | H3.MAF missing\ncapslock on\ndown Alt\nkeydown Hangul\nwait 3\n"
        b"keyup Hangul\nup Alt\nsysdown x\nsysup x\ncapslock off\nwait 1\ndown Le")


# --- map file (after the harness's 14 bytes: view centre, probe box, spans, render time) ------
def map_prefix(cx=180, cy=228, left=30, top=30, span_x=3, span_y=2, time=17):
    return struct.pack("<hhhhBBI", cx, cy, left, top, span_x, span_y, time)


def map_file(w, h, layers):
    return struct.pack("<HHHH", 0, 0, w, h) + b"".join(layers)


def map_seeds(data_dir):
    w, h = 12, 9
    ground = bytes((x * 7 + y) % 144 for y in range(h) for x in range(w))
    objects = bytes((0, 6, 24, 2, 45, 100, 200, 11, 12, 25, 5, 1)[(x + y) % 12]
                    for y in range(h) for x in range(w))
    anim = bytes((0, 1, 2, 3, 4, 5, 9)[(x * y) % 7] for y in range(h) for x in range(w))
    attrs = bytes(0x40 if (x + 2 * y) % 5 == 0 else 0xBF if x == 3 else 0
                  for y in range(h) for x in range(w))
    full = map_file(w, h, [ground, objects, anim, attrs])
    put("map", "small.bin", map_prefix() + full)
    put("map", "truncated.bin", map_prefix(-40, 500, -5, 0, 1, 1, 2) + full[:8 + w * h + 5])
    put("map", "header_only.bin", map_prefix(0, 0, 0, 0, 0, 0, 0) + struct.pack("<HHHH", 0, 0, 5, 0))
    put("map", "too_wide.bin", map_prefix() + struct.pack("<HHHH", 0, 0, 300, 2) + bytes(2400))
    put("map", "edges.bin", map_prefix(-30000, 30000, -30, 0, 63, 63, 0xFFFFFFFF) +
        map_file(256, 1, [bytes(range(256))] * 4))
    if data_dir:
        with open(os.path.join(data_dir, "H3.MAF"), "rb") as f:
            put("map", "game_H3.bin", map_prefix(600, 400) + f.read())


# --- fonts with text drawing -----------------------------------------------------------------------
def draw_op(x, y, colour, how, text):
    return struct.pack("<hhIB", x, y, colour, how) + text + b"\n"


def font_seeds():
    # sizes and ink of both fonts, then the bitmap: width, height, depth and row order
    def head(ascii_size, hangul_size, width, height, form, ink=1):
        return struct.pack("<HBHBHBB", ascii_size, ink, hangul_size, ink, width - 1, height - 1,
                           form)
    hangul = bytes((0xC0, 0x00, 0xC5, 0x10, 0xFF, 0xFF, 0x80, 0x9E, 0xB2))  # syllables and jamo
    put("font", "whole_fonts.bin", head(1552, 11008, 248, 80, 0) +
        draw_op(8, 0, 0xFFD0B0FF, 0, b"abc {" + hangul + b"} xyz") +
        draw_op(0, 16, 0xFFFFFFFF, 1, b"justified " + hangul))
    put("font", "short_fonts_16bit.bin", head(100, 700, 64, 32, 1, 2) +
        draw_op(-5, -3, 0xFF808080, 0, b"\x1e\x1f ~" + hangul) +
        draw_op(60, 30, 0x12345678, 3, b"{{}}" + hangul))
    put("font", "edges_15bit_bottom_up.bin", head(1553, 11007, 7, 15, 6) +
        draw_op(1, 0, 0xFFFFFFFF, 1, hangul + b"}") + draw_op(3, 14, 0, 0, b"\x7f\xb3\xbf"))


# --- input method keys (0xF0 toggles Hangul/English, 0xF1 resets, 0x80 + key is Shift + key) ------
def ime_seeds():
    put("ime", "annyeong.bin", b"dkssudgktpdy")
    put("ime", "compounds.bin", b"rhkdrhkl\xf1dnjsdml\xf1dmll")
    put("ime", "clusters_backspace.bin", b"ekfrk\x08\x08qkfqrk\x08\x08\x08\x08\x08\x08\x08")
    put("ime", "shift_and_modes.bin", b"\xc5k\xc5\xd2k\xd1k\xd4\xf0abc 1\xf0gks\x08\x08\x08k")
    put("ime", "others.bin", b"rt hk r k1 \x7f\x00\x1b\x0d{}")


# --- console and input window ----------------------------------------------------------------------
def window_seeds():
    def head(kind, width, height):
        return struct.pack("<BHH", kind, width - 1, height - 1)
    hangul = bytes((0xC0, 0x00, 0xC5, 0x10, 0xD0, 0x33, 0x80, 0x9E, 0xB2))
    say = b"\x00" + hangul * 3 + b". {" + hangul + b"}" + hangul * 2 + b" ab?\n"
    put("text_window", "console.bin", head(0, 248, 384) + say * 3 + b"\x04\xff\xff\x00\xff" +
        b"\x01  lead and trail  \n\x02\x03" + b"\x05\x02{" + hangul + b"}x \n")
    put("text_window", "input.bin", head(1, 248, 80) + b"\x06" + hangul * 2 + b"ab\t" +
        hangul[:2] + b"\n\x07\x08\x09\x00\n" + b"\x06" + hangul * 20 + b"\t\n\x09" +
        b"\x00\n" * 6)
    # a text past the 60000 units a remainder is cut to: a 975-unit piece 8 times over, with
    # 65280 braces in the middle
    put("text_window", "longest.bin", head(0, 40, 48) + b"\x05\x07\xff" +
        (b"a{" + hangul + b"}" + b" xy" * 10) * 25 + b"\n")
    put("text_window", "narrow.bin", head(2, 12, 40) + say + b"\x05\x10{{{" + hangul + b"}}\n")


if __name__ == "__main__":
    data_dir = sys.argv[1] if len(sys.argv) > 1 else None
    bmp_seeds()
    pcx_seeds()
    jpeg_seeds()
    script_seeds()
    map_seeds(data_dir)
    font_seeds()
    ime_seeds()
    window_seeds()
    if data_dir:
        for sheet in ("deja1.kv0", "deja2.kv0"):
            with open(os.path.join(data_dir, sheet), "rb") as f:
                put("pcx", "game_" + sheet, f.read())
