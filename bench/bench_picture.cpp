// Times the chart drawn with a metafile as its background picture, at the
// window's design size: the first render (the file is played), a repaint of
// the same layout (an expose), a restyle outside the plot area, and a render
// at another size (a resize). Prints the median and range of each stage and
// how many times the file was played, and writes the last picture.
//
//   bench_picture picture.emf|.wmf [repeats=9] [out.png]

#include "ChartModel.h"
#include "ChartRenderer.h"
#include "PictureLoader.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
double Render(const TChartModel& chart, QImage& into)
{
    into.fill(Qt::white);
    const auto t0 = std::chrono::steady_clock::now();
    {
        QPainter p(&into);
        RenderChart(chart, p, into.rect());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Print(const char* stage, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-22s median %8.2f ms  range %8.2f .. %8.2f ms\n", stage, 1e3 * v[v.size() / 2], 1e3 * v.front(),
                1e3 * v.back());
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_picture picture.emf|.wmf [repeats=9] [out.png]\n");
        return 2;
    }
    const int repeats = std::max(1, argc > 2 ? std::atoi(argv[2]) : 9);
    std::vector<double> first, expose, restyle, resize;
    QImage image(749, 527, QImage::Format_ARGB32_Premultiplied);
    QImage larger(861, 606, QImage::Format_ARGB32_Premultiplied);
    const quint64 playsBefore = TChartPicture::Plays();
    for (int r = 0; r < repeats; ++r) {
        TChartModel chart;
        chart.BottomAxis().SetMinMax(0, 100);
        chart.LeftAxis().SetMinMax(0, 100);
        LoadPictureFile(QString::fromLocal8Bit(argv[1]), chart.Walls().Back().Picture());
        first.push_back(Render(chart, image));
        expose.push_back(Render(chart, image));
        chart.Title().SetAlignment(chart.Title().Alignment() == taCenter ? taLeftJustify : taCenter);
        restyle.push_back(Render(chart, image));
        resize.push_back(Render(chart, larger));
    }
    Print("first render", first);
    Print("repaint, same size", expose);
    Print("restyle, same plot", restyle);
    Print("resize", resize);
    std::printf("plays per repeat: %.1f (of 4 renders)\n", double(TChartPicture::Plays() - playsBefore) / repeats);
    if (argc > 3)
        image.save(QString::fromLocal8Bit(argv[3]));
    return 0;
}
