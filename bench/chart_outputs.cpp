// Writes one chart in every form the program hands on, for looking at them
// and for opening them in other programs: the window plots a small table
// offscreen (optionally with the shadow and a border), then its exports go
// to OUT.bmp, OUT.emf, OUT.png, OUT.svg and OUT.pdf, and the fit's numbers
// to OUT.txt. With --points N the table is N random points spread over the
// whole plot (the largest pictures), and the time each form takes is shown.
//
//   chart_outputs OUT [--shadow] [--border] [--title TEXT] [--points N]

#include "Chart.h"
#include "ChartExport.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QFile>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {

// Hands the copies' data over to the caller instead of the system.
class KeepingClipboard final : public IClipboard {
public:
    QString table = QStringLiteral("X,Y\n1,2\n2,4.5\n3,5.5\n4,8.5\n5,9\n6,11.5\n");
    QString text;
    ClipboardPicture picture;
    QString Text() override { return table; }
    void SetText(const QString& t) override { text = t; }
    void SetPicture(const ClipboardPicture& p) override { picture = p; }
};

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// `make` timed, its bytes written to `path`.
bool Timed(const QString& path, const std::function<QByteArray()>& make)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray bytes = make();
    std::printf("%-4s %8.3f s %10lld bytes\n", qPrintable(path.section(u'.', -1)), timer.nsecsElapsed() / 1e9,
                qlonglong(bytes.size()));
    return Write(path, bytes);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: chart_outputs OUT [--shadow] [--border] [--title TEXT] [--points N]\n");
        return 2;
    }
    const QString out = args[0];
    auto clipboard = std::make_shared<KeepingClipboard>();
    if (const qsizetype n = args.indexOf(QStringLiteral("--points")); n > 0 && n + 1 < args.size()) {
        QRandomGenerator rng(11);
        QString table = QStringLiteral("X,Y\n");
        for (qlonglong i = 0, count = args[n + 1].toLongLong(); i < count; ++i)
            table += QString::number(rng.generateDouble(), 'f', 6) + u',' + QString::number(rng.generateDouble(), 'f', 6)
                + u'\n';
        clipboard->table = table;
    }
    FormServices services = FormServices::Real();
    services.clipboard = clipboard;
    TForm1 form(services);
    form.show();
    form.PasteBtn->click();
    TChart& chart = *form.Chart1;
    chart.Shadow().SetVisible(args.contains(QStringLiteral("--shadow")));
    chart.Border().SetVisible(args.contains(QStringLiteral("--border")));
    if (const qsizetype t = args.indexOf(QStringLiteral("--title")); t > 0 && t + 1 < args.size()) {
        chart.Title().Text().Clear();
        chart.Title().Text().Add(args[t + 1]);
    }
    app.processEvents();
    const ChartCanvas canvas = chart.Canvas();
    chart.SaveToBitmapFile(out + QStringLiteral(".bmp"));
    const TChartModel& model = chart.Model();
    bool ok = Timed(out + QStringLiteral(".emf"), [&] { return ChartMetafile(model, canvas); })
        && Timed(out + QStringLiteral(".png"), [&] { return ChartPng(model, canvas); })
        && Timed(out + QStringLiteral(".svg"), [&] { return ChartSvg(model, canvas); })
        && Timed(out + QStringLiteral(".pdf"), [&] { return ChartPdf(model, canvas); });
    form.CopyFitAction->trigger();
    ok = ok && Write(out + QStringLiteral(".txt"), clipboard->text.toUtf8());
    std::printf("%s: %dx%d at ratio %.2f\n", ok ? "written" : "failed", canvas.size.width(), canvas.size.height(),
                canvas.pixelRatio);
    return ok ? 0 : 1;
}
