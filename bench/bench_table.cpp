// Times the data pipeline on a table file: reading it into lines, the
// header, the one-pass scan, the magnifications, scaling, ranges and the
// regression; then the re-plots the swap switch causes, on the same lines.
//
//   bench_table <file> [replots]
//
// Prints one line per stage (seconds) and the peak resident memory.

#include "LineList.h"
#include "Magnification.h"
#include "NumberFormat.h"
#include "Regression.h"
#include "TableFile.h"
#include "TableFormat.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {
double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Result {
    qsizetype rows;
    double a, b, r;
};

// One run of the pipeline on `lines` after they were read.
Result Plot(LineList& lines, bool swap, QList<double>& xdata, QList<double>& ydata, bool print)
{
    const NumberFormat& f = NumberFormat::Current();
    double t = Now();
    auto stage = [&](const char* name) {
        const double n = Now();
        if (print)
            std::printf("%-10s %.3f\n", name, n - t);
        t = n;
    };
    lines.RemoveEmptyLines();
    const char delim = ChooseDelimiter(lines);
    if (auto names = HeaderRow(lines, delim, f))
        lines.Delete(0);
    stage("header");
    TableScan scan = ScanTable(lines, delim, swap, f, std::move(xdata), std::move(ydata));
    stage("scan");
    double xmag, ymag;
    QString xtani, ytani;
    CalcMagnification(scan.maxX, xmag, xtani);
    CalcMagnification(scan.maxY, ymag, ytani);
    const QString status = MagnificationStatusText(xmag, xtani, ymag, ytani, f);
    xdata = std::move(scan.xs);
    ydata = std::move(scan.ys);
    ScaleColumns(xdata, ydata, xmag, ymag);
    stage("scale");
    const ValueRange xr = MinMax(xdata), yr = MinMax(ydata);
    stage("minmax");
    Result res{xdata.size(), 0, 0, 0};
    res.r = FitRegression(xdata, ydata, res.a, res.b);
    const QString sub = RegressionSubtitle(res.a, res.b, res.r, f);
    stage("regress");
    if (print)
        std::printf("x %g..%g  y %g..%g\n%s\n%s\n", xr.min, xr.max, yr.min, yr.max, qPrintable(status),
                    qPrintable(sub));
    return res;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <table file> [replots]\n", argv[0]);
        return 2;
    }
    const int replots = argc > 2 ? std::atoi(argv[2]) : 0;
    const double t0 = Now();
    LineList lines = ReadTableFile(QString::fromLocal8Bit(argv[1]));
    const double t1 = Now();
    std::printf("read       %.3f  lines=%lld mapped=%d\n", t1 - t0, (long long)lines.Count(),
                int(tablefile_detail::LastReadWasMapped()));
    QList<double> xdata, ydata;
    const Result res = Plot(lines, false, xdata, ydata, true);
    const double t2 = Now();
    std::vector<double> times;
    for (int i = 0; i < replots; ++i) {
        const double s = Now();
        Plot(lines, i % 2 == 0, xdata, ydata, false);
        times.push_back(Now() - s);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        std::printf("replot_median_s=%.5f min_s=%.5f (of %d)\n", times[times.size() / 2], times.front(), replots);
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("maxrss_mb=%.1f\n", double(ru.ru_maxrss) / 1024.0);
    std::printf("total_s=%.3f rows=%lld\n", t2 - t0, (long long)res.rows);
    return 0;
}
