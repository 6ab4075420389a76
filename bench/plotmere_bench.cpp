// Times the program's own path for one table file: reading it into the
// window's line list, plotting it (parse, magnification, points, axes and
// the regression), and one render of the chart at its design size into an
// image. Prints one line per stage and last "total_s=<seconds> rows=<n>".
//
//   plotmere_bench <table-file> [--replot N]
//
// --replot N runs the plot N more times on the same lines with the XY swap
// flipped each time, as the swap switch does, and prints the median.

#include "ChartRenderer.h"
#include "Controls.h"
#include "LineList.h"
#include "TableFile.h"
#include "Unit1.h"
#include "Chart.h"
#include "../tests/FormProbe.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// CPU time of the whole process (all threads), which the other jobs on a
// shared machine disturb far less than the wall clock.
double CpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Resident and peak resident memory in MB, from the kernel's view of us.
QByteArray Memory()
{
    QByteArray out;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            long kb = 0;
            if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
                out += " rss_mb=" + QByteArray::number(kb / 1024);
            else if (std::sscanf(line, "VmHWM: %ld", &kb) == 1)
                out += " peak_mb=" + QByteArray::number(kb / 1024);
        }
        std::fclose(f);
    }
    return out;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: plotmere_bench <table-file> [--replot N]\n");
        return 2;
    }
    int replots = 0;
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--replot") == 0)
            replots = std::atoi(argv[i + 1]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TForm1 form;
    TForm1Probe probe(form);
    const QString path = QString::fromLocal8Bit(argv[1]);

    std::printf("start%s\n", Memory().constData());
    const Clock::time_point start = Clock::now();
    const double startCpu = CpuNow();
    Clock::time_point t = Clock::now();
    probe.DataList() = ReadTableFile(path);
    const double readS = Since(t);
    std::printf("read_s=%.3f lines=%lld%s\n", readS, (long long)probe.DataList().Count(), Memory().constData());

    t = Clock::now();
    probe.PlotData();
    const double plotS = Since(t);
    std::printf("plot_s=%.3f%s subtitle=%s\n", plotS, Memory().constData(),
                form.Chart1->SubTitle().Text().Text().toUtf8().constData());

    t = Clock::now();
    QImage image(749, 527, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        RenderChart(form.Chart1->Model(), p, image.rect());
    }
    const double renderS = Since(t);
    std::printf("render_s=%.3f size=749x527\n", renderS);
    std::printf("total_s=%.3f rows=%lld cpu_s=%.3f\n", Since(start), (long long)probe.xdata().size(),
                CpuNow() - startCpu);

    if (replots > 0) {
        std::vector<double> times, cpu;
        for (int i = 0; i < replots; ++i) {
            form.ToggleSwitch1->SetState(form.ToggleSwitch1->State() == tssOn ? tssOff : tssOn);
            t = Clock::now();
            const double c = CpuNow();
            probe.PlotData();
            times.push_back(Since(t));
            cpu.push_back(CpuNow() - c);
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("replot_median_s=%.4f replots=%d cpu_s=%.4f%s\n", times[times.size() / 2], replots,
                    cpu[cpu.size() / 2], Memory().constData());
    }
    return 0;
}
