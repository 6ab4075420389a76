// Writes one chart in every form the program hands on, for looking at them
// and for opening them in other programs: the window plots a small table
// offscreen (optionally with the shadow and a border), then its exports go
// to OUT.bmp, OUT.emf, OUT.png, OUT.svg and OUT.pdf, and the fit's numbers
// to OUT.txt.
//
//   chart_outputs OUT [--shadow] [--border] [--title TEXT]

#include "Chart.h"
#include "ChartExport.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QToolButton>

#include <cstdio>

namespace {

// Hands the copies' data over to the caller instead of the system.
class KeepingClipboard final : public IClipboard {
public:
    QString text;
    ClipboardPicture picture;
    QString Text() override { return QStringLiteral("X,Y\n1,2\n2,4.5\n3,5.5\n4,8.5\n5,9\n6,11.5\n"); }
    void SetText(const QString& t) override { text = t; }
    void SetPicture(const ClipboardPicture& p) override { picture = p; }
};

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: chart_outputs OUT [--shadow] [--border] [--title TEXT]\n");
        return 2;
    }
    const QString out = args[0];
    auto clipboard = std::make_shared<KeepingClipboard>();
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
    chart.SaveToMetafileEnh(out + QStringLiteral(".emf"));
    bool ok = Write(out + QStringLiteral(".png"), ChartPng(chart.Model(), canvas))
        && Write(out + QStringLiteral(".svg"), ChartSvg(chart.Model(), canvas))
        && Write(out + QStringLiteral(".pdf"), ChartPdf(chart.Model(), canvas));
    form.CopyFitAction->trigger();
    ok = ok && Write(out + QStringLiteral(".txt"), clipboard->text.toUtf8());
    std::printf("%s: %dx%d at ratio %.2f\n", ok ? "written" : "failed", canvas.size.width(), canvas.size.height(),
                canvas.pixelRatio);
    return ok ? 0 : 1;
}
