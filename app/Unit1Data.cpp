// The main window's data handlers: the three loaders, the swap switch and
// the plotting pipeline from raw lines to the chart.

#include "Chart.h"
#include "CheckedMath.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "LineList.h"
#include "Magnification.h"
#include "NumberFormat.h"
#include "Regression.h"
#include "TableFile.h"
#include "TableFormat.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>

#include <utility>

namespace {
const QString kPlotErrorText = QStringLiteral("エラーが発生しました データを確認してください");
const QString kPlotErrorCaption = QStringLiteral("情報");
const QString kNoLinesMessage = QStringLiteral("データに空でない行がありません");
const QString kNoDataRowMessage = QStringLiteral("データに数値の行がありません");
const QString kReadingNote = QStringLiteral("ファイルを読み込んでいます…");
const QString kPlottingNote = QStringLiteral("データを処理しています…");

// From about these sizes on, reading a file or plotting its lines takes some
// tenths of a second on a two-core machine (ten million rows of "x,y" with
// six decimals, 220 MB, read and plotted in about 0.4 s).
constexpr qint64 kBusyFileBytes = qint64(32) << 20;
constexpr qsizetype kBusyLines = 1500000;

// While a long load or plot runs, the window cannot paint: everything runs
// on this thread. So that it does not look frozen, the wait cursor and a
// note in the status bar show first, painted at once. When the work ends the
// cursor comes back, and the status bar shows what the work wrote there, or
// else what it showed before.
class BusyNote {
public:
    BusyNote(TStatusBar* bar, bool show, const QString& note) : m_bar(bar), m_note(note)
    {
        if (!show || s_active)
            return;
        s_active = m_shown = true;
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        m_before = m_bar->SimpleText();
        m_bar->SetSimpleText(m_note);
        m_bar->repaint();
    }
    ~BusyNote()
    {
        if (!m_shown)
            return;
        if (m_bar->SimpleText() == m_note)
            m_bar->SetSimpleText(m_before);
        QGuiApplication::restoreOverrideCursor();
        s_active = false;
    }
    BusyNote(const BusyNote&) = delete;
    BusyNote& operator=(const BusyNote&) = delete;

private:
    static inline bool s_active = false;
    TStatusBar* m_bar;
    QString m_note;
    QString m_before;
    bool m_shown = false;
};
} // namespace

// --- loaders ---------------------------------------------------------------

void TForm1::BtnOpenClick(QObject*)
{
    if (!FileOpenDialog1->Execute())
        return;
    LoadFileAndPlot(FileOpenDialog1->FileName());
}

void TForm1::WMDropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    // The whole path of the first file, however long.
    LoadFileAndPlot(paths.constFirst());
}

void TForm1::LoadFileAndPlot(const QString& path)
{
    {
        const BusyNote busy(StatusBar1, QFileInfo(path).size() >= kBusyFileBytes, kReadingNote);
        DataList->Clear();
        xmag = 1.0;
        ymag = 1.0;
        *DataList = ReadTableFile(path);
    }
    PlotDataReportingFailure();
}

void TForm1::BtnPasteClick(QObject*)
{
    DataList->Clear();
    const QString text = m_services.clipboard->Text();
    xmag = 1.0;
    ymag = 1.0;
    DataList->AppendText(text);
    PlotDataReportingFailure();
}

void TForm1::PlotDataReportingFailure()
{
    try {
        PlotData();
    } catch (const std::exception&) {
        ShowPlotErrorBox();
    }
}

void TForm1::ShowPlotErrorBox()
{
    m_services.messages->ShowMessage(this, kPlotErrorCaption, kPlotErrorText, MessageIcon::Error);
}

// --- the pipeline ------------------------------------------------------------

void TForm1::PlotData()
{
    LineList& lines = *DataList;
    if (lines.Count() < 2)
        return;
    // Ended before a caller shows the error message box.
    const BusyNote busy(StatusBar1, lines.Count() >= kBusyLines, kPlottingNote);

    TChartAxis& left = Chart1->LeftAxis();
    TChartAxis& bottom = Chart1->BottomAxis();
    left.SetAutomatic(true);
    bottom.SetAutomatic(true);
    Series1->Clear();
    Series2->Clear();
    m_fitShown = false;
    Chart1->SubTitle().Text().Clear();

    lines.RemoveEmptyLines();
    if (lines.IsEmpty())
        throw EConvertError(kNoLinesMessage);

    const NumberFormat& nf = NumberFormat::Current();
    const char delimiter = ChooseDelimiter(lines);
    if (const std::optional<ColumnNames> names = HeaderRow(lines, delimiter, nf)) {
        xname = names->first;
        yname = names->second;
        lines.Delete(0);
    }

    const bool swap = ToggleSwitch1->State() == tssOn;
    bottom.Title().SetCaption(swap ? yname : xname);
    left.Title().SetCaption(swap ? xname : yname);

    // One pass finds the magnitudes and parses the data rows. It can fail on
    // a line of one field, and the previous columns stay until the points
    // step replaces them, so it fills buffers of its own; unless these very
    // lines have passed it before (a re-plot: the swap, a magnification),
    // when it cannot fail that way and rewrites the columns in place, which
    // saves writing 160 MB of new memory on ten million rows. (Only running
    // out of memory for a quoted field could then still stop it half way.)
    TableScan scan = lines.EveryLineSplits(delimiter)
        ? ScanTable(lines, delimiter, swap, nf, std::move(xdata), std::move(ydata))
        : ScanTable(lines, delimiter, swap, nf);

    if (AutoSize->isChecked()) {
        CalcMagnification(xmag, xtani, scan.maxX);
        CalcMagnification(ymag, ytani, scan.maxY);
    }
    StatusBar1->SetSimpleText(MagnificationStatusText(xmag, xtani, ymag, ytani, nf));

    xdata = std::move(scan.xs);
    ydata = std::move(scan.ys);
    try {
        ScaleColumns(xdata, ydata, xmag, ymag);
    } catch (...) {
        // The rows scaled before the failing one are plotted, as adding
        // them one by one would have left them.
        Series1->AddXYs(xdata, ydata);
        throw;
    }
    if (xdata.isEmpty()) {
        Series1->AddXYs(xdata, ydata);
        throw EConvertError(kNoDataRowMessage);
    }
    // One pass takes the ranges of the axes and of the series and the
    // regression's first sums.
    const ColumnSummary summary = SummarizeColumns(std::as_const(xdata), std::as_const(ydata));
    Series1->AddXYs(xdata, ydata,
                    {summary.inOrderXMin, summary.inOrderXMax, summary.inOrderYMin, summary.inOrderYMax});
    m_fitSumsKnown = true;
    m_fitSumX = summary.sums.x;
    m_fitSumY = summary.sums.y;

    const ValueRange xr{summary.xMin, summary.xMax};
    const ValueRange yr{summary.yMin, summary.yMax};
    const double mx = checked::Mul(checked::Sub(xr.max, xr.min), 0.25);
    const double my = checked::Mul(checked::Sub(yr.max, yr.min), 0.25);

    left.SetAutomatic(false);
    bottom.SetAutomatic(false);
    left.SetMinMax(checked::Sub(yr.min, my), checked::Add(yr.max, my));
    bottom.SetMinMax(checked::Sub(xr.min, mx), checked::Add(xr.max, mx));

    CalcRegression();

    // The regression line runs half a margin beyond the data on each side.
    // Its points are aresult * x + bresult, taken from the means: far from
    // zero the two terms of that sum are huge and cancel, and their
    // rounding would move the line off the data.
    const double half = checked::Div(mx, 2.0);
    const double x1 = checked::Sub(xr.min, half);
    const double x2 = checked::Add(xr.max, half);
    auto lineY = [&](double x) {
        return checked::Add(m_lineMeanY, checked::Mul(aresult, checked::Sub(x, m_lineMeanX)));
    };
    const double y1 = lineY(x1);
    const double y2 = lineY(x2);
    Series2->AddXY(x1, y1, QString(), clSeriesColor);
    Series2->AddXY(x2, y2, QString(), clSeriesColor);
}

void TForm1::CalcMagnification(double& mag, QString& tani, double value)
{
    ::CalcMagnification(value, mag, tani);
}

void TForm1::CalcRegression()
{
    RegressionCentre centre;
    // The sums that PlotData's pass over the columns took, if it was that
    // pass that led here.
    const ShiftedSums sums{m_fitSumX, m_fitSumY};
    const bool known = std::exchange(m_fitSumsKnown, false);
    // Read through const views: Series1 shares these arrays, and a write
    // access would copy both of them.
    const double r = FitRegression(std::as_const(xdata), std::as_const(ydata), aresult, bresult, &centre,
                                   known ? &sums : nullptr);
    m_lineMeanX = centre.meanX;
    m_lineMeanY = centre.meanY;
    Chart1->SubTitle().Text().Add(RegressionSubtitle(aresult, bresult, r, NumberFormat::Current()));
    m_fitShown = true;
}
