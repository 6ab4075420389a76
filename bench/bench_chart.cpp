// Times the chart with a large series: a bulk add of points in random X
// order (shared, the X order left for later), the first access by X order
// (the stable sort), an add of points already in order, and renders at the
// window's design size: the first one, a repaint of the same layout (an
// expose) and one at another size (a resize). Prints one line per stage.
//
//   bench_chart [points=10000000] [repeats=5] [out.png]

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

    std::vector<double> addRandom, order, addSorted, render, expose, resize;
    QImage image(749, 527, QImage::Format_ARGB32_Premultiplied);
    QImage larger(861, 606, QImage::Format_ARGB32_Premultiplied);
    auto timeRender = [](TChartModel& chart, QImage& into) {
        into.fill(Qt::white);
        const auto t0 = std::chrono::steady_clock::now();
        {
            QPainter p(&into);
            RenderChart(chart, p, into.rect());
        }
        return Seconds(t0, std::chrono::steady_clock::now());
    };
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
        // Fixed ranges, as a plot leaves them.
        chart.BottomAxis().SetMinMax(-2500, 12500);
        chart.LeftAxis().SetMinMax(-9000, 44000);

        render.push_back(timeRender(chart, image));
        expose.push_back(timeRender(chart, image));
        resize.push_back(timeRender(chart, larger));
        timeRender(chart, image); // back to the first size for the picture

        t0 = std::chrono::steady_clock::now();
        volatile double first = points->XValue(0);
        (void)first;
        t1 = std::chrono::steady_clock::now();
        order.push_back(Seconds(t0, t1));

        points->Clear();
        t0 = std::chrono::steady_clock::now();
        points->AddXYs(sortedXs, ys);
        volatile double inOrder = points->XValue(n / 2);
        (void)inOrder;
        t1 = std::chrono::steady_clock::now();
        addSorted.push_back(Seconds(t0, t1));
    }
    std::printf("points=%lld repeats=%d\n", (long long)n, repeats);
    std::printf("add_random_order_s=%.3f (median)\n", Median(addRandom));
    std::printf("first_x_order_s=%.3f (median)\n", Median(order));
    std::printf("add_in_order_s=%.3f (median, with its first access)\n", Median(addSorted));
    std::printf("render_749x527_s=%.4f (median)\n", Median(render));
    std::printf("expose_749x527_s=%.4f (median, same layout again)\n", Median(expose));
    std::printf("resize_861x606_s=%.4f (median)\n", Median(resize));
    if (argc > 3)
        image.save(QString::fromLocal8Bit(argv[3]));
    return 0;
}
