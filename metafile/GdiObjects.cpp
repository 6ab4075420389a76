#include "GdiPlayerPrivate.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

namespace {

// A dashed line longer than this many dash periods is drawn solid.
constexpr double kMaxDashes = 2e5;

Qt::BrushStyle HatchStyle(unsigned hatch)
{
    switch (hatch) {
    case 0: return Qt::HorPattern;
    case 1: return Qt::VerPattern;
    case 2: return Qt::FDiagPattern;
    case 3: return Qt::BDiagPattern;
    case 4: return Qt::CrossPattern;
    case 5: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
    }
}

} // namespace

// ---------------------------------------------------------------- objects

namespace {
// What an object holds in memory beyond its slot.
std::int64_t HeldBytes(const GdiObject& object)
{
    if (auto b = std::get_if<Brush>(&object))
        return b->pattern.sizeInBytes();
    if (auto r = std::get_if<Region>(&object))
        return std::int64_t(r->path.elementCount()) * std::int64_t(sizeof(QPainterPath::Element));
    if (auto p = std::get_if<Pen>(&object))
        return std::int64_t(p->dashes.size() * sizeof(double));
    if (auto f = std::get_if<Font>(&object))
        return std::int64_t(f->face.size()) * 2;
    return 0;
}
} // namespace

bool GdiPlayer::PutObject(std::size_t index, GdiObject object)
{
    if (index >= kMaxObjects)
        return false;
    if (index >= m_objects.size()) {
        const std::size_t old = m_objects.size();
        const std::size_t grown = std::max(index + 1, std::min(kMaxObjects, old * 2));
        // The table's slots are held memory like what they hold.
        if (!Hold(std::int64_t(grown - old) * std::int64_t(sizeof(GdiObject) + sizeof(std::int64_t))))
            return false;
        m_objects.resize(grown);
        m_objectBytes.resize(grown, 0);
        for (std::size_t i = old; i < grown; ++i)
            m_free.insert(m_free.end(), i);
    }
    // An object that cannot be held is kept as a placeholder; selecting it
    // then changes nothing.
    DeleteObject(index);
    const std::int64_t bytes = HeldBytes(object);
    if (!Hold(bytes)) {
        m_objects[index] = Placeholder{}; // the slot is taken all the same, so later numbers do not shift
        m_free.erase(index);
        return false;
    }
    m_objects[index] = std::move(object);
    m_objectBytes[index] = bytes;
    m_free.erase(index);
    return true;
}

void GdiPlayer::DeleteObject(std::size_t index)
{
    if (index < m_objects.size() && !std::holds_alternative<std::monostate>(m_objects[index])) {
        m_objects[index] = std::monostate{};
        Release(std::exchange(m_objectBytes[index], 0));
        m_free.insert(index);
    }
}

const GdiObject* GdiPlayer::Object(std::size_t index) const
{
    if (index >= m_objects.size() || std::holds_alternative<std::monostate>(m_objects[index]))
        return nullptr;
    return &m_objects[index];
}

std::size_t GdiPlayer::FreeSlot() const
{
    return m_free.empty() ? std::min(m_objects.size(), kMaxObjects) : *m_free.begin();
}

bool GdiPlayer::SelectObject(std::size_t index)
{
    const GdiObject* o = Object(index);
    if (!o)
        return false;
    if (auto p = std::get_if<Pen>(o))
        m_state->pen = *p;
    else if (auto b = std::get_if<Brush>(o))
        m_state->brush = *b;
    else if (auto f = std::get_if<Font>(o))
        m_state->font = *f;
    else if (auto r = std::get_if<Region>(o)) {
        // Selecting a region makes it the clip (WMF).
        const QPainterPath dev = LogicalToDevice().map(r->path);
        SelectClipRegion(&dev, RGN_COPY);
    }
    return true;
}

void GdiPlayer::SelectPen(const Pen& pen) { m_state->pen = pen; }
void GdiPlayer::SelectBrush(const Brush& brush) { m_state->brush = brush; }
void GdiPlayer::SelectFont(const Font& font) { m_state->font = font; }
const Brush& GdiPlayer::CurrentBrush() const { return m_state->brush; }
const Font& GdiPlayer::CurrentFont() const { return m_state->font; }

void GdiPlayer::SelectStock(std::uint32_t stock)
{
    Brush b;
    Pen p;
    switch (stock) {
    case 0: case 18: b.color = Qt::white; SelectBrush(b); break; // WHITE_BRUSH, DC_BRUSH
    case 1: b.color = QColor(0xC0, 0xC0, 0xC0); SelectBrush(b); break;
    case 2: b.color = QColor(0x80, 0x80, 0x80); SelectBrush(b); break;
    case 3: b.color = QColor(0x40, 0x40, 0x40); SelectBrush(b); break;
    case 4: b.color = Qt::black; SelectBrush(b); break;
    case 5: b.style = BS_NULL; SelectBrush(b); break;
    case 6: p.color = Qt::white; SelectPen(p); break;
    case 7: case 19: p.color = Qt::black; SelectPen(p); break; // BLACK_PEN, DC_PEN
    case 8: p.style = PS_NULL; SelectPen(p); break;
    case 10: case 11: case 16: { // the fixed-pitch stock fonts
        Font f;
        f.pitchAndFamily = 0x31; // FIXED_PITCH | FF_MODERN
        SelectFont(f);
        break;
    }
    case 12: case 13: case 14: case 17: SelectFont(Font{}); break;
    default: break; // DEFAULT_PALETTE and unknown stock objects change nothing drawn
    }
}

// ---------------------------------------------------------------- pens and brushes

QPen GdiPlayer::MakePen(const QTransform& toPainter, const QPainterPath& path, bool deviceSpace) const
{
    const State& s = *m_state;
    const Pen& p = s.pen;
    if (p.Null())
        return Qt::NoPen;
    QColor color = p.color;
    if (s.rop2 == 1)
        color = Qt::black;
    else if (s.rop2 == 16)
        color = Qt::white;

    const double unitWidth = deviceSpace ? p.width * Scale(LogicalToDevice()) : p.width;
    const double painterScale = Scale(toPainter);
    double finalWidth = unitWidth * painterScale;
    const bool cosmetic = p.cosmetic || !(finalWidth >= 1) || !std::isfinite(finalWidth / painterScale);
    QPen pen(color);
    if (cosmetic) {
        pen.setCosmetic(true);
        pen.setWidthF(1);
        finalWidth = 1;
    } else {
        // Wider than the whole target cannot look different from that.
        const double cap = 4 * std::max(1.0, std::hypot(m_setup.target.width(), m_setup.target.height()));
        finalWidth = std::min(finalWidth, cap);
        const double width = finalWidth / painterScale;
        if (width > 0 && width < 1e9) // QPen keeps widths an int can hold
            pen.setWidthF(width);
        else
            pen.setCosmetic(true);
    }

    switch (p.style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE: pen.setCapStyle(Qt::SquareCap); break;
    case PS_ENDCAP_FLAT: pen.setCapStyle(Qt::FlatCap); break;
    default: pen.setCapStyle(cosmetic ? Qt::FlatCap : Qt::RoundCap); break;
    }
    switch (p.style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL: pen.setJoinStyle(Qt::BevelJoin); break;
    case PS_JOIN_MITER: pen.setJoinStyle(Qt::MiterJoin); pen.setMiterLimit(s.miterLimit); break;
    default: pen.setJoinStyle(Qt::RoundJoin); break;
    }

    // Dash patterns in units of the pen's width: the platform's pixel
    // patterns for one-pixel pens, proportional ones for wide pens.
    QList<qreal> dashes;
    switch (p.style & PS_STYLE_MASK) {
    case PS_DASH: dashes = cosmetic ? QList<qreal>{18, 6} : QList<qreal>{3, 1}; break;
    case PS_DOT: dashes = cosmetic ? QList<qreal>{3, 3} : QList<qreal>{1, 1}; break;
    case PS_DASHDOT: dashes = cosmetic ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1}; break;
    case PS_DASHDOTDOT: dashes = cosmetic ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1}; break;
    case PS_ALTERNATE: dashes = {1, 1}; break;
    case PS_USERSTYLE: {
        // Entries are logical units for wide pens, pixels for one-pixel pens.
        const double unit = cosmetic ? 1.0 : (unitWidth > 0 ? unitWidth : 1.0);
        for (double e : p.dashes)
            dashes.push_back(std::isfinite(e) && e > 0 ? e / unit : 0.0);
        if (dashes.size() % 2)
            dashes += QList<qreal>(dashes); // an odd pattern repeats with on and off swapped
        break;
    }
    default: break;
    }
    if (!dashes.isEmpty()) {
        double period = 0;
        for (qreal d : dashes)
            period += d;
        period *= finalWidth;
        const double length = toPainter.map(path).length();
        if (period > 0.5 && std::isfinite(length) && length / period < kMaxDashes) {
            pen.setDashPattern(dashes);
            if (pen.capStyle() == Qt::RoundCap && !cosmetic && (p.style & PS_STYLE_MASK) != PS_USERSTYLE)
                pen.setCapStyle(Qt::FlatCap); // round caps would close the gaps of the stock patterns
        }
    }
    return pen;
}

QBrush GdiPlayer::MakeBrush(const Brush& b, const QTransform& logicalToDevice) const
{
    QBrush brush;
    switch (b.style) {
    case BS_NULL: return Qt::NoBrush;
    case BS_HATCHED: brush = QBrush(b.color, HatchStyle(b.hatch)); break;
    case BS_PATTERN: case BS_DIBPATTERN: case BS_DIBPATTERNPT:
        if (b.pattern.isNull())
            brush = QBrush(b.color);
        else
            brush = QBrush(b.pattern);
        break;
    default: brush = QBrush(b.color); break;
    }
    if (m_state->rop2 == 1)
        brush = QBrush(Qt::black);
    else if (m_state->rop2 == 16)
        brush = QBrush(Qt::white);
    if (brush.style() != Qt::SolidPattern) {
        // Patterns are laid out in device pixels, not logical units.
        bool invertible = false;
        const QTransform inv = logicalToDevice.inverted(&invertible);
        if (!invertible || !FiniteTransform(inv))
            return QBrush(b.color);
        brush.setTransform(inv);
    }
    return brush;
}

} // namespace metafile
