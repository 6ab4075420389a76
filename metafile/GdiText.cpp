#include "GdiPlayerPrivate.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// A glyph costs far more than a point: measuring it loads it from the font
// (about 8 us for a large CJK font), drawing it rasterises it. In work
// units, per glyph measured and again per glyph drawn.
constexpr std::int64_t kGlyphCost = 256;
// Reading a glyph's outline (text drawn very large, or into a path).
constexpr std::int64_t kOutlineCost = 256;

// Control characters, unassigned code points and private-use ones have no
// glyph in any font: each would send the font machinery through every
// installed font looking for one. They take their place (and their
// spacing) as blanks, as the platform shows them.
QString Showable(const QString& text)
{
    QString shown = text;
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
    return shown;
}

// Whether a transform stretches glyphs so much that the glyph cache's one
// bitmap per glyph would be enormous: such text is filled as outlines.
bool NeedsOutlines(const QTransform& toPainter, int pixelSize)
{
    const double a = toPainter.m11(), b = toPainter.m12(), c = toPainter.m21(), d = toPainter.m22();
    const double sumSq = a * a + b * b + c * c + d * d, det2 = (a * d - b * c) * (a * d - b * c);
    const double root = std::sqrt(std::max(0.0, sumSq * sumSq - 4 * det2));
    const double sMax = std::sqrt((sumSq + root) / 2), sMin = std::sqrt(std::max(0.0, (sumSq - root) / 2));
    return !(sMax * pixelSize <= 256) || !(sMax <= 4 * sMin);
}

} // namespace

// How one text record lies out: the font chosen, the characters shown, each
// one's advance, and where the string starts, in font space (x along the
// baseline, y down, in font pixels, origin at the reference point).
struct GdiPlayer::TextLayout {
    QFont font;
    QString shown;
    std::vector<double> adv, dy;
    bool perGlyph = false;
    double width = 0, x0 = 0, y0 = 0, ascent = 0, descent = 0, lineWidth = 1, underlinePos = 0, strikeOutPos = 0;
    int pixelSize = 0;
    double unit = 1, xUnit = 1; // logical units per font pixel, up and along the baseline
    QTransform toLogical;
    // The glyphs whose cells reach the target; all when none is left out.
    std::vector<bool> shownGlyph;
    qsizetype drawn = 0;
};

void GdiPlayer::FillTextRect(const Text& t)
{
    // The opaque rectangle is filled whatever the background mode.
    State& s = *m_state;
    if (!t.hasRect || !(t.options & ETO_OPAQUE) || s.inPath)
        return;
    const Pen pen = std::exchange(s.pen, NullPen());
    const Brush brush = std::exchange(s.brush, Brush{BS_SOLID, s.bkColor, 0, {}});
    const int rop = std::exchange(s.rop2, 13);
    DrawLogical(RectPath(t.rect.normalized()), true, false);
    s.pen = pen, s.brush = brush, s.rop2 = rop;
}

bool GdiPlayer::LayOutText(const Text& t, const QTransform& m, TextLayout& out)
{
    return ChooseFont(t, m, out) && MeasureAdvances(t, m, out) && PlaceText(out);
}

// The font for the current font object at the size the mapping gives it.
bool GdiPlayer::ChooseFont(const Text& t, const QTransform& m, TextLayout& out) const
{
    const State& s = *m_state;
    const double det = m.determinant();
    const double scale = Scale(m);
    const double toPainterScale = scale * Scale(m_setup.base);
    if (!(std::abs(det) > 0) || !std::isfinite(det) || !(toPainterScale > 0))
        return false;
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
        return false;
    // Font sizes come from a ladder of quarter octaves; the transform makes
    // up the difference. Every distinct size costs the font engines a
    // fresh set of glyph caches, so a file cannot ask for thousands.
    out.pixelSize = int(std::clamp(std::round(std::exp2(std::round(std::log2(emFinal) * 4) / 4)), 8.0, 2048.0));
    out.font = MakeFont(out.pixelSize);
    const double unit = out.unit = em / out.pixelSize; // logical units per font pixel
    const QFontMetricsF fm(out.font);
    double hScale = 1;
    if (s.font.width > 0 && fm.averageCharWidth() > 0)
        hScale = std::clamp(s.font.width / (fm.averageCharWidth() * unit), 0.05, 20.0);
    // Glyphs stay upright under a mirroring mapping.
    out.toLogical = QTransform::fromScale(hScale * unit, unit) * QTransform().rotate(-s.font.escapement / 10.0) *
                    QTransform::fromScale(1, det < 0 ? -1 : 1) * QTransform::fromTranslate(ref.x(), ref.y());
    out.xUnit = hScale * unit;
    out.ascent = fm.ascent();
    out.descent = fm.descent();
    out.lineWidth = std::max(fm.lineWidth(), 1.0);
    out.underlinePos = fm.underlinePos();
    out.strikeOutPos = fm.strikeOutPos();
    return true;
}

// Advances: from the spacing array when there is one (summed over the bytes
// of a double-byte character), else the font's own.
bool GdiPlayer::MeasureAdvances(const Text& t, const QTransform& m, TextLayout& out)
{
    const State& s = *m_state;
    const QFontMetricsF fm(out.font);
    const double unit = out.unit, xUnit = out.xUnit;
    out.shown = Showable(t.text);
    qsizetype n = out.shown.size();
    out.adv.assign(std::size_t(n), 0.0);
    out.dy.assign(std::size_t(n), 0.0);
    const bool hasDx = !t.dx.empty();
    out.perGlyph = hasDx || s.charExtra != 0;
    // Measuring a character loads its glyph. Text that starts at its
    // reference point and runs on without a spacing array only moves
    // forward: once it has left the target, the rest is neither measured
    // nor charged.
    const bool forward = !hasDx && !(s.textAlign & (TA_UPDATECP | TA_CENTER)) && s.charExtra >= 0;
    double lastX = std::numeric_limits<double>::infinity();
    if (forward) {
        bool invertible = false;
        const QTransform toFont = (out.toLogical * m * m_setup.base).inverted(&invertible);
        const QRectF reach = toFont.mapRect(m_setup.target.normalized());
        if (invertible && FiniteRect(reach))
            lastX = reach.right() + fm.maxWidth();
    } else if (!ChargePoints(kGlyphCost * std::int64_t(n))) {
        return false;
    }
    double x = 0;
    std::size_t di = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (forward) {
            if (x > lastX) {
                n = i;
                out.shown.truncate(n);
                out.adv.resize(std::size_t(n));
                out.dy.resize(std::size_t(n));
                break;
            }
            if (!ChargePoints(kGlyphCost))
                return false;
        }
        const int span = t.charBytes.empty() ? 1 : t.charBytes[std::size_t(i)];
        if (hasDx) {
            double a = 0, b = 0;
            for (int k = 0; k < span; ++k, ++di) {
                if (di < t.dx.size())
                    a += t.dx[di];
                if (di < t.dy.size())
                    b += t.dy[di];
            }
            out.adv[std::size_t(i)] = a / xUnit;
            out.dy[std::size_t(i)] = -b / unit;
        } else {
            out.adv[std::size_t(i)] = fm.horizontalAdvance(out.shown.at(i)) + s.charExtra / xUnit;
        }
        x += out.adv[std::size_t(i)];
    }
    if (out.perGlyph) {
        for (double a : out.adv)
            out.width += a;
    } else {
        out.width = fm.horizontalAdvance(out.shown);
    }
    return std::isfinite(out.width);
}

// Where the string starts, from the alignment; moves the current position
// when the text updates it.
bool GdiPlayer::PlaceText(TextLayout& out)
{
    State& s = *m_state;
    switch (s.textAlign & TA_CENTER) {
    case TA_CENTER: out.x0 = -out.width / 2; break;
    case TA_RIGHT: out.x0 = -out.width; break;
    default: break;
    }
    out.y0 = out.ascent;
    switch (s.textAlign & TA_BASELINE) {
    case TA_BASELINE: out.y0 = 0; break;
    case TA_BOTTOM: out.y0 = -out.descent; break;
    default: break;
    }
    if (s.textAlign & TA_UPDATECP) {
        const double endX = (s.textAlign & TA_CENTER) == TA_RIGHT ? out.x0 : out.x0 + out.width;
        if ((s.textAlign & TA_CENTER) != TA_CENTER)
            s.cur = out.toLogical.map(QPointF(endX, 0));
    }
    return true;
}

// Leaves out the glyphs whose cells lie wholly outside the target (a long
// string mostly off the picture costs only what shows) and charges the
// rest, `perGlyph` work units each.
bool GdiPlayer::ChargeGlyphs(TextLayout& l, const QTransform& toPainter, std::int64_t perGlyph)
{
    const qsizetype n = l.shown.size();
    l.shownGlyph.assign(std::size_t(n), true);
    l.drawn = 0;
    const QRectF target = m_setup.target.normalized();
    const double em = l.pixelSize;
    double x = l.x0, y = l.y0;
    for (qsizetype i = 0; i < n; ++i) {
        const double a = l.adv[std::size_t(i)];
        const QRectF cell(std::min(x, x + a) - em, y - l.ascent - em, std::abs(a) + 2 * em, l.ascent + l.descent + 2 * em);
        const bool visible = toPainter.mapRect(cell).intersects(target);
        l.shownGlyph[std::size_t(i)] = visible;
        l.drawn += visible && !l.shown.at(i).isSpace() ? 1 : 0;
        x += a;
        y += l.dy[std::size_t(i)];
    }
    if (l.drawn < n && !l.perGlyph)
        l.perGlyph = true; // placed one by one, so the hidden ones can be left out
    return ChargePoints(std::int64_t(l.drawn) * perGlyph);
}

// The outlines of the glyphs that show, in font space.
QPainterPath GdiPlayer::GlyphOutlines(const TextLayout& l) const
{
    QPainterPath glyphs;
    if (!l.perGlyph) {
        glyphs.addText(QPointF(l.x0, l.y0), l.font, l.shown);
        return glyphs;
    }
    double x = l.x0, y = l.y0;
    for (qsizetype i = 0; i < l.shown.size(); ++i) {
        if (l.shownGlyph[std::size_t(i)])
            glyphs.addText(QPointF(x, y), l.font, l.shown.mid(i, 1));
        x += l.adv[std::size_t(i)];
        y += l.dy[std::size_t(i)];
    }
    return glyphs;
}

void GdiPlayer::DrawGlyphs(const TextLayout& l)
{
    const State& s = *m_state;
    QFont font = l.font;
    if (!l.perGlyph) {
        font.setUnderline(s.font.underline);
        font.setStrikeOut(s.font.strikeOut);
        m_painter.setFont(font);
        m_painter.drawText(QPointF(l.x0, l.y0), l.shown);
        return;
    }
    m_painter.setFont(font);
    double x = l.x0, y = l.y0;
    const qsizetype n = l.shown.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = l.shown.at(i);
        if (c.isHighSurrogate() && i + 1 < n) {
            if (l.shownGlyph[std::size_t(i)])
                m_painter.drawText(QPointF(x, y), l.shown.mid(i, 2));
            x += l.adv[std::size_t(i)] + l.adv[std::size_t(i + 1)];
            y += l.dy[std::size_t(i)] + l.dy[std::size_t(i + 1)];
            ++i;
            continue;
        }
        if (!c.isSpace() && l.shownGlyph[std::size_t(i)])
            m_painter.drawText(QPointF(x, y), QString(c));
        x += l.adv[std::size_t(i)];
        y += l.dy[std::size_t(i)];
    }
    if (s.font.underline)
        m_painter.fillRect(QRectF(l.x0, l.y0 + l.underlinePos, l.width, l.lineWidth), s.textColor);
    if (s.font.strikeOut)
        m_painter.fillRect(QRectF(l.x0, l.y0 - l.strikeOutPos, l.width, l.lineWidth), s.textColor);
}

void GdiPlayer::TextOut(const Text& t)
{
    State& s = *m_state;
    const QTransform m = LogicalToDevice();
    if (!ChargePoints(1 + std::int64_t(t.text.size()) / 16))
        return;
    FillTextRect(t);
    if (t.text.isEmpty() || (t.options & ETO_GLYPH_INDEX))
        return; // glyph numbers belong to a font that is not here
    TextLayout l;
    if (!LayOutText(t, m, l))
        return;
    const QRectF cell(l.x0, l.y0 - l.ascent, l.width, l.ascent + l.descent);
    const QTransform toPainter = l.toLogical * m * m_setup.base;
    const QRectF bounds = toPainter.mapRect(cell);
    if (!FiniteRect(bounds) || !FiniteTransform(toPainter))
        return;

    if (s.inPath) {
        // Into the path goes every glyph, shown or not: the path may be
        // drawn anywhere later.
        l.shownGlyph.assign(std::size_t(l.shown.size()), true);
        if (!ChargePoints(std::int64_t(l.shown.size()) * kOutlineCost))
            return;
        const QPainterPath glyphs = GlyphOutlines(l);
        if (ChargePoints(glyphs.elementCount()))
            s.path.addPath((l.toLogical * m).map(glyphs));
        return;
    }
    const bool outlines = NeedsOutlines(toPainter, l.pixelSize);
    if (!ChargeGlyphs(l, toPainter, outlines ? kOutlineCost : kGlyphCost) || !ChargeArea(bounds) || s.rop2 == 11 ||
        !Prepare(bounds))
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
    if (outlines) {
        QPainterPath glyphs = GlyphOutlines(l);
        if (s.font.underline)
            glyphs.addRect(QRectF(l.x0, l.y0 + l.underlinePos, l.width, l.lineWidth));
        if (s.font.strikeOut)
            glyphs.addRect(QRectF(l.x0, l.y0 - l.strikeOutPos, l.width, l.lineWidth));
        if (ChargePoints(glyphs.elementCount()) && ChargeRaster(glyphs, toPainter, true, 0))
            m_painter.fillPath(glyphs, s.textColor);
    } else {
        DrawGlyphs(l);
    }
    if (clipped)
        m_painter.restore();
}

} // namespace metafile
