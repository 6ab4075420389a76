#include "GdiPlayer.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;

namespace {

// Device coordinates beyond this (in painter pixels) are taken as broken
// geometry: such a primitive is skipped rather than handed to the
// rasteriser, whose fixed-point arithmetic does not reach that far.
constexpr double kCoordLimit = 1e7;
// A dashed line longer than this many dash periods is drawn solid.
constexpr double kMaxDashes = 2e5;
// Clip arithmetic on paths with more elements than this is skipped; below
// it, a combination is charged as if it compared every element of one path
// with every element of the other.
constexpr int kMaxClipElements = 4000;
std::int64_t ClipCost(int a, int b) { return std::int64_t(a) + b + std::int64_t(a) * b / 16; }

bool FiniteRect(const QRectF& r)
{
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right()) &&
           std::isfinite(r.bottom()) && std::abs(r.left()) < kCoordLimit && std::abs(r.right()) < kCoordLimit &&
           std::abs(r.top()) < kCoordLimit && std::abs(r.bottom()) < kCoordLimit;
}

bool FiniteTransform(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) && std::isfinite(t.m22()) &&
           std::isfinite(t.dx()) && std::isfinite(t.dy()) && std::isfinite(t.m13()) && std::isfinite(t.m23()) &&
           std::isfinite(t.m33());
}

double Scale(const QTransform& t)
{
    const double d = std::abs(t.m11() * t.m22() - t.m12() * t.m21());
    return std::isfinite(d) ? std::sqrt(d) : 0.0;
}

bool AsRect(const QPainterPath& p, QRectF& out)
{
    if (p.elementCount() != 5)
        return false;
    const QRectF b = p.boundingRect();
    for (int i = 0; i < 5; ++i) {
        const QPainterPath::Element e = p.elementAt(i);
        if ((e.x != b.left() && e.x != b.right()) || (e.y != b.top() && e.y != b.bottom()))
            return false;
    }
    out = b;
    return true;
}

Pen NullPen()
{
    Pen p;
    p.style = PS_NULL;
    return p;
}

QPainterPath RectPath(const QRectF& r)
{
    QPainterPath p;
    p.addRect(r);
    return p;
}

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

// The raster operation of a two-operand drawing mode, or SourceOver.
bool Rop2Mode(int rop, QPainter::CompositionMode& mode)
{
    switch (rop) {
    case 2: mode = QPainter::RasterOp_NotSourceAndNotDestination; return true; // NOT (P OR D)
    case 3: mode = QPainter::RasterOp_NotSourceAndDestination; return true;
    case 4: mode = QPainter::RasterOp_NotSource; return true;
    case 5: mode = QPainter::RasterOp_SourceAndNotDestination; return true;
    case 6: mode = QPainter::RasterOp_NotDestination; return true;
    case 7: mode = QPainter::RasterOp_SourceXorDestination; return true;
    case 8: mode = QPainter::RasterOp_NotSourceOrNotDestination; return true;
    case 9: mode = QPainter::RasterOp_SourceAndDestination; return true;
    case 10: mode = QPainter::RasterOp_NotSourceXorDestination; return true;
    case 12: mode = QPainter::RasterOp_NotSourceOrDestination; return true;
    case 14: mode = QPainter::RasterOp_SourceOrNotDestination; return true;
    case 15: mode = QPainter::RasterOp_SourceOrDestination; return true;
    default: return false;
    }
}

} // namespace

struct GdiPlayer::Clip {
    bool none = true;
    QPainterPath path; // device space
};

struct GdiPlayer::State {
    Pen pen;
    Brush brush;
    Font font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    int bkMode = OPAQUE;
    std::uint32_t textAlign = 0;
    int polyFill = ALTERNATE;
    int rop2 = 13; // R2_COPYPEN
    int stretchMode = 1;
    int arcDirection = AD_COUNTERCLOCKWISE;
    double miterLimit = 10;
    double charExtra = 0;
    int mapMode = MM_TEXT;
    QPointF winOrg{0, 0}, winExt{1, 1}, vpOrg{0, 0}, vpExt{1, 1};
    QTransform world;
    QPointF cur;
    bool inPath = false;
    bool figureOpen = false;
    QPainterPath path; // device space
    Clip clip;
};

GdiPlayer::GdiPlayer(QPainter& painter, const Setup& setup)
    : m_painter(painter), m_setup(setup), m_state(std::make_unique<State>())
{
    const double targetArea = std::abs(setup.target.width() * setup.target.height());
    // Room for the picture's area painted over 128 times, which layered
    // drawings never approach, and at least 4 million pixels.
    m_budget.area = std::max(128.0 * (std::isfinite(targetArea) ? targetArea : 0.0), double(1 << 22));
    if (setup.wmf) {
        m_state->mapMode = MM_ANISOTROPIC;
        m_state->winOrg = setup.wmfWindow.topLeft();
        m_state->winExt = QPointF(setup.wmfWindow.width(), setup.wmfWindow.height());
        m_state->vpOrg = setup.wmfViewport.topLeft();
        m_state->vpExt = QPointF(setup.wmfViewport.width(), setup.wmfViewport.height());
        if (m_state->winExt.x() == 0 || m_state->winExt.y() == 0)
            m_state->winExt = QPointF(1, 1);
    }
    m_state->pen.cosmetic = true;
    m_state->pen.color = Qt::black;
    m_state->brush.style = BS_SOLID;
    m_state->brush.color = Qt::white;
}

GdiPlayer::~GdiPlayer() = default;

// ---------------------------------------------------------------- budget

bool GdiPlayer::ChargePoints(std::int64_t points)
{
    if (m_budget.spent)
        return false;
    m_budget.points -= std::max<std::int64_t>(points, 1);
    if (m_budget.points < 0)
        m_budget.spent = true;
    return !m_budget.spent;
}

bool GdiPlayer::ChargePixels(std::int64_t pixels)
{
    if (m_budget.spent)
        return false;
    m_budget.pixels -= std::max<std::int64_t>(pixels, 0);
    if (m_budget.pixels < 0)
        m_budget.spent = true;
    return !m_budget.spent;
}

bool GdiPlayer::ChargeArea(const QRectF& painterRect)
{
    if (m_budget.spent)
        return false;
    const QRectF r = painterRect.normalized().intersected(m_setup.target.normalized());
    if (r.isValid())
        m_budget.area -= r.width() * r.height();
    if (m_budget.area < 0)
        m_budget.spent = true;
    return !m_budget.spent;
}

std::uint64_t GdiPlayer::MaxImagePixels() const
{
    // One bitmap may be at most 32 million pixels (128 MB decoded).
    const std::uint64_t left = m_budget.pixels > 0 ? std::uint64_t(m_budget.pixels) : 0;
    return std::min<std::uint64_t>(left, std::uint64_t(1) << 25);
}

// ---------------------------------------------------------------- objects

bool GdiPlayer::PutObject(std::size_t index, GdiObject object)
{
    if (index >= kMaxObjects)
        return false;
    if (index >= m_objects.size()) {
        const std::size_t old = m_objects.size();
        const std::size_t grown = std::max(index + 1, std::min(kMaxObjects, old * 2));
        m_objects.resize(grown);
        for (std::size_t i = old; i < grown; ++i)
            m_free.insert(m_free.end(), i);
    }
    m_objects[index] = std::move(object);
    m_free.erase(index);
    return true;
}

void GdiPlayer::DeleteObject(std::size_t index)
{
    if (index < m_objects.size() && !std::holds_alternative<std::monostate>(m_objects[index])) {
        m_objects[index] = std::monostate{};
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

// ---------------------------------------------------------------- simple state

void GdiPlayer::SetTextColor(QColor c) { m_state->textColor = c; }
void GdiPlayer::SetBkColor(QColor c) { m_state->bkColor = c; }
void GdiPlayer::SetBkMode(int mode)
{
    if (mode == TRANSPARENT || mode == OPAQUE)
        m_state->bkMode = mode;
}
void GdiPlayer::SetTextAlign(std::uint32_t align) { m_state->textAlign = align; }
void GdiPlayer::SetPolyFillMode(int mode)
{
    if (mode == ALTERNATE || mode == WINDING)
        m_state->polyFill = mode;
}
void GdiPlayer::SetRop2(int rop)
{
    if (rop >= 1 && rop <= 16)
        m_state->rop2 = rop;
}
void GdiPlayer::SetStretchMode(int mode) { m_state->stretchMode = mode; }
void GdiPlayer::SetArcDirection(int dir)
{
    if (dir == AD_COUNTERCLOCKWISE || dir == AD_CLOCKWISE)
        m_state->arcDirection = dir;
}
void GdiPlayer::SetMiterLimit(double limit)
{
    if (std::isfinite(limit) && limit >= 1)
        m_state->miterLimit = std::min(limit, 1000.0);
}
void GdiPlayer::SetTextCharExtra(double extra)
{
    if (std::isfinite(extra))
        m_state->charExtra = extra;
}

// ---------------------------------------------------------------- mapping

void GdiPlayer::SetMapMode(int mode)
{
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC)
        return;
    State& s = *m_state;
    if (m_setup.wmf) {
        // A WMF's viewport belongs to the player: only the choice between
        // equal and independent axis scales has an effect.
        s.mapMode = mode == MM_ISOTROPIC ? MM_ISOTROPIC : MM_ANISOTROPIC;
        return;
    }
    s.mapMode = mode;
    // The fixed modes set both extents from the reference device's
    // physical size; the scalable modes keep the extents they find, so a
    // switch from a fixed mode keeps its scale until the extents change.
    const double mmW = m_setup.deviceMm.width(), mmH = m_setup.deviceMm.height();
    const double pxW = m_setup.devicePixels.width(), pxH = m_setup.devicePixels.height();
    double perMm = 0;
    switch (mode) {
    case MM_TEXT: s.winExt = s.vpExt = QPointF(1, 1); return;
    case MM_LOMETRIC: perMm = 10; break;
    case MM_HIMETRIC: perMm = 100; break;
    case MM_LOENGLISH: perMm = 100 / 25.4; break;
    case MM_HIENGLISH: perMm = 1000 / 25.4; break;
    case MM_TWIPS: perMm = 1440 / 25.4; break;
    default: return;
    }
    s.winExt = QPointF(mmW * perMm, mmH * perMm);
    s.vpExt = QPointF(pxW, -pxH);
}

void GdiPlayer::SetWindowOrg(QPointF p) { m_state->winOrg = p; }
void GdiPlayer::SetViewportOrg(QPointF p)
{
    if (!m_setup.wmf)
        m_state->vpOrg = p;
}
void GdiPlayer::OffsetWindowOrg(QPointF d) { m_state->winOrg += d; }
void GdiPlayer::OffsetViewportOrg(QPointF d)
{
    if (!m_setup.wmf)
        m_state->vpOrg += d;
}

void GdiPlayer::SetWindowExt(QPointF e)
{
    // Zero extents are refused, as the platform refuses them; extents only
    // count in the scalable modes.
    if (e.x() == 0 || e.y() == 0 || !std::isfinite(e.x()) || !std::isfinite(e.y()))
        return;
    if (m_state->mapMode == MM_ISOTROPIC || m_state->mapMode == MM_ANISOTROPIC)
        m_state->winExt = e;
}

void GdiPlayer::SetViewportExt(QPointF e)
{
    if (m_setup.wmf || e.x() == 0 || e.y() == 0 || !std::isfinite(e.x()) || !std::isfinite(e.y()))
        return;
    if (m_state->mapMode == MM_ISOTROPIC || m_state->mapMode == MM_ANISOTROPIC)
        m_state->vpExt = e;
}

void GdiPlayer::ScaleWindowExt(double xn, double xd, double yn, double yd)
{
    if (xd == 0 || yd == 0)
        return;
    SetWindowExt(QPointF(m_state->winExt.x() * xn / xd, m_state->winExt.y() * yn / yd));
}

void GdiPlayer::ScaleViewportExt(double xn, double xd, double yn, double yd)
{
    if (xd == 0 || yd == 0)
        return;
    SetViewportExt(QPointF(m_state->vpExt.x() * xn / xd, m_state->vpExt.y() * yn / yd));
}

void GdiPlayer::SetWorldTransform(const QTransform& t)
{
    if (FiniteTransform(t) && t.type() != QTransform::TxProject)
        m_state->world = t;
}

void GdiPlayer::ModifyWorldTransform(const QTransform& t, int mode)
{
    switch (mode) {
    case 1: m_state->world = QTransform(); break;
    case 2: SetWorldTransform(t * m_state->world); break; // the new transform applies first
    case 3: SetWorldTransform(m_state->world * t); break;
    case 4: SetWorldTransform(t); break;
    default: break;
    }
}

QTransform GdiPlayer::PageTransform() const
{
    const State& s = *m_state;
    double sx = s.vpExt.x() / s.winExt.x();
    double sy = s.vpExt.y() / s.winExt.y();
    if (s.mapMode == MM_ISOTROPIC) {
        const double m = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
    }
    return QTransform(sx, 0, 0, sy, s.vpOrg.x() - s.winOrg.x() * sx, s.vpOrg.y() - s.winOrg.y() * sy);
}

QTransform GdiPlayer::LogicalToDevice() const { return m_state->world * PageTransform(); }

// ---------------------------------------------------------------- saved states

void GdiPlayer::SaveDC()
{
    if (m_saved.size() < std::size_t(kMaxSaveDepth))
        m_saved.push_back(*m_state);
}

void GdiPlayer::RestoreDC(int which)
{
    const std::int64_t depth = std::int64_t(m_saved.size());
    std::int64_t keep;
    if (which < 0)
        keep = depth + which; // relative: -1 is the last saved state
    else if (which > 0)
        keep = std::int64_t(which) - 1; // absolute: the state saved as number `which`
    else
        return;
    if (keep < 0 || keep >= depth)
        return;
    *m_state = std::move(m_saved[std::size_t(keep)]);
    m_saved.resize(std::size_t(keep));
    m_clipApplied = false;
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

// ---------------------------------------------------------------- clipping

void GdiPlayer::ApplyClip()
{
    // Play() saved the painter twice: the outer level holds the caller's
    // state with the target clip, this level is ours to reset.
    m_painter.restore();
    m_painter.save();
    const Clip& c = m_state->clip;
    if (!c.none) {
        m_painter.setTransform(m_setup.base);
        QRectF r;
        if (AsRect(c.path, r)) {
            m_painter.setClipRect(r, Qt::IntersectClip);
        } else {
            ChargeArea(m_setup.target); // a path clip is rasterised into a mask of the target's size
            m_painter.setClipPath(c.path, Qt::IntersectClip);
        }
    }
    m_clipApplied = true;
}

void GdiPlayer::CombineClip(const QPainterPath& regionIn, int mode)
{
    Clip& c = m_state->clip;
    QPainterPath region = regionIn;
    if (c.path.elementCount() + region.elementCount() > kMaxClipElements ||
        !ChargePoints(ClipCost(c.path.elementCount(), region.elementCount())))
        return;
    const QPainterPath universe = RectPath(m_setup.universe);
    const QPainterPath current = c.none ? universe : c.path;
    QPainterPath out;
    QRectF a, b;
    switch (mode) {
    case RGN_AND:
        if (AsRect(current, a) && AsRect(region, b))
            out = RectPath(a.intersected(b).isValid() ? a.intersected(b) : QRectF());
        else
            out = current.intersected(region);
        break;
    case RGN_OR:
        if (c.none)
            return;
        out = current.united(region);
        break;
    case RGN_XOR: out = current.subtracted(region).united(region.subtracted(current)); break;
    case RGN_DIFF: out = current.subtracted(region); break;
    case RGN_COPY: out = region; break;
    default: return;
    }
    c.none = false;
    c.path = out;
    m_clipApplied = false;
}

void GdiPlayer::IntersectClipRect(const QRectF& r)
{
    CombineClip(LogicalToDevice().map(RectPath(r.normalized())), RGN_AND);
}

void GdiPlayer::ExcludeClipRect(const QRectF& r)
{
    CombineClip(LogicalToDevice().map(RectPath(r.normalized())), RGN_DIFF);
}

void GdiPlayer::SelectClipRegion(const QPainterPath* region, int mode)
{
    if (!region) {
        if (mode == RGN_COPY) {
            m_state->clip = Clip{};
            m_clipApplied = false;
        }
        return;
    }
    CombineClip(*region, mode);
}

void GdiPlayer::OffsetClipRegion(QPointF d)
{
    Clip& c = m_state->clip;
    if (c.none)
        return;
    const QTransform m = LogicalToDevice();
    const QPointF dev = m.map(d) - m.map(QPointF(0, 0));
    if (!std::isfinite(dev.x()) || !std::isfinite(dev.y()))
        return;
    c.path.translate(dev);
    m_clipApplied = false;
}

// ---------------------------------------------------------------- drawing core

bool GdiPlayer::Prepare(const QRectF& bounds)
{
    if (m_budget.spent)
        return false;
    if (m_setup.measure) {
        m_measured |= bounds.normalized();
        return false;
    }
    if (!m_clipApplied)
        ApplyClip();
    return true;
}

namespace {
// Sets the painter's raster operation for one primitive and puts it back.
class RopScope {
public:
    RopScope(QPainter& p, int rop2) : m_p(p)
    {
        QPainter::CompositionMode mode;
        if (Rop2Mode(rop2, mode) && p.paintEngine() && p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
            m_active = true;
            m_aa = p.testRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setCompositionMode(mode);
        }
    }
    ~RopScope()
    {
        if (m_active) {
            m_p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            m_p.setRenderHint(QPainter::Antialiasing, m_aa);
        }
    }

private:
    QPainter& m_p;
    bool m_active = false;
    bool m_aa = false;
};
} // namespace

void GdiPlayer::DrawLogical(const QPainterPath& logical, bool fill, bool stroke)
{
    if (m_state->inPath) {
        AppendToPath(logical);
        return;
    }
    if (!ChargePoints(logical.elementCount()) || m_state->rop2 == 11 /* R2_NOP */)
        return;
    const QTransform m = LogicalToDevice();
    const QTransform toPainter = m * m_setup.base;
    const QRectF bounds = toPainter.mapRect(logical.controlPointRect());
    if (!FiniteRect(bounds) || !FiniteTransform(toPainter))
        return;
    const QPen pen = stroke ? MakePen(toPainter, logical, false) : QPen(Qt::NoPen);
    const QBrush brush = fill ? MakeBrush(m_state->brush, m) : QBrush(Qt::NoBrush);
    if (pen.style() == Qt::NoPen && brush.style() == Qt::NoBrush)
        return;
    const double margin = pen.style() == Qt::NoPen ? 0 : (pen.isCosmetic() ? 1 : pen.widthF() * Scale(toPainter));
    const QRectF area = bounds.adjusted(-margin, -margin, margin, margin);
    if (!ChargeArea(area) || !Prepare(area))
        return;
    QPainterPath path = logical;
    path.setFillRule(m_state->polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    Paint(path, m, pen, brush);
}

// A device pixel covers [x, x + 1) in device units, and a pen centred on an
// integer coordinate paints that pixel's row or column: a stroke is drawn
// half a device unit down and right of its geometry, a fill where it is.
void GdiPlayer::Paint(const QPainterPath& path, const QTransform& toDevice, const QPen& pen, const QBrush& brush)
{
    m_painter.setBackgroundMode(m_state->bkMode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    m_painter.setBackground(m_state->bkColor);
    RopScope rop(m_painter, m_state->rop2);
    if (brush.style() != Qt::NoBrush) {
        m_painter.setTransform(toDevice * m_setup.base);
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(brush);
        m_painter.drawPath(path);
    }
    if (pen.style() != Qt::NoPen) {
        m_painter.setTransform(toDevice * QTransform::fromTranslate(0.5, 0.5) * m_setup.base);
        m_painter.setPen(pen);
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawPath(path);
    }
}

void GdiPlayer::DrawDevice(const QPainterPath& device, bool fill, bool stroke, const Brush* brushOverride)
{
    if (!ChargePoints(device.elementCount()) || m_state->rop2 == 11)
        return;
    const QTransform& toPainter = m_setup.base;
    const QRectF bounds = toPainter.mapRect(device.controlPointRect());
    if (!FiniteRect(bounds))
        return;
    const QPen pen = stroke ? MakePen(toPainter, device, true) : QPen(Qt::NoPen);
    const QBrush brush = fill ? MakeBrush(brushOverride ? *brushOverride : m_state->brush, QTransform())
                              : QBrush(Qt::NoBrush);
    if (pen.style() == Qt::NoPen && brush.style() == Qt::NoBrush)
        return;
    const double margin = pen.style() == Qt::NoPen ? 0 : (pen.isCosmetic() ? 1 : pen.widthF() * Scale(toPainter));
    const QRectF area = bounds.adjusted(-margin, -margin, margin, margin);
    if (!ChargeArea(area) || !Prepare(area))
        return;
    QPainterPath path = device;
    path.setFillRule(m_state->polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    Paint(path, QTransform(), pen, brush);
}

void GdiPlayer::AppendToPath(const QPainterPath& logical)
{
    if (!ChargePoints(logical.elementCount()))
        return;
    State& s = *m_state;
    if (s.path.elementCount() > (1 << 22))
        return; // a path of millions of elements is not grown further
    s.path.addPath(LogicalToDevice().map(logical));
    s.figureOpen = false;
}

// ---------------------------------------------------------------- lines and shapes

namespace {
QPainterPath OpenPath(QPointF start, const QPolygonF& pts)
{
    QPainterPath p(start);
    for (const QPointF& q : pts)
        p.lineTo(q);
    return p;
}
} // namespace

// A figure drawn from the current position: continues the open figure of a
// path, or is stroked at once.
void GdiPlayer::Continue(const QPainterPath& logical)
{
    State& st = *m_state;
    if (!st.inPath) {
        DrawLogical(logical, false, true);
        return;
    }
    if (!ChargePoints(logical.elementCount()))
        return;
    const QPainterPath dev = LogicalToDevice().map(logical);
    if (st.figureOpen && st.path.elementCount() > 0 && dev.elementCount() > 0 &&
        st.path.currentPosition() == QPointF(dev.elementAt(0))) {
        for (int i = 1; i < dev.elementCount(); ++i) {
            const QPainterPath::Element e = dev.elementAt(i);
            if (e.type == QPainterPath::CurveToElement && i + 2 < dev.elementCount()) {
                st.path.cubicTo(e, dev.elementAt(i + 1), dev.elementAt(i + 2));
                i += 2;
            } else if (e.type == QPainterPath::MoveToElement) {
                st.path.moveTo(e);
            } else {
                st.path.lineTo(e);
            }
        }
    } else {
        st.path.addPath(dev);
    }
    st.figureOpen = true;
}

void GdiPlayer::MoveTo(QPointF p)
{
    m_state->cur = p;
    m_state->figureOpen = false;
}

void GdiPlayer::LineTo(QPointF p)
{
    const QPainterPath path = OpenPath(m_state->cur, QPolygonF{p});
    Continue(path);
    m_state->cur = p;
}

void GdiPlayer::Polyline(const QPolygonF& pts)
{
    if (pts.size() < 2)
        return;
    const QPainterPath path = OpenPath(pts.front(), pts.mid(1));
    if (m_state->inPath)
        AppendToPath(path);
    else
        DrawLogical(path, false, true);
}

void GdiPlayer::PolylineTo(const QPolygonF& pts)
{
    if (pts.isEmpty())
        return;
    const QPainterPath path = OpenPath(m_state->cur, pts);
    Continue(path);
    m_state->cur = pts.back();
}

void GdiPlayer::Polygon(const QPolygonF& pts)
{
    PolyPolygon({pts}); // shares the points, no copy
}

void GdiPlayer::PolyPolygon(const std::vector<QPolygonF>& polys)
{
    QPainterPath path;
    for (const QPolygonF& poly : polys) {
        if (poly.size() < 2)
            continue;
        path.addPolygon(poly);
        path.closeSubpath();
    }
    if (!path.isEmpty())
        DrawLogical(path, true, true);
}

void GdiPlayer::PolyPolyline(const std::vector<QPolygonF>& polys)
{
    QPainterPath path;
    for (const QPolygonF& poly : polys) {
        if (poly.size() < 2)
            continue;
        path.moveTo(poly.front());
        for (qsizetype i = 1; i < poly.size(); ++i)
            path.lineTo(poly[i]);
    }
    if (path.isEmpty())
        return;
    if (m_state->inPath)
        AppendToPath(path);
    else
        DrawLogical(path, false, true);
}

namespace {
void AddBeziers(QPainterPath& path, const QPolygonF& pts, qsizetype from)
{
    for (qsizetype i = from; i + 2 < pts.size(); i += 3)
        path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
}
} // namespace

void GdiPlayer::PolyBezier(const QPolygonF& pts)
{
    if (pts.size() < 4)
        return;
    QPainterPath path(pts.front());
    AddBeziers(path, pts, 1);
    if (m_state->inPath)
        AppendToPath(path);
    else
        DrawLogical(path, false, true);
}

void GdiPlayer::PolyBezierTo(const QPolygonF& pts)
{
    if (pts.size() < 3)
        return;
    QPainterPath path(m_state->cur);
    AddBeziers(path, pts, 0);
    Continue(path);
    m_state->cur = pts[(pts.size() / 3) * 3 - 1];
}

void GdiPlayer::PolyDraw(const QPolygonF& pts, const std::vector<std::uint8_t>& types)
{
    const qsizetype n = std::min<qsizetype>(pts.size(), qsizetype(types.size()));
    QPainterPath path(m_state->cur);
    QPointF figureStart = m_state->cur;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned t = types[std::size_t(i)];
        switch (t & ~1u) {
        case 6: path.moveTo(pts[i]); figureStart = pts[i]; break;
        case 2: path.lineTo(pts[i]); break;
        case 4:
            if (i + 2 < n) {
                path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
                i += 2;
            }
            break;
        default: break;
        }
        if (t & 1) {
            path.lineTo(figureStart);
            path.closeSubpath();
        }
    }
    if (n > 0)
        m_state->cur = path.currentPosition();
    Continue(path);
}

void GdiPlayer::Rectangle(const QRectF& r)
{
    DrawLogical(RectPath(r.normalized()), true, true);
}

void GdiPlayer::RoundRect(const QRectF& r, double w, double h)
{
    QPainterPath path;
    const QRectF n = r.normalized();
    path.addRoundedRect(n, std::min(std::abs(w), n.width()) / 2, std::min(std::abs(h), n.height()) / 2);
    DrawLogical(path, true, true);
}

void GdiPlayer::Ellipse(const QRectF& r)
{
    QPainterPath path;
    path.addEllipse(r.normalized());
    DrawLogical(path, true, true);
}

QPainterPath GdiPlayer::ArcPath(const QRectF& boxIn, QPointF start, QPointF end, ArcKind kind, QPointF* arcStart,
                                QPointF* arcEnd) const
{
    const QRectF box = boxIn.normalized();
    QPainterPath path;
    const double rx = box.width() / 2, ry = box.height() / 2;
    if (!(rx > 0) || !(ry > 0))
        return path;
    const QPointF c = box.center();
    auto angle = [&](QPointF p) {
        const double dx = p.x() - c.x(), dy = p.y() - c.y();
        if (dx == 0 && dy == 0)
            return 0.0;
        return std::atan2(-dy / ry, dx / rx) * 180 / M_PI;
    };
    const double a0 = angle(start), a1 = angle(end);
    // The direction is the one seen on the device: a mapping that mirrors
    // one axis turns the logical direction around.
    bool ccw = m_state->arcDirection == AD_COUNTERCLOCKWISE;
    if (LogicalToDevice().determinant() < 0)
        ccw = !ccw;
    double sweep;
    if (ccw) {
        sweep = std::fmod(a1 - a0 + 720.0, 360.0);
        if (sweep <= 1e-9)
            sweep = 360;
    } else {
        sweep = -std::fmod(a0 - a1 + 720.0, 360.0);
        if (sweep >= -1e-9)
            sweep = -360;
    }
    auto at = [&](double deg) {
        const double r = deg * M_PI / 180;
        return QPointF(c.x() + rx * std::cos(r), c.y() - ry * std::sin(r));
    };
    if (arcStart)
        *arcStart = at(a0);
    if (arcEnd)
        *arcEnd = at(a0 + sweep);
    if (kind == ArcKind::Pie) {
        path.moveTo(c);
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, a0);
        path.arcTo(box, a0, sweep);
        if (kind == ArcKind::Chord)
            path.closeSubpath();
    }
    return path;
}

void GdiPlayer::Arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind)
{
    QPointF s, e;
    QPainterPath path = ArcPath(box, start, end, kind, &s, &e);
    if (path.isEmpty())
        return;
    if (kind == ArcKind::ArcTo) {
        QPainterPath full(m_state->cur);
        full.lineTo(s);
        full.connectPath(path);
        Continue(full);
        m_state->cur = e;
        return;
    }
    const bool closed = kind != ArcKind::Arc;
    if (m_state->inPath && !closed)
        AppendToPath(path);
    else
        DrawLogical(path, closed, true);
}

void GdiPlayer::AngleArc(QPointF c, double r, double startDeg, double sweepDeg)
{
    if (!std::isfinite(startDeg) || !std::isfinite(sweepDeg) || !(r >= 0) || !std::isfinite(r))
        return;
    sweepDeg = std::clamp(sweepDeg, -720.0, 720.0);
    startDeg = std::fmod(startDeg, 360.0);
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    const double a = startDeg * M_PI / 180, b = (startDeg + sweepDeg) * M_PI / 180;
    const QPointF s(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
    const QPointF e(c.x() + r * std::cos(b), c.y() - r * std::sin(b));
    QPainterPath path(m_state->cur);
    path.lineTo(s);
    if (r > 0)
        path.arcTo(box, startDeg, sweepDeg);
    Continue(path);
    m_state->cur = e;
}

void GdiPlayer::SetPixel(QPointF p, QColor color)
{
    if (m_state->inPath || !ChargePoints(1))
        return;
    const QPointF d = LogicalToDevice().map(p);
    const QRectF px(std::floor(d.x()), std::floor(d.y()), 1, 1);
    const QRectF bounds = m_setup.base.mapRect(px);
    if (!FiniteRect(bounds) || !ChargeArea(bounds) || !Prepare(bounds))
        return;
    m_painter.setTransform(m_setup.base);
    m_painter.fillRect(px, color);
}

// ---------------------------------------------------------------- paths

void GdiPlayer::BeginPath()
{
    m_state->inPath = true;
    m_state->path = QPainterPath();
    m_state->figureOpen = false;
}

void GdiPlayer::EndPath() { m_state->inPath = false; }

void GdiPlayer::AbortPath()
{
    m_state->inPath = false;
    m_state->path = QPainterPath();
}

void GdiPlayer::CloseFigure()
{
    if (m_state->inPath && m_state->path.elementCount() > 0) {
        m_state->path.closeSubpath();
        m_state->figureOpen = false;
    }
}

// Draws the finished path and empties it; inside a path bracket the
// records are ignored, as the format says.
void GdiPlayer::DrawPath(bool fill, bool stroke)
{
    if (m_state->inPath)
        return;
    QPainterPath p = std::exchange(m_state->path, QPainterPath());
    if (!p.isEmpty())
        DrawDevice(p, fill, stroke);
}

void GdiPlayer::FillPath() { DrawPath(true, false); }
void GdiPlayer::StrokePath() { DrawPath(false, true); }
void GdiPlayer::StrokeAndFillPath() { DrawPath(true, true); }

void GdiPlayer::SelectClipPath(int mode)
{
    if (m_state->inPath)
        return;
    QPainterPath p = std::exchange(m_state->path, QPainterPath());
    p.setFillRule(m_state->polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    CombineClip(p, mode);
}

void GdiPlayer::WidenPath()
{
    State& s = *m_state;
    if (s.inPath || s.path.isEmpty() || !ChargePoints(s.path.elementCount() * 4))
        return;
    QPainterPathStroker stroker;
    const double width = s.pen.width * Scale(LogicalToDevice());
    stroker.setWidth(std::isfinite(width) ? std::clamp(width, 1.0, 1e6) : 1.0);
    s.path = stroker.createStroke(s.path);
}

// ---------------------------------------------------------------- regions

void GdiPlayer::FillRegion(const QPainterPath& region, const Brush& brush)
{
    if (!m_state->inPath)
        DrawDevice(region, true, false, &brush);
}

void GdiPlayer::FrameRegion(const QPainterPath& region, const Brush& brush, double w, double h)
{
    if (m_state->inPath || region.elementCount() > kMaxClipElements ||
        !ChargePoints(5 * ClipCost(region.elementCount(), region.elementCount())))
        return;
    // The frame lies inside the region: the region less itself shrunk.
    const QTransform m = LogicalToDevice();
    const double dw = std::abs(w * m.m11()), dh = std::abs(h * m.m22());
    if (!std::isfinite(dw) || !std::isfinite(dh))
        return;
    QPainterPath inner = region.translated(dw, 0).intersected(region.translated(-dw, 0));
    inner = inner.intersected(region.translated(0, dh)).intersected(region.translated(0, -dh));
    DrawDevice(region.subtracted(inner), true, false, &brush);
}

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

// ---------------------------------------------------------------- bitmaps

void GdiPlayer::DrawImage(const QImage& image, const QRectF& src, const QRectF& dst, std::uint32_t rop,
                          int constantAlpha, QRgb transparent, bool useTransparent)
{
    State& s = *m_state;
    if (s.inPath || image.isNull() || !(src.width() != 0) || !(src.height() != 0))
        return;
    switch (rop) {
    case PATCOPY: case PATINVERT: case DSTINVERT: case BLACKNESS: case WHITENESS:
        PatBlt(dst, rop);
        return;
    default: break;
    }
    if (!ChargePoints(4))
        return;
    // Image pixels to logical units, then on to the painter.
    const double sx = dst.width() / src.width(), sy = dst.height() / src.height();
    const QTransform imageToLogical(sx, 0, 0, sy, dst.x() - src.x() * sx, dst.y() - src.y() * sy);
    const QRectF visible = src.normalized().intersected(QRectF(image.rect()));
    if (!visible.isValid() || !std::isfinite(sx) || !std::isfinite(sy))
        return;
    const QTransform toPainter = imageToLogical * LogicalToDevice() * m_setup.base;
    const QRectF bounds = toPainter.mapRect(visible);
    if (!FiniteRect(bounds) || !FiniteTransform(toPainter) || !ChargeArea(bounds) || !Prepare(bounds))
        return;

    QImage img = image;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    const bool rasterOps = m_painter.paintEngine() && m_painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    switch (rop) {
    case SRCCOPY: case MERGECOPY: break;
    case NOTSRCCOPY: img.invertPixels(); break;
    case SRCPAINT: if (rasterOps) mode = QPainter::RasterOp_SourceOrDestination; break;
    case SRCAND:
        if (!rasterOps)
            return; // a mask for the next blit: without raster operations it would paint black
        mode = QPainter::RasterOp_SourceAndDestination;
        break;
    case SRCINVERT: if (rasterOps) mode = QPainter::RasterOp_SourceXorDestination; break;
    case SRCERASE: if (rasterOps) mode = QPainter::RasterOp_SourceAndNotDestination; break;
    case NOTSRCERASE: if (rasterOps) mode = QPainter::RasterOp_NotSourceAndNotDestination; break;
    case MERGEPAINT: if (rasterOps) mode = QPainter::RasterOp_NotSourceOrDestination; break;
    default:
        if ((rop >> 16) == 0xAA)
            return; // the destination unchanged
        break;
    }
    if (useTransparent) {
        img = img.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = transparent & 0xFFFFFF;
        for (int y = 0; y < img.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((line[x] & 0xFFFFFF) == key)
                    line[x] = 0;
        }
    }
    const bool downscale = std::abs(sx) * Scale(LogicalToDevice() * m_setup.base) < 1;
    m_painter.setTransform(toPainter);
    m_painter.setBackgroundMode(Qt::TransparentMode);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, s.stretchMode == 4 || downscale);
    m_painter.setOpacity(std::clamp(constantAlpha, 0, 255) / 255.0);
    m_painter.setCompositionMode(mode);
    m_painter.drawImage(visible, img, visible);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setOpacity(1);
}

void GdiPlayer::PatBlt(const QRectF& dst, std::uint32_t rop)
{
    State& s = *m_state;
    if (s.inPath)
        return;
    const Pen pen = std::exchange(s.pen, NullPen());
    const Brush brush = s.brush;
    const int rop2 = s.rop2;
    bool draw = true;
    switch (rop) {
    case PATCOPY: s.rop2 = 13; break;
    case PATINVERT: s.rop2 = 7; break;
    case DSTINVERT: s.rop2 = 6; break;
    case BLACKNESS: s.brush = Brush{BS_SOLID, Qt::black, 0, {}}; s.rop2 = 13; break;
    case WHITENESS: s.brush = Brush{BS_SOLID, Qt::white, 0, {}}; s.rop2 = 13; break;
    default: draw = false; break;
    }
    if (draw && !(rop == DSTINVERT && !(m_painter.paintEngine() &&
                                         m_painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))))
        DrawLogical(RectPath(dst.normalized()), true, false);
    s.pen = pen, s.brush = brush, s.rop2 = rop2;
}

void GdiPlayer::GradientRect(const QRectF& dst, QColor from, QColor to, bool vertical)
{
    State& s = *m_state;
    if (s.inPath)
        return;
    const QRectF r = dst.normalized();
    QLinearGradient g(vertical ? QPointF(0, dst.top()) : QPointF(dst.left(), 0),
                      vertical ? QPointF(0, dst.bottom()) : QPointF(dst.right(), 0));
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    const QTransform m = LogicalToDevice();
    const QTransform toPainter = m * m_setup.base;
    const QRectF bounds = toPainter.mapRect(r);
    if (!ChargePoints(4) || !FiniteRect(bounds) || !FiniteTransform(toPainter) || !ChargeArea(bounds) ||
        !Prepare(bounds))
        return;
    m_painter.setTransform(toPainter);
    m_painter.fillRect(r, QBrush(g));
}

void GdiPlayer::GradientTriangle(const QPolygonF& tri, QColor a, QColor b, QColor c)
{
    // Drawn in the mean of its corner colours.
    const QColor mean((a.red() + b.red() + c.red()) / 3, (a.green() + b.green() + c.green()) / 3,
                      (a.blue() + b.blue() + c.blue()) / 3);
    State& s = *m_state;
    const Pen pen = std::exchange(s.pen, NullPen());
    const Brush brush = std::exchange(s.brush, Brush{BS_SOLID, mean, 0, {}});
    QPainterPath p;
    p.addPolygon(tri);
    p.closeSubpath();
    DrawLogical(p, true, false);
    s.pen = pen, s.brush = brush;
}

} // namespace metafile
