#include "GdiPlayerPrivate.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

namespace {

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

GdiPlayer::GdiPlayer(QPainter& painter, const Setup& setup)
    : m_painter(painter), m_setup(setup), m_state(std::make_unique<State>())
{
    const double targetArea = std::abs(setup.target.width() * setup.target.height());
    m_budget.area = std::max(Budget::kAreaTimes * (std::isfinite(targetArea) ? targetArea : 0.0), Budget::kMinArea);
    m_deadline = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(Budget::kDeadlineSeconds));
    SetUpClipGrid();
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

bool GdiPlayer::OverDeadline()
{
    if (std::chrono::steady_clock::now() > m_deadline)
        m_budget.spent = true;
    return m_budget.spent;
}

bool GdiPlayer::ChargePoints(std::int64_t points)
{
    if (m_budget.spent || OverDeadline())
        return false;
    m_budget.points -= std::max<std::int64_t>(points, 1);
    if (m_budget.points < 0)
        m_budget.spent = true;
    return !m_budget.spent;
}

bool GdiPlayer::TryCharge(std::int64_t work)
{
    if (m_budget.spent || OverDeadline() || work > m_budget.points)
        return false;
    m_budget.points -= std::max<std::int64_t>(work, 1);
    return true;
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

bool GdiPlayer::Hold(std::int64_t bytes)
{
    if (m_budget.spent || bytes > Budget::kHeldBytes - m_budget.held)
        return false;
    m_budget.held += std::max<std::int64_t>(bytes, 0);
    return true;
}

void GdiPlayer::Release(std::int64_t bytes)
{
    m_budget.held = std::max<std::int64_t>(0, m_budget.held - std::max<std::int64_t>(bytes, 0));
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

bool GdiPlayer::ChargeRaster(const QPainterPath& path, const QTransform& toPainter, bool fill, double penWidth)
{
    if (m_setup.measure)
        return !m_budget.spent; // measuring rasterises nothing
    const QRectF t = m_setup.target.normalized();
    const int top = int(std::floor(std::max(t.top(), -kCoordLimit)));
    const int bottom = int(std::ceil(std::min(t.bottom(), kCoordLimit)));
    std::int64_t cost = 0;
    if (fill)
        cost += RowCost(path, toPainter, top, bottom, 0, 1);
    if (penWidth > 0) { // a wide pen's outline is filled: both its sides cross the rows
        cost += RowCost(path, toPainter, top, bottom, penWidth / 2, 2);
    } else if (penWidth < 0) {
        // A cosmetic pen is drawn line by line: its length counts, a work
        // unit for every 8 pixels.
        double length = 0;
        for (int i = 1; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (!e.isMoveTo()) {
                const QPointF a = toPainter.map(QPointF(path.elementAt(i - 1))), b = toPainter.map(QPointF(e));
                length += std::min(std::hypot(b.x() - a.x(), b.y() - a.y()), 1e7);
            }
        }
        cost += std::int64_t(length / 8);
    }
    return ChargePoints(cost);
}

std::uint64_t GdiPlayer::MaxImagePixels() const
{
    // One decoded bitmap is held while it is drawn: 4 bytes a pixel.
    const std::uint64_t left = m_budget.pixels > 0 ? std::uint64_t(m_budget.pixels) : 0;
    const std::uint64_t room = std::uint64_t(std::max<std::int64_t>(0, Budget::kHeldBytes - m_budget.held)) / 4;
    return std::min(left, room);
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
    if (m_saved.size() >= std::size_t(kMaxSaveDepth))
        return;
    // The saved state shares the path and the clip with the current one
    // until either changes; then they are copied. That copy is charged
    // here, in time (writing fresh memory costs about 3 ns a byte) and as
    // memory held until the state is restored. A state that cannot be paid
    // for stops the drawing: restoring a wrong state would draw the rest
    // wrongly.
    const State& s = *m_state;
    const std::int64_t bytes = std::int64_t(sizeof(State)) +
                               std::int64_t(s.path.elementCount()) * std::int64_t(sizeof(QPainterPath::Element)) +
                               std::int64_t(s.clip.region.rectCount()) * std::int64_t(sizeof(QRect));
    if (!ChargePoints(bytes / 10) || !Hold(bytes)) {
        m_budget.spent = true;
        return;
    }
    m_saved.push_back(s);
    m_savedBytes.push_back(bytes);
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
    for (std::size_t i = std::size_t(keep); i < m_savedBytes.size(); ++i)
        Release(m_savedBytes[i]);
    m_savedBytes.resize(std::size_t(keep));
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
    // Every span drawn is cut against the clip's rectangles of its row.
    const int clipRects = m_state->clip.none ? 0 : m_state->clip.region.rectCount();
    if (clipRects > 1 && !ChargePoints(clipRects / 8))
        return false;
    if (!m_clipApplied)
        ApplyClip();
    return !m_budget.spent; // a clip that could not be paid for draws nothing
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
    const double strokeWidth = pen.style() == Qt::NoPen ? 0 : (pen.isCosmetic() || margin <= 1 ? -1 : 2 * margin);
    if (!ChargeRaster(logical, toPainter, brush.style() != Qt::NoBrush, strokeWidth) || !ChargeArea(area) ||
        !Prepare(area))
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
    const double strokeWidth = pen.style() == Qt::NoPen ? 0 : (pen.isCosmetic() || margin <= 1 ? -1 : 2 * margin);
    if (!ChargeRaster(device, toPainter, brush.style() != Qt::NoBrush, strokeWidth) || !ChargeArea(area) ||
        !Prepare(area))
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

} // namespace metafile
