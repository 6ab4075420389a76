// Times the chart control's four exports of the default chart at the
// window's design size (749 x 527) with many points: the BMP file, the EMF
// file and the two clipboard pictures (handed to a clipboard that only
// keeps them), and prints the file sizes. Points lie along a line as
// regression data does. Then the BMP picture at the other depths a screen
// may have.
//
//   bench_export [points=10000000] [repeats=3] [out-dir=temporary]

#include "Chart.h"
#include "ChartExport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Keeps what it is given, as the system clipboard would.
class KeepingClipboard final : public TChartClipboard {
public:
    QImage image;
    QByteArray data;
    void SetPicture(const ClipboardPicture& p) override
    {
        image = p.image;
        data = p.forms.isEmpty() ? QByteArray() : p.forms.constFirst().second;
    }
};

double MedianSeconds(int repeats, const std::function<void()>& run)
{
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qsizetype n = argc > 1 ? qsizetype(std::atoll(argv[1])) : 10000000;
    const int repeats = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
    QTemporaryDir temp;
    const QDir out(argc > 3 ? QString::fromLocal8Bit(argv[3]) : temp.path());

    TChart chart;
    chart.resize(749, 527);
    QList<double> xs(n), ys(n);
    QRandomGenerator rng(1);
    for (qsizetype i = 0; i < n; ++i) {
        xs[i] = rng.generateDouble() * 10000.0;
        ys[i] = 3.5 * xs[i] - 12.0 + rng.generateDouble() * 500.0;
    }
    auto* points = chart.Model().AddSeries<TPointSeries>(QStringLiteral("Series1"));
    auto* line = chart.Model().AddSeries<TLineSeries>(QStringLiteral("Series2"));
    points->AddXYs(xs, ys);
    line->AddXY(0, -12);
    line->AddXY(10000, 34988);

    const QString bmp = out.filePath(QStringLiteral("bench.bmp"));
    const QString emf = out.filePath(QStringLiteral("bench.emf"));
    KeepingClipboard clipboard;
    std::printf("chart=749x527 points=%lld bits=%d repeats=%d (medians)\n", (long long)n, chart.BitmapBits(), repeats);
    const double bmpFile = MedianSeconds(repeats, [&] { chart.SaveToBitmapFile(bmp); });
    std::printf("bmp_file_s=%.3f bmp_bytes=%lld\n", bmpFile, (long long)QFileInfo(bmp).size());
    const double emfFile = MedianSeconds(repeats, [&] { chart.SaveToMetafileEnh(emf); });
    std::printf("emf_file_s=%.3f emf_bytes=%lld\n", emfFile, (long long)QFileInfo(emf).size());
    const double bmpCopy = MedianSeconds(repeats, [&] { chart.CopyToClipboardBitmap(clipboard); });
    std::printf("bmp_copy_s=%.3f\n", bmpCopy);
    const double emfCopy = MedianSeconds(repeats, [&] { chart.CopyToClipboardMetafile(true, clipboard); });
    std::printf("emf_copy_s=%.3f emf_copy_bytes=%lld\n", emfCopy, (long long)clipboard.data.size());
    // The BMP file's picture as screens of other depths would have it.
    for (const int bits : {24, 16, 8, 4, 1}) {
        qsizetype bytes = 0;
        const double s = MedianSeconds(repeats, [&] {
            bytes = EncodeBmp(ChartBitmap(chart.Model(), chart.size(), Qt::white, bits), bits, 96).size();
        });
        std::printf("bmp_%d_bits_s=%.3f bytes=%lld\n", bits, s, (long long)bytes);
    }
    return 0;
}
