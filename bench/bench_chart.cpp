// Times the chart with a large series: a bulk add of points in random X
// order (a stable sort by X), an add of points already in order, and a
// repaint at the window's design size. Prints one line per stage.
//
//   bench_chart [points=10000000] [repeats=5]

#include "ChartModel.h"
#include "ChartRenderer.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const qsizetype n = argc > 1 ? qsizetype(std::atoll(argv[1])) : 10000000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;

    QList<double> xs(n), ys(n), sortedXs(n);
    QRandomGenerator rng(1);
    for (qsizetype i = 0; i < n; ++i) {
        xs[i] = rng.generateDouble() * 10000.0;
        ys[i] = 3.5 * xs[i] - 12.0 + rng.generateDouble() * 500.0;
    }
    for (qsizetype i = 0; i < n; ++i)
        sortedXs[i] = double(i) * 0.001;

    std::vector<double> addRandom, addSorted, render;
    QImage image(749, 527, QImage::Format_ARGB32_Premultiplied);
    for (int r = 0; r < repeats; ++r) {
        TChartModel chart;
        auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
        auto* line = chart.AddSeries<TLineSeries>(QStringLiteral("Series2"));
        auto t0 = std::chrono::steady_clock::now();
        points->AddXYs(xs, ys);
        auto t1 = std::chrono::steady_clock::now();
        addRandom.push_back(Seconds(t0, t1));
        line->AddXY(0, -12);
        line->AddXY(10000, 34988);

        image.fill(Qt::white);
        t0 = std::chrono::steady_clock::now();
        {
            QPainter p(&image);
            RenderChart(chart, p, image.rect());
        }
        t1 = std::chrono::steady_clock::now();
        render.push_back(Seconds(t0, t1));

        points->Clear();
        t0 = std::chrono::steady_clock::now();
        points->AddXYs(sortedXs, ys);
        t1 = std::chrono::steady_clock::now();
        addSorted.push_back(Seconds(t0, t1));
    }
    std::printf("points=%lld repeats=%d\n", (long long)n, repeats);
    std::printf("add_random_order_s=%.3f (median)\n", Median(addRandom));
    std::printf("add_in_order_s=%.3f (median)\n", Median(addSorted));
    std::printf("render_749x527_s=%.3f (median)\n", Median(render));
    if (argc > 3)
        image.save(QString::fromLocal8Bit(argv[3]));
    return 0;
}
