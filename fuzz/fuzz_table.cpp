// Fuzz target for the table path, through the real main window with fake
// dialogs, messages and clipboard: any bytes are pasted as text and dropped
// as a file, plotted, plotted again with the XY swap flipped and once more
// under a comma decimal separator with fixed magnifications, and the chart
// is drawn at a small size after every plot, so the axes' ranges and labels
// are computed from whatever the table held.
//
// Checked beyond "does not crash":
// - the bytes decoded in memory give the lines the file gives (TableFile.h:
//   DecodeTable applies the decoding as ReadTableFile does);
// - pasting the decoded text and dropping the file end in the same window
//   state: lines, columns, magnifications, names, chart and messages (the
//   three loaders fill the lines alike and run the same plot).

#include "FuzzWidgetApp.h"

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "FakeServices.h"
#include "LineList.h"
#include "NumberFormat.h"
#include "TableFile.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The window's private data state (the window lets a class of this name
// see it).
class TForm1Probe {
public:
    explicit TForm1Probe(TForm1& form) : f(form) {}
    const LineList& DataList() const { return *f.DataList; }
    double xmag() const { return f.xmag; }
    double ymag() const { return f.ymag; }
    QString xtani() const { return f.xtani; }
    QString ytani() const { return f.ytani; }
    const QList<double>& xdata() const { return f.xdata; }
    const QList<double>& ydata() const { return f.ydata; }
    QString xname() const { return f.xname; }
    QString yname() const { return f.yname; }

private:
    TForm1& f;
};

namespace {

struct Harness {
    FormFixture fixture;
    QTemporaryDir dir{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/plotmere-fuzz-XXXXXX")
                                                                : QDir::tempPath() + QStringLiteral("/plotmere-fuzz-XXXXXX")};
    QString path = dir.filePath(QStringLiteral("table.csv"));
    TForm1& form() { return *fixture.form; }
};

Harness* g_harness = nullptr;

// Everything a load and its plot leave behind that the user can see or the
// next plot reads.
struct WindowState {
    QStringList lines;
    QList<double> xdata, ydata;
    double xmag = 0, ymag = 0;
    QString xtani, ytani, xname, yname, status;
    QStringList subtitle, bottomTitle, leftTitle;
    bool bottomAuto = false, leftAuto = false;
    double bottomMin = 0, bottomMax = 0, leftMin = 0, leftMax = 0;
    QList<double> points, line;
    QStringList messages;

    bool operator==(const WindowState&) const = default;
};

QList<double> Points(const TChartSeries& s)
{
    QList<double> out;
    out.reserve(2 * s.Count());
    for (qsizetype i = 0; i < s.Count(); ++i)
        out << s.XValue(i) << s.YValue(i);
    return out;
}

WindowState Capture(TForm1& form, const FakeMessages& messages)
{
    TForm1Probe probe(form);
    WindowState s;
    const LineList& lines = probe.DataList();
    for (qsizetype i = 0; i < lines.Count(); ++i)
        s.lines << lines.Line(i);
    s.xdata = probe.xdata();
    s.ydata = probe.ydata();
    s.xmag = probe.xmag();
    s.ymag = probe.ymag();
    s.xtani = probe.xtani();
    s.ytani = probe.ytani();
    s.xname = probe.xname();
    s.yname = probe.yname();
    s.status = form.StatusBar1->SimpleText();
    TChart& chart = *form.Chart1;
    s.subtitle = chart.SubTitle().Text().Lines();
    s.bottomTitle << chart.BottomAxis().Title().Caption();
    s.leftTitle << chart.LeftAxis().Title().Caption();
    s.bottomAuto = chart.BottomAxis().Automatic();
    s.leftAuto = chart.LeftAxis().Automatic();
    // An automatic axis's range is the one its last drawing found.
    if (!s.bottomAuto) {
        s.bottomMin = chart.BottomAxis().Minimum();
        s.bottomMax = chart.BottomAxis().Maximum();
    }
    if (!s.leftAuto) {
        s.leftMin = chart.LeftAxis().Minimum();
        s.leftMax = chart.LeftAxis().Maximum();
    }
    s.points = Points(*form.Series1);
    s.line = Points(*form.Series2);
    for (const ShownMessage& m : messages.shown)
        s.messages << m.caption + u'|' + m.text;
    return s;
}

// The chart as the user sees it, small: the layout, the axes' labels and
// every marker and line are computed.
void Render(TForm1& form)
{
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    RenderChart(form.Chart1->Model(), painter, image.rect());
}

QStringList LinesOf(const LineList& lines)
{
    QStringList out;
    for (qsizetype i = 0; i < lines.Count(); ++i)
        out << lines.Line(i);
    return out;
}

// Prints what differs between two window states, for a finding's report.
void PrintDifference(const WindowState& a, const WindowState& b)
{
    // Lines are shown as a count and the texts, anything but printable
    // ASCII as its code (an invisible U+FEFF must show).
    auto escaped = [](const QStringList& x) {
        QString out = QString::number(x.size()) + u':';
        for (const QString& s : x) {
            out += u'[';
            for (QChar c : s)
                out += c.unicode() >= 0x20 && c.unicode() < 0x7F ? QString(c)
                                                                 : QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QChar(u'0'));
            out += u']';
        }
        return out;
    };
    auto show = [&](const char* name, const QStringList& x, const QStringList& y) {
        if (x != y)
            std::fprintf(stderr, "  %s: %s vs %s\n", name, qPrintable(escaped(x)), qPrintable(escaped(y)));
    };
    auto nums = [](const QList<double>& v) {
        QStringList out;
        for (double d : v)
            out << QString::number(d, 'g', 17);
        return out;
    };
    show("lines", a.lines, b.lines);
    show("xdata", nums(a.xdata), nums(b.xdata));
    show("ydata", nums(a.ydata), nums(b.ydata));
    show("mags", nums({a.xmag, a.ymag}), nums({b.xmag, b.ymag}));
    show("names", {a.xname, a.yname, a.xtani, a.ytani, a.status}, {b.xname, b.yname, b.xtani, b.ytani, b.status});
    show("subtitle", a.subtitle, b.subtitle);
    show("axes", nums({a.bottomMin, a.bottomMax, a.leftMin, a.leftMax, double(a.bottomAuto), double(a.leftAuto)}),
         nums({b.bottomMin, b.bottomMax, b.leftMin, b.leftMax, double(b.bottomAuto), double(b.leftAuto)}));
    show("points", nums(a.points), nums(b.points));
    show("line", nums(a.line), nums(b.line));
    show("messages", a.messages, b.messages);
}

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "fuzz_table: %s\n", what);
    __builtin_trap();
}

void Paste(Harness& h, const QString& text)
{
    h.fixture.clipboard->text = text;
    RunReportingErrors(*h.fixture.messages, &h.form(), [&] { h.form().BtnPasteClick(nullptr); });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::StartWidgetApp(argc, argv);
    // Tables above a few kilobytes take the mapped-file path.
    tablefile_detail::SetMapThreshold(4096);
    g_harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Harness& h = *g_harness;
    TForm1& form = h.form();
    FakeMessages& messages = *h.fixture.messages;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The same start for every input: defaults, and a table on the chart
    // that sets both names (a table of fewer than two lines keeps it).
    NumberFormat::SetCurrent(NumberFormat{u'.', u','});
    form.AutoSize->setChecked(true);
    form.ToggleSwitch1->SetState(tssOff);
    // An axis keeps the range of its last drawing until a plot sets one, so
    // the start is drawn too.
    Paste(h, QStringLiteral("x,y\n0,0\n1,1\n"));
    Render(form);
    messages.shown.clear();

    // The decoded text, as a paste would bring it: the bytes themselves when
    // they are UTF-8 without a mark, else the decoded lines.
    const LineList decoded = DecodeTable(bytes);
    QString text;
    if (IsValidUtf8(bytes.constData(), std::size_t(bytes.size())) && !bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes);
    } else {
        for (qsizetype i = 0; i < decoded.Count(); ++i)
            text += decoded.Line(i) + u'\n';
    }
    if (LinesOf(LineList::FromText(text)) != LinesOf(decoded))
        Finding("the decoded text split again gives other lines");

    const WindowState before = Capture(form, messages);
    Paste(h, text);
    const WindowState pasted = Capture(form, messages);
    Render(form);

    // The same bytes as a dropped file, from the same start.
    {
        QFile f(h.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            Finding("cannot write the scratch file");
    }
    {
        const LineList read = ReadTableFile(h.path);
        if (LinesOf(read) != LinesOf(decoded))
            Finding("the file's lines differ from the decoded bytes' lines");
    }
    Paste(h, QStringLiteral("x,y\n0,0\n1,1\n"));
    Render(form);
    messages.shown.clear();
    if (Capture(form, messages) != before)
        Finding("the fixed start table does not give the same window twice");
    RunReportingErrors(messages, &form, [&] { form.WMDropFiles({h.path}); });
    const WindowState dropped = Capture(form, messages);
    if (dropped != pasted) {
        PrintDifference(pasted, dropped);
        Finding("the dropped file and the pasted text give different windows");
    }
    Render(form);

    // The swap runs the plot again on the lines left by the first run.
    form.ToggleSwitch1->click();
    Render(form);

    // A comma as decimal separator, magnifications left at 1.
    NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
    form.AutoSize->setChecked(false);
    Paste(h, text);
    Render(form);
    NumberFormat::SetCurrent(NumberFormat{u'.', u','});
    form.AutoSize->setChecked(true);
    return 0;
}
