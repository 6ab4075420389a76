#include "GdiPlayerPrivate.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

namespace {

// Clip arithmetic on paths with more elements than this is skipped; below
// it, a combination is charged as if it compared every element of one path
// with every element of the other.
constexpr int kMaxClipElements = 4000;
std::int64_t ClipCost(int a, int b) { return std::int64_t(a) + b + std::int64_t(a) * b / 16; }

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

} // namespace

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

void GdiPlayer::SelectClipPath(int mode)
{
    if (m_state->inPath)
        return;
    QPainterPath p = std::exchange(m_state->path, QPainterPath());
    p.setFillRule(m_state->polyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    CombineClip(p, mode);
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

} // namespace metafile
