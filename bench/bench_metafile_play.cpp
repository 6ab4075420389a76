// Loads and plays metafiles as the chart's background picture does, and
// prints per file: the load time, the play time (median, minimum and
// maximum of the repeats) and the peak memory one load and play added.
// Peak memory is the process's resident high-water mark, reset before
// each file (Linux /proc/self/clear_refs), less what was resident before.
//
//   bench_metafile_play [--size WxH] [--repeats N] [--png DIR] FILE...
//   bench_metafile_play fuzz/regressions/metafile/hostile-*

#include "Exceptions.h"
#include "Metafile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// A field of /proc/self/status in MB (VmRSS, VmHWM).
double StatusMb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return 0;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QSize size(600, 400);
    int repeats = 5;
    std::vector<QString> files;
    QString pngDir; // where to save each file's last play, to look at
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--size" && i + 1 < args.size()) {
            const QStringList wh = args[++i].split('x');
            size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        } else if (args[i] == "--png" && i + 1 < args.size()) {
            pngDir = args[++i];
        } else if (args[i] == "--repeats" && i + 1 < args.size()) {
            repeats = std::max(1, args[++i].toInt());
        } else {
            files.push_back(args[i]);
        }
    }
    std::printf("%-42s %8s %8s %8s %8s %8s\n", "file", "load s", "play s", "min", "max", "peak MB");
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::printf("%s: cannot open\n", qPrintable(path));
            continue;
        }
        const QByteArray bytes = f.readAll();
        ResetPeak();
        const double before = StatusMb("VmRSS");
        std::vector<double> plays;
        double load = 0;
        try {
            const auto t0 = Clock::now();
            const auto picture = Metafile::Load(bytes);
            load = Seconds(t0);
            for (int k = 0; k < repeats; ++k) {
                QImage image(size, QImage::Format_ARGB32_Premultiplied);
                image.fill(Qt::white);
                QPainter painter(&image);
                const auto t1 = Clock::now();
                picture->Play(painter, QRectF(QPointF(0, 0), QSizeF(size)));
                plays.push_back(Seconds(t1));
                painter.end();
                if (!pngDir.isEmpty() && k == repeats - 1)
                    image.save(pngDir + "/" + QFileInfo(path).fileName() + ".png");
            }
        } catch (const EInvalidGraphic& e) {
            std::printf("%-42s refused: %s\n", qPrintable(QFileInfo(path).fileName()), qPrintable(e.Message()));
            continue;
        }
        const double peak = StatusMb("VmHWM") - before;
        std::sort(plays.begin(), plays.end());
        std::printf("%-42s %8.3f %8.3f %8.3f %8.3f %8.1f\n", qPrintable(QFileInfo(path).fileName()), load,
                    plays[plays.size() / 2], plays.front(), plays.back(), peak);
        std::fflush(stdout);
    }
    return 0;
}
