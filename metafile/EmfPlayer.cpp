#include "EmfPlayer.h"

#include "AnsiText.h"
#include "ByteReader.h"
#include "Dib.h"
#include "EmfRecords.h"
#include "Exceptions.h"
#include "GdiPlayer.h"

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace emf;

namespace {

constexpr std::uint32_t kHeaderMin = 88;

QString Refuse(const QString& why)
{
    return QStringLiteral("EMF ファイルを読み込めません: ") + why;
}

using gdi::ColorRef;
using gdi::Hex;

QPointF Pt32(const ByteReader& r, std::uint64_t off) { return QPointF(r.I32(off), r.I32(off + 4)); }
QPointF Pt16(const ByteReader& r, std::uint64_t off) { return QPointF(r.I16(off), r.I16(off + 2)); }
QRectF Rect32(const ByteReader& r, std::uint64_t off)
{
    return QRectF(QPointF(r.I32(off), r.I32(off + 4)), QPointF(r.I32(off + 8), r.I32(off + 12)));
}

// `count` points from `off`, 32- or 16-bit; false when they do not fit the
// record or the budget.
bool ReadPoints(const ByteReader& r, std::uint64_t off, std::uint64_t count, bool small, GdiPlayer& player,
                QPolygonF& out)
{
    const unsigned size = small ? 4 : 8;
    std::uint64_t bytes = 0;
    if (!MulWithin(count, size, r.Size(), bytes) || !r.Has(off, bytes) || !player.ChargePoints(std::int64_t(count)))
        return false;
    out.resize(qsizetype(count));
    for (std::uint64_t i = 0; i < count; ++i)
        out[qsizetype(i)] = small ? Pt16(r, off + i * 4) : Pt32(r, off + i * 8);
    return true;
}

// Region data (RGNDATA): a header and its rectangles, in device units.
bool ReadRegion(const ByteReader& r, GdiPlayer& player, QPainterPath& out)
{
    const std::uint32_t headerSize = r.U32(0);
    const std::uint32_t count = r.U32(8);
    if (r.Overrun() || headerSize < 32 || !r.Has(0, headerSize))
        return false;
    std::uint64_t bytes = 0;
    if (!MulWithin(count, 16, r.Size(), bytes) || !r.Has(headerSize, bytes) || !player.ChargePoints(count))
        return false;
    out = QPainterPath();
    out.setFillRule(Qt::WindingFill);
    for (std::uint32_t i = 0; i < count; ++i) {
        const QRectF rect = Rect32(r, headerSize + std::uint64_t(i) * 16).normalized();
        if (rect.width() > 0 && rect.height() > 0)
            out.addRect(rect);
    }
    return true;
}

QTransform XForm(const ByteReader& r, std::uint64_t off)
{
    return QTransform(r.F32(off), r.F32(off + 4), r.F32(off + 8), r.F32(off + 12), r.F32(off + 16), r.F32(off + 20));
}

class EmfReplay {
public:
    EmfReplay(GdiPlayer& player) : p(player) {}
    // false: the EOF record was reached.
    bool Record(std::uint32_t type, const ByteReader& r);

private:
    void Poly(std::uint32_t type, const ByteReader& r, bool small);
    void PolyPoly(std::uint32_t type, const ByteReader& r, bool small);
    void PolyDraw(const ByteReader& r, bool small);
    void CreatePen(const ByteReader& r);
    void ExtCreatePen(const ByteReader& r);
    void CreateBrush(const ByteReader& r);
    void CreateDibBrush(const ByteReader& r);
    void CreateFont(const ByteReader& r);
    void Select(const ByteReader& r);
    void ExtTextOut(const ByteReader& r, std::uint64_t emrText, bool wide);
    void SmallTextOut(const ByteReader& r);
    void Blt(std::uint32_t type, const ByteReader& r);
    void StretchDiBits(const ByteReader& r, bool setToDevice);
    void Gradient(const ByteReader& r);
    void Region(std::uint32_t type, const ByteReader& r);
    const Brush* BrushAt(std::uint32_t index);

    GdiPlayer& p;
    Brush m_stockBrush;
};

bool EmfReplay::Record(std::uint32_t type, const ByteReader& r)
{
    const std::uint64_t n = r.Size();
    auto need = [&](std::uint64_t size) { return n >= size; };
    switch (type) {
    case EMR_EOF: return false;
    case EMR_HEADER: break;
    case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
        Poly(type, r, false);
        break;
    case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16: case EMR_POLYLINETO16:
        Poly(type, r, true);
        break;
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: PolyPoly(type, r, false); break;
    case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16: PolyPoly(type, r, true); break;
    case EMR_POLYDRAW: PolyDraw(r, false); break;
    case EMR_POLYDRAW16: PolyDraw(r, true); break;
    case EMR_SETWINDOWEXTEX: if (need(16)) p.SetWindowExt(Pt32(r, 8)); break;
    case EMR_SETWINDOWORGEX: if (need(16)) p.SetWindowOrg(Pt32(r, 8)); break;
    case EMR_SETVIEWPORTEXTEX: if (need(16)) p.SetViewportExt(Pt32(r, 8)); break;
    case EMR_SETVIEWPORTORGEX: if (need(16)) p.SetViewportOrg(Pt32(r, 8)); break;
    case EMR_SETPIXELV: if (need(20)) p.SetPixel(Pt32(r, 8), ColorRef(r.U32(16))); break;
    case EMR_SETMAPMODE: if (need(12)) p.SetMapMode(int(r.U32(8))); break;
    case EMR_SETBKMODE: if (need(12)) p.SetBkMode(int(r.U32(8))); break;
    case EMR_SETPOLYFILLMODE: if (need(12)) p.SetPolyFillMode(int(r.U32(8))); break;
    case EMR_SETROP2: if (need(12)) p.SetRop2(int(r.U32(8))); break;
    case EMR_SETSTRETCHBLTMODE: if (need(12)) p.SetStretchMode(int(r.U32(8))); break;
    case EMR_SETTEXTALIGN: if (need(12)) p.SetTextAlign(r.U32(8)); break;
    case EMR_SETTEXTCOLOR: if (need(12)) p.SetTextColor(ColorRef(r.U32(8))); break;
    case EMR_SETBKCOLOR: if (need(12)) p.SetBkColor(ColorRef(r.U32(8))); break;
    case EMR_OFFSETCLIPRGN: if (need(16)) p.OffsetClipRegion(Pt32(r, 8)); break;
    case EMR_MOVETOEX: if (need(16)) p.MoveTo(Pt32(r, 8)); break;
    case EMR_EXCLUDECLIPRECT: if (need(24)) p.ExcludeClipRect(Rect32(r, 8)); break;
    case EMR_INTERSECTCLIPRECT: if (need(24)) p.IntersectClipRect(Rect32(r, 8)); break;
    case EMR_SCALEVIEWPORTEXTEX:
        if (need(24))
            p.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case EMR_SCALEWINDOWEXTEX:
        if (need(24))
            p.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case EMR_SAVEDC: p.SaveDC(); break;
    case EMR_RESTOREDC: if (need(12)) p.RestoreDC(r.I32(8)); break;
    case EMR_SETWORLDTRANSFORM: if (need(32)) p.SetWorldTransform(XForm(r, 8)); break;
    case EMR_MODIFYWORLDTRANSFORM: if (need(36)) p.ModifyWorldTransform(XForm(r, 8), int(r.U32(32))); break;
    case EMR_SELECTOBJECT: Select(r); break;
    case EMR_CREATEPEN: CreatePen(r); break;
    case EMR_EXTCREATEPEN: ExtCreatePen(r); break;
    case EMR_CREATEBRUSHINDIRECT: CreateBrush(r); break;
    case EMR_CREATEDIBPATTERNBRUSHPT: case EMR_CREATEMONOBRUSH: CreateDibBrush(r); break;
    case EMR_EXTCREATEFONTINDIRECTW: CreateFont(r); break;
    case EMR_CREATEPALETTE: case EMR_CREATECOLORSPACE: case EMR_CREATECOLORSPACEW:
        if (need(12))
            p.PutObject(r.U32(8), Placeholder{});
        break;
    case EMR_DELETEOBJECT: if (need(12)) p.DeleteObject(r.U32(8)); break;
    case EMR_ANGLEARC:
        if (need(28))
            p.AngleArc(Pt32(r, 8), r.U32(16), r.F32(20), r.F32(24));
        break;
    case EMR_ELLIPSE: if (need(24)) p.Ellipse(Rect32(r, 8)); break;
    case EMR_RECTANGLE: if (need(24)) p.Rectangle(Rect32(r, 8)); break;
    case EMR_ROUNDRECT: if (need(32)) p.RoundRect(Rect32(r, 8), r.I32(24), r.I32(28)); break;
    case EMR_ARC: case EMR_CHORD: case EMR_PIE: case EMR_ARCTO:
        if (need(40)) {
            const auto kind = type == EMR_ARC     ? GdiPlayer::ArcKind::Arc
                              : type == EMR_CHORD ? GdiPlayer::ArcKind::Chord
                              : type == EMR_PIE   ? GdiPlayer::ArcKind::Pie
                                                  : GdiPlayer::ArcKind::ArcTo;
            p.Arc(Rect32(r, 8), Pt32(r, 24), Pt32(r, 32), kind);
        }
        break;
    case EMR_LINETO: if (need(16)) p.LineTo(Pt32(r, 8)); break;
    case EMR_SETARCDIRECTION: if (need(12)) p.SetArcDirection(int(r.U32(8))); break;
    case EMR_SETMITERLIMIT:
        if (need(12)) {
            // An integer by the format; some writers store a float.
            const std::uint32_t v = r.U32(8);
            p.SetMiterLimit(v < 0x10000 ? double(v) : double(r.F32(8)));
        }
        break;
    case EMR_BEGINPATH: p.BeginPath(); break;
    case EMR_ENDPATH: p.EndPath(); break;
    case EMR_CLOSEFIGURE: p.CloseFigure(); break;
    case EMR_FILLPATH: p.FillPath(); break;
    case EMR_STROKEANDFILLPATH: p.StrokeAndFillPath(); break;
    case EMR_STROKEPATH: p.StrokePath(); break;
    case EMR_FLATTENPATH: break; // curves are drawn exactly either way
    case EMR_WIDENPATH: p.WidenPath(); break;
    case EMR_SELECTCLIPPATH: if (need(12)) p.SelectClipPath(int(r.U32(8))); break;
    case EMR_ABORTPATH: p.AbortPath(); break;
    case EMR_FILLRGN: case EMR_FRAMERGN: case EMR_PAINTRGN: case EMR_EXTSELECTCLIPRGN: Region(type, r); break;
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_MASKBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        Blt(type, r);
        break;
    case EMR_SETDIBITSTODEVICE: StretchDiBits(r, true); break;
    case EMR_STRETCHDIBITS: StretchDiBits(r, false); break;
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW: ExtTextOut(r, 36, type == EMR_EXTTEXTOUTW); break;
    case EMR_POLYTEXTOUTA: case EMR_POLYTEXTOUTW:
        if (need(40)) {
            const std::uint32_t count = r.U32(36);
            for (std::uint64_t i = 0; i < count && r.Has(40 + i * 40, 40) && !p.Spent(); ++i)
                ExtTextOut(r, 40 + i * 40, type == EMR_POLYTEXTOUTW);
        }
        break;
    case EMR_SMALLTEXTOUT: SmallTextOut(r); break;
    case EMR_GRADIENTFILL: Gradient(r); break;
    default: break; // comments (EMF+ included), palettes, colour management, escapes: nothing to draw
    }
    return true;
}

void EmfReplay::Poly(std::uint32_t type, const ByteReader& r, bool small)
{
    if (r.Size() < 28)
        return;
    QPolygonF pts;
    if (!ReadPoints(r, 28, r.U32(24), small, p, pts))
        return;
    switch (type) {
    case EMR_POLYBEZIER: case EMR_POLYBEZIER16: p.PolyBezier(pts); break;
    case EMR_POLYGON: case EMR_POLYGON16: p.Polygon(pts); break;
    case EMR_POLYLINE: case EMR_POLYLINE16: p.Polyline(pts); break;
    case EMR_POLYBEZIERTO: case EMR_POLYBEZIERTO16: p.PolyBezierTo(pts); break;
    default: p.PolylineTo(pts); break;
    }
}

void EmfReplay::PolyPoly(std::uint32_t type, const ByteReader& r, bool small)
{
    if (r.Size() < 32)
        return;
    const std::uint32_t polys = r.U32(24), total = r.U32(28);
    std::uint64_t countBytes = 0;
    if (!MulWithin(polys, 4, r.Size(), countBytes) || !r.Has(32, countBytes))
        return;
    QPolygonF pts;
    if (!ReadPoints(r, 32 + countBytes, total, small, p, pts))
        return;
    std::vector<QPolygonF> list;
    list.reserve(polys);
    std::uint64_t at = 0;
    for (std::uint32_t i = 0; i < polys; ++i) {
        const std::uint32_t c = r.U32(32 + std::uint64_t(i) * 4);
        if (c > total - at)
            return; // the counts claim more points than the record has
        list.push_back(pts.mid(qsizetype(at), qsizetype(c)));
        at += c;
    }
    if (type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16)
        p.PolyPolygon(list);
    else
        p.PolyPolyline(list);
}

void EmfReplay::PolyDraw(const ByteReader& r, bool small)
{
    if (r.Size() < 28)
        return;
    const std::uint32_t count = r.U32(24);
    QPolygonF pts;
    if (!ReadPoints(r, 28, count, small, p, pts))
        return;
    const std::uint64_t typesAt = 28 + std::uint64_t(count) * (small ? 4 : 8);
    if (!r.Has(typesAt, count))
        return;
    std::vector<std::uint8_t> types(r.Data() + typesAt, r.Data() + typesAt + count);
    p.PolyDraw(pts, types);
}

void EmfReplay::CreatePen(const ByteReader& r)
{
    if (r.Size() < 28)
        return;
    Pen pen;
    pen.style = r.U32(12) & 0xFFFF;
    pen.width = std::abs(r.I32(16));
    pen.cosmetic = pen.width == 0;
    pen.color = ColorRef(r.U32(24));
    p.PutObject(r.U32(8), pen);
}

void EmfReplay::ExtCreatePen(const ByteReader& r)
{
    if (r.Size() < 52)
        return;
    Pen pen;
    pen.style = r.U32(28);
    pen.width = r.U32(32);
    pen.cosmetic = !(pen.style & gdi::PS_GEOMETRIC);
    pen.color = ColorRef(r.U32(40));
    if (r.U32(36) == gdi::BS_NULL)
        pen.style = (pen.style & ~std::uint32_t(gdi::PS_STYLE_MASK)) | gdi::PS_NULL;
    const std::uint32_t entries = r.U32(48);
    if ((pen.style & gdi::PS_STYLE_MASK) == gdi::PS_USERSTYLE) {
        if (entries > 16 || !r.Has(52, std::uint64_t(entries) * 4))
            return; // the platform allows at most 16 style entries
        for (std::uint32_t i = 0; i < entries; ++i)
            pen.dashes.push_back(r.U32(52 + 4 * i));
        if (pen.dashes.empty())
            pen.style &= ~std::uint32_t(gdi::PS_STYLE_MASK);
    }
    p.PutObject(r.U32(8), pen);
}

void EmfReplay::CreateBrush(const ByteReader& r)
{
    if (r.Size() < 24)
        return;
    Brush b;
    b.style = r.U32(12);
    b.color = ColorRef(r.U32(16));
    b.hatch = r.U32(20);
    if (b.style != gdi::BS_SOLID && b.style != gdi::BS_NULL && b.style != gdi::BS_HATCHED)
        b.style = gdi::BS_SOLID; // a pattern brush without its bitmap
    p.PutObject(r.U32(8), b);
}

void EmfReplay::CreateDibBrush(const ByteReader& r)
{
    if (r.Size() < 32)
        return;
    const std::uint32_t index = r.U32(8);
    Brush b;
    b.style = gdi::BS_DIBPATTERNPT;
    b.color = Qt::black;
    DibOptions opt;
    opt.colors = r.U32(12) == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
    opt.maxPixels = std::min<std::uint64_t>(p.MaxImagePixels(), 1 << 20); // pattern tiles are small
    const ByteReader info = r.Sub(r.U32(16), r.U32(20));
    const ByteReader bits = r.Sub(r.U32(24), r.U32(28));
    if (!r.Overrun()) {
        Dib dib = DecodeDib(info, bits, opt);
        if (!dib.image.isNull() && p.ChargePixels(std::int64_t(dib.image.width()) * dib.image.height()))
            b.pattern = dib.image;
    }
    if (b.pattern.isNull())
        b.style = gdi::BS_SOLID; // keeps the slot filled, as the records after it expect
    p.PutObject(index, b);
}

void EmfReplay::CreateFont(const ByteReader& r)
{
    if (r.Size() < 104)
        return;
    Font f;
    f.height = r.I32(12);
    f.width = std::abs(r.I32(16));
    f.escapement = r.I32(20);
    f.weight = r.I32(28);
    f.italic = r.U8(32) != 0;
    f.underline = r.U8(33) != 0;
    f.strikeOut = r.U8(34) != 0;
    f.charset = r.U8(35);
    f.pitchAndFamily = r.U8(39);
    for (int i = 0; i < 32; ++i) {
        const char16_t c = r.U16(40 + 2 * std::uint64_t(i));
        if (c == 0)
            break;
        f.face.append(QChar(c));
    }
    p.PutObject(r.U32(8), f);
}

void EmfReplay::Select(const ByteReader& r)
{
    if (r.Size() < 12)
        return;
    const std::uint32_t index = r.U32(8);
    if (index & kStockObject)
        p.SelectStock(index & ~kStockObject);
    else
        p.SelectObject(index); // an empty or unknown slot changes nothing
}

void EmfReplay::ExtTextOut(const ByteReader& r, std::uint64_t t, bool wide)
{
    // EMRTEXT: reference point, character count, string offset, options,
    // rectangle, spacing offset; offsets count from the record's start.
    if (!r.Has(t, 40))
        return;
    GdiPlayer::Text text;
    text.reference = Pt32(r, t);
    const std::uint32_t chars = r.U32(t + 8);
    const std::uint32_t offString = r.U32(t + 12);
    text.options = r.U32(t + 16);
    text.rect = Rect32(r, t + 20);
    text.hasRect = (text.options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) != 0 && !(text.options & gdi::ETO_NO_RECT);
    const std::uint32_t offDx = r.U32(t + 36);
    const std::uint64_t stringBytes = std::uint64_t(chars) * (wide ? 2 : 1);
    if (!r.Has(offString, stringBytes) || !p.ChargePoints(chars))
        return;
    const std::uint8_t* s = r.Data() + offString;
    if (wide) {
        text.text.resize(qsizetype(chars));
        for (std::uint32_t i = 0; i < chars; ++i)
            text.text[qsizetype(i)] = QChar(char16_t(s[2 * i] | (s[2 * i + 1] << 8)));
    } else {
        text.text = DecodeAnsi(s, chars, p.CurrentFont().charset, &text.charBytes);
    }
    const bool pdy = (text.options & gdi::ETO_PDY) != 0;
    const std::uint64_t dxBytes = std::uint64_t(chars) * (pdy ? 8 : 4);
    if (offDx != 0 && chars > 0 && r.Has(offDx, dxBytes)) {
        text.dx.resize(chars);
        if (pdy)
            text.dy.resize(chars);
        for (std::uint32_t i = 0; i < chars; ++i) {
            text.dx[i] = r.I32(offDx + std::uint64_t(i) * (pdy ? 8 : 4));
            if (pdy)
                text.dy[i] = r.I32(offDx + std::uint64_t(i) * 8 + 4);
        }
    }
    p.TextOut(text);
}

void EmfReplay::SmallTextOut(const ByteReader& r)
{
    if (r.Size() < 36)
        return;
    GdiPlayer::Text text;
    text.reference = Pt32(r, 8);
    const std::uint32_t chars = r.U32(16);
    text.options = r.U32(20);
    std::uint64_t at = 36;
    if (!(text.options & gdi::ETO_NO_RECT)) {
        if (!r.Has(at, 16))
            return;
        text.rect = Rect32(r, at);
        text.hasRect = (text.options & (gdi::ETO_OPAQUE | gdi::ETO_CLIPPED)) != 0;
        at += 16;
    }
    const bool small = (text.options & gdi::ETO_SMALL_CHARS) != 0;
    if (!r.Has(at, std::uint64_t(chars) * (small ? 1 : 2)) || !p.ChargePoints(chars))
        return;
    for (std::uint32_t i = 0; i < chars; ++i)
        text.text.append(QChar(char16_t(small ? r.U8(at + i) : r.U16(at + 2 * std::uint64_t(i)))));
    p.TextOut(text);
}

void EmfReplay::Blt(std::uint32_t type, const ByteReader& r)
{
    if (r.Size() < 100)
        return;
    const bool stretch = type != EMR_BITBLT && type != EMR_MASKBLT;
    if (stretch && r.Size() < 108)
        return;
    const QRectF dst(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint32_t rop = r.U32(40);
    const double xSrc = r.I32(44), ySrc = r.I32(48);
    const std::uint32_t usage = r.U32(80), offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92),
                        cbBits = r.U32(96);
    if (cbBmi == 0 || cbBits == 0) {
        if (type == EMR_BITBLT || type == EMR_STRETCHBLT)
            p.PatBlt(dst, rop); // no source: a pattern or constant fill
        return;
    }
    const ByteReader info = r.Sub(offBmi, cbBmi), bits = r.Sub(offBits, cbBits);
    if (r.Overrun())
        return;
    DibOptions opt;
    opt.colors = usage == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
    opt.maxPixels = p.MaxImagePixels();
    int alpha = 255;
    if (type == EMR_ALPHABLEND) {
        alpha = (rop >> 16) & 0xFF;
        opt.keepAlpha = ((rop >> 24) & 0xFF) == 1; // AC_SRC_ALPHA
    }
    const double cxSrc = stretch ? r.I32(100) : dst.width();
    const double cySrc = stretch ? r.I32(104) : dst.height();
    p.SetImageSteps(dst, QSizeF(cxSrc, cySrc), opt);
    const Dib dib = DecodeDib(info, bits, opt);
    if (dib.image.isNull() || !p.ChargePixels(std::int64_t(dib.image.width()) * dib.image.height()))
        return;
    const QRectF src = dib.InImage(QRectF(xSrc, ySrc, cxSrc, cySrc));
    switch (type) {
    case EMR_ALPHABLEND: p.DrawImage(dib.image, src, dst, gdi::SRCCOPY, alpha); break;
    case EMR_TRANSPARENTBLT: p.DrawImage(dib.image, src, dst, gdi::SRCCOPY, 255, ColorRef(rop).rgb(), true); break;
    case EMR_MASKBLT: p.DrawImage(dib.image, src, dst, gdi::SRCCOPY); break; // the mask is not applied
    default: p.DrawImage(dib.image, src, dst, rop); break;
    }
}

void EmfReplay::StretchDiBits(const ByteReader& r, bool setToDevice)
{
    if (r.Size() < (setToDevice ? 76u : 80u))
        return;
    const double xDest = r.I32(24), yDest = r.I32(28), xSrc = r.I32(32), ySrc = r.I32(36);
    const double cxSrc = r.I32(40), cySrc = r.I32(44);
    const std::uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
    const std::uint32_t usage = r.U32(64);
    const std::uint32_t rop = setToDevice ? gdi::SRCCOPY : r.U32(68);
    const double cxDest = setToDevice ? cxSrc : r.I32(72), cyDest = setToDevice ? cySrc : r.I32(76);
    const QRectF dst(xDest, yDest, cxDest, cyDest);
    if (cbBmi == 0) {
        p.PatBlt(dst, rop);
        return;
    }
    const ByteReader info = r.Sub(offBmi, cbBmi), bits = r.Sub(offBits, cbBits);
    if (r.Overrun())
        return;
    DibOptions opt;
    opt.colors = usage == 1 ? DibColors::PaletteIndexes : DibColors::Rgb;
    opt.maxPixels = p.MaxImagePixels();
    if (setToDevice)
        opt.scanLines = r.U32(72);
    else
        p.SetImageSteps(dst, QSizeF(cxSrc, cySrc), opt); // a partial bitmap keeps its lines' order
    const Dib dib = DecodeDib(info, bits, opt);
    if (dib.image.isNull() || !p.ChargePixels(std::int64_t(dib.image.width()) * dib.image.height()))
        return;
    // The source origin of a bottom-up bitmap is its lower-left corner.
    const double top = dib.bottomUp ? dib.height - ySrc - cySrc : ySrc;
    p.DrawImage(dib.image, dib.InImage(QRectF(xSrc, top, cxSrc, cySrc)), dst, rop);
}

void EmfReplay::Gradient(const ByteReader& r)
{
    if (r.Size() < 36)
        return;
    const std::uint32_t nVer = r.U32(24), nTri = r.U32(28), mode = r.U32(32);
    std::uint64_t verBytes = 0, meshBytes = 0;
    const unsigned meshSize = mode == 2 ? 12 : 8;
    if (!MulWithin(nVer, 16, r.Size(), verBytes) || !MulWithin(nTri, meshSize, r.Size(), meshBytes) ||
        !r.Has(36, verBytes) || !r.Has(36 + verBytes, meshBytes) || !p.ChargePoints(std::int64_t(nVer) + nTri))
        return;
    auto vertex = [&](std::uint32_t i, QPointF& pt, QColor& c) {
        if (i >= nVer)
            return false;
        const std::uint64_t o = 36 + std::uint64_t(i) * 16;
        pt = Pt32(r, o);
        c = QColor(r.U16(o + 8) >> 8, r.U16(o + 10) >> 8, r.U16(o + 12) >> 8);
        return true;
    };
    for (std::uint32_t k = 0; k < nTri && !p.Spent(); ++k) {
        const std::uint64_t o = 36 + verBytes + std::uint64_t(k) * meshSize;
        QPointF a, b, c;
        QColor ca, cb, cc;
        if (mode == 2) {
            if (vertex(r.U32(o), a, ca) && vertex(r.U32(o + 4), b, cb) && vertex(r.U32(o + 8), c, cc))
                p.GradientTriangle(QPolygonF{a, b, c}, ca, cb, cc);
        } else if (mode <= 1) {
            if (vertex(r.U32(o), a, ca) && vertex(r.U32(o + 4), b, cb))
                p.GradientRect(QRectF(a, b), ca, cb, mode == 1);
        }
    }
}

const Brush* EmfReplay::BrushAt(std::uint32_t index)
{
    if (index & kStockObject) {
        const std::uint32_t stock = index & ~kStockObject;
        m_stockBrush = Brush{};
        switch (stock) {
        case 0: m_stockBrush.color = Qt::white; break;
        case 1: m_stockBrush.color = QColor(0xC0, 0xC0, 0xC0); break;
        case 2: m_stockBrush.color = QColor(0x80, 0x80, 0x80); break;
        case 3: m_stockBrush.color = QColor(0x40, 0x40, 0x40); break;
        case 4: m_stockBrush.color = Qt::black; break;
        case 5: m_stockBrush.style = gdi::BS_NULL; break;
        default: return nullptr;
        }
        return &m_stockBrush;
    }
    const GdiObject* o = p.Object(index);
    return o ? std::get_if<Brush>(o) : nullptr;
}

void EmfReplay::Region(std::uint32_t type, const ByteReader& r)
{
    QPainterPath region;
    switch (type) {
    case EMR_EXTSELECTCLIPRGN: {
        if (r.Size() < 16)
            return;
        const std::uint32_t cb = r.U32(8);
        const int mode = int(r.U32(12));
        if (cb == 0) {
            p.SelectClipRegion(nullptr, mode); // RGN_COPY without a region: no clip
            return;
        }
        const ByteReader data = r.Sub(16, cb);
        if (!r.Overrun() && ReadRegion(data, p, region))
            p.SelectClipRegion(&region, mode);
        return;
    }
    case EMR_PAINTRGN: {
        if (r.Size() < 28)
            return;
        const ByteReader data = r.Sub(28, r.U32(24));
        if (!r.Overrun() && ReadRegion(data, p, region))
            p.FillRegion(region, p.CurrentBrush());
        return;
    }
    case EMR_FILLRGN: {
        if (r.Size() < 32)
            return;
        const Brush* brush = BrushAt(r.U32(28));
        const ByteReader data = r.Sub(32, r.U32(24));
        if (brush && !r.Overrun() && ReadRegion(data, p, region))
            p.FillRegion(region, *brush);
        return;
    }
    case EMR_FRAMERGN: {
        if (r.Size() < 40)
            return;
        const Brush* brush = BrushAt(r.U32(28));
        const ByteReader data = r.Sub(40, r.U32(24));
        if (brush && !r.Overrun() && ReadRegion(data, p, region))
            p.FrameRegion(region, *brush, r.I32(32), r.I32(36));
        return;
    }
    default: return;
    }
}

} // namespace

QRectF EmfHeader::FrameInPixels() const
{
    const double kx = devicePixels.width() / deviceMm.width() / 100;
    const double ky = devicePixels.height() / deviceMm.height() / 100;
    return QRectF(QPointF(frame.left() * kx, frame.top() * ky), QPointF(frame.right() * kx, frame.bottom() * ky));
}

EmfHeader ReadEmfHeader(const QByteArray& bytes)
{
    const ByteReader f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint64_t(bytes.size()));
    if (f.Size() < kHeaderMin || f.U32(0) != EMR_HEADER || f.U32(40) != kEmfSignature)
        throw EInvalidGraphic(Refuse(QStringLiteral("EMF の見出しレコードがありません")));
    const std::uint32_t headerSize = f.U32(4);
    if (headerSize < kHeaderMin || headerSize % 4 != 0 || headerSize > f.Size())
        throw EInvalidGraphic(
            Refuse(QStringLiteral("見出しレコードの大きさ %1 バイトが不正です").arg(headerSize)));

    EmfHeader h;
    h.devicePixels = QSizeF(f.I32(72), f.I32(76));
    h.deviceMm = QSizeF(f.I32(80), f.I32(84));
    // The optional micrometre size is the more precise one.
    const std::uint32_t offDescription = f.U32(64);
    if (headerSize >= 108 && (offDescription == 0 || offDescription >= 108) && f.I32(100) > 0 && f.I32(104) > 0)
        h.deviceMm = QSizeF(f.I32(100) / 1000.0, f.I32(104) / 1000.0);
    if (!(h.devicePixels.width() > 0 && h.devicePixels.height() > 0 && h.deviceMm.width() > 0 &&
          h.deviceMm.height() > 0))
        throw EInvalidGraphic(Refuse(QStringLiteral("参照デバイスの大きさ (%1 × %2 ピクセル、%3 × %4 mm) が不正です")
                                         .arg(f.I32(72)).arg(f.I32(76)).arg(f.I32(80)).arg(f.I32(84))));
    h.frame = Rect32(f, 24);
    if (!(h.frame.width() > 0 && h.frame.height() > 0)) {
        // Without a frame the bounds (device pixels) place the picture.
        const QRectF b = Rect32(f, 8);
        const double kx = h.deviceMm.width() * 100 / h.devicePixels.width();
        const double ky = h.deviceMm.height() * 100 / h.devicePixels.height();
        h.frame = QRectF(QPointF(b.left() * kx, b.top() * ky), QPointF((b.right() + 1) * kx, (b.bottom() + 1) * ky));
        if (!(h.frame.width() > 0 && h.frame.height() > 0))
            throw EInvalidGraphic(Refuse(QStringLiteral("画像の枠と範囲がどちらも空です")));
    }

    // The record chain: every record must fit, so the player never has to
    // guess where the next one starts.
    std::uint64_t at = 0;
    std::uint32_t index = 0;
    while (at < f.Size()) {
        ++index;
        if (!f.Has(at, 8))
            throw EInvalidGraphic(Refuse(QStringLiteral("%1 番目のレコード (位置 %2) が途中で切れています")
                                             .arg(index).arg(Hex(at))));
        const std::uint32_t type = f.U32(at), size = f.U32(at + 4);
        if (size < 8 || size % 4 != 0)
            throw EInvalidGraphic(Refuse(QStringLiteral("%1 番目のレコード (種類 %2、位置 %3) の大きさ %4 バイトが不正です")
                                             .arg(index).arg(type).arg(Hex(at)).arg(size)));
        if (!f.Has(at, size))
            throw EInvalidGraphic(Refuse(
                QStringLiteral("%1 番目のレコード (種類 %2、位置 %3、%4 バイト) がファイルの終わりを越えています")
                    .arg(index).arg(type).arg(Hex(at)).arg(size)));
        at += size;
        if (type == EMR_EOF)
            break;
    }
    h.end = at;
    h.recordCount = index;
    return h;
}

void PlayEmf(const QByteArray& bytes, const EmfHeader& h, GdiPlayer& player)
{
    const ByteReader f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint64_t(bytes.size()));
    EmfReplay replay(player);
    std::uint64_t at = 0;
    while (at + 8 <= h.end && !player.Spent()) {
        const std::uint32_t type = f.U32(at), size = f.U32(at + 4);
        if (size < 8 || !f.Has(at, size))
            break; // cannot happen after ReadEmfHeader; kept so the loop stands on its own
        if (!player.ChargePoints(1) || !replay.Record(type, f.Sub(at, size)))
            break;
        at += size;
    }
}

} // namespace metafile
