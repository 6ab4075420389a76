#pragma once
// The least-squares line Y = aX + b through the plotted values and
// Pearson's correlation coefficient, and the subtitle line that reports them.

#include "NumberFormat.h"

#include <QString>

#include <span>

// The sample covariance: the products (x - meanX)(y - meanY) over all
// entries of xs, added in order to a running double sum, divided by n - 1.
// ys must have at least as many entries as xs. Raises EMathError instead of
// producing an infinity or NaN.
double Covariance(std::span<const double> xs, double meanX, double meanY, std::span<const double> ys);

// Fits the line through (xdata[i], ydata[i]). The slope is stored in
// `aresult` as soon as it is known, then the intercept in `bresult`; the
// correlation coefficient is returned. Means and sums of squared deviations
// take two passes, the latter with compensated summation. Every step that
// would divide by zero (n = 1, all X equal, all Y equal), leave the range of
// a double or be undefined raises the matching EMathError there, so a
// failure after the slope or intercept leaves them stored and a failure
// before leaves them untouched.
// `centre`, when given, receives the two means as soon as they are known:
// the line runs through them, and a point on it is best taken as
// meanY + aresult * (x - meanX), where aresult * x + bresult cancels far
// from zero.
struct RegressionCentre {
    double meanX = 0.0, meanY = 0.0;
};
// The first pass of the fit: the compensated sums of (x[i] - x[0]) and of
// (y[i] - y[0]), the first term starting each sum.
struct ShiftedSums {
    double x = 0.0, y = 0.0;
};
// `sums`, when given, are those of these columns, taken by an earlier pass
// (SummarizeColumns); the fit then reads the columns once more instead of
// twice. The result is the same to the last bit either way.
double FitRegression(std::span<const double> xdata, std::span<const double> ydata, double& aresult,
                     double& bresult, RegressionCentre* centre = nullptr, const ShiftedSums* sums = nullptr);

// What one pass over the plotted columns finds (xs non-empty, ys at least
// as long): each column's smallest and largest value in four interleaved
// lanes, the way PlotData has always taken its ranges; the same taken in
// order, the first of equal values kept, the way a series takes its range;
// and the fit's shifted sums. Far cheaper together than apart: the sums
// wait on their own additions, and the comparisons fill the gaps.
struct ColumnSummary {
    double xMin, xMax, yMin, yMax;
    double inOrderXMin, inOrderXMax, inOrderYMin, inOrderYMax;
    ShiftedSums sums;
};
ColumnSummary SummarizeColumns(std::span<const double> xs, std::span<const double> ys);

// "回帰直線 Y =<a>X <+ or -> <|b|>   相関係数= <r>", each number with three
// decimals.
QString RegressionSubtitle(double a, double b, double r, const NumberFormat& f);

// The fit with what a report gives beside it, in the units of the columns
// it was given. The standard errors need at least three points; with two
// the line goes through both and they are left out (hasErrors false).
struct FitReport {
    std::size_t n = 0;
    double slope = 0, intercept = 0, r = 0, r2 = 0;
    double seSlope = 0, seIntercept = 0;
    bool hasErrors = false;
};
// The same line and coefficient as FitRegression (and its failures), and
// the standard errors from the residuals about that line.
FitReport FitWithErrors(std::span<const double> xdata, std::span<const double> ydata);

// `fit` of columns multiplied by xmag and ymag, in the table's own units.
// Throws EMathError when a magnification makes that undefined.
FitReport Unmagnified(const FitReport& fit, double xmag, double ymag);

// The report as lines "name TAB value" for a spreadsheet or a text: n,
// slope, intercept, r, R² and the standard errors (ten significant digits,
// the regional decimal separator, no grouping), then the magnification and
// unit prefix of each axis.
QString FitReportText(const FitReport& fit, double xmag, const QString& xtani, double ymag, const QString& ytani,
                      const NumberFormat& f);
