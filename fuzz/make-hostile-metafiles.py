#!/usr/bin/env python3
"""Writes small metafiles built to make the player spend time or memory.

Each file is a few kilobytes and asks for work far beyond its size: clip
arithmetic on crossing shapes, region frames, overdraw by wide pens, many
large glyphs, huge declared bitmaps, state copies of a big path, pattern
brushes kept in the object table. They are kept as reproducers in
fuzz/regressions/metafile/, which the corpus replay plays in every test run;
bench/bench_metafile_play measures each one's time and peak memory.

    fuzz/make-hostile-metafiles.py [OUTPUT_DIR]   # default: fuzz/regressions/metafile
"""

import math
import os
import struct
import sys

# Enhanced metafile record types.
EMR_HEADER, EMR_EOF = 1, 14
EMR_POLYGON, EMR_POLYLINE = 3, 4
EMR_MOVETOEX, EMR_SAVEDC = 27, 33
EMR_SELECTOBJECT, EMR_CREATEBRUSHINDIRECT = 37, 39
EMR_RECTANGLE, EMR_LINETO = 43, 54
EMR_BEGINPATH, EMR_ENDPATH, EMR_SELECTCLIPPATH = 59, 60, 67
EMR_FRAMERGN, EMR_EXTSELECTCLIPRGN = 72, 75
EMR_EXTCREATEFONTINDIRECTW, EMR_EXTTEXTOUTW = 82, 84
EMR_CREATEDIBPATTERNBRUSHPT, EMR_EXTCREATEPEN = 94, 95
EMR_POLYTEXTOUTW, EMR_TRANSPARENTBLT = 97, 116
RGN_AND, RGN_XOR, RGN_COPY = 1, 3, 5
PS_GEOMETRIC = 0x10000
BI_RLE8 = 1

# Windows metafile functions.
META_EOF, META_CREATEREGION, META_CREATEBRUSHINDIRECT, META_FRAMEREGION = 0x0000, 0x06FF, 0x02FC, 0x0429

WIDTH, HEIGHT = 600, 400  # the picture, in device pixels


def record(kind, payload=b""):
    payload += b"\0" * (-len(payload) % 4)
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def rect(l, t, r, b):
    return struct.pack("<iiii", l, t, r, b)


def emf(records):
    """A whole EMF: header (a 1000 x 1000 pixel, 254 x 254 mm reference
    device, so one logical unit is one pixel of a 600 x 400 picture), the
    records and the end record."""
    body = b"".join(records) + record(EMR_EOF, struct.pack("<III", 0, 16, 20))
    header_size = 108
    total = header_size + len(body)
    count = 2 + len(records)
    header = struct.pack("<II", EMR_HEADER, header_size)
    header += rect(0, 0, WIDTH - 1, HEIGHT - 1)               # bounds, device pixels
    header += rect(0, 0, WIDTH * 254 // 10, HEIGHT * 254 // 10)  # frame, 0.01 mm
    header += struct.pack("<IIIIHH", 0x464D4520, 0x10000, total, count, 64, 0)
    header += struct.pack("<III", 0, 0, 0)                     # description, palette
    header += struct.pack("<iiii", 1000, 1000, 254, 254)       # device pixels and mm
    header += struct.pack("<IIIii", 0, 0, 0, 254000, 254000)   # pixel format, OpenGL, micrometres
    assert len(header) == header_size
    return header + body


def polygon_record(kind, points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    data = rect(min(xs), min(ys), max(xs), max(ys)) + struct.pack("<I", len(points))
    data += b"".join(struct.pack("<ii", x, y) for x, y in points)
    return record(kind, data)


def star(n, cx, cy, r, step):
    """n points on a circle joined every `step`-th: a path that crosses
    itself at almost every edge."""
    return [(int(cx + r * math.cos(2 * math.pi * k * step / n)),
             int(cy + r * math.sin(2 * math.pi * k * step / n))) for k in range(n)]


def region_data(rects):
    xs = [r[0] for r in rects] + [r[2] for r in rects]
    ys = [r[1] for r in rects] + [r[3] for r in rects]
    data = struct.pack("<IIII", 32, 1, len(rects), 16 * len(rects))
    data += rect(min(xs), min(ys), max(xs), max(ys))
    return data + b"".join(rect(*r) for r in rects)


def crossing_bars(count, width=WIDTH, height=HEIGHT):
    """count/2 horizontal and count/2 vertical bars, every one crossing every
    bar of the other kind."""
    half = count // 2
    rows = [(0, y * height // half, width, y * height // half + 1) for y in range(half)]
    cols = [(x * width // half, 0, x * width // half + 1, height) for x in range(half)]
    return rows + cols


def solid_brush(slot, colour=0x0000FF):
    return record(EMR_CREATEBRUSHINDIRECT, struct.pack("<IIII", slot, 0, colour, 0))


def select(slot):
    return record(EMR_SELECTOBJECT, struct.pack("<I", slot))


def full_rectangle():
    return record(EMR_RECTANGLE, rect(0, 0, WIDTH, HEIGHT))


def font(slot, height):
    face = "Noto Sans CJK JP".encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<iiiii", height, 0, 0, 0, 400) + bytes([0, 0, 0, 1, 0, 0, 0, 0]) + face
    return record(EMR_EXTCREATEFONTINDIRECTW, struct.pack("<I", slot) + logfont)


CJK = "".join(chr(0x4E00 + (k * 37) % 0x5000) for k in range(4000))


def path_clips():
    out = [record(EMR_BEGINPATH), polygon_record(EMR_POLYGON, star(200, 300, 200, 190, 97)),
           record(EMR_ENDPATH), record(EMR_SELECTCLIPPATH, struct.pack("<I", RGN_COPY)),
           record(EMR_BEGINPATH), polygon_record(EMR_POLYGON, star(200, 300, 200, 180, 83)),
           record(EMR_ENDPATH), record(EMR_SELECTCLIPPATH, struct.pack("<I", RGN_AND))]
    return emf(out + [solid_brush(1), select(1), full_rectangle()])


def region_grids():
    grid = crossing_bars(400)
    shifted = [(l + 1, t + 1, r + 1, b + 1) for l, t, r, b in grid]
    out = []
    for rects, mode in ((grid, RGN_COPY), (shifted, RGN_XOR)):
        data = region_data(rects)
        out.append(record(EMR_EXTSELECTCLIPRGN, struct.pack("<II", len(data), mode) + data))
    return emf(out + [solid_brush(1), select(1), full_rectangle()])


def frame_region_emf():
    data = region_data(crossing_bars(160))
    frame = rect(0, 0, WIDTH, HEIGHT) + struct.pack("<IIii", len(data), 1, 3, 3) + data
    return emf([solid_brush(1), record(EMR_FRAMERGN, frame)])


def wmf(records, objects):
    body = b"".join(records) + struct.pack("<IH", 3, META_EOF)
    words = (18 + len(body)) // 2
    largest = max(len(r) for r in records) // 2
    return struct.pack("<HHHIHIH", 1, 9, 0x300, words, objects, largest, 0) + body


def wmf_record(function, words):
    return struct.pack("<IH", 3 + len(words), function) + struct.pack("<%dh" % len(words), *words)


def frame_region_wmf():
    """The same bars as a WMF without a window, so loading measures the
    drawing to find the picture's extent."""
    scans = []
    for l, t, r, b in crossing_bars(160):
        scans += [2, t, b, l, r, 2]
    head = [0, 6, 0, 0, 22 + 2 * len(scans), 160, 2, 0, 0, WIDTH, HEIGHT]
    return wmf([wmf_record(META_CREATEREGION, head + scans),
                wmf_record(META_CREATEBRUSHINDIRECT, [0, 0xFF, 0, 0]),
                wmf_record(META_FRAMEREGION, [0, 1, 3, 3])], 2)


def zigzag(kind):
    pen = struct.pack("<IIIIII", 1, 52, 0, 52, 0, PS_GEOMETRIC) + struct.pack("<IIIII", 20, 0, 0x008000, 0, 0)
    points = [(k * WIDTH // 1000, 0 if k % 2 else HEIGHT) for k in range(1000)]
    return emf([record(EMR_EXTCREATEPEN, pen), select(1), solid_brush(2), select(2), polygon_record(kind, points)])


def emr_text(ref, chars, off_string):
    return struct.pack("<iiIII", ref[0], ref[1], chars, off_string, 0) + rect(0, 0, 0, 0) + struct.pack("<I", 0)


def poly_text():
    texts, chars = 120, 2000
    off_string = 8 + 32 + texts * 40
    entries = b"".join(emr_text((0, 10 + k * 3), chars, off_string) for k in range(texts))
    payload = rect(0, 0, WIDTH, HEIGHT) + struct.pack("<Iff I", 1, 1.0, 1.0, texts) + entries
    payload += CJK[:chars].encode("utf-16-le")
    return emf([font(1, -300), select(1), record(EMR_POLYTEXTOUTW, payload)])


def rle8_info(width, height):
    """A BITMAPINFOHEADER for an RLE8 bitmap with a two-colour table, and
    its two bytes of bits: the end-of-bitmap code."""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, BI_RLE8, 2, 0, 0, 2, 0) + struct.pack("<II", 0xFF0000, 0x00FF00)
    return info, b"\0\x01"


def rle8_blits():
    info, bits = rle8_info(32767, 1024)
    out = []
    for k in range(8):
        head_size = 108
        blt = rect(0, 0, WIDTH, HEIGHT) + struct.pack("<iiiiI", k * 10, 0, WIDTH, HEIGHT, 0x00FFFFFF)
        blt += struct.pack("<ii", 0, 0) + struct.pack("<6f", 1, 0, 0, 1, 0, 0)
        blt += struct.pack("<IIIIII", 0, 0, head_size, len(info), head_size + len(info), len(bits))
        blt += struct.pack("<ii", 32767, 1024)
        assert 8 + len(blt) == head_size
        out.append(record(EMR_TRANSPARENTBLT, blt + info + bits))
    return emf(out)


def glyph_path_saves():
    chars = 4000
    payload = rect(0, 0, WIDTH, HEIGHT) + struct.pack("<Iff", 1, 1.0, 1.0) + emr_text((0, 40), chars, 76)
    payload += CJK[:chars].encode("utf-16-le")
    out = [font(1, -40), select(1), record(EMR_BEGINPATH), record(EMR_EXTTEXTOUTW, payload)]
    for k in range(300):
        out += [record(EMR_SAVEDC), record(EMR_LINETO, struct.pack("<ii", k, k % HEIGHT))]
    return emf(out)


def pattern_brushes():
    info, bits = rle8_info(1024, 1024)
    out = []
    for slot in range(1, 129):
        head = struct.pack("<IIIIII", slot, 0, 32, len(info), 32 + len(info), len(bits))
        out.append(record(EMR_CREATEDIBPATTERNBRUSHPT, head + info + bits))
    return emf(out + [select(128), full_rectangle()])


FILES = {
    "hostile-clip-paths-and.emf": path_clips,
    "hostile-clip-region-grids.emf": region_grids,
    "hostile-frame-region-bars.emf": frame_region_emf,
    "hostile-frame-region-bars-no-window.wmf": frame_region_wmf,
    "hostile-zigzag-polyline.emf": lambda: zigzag(EMR_POLYLINE),
    "hostile-zigzag-polygon.emf": lambda: zigzag(EMR_POLYGON),
    "hostile-polytext-cjk.emf": poly_text,
    "hostile-rle8-huge-transparentblt.emf": rle8_blits,
    "hostile-glyph-path-savedc.emf": glyph_path_saves,
    "hostile-rle8-pattern-brushes.emf": pattern_brushes,
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "regressions", "metafile")
    os.makedirs(out_dir, exist_ok=True)
    for name, make in FILES.items():
        data = make()
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
