#pragma once
// Draws a chart onto any QPainter: the screen, an image or a metafile. One
// path for all of them, so what is exported is what is shown.

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;
class QFontMetrics;
class TChartModel;
class TChartAxis;
class TChartSeries;
class QPoint;

// The labels of one axis: their values, texts and the step between them.
struct AxisTicks {
    double step = 0.0;
    QList<double> values;
    QList<QString> texts;
};

// Where the parts of a chart go inside its rectangle.
struct ChartLayout {
    QRect panel;    // the chart's own panel (the rectangle less the shadow)
    QRect plot;     // the plot area inside the axes
    double xLo = 0, xHi = 1, yLo = 0, yHi = 1; // the ranges drawn
    bool xEmpty = true, yEmpty = true;          // automatic axes without data
    AxisTicks xTicks, yTicks;
};

// The range an axis draws: its bounds, widened when they coincide (or lie
// a few ulps or a few denormals apart) so that the data still has a place
// in the middle; the widening stops at the largest double. The span may
// exceed the largest double; the renderer measures such a range in halves.
void DisplayRange(double min, double max, double& lo, double& hi);

// The labels for `axis` drawn over [lo, hi] on `lengthPx` pixels. With an
// increment of 0 the step is the smallest 1-2-5 step whose labels fit; a
// positive increment is doubled until they fit.
AxisTicks ComputeAxisTicks(const TChartAxis& axis, double lo, double hi, int lengthPx, const QFontMetrics& fm);

ChartLayout ComputeChartLayout(const TChartModel& chart, const QRect& rect);

// Paints the whole chart into `rect`. Anti-aliasing is switched on.
void RenderChart(const TChartModel& chart, QPainter& painter, const QRect& rect);

// Parts of a picture that a caller draws in its own way.
struct RenderHints {
    // False leaves out the series (drawn last, clipped to the plot area
    // widened by one pixel to the right and down).
    bool drawSeries = true;
    // Receives the plot area.
    QRect* plot = nullptr;
    // What shows around the chart's panel (the window behind the corners
    // that the shadow leaves free). When valid, the rectangle is filled with
    // it outside the panel and the shadow is drawn opaque, in the colour it
    // blends to over it; otherwise nothing is drawn there and the shadow is
    // half transparent over whatever the device holds.
    QColor backdrop;
};
void RenderChart(const TChartModel& chart, QPainter& painter, const QRect& rect, const RenderHints& hints);

namespace renderer_detail {
// The device positions at which a series' markers are drawn, each once, in
// the order of the first point at each; with `threads`, a large series is
// walked in two halves at once (for tests: the result is the same).
std::vector<QPoint> DistinctPositions(const TChartSeries& s, const ChartLayout& L, const QRect& area, bool threads);
} // namespace renderer_detail
