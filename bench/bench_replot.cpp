// Times the two re-plots a user starts from the side tabs, through the
// window's own handlers: flipping the XY swap switch, and applying a typed X
// magnification with AutoSize unticked. The table is loaded as a dropped
// file. Prints one line per stage with the median and the spread.
//
//   bench_replot <table-file> [repeats]

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "FormServices.h"
#include "Unit1.h"
#include "../tests/FormProbe.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// Errors are printed instead of shown in a modal box.
class PrintedMessages : public IMessageReporter {
public:
    void ShowMessage(QWidget*, const QString& caption, const QString& text, MessageIcon) override
    {
        std::fprintf(stderr, "message: %s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        ++count;
    }
    int count = 0;
};

struct Stats {
    double median, min, max;
};

Stats Time(int repeats, const std::function<void()>& run)
{
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        const Clock::time_point t = Clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

void Print(const char* stage, const Stats& s, int repeats)
{
    std::printf("%s_median_ms=%.1f min_ms=%.1f max_ms=%.1f repeats=%d\n", stage, s.median, s.min, s.max, repeats);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_replot <table-file> [repeats]\n");
        return 2;
    }
    const int repeats = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 11;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto messages = std::make_shared<PrintedMessages>();
    FormServices services = FormServices::Real();
    services.messages = messages;
    TForm1 form(services);
    TForm1Probe probe(form);

    const Stats load = Time(1, [&] { form.WMDropFiles({QString::fromLocal8Bit(argv[1])}); });
    std::printf("rows=%lld\n", (long long)probe.xdata().size());
    Print("load", load, 1);

    // Each flip re-plots the same lines with the columns exchanged.
    Print("swap", Time(repeats, [&] { form.ToggleSwitch1->click(); }), repeats);

    // What the user sees afterwards: one repaint at the design size.
    QImage image(749, 527, QImage::Format_ARGB32_Premultiplied);
    Print("render", Time(3, [&] {
              image.fill(Qt::white);
              QPainter p(&image);
              RenderChart(form.Chart1->Model(), p, image.rect());
          }),
          3);

    // A typed magnification, alternating between two values so every
    // application really rescales.
    form.AutoSize->click();
    int i = 0;
    Print("magnification", Time(repeats, [&] {
              form.XmagValue->SetText(i++ % 2 ? QStringLiteral("1000") : QStringLiteral("0.5"));
              form.XmagValue->RightButton()->trigger();
          }),
          repeats);

    if (messages->count > 0)
        std::fprintf(stderr, "%d error message(s) shown\n", messages->count);
    return messages->count > 0 ? 1 : 0;
}
