#include "GdiPlayerPrivate.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

namespace {

// The rectangles of a path made only of axis-aligned rectangles (as regions
// and clip rectangles are built), or false.
bool AsRects(const QPainterPath& p, std::vector<QRectF>& out)
{
    const int n = p.elementCount();
    if (n == 0 || n % 5 != 0)
        return false;
    out.clear();
    out.reserve(std::size_t(n / 5));
    for (int i = 0; i < n; i += 5) {
        const QPainterPath::Element a = p.elementAt(i), c = p.elementAt(i + 2);
        if (!a.isMoveTo())
            return false;
        const QRectF r = QRectF(QPointF(a.x, a.y), QPointF(c.x, c.y)).normalized();
        for (int k = 1; k < 5; ++k) {
            const QPainterPath::Element e = p.elementAt(i + k);
            if (!e.isLineTo() || (e.x != r.left() && e.x != r.right()) || (e.y != r.top() && e.y != r.bottom()))
                return false;
        }
        out.push_back(r);
    }
    return true;
}

// True when the rectangles are already a region's own list: bands from top
// to bottom that do not overlap, each band's rectangles of one height, left
// to right without overlap. A region written by the platform is like that.
bool Banded(const std::vector<QRect>& rects)
{
    for (std::size_t i = 1; i < rects.size(); ++i) {
        const QRect& a = rects[i - 1];
        const QRect& b = rects[i];
        if (b.top() == a.top()) {
            if (b.bottom() != a.bottom() || b.left() <= a.right())
                return false;
        } else if (b.top() <= a.bottom()) {
            return false;
        }
    }
    return true;
}

// The union of rectangles taken pairwise, so each rectangle takes part in
// log2(n) unions rather than n.
QRegion UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to)
{
    if (to - from == 1)
        return QRegion(rects[from]);
    const std::size_t mid = from + (to - from) / 2;
    return UniteRects(rects, from, mid) | UniteRects(rects, mid, to);
}

// The part of a closed polygon inside `r`, edge by edge against each side
// in turn. Inside the rectangle every point keeps its winding number, so
// either fill rule fills the same there; crossing edges need no care.
QPolygonF ClipPolygon(const QPolygonF& poly, const QRectF& r)
{
    QPolygonF in = poly, out;
    for (int side = 0; side < 4 && !in.isEmpty(); ++side) {
        auto inside = [&](QPointF p) {
            switch (side) {
            case 0: return p.x() >= r.left();
            case 1: return p.x() <= r.right();
            case 2: return p.y() >= r.top();
            default: return p.y() <= r.bottom();
            }
        };
        auto cut = [&](QPointF a, QPointF b) {
            const bool vertical = side < 2;
            const double edge = side == 0 ? r.left() : side == 1 ? r.right() : side == 2 ? r.top() : r.bottom();
            const double t = vertical ? (edge - a.x()) / (b.x() - a.x()) : (edge - a.y()) / (b.y() - a.y());
            return vertical ? QPointF(edge, a.y() + t * (b.y() - a.y())) : QPointF(a.x() + t * (b.x() - a.x()), edge);
        };
        out.clear();
        out.reserve(in.size() + 8);
        QPointF prev = in.back();
        for (const QPointF& cur : in) {
            if (inside(cur)) {
                if (!inside(prev))
                    out.append(cut(prev, cur));
                out.append(cur);
            } else if (inside(prev)) {
                out.append(cut(prev, cur));
            }
            prev = cur;
        }
        std::swap(in, out);
    }
    return in;
}

// Work beyond which a polygon is not made into a region (its bounds stand
// in): a few tens of milliseconds.
constexpr std::int64_t kMaxRegionWork = std::int64_t(1) << 22;
// Nor one of more spans than this: the region is built by uniting blocks of
// spans, which costs about the square of their number.
constexpr std::int64_t kMaxRegionSpans = std::int64_t(1) << 15;
// A clip region of more rectangles than this is not made into a mask for a
// rotated picture (see ClipToGridRegion).
constexpr int kMaxMaskRects = 256;

} // namespace

// ---------------------------------------------------------------- clipping
//
// The clip is held as a device holds it: a region of whole pixels, here of
// the clip grid (the painter's pixels when the picture is drawn upright, or
// device space scaled to about their size when it is rotated). Region
// arithmetic then costs time in proportion to the rectangles it touches,
// however the shapes that made it cross each other.

void GdiPlayer::SetUpClipGrid()
{
    const QTransform& b = m_setup.base;
    if (b.type() <= QTransform::TxScale) {
        m_gridFromDevice = b;
        m_gridToPainter = QTransform();
    } else {
        const double sx = std::hypot(b.m11(), b.m12()), sy = std::hypot(b.m21(), b.m22());
        const bool usable = std::isfinite(sx) && std::isfinite(sy) && sx > 1e-6 && sy > 1e-6;
        m_gridFromDevice = usable ? QTransform::fromScale(sx, sy) : QTransform();
        m_gridToPainter = m_gridFromDevice.inverted() * b;
    }
    const QRectF u = m_gridFromDevice.mapRect(m_setup.universe);
    const double lim = kCoordLimit;
    const QRectF bounded = FiniteRect(u) ? u : u.intersected(QRectF(-lim, -lim, 2 * lim, 2 * lim));
    m_gridUniverse = bounded.isValid() ? bounded.toAlignedRect() : QRect();
}

// Intersects the painter's clip with a region of the clip grid, charged
// first. The painter turns a region into spans row by row; when the picture
// is rotated, the region is a path of its rectangles rasterised into a
// mask, whose rows cross every rectangle of their band.
bool GdiPlayer::ClipToGridRegion(const QRegion& whole)
{
    // Only the part over the target counts: rasterisers walk every edge
    // they are given, however far beyond the target it reaches.
    if (!ChargePoints(whole.rectCount()))
        return false;
    bool invertible = false;
    const QTransform toGrid = m_gridToPainter.inverted(&invertible);
    const QRectF reach = toGrid.mapRect(m_setup.target.normalized());
    const QRegion region = invertible && FiniteRect(reach) ? whole & reach.toAlignedRect().adjusted(-1, -1, 1, 1) : whole;
    m_painter.setTransform(m_gridToPainter);
    if (m_gridToPainter.type() <= QTransform::TxScale) {
        m_painter.setClipRegion(region, Qt::IntersectClip);
        return true;
    }
    if (region.rectCount() > kMaxMaskRects) {
        // The painter's rasteriser sorts every cell of a row against the
        // others: a mask of many small rectangles takes seconds. The
        // region's bounds clip instead.
        m_painter.setClipRect(region.boundingRect(), Qt::IntersectClip);
        return true;
    }
    QPainterPath mask;
    mask.addRegion(region);
    const QRectF t = m_setup.target.normalized();
    const std::int64_t cost =
        RowCost(mask, m_gridToPainter, int(std::floor(t.top())), int(std::ceil(t.bottom())), 0, 1);
    if (!ChargePoints(cost) || !ChargeArea(m_setup.target))
        return false;
    m_painter.setClipPath(mask, Qt::IntersectClip);
    return true;
}

void GdiPlayer::ApplyClip()
{
    // Play() saved the painter twice: the outer level holds the caller's
    // state with the target clip, this level is ours to reset.
    m_painter.restore();
    m_painter.save();
    const Clip& c = m_state->clip;
    if (!c.none) {
        m_painter.setTransform(m_gridToPainter);
        if (c.region.rectCount() <= 1) {
            m_painter.setClipRect(c.region.boundingRect(), Qt::IntersectClip);
        } else {
            if (!ClipToGridRegion(c.region))
                return;
        }
    }
    m_clipApplied = true;
}

// Work to turn polygons into rows of spans: every row a polygon crosses is
// visited once per edge crossing it, and sorting the crossings of a row
// costs about the square of their number (which is what a shape whose edges
// cross each other many times makes expensive). Rows outside [top, bottom)
// are free. `grow` widens each edge's rows (half a pen width), and `edges`
// counts how many outline edges stand for one (two for a stroke).
std::int64_t GdiPlayer::RowCost(const QPainterPath& path, const QTransform& toRows, int top, int bottom, double grow,
                                int edges, std::int64_t* crossings)
{
    if (bottom <= top || path.isEmpty())
        return 0;
    const std::int64_t rows = std::int64_t(bottom) - top;
    if (rows > (std::int64_t(1) << 22))
        return std::numeric_limits<std::int64_t>::max() / 4;
    std::vector<std::int32_t> delta(std::size_t(rows) + 1, 0);
    auto edge = [&](QPointF a, QPointF b) {
        const double y0 = std::min(a.y(), b.y()) - grow, y1 = std::max(a.y(), b.y()) + grow;
        if (!(y1 >= top) || !(y0 < bottom))
            return;
        const std::int64_t r0 = std::clamp<std::int64_t>(std::int64_t(std::floor(y0)) - top, 0, rows - 1);
        const std::int64_t r1 = std::clamp<std::int64_t>(std::int64_t(std::floor(y1)) - top, 0, rows - 1);
        delta[std::size_t(r0)] += edges;
        delta[std::size_t(r1) + 1] -= edges;
    };
    QPointF first, prev;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF pt = toRows.map(QPointF(e.x, e.y));
        if (e.isMoveTo()) {
            if (i > 0)
                edge(prev, first); // each figure is filled closed
            first = pt;
        } else {
            edge(prev, pt);
        }
        prev = pt;
    }
    edge(prev, first);
    std::int64_t cost = 0, crossing = 0;
    for (std::int64_t r = 0; r < rows; ++r) {
        crossing += delta[std::size_t(r)];
        // about 4 ns per crossing sorted against another: 1/8 of a unit
        cost += crossing + crossing * crossing / 8;
        if (crossings)
            *crossings += crossing;
    }
    return cost;
}

// The region of a device-space shape on the clip grid, charged before it is
// made; false when the budget cannot pay for it.
bool GdiPlayer::GridRegion(const QPainterPath& device, QRegion& out)
{
    std::vector<QRectF> rects;
    if (device.fillRule() == Qt::WindingFill && AsRects(device, rects) && m_gridFromDevice.type() <= QTransform::TxScale) {
        std::vector<QRect> grid;
        grid.reserve(rects.size());
        for (const QRectF& r : rects) {
            const QRectF g = m_gridFromDevice.mapRect(r);
            if (!FiniteRect(g))
                continue;
            // A pixel belongs to the region when its centre is inside.
            const QRect px(QPoint(int(std::lround(g.left())), int(std::lround(g.top()))),
                           QPoint(int(std::lround(g.right())) - 1, int(std::lround(g.bottom())) - 1));
            if (!px.isEmpty())
                grid.push_back(px);
        }
        if (grid.empty()) {
            out = QRegion();
            return true;
        }
        const std::int64_t n = std::int64_t(grid.size());
        if (Banded(grid)) {
            if (!TryCharge(n))
                return false;
            out.setRects(grid.data(), int(n));
            return true;
        }
        // Rectangles that cross: the union may have up to 2n bands of n
        // rectangles each, every one built log2(n) times.
        const std::int64_t logN = std::int64_t(std::ceil(std::log2(double(n) + 1))) + 1;
        if (!TryCharge(2 * n * n * logN / 2))
            return false;
        out = UniteRects(grid, 0, grid.size());
        return true;
    }
    if (!TryCharge(device.elementCount()))
        return false;
    // Only the universe matters, and the region is built row by row over
    // all the polygon spans: it is cut to the universe first.
    const QPolygonF whole = device.toFillPolygon(m_gridFromDevice);
    if (!FiniteRect(whole.boundingRect()) || !TryCharge(4 * std::int64_t(whole.size())))
        return false;
    const QPolygonF poly = ClipPolygon(whole, QRectF(m_gridUniverse));
    // Every row the polygon spans is scanned, inside the universe or not.
    QPainterPath flat;
    flat.addPolygon(poly);
    const QRectF rows = poly.boundingRect();
    if (poly.size() < 3 || !FiniteRect(rows)) {
        out = QRegion();
        return true;
    }
    // The region gets a rectangle for every span of every row; building it
    // costs more than linearly in their number.
    std::int64_t crossings = 0;
    const std::int64_t rowCost =
        RowCost(flat, QTransform(), int(std::floor(rows.top())), int(std::ceil(rows.bottom())) + 1, 0, 1, &crossings);
    if (rowCost > kMaxRegionWork || crossings / 2 > kMaxRegionSpans || !TryCharge(rowCost))
        return false;
    out = QRegion(poly.toPolygon(), device.fillRule());
    return true;
}

void GdiPlayer::CombineClip(const QPainterPath& region, int mode)
{
    if (m_setup.measure)
        return; // measuring collects everything drawn, clipped or not
    Clip& c = m_state->clip;
    QRegion shape;
    if (GridRegion(region, shape)) {
        shape &= m_gridUniverse;
    } else {
        // Too costly to make exactly: its bounds stand in for it, so the
        // picture stays clipped (never drawn as if there were no clip).
        shape = QRegion(m_gridFromDevice.mapRect(region.controlPointRect()).toAlignedRect() & m_gridUniverse);
    }
    const QRegion current = c.none ? QRegion(m_gridUniverse) : c.region;
    if (!ChargePoints(std::int64_t(current.rectCount()) + shape.rectCount()))
        return;
    QRegion out;
    switch (mode) {
    case RGN_AND: out = current & shape; break;
    case RGN_OR:
        if (c.none)
            return;
        out = current | shape;
        break;
    case RGN_XOR: out = current ^ shape; break;
    case RGN_DIFF: out = current - shape; break;
    case RGN_COPY: out = shape; break;
    default: return;
    }
    c.none = false;
    c.region = out;
    m_clipApplied = false;
}

void GdiPlayer::IntersectClipRect(const QRectF& r)
{
    QPainterPath p = LogicalToDevice().map(RectPath(r.normalized()));
    p.setFillRule(Qt::WindingFill);
    CombineClip(p, RGN_AND);
}

void GdiPlayer::ExcludeClipRect(const QRectF& r)
{
    QPainterPath p = LogicalToDevice().map(RectPath(r.normalized()));
    p.setFillRule(Qt::WindingFill);
    CombineClip(p, RGN_DIFF);
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
    const QTransform m = LogicalToDevice() * m_gridFromDevice;
    const QPointF grid = m.map(d) - m.map(QPointF(0, 0));
    if (!std::isfinite(grid.x()) || !std::isfinite(grid.y()) || std::abs(grid.x()) > kCoordLimit ||
        std::abs(grid.y()) > kCoordLimit)
        return;
    c.region.translate(int(std::lround(grid.x())), int(std::lround(grid.y())));
    m_clipApplied = false;
}

void GdiPlayer::SelectClipPath(int mode)
{
    if (m_state->inPath)
        return;
    QPainterPath p = std::exchange(m_state->path, QPainterPath());
    if (p.isEmpty())
        return; // no path to select: the clip stays as it was
    p.setFillRule(m_state->polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    CombineClip(p, mode);
}

// ---------------------------------------------------------------- regions

// Fills a region of the clip grid: the region clips one rectangle, so its
// rectangles cost what rectangles cost, however many edges they have.
void GdiPlayer::FillGridRegion(const QRegion& region, const Brush& brush)
{
    if (region.isEmpty() || m_state->rop2 == 11 /* R2_NOP */)
        return;
    const QRectF device = m_gridFromDevice.inverted().mapRect(QRectF(region.boundingRect()));
    const QRectF bounds = m_setup.base.mapRect(device);
    const QBrush fill = MakeBrush(brush, QTransform());
    if (fill.style() == Qt::NoBrush || !FiniteRect(bounds) || !ChargePoints(region.rectCount()) ||
        !ChargeArea(bounds) || !Prepare(bounds))
        return;
    m_painter.save();
    if (ClipToGridRegion(region))
        Paint(RectPath(device), QTransform(), Qt::NoPen, fill);
    m_painter.restore();
}

void GdiPlayer::FillRegion(const QPainterPath& region, const Brush& brush)
{
    if (m_state->inPath || region.isEmpty())
        return;
    if (m_setup.measure) {
        Prepare(m_setup.base.mapRect(region.controlPointRect()));
        return;
    }
    QRegion grid;
    if (!GridRegion(region, grid)) {
        m_budget.spent = true;
        return;
    }
    FillGridRegion(grid, brush);
}

void GdiPlayer::FrameRegion(const QPainterPath& region, const Brush& brush, double w, double h)
{
    if (m_state->inPath || region.isEmpty())
        return;
    // The frame's width and height are logical: a rotating world transform
    // turns them with the picture.
    const QTransform m = LogicalToDevice() * m_gridFromDevice;
    const double gw = std::abs(w * m.m11()) + std::abs(h * m.m21());
    const double gh = std::abs(w * m.m12()) + std::abs(h * m.m22());
    if (!std::isfinite(gw) || !std::isfinite(gh) || gw > kCoordLimit || gh > kCoordLimit)
        return;
    if (m_setup.measure) {
        Prepare(m_setup.base.mapRect(region.controlPointRect()));
        return;
    }
    QRegion whole;
    if (!GridRegion(region, whole) || !ChargePoints(8 * std::int64_t(whole.rectCount()))) {
        m_budget.spent = true;
        return;
    }
    // The frame lies inside the region: the region less itself shrunk, at
    // least a pixel wide.
    const int iw = std::max(1, int(std::lround(gw))), ih = std::max(1, int(std::lround(gh)));
    const QRegion inner = whole & whole.translated(iw, 0) & whole.translated(-iw, 0) & whole.translated(0, ih) &
                          whole.translated(0, -ih);
    FillGridRegion(whole - inner, brush);
}

} // namespace metafile
