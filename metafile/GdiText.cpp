#include "GdiPlayerPrivate.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

// ---------------------------------------------------------------- text

QFont GdiPlayer::MakeFont(int pixelSize) const
{
    const Font& f = m_state->font;
    QFont font;
    QStringList families;
    if (!f.face.isEmpty())
        families << f.face;
    switch (f.pitchAndFamily & 0xF0) {
    case 0x10: font.setStyleHint(QFont::Serif); families << QStringLiteral("serif"); break;
    case 0x30: font.setStyleHint(QFont::TypeWriter); families << QStringLiteral("monospace"); break;
    case 0x40: font.setStyleHint(QFont::Cursive); break;
    case 0x50: font.setStyleHint(QFont::Decorative); break;
    default:
        if ((f.pitchAndFamily & 3) == 1) { // FIXED_PITCH
            font.setStyleHint(QFont::TypeWriter);
            families << QStringLiteral("monospace");
        } else {
            font.setStyleHint(QFont::SansSerif);
            families << QStringLiteral("sans-serif");
        }
        break;
    }
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
    font.setItalic(f.italic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void GdiPlayer::TextOut(const Text& t)
{
    State& s = *m_state;
    const QTransform m = LogicalToDevice();
    // A glyph costs far more than a point: it is shaped and rasterised.
    if (!ChargePoints(64 * (std::int64_t(t.text.size()) + 1)))
        return;
    // The opaque rectangle is filled whatever the background mode.
    if (t.hasRect && (t.options & ETO_OPAQUE) && !s.inPath) {
        const Pen pen = std::exchange(s.pen, NullPen());
        const Brush brush = std::exchange(s.brush, Brush{BS_SOLID, s.bkColor, 0, {}});
        const int rop = std::exchange(s.rop2, 13);
        DrawLogical(RectPath(t.rect.normalized()), true, false);
        s.pen = pen, s.brush = brush, s.rop2 = rop;
    }
    if (t.text.isEmpty() || (t.options & ETO_GLYPH_INDEX))
        return; // glyph numbers belong to a font that is not here

    const double det = m.determinant();
    const double scale = Scale(m);
    const double toPainterScale = scale * Scale(m_setup.base);
    if (!(std::abs(det) > 0) || !std::isfinite(det) || !(toPainterScale > 0))
        return;
    const QPointF ref = (s.textAlign & TA_UPDATECP) ? s.cur : t.reference;

    // The character height: a negative font height is the em, a positive
    // one the cell (ascent plus descent), zero the default of 16 pixels.
    double em = std::abs(s.font.height);
    const int probeSize = 256;
    QFont probe = MakeFont(probeSize);
    const QFontMetricsF probeMetrics(probe);
    if (s.font.height > 0 && probeMetrics.height() > 0)
        em = s.font.height * probeSize / probeMetrics.height();
    else if (s.font.height == 0)
        em = 16 / scale;
    const double emFinal = em * toPainterScale;
    if (!std::isfinite(emFinal) || emFinal < 0.3 || emFinal > 65536)
        return;
    // Font sizes come from a ladder of quarter octaves; the transform makes
    // up the difference. Every distinct size costs the font engines a
    // fresh set of glyph caches, so a file cannot ask for thousands.
    const int pixelSize = int(std::clamp(std::round(std::exp2(std::round(std::log2(emFinal) * 4) / 4)), 8.0, 2048.0));
    QFont font = MakeFont(pixelSize);
    const double unit = em / pixelSize; // logical units per font pixel
    const QFontMetricsF fm(font);
    double hScale = 1;
    if (s.font.width > 0 && fm.averageCharWidth() > 0)
        hScale = std::clamp(s.font.width / (fm.averageCharWidth() * unit), 0.05, 20.0);

    // Font space: x along the baseline, y down, in font pixels, origin at
    // the reference point. Glyphs stay upright under a mirroring mapping.
    const QTransform toLogical = QTransform::fromScale(hScale * unit, unit) *
                                 QTransform().rotate(-s.font.escapement / 10.0) *
                                 QTransform::fromScale(1, det < 0 ? -1 : 1) *
                                 QTransform::fromTranslate(ref.x(), ref.y());
    const double xUnit = hScale * unit; // logical units per font pixel along the baseline

    // Advances: from the spacing array when there is one (summed over the
    // bytes of a double-byte character), else the font's own.
    // Control characters, unassigned code points and private-use ones
    // have no glyph in any font: each would send the font machinery
    // through every installed font looking for one. They take their
    // place (and their spacing) as blanks, as the platform shows them.
    QString shown = t.text;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QChar c = shown.at(i);
        if (c.isHighSurrogate() && i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate()) {
            const QChar::Category cat = QChar::category(QChar::surrogateToUcs4(c, shown.at(i + 1)));
            if (cat == QChar::Other_NotAssigned || cat == QChar::Other_PrivateUse)
                shown[i] = shown[i + 1] = QLatin1Char(' ');
            ++i;
            continue;
        }
        const QChar::Category cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Other_NotAssigned || cat == QChar::Other_PrivateUse ||
            cat == QChar::Other_Surrogate)
            shown[i] = QLatin1Char(' ');
    }
    const qsizetype n = shown.size();
    std::vector<double> adv(std::size_t(n), 0.0), dyv(std::size_t(n), 0.0);
    const bool hasDx = !t.dx.empty();
    bool perGlyph = hasDx || s.charExtra != 0;
    std::size_t di = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const int span = t.charBytes.empty() ? 1 : t.charBytes[std::size_t(i)];
        if (hasDx) {
            double a = 0, b = 0;
            for (int k = 0; k < span; ++k, ++di) {
                if (di < t.dx.size())
                    a += t.dx[di];
                if (di < t.dy.size())
                    b += t.dy[di];
            }
            adv[std::size_t(i)] = a / xUnit;
            dyv[std::size_t(i)] = -b / unit;
        } else {
            adv[std::size_t(i)] = fm.horizontalAdvance(shown.at(i)) + s.charExtra / xUnit;
        }
    }
    double width = 0;
    if (perGlyph) {
        for (double a : adv)
            width += a;
    } else {
        width = fm.horizontalAdvance(shown);
    }
    if (!std::isfinite(width))
        return;
    double x0 = 0;
    switch (s.textAlign & TA_CENTER) {
    case TA_CENTER: x0 = -width / 2; break;
    case TA_RIGHT: x0 = -width; break;
    default: break;
    }
    double y0 = fm.ascent();
    switch (s.textAlign & TA_BASELINE) {
    case TA_BASELINE: y0 = 0; break;
    case TA_BOTTOM: y0 = -fm.descent(); break;
    default: break;
    }
    if (s.textAlign & TA_UPDATECP) {
        const double endX = (s.textAlign & TA_CENTER) == TA_RIGHT ? x0 : x0 + width;
        if ((s.textAlign & TA_CENTER) != TA_CENTER)
            s.cur = toLogical.map(QPointF(endX, 0));
    }

    const QRectF cell(x0, y0 - fm.ascent(), width, fm.ascent() + fm.descent());
    const QTransform toPainter = toLogical * m * m_setup.base;
    const QRectF bounds = toPainter.mapRect(cell);
    if (!FiniteRect(bounds) || !FiniteTransform(toPainter))
        return;

    if (s.inPath) {
        QPainterPath glyphs;
        double x = x0, y = y0;
        for (qsizetype i = 0; i < n; ++i) {
            if (perGlyph)
                glyphs.addText(QPointF(x, y), font, shown.mid(i, 1));
            x += adv[std::size_t(i)];
            y += dyv[std::size_t(i)];
        }
        if (!perGlyph)
            glyphs.addText(QPointF(x0, y0), font, shown);
        if (ChargePoints(glyphs.elementCount()))
            s.path.addPath((toLogical * m).map(glyphs));
        return;
    }
    if (!ChargeArea(bounds) || s.rop2 == 11 || !Prepare(bounds))
        return;

    const bool clipped = t.hasRect && (t.options & ETO_CLIPPED);
    if (clipped) {
        m_painter.save();
        m_painter.setTransform(m * m_setup.base);
        m_painter.setClipRect(t.rect.normalized(), Qt::IntersectClip);
    }
    m_painter.setTransform(toPainter);
    if (s.bkMode == OPAQUE)
        m_painter.fillRect(cell, s.bkColor);
    m_painter.setPen(s.textColor);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.setBackgroundMode(Qt::TransparentMode); // the cell was filled above when opaque
    // The glyph cache renders a glyph as one bitmap at its transformed
    // size: a large or strongly distorted transform would make that bitmap
    // enormous, so such text is filled as outlines instead.
    const double a = toPainter.m11(), b = toPainter.m12(), c = toPainter.m21(), d = toPainter.m22();
    const double sumSq = a * a + b * b + c * c + d * d, det2 = (a * d - b * c) * (a * d - b * c);
    const double root = std::sqrt(std::max(0.0, sumSq * sumSq - 4 * det2));
    const double sMax = std::sqrt((sumSq + root) / 2), sMin = std::sqrt(std::max(0.0, (sumSq - root) / 2));
    const bool outlines = !(sMax * pixelSize <= 256) || !(sMax <= 4 * sMin);
    if (outlines) {
        QPainterPath glyphs;
        if (perGlyph) {
            double x = x0, y = y0;
            for (qsizetype i = 0; i < n; ++i) {
                glyphs.addText(QPointF(x, y), font, shown.mid(i, 1));
                x += adv[std::size_t(i)];
                y += dyv[std::size_t(i)];
            }
        } else {
            glyphs.addText(QPointF(x0, y0), font, shown);
        }
        const double lw = std::max(fm.lineWidth(), 1.0);
        if (s.font.underline)
            glyphs.addRect(QRectF(x0, y0 + fm.underlinePos(), width, lw));
        if (s.font.strikeOut)
            glyphs.addRect(QRectF(x0, y0 - fm.strikeOutPos(), width, lw));
        if (ChargePoints(glyphs.elementCount()))
            m_painter.fillPath(glyphs, s.textColor);
    } else if (!perGlyph) {
        font.setUnderline(s.font.underline);
        font.setStrikeOut(s.font.strikeOut);
        m_painter.setFont(font);
        m_painter.drawText(QPointF(x0, y0), shown);
    } else {
        m_painter.setFont(font);
        double x = x0, y = y0;
        for (qsizetype i = 0; i < n; ++i) {
            const QChar c = shown.at(i);
            if (c.isHighSurrogate() && i + 1 < n) {
                m_painter.drawText(QPointF(x, y), shown.mid(i, 2));
                x += adv[std::size_t(i)] + adv[std::size_t(i + 1)];
                y += dyv[std::size_t(i)] + dyv[std::size_t(i + 1)];
                ++i;
                continue;
            }
            if (!c.isSpace())
                m_painter.drawText(QPointF(x, y), QString(c));
            x += adv[std::size_t(i)];
            y += dyv[std::size_t(i)];
        }
        const double lw = std::max(fm.lineWidth(), 1.0);
        if (s.font.underline)
            m_painter.fillRect(QRectF(x0, y0 + fm.underlinePos(), width, lw), s.textColor);
        if (s.font.strikeOut)
            m_painter.fillRect(QRectF(x0, y0 - fm.strikeOutPos(), width, lw), s.textColor);
    }
    if (clipped)
        m_painter.restore();
}

} // namespace metafile
