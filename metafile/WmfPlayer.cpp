#include "WmfPlayer.h"

#include "AnsiText.h"
#include "ByteReader.h"
#include "Dib.h"
#include "Exceptions.h"
#include "GdiPlayer.h"
#include "WmfRecords.h"

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace wmf;

namespace {

QString Refuse(const QString& why)
{
    return QStringLiteral("WMF ファイルを読み込めません: ") + why;
}

using gdi::ColorRef;
using gdi::Hex;

// A record's parameters: 16-bit words after the 6-byte record header.
class Params {
public:
    explicit Params(const ByteReader& r) : m_r(r) {}
    std::uint64_t Words() const { return (m_r.Size() - 6) / 2; }
    bool Has(std::uint64_t words) const { return Words() >= words; }
    std::int16_t I(std::uint64_t i) const { return m_r.I16(6 + 2 * i); }
    std::uint16_t U(std::uint64_t i) const { return m_r.U16(6 + 2 * i); }
    std::uint32_t U32(std::uint64_t i) const { return m_r.U32(6 + 2 * i); }
    QPointF Pt(std::uint64_t yAt) const { return QPointF(I(yAt + 1), I(yAt)); } // stored y first
    // Four words stored bottom, right, top, left.
    QRectF Rect(std::uint64_t at) const { return QRectF(QPointF(I(at + 3), I(at + 2)), QPointF(I(at + 1), I(at))); }
    ByteReader Tail(std::uint64_t word) const
    {
        const std::uint64_t off = 6 + 2 * word;
        return off <= m_r.Size() ? m_r.Sub(off, m_r.Size() - off) : ByteReader();
    }
    const ByteReader& Raw() const { return m_r; }

private:
    const ByteReader& m_r;
};

// Scale numbers of the fixed mapping modes: logical units per inch.
double UnitsPerInch(int mode)
{
    switch (mode) {
    case 2: return 254;    // MM_LOMETRIC
    case 3: return 2540;   // MM_HIMETRIC
    case 4: return 100;    // MM_LOENGLISH
    case 5: return 1000;   // MM_HIENGLISH
    case 6: return 1440;   // MM_TWIPS
    default: return 0;
    }
}

class WmfReplay {
public:
    explicit WmfReplay(GdiPlayer& player) : p(player) {}
    bool Record(std::uint16_t function, const ByteReader& r);

private:
    void Create(GdiObject object) { p.PutObject(p.FreeSlot(), std::move(object)); }
    void CreateRegion(const Params& a);
    void CreateFont(const Params& a);
    void TextOut(const Params& a);
    void ExtTextOut(const Params& a);
    void Polygon(const Params& a, bool closed);
    void PolyPolygon(const Params& a);
    void Bitmap(std::uint16_t function, const Params& a);
    const Region* RegionAt(std::uint16_t index) const;
    const Brush* BrushAt(std::uint16_t index) const;

    GdiPlayer& p;
};

bool WmfReplay::Record(std::uint16_t function, const ByteReader& r)
{
    const Params a(r);
    switch (function) {
    case META_EOF: return false;
    case META_SETBKCOLOR: if (a.Has(2)) p.SetBkColor(ColorRef(a.U32(0))); break;
    case META_SETTEXTCOLOR: if (a.Has(2)) p.SetTextColor(ColorRef(a.U32(0))); break;
    case META_SETBKMODE: if (a.Has(1)) p.SetBkMode(a.U(0)); break;
    case META_SETMAPMODE: if (a.Has(1)) p.SetMapMode(a.U(0)); break;
    case META_SETROP2: if (a.Has(1)) p.SetRop2(a.U(0)); break;
    case META_SETPOLYFILLMODE: if (a.Has(1)) p.SetPolyFillMode(a.U(0)); break;
    case META_SETSTRETCHBLTMODE: if (a.Has(1)) p.SetStretchMode(a.U(0)); break;
    case META_SETTEXTCHAREXTRA: if (a.Has(1)) p.SetTextCharExtra(a.I(0)); break;
    case META_SETTEXTALIGN: if (a.Has(1)) p.SetTextAlign(a.U(0)); break;
    case META_SETWINDOWORG: if (a.Has(2)) p.SetWindowOrg(a.Pt(0)); break;
    case META_SETWINDOWEXT: if (a.Has(2)) p.SetWindowExt(a.Pt(0)); break;
    case META_SETVIEWPORTORG: if (a.Has(2)) p.SetViewportOrg(a.Pt(0)); break;
    case META_SETVIEWPORTEXT: if (a.Has(2)) p.SetViewportExt(a.Pt(0)); break;
    case META_OFFSETWINDOWORG: if (a.Has(2)) p.OffsetWindowOrg(a.Pt(0)); break;
    case META_OFFSETVIEWPORTORG: if (a.Has(2)) p.OffsetViewportOrg(a.Pt(0)); break;
    case META_SCALEWINDOWEXT:
        if (a.Has(4))
            p.ScaleWindowExt(a.I(3), a.I(2), a.I(1), a.I(0));
        break;
    case META_SCALEVIEWPORTEXT:
        if (a.Has(4))
            p.ScaleViewportExt(a.I(3), a.I(2), a.I(1), a.I(0));
        break;
    case META_LINETO: if (a.Has(2)) p.LineTo(a.Pt(0)); break;
    case META_MOVETO: if (a.Has(2)) p.MoveTo(a.Pt(0)); break;
    case META_EXCLUDECLIPRECT: if (a.Has(4)) p.ExcludeClipRect(a.Rect(0)); break;
    case META_INTERSECTCLIPRECT: if (a.Has(4)) p.IntersectClipRect(a.Rect(0)); break;
    case META_OFFSETCLIPRGN: if (a.Has(2)) p.OffsetClipRegion(a.Pt(0)); break;
    case META_ARC: case META_PIE: case META_CHORD:
        if (a.Has(8)) {
            const auto kind = function == META_ARC ? GdiPlayer::ArcKind::Arc
                              : function == META_PIE ? GdiPlayer::ArcKind::Pie
                                                     : GdiPlayer::ArcKind::Chord;
            p.Arc(a.Rect(4), a.Pt(2), a.Pt(0), kind);
        }
        break;
    case META_ELLIPSE: if (a.Has(4)) p.Ellipse(a.Rect(0)); break;
    case META_RECTANGLE: if (a.Has(4)) p.Rectangle(a.Rect(0)); break;
    case META_ROUNDRECT: if (a.Has(6)) p.RoundRect(a.Rect(2), a.I(1), a.I(0)); break;
    case META_PATBLT:
        if (a.Has(6))
            p.PatBlt(QRectF(a.I(5), a.I(4), a.I(3), a.I(2)), a.U32(0));
        break;
    case META_SAVEDC: p.SaveDC(); break;
    case META_RESTOREDC: if (a.Has(1)) p.RestoreDC(a.I(0)); break;
    case META_SETPIXEL: if (a.Has(4)) p.SetPixel(a.Pt(2), ColorRef(a.U32(0))); break;
    case META_TEXTOUT: TextOut(a); break;
    case META_EXTTEXTOUT: ExtTextOut(a); break;
    case META_POLYGON: Polygon(a, true); break;
    case META_POLYLINE: Polygon(a, false); break;
    case META_POLYPOLYGON: PolyPolygon(a); break;
    case META_SELECTOBJECT: if (a.Has(1)) p.SelectObject(a.U(0)); break;
    case META_DELETEOBJECT: if (a.Has(1)) p.DeleteObject(a.U(0)); break;
    case META_SELECTCLIPREGION:
        if (a.Has(1)) {
            if (const Region* rg = RegionAt(a.U(0))) {
                const QPainterPath dev = p.LogicalToDevice().map(rg->path);
                p.SelectClipRegion(&dev, gdi::RGN_COPY);
            } else {
                p.SelectClipRegion(nullptr, gdi::RGN_COPY);
            }
        }
        break;
    case META_FILLREGION:
        if (a.Has(2)) {
            const Region* rg = RegionAt(a.U(0));
            const Brush* b = BrushAt(a.U(1));
            if (rg && b)
                p.FillRegion(p.LogicalToDevice().map(rg->path), *b);
        }
        break;
    case META_PAINTREGION:
        if (a.Has(1))
            if (const Region* rg = RegionAt(a.U(0)))
                p.FillRegion(p.LogicalToDevice().map(rg->path), p.CurrentBrush());
        break;
    case META_FRAMEREGION:
        if (a.Has(4)) {
            const Region* rg = RegionAt(a.U(0));
            const Brush* b = BrushAt(a.U(1));
            if (rg && b)
                p.FrameRegion(p.LogicalToDevice().map(rg->path), *b, a.I(3), a.I(2));
        }
        break;
    case META_CREATEPENINDIRECT:
        if (a.Has(5)) {
            Pen pen;
            pen.style = a.U(0);
            pen.width = std::abs(a.I(1));
            pen.cosmetic = pen.width == 0;
            // A cosmetic pen (one that names no end cap or join, as only
            // geometric pens have) dashed or dotted and wider than one unit
            // draws solid.
            const std::uint32_t style = pen.style & gdi::PS_STYLE_MASK;
            const bool cosmetic = (pen.style & (gdi::PS_ENDCAP_MASK | gdi::PS_JOIN_MASK)) == 0;
            if (cosmetic && pen.width > 1 && style >= gdi::PS_DASH && style <= gdi::PS_DASHDOTDOT)
                pen.style &= ~std::uint32_t(gdi::PS_STYLE_MASK);
            pen.color = ColorRef(a.U32(3));
            Create(pen);
        } else {
            Create(Placeholder{}); // the slot is taken all the same, or later numbers would shift
        }
        break;
    case META_CREATEBRUSHINDIRECT:
        if (a.Has(4)) {
            Brush b;
            b.style = a.U(0);
            b.color = ColorRef(a.U32(1));
            b.hatch = a.U(3);
            if (b.style != gdi::BS_SOLID && b.style != gdi::BS_NULL && b.style != gdi::BS_HATCHED)
                b.style = gdi::BS_SOLID;
            Create(b);
        } else {
            Create(Placeholder{});
        }
        break;
    case META_DIBCREATEPATTERNBRUSH: {
        Brush b;
        b.style = gdi::BS_DIBPATTERNPT;
        if (a.Has(2)) {
            DibOptions opt;
            opt.colors = a.U(1) == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
            opt.maxPixels = std::min<std::uint64_t>(p.MaxImagePixels(), 1 << 20);
            const Dib dib = DecodePackedDib(a.Tail(2), opt);
            if (!dib.image.isNull() && p.ChargePixels(std::int64_t(dib.width) * dib.height))
                b.pattern = dib.image;
        }
        if (b.pattern.isNull())
            b.style = gdi::BS_SOLID, b.color = Qt::black;
        Create(b);
        break;
    }
    case META_CREATEFONTINDIRECT: CreateFont(a); break;
    case META_CREATEREGION: CreateRegion(a); break;
    case META_CREATEPALETTE: case META_CREATEPATTERNBRUSH: Create(Placeholder{}); break;
    case META_DIBBITBLT: case META_DIBSTRETCHBLT: case META_STRETCHDIB: case META_SETDIBTODEV:
    case META_BITBLT: case META_STRETCHBLT:
        Bitmap(function, a);
        break;
    default: break; // palettes, escapes, flood fills, layout: nothing to draw
    }
    return true;
}

const Region* WmfReplay::RegionAt(std::uint16_t index) const
{
    const GdiObject* o = p.Object(index);
    return o ? std::get_if<Region>(o) : nullptr;
}

const Brush* WmfReplay::BrushAt(std::uint16_t index) const
{
    const GdiObject* o = p.Object(index);
    return o ? std::get_if<Brush>(o) : nullptr;
}

void WmfReplay::CreateRegion(const Params& a)
{
    // nextInChain, objectType, objectCount (2 words), regionSize,
    // scanCount, maxScan, bounding box (4 words), then the scans: count,
    // top, bottom, count/2 pairs of left and right, count again.
    Region region;
    region.path.setFillRule(Qt::WindingFill);
    if (a.Has(11)) {
        const std::uint64_t scans = std::uint16_t(a.I(5));
        std::uint64_t at = 11;
        for (std::uint64_t s = 0; s < scans && a.Has(at + 3); ++s) {
            const std::uint64_t count = a.U(at);
            const double top = a.I(at + 1), bottom = a.I(at + 2);
            if (!a.Has(at + 3 + count + 1) || !p.ChargePoints(std::int64_t(count) + 1))
                break;
            for (std::uint64_t k = 0; k + 1 < count; k += 2) {
                const double left = a.I(at + 3 + k), right = a.I(at + 4 + k);
                if (right > left && bottom > top)
                    region.path.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
            }
            at += 3 + count + 1;
        }
        if (region.path.isEmpty() && scans == 0) {
            // A region without scans is its bounding box.
            const QRectF box(QPointF(a.I(7), a.I(8)), QPointF(a.I(9), a.I(10)));
            if (box.width() > 0 && box.height() > 0)
                region.path.addRect(box);
        }
    }
    Create(region);
}

void WmfReplay::CreateFont(const Params& a)
{
    if (!a.Has(9)) {
        Create(Placeholder{});
        return;
    }
    const ByteReader& r = a.Raw();
    Font f;
    f.height = a.I(0);
    f.width = std::abs(a.I(1));
    f.escapement = a.I(2);
    f.weight = a.I(4);
    f.italic = r.U8(16) != 0;
    f.underline = r.U8(17) != 0;
    f.strikeOut = r.U8(18) != 0;
    f.charset = r.U8(19);
    f.pitchAndFamily = r.U8(23);
    std::uint64_t len = 0;
    while (len < 32 && r.Has(24 + len, 1) && r.U8(24 + len) != 0)
        ++len;
    if (len > 0)
        f.face = DecodeAnsi(r.Data() + 24, len, f.charset);
    Create(f);
}

void WmfReplay::TextOut(const Params& a)
{
    if (!a.Has(1))
        return;
    const std::int16_t len = a.I(0);
    if (len <= 0)
        return;
    const std::uint64_t words = (std::uint64_t(len) + 1) / 2;
    if (!a.Has(1 + words + 2) || !p.ChargePoints(len))
        return;
    GdiPlayer::Text t;
    t.text = DecodeAnsi(a.Raw().Data() + 8, std::uint64_t(len), p.CurrentFont().charset, &t.charBytes);
    t.reference = a.Pt(1 + words);
    p.TextOut(t);
}

void WmfReplay::ExtTextOut(const Params& a)
{
    if (!a.Has(4))
        return;
    GdiPlayer::Text t;
    t.reference = a.Pt(0);
    const std::int16_t len = a.I(2);
    t.options = a.U(3);
    std::uint64_t at = 4;
    if (t.options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) {
        if (!a.Has(8))
            return;
        t.rect = QRectF(QPointF(a.I(4), a.I(5)), QPointF(a.I(6), a.I(7)));
        t.hasRect = true;
        at = 8;
    }
    if (len > 0) {
        const std::uint64_t words = (std::uint64_t(len) + 1) / 2;
        if (!a.Has(at + words) || !p.ChargePoints(len))
            return;
        t.text = DecodeAnsi(a.Raw().Data() + 6 + 2 * at, std::uint64_t(len), p.CurrentFont().charset, &t.charBytes);
        at += words;
        if (a.Has(at + std::uint64_t(len))) { // the spacing array is optional
            t.dx.resize(std::size_t(len));
            for (std::int16_t i = 0; i < len; ++i)
                t.dx[std::size_t(i)] = a.I(at + std::uint64_t(i));
        }
    }
    p.TextOut(t);
}

void WmfReplay::Polygon(const Params& a, bool closed)
{
    if (!a.Has(1))
        return;
    const std::int16_t n = a.I(0);
    if (n <= 0 || !a.Has(1 + 2 * std::uint64_t(n)) || !p.ChargePoints(n))
        return;
    QPolygonF pts(n);
    for (std::int16_t i = 0; i < n; ++i)
        pts[i] = QPointF(a.I(1 + 2 * std::uint64_t(i)), a.I(2 + 2 * std::uint64_t(i)));
    if (closed)
        p.Polygon(pts);
    else
        p.Polyline(pts);
}

void WmfReplay::PolyPolygon(const Params& a)
{
    if (!a.Has(1))
        return;
    const std::uint64_t polys = a.U(0);
    if (!a.Has(1 + polys))
        return;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < polys; ++i)
        total += a.U(1 + i);
    if (!a.Has(1 + polys + 2 * total) || !p.ChargePoints(std::int64_t(total)))
        return;
    std::vector<QPolygonF> list;
    std::uint64_t at = 1 + polys;
    for (std::uint64_t i = 0; i < polys; ++i) {
        const std::uint64_t c = a.U(1 + i);
        QPolygonF poly;
        poly.resize(qsizetype(c));
        for (std::uint64_t k = 0; k < c; ++k, at += 2)
            poly[qsizetype(k)] = QPointF(a.I(at), a.I(at + 1));
        list.push_back(std::move(poly));
    }
    p.PolyPolygon(list);
}

void WmfReplay::Bitmap(std::uint16_t function, const Params& a)
{
    // A record exactly as long as its fixed parameters plus one reserved
    // word carries no bitmap: it fills with the brush.
    const std::uint64_t fixedWords = function >> 8;
    const bool noBitmap = a.Words() == fixedWords;
    DibOptions opt;
    opt.maxPixels = p.MaxImagePixels();
    Dib dib;
    QRectF src, dst;
    std::uint32_t rop = gdi::SRCCOPY;
    bool srcFromBottom = false;
    switch (function) {
    case META_BITBLT: case META_DIBBITBLT:
        if (!a.Has(noBitmap ? 9 : 8))
            return;
        rop = a.U32(0);
        if (noBitmap) {
            p.PatBlt(QRectF(a.I(8), a.I(7), a.I(6), a.I(5)), rop);
            return;
        }
        if (function == META_BITBLT)
            return; // device-dependent bitmaps are not drawn
        dst = QRectF(a.I(7), a.I(6), a.I(5), a.I(4));
        src = QRectF(a.I(3), a.I(2), dst.width(), dst.height());
        p.SetImageSteps(dst, src.size(), opt);
        dib = DecodePackedDib(a.Tail(8), opt);
        break;
    case META_STRETCHBLT: case META_DIBSTRETCHBLT:
        if (!a.Has(noBitmap ? 11 : 10))
            return;
        rop = a.U32(0);
        if (noBitmap) {
            p.PatBlt(QRectF(a.I(10), a.I(9), a.I(8), a.I(7)), rop);
            return;
        }
        if (function == META_STRETCHBLT)
            return;
        src = QRectF(a.I(5), a.I(4), a.I(3), a.I(2));
        dst = QRectF(a.I(9), a.I(8), a.I(7), a.I(6));
        p.SetImageSteps(dst, src.size(), opt);
        dib = DecodePackedDib(a.Tail(10), opt);
        break;
    case META_STRETCHDIB:
        if (!a.Has(11))
            return;
        rop = a.U32(0);
        opt.colors = a.U(2) == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
        src = QRectF(a.I(6), a.I(5), a.I(4), a.I(3));
        dst = QRectF(a.I(10), a.I(9), a.I(8), a.I(7));
        p.SetImageSteps(dst, src.size(), opt);
        dib = DecodePackedDib(a.Tail(11), opt);
        srcFromBottom = true;
        break;
    case META_SETDIBTODEV:
        if (!a.Has(9))
            return;
        opt.colors = a.U(0) == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
        opt.scanLines = a.U(1);
        src = QRectF(a.I(4), a.I(3), a.I(6), a.I(5));
        dst = QRectF(a.I(8), a.I(7), a.I(6), a.I(5));
        dib = DecodePackedDib(a.Tail(9), opt);
        srcFromBottom = true;
        break;
    default: return;
    }
    if (dib.image.isNull() || !p.ChargePixels(std::int64_t(dib.image.width()) * dib.image.height()))
        return;
    if (srcFromBottom && dib.bottomUp)
        src.moveTop(dib.height - src.top() - src.height());
    p.DrawImage(dib.image, dib.InImage(src), dst, rop);
}

} // namespace

WmfHeader ReadWmfHeader(const QByteArray& bytes)
{
    const ByteReader f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint64_t(bytes.size()));
    WmfHeader h;
    std::uint64_t at = 0;
    if (f.U32(0) == kPlaceableKey && !f.Overrun()) {
        if (!f.Has(0, kPlaceableSize))
            throw EInvalidGraphic(Refuse(QStringLiteral("配置用ヘッダーが途中で切れています")));
        h.placeable = true;
        const QRectF box(QPointF(f.I16(6), f.I16(8)), QPointF(f.I16(10), f.I16(12)));
        const unsigned inch = f.U16(14);
        // A box without area, or no unit, leaves the extent to the records.
        if (box.width() != 0 && box.height() != 0 && inch > 0) {
            h.window = box;
            h.unitsPerInch = inch;
        }
        at = kPlaceableSize;
    }
    const unsigned type = f.U16(at), headerWords = f.U16(at + 2);
    if (!f.Has(at, kHeaderSize) || (type != 1 && type != 2) || headerWords != kHeaderSize / 2)
        throw EInvalidGraphic(Refuse(h.placeable ? QStringLiteral("配置用ヘッダーの後に WMF のヘッダーがありません")
                                                 : QStringLiteral("WMF のヘッダーがありません")));
    at += kHeaderSize;
    h.recordsAt = at;

    // Walk the chain; the first window origin, extent and fixed mapping
    // mode give the extent of a file without a placeable header.
    bool haveOrg = false, haveExt = false;
    QPointF org, ext;
    int mapMode = 0;
    std::uint32_t index = 0;
    while (at < f.Size()) {
        ++index;
        if (!f.Has(at, 6)) {
            if (f.Size() - at < 6 && std::all_of(bytes.begin() + qsizetype(at), bytes.end(), [](char c) { return c == 0; }))
                break; // zero padding after the last record
            throw EInvalidGraphic(Refuse(QStringLiteral("%1 番目のレコード (位置 %2) が途中で切れています")
                                             .arg(index).arg(Hex(at))));
        }
        const std::uint64_t words = f.U32(at);
        const std::uint16_t function = f.U16(at + 4);
        if (words < 3)
            throw EInvalidGraphic(Refuse(QStringLiteral("%1 番目のレコード (機能 %2、位置 %3) の大きさ %4 語が不正です")
                                             .arg(index).arg(Hex(function)).arg(Hex(at)).arg(words)));
        if (!f.Has(at, words * 2))
            throw EInvalidGraphic(Refuse(
                QStringLiteral("%1 番目のレコード (機能 %2、位置 %3、%4 語) がファイルの終わりを越えています")
                    .arg(index).arg(Hex(function)).arg(Hex(at)).arg(words)));
        if (function == META_SETWINDOWORG && !haveOrg && words >= 5) {
            org = QPointF(f.I16(at + 8), f.I16(at + 6));
            haveOrg = true;
        } else if (function == META_SETWINDOWEXT && !haveExt && words >= 5) {
            ext = QPointF(f.I16(at + 8), f.I16(at + 6));
            haveExt = ext.x() != 0 && ext.y() != 0;
        } else if (function == META_SETMAPMODE && mapMode == 0 && words >= 4) {
            mapMode = f.U16(at + 6);
        }
        at += words * 2;
        if (function == META_EOF)
            break;
    }
    h.end = at;
    if (h.window.isNull() && haveExt) {
        h.window = QRectF(org, QSizeF(ext.x(), ext.y()));
        h.unitsPerInch = UnitsPerInch(mapMode);
    }
    return h;
}

void PlayWmf(const QByteArray& bytes, const WmfHeader& h, GdiPlayer& player)
{
    const ByteReader f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint64_t(bytes.size()));
    WmfReplay replay(player);
    std::uint64_t at = h.recordsAt;
    while (at + 6 <= h.end && !player.Spent()) {
        const std::uint64_t size = std::uint64_t(f.U32(at)) * 2;
        if (size < 6 || !f.Has(at, size))
            break;
        if (!player.ChargePoints(1) || !replay.Record(f.U16(at + 4), f.Sub(at, size)))
            break;
        at += size;
    }
}

} // namespace metafile
