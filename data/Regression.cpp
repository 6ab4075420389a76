#include "Regression.h"

#include "CheckedMath.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

using namespace checked;

// One step of compensated (Kahan) summation.
inline void KahanAdd(double& sum, double& c, double term)
{
    const double y = term - c;
    const double t = sum + y;
    c = (t - sum) - y;
    sum = t;
}

// The same with every intermediate checked, to raise the right error where
// the fast loop only saw that something went wrong.
inline void CheckedKahanAdd(double& sum, double& c, double term)
{
    const double y = Sub(term, c);
    const double t = Add(sum, y);
    c = Sub(Sub(t, sum), y);
    sum = t;
}

// Sum of (v[i] - shift) over all entries, the first term starting the sum.
// Shifting by the first value makes the mean of equal values exactly that
// value, so "all X equal" is recognised whatever the values.
double ShiftedSumChecked(const double* v, std::size_t n, double shift)
{
    double s = Sub(v[0], shift), c = 0;
    for (std::size_t i = 1; i < n; ++i)
        CheckedKahanAdd(s, c, Sub(v[i], shift));
    return s;
}

double SquaredDeviationsChecked(const double* v, std::size_t n, double mean)
{
    double d = Sub(mean, v[0]);
    double s = Mul(d, d), c = 0;
    for (std::size_t i = 1; i < n; ++i) {
        d = Sub(mean, v[i]);
        CheckedKahanAdd(s, c, Mul(d, d));
    }
    return s;
}

struct Pair {
    double x, y;
};

// Both columns in one loop: the two dependency chains overlap, which makes
// the pair nearly as fast as one.
Pair ShiftedColumnSums(const double* x, const double* y, std::size_t n)
{
    const double x0 = x[0], y0 = y[0];
    double sx = x0 - x0, cx = 0, sy = y0 - y0, cy = 0;
    for (std::size_t i = 1; i < n; ++i) {
        KahanAdd(sx, cx, x[i] - x0);
        KahanAdd(sy, cy, y[i] - y0);
    }
    return {sx, sy};
}

// The second pass: both sums of squared deviations and the covariance's
// running sum of products, each the same sequence of operations as on its
// own, so the three come out bit for bit as from three loops.
struct Deviations {
    double ssX, ssY, products;
};
Deviations SquaredDeviationsAndProducts(const double* x, const double* y, std::size_t n, double mx, double my)
{
    double dx = mx - x[0], dy = my - y[0];
    double sx = dx * dx, cx = 0, sy = dy * dy, cy = 0;
    // (x - mx)(y - my) = (mx - x)(my - y) exactly: negation is exact.
    double products = 0.0 + dx * dy;
    for (std::size_t i = 1; i < n; ++i) {
        dx = mx - x[i];
        dy = my - y[i];
        KahanAdd(sx, cx, dx * dx);
        KahanAdd(sy, cy, dy * dy);
        products += dx * dy;
    }
    return {sx, sy, products};
}

// Four lanes of minima and maxima as MinMax keeps them: lane k sees the
// entries i = k (mod 4) of the whole groups of four, lane 0 the rest too.
struct Lanes {
    double lo[4], hi[4];
    explicit Lanes(double v0) : lo{v0, v0, v0, v0}, hi{v0, v0, v0, v0} {}
    void Take(int k, double v)
    {
        lo[k] = v < lo[k] ? v : lo[k];
        hi[k] = v > hi[k] ? v : hi[k];
    }
    double Min() const { return std::min({lo[0], lo[1], lo[2], lo[3]}); }
    double Max() const { return std::max({hi[0], hi[1], hi[2], hi[3]}); }
};

} // namespace

double Covariance(std::span<const double> xs, double meanX, double meanY, std::span<const double> ys)
{
    if (ys.size() < xs.size())
        throw Exception(QStringLiteral("Y の値が X の値より少なくなっています"));
    const std::size_t n = xs.size();
    const double* x = xs.data();
    const double* y = ys.data();
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += (x[i] - meanX) * (y[i] - meanY);
    if (!std::isfinite(sum)) {
        sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum = Add(sum, Mul(Sub(x[i], meanX), Sub(y[i], meanY)));
    }
    return Div(sum, double(n) - 1.0);
}

double FitRegression(std::span<const double> xdata, std::span<const double> ydata, double& aresult,
                     double& bresult, RegressionCentre* centre, const ShiftedSums* known)
{
    const std::size_t n = xdata.size();
    if (ydata.size() < n)
        throw Exception(QStringLiteral("Y の値が X の値より少なくなっています"));
    if (n == 0)
        return Div(0.0, 0.0); // no mean of nothing: raises
    const double* x = xdata.data();
    const double* y = ydata.data();
    const double dn = double(n);
    const double dn1 = dn - 1.0;

    // Means (first pass) and squared deviations (second pass) of both
    // columns; a non-finite fast result is redone checked, X before Y, so
    // the error is the one of the first step that fails.
    const Pair sums = known ? Pair{known->x, known->y} : ShiftedColumnSums(x, y, n);
    const double sumX = std::isfinite(sums.x) ? sums.x : ShiftedSumChecked(x, n, x[0]);
    const double meanX = Add(x[0], Div(sumX, dn));
    const double sumY = std::isfinite(sums.y) ? sums.y : ShiftedSumChecked(y, n, y[0]);
    const double meanY = Add(y[0], Div(sumY, dn));
    if (centre)
        *centre = {meanX, meanY};
    // Y's mean is taken before X's deviations are checked; it can only fail
    // by overflow, and so can they, so the error is the same either way.
    const Deviations dev = SquaredDeviationsAndProducts(x, y, n, meanX, meanY);
    const double ssX = std::isfinite(dev.ssX) ? dev.ssX : SquaredDeviationsChecked(x, n, meanX);
    const double sdX = Sqrt(Div(ssX, dn1));
    const double ssY = std::isfinite(dev.ssY) ? dev.ssY : SquaredDeviationsChecked(y, n, meanY);
    const double sdY = Sqrt(Div(ssY, dn1));

    const double varX = Div(ssX, dn1);
    const double cov = std::isfinite(dev.products) ? Div(dev.products, dn1)
                                                   : Covariance(xdata.first(n), meanX, meanY, ydata);
    aresult = Div(cov, varX);
    bresult = Sub(meanY, Mul(aresult, meanX));
    return Div(cov, Mul(sdX, sdY));
}

ColumnSummary SummarizeColumns(std::span<const double> xs, std::span<const double> ys)
{
    const std::size_t n = xs.size();
    if (n == 0 || ys.size() < n)
        throw Exception(QStringLiteral("値がありません"));
    const double* x = xs.data();
    const double* y = ys.data();
    const double x0 = x[0], y0 = y[0];
    Lanes lx(x0), ly(y0);
    double sxMin = x0, sxMax = x0, syMin = y0, syMax = y0;
    double sx = x0 - x0, cx = 0, sy = y0 - y0, cy = 0;
    auto take = [&](std::size_t i, int lane) {
        const double a = x[i], b = y[i];
        lx.Take(lane, a);
        ly.Take(lane, b);
        sxMin = std::min(sxMin, a);
        sxMax = std::max(sxMax, a);
        syMin = std::min(syMin, b);
        syMax = std::max(syMax, b);
        if (i > 0) {
            KahanAdd(sx, cx, a - x0);
            KahanAdd(sy, cy, b - y0);
        }
    };
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (int k = 0; k < 4; ++k)
            take(i + std::size_t(k), k);
    for (; i < n; ++i)
        take(i, 0);
    return {lx.Min(), lx.Max(), ly.Min(), ly.Max(), sxMin, sxMax, syMin, syMax, {sx, sy}};
}

QString RegressionSubtitle(double a, double b, double r, const NumberFormat& f)
{
    // After the sign text the intercept shows its magnitude (a zero, even a
    // negative one, as 0.000).
    const bool negative = b < 0;
    return QStringLiteral("回帰直線 Y =") + FormatFixed(a, 3, f) + QStringLiteral("X ")
        + (negative ? QStringLiteral("- ") : QStringLiteral("+ ")) + FormatFixed(std::fabs(b), 3, f)
        + QStringLiteral("   相関係数= ") + FormatFixed(r, 3, f);
}

FitReport FitWithErrors(std::span<const double> xdata, std::span<const double> ydata)
{
    FitReport fit;
    RegressionCentre centre;
    fit.r = FitRegression(xdata, ydata, fit.slope, fit.intercept, &centre);
    fit.n = xdata.size();
    fit.r2 = Mul(fit.r, fit.r);
    if (fit.n < 3)
        return fit;
    // The residuals about the line through the means, and X's squared
    // deviations, summed with compensation.
    double ssX = 0, cX = 0, ssRes = 0, cRes = 0;
    for (std::size_t i = 0; i < fit.n; ++i) {
        const double dx = Sub(xdata[i], centre.meanX);
        const double e = Sub(Sub(ydata[i], centre.meanY), Mul(fit.slope, dx));
        CheckedKahanAdd(ssX, cX, Mul(dx, dx));
        CheckedKahanAdd(ssRes, cRes, Mul(e, e));
    }
    const double dn = double(fit.n);
    const double s2 = Div(ssRes, dn - 2.0);
    fit.seSlope = Sqrt(Div(s2, ssX));
    fit.seIntercept = Sqrt(Mul(s2, Add(Div(1.0, dn), Div(Mul(centre.meanX, centre.meanX), ssX))));
    fit.hasErrors = true;
    return fit;
}

FitReport Unmagnified(const FitReport& fit, double xmag, double ymag)
{
    // Plotted values are the table's times the magnification: a slope
    // scales by ymag / xmag, an intercept by ymag.
    FitReport out = fit;
    const double slopeFactor = Div(xmag, ymag);
    out.slope = Mul(fit.slope, slopeFactor);
    out.intercept = Div(fit.intercept, ymag);
    out.seSlope = Mul(fit.seSlope, std::fabs(slopeFactor));
    out.seIntercept = Div(fit.seIntercept, std::fabs(ymag));
    return out;
}

namespace {

QString ReportNumber(double v, const NumberFormat& f)
{
    QString s = QString::number(v, 'G', 10);
    s.replace(u'.', f.decimalSeparator);
    return s;
}

} // namespace

QString FitReportText(const FitReport& fit, double xmag, const QString& xtani, double ymag, const QString& ytani,
                      const NumberFormat& f)
{
    QStringList lines;
    auto line = [&](const QString& name, const QString& value) { lines << name + u'\t' + value; };
    line(QStringLiteral("n"), QString::number(qulonglong(fit.n)));
    line(QStringLiteral("傾き"), ReportNumber(fit.slope, f));
    line(QStringLiteral("切片"), ReportNumber(fit.intercept, f));
    line(QStringLiteral("相関係数 r"), ReportNumber(fit.r, f));
    line(QStringLiteral("決定係数 R²"), ReportNumber(fit.r2, f));
    // Undefined for two points: an empty cell, not a made-up number.
    line(QStringLiteral("傾きの標準誤差"), fit.hasErrors ? ReportNumber(fit.seSlope, f) : QString());
    line(QStringLiteral("切片の標準誤差"), fit.hasErrors ? ReportNumber(fit.seIntercept, f) : QString());
    line(QStringLiteral("X の倍率"), ReportNumber(xmag, f));
    line(QStringLiteral("X の単位"), xtani);
    line(QStringLiteral("Y の倍率"), ReportNumber(ymag, f));
    line(QStringLiteral("Y の単位"), ytani);
    return lines.join(u'\n') + u'\n';
}
