#!/usr/bin/env python3
"""Writes the hand-made metafiles of tests/data/metafile/ (the edge-*.emf,
edge-*.wmf and broken-*.* files): records that the programs used for the
other files never write, each file drawing flat colours at known places so a
test can probe them, and broken files of every kind the player must refuse
or skip. Run it from anywhere; it rewrites the files beside itself.

Every picture is 100 x 100 device pixels on a 96 ppi reference device
unless a file says otherwise, so a test plays it onto a 100 x 100 image and
device pixel (x, y) is image pixel (x, y).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

RED, GREEN, BLUE, BLACK, WHITE, YELLOW = 0x0000FF, 0x00FF00, 0xFF0000, 0x000000, 0xFFFFFF, 0x00FFFF


# ---------------------------------------------------------------- EMF

class Emf:
    def __init__(self, width=100, height=100, handles=16):
        self.w, self.h, self.handles = width, height, handles
        self.records = []

    def rec(self, rtype, payload=b""):
        while len(payload) % 4:
            payload += b"\0"
        self.records.append(struct.pack("<II", rtype, 8 + len(payload)) + payload)
        return self

    def data(self, eof=True):
        recs = list(self.records)
        if eof:
            recs.append(struct.pack("<IIIII", 14, 20, 0, 16, 20))
        body = b"".join(recs)
        # A 96 ppi reference device (960 px over 254 mm); the frame is the
        # picture in 0.01 mm.
        frame = (0, 0, round(self.w * 2540 / 96), round(self.h * 2540 / 96))
        header = struct.pack("<II4i4iIIIIHHIII2i2i", 1, 88, 0, 0, self.w - 1, self.h - 1, *frame,
                             0x464D4520, 0x10000, 88 + len(body), len(recs) + 1, self.handles, 0,
                             0, 0, 0, 960, 960, 254, 254)
        return header + body

    # helpers for common records
    def pen(self, ih, color, width=0, style=0):
        return self.rec(38, struct.pack("<IIiiI", ih, style, width, 0, color))

    def brush(self, ih, color, style=0, hatch=0):
        return self.rec(39, struct.pack("<IIII", ih, style, color, hatch))

    def select(self, ih):
        return self.rec(37, struct.pack("<I", ih))

    def rect(self, l, t, r, b):
        return self.rec(43, struct.pack("<4i", l, t, r, b))

    def fill(self, color, l, t, r, b, ih=1):
        """A rectangle in one colour without an outline (null pen, stock 8)."""
        self.brush(ih, color).select(ih).select(0x80000008)
        return self.rect(l, t, r, b)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def dib_header(w, h, bpp, compression=0, colors=0, size_image=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, compression, size_image, 3780, 3780, colors, 0)


def stretchdibits(emf, x, y, cx, cy, bmi, bits, src=None, rop=0x00CC0020):
    sw, sh = src if src else (struct.unpack_from("<i", bmi, 4)[0], abs(struct.unpack_from("<i", bmi, 8)[0]))
    off_bmi = 80
    off_bits = off_bmi + len(bmi)
    # rclBounds, xDest yDest xSrc ySrc cxSrc cySrc, offBmi cbBmi offBits
    # cbBits iUsage dwRop, cxDest cyDest, then the header and the bits.
    payload = (struct.pack("<4i", 0, 0, 0, 0) + struct.pack("<6i", x, y, 0, 0, sw, sh) +
               struct.pack("<6I", off_bmi, len(bmi), off_bits, len(bits), 0, rop) +
               struct.pack("<2i", cx, cy) + bmi + bits)
    return emf.rec(81, payload)


def palette(*colors):
    """RGBQUAD entries (blue, green, red, reserved) of COLORREF values."""
    return b"".join(struct.pack("<BBBB", (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 0) for c in colors)


def rows_padded(rows):
    out = b""
    for r in rows:
        while len(r) % 4:
            r += b"\0"
        out += r
    return out


def edge_dibs():
    """Six 2 x 2 bitmaps in six formats, each stretched over a 30 x 30 tile:
    the quadrants are red (top left), green (top right), blue (bottom left)
    and white (bottom right) in every tile."""
    e = Emf()
    e.fill(BLACK, 0, 0, 100, 100)
    pal = palette(RED, GREEN, BLUE, WHITE)
    # 8 bpp bottom-up: the first stored row is the bottom one.
    stretchdibits(e, 0, 0, 30, 30, dib_header(2, 2, 8, colors=4) + pal, rows_padded([bytes([2, 3]), bytes([0, 1])]))
    # 4 bpp top-down.
    stretchdibits(e, 35, 0, 30, 30, dib_header(2, -2, 4, colors=4) + pal, rows_padded([bytes([0x01]), bytes([0x23])]))
    # 1 bpp cannot hold four colours: a checker, white top left and bottom
    # right, red top right and bottom left.
    stretchdibits(e, 70, 0, 30, 30, dib_header(2, 2, 1, colors=2) + palette(RED, WHITE),
                  rows_padded([bytes([0x40]), bytes([0x80])]))
    # 24 bpp bottom-up (BGR).
    def bgr(c):
        return bytes([(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF])
    stretchdibits(e, 0, 35, 30, 30, dib_header(2, 2, 24),
                  rows_padded([bgr(BLUE) + bgr(WHITE), bgr(RED) + bgr(GREEN)]))
    # 16 bpp with 5-6-5 bit fields, top-down.
    def c565(c):
        r, g, b = c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF
        return struct.pack("<H", ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    stretchdibits(e, 35, 35, 30, 30, dib_header(2, -2, 16, compression=3) + masks,
                  rows_padded([c565(RED) + c565(GREEN), c565(BLUE) + c565(WHITE)]))
    # 32 bpp bottom-up (BGRX).
    def bgrx(c):
        return bgr(c) + b"\0"
    stretchdibits(e, 70, 35, 30, 30, dib_header(2, 2, 32),
                  rows_padded([bgrx(BLUE) + bgrx(WHITE), bgrx(RED) + bgrx(GREEN)]))
    # RLE8 4 x 4 (bottom-up): rows bottom to top: blue blue white white (x2), red red green green (x2).
    rle8 = bytes([2, 2, 2, 3, 0, 0, 2, 2, 2, 3, 0, 0, 2, 0, 2, 1, 0, 0, 2, 0, 2, 1, 0, 0, 0, 1])
    stretchdibits(e, 0, 70, 30, 30, dib_header(4, 4, 8, compression=1, colors=4, size_image=len(rle8)) + pal, rle8)
    # RLE4 4 x 4: the same picture; the top row is one absolute run (0, 4, indices).
    rle4 = bytes([2, 0x22, 2, 0x33, 0, 0, 2, 0x22, 2, 0x33, 0, 0, 2, 0x00, 2, 0x11, 0, 0,
                  0, 4, 0x00, 0x11, 0, 0, 0, 1])
    stretchdibits(e, 35, 70, 30, 30, dib_header(4, 4, 4, compression=2, colors=4, size_image=len(rle4)) + pal, rle4)
    write("edge-dibs.emf", e.data())


def edge_poly16():
    """16-bit point records: a red POLYGON16 square (10..40), a green
    POLYPOLYGON16 of two squares (60..90 top, 60..90 bottom), a blue thick
    POLYLINE16 across y = 75 from x = 5 to 45, and a POLYBEZIER16 that is a
    straight black line down x = 50."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.brush(2, RED).select(2).select(0x80000008)
    pts = [(10, 10), (40, 10), (40, 40), (10, 40)]
    e.rec(86, struct.pack("<4iI", 0, 0, 0, 0, 4) + b"".join(struct.pack("<hh", *p) for p in pts))
    e.brush(3, GREEN).select(3)
    a = [(60, 10), (90, 10), (90, 40), (60, 40)]
    b = [(60, 60), (90, 60), (90, 90), (60, 90)]
    e.rec(91, struct.pack("<4iIIII", 0, 0, 0, 0, 2, 8, 4, 4) + b"".join(struct.pack("<hh", *p) for p in a + b))
    e.pen(4, BLUE, width=6).select(4)
    e.rec(87, struct.pack("<4iI", 0, 0, 0, 0, 2) + struct.pack("<hhhh", 5, 75, 45, 75))
    e.pen(5, BLACK, width=3).select(5)
    e.rec(85, struct.pack("<4iI", 0, 0, 0, 0, 4) + struct.pack("<8h", 50, 5, 50, 30, 50, 60, 50, 95))
    write("edge-poly16.emf", e.data())


def edge_mapmode(name, mode, rect, window=None, viewport=None):
    """One mapping mode: the rectangle, in that mode's logical units, must
    cover device pixels 20..60 in both axes (red on white)."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.rec(17, struct.pack("<I", mode))
    if window:
        e.rec(9, struct.pack("<ii", *window))
    if viewport:
        e.rec(11, struct.pack("<ii", *viewport))
    e.fill(RED, *rect, ih=2)
    write(name, e.data())


def edge_mapmodes():
    # The reference device: 960 px over 254 mm.
    px_per_mm = 960 / 254
    def mm(px):
        return px / px_per_mm
    lo = lambda v: round(mm(v) * 10)      # 0.1 mm
    hi = lambda v: round(mm(v) * 100)     # 0.01 mm
    loe = lambda v: round(mm(v) / 25.4 * 100)
    hie = lambda v: round(mm(v) / 25.4 * 1000)
    tw = lambda v: round(mm(v) / 25.4 * 1440)
    edge_mapmode("edge-map-lometric.emf", 2, (lo(20), -lo(20), lo(60), -lo(60)))
    edge_mapmode("edge-map-himetric.emf", 3, (hi(20), -hi(20), hi(60), -hi(60)))
    edge_mapmode("edge-map-loenglish.emf", 4, (loe(20), -loe(20), loe(60), -loe(60)))
    edge_mapmode("edge-map-hienglish.emf", 5, (hie(20), -hie(20), hie(60), -hie(60)))
    edge_mapmode("edge-map-twips.emf", 6, (tw(20), -tw(20), tw(60), -tw(60)))
    # Anisotropic: window 1000 x 500 onto viewport 100 x 100 (x / 10, y / 5).
    edge_mapmode("edge-map-anisotropic.emf", 8, (200, 100, 600, 300), window=(1000, 500), viewport=(100, 100))
    # Isotropic: window 200 x 100 onto viewport 100 x 100: the smaller
    # scale (0.5) holds for both axes.
    edge_mapmode("edge-map-isotropic.emf", 7, (40, 40, 120, 120), window=(200, 100), viewport=(100, 100))


def xform(m11, m12, m21, m22, dx, dy):
    return struct.pack("<6f", m11, m12, m21, m22, dx, dy)


def edge_world():
    """World transforms. On white:
    - SET scale 2 then a red 10 x 10 square at (5,5): covers 10..30;
    - MODIFY right-multiply by a translation (+50, 0): the next red-free
      green square at (5,5) lands at 60..80, top;
    - SAVEDC, MODIFY identity, blue square 10..30 at y 60..80, RESTOREDC;
    - after the restore the scaled, translated transform is back: a yellow
      square at (5, 30) lands at x 60..80, y 70..90 ... drawn after a
      left-multiply by a translation (0, +5) in logical units (x2 = +10)."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.rec(35, xform(2, 0, 0, 2, 0, 0))
    e.fill(RED, 5, 5, 15, 15, ih=2)
    e.rec(36, xform(1, 0, 0, 1, 50, 0) + struct.pack("<I", 3))   # right multiply: translate after scaling
    e.fill(GREEN, 5, 5, 15, 15, ih=3)
    e.rec(33)  # SAVEDC
    e.rec(36, xform(1, 0, 0, 1, 0, 0) + struct.pack("<I", 1))    # identity
    e.fill(BLUE, 10, 60, 30, 80, ih=4)
    e.rec(34, struct.pack("<i", -1))  # RESTOREDC relative
    e.rec(36, xform(1, 0, 0, 1, 0, 5) + struct.pack("<I", 2))    # left multiply: translate before scaling
    e.fill(YELLOW, 5, 30, 15, 40, ih=5)
    write("edge-world.emf", e.data())


def edge_clip():
    """Clipping. White background; then:
    - SAVEDC (level 1); INTERSECTCLIPRECT 0..50 x 0..50; EXCLUDECLIPRECT
      20..30 x 20..30; red over everything: red in the top-left quarter but
      for a white hole at 20..30;
    - RESTOREDC 1 (absolute): no clip; EXTSELECTCLIPRGN (RGN_COPY) with a
      region of two rectangles 60..90 x 10..20 and 60..90 x 30..40; green
      over everything: two green bands;
    - EXTSELECTCLIPRGN with no region: no clip; OFFSETCLIPRGN does nothing
      then; a path clip: BEGINPATH, ellipse 10..40 x 60..90, ENDPATH,
      SELECTCLIPPATH (RGN_COPY), blue over everything: a blue disc."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.rec(33)
    e.rec(30, struct.pack("<4i", 0, 0, 50, 50))
    e.rec(29, struct.pack("<4i", 20, 20, 30, 30))
    e.fill(RED, 0, 0, 100, 100, ih=2)
    e.rec(34, struct.pack("<i", 1))
    rects = [(60, 10, 90, 20), (60, 30, 90, 40)]
    rgn = struct.pack("<IIII4i", 32, 1, len(rects), 16 * len(rects), 60, 10, 90, 40) + \
        b"".join(struct.pack("<4i", *r) for r in rects)
    e.rec(75, struct.pack("<II", len(rgn), 5) + rgn)
    e.fill(GREEN, 0, 0, 100, 100, ih=3)
    e.rec(75, struct.pack("<II", 0, 5))
    e.rec(26, struct.pack("<ii", 5, 5))
    e.rec(59)
    e.rec(42, struct.pack("<4i", 10, 60, 40, 90))
    e.rec(60)
    e.rec(67, struct.pack("<I", 5))
    e.fill(BLUE, 0, 0, 100, 100, ih=4)
    write("edge-clip.emf", e.data())


def edge_paths():
    """Paths and arcs. White; a red filled path (MOVETO, LINETO x3,
    CLOSEFIGURE) 10..40 square; a green STROKEANDFILLPATH of a PIE (full
    quarter at the top right of box 50..90) ; a blue ANGLEARC ... kept
    simple: a blue CHORD of box 10..40 x 60..90 from the left to the right
    point (the lower half with the counter-clockwise default), and a black
    thick ARC at the top of box 55..95 x 55..95 drawn clockwise after
    SETARCDIRECTION."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.brush(2, RED).select(2).select(0x80000008)
    e.rec(59)
    e.rec(27, struct.pack("<ii", 10, 10))
    for p in [(40, 10), (40, 40), (10, 40)]:
        e.rec(54, struct.pack("<ii", *p))
    e.rec(61)
    e.rec(60)
    e.rec(62, struct.pack("<4i", 0, 0, 0, 0))
    e.brush(3, GREEN).select(3)
    # PIE of box 50..90 x 10..50 from the right (90,30) to the top (70,10): counter-clockwise quarter.
    e.rec(47, struct.pack("<8i", 50, 10, 90, 50, 90, 30, 70, 10))
    e.brush(4, BLUE).select(4)
    # CHORD of box 10..40 x 60..90 from left (10,75) to right (40,75): counter-clockwise = lower half.
    e.rec(46, struct.pack("<8i", 10, 60, 40, 90, 10, 75, 40, 75))
    e.pen(5, BLACK, width=4).select(5)
    e.rec(57, struct.pack("<I", 2))  # clockwise
    # ARC of box 55..95 x 55..95 from left (55,75) to right (95,75) clockwise: the upper half.
    e.rec(45, struct.pack("<8i", 55, 55, 95, 95, 55, 75, 95, 75))
    write("edge-paths.emf", e.data())


def edge_text():
    """EXTTEXTOUTW of "HH" at (12, 12) with an opaque yellow rectangle
    10..90 x 10..40 and wide spacing (dx 40 each); a TA_CENTER |
    TA_BASELINE "I" at (85, 95), black on an opaque white background; an
    ANSI text (EXTTEXTOUTA) of the Shift JIS bytes of a Japanese word at
    (5, 45)."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    face = "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<5i8B", -24, 0, 0, 0, 700, 0, 0, 0, 1, 0, 0, 0, 0) + face
    e.rec(82, struct.pack("<I", 2) + logfont)
    e.select(2)
    e.rec(24, struct.pack("<I", BLACK))
    e.rec(25, struct.pack("<I", YELLOW))
    text = "HH".encode("utf-16-le")
    # EMRTEXT at 36: ref, nChars, offString, options, rcl, offDx; string then dx.
    off_string = 8 + 28 + 40
    off_dx = off_string + 4
    emrtext = struct.pack("<iiIII4iI", 12, 12, 2, off_string, 0x2, 10, 10, 90, 40, off_dx)
    e.rec(84, struct.pack("<4iIff", 0, 0, 0, 0, 1, 1, 1) + emrtext + text + struct.pack("<ii", 40, 40))
    e.rec(22, struct.pack("<I", 6 | 24))  # TA_CENTER | TA_BASELINE
    e.rec(25, struct.pack("<I", WHITE))
    one = "I".encode("utf-16-le")
    emrtext = struct.pack("<iiIII4iI", 85, 95, 1, off_string, 0, 0, 0, 0, 0, 0)
    e.rec(84, struct.pack("<4iIff", 0, 0, 0, 0, 1, 1, 1) + emrtext + one)
    e.rec(22, struct.pack("<I", 0))
    sjis = "日本".encode("cp932")
    emrtext = struct.pack("<iiIII4iI", 5, 45, len(sjis), off_string, 0, 0, 0, 0, 0, 0)
    e.rec(83, struct.pack("<4iIff", 0, 0, 0, 0, 1, 1, 1) + emrtext + sjis)
    write("edge-text.emf", e.data())


def edge_brushes():
    """Brushes and blits on white:
    - 5..45 x 5..45: a red cross-hatched brush on a transparent background
      (red lines with white between them);
    - 55..95 x 5..45: a DIB pattern brush, a 2 x 2 green and blue checker
      (only those two colours);
    - 5..45 x 55..95: BITBLT without a source (PATCOPY) with a yellow brush;
    - 55..95 x 55..75: ALPHABLEND of one blue pixel at constant alpha 128;
    - 55..95 x 80..95: a horizontal GRADIENTFILL from red to blue."""
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.rec(18, struct.pack("<I", 1))                                    # SETBKMODE TRANSPARENT
    e.brush(2, RED, style=2, hatch=4).select(2)
    e.rect(5, 5, 45, 45)
    bmi = dib_header(2, 2, 24)
    def bgr(c):
        return bytes([(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF])
    bits = rows_padded([bgr(GREEN) + bgr(BLUE), bgr(BLUE) + bgr(GREEN)])
    e.rec(94, struct.pack("<6I", 3, 0, 32, len(bmi), 32 + len(bmi), len(bits)) + bmi + bits)
    e.select(3)
    e.rect(55, 5, 95, 45)
    e.brush(4, YELLOW).select(4)
    e.rec(76, struct.pack("<4i4iIii6fII4I", 0, 0, 0, 0, 5, 55, 40, 40, 0x00F00021, 0, 0, 1, 0, 0, 1, 0, 0,
                          0, 0, 0, 0, 0, 0))
    bmi = dib_header(1, 1, 32)
    bits = bytes([255, 0, 0, 0])
    blend = struct.pack("<BBBB", 0, 0, 128, 0)
    e.rec(114, struct.pack("<4i4i", 0, 0, 0, 0, 55, 55, 40, 20) + blend +
          struct.pack("<ii6fII4Iii", 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 108, len(bmi), 108 + len(bmi), len(bits), 1, 1)
          + bmi + bits)
    vertices = struct.pack("<ii4H", 55, 80, 0xFF00, 0, 0, 0) + struct.pack("<ii4H", 95, 95, 0, 0, 0xFF00, 0)
    e.rec(118, struct.pack("<4iIII", 0, 0, 0, 0, 2, 1, 0) + vertices + struct.pack("<II", 0, 1))
    write("edge-brushes.emf", e.data())


# ---------------------------------------------------------------- WMF

class Wmf:
    def __init__(self):
        self.records = []
        self.objects = 0

    def rec(self, func, *words, raw=b""):
        payload = struct.pack("<%dh" % len(words), *words) + raw
        if len(payload) % 2:
            payload += b"\0"
        self.records.append(struct.pack("<IH", 3 + len(payload) // 2, func) + payload)
        return self

    def data(self, placeable=None, inch=96):
        recs = self.records + [struct.pack("<IH", 3, 0)]
        body = b"".join(recs)
        size_words = (18 + len(body)) // 2
        header = struct.pack("<HHHIHIH", 1, 9, 0x300, size_words, max(self.objects, 1),
                             max(len(r) // 2 for r in recs), 0)
        if placeable is None:
            return header + body
        l, t, r, b = placeable
        words = struct.unpack("<10H", struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, l, t, r, b, inch, 0))
        checksum = 0
        for w in words:
            checksum ^= w
        return struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, l, t, r, b, inch, 0, checksum) + header + body

    def color(self, c):
        return (c & 0xFFFF) - 0x10000 if (c & 0xFFFF) >= 0x8000 else c & 0xFFFF, (c >> 16) & 0xFFFF

    def brush(self, color):
        lo, hi = self.color(color)
        self.rec(0x02FC, 0, lo, hi, 0)
        self.objects += 1
        return self.objects - 1

    def null_pen(self):
        self.rec(0x02FA, 5, 0, 0, 0, 0)
        self.objects += 1
        return self.objects - 1

    def rect(self, l, t, r, b):
        return self.rec(0x041B, b, r, t, l)


def wmf_scene(w, origin=(0, 0)):
    """White picture with a red square over its top-left quarter of a 1000 x
    1000 logical window (x 0..500, y 0..500) and a green bottom-right one."""
    ox, oy = origin
    pen = w.null_pen()
    w.rec(0x012D, pen)
    b = w.brush(WHITE)
    w.rec(0x012D, b)
    w.rect(ox, oy, ox + 1000, oy + 1000)
    r = w.brush(RED)
    w.rec(0x012D, r)
    w.rec(0x01F0, b)  # delete the white brush: its slot is reused by the next brush
    w.rect(ox, oy, ox + 500, oy + 500)
    w.brush(GREEN)      # lands in the freed slot of the white brush...
    w.rec(0x012D, b)    # ...so selecting that number selects green
    w.rect(ox + 500, oy + 500, ox + 1000, oy + 1000)
    return w


def edge_wmf():
    # Placeable, 1000 units at 1000 per inch = 96 px; window from the box only.
    w = Wmf()
    wmf_scene(w)
    write("edge-placeable.wmf", w.data(placeable=(0, 0, 1000, 1000), inch=1000))
    # No placeable header: the window records give the extent (origin -200).
    w = Wmf()
    w.rec(0x0103, 8)            # MM_ANISOTROPIC
    w.rec(0x020B, -200, -200)   # SETWINDOWORG y, x
    w.rec(0x020C, 1000, 1000)   # SETWINDOWEXT y, x
    wmf_scene(w, origin=(-200, -200))
    write("edge-plain.wmf", w.data())
    # Neither: the extent is what is drawn.
    w = Wmf()
    wmf_scene(w, origin=(300, 300))
    write("edge-nowindow.wmf", w.data())
    # A DIB record: STRETCHDIB of a 2 x 2 8-bit bitmap (quadrants as in
    # edge-dibs) over the whole placeable box.
    w = Wmf()
    pal = palette(RED, GREEN, BLUE, WHITE)
    dib = dib_header(2, 2, 8, colors=4) + pal + rows_padded([bytes([2, 3]), bytes([0, 1])])
    # rop (2 words), usage, srcH, srcW, ySrc, xSrc, destH, destW, yDest, xDest
    w.rec(0x0F43, 0x0020, 0x00CC, 0, 2, 2, 0, 0, 1000, 1000, 0, 0, raw=dib)
    write("edge-stretchdib.wmf", w.data(placeable=(0, 0, 1000, 1000), inch=1000))
    # Regions, a poly-polygon and spaced text in a 100 x 100 placeable WMF:
    # red bands 10..40 x 10..20 and 30..40 (FILLREGION of a two-band region
    # object), blue only inside 60..90 x 60..90 (that region selected as the
    # clip, then a rectangle over everything), two green triangles of one
    # POLYPOLYGON (apexes up, bases 55..75 and 80..100 at y = 40), and
    # EXTTEXTOUT "HH" at (5, 50) with dx 40.
    w = Wmf()
    pen = w.null_pen()
    w.rec(0x012D, pen)
    def region(*rects):
        l = min(r[0] for r in rects); t = min(r[1] for r in rects)
        r_ = max(r[2] for r in rects); b = max(r[3] for r in rects)
        scans = b""
        for (x0, y0, x1, y1) in rects:
            scans += struct.pack("<hhhhhh", 2, y0, y1, x0, x1, 2)
        words = struct.pack("<hhIhhh4h", 0, 6, 0, 22 + len(scans), len(rects), 2, l, t, r_, b) + scans
        w.rec(0x06FF, raw=words)
        w.objects += 1
        return w.objects - 1
    bands = region((10, 10, 40, 20), (10, 30, 40, 40))
    red = w.brush(RED)
    w.rec(0x0228, bands, red)                      # FILLREGION region, brush
    square = region((60, 60, 90, 90))
    green = w.brush(GREEN)
    w.rec(0x012D, green)
    tri = [(55, 40), (75, 40), (65, 20), (80, 40), (100, 40), (90, 20)]
    w.rec(0x0538, 2, 3, 3, *[v for p in tri for v in p])
    font = struct.pack("<5h8B", -20, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0) + b"DejaVu Sans\0"
    w.rec(0x02FB, raw=font)
    w.objects += 1
    w.rec(0x012D, w.objects - 1)
    w.rec(0x0102, 1)                               # transparent background
    w.rec(0x0A32, 50, 5, 2, 0, raw=b"HH" + struct.pack("<hh", 40, 40))
    w.rec(0x012C, square)                          # SELECTCLIPREGION
    blue = w.brush(BLUE)
    w.rec(0x012D, blue)
    w.rect(0, 0, 100, 100)
    write("edge-regions.wmf", w.data(placeable=(0, 0, 100, 100), inch=96))


# ---------------------------------------------------------------- broken files

def broken():
    good = Emf()
    good.fill(GREEN, 0, 0, 100, 100)
    data = good.data()
    write("broken-truncated.emf", data[:-10])                   # the EOF record cut short
    bad = bytearray(data)
    struct.pack_into("<I", bad, 88 + 4, 13)                     # first record's size not a multiple of 4
    write("broken-recordsize.emf", bytes(bad))
    bad = bytearray(data)
    struct.pack_into("<I", bad, 88 + 4, 4)                      # smaller than a record header
    write("broken-tinyrecord.emf", bytes(bad))
    bad = bytearray(data)
    struct.pack_into("<I", bad, 88 + 4, 0x7FFFFFFC)             # far past the end
    write("broken-hugerecord.emf", bytes(bad))
    bad = bytearray(data)
    struct.pack_into("<2i", bad, 72, 0, 0)                      # no reference device
    write("broken-nodevice.emf", bytes(bad))
    bad = bytearray(data)
    struct.pack_into("<I", bad, 4, 40)                          # header record shorter than the header
    write("broken-header.emf", bytes(bad))
    write("broken-notmetafile.emf", b"GIF89a" + b"\0" * 100)

    w = Wmf()
    wmf_scene(w)
    wdata = w.data(placeable=(0, 0, 1000, 1000), inch=1000)
    write("broken-truncated.wmf", wdata[:-17])                  # cut inside the last drawing record
    bad = bytearray(wdata)
    struct.pack_into("<I", bad, 22 + 18, 2)                     # a record of two words
    write("broken-recordsize.wmf", bytes(bad))
    bad = bytearray(wdata)
    struct.pack_into("<H", bad, 22 + 2, 7)                      # header size not nine words
    write("broken-header.wmf", bytes(bad))

    # A sound chain whose records are bad inside: each is skipped, and the
    # green square drawn last must still appear (30..70).
    e = Emf()
    e.fill(WHITE, 0, 0, 100, 100)
    e.rec(37, struct.pack("<I", 9999))                                   # select an object that does not exist
    e.rec(37, struct.pack("<I", 70000))                                  # beyond the table
    e.rec(38, struct.pack("<I", 3))                                      # CREATEPEN too short
    e.rec(3, struct.pack("<4iI", 0, 0, 0, 0, 0x40000000))                # POLYGON claiming a billion points
    e.rec(8, struct.pack("<4iIII", 0, 0, 0, 0, 1, 2, 1000))              # POLYPOLYGON counts beyond its points
    e.rec(84, struct.pack("<4iIff", 0, 0, 0, 0, 1, 1, 1) +
          struct.pack("<iiIII4iI", 0, 0, 0x7FFFFFFF, 0xFFFFFFF0, 0, 0, 0, 0, 0, 0xFFFFFFF0))  # text far outside
    bmi = dib_header(30000, 30000, 8, compression=1, colors=2) + palette(RED, RED)
    stretchdibits(e, 0, 0, 100, 100, bmi, bytes([0, 1]), src=(30000, 30000))  # a 900-megapixel RLE bitmap
    bmi = dib_header(64, 64, 24)
    stretchdibits(e, 0, 0, 100, 100, bmi, b"\0" * 100)                   # bits shorter than the bitmap
    e.rec(81, struct.pack("<4i6i6I2i", 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xFFFFFF00, 40, 0, 0, 0, 0x00CC0020, 10, 10))
    e.rec(75, struct.pack("<II", 48, 1) + struct.pack("<IIII4i", 32, 1, 1000, 16000, 0, 0, 1, 1))  # region count too big
    e.rec(9, struct.pack("<ii", 0, 0))                                   # zero window extent
    e.rec(35, struct.pack("<6f", float("nan"), 0, 0, 1, 0, 0))          # NaN world transform
    e.rec(34, struct.pack("<i", -5))                                     # restore below the bottom
    e.rec(82, struct.pack("<I", 3))                                      # font record too short
    e.rec(95, struct.pack("<I", 4) + b"\0" * 20)                         # EXTCREATEPEN too short
    e.rec(95, struct.pack("<6I6I", 4, 0, 0, 0, 0, 0x10007, 4, 0, 0, 0, 1000, 0))  # user style with 1000 entries
    e.rec(0x7777)                                                        # unknown record type
    e.fill(GREEN, 30, 30, 70, 70, ih=6)
    write("broken-inside.emf", e.data())


if __name__ == "__main__":
    edge_dibs()
    edge_poly16()
    edge_mapmodes()
    edge_world()
    edge_clip()
    edge_paths()
    edge_text()
    edge_brushes()
    edge_wmf()
    broken()
