// Times the EMF of the default chart at the window's design size (749 x 527)
// with many points and with few, and prints the file sizes: both are
// bounded by the chart's area, not by the number of rows. "band" points lie
// along a line as regression data does; "filled" points cover the whole plot
// area, the largest file a chart of this size can give.
//
//   bench_emf [points=10000000] [repeats=5] [out.emf]

#include "ChartModel.h"
#include "ChartRenderer.h"
#include "EmfDevice.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Result {
    double seconds;
    qsizetype bytes;
};

Result Measure(qsizetype n, bool filled, int repeats, const char* out)
{
    QList<double> xs(n), ys(n);
    QRandomGenerator rng(1);
    for (qsizetype i = 0; i < n; ++i) {
        xs[i] = rng.generateDouble() * 10000.0;
        ys[i] = filled ? rng.generateDouble() * 35000.0 : 3.5 * xs[i] - 12.0 + rng.generateDouble() * 500.0;
    }
    TChartModel chart;
    auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    auto* line = chart.AddSeries<TLineSeries>(QStringLiteral("Series2"));
    points->AddXYs(xs, ys);
    line->AddXY(0, -12);
    line->AddXY(10000, 34988);
    std::vector<double> times;
    qsizetype bytes = 0;
    for (int r = 0; r < repeats; ++r) {
        EmfDevice device(QSize(749, 527));
        const auto t0 = std::chrono::steady_clock::now();
        {
            QPainter p(&device);
            RenderChart(chart, p, QRect(0, 0, 749, 527));
        }
        const QByteArray data = device.Data();
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double>(t1 - t0).count());
        bytes = data.size();
        if (out && r == 0) {
            QFile f(QString::fromLocal8Bit(out));
            if (f.open(QIODevice::WriteOnly))
                f.write(data);
        }
    }
    return {Median(times), bytes};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const qsizetype n = argc > 1 ? qsizetype(std::atoll(argv[1])) : 10000000;
    const int repeats = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
    const char* out = argc > 3 ? argv[3] : nullptr;
    std::printf("chart=749x527 repeats=%d (medians)\n", repeats);
    for (const bool filled : {false, true}) {
        for (const qsizetype count : {qsizetype(1000), n}) {
            const Result r = Measure(count, filled, repeats, count == n && !filled ? out : nullptr);
            std::printf("%s points=%lld emf_s=%.3f emf_bytes=%lld\n", filled ? "filled" : "band", (long long)count,
                        r.seconds, (long long)r.bytes);
        }
    }
    return 0;
}
