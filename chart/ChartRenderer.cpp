#include "ChartRenderer.h"

#include "ChartModel.h"
#include "NumberFormat.h"
#include "Parallel.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int kMargin = 8;    // around the panel's contents
constexpr int kTickLength = 4;
constexpr int kLabelGap = 3;  // between ticks, labels and axis names

QColor SeriesQColor(const TChartSeries& s, TColor pointColor)
{
    return ToQColor(pointColor == clSeriesColor ? s.SeriesColor() : pointColor);
}

Qt::PenStyle ToQtPenStyle(TPenStyle s)
{
    switch (s) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psSolid: break;
    }
    return Qt::SolidLine;
}

// Maps values of [lo, hi] onto `px` device pixels as offsets from lo:
// (v - lo) * px / (hi - lo). The difference is taken first, so values far
// from zero keep every bit of their distance from lo instead of cancelling
// between two large terms. A span beyond the largest double is worked on
// halves, which are exact there.
class AxisScale {
public:
    AxisScale(double lo, double hi, double px) : m_lo(lo), m_halved(!std::isfinite(hi - lo))
    {
        m_scale = m_halved ? px / (hi * 0.5 - lo * 0.5) : px / (hi - lo);
    }
    double operator()(double v) const { return m_halved ? (v * 0.5 - m_lo * 0.5) * m_scale : (v - m_lo) * m_scale; }
    // Pixels per unit of value.
    double PerUnit() const { return m_halved ? m_scale * 0.5 : m_scale; }
    // For the plain case, (v - Lo()) * Scale() is the offset.
    bool Halved() const { return m_halved; }
    double Lo() const { return m_lo; }
    double Scale() const { return m_scale; }

private:
    double m_lo;
    bool m_halved;
    double m_scale = 0;
};

AxisScale XScale(const ChartLayout& L) { return AxisScale(L.xLo, L.xHi, L.plot.width()); }
AxisScale YScale(const ChartLayout& L) { return AxisScale(L.yLo, L.yHi, L.plot.height()); }

QString AxisLabelText(double v)
{
    return FormatGrouped(v, 3, NumberFormat::Current());
}

// The smallest 1-2-5 step not below `raw`; infinity when that step is
// beyond the largest double.
double NiceStepAtLeast(double raw)
{
    if (!std::isfinite(raw))
        return raw;
    if (!(raw > 0))
        return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * p >= raw * (1 - 1e-12))
            return m * p;
    }
    return 10.0 * p;
}

// Labels at the multiples of `step` within [lo, hi]. Fails when there would
// be more than `maxCount` of them, or when the doubles near the range are
// too coarse for the step: the labels would stand off their multiples,
// unevenly spaced, or several for one value.
bool FillTicks(AxisTicks& t, double lo, double hi, double step, qsizetype maxCount)
{
    t.step = step;
    t.values.clear();
    t.texts.clear();
    if (!(step > 0) || !std::isfinite(step))
        return false;
    // A multiple that misses an end by a rounding error still counts, but
    // never one that lies off a range much narrower than the step.
    const double span = hi - lo; // may be infinite
    const double slack = 1e-9 * std::min(1.0, span / step);
    const double first = std::ceil(lo / step - slack);
    const double last = std::floor(hi / step + slack);
    if (!std::isfinite(first) || !std::isfinite(last))
        return false;
    if (last < first)
        return true; // no multiple within the range
    // Beyond 2^53 whole numbers are no longer one apart, and the doubles
    // near the range are at least two steps apart.
    constexpr double kWholeLimit = 9007199254740992.0;
    if (std::fabs(first) >= kWholeLimit || std::fabs(last) >= kWholeLimit)
        return false;
    // Counted with an integer: the labels' multipliers are exact.
    if (last - first >= double(maxCount))
        return false;
    const qsizetype count = qsizetype(last - first) + 1;
    t.values.reserve(count);
    t.texts.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const double k = first + double(i);
        double v = k * step;
        // The rounding of k * step, exactly; more than a thousandth of a
        // step would show as an uneven label.
        if (std::fabs(std::fma(k, step, -v)) > step * 1e-3)
            return false;
        if (std::fabs(v) < step * 1e-9)
            v = 0.0; // never "-0"
        t.values.append(v);
        t.texts.append(AxisLabelText(v));
    }
    return true;
}

// Whether neighbouring labels keep clear of each other and read differently:
// labels finer than the format's three decimals would repeat one text.
bool TicksFit(const AxisTicks& t, bool horizontal, double pxPerUnit, const QFontMetrics& fm)
{
    for (qsizetype i = 1; i < t.texts.size(); ++i)
        if (t.texts[i] == t.texts[i - 1])
            return false;
    const double spacingPx = t.step * pxPerUnit;
    if (horizontal) {
        int widest = 0;
        for (const QString& s : t.texts)
            widest = std::max(widest, fm.horizontalAdvance(s));
        return spacingPx >= widest + 2 * kLabelGap + 4;
    }
    return spacingPx >= fm.height() + kLabelGap;
}

int TextWidth(const QFontMetrics& fm, const QString& s) { return fm.horizontalAdvance(s); }

// `f` at the device's resolution, enlarged by the chart's text scale.
QFont DeviceFont(const TChartFont& f, QPaintDevice* device, double scale)
{
    QFont q = f.ToQFont();
    if (scale != 1.0)
        q.setPointSizeF(q.pointSizeF() * scale);
    // A PDF maps glyphs back to characters through the font's own character
    // table; glyphs that shaping substituted (Latin digits in a Japanese
    // face) are missing there, and their text could not be found or copied.
    // Texts without complex scripts need no shaping.
    const QPaintEngine* engine = device ? device->paintEngine() : nullptr;
    if (engine && engine->type() == QPaintEngine::Pdf)
        q.setStyleStrategy(QFont::PreferNoShaping);
    return device ? QFont(q, device) : q;
}

int TitleHeight(const TChartTitle& t, const QFont& font)
{
    if (!t.Visible() || t.Text().Count() == 0)
        return 0;
    return QFontMetrics(font).height() * t.Text().Count();
}

void DrawTitle(QPainter& p, const TChartTitle& t, const QFont& font, const QRect& panel, int top)
{
    if (!t.Visible())
        return;
    const QFontMetrics fm(font);
    p.setFont(font);
    p.setPen(ToQColor(t.Font().Color()));
    int y = top;
    for (const QString& line : t.Text().Lines()) {
        const int w = fm.horizontalAdvance(line);
        int x = panel.left() + (panel.width() - w) / 2;
        if (t.Alignment() == taLeftJustify)
            x = panel.left() + kMargin;
        else if (t.Alignment() == taRightJustify)
            x = panel.right() - kMargin - w;
        p.drawText(QPoint(x, y + fm.ascent()), line);
        y += fm.height();
    }
}

// A marker centred on (0, 0) covering (2h + 1) x (2v + 1) pixels.
QPainterPath MarkerPath(TSeriesPointerStyle style, int h, int v)
{
    QPainterPath path;
    const double l = -h, r = h + 1, t = -v, b = v + 1;
    const double cx = 0.5, cy = 0.5;
    switch (style) {
    case psCircle: path.addEllipse(QRectF(l, t, r - l, b - t)); break;
    case psTriangle:
        path.moveTo(cx, t);
        path.lineTo(r, b);
        path.lineTo(l, b);
        path.closeSubpath();
        break;
    case psDiamond:
        path.moveTo(cx, t);
        path.lineTo(r, cy);
        path.lineTo(cx, b);
        path.lineTo(l, cy);
        path.closeSubpath();
        break;
    case psRectangle: path.addRect(QRectF(l, t, r - l, b - t)); break;
    }
    return path;
}

// Distinct device positions of points [begin, end) inside an area of w x h
// pixels, in the order of their first point, relative to the area's corner;
// `seen` (w * h bits, cleared) marks the positions taken.
void FirstPositions(const double* xs, const double* ys, qsizetype begin, qsizetype end, const AxisScale& sx,
                    const AxisScale& sy, double ox, double oy, int w, int h, std::vector<std::uint64_t>& seen,
                    std::vector<QPoint>& out)
{
    out.reserve(size_t(std::min<qsizetype>(end - begin, 1 << 16)));
    auto take = [&](int px, int py) {
        const size_t bit = size_t(py) * size_t(w) + size_t(px);
        std::uint64_t& word = seen[bit >> 6];
        const std::uint64_t mask = std::uint64_t(1) << (bit & 63);
        if (word & mask)
            return;
        word |= mask;
        out.emplace_back(px, py);
    };
    qsizetype i = begin;
#if defined(__SSE2__)
    if (!sx.Halved() && !sy.Halved()) {
        // Two points at a time, each step the same double operation as
        // below, so every point lands on the same pixel.
        const __m128d xLo = _mm_set1_pd(sx.Lo()), xScale = _mm_set1_pd(sx.Scale());
        const __m128d yLo = _mm_set1_pd(sy.Lo()), yScale = _mm_set1_pd(sy.Scale());
        const __m128d vox = _mm_set1_pd(ox), voy = _mm_set1_pd(oy), half = _mm_set1_pd(0.5);
        const __m128d zero = _mm_setzero_pd(), vw = _mm_set1_pd(double(w)), vh = _mm_set1_pd(double(h));
        for (; i + 2 <= end; i += 2) {
            const __m128d fx =
                _mm_add_pd(_mm_add_pd(vox, _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(xs + i), xLo), xScale)), half);
            const __m128d fy =
                _mm_add_pd(_mm_sub_pd(voy, _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(ys + i), yLo), yScale)), half);
            const __m128d inside = _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(fx, zero), _mm_cmplt_pd(fx, vw)),
                                              _mm_and_pd(_mm_cmpge_pd(fy, zero), _mm_cmplt_pd(fy, vh)));
            const int lanes = _mm_movemask_pd(inside);
            if (lanes == 0)
                continue;
            // Only coordinates inside the area are converted.
            const __m128d sfx = _mm_and_pd(fx, inside), sfy = _mm_and_pd(fy, inside);
            const __m128i ix = _mm_cvttpd_epi32(sfx), iy = _mm_cvttpd_epi32(sfy);
            if (lanes & 1)
                take(_mm_cvtsi128_si32(ix), _mm_cvtsi128_si32(iy));
            if (lanes & 2)
                take(_mm_cvtsi128_si32(_mm_shuffle_epi32(ix, 1)), _mm_cvtsi128_si32(_mm_shuffle_epi32(iy, 1)));
        }
    }
#endif
    for (; i < end; ++i) {
        const double fx = ox + sx(xs[i]) + 0.5;
        const double fy = oy - sy(ys[i]) + 0.5;
        if (!(fx >= 0.0 && fx < double(w) && fy >= 0.0 && fy < double(h)))
            continue;
        take(int(fx), int(fy));
    }
}

} // namespace

// Distinct device positions of a series' points inside `area`, each once,
// in the order of the first point at each.
std::vector<QPoint> renderer_detail::DistinctPositions(const TChartSeries& s, const ChartLayout& L, const QRect& area,
                                                       bool threads)
{
    std::vector<QPoint> out;
    const qsizetype n = s.RawX().size();
    if (n == 0 || area.isEmpty())
        return out;
    const AxisScale sx = XScale(L), sy = YScale(L);
    // Positions relative to the area's corner, so they are never negative.
    const double ox = L.plot.left() - area.left();
    const double oy = L.plot.bottom() + 1 - area.top();
    const int w = area.width(), h = area.height();
    const size_t words = (size_t(w) * size_t(h) + 63) / 64;
    const double* xs = s.RawX().constData();
    const double* ys = s.RawY().constData();
    std::vector<std::uint64_t> seen(words, 0);
    // Below this many points a second thread costs more than it saves.
    constexpr qsizetype kParallelPoints = 262144;
    if (n < kParallelPoints || !threads) {
        FirstPositions(xs, ys, 0, n, sx, sy, ox, oy, w, h, seen, out);
    } else {
        // Each half on its own; the second half's positions then follow
        // those of the first that it did not reach first, which is the
        // order one walk over all points gives.
        std::vector<std::uint64_t> seenB(words, 0);
        std::vector<QPoint> outB;
        const qsizetype mid = n / 2;
        InParallel([&] { FirstPositions(xs, ys, 0, mid, sx, sy, ox, oy, w, h, seen, out); },
                   [&] { FirstPositions(xs, ys, mid, n, sx, sy, ox, oy, w, h, seenB, outB); });
        for (const QPoint& pt : outB) {
            const size_t bit = size_t(pt.y()) * size_t(w) + size_t(pt.x());
            if (!(seen[bit >> 6] & (std::uint64_t(1) << (bit & 63))))
                out.push_back(pt);
        }
    }
    for (QPoint& pt : out)
        pt += area.topLeft();
    return out;
}

namespace {
using renderer_detail::DistinctPositions;

// The distinct marker positions of the last layout drawn, kept with the
// series until its points change.
struct MarkerPositions final : TChartSeries::RenderCache {
    QRect plot, area;
    double xLo, xHi, yLo, yHi;
    const double* xs;
    const double* ys;
    qsizetype n;
    std::vector<QPoint> positions;
    bool Fits(const TChartSeries& s, const ChartLayout& L, const QRect& a) const
    {
        return plot == L.plot && area == a && xLo == L.xLo && xHi == L.xHi && yLo == L.yLo && yHi == L.yHi
            && xs == s.RawX().constData() && ys == s.RawY().constData() && n == s.RawX().size();
    }
};

const std::vector<QPoint>& CachedPositions(const TChartSeries& s, const ChartLayout& L, const QRect& area)
{
    if (auto* c = dynamic_cast<MarkerPositions*>(s.Cache()); c && c->Fits(s, L, area))
        return c->positions;
    auto c = std::make_unique<MarkerPositions>();
    c->plot = L.plot;
    c->area = area;
    c->xLo = L.xLo;
    c->xHi = L.xHi;
    c->yLo = L.yLo;
    c->yHi = L.yHi;
    c->xs = s.RawX().constData();
    c->ys = s.RawY().constData();
    c->n = s.RawX().size();
    c->positions = DistinctPositions(s, L, area, true);
    const std::vector<QPoint>& positions = c->positions;
    s.SetCache(std::move(c));
    return positions;
}

void DrawMarkers(QPainter& p, const TChartSeries& s, const ChartLayout& L)
{
    const TSeriesPointer& ptr = s.Pointer();
    // A marker reaching the plot's width plus height from its centre already
    // covers the whole plot from any centre inside it (a square, circle or
    // diamond exactly); larger sizes would only grow the position bitmap and
    // the sprite below past any memory, so they are drawn at that size.
    const int cap = L.plot.width() + L.plot.height() + 2;
    const int h = std::clamp(ptr.HorizSize(), 1, cap);
    const int v = std::clamp(ptr.VertSize(), 1, cap);
    const QRect area = L.plot.adjusted(-h - 1, -v - 1, h + 1, v + 1);
    const QPainterPath path = MarkerPath(ptr.Style(), h, v);

    if (s.HasPointColors()) {
        // Rare: points with colours of their own are drawn one by one.
        const AxisScale sx = XScale(L), sy = YScale(L);
        for (qsizetype i = 0; i < s.Count(); ++i) {
            // Compared as doubles: a point far off the plot has no int.
            const double px = std::floor(L.plot.left() + sx(s.XValue(i)) + 0.5);
            const double py = std::floor(L.plot.bottom() + 1 - sy(s.YValue(i)) + 0.5);
            if (!(px >= area.left() && px <= area.right() && py >= area.top() && py <= area.bottom()))
                continue;
            const QColor c = SeriesQColor(s, s.ValueColor(i));
            p.setPen(QPen(c.darker(140), 1));
            p.setBrush(c);
            p.drawPath(path.translated(px, py));
        }
        return;
    }

    const std::vector<QPoint>& positions = CachedPositions(s, L, area);
    if (positions.empty())
        return;
    const QColor fill = SeriesQColor(s, clSeriesColor);
    const QPen outline(fill.darker(140), 1);
    QPaintEngine* engine = p.paintEngine();
    const bool raster = engine && engine->type() == QPaintEngine::Raster && p.transform().isIdentity();
    if (raster && positions.size() > 64) {
        // On pixel devices one pre-drawn marker is copied to every position.
        const qreal dpr = p.device()->devicePixelRatioF();
        const int sw = 2 * h + 4, sh = 2 * v + 4;
        QImage sprite(int(std::ceil(sw * dpr)), int(std::ceil(sh * dpr)), QImage::Format_ARGB32_Premultiplied);
        sprite.setDevicePixelRatio(dpr);
        sprite.fill(Qt::transparent);
        {
            QPainter sp(&sprite);
            sp.setRenderHint(QPainter::Antialiasing, true);
            sp.setPen(outline);
            sp.setBrush(fill);
            sp.drawPath(path.translated(h + 1.5, v + 1.5));
        }
        for (const QPoint& pt : positions)
            p.drawImage(QPointF(pt.x() - h - 1.5, pt.y() - v - 1.5), sprite);
        return;
    }
    p.setPen(outline);
    p.setBrush(fill);
    for (const QPoint& pt : positions)
        p.drawPath(path.translated(pt.x(), pt.y()));
}

// Cuts the segment a-b to `box` (Liang-Barsky); false when nothing of it
// lies inside. Worked in long double, whose range holds the differences of
// any two doubles.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& box)
{
    if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) || !std::isfinite(b.y()))
        return false;
    const long double ax = a.x(), ay = a.y();
    const long double dx = (long double)b.x() - ax, dy = (long double)b.y() - ay;
    long double t0 = 0, t1 = 1;
    int edge0 = -1, edge1 = -1; // the box edge each end was cut at
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {ax - box.left(), box.right() - ax, ay - box.top(), box.bottom() - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const long double r = q[i] / p[i];
        if (p[i] < 0 && r > t0) {
            t0 = r;
            edge0 = i;
        } else if (p[i] > 0 && r < t1) {
            t1 = r;
            edge1 = i;
        }
        if (t0 > t1)
            return false;
    }
    // A cut end lies on its edge exactly: from a far-away end the sum of a
    // huge start and a huge step would lose that coordinate altogether.
    auto at = [&](long double t, int edge) {
        QPointF pt(double(ax + t * dx), double(ay + t * dy));
        switch (edge) {
        case 0: pt.setX(box.left()); break;
        case 1: pt.setX(box.right()); break;
        case 2: pt.setY(box.top()); break;
        case 3: pt.setY(box.bottom()); break;
        default: break;
        }
        return pt;
    };
    if (edge1 >= 0)
        b = at(t1, edge1);
    if (edge0 >= 0)
        a = at(t0, edge0);
    return true;
}

// Draws a polyline whose points may lie millions of pixels away, where the
// painter gives up on it: only the parts near `box` are handed over.
void DrawFarPolyline(QPainter& p, const QPolygonF& poly, const QRectF& box)
{
    QPolygonF piece;
    for (qsizetype i = 1; i < poly.size(); ++i) {
        QPointF a = poly[i - 1], b = poly[i];
        if (!ClipSegment(a, b, box))
            continue;
        if (piece.isEmpty() || piece.constLast() != a) {
            if (piece.size() > 1)
                p.drawPolyline(piece);
            piece.clear();
            piece << a;
        }
        piece << b;
    }
    if (piece.size() > 1)
        p.drawPolyline(piece);
}

void DrawLine(QPainter& p, const TChartSeries& s, const ChartLayout& L)
{
    const qsizetype n = s.Count();
    if (n < 2 || !s.LinePen().Visible())
        return;
    QPen pen(SeriesQColor(s, clSeriesColor));
    // Half of this width already reaches across the whole plot from a line
    // through it; wider pens make the painter draw nothing at all.
    pen.setWidth(std::min(s.LinePen().Width(), 2 * (L.plot.width() + L.plot.height()) + 2));
    pen.setStyle(ToQtPenStyle(s.LinePen().Style()));
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const AxisScale sx = XScale(L), sy = YScale(L);
    auto toDevice = [&](qsizetype i) {
        return QPointF(L.plot.left() + sx(s.XValue(i)), L.plot.bottom() + 1 - sy(s.YValue(i)));
    };
    QPolygonF poly;
    if (n <= 4 * qsizetype(L.plot.width() + 1)) {
        poly.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            poly.append(toDevice(i));
    } else {
        // Many points per pixel column: the first, lowest, highest and last
        // point of each column draw the same line.
        qsizetype i = 0;
        while (i < n) {
            const QPointF first = toDevice(i);
            const long col = std::lround(first.x());
            QPointF lo = first, hi = first, last = first;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                const QPointF q = toDevice(j);
                if (std::lround(q.x()) != col)
                    break;
                if (q.y() < lo.y())
                    lo = q;
                if (q.y() > hi.y())
                    hi = q;
                last = q;
            }
            poly << first << lo << hi << last;
            i = j;
        }
    }
    // Within a few thousand plot sizes of the plot area the painter copes.
    const double limit = 1000.0 * std::max(L.plot.width(), L.plot.height());
    const QRectF near = QRectF(L.plot).adjusted(-limit, -limit, limit, limit);
    for (const QPointF& pt : poly)
        if (!near.contains(pt)) {
            const double m = pen.widthF() + 2.0;
            DrawFarPolyline(p, poly, QRectF(L.plot).adjusted(-m, -m, m, m));
            return;
        }
    p.drawPolyline(poly);
}

} // namespace

void DisplayRange(double min, double max, double& lo, double& hi)
{
    lo = min;
    hi = max;
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0.0;
        hi = 1.0;
        return;
    }
    if (hi < lo)
        std::swap(lo, hi);
    // A span of a few ulps, or one so small (denormals) that pixels per unit
    // would be beyond the largest double, is drawn like a single value.
    constexpr double kNarrowest = 1e-290;
    const double span = hi - lo; // infinite for a range wider than a double reaches
    if (span <= std::max(std::fabs(lo), std::fabs(hi)) * 1e-15 || span < kNarrowest) {
        const double pad = lo == 0.0 ? 1.0 : std::max(1.0, std::fabs(lo) * 0.01);
        // Near the largest double the padding stops at it.
        constexpr double kMax = std::numeric_limits<double>::max();
        lo = std::max(lo - pad, -kMax);
        hi = std::min(hi + pad, kMax);
    }
}

AxisTicks ComputeAxisTicks(const TChartAxis& axis, double lo, double hi, int lengthPx, const QFontMetrics& fm)
{
    AxisTicks t;
    if (lengthPx <= 0 || !(hi > lo))
        return t;
    const double pxPerUnit = AxisScale(lo, hi, lengthPx).PerUnit();
    // Half the span, which a double holds even when the span does not.
    const double halfSpan = hi * 0.5 - lo * 0.5;
    const qsizetype maxCount = std::max(2, lengthPx / 4);
    const bool horizontal = axis.Horizontal();
    if (axis.Increment() > 0) {
        double step = axis.Increment();
        for (int guard = 0; guard < 2100 && std::isfinite(step); ++guard, step *= 2.0) {
            if (step * pxPerUnit * double(maxCount) < lengthPx) // cheap pre-check before formatting
                continue;
            if (FillTicks(t, lo, hi, step, maxCount) && TicksFit(t, horizontal, pxPerUnit, fm))
                return t;
        }
        t = AxisTicks();
        return t;
    }
    // The axis's own step: the smallest 1-2-5 step whose labels fit.
    const int approxSpacing = horizontal ? TextWidth(fm, AxisLabelText(hi)) + 12 : fm.height() + kLabelGap;
    // Never finer than the last decimal that the labels show.
    constexpr double kFinestStep = 0.001;
    const double room = std::max(1, lengthPx / std::max(1, approxSpacing));
    double step = NiceStepAtLeast(std::max(kFinestStep, halfSpan / room * 2.0));
    for (int guard = 0; guard < 60 && std::isfinite(step); ++guard) {
        if (FillTicks(t, lo, hi, step, maxCount) && TicksFit(t, horizontal, pxPerUnit, fm))
            return t;
        step = NiceStepAtLeast(step * 1.5);
    }
    return AxisTicks();
}

namespace {

// An automatic axis has nothing to label while no shown series holds a point;
// data that all lies on zero still gets labels.
bool HasShownData(const TChartModel& chart)
{
    for (int i = 0; i < chart.SeriesCount(); ++i)
        if (chart.Series(i)->Active() && chart.Series(i)->Count() > 0)
            return true;
    return false;
}

ChartLayout Layout(const TChartModel& chart, const QRect& rect, QPaintDevice* device)
{
    ChartLayout L;
    const TChartShadow& sh = chart.Shadow();
    L.panel = rect;
    if (sh.Visible())
        L.panel = rect.adjusted(0, 0, -std::max(0, sh.HorizSize()), -std::max(0, sh.VertSize()));

    const QFont titleFont = DeviceFont(chart.Title().Font(), device, chart.TextScale());
    const QFont subFont = DeviceFont(chart.SubTitle().Font(), device, chart.TextScale());
    const QFontMetrics labelFmX(DeviceFont(chart.BottomAxis().LabelsFont(), device, chart.TextScale()));
    const QFontMetrics labelFmY(DeviceFont(chart.LeftAxis().LabelsFont(), device, chart.TextScale()));
    const QFontMetrics axisTitleFmX(DeviceFont(chart.BottomAxis().Title().Font(), device, chart.TextScale()));
    const QFontMetrics axisTitleFmY(DeviceFont(chart.LeftAxis().Title().Font(), device, chart.TextScale()));

    int top = L.panel.top() + kMargin;
    top += TitleHeight(chart.Title(), titleFont);
    top += TitleHeight(chart.SubTitle(), subFont);
    top += kMargin + labelFmY.height() / 2;

    int bottom = L.panel.bottom() - kMargin;
    bottom -= kTickLength + kLabelGap + labelFmX.height();
    if (!chart.BottomAxis().Title().Caption().isEmpty())
        bottom -= kLabelGap + axisTitleFmX.height();

    const int plotHeight = std::max(1, bottom - top + 1);
    const TChartAxis& left = chart.LeftAxis();
    const TChartAxis& bottomAxis = chart.BottomAxis();
    left.UpdateAutomaticRange(plotHeight);
    const bool noData = !HasShownData(chart);
    L.yEmpty = left.Automatic() && noData;
    DisplayRange(left.Minimum(), left.Maximum(), L.yLo, L.yHi);
    if (!L.yEmpty)
        L.yTicks = ComputeAxisTicks(left, L.yLo, L.yHi, plotHeight, labelFmY);

    int labelWidth = 0;
    for (const QString& s : L.yTicks.texts)
        labelWidth = std::max(labelWidth, labelFmY.horizontalAdvance(s));
    // Labels of hundreds of digits (values near the largest double) would
    // leave no room for the plot: the axis goes without them.
    if (labelWidth > L.panel.width() / 2)
        L.yTicks = AxisTicks();
    if (L.yTicks.texts.isEmpty())
        labelWidth = labelFmY.horizontalAdvance(QStringLiteral("0"));
    int plotLeft = L.panel.left() + kMargin;
    if (!left.Title().Caption().isEmpty())
        plotLeft += axisTitleFmY.height() + kLabelGap;
    plotLeft += labelWidth + kLabelGap + kTickLength;

    // First guess of the room on the right: half of the last bottom label.
    bottomAxis.UpdateAutomaticRange(std::max(1, L.panel.right() - kMargin - plotLeft));
    double xlo, xhi;
    DisplayRange(bottomAxis.Minimum(), bottomAxis.Maximum(), xlo, xhi);
    const int halfLastLabel = std::min(labelFmX.horizontalAdvance(AxisLabelText(xhi)) / 2, L.panel.width() / 4);
    int plotRight = L.panel.right() - std::max(kMargin * 2, halfLastLabel + kMargin);
    int plotWidth = 1;
    L.xEmpty = bottomAxis.Automatic() && noData;
    // The bottom labels are centred on their ticks; when the first or the
    // last one would reach beyond the panel's margin, the plot area gives
    // way and the labels are placed again.
    for (int pass = 0;; ++pass) {
        plotWidth = std::max(1, plotRight - plotLeft + 1);
        bottomAxis.UpdateAutomaticRange(plotWidth);
        DisplayRange(bottomAxis.Minimum(), bottomAxis.Maximum(), L.xLo, L.xHi);
        L.xTicks = L.xEmpty ? AxisTicks() : ComputeAxisTicks(bottomAxis, L.xLo, L.xHi, plotWidth, labelFmX);
        if (L.xTicks.values.isEmpty()) {
            // No labels after all: the room kept for the last one goes back
            // to the plot.
            const int fullRight = L.panel.right() - kMargin * 2;
            if (pass == 0 && plotRight < fullRight) {
                plotRight = fullRight;
                continue;
            }
            break;
        }
        const AxisScale sx(L.xLo, L.xHi, plotWidth);
        auto centre = [&](qsizetype i) { return plotLeft + sx(L.xTicks.values[i]); };
        const qsizetype last = L.xTicks.values.size() - 1;
        const double leftEdge = centre(0) - labelFmX.horizontalAdvance(L.xTicks.texts[0]) / 2.0;
        const double rightEdge = centre(last) + labelFmX.horizontalAdvance(L.xTicks.texts[last]) / 2.0;
        const int overLeft = int(std::ceil(L.panel.left() + kMargin - leftEdge));
        const int overRight = int(std::ceil(rightEdge - (L.panel.right() - kMargin)));
        if ((overLeft <= 0 && overRight <= 0) || pass == 3)
            break;
        const int newLeft = plotLeft + std::max(0, overLeft);
        const int newRight = plotRight - std::max(0, overRight);
        if (newRight - newLeft < 2 * kMargin) // too narrow to make room: keep what there is
            break;
        plotLeft = newLeft;
        plotRight = newRight;
    }

    L.plot = QRect(plotLeft, top, plotWidth, plotHeight);
    return L;
}

} // namespace

ChartLayout ComputeChartLayout(const TChartModel& chart, const QRect& rect)
{
    return Layout(chart, rect, nullptr);
}

void RenderChart(const TChartModel& chart, QPainter& p, const QRect& rect)
{
    RenderChart(chart, p, rect, RenderHints{});
}

namespace {

QFont ChartFont(const QPainter& p, const TChartModel& chart, const TChartFont& f)
{
    return DeviceFont(f, p.device(), chart.TextScale());
}

// `top` with `alpha` of it laid over the opaque `under`, rounded as a
// painter blends.
QColor Blend(const QColor& top, double alpha, const QColor& under)
{
    auto mix = [&](int a, int b) { return int(std::lround(a * alpha + b * (1.0 - alpha))); };
    return QColor(mix(top.red(), under.red()), mix(top.green(), under.green()), mix(top.blue(), under.blue()));
}

// The chart's rectangle around the panel (with a backdrop), the shadow
// and the panel with its border. Over a known backdrop the half-transparent
// shadow is the one colour it blends to there, so every picture of the
// chart, on any device, shows the same opaque strips.
void DrawPanelAndShadow(QPainter& p, const TChartModel& chart, const ChartLayout& L, const QRect& rect,
                        const QColor& backdrop)
{
    const TChartShadow& sh = chart.Shadow();
    if (backdrop.isValid() && L.panel != rect)
        p.fillRect(rect, QColor(backdrop.rgb()));
    if (sh.Visible()) {
        const double alpha = 1.0 - sh.Transparency() / 100.0;
        QColor c = ToQColor(sh.Color());
        if (backdrop.isValid())
            c = Blend(c, alpha, QColor(backdrop.rgb()));
        else
            c.setAlphaF(alpha);
        p.fillRect(L.panel.translated(sh.HorizSize(), sh.VertSize()), c);
    }
    p.fillRect(L.panel, ToQColor(chart.Color()));
    if (chart.Border().Visible()) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(L.panel.adjusted(0, 0, -1, -1));
        p.restore();
    }
}

void DrawTitles(QPainter& p, const TChartModel& chart, const ChartLayout& L)
{
    const QFont titleFont = ChartFont(p, chart, chart.Title().Font());
    const QFont subFont = ChartFont(p, chart, chart.SubTitle().Font());
    const int y = L.panel.top() + kMargin;
    DrawTitle(p, chart.Title(), titleFont, L.panel, y);
    DrawTitle(p, chart.SubTitle(), subFont, L.panel, y + TitleHeight(chart.Title(), titleFont));
}

// The back wall: its fill, then the picture stretched over it.
void DrawBackWall(QPainter& p, const TChartModel& chart, const ChartLayout& L)
{
    const TChartWall& wall = chart.Walls().Back();
    if (!wall.Transparent())
        p.fillRect(L.plot, ToQColor(wall.Color()));
    if (wall.Picture().Empty())
        return;
    if (!wall.Picture().Image().isNull()) {
        p.drawImage(QRectF(L.plot), wall.Picture().Image());
    } else if (wall.Picture().Vector()) {
        p.save();
        p.setClipRect(L.plot, Qt::IntersectClip);
        wall.Picture().PlayVector(p, QRectF(L.plot), ToQColor(wall.Transparent() ? chart.Color() : wall.Color()));
        p.restore();
    }
}

int TickX(const ChartLayout& L, double v) { return int(std::lround(L.plot.left() + XScale(L)(v))); }
int TickY(const ChartLayout& L, double v) { return int(std::lround(L.plot.bottom() + 1 - YScale(L)(v))); }

// The one-pixel lines of the grid, the frame, the axes and the ticks. On
// the screen they are drawn aliased from whole coordinates, and each covers
// the pixels from its first to its last point. A vector document (SVG, PDF)
// draws a line centred on its path, so there the same pixels are covered
// by a line through their centres that reaches the far edge of the last
// one, with flat ends, so a dot pattern starts and repeats as on screen.
class PixelLines {
public:
    explicit PixelLines(QPainter& p) : m_p(p)
    {
        const QPaintEngine* engine = p.paintEngine();
        m_vector = engine && (engine->type() == QPaintEngine::SVG || engine->type() == QPaintEngine::Pdf);
    }
    void SetPen(const QColor& color, Qt::PenStyle style = Qt::SolidLine)
    {
        QPen pen(color, 0, style);
        if (m_vector)
            pen.setCapStyle(Qt::FlatCap);
        m_p.setPen(pen);
    }
    void Vertical(int x, int y1, int y2)
    {
        if (m_vector)
            m_p.drawLine(QLineF(x + 0.5, y1, x + 0.5, y2 + 1));
        else
            m_p.drawLine(x, y1, x, y2);
    }
    void Horizontal(int x1, int x2, int y)
    {
        if (m_vector)
            m_p.drawLine(QLineF(x1, y + 0.5, x2 + 1, y + 0.5));
        else
            m_p.drawLine(x1, y, x2, y);
    }
    // The outline of `r`, covering r.right() + 1 and r.bottom() + 1 too.
    void Frame(const QRect& r)
    {
        m_p.setBrush(Qt::NoBrush);
        if (m_vector)
            m_p.drawRect(QRectF(r).translated(0.5, 0.5));
        else
            m_p.drawRect(r);
    }

private:
    QPainter& m_p;
    bool m_vector = false;
};

// The dotted grid at every label, the plot's frame and the two axis lines.
void DrawGridAndFrame(QPainter& p, const ChartLayout& L)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    PixelLines lines(p);
    lines.SetPen(QColor(160, 160, 160), Qt::DotLine);
    for (double v : L.xTicks.values)
        lines.Vertical(TickX(L, v), L.plot.top(), L.plot.bottom());
    for (double v : L.yTicks.values)
        lines.Horizontal(L.plot.left(), L.plot.right(), TickY(L, v));
    lines.SetPen(QColor(128, 128, 128));
    lines.Frame(L.plot);
    lines.SetPen(Qt::black);
    lines.Vertical(L.plot.left(), L.plot.top(), L.plot.bottom() + 1);
    lines.Horizontal(L.plot.left(), L.plot.right(), L.plot.bottom() + 1);
    p.restore();
}

// The ticks and their labels, in each axis's label font and colour.
void DrawTicksAndLabels(QPainter& p, const TChartModel& chart, const ChartLayout& L)
{
    const QFont labelFontX = ChartFont(p, chart, chart.BottomAxis().LabelsFont());
    const QFont labelFontY = ChartFont(p, chart, chart.LeftAxis().LabelsFont());
    const QFontMetrics fmX(labelFontX), fmY(labelFontY);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    PixelLines lines(p);
    p.setFont(labelFontX);
    lines.SetPen(ToQColor(chart.BottomAxis().LabelsFont().Color()));
    for (qsizetype i = 0; i < L.xTicks.values.size(); ++i) {
        const int x = TickX(L, L.xTicks.values[i]);
        lines.Vertical(x, L.plot.bottom() + 1, L.plot.bottom() + 1 + kTickLength);
        const int w = fmX.horizontalAdvance(L.xTicks.texts[i]);
        p.drawText(QPoint(x - w / 2, L.plot.bottom() + 1 + kTickLength + kLabelGap + fmX.ascent()), L.xTicks.texts[i]);
    }
    p.setFont(labelFontY);
    lines.SetPen(ToQColor(chart.LeftAxis().LabelsFont().Color()));
    for (qsizetype i = 0; i < L.yTicks.values.size(); ++i) {
        const int y = TickY(L, L.yTicks.values[i]);
        lines.Horizontal(L.plot.left() - kTickLength, L.plot.left(), y);
        const int w = fmY.horizontalAdvance(L.yTicks.texts[i]);
        p.drawText(QPoint(L.plot.left() - kTickLength - kLabelGap - w, y - fmY.height() / 2 + fmY.ascent()),
                   L.yTicks.texts[i]);
    }
    p.restore();
}

// The bottom axis's name centred under its labels, the left one's turned
// upright at the panel's left margin.
void DrawAxisNames(QPainter& p, const TChartModel& chart, const ChartLayout& L)
{
    const TChartAxisTitle& bt = chart.BottomAxis().Title();
    if (!bt.Caption().isEmpty()) {
        const QFont f = ChartFont(p, chart, bt.Font());
        const QFontMetrics fm(f);
        const QFontMetrics fmX(ChartFont(p, chart, chart.BottomAxis().LabelsFont()));
        p.setFont(f);
        p.setPen(ToQColor(bt.Font().Color()));
        const int w = fm.horizontalAdvance(bt.Caption());
        const int ty = L.plot.bottom() + 1 + kTickLength + kLabelGap + fmX.height() + kLabelGap;
        p.drawText(QPoint(L.plot.left() + (L.plot.width() - w) / 2, ty + fm.ascent()), bt.Caption());
    }
    const TChartAxisTitle& lt = chart.LeftAxis().Title();
    if (!lt.Caption().isEmpty()) {
        const QFont f = ChartFont(p, chart, lt.Font());
        const QFontMetrics fm(f);
        p.save();
        p.setFont(f);
        p.setPen(ToQColor(lt.Font().Color()));
        const int w = fm.horizontalAdvance(lt.Caption());
        p.translate(L.panel.left() + kMargin + fm.ascent(), L.plot.top() + (L.plot.height() + w) / 2);
        p.rotate(-90);
        p.drawText(QPoint(0, 0), lt.Caption());
        p.restore();
    }
}

// The series, clipped to the plot area widened by one pixel to the right
// and down: every line first, then the markers on top.
void DrawSeries(QPainter& p, const TChartModel& chart, const ChartLayout& L)
{
    p.save();
    p.setClipRect(L.plot.adjusted(0, 0, 1, 1), Qt::IntersectClip);
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        const TChartSeries& s = *chart.Series(i);
        if (s.Active() && s.DrawsLine())
            DrawLine(p, s, L);
    }
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        const TChartSeries& s = *chart.Series(i);
        if (s.Active() && s.Pointer().Visible())
            DrawMarkers(p, s, L);
    }
    p.restore();
}

} // namespace

void RenderChart(const TChartModel& chart, QPainter& p, const QRect& rect, const RenderHints& hints)
{
    if (rect.isEmpty())
        return;
    p.save();
    // Nothing reaches beyond the chart's rectangle, however small it is.
    p.setClipRect(rect, Qt::IntersectClip);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const ChartLayout L = Layout(chart, rect, p.device());
    if (hints.plot)
        *hints.plot = L.plot;

    DrawPanelAndShadow(p, chart, L, rect, hints.backdrop);
    DrawTitles(p, chart, L);
    DrawBackWall(p, chart, L);
    DrawGridAndFrame(p, L);
    DrawTicksAndLabels(p, chart, L);
    DrawAxisNames(p, chart, L);
    if (hints.drawSeries)
        DrawSeries(p, chart, L);
    p.restore();
}
