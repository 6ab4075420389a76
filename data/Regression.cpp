#include "Regression.h"

#include "CheckedMath.h"

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
Pair ShiftedSums(const double* x, const double* y, std::size_t n)
{
    const double x0 = x[0], y0 = y[0];
    double sx = x0 - x0, cx = 0, sy = y0 - y0, cy = 0;
    for (std::size_t i = 1; i < n; ++i) {
        KahanAdd(sx, cx, x[i] - x0);
        KahanAdd(sy, cy, y[i] - y0);
    }
    return {sx, sy};
}

Pair SquaredDeviations(const double* x, const double* y, std::size_t n, double mx, double my)
{
    double dx = mx - x[0], dy = my - y[0];
    double sx = dx * dx, cx = 0, sy = dy * dy, cy = 0;
    for (std::size_t i = 1; i < n; ++i) {
        dx = mx - x[i];
        dy = my - y[i];
        KahanAdd(sx, cx, dx * dx);
        KahanAdd(sy, cy, dy * dy);
    }
    return {sx, sy};
}

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
                     double& bresult, RegressionCentre* centre)
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
    const Pair sums = ShiftedSums(x, y, n);
    const double sumX = std::isfinite(sums.x) ? sums.x : ShiftedSumChecked(x, n, x[0]);
    const double meanX = Add(x[0], Div(sumX, dn));
    const double sumY = std::isfinite(sums.y) ? sums.y : ShiftedSumChecked(y, n, y[0]);
    const double meanY = Add(y[0], Div(sumY, dn));
    if (centre)
        *centre = {meanX, meanY};
    // Y's mean is taken before X's deviations are checked; it can only fail
    // by overflow, and so can they, so the error is the same either way.
    const Pair ss = SquaredDeviations(x, y, n, meanX, meanY);
    const double ssX = std::isfinite(ss.x) ? ss.x : SquaredDeviationsChecked(x, n, meanX);
    const double sdX = Sqrt(Div(ssX, dn1));
    const double ssY = std::isfinite(ss.y) ? ss.y : SquaredDeviationsChecked(y, n, meanY);
    const double sdY = Sqrt(Div(ssY, dn1));

    const double varX = Div(ssX, dn1);
    const double cov = Covariance(xdata.first(n), meanX, meanY, ydata);
    aresult = Div(cov, varX);
    bresult = Sub(meanY, Mul(aresult, meanX));
    return Div(cov, Mul(sdX, sdY));
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
