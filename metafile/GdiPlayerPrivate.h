#pragma once
// What the drawing state machine's source files share: the device state
// that saved states copy, the clip, and small geometry checks. Private to
// the player; nothing outside metafile/GdiPlayer*.cpp includes it.

#include "GdiPlayer.h"

#include <QPainterPath>
#include <QRectF>
#include <QTransform>

#include <cmath>

namespace metafile {

namespace detail {

// Device coordinates beyond this (in painter pixels) are taken as broken
// geometry: such a primitive is skipped rather than handed to the
// rasteriser, whose fixed-point arithmetic does not reach that far.
constexpr double kCoordLimit = 1e7;

inline bool FiniteRect(const QRectF& r)
{
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right()) &&
           std::isfinite(r.bottom()) && std::abs(r.left()) < kCoordLimit && std::abs(r.right()) < kCoordLimit &&
           std::abs(r.top()) < kCoordLimit && std::abs(r.bottom()) < kCoordLimit;
}

inline bool FiniteTransform(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) && std::isfinite(t.m22()) &&
           std::isfinite(t.dx()) && std::isfinite(t.dy()) && std::isfinite(t.m13()) && std::isfinite(t.m23()) &&
           std::isfinite(t.m33());
}

inline double Scale(const QTransform& t)
{
    const double d = std::abs(t.m11() * t.m22() - t.m12() * t.m21());
    return std::isfinite(d) ? std::sqrt(d) : 0.0;
}

inline Pen NullPen()
{
    Pen p;
    p.style = gdi::PS_NULL;
    return p;
}

inline QPainterPath RectPath(const QRectF& r)
{
    QPainterPath p;
    p.addRect(r);
    return p;
}

} // namespace detail

struct GdiPlayer::Clip {
    bool none = true;
    QRegion region; // on the clip grid
};

struct GdiPlayer::State {
    Pen pen;
    Brush brush;
    Font font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    int bkMode = gdi::OPAQUE;
    std::uint32_t textAlign = 0;
    int polyFill = gdi::ALTERNATE;
    int rop2 = 13; // R2_COPYPEN
    int stretchMode = 1;
    int arcDirection = gdi::AD_COUNTERCLOCKWISE;
    double miterLimit = 10;
    double charExtra = 0;
    int mapMode = gdi::MM_TEXT;
    QPointF winOrg{0, 0}, winExt{1, 1}, vpOrg{0, 0}, vpExt{1, 1};
    QTransform world;
    QPointF cur;
    bool inPath = false;
    bool figureOpen = false;
    QPainterPath path; // device space
    Clip clip;
};

} // namespace metafile
