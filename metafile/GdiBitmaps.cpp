#include "GdiPlayerPrivate.h"

#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

using namespace gdi;
using namespace detail;

// ---------------------------------------------------------------- bitmaps

void GdiPlayer::SetImageSteps(const QRectF& dst, QSizeF srcSize, DibOptions& options) const
{
    const QRectF onPainter = (LogicalToDevice() * m_setup.base).mapRect(dst.normalized());
    auto step = [](double src, double out) {
        const double k = std::abs(src) / std::max(2 * out, 1.0);
        return std::isfinite(k) && k >= 2 ? unsigned(std::min(k, 32767.0)) : 1u;
    };
    options.stepX = step(srcSize.width(), onPainter.width());
    options.stepY = step(srcSize.height(), onPainter.height());
}

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
    // Scaling reads every source pixel that shows.
    const std::int64_t sourcePixels = std::int64_t(std::ceil(visible.width())) * std::int64_t(std::ceil(visible.height()));
    if (!FiniteRect(bounds) || !FiniteTransform(toPainter) || !ChargePoints(sourcePixels) || !ChargeArea(bounds) ||
        !Prepare(bounds))
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
        // A copy of the bitmap with its key colour cleared.
        if (!ChargePoints(std::int64_t(img.width()) * img.height()))
            return;
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
