// The chart handed on to other programs: the tool bar's four export buttons
// (an enhanced metafile or a bitmap, to a file or to the clipboard), and the
// chart's own menu with PNG, SVG and PDF files, a PNG copy and the fit's
// numbers. Failures reach the default error reporting.

#include "Chart.h"
#include "ChartExport.h"
#include "Dialogs.h"
#include "NumberFormat.h"
#include "Regression.h"
#include "Unit1.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QMenu>

namespace {

const QString kBmpFilter = QStringLiteral("BMP(*.bmp)|*.bmp");
const QString kEmfFilter = QStringLiteral("EMF(*.emf)|*.emf");
const QString kPngFilter = QStringLiteral("PNG(*.png)|*.png");
const QString kSvgFilter = QStringLiteral("SVG(*.svg)|*.svg");
const QString kPdfFilter = QStringLiteral("PDF(*.pdf)|*.pdf");

} // namespace

void TForm1::CopyEMFClick(QObject*)
{
    Chart1->CopyToClipboardMetafile(true, *m_services.clipboard);
}

void TForm1::SaveEMFClick(QObject*)
{
    SavePictureDialog1->SetFilter(kEmfFilter);
    SavePictureDialog1->SetDefaultExt(QStringLiteral("EMF"));
    if (!SavePictureDialog1->Execute())
        return;
    Chart1->SaveToMetafileEnh(SavePictureDialog1->FileName());
}

void TForm1::CopyBMPClick(QObject*)
{
    Chart1->CopyToClipboardBitmap(*m_services.clipboard);
}

void TForm1::SaveBMPClick(QObject*)
{
    SavePictureDialog1->SetFilter(kBmpFilter);
    SavePictureDialog1->SetDefaultExt(QStringLiteral("BMP"));
    if (!SavePictureDialog1->Execute())
        return;
    Chart1->SaveToBitmapFile(SavePictureDialog1->FileName());
}

void TForm1::CreateChartMenu()
{
    ChartMenu = new QMenu(this);
    ChartMenu->setObjectName(QStringLiteral("ChartMenu"));
    ChartMenu->setAccessibleName(QStringLiteral("グラフのメニュー"));
    const auto add = [this](const char* name, const QString& text, void (TForm1::*handler)(QObject*)) {
        QAction* action = ChartMenu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        Bind(action, &QAction::triggered, handler);
        return action;
    };
    SavePngAction = add("SavePngAction", QStringLiteral("グラフをPNGで保存..."), &TForm1::SavePNGClick);
    SaveSvgAction = add("SaveSvgAction", QStringLiteral("グラフをSVGで保存..."), &TForm1::SaveSVGClick);
    SavePdfAction = add("SavePdfAction", QStringLiteral("グラフをPDFで保存..."), &TForm1::SavePDFClick);
    ChartMenu->addSeparator();
    CopyPngAction = add("CopyPngAction", QStringLiteral("グラフをPNGでコピー"), &TForm1::CopyPNGClick);
    CopyFitAction = add("CopyFitAction", QStringLiteral("回帰の数値をコピー"), &TForm1::CopyFitClick);
    connect(Chart1, &TChart::MenuRequested, this, &TForm1::ShowChartMenu);
}

void TForm1::ShowChartMenu(const QPoint& globalPos)
{
    // A table without a fitted line has no numbers to copy.
    CopyFitAction->setEnabled(m_fitShown);
    ChartMenu->popup(globalPos);
}

void TForm1::SaveChartAs(const QString& filter, const QString& defaultExt,
                         QByteArray (*picture)(const TChartModel&, const ChartCanvas&))
{
    SaveChartDialog->SetFilter(filter);
    SaveChartDialog->SetDefaultExt(defaultExt);
    if (!SaveChartDialog->Execute())
        return;
    // A chart of a million scattered points takes seconds as SVG or PDF.
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    WriteWholeFile(SaveChartDialog->FileName(), picture(Chart1->Model(), Chart1->Canvas()));
}

void TForm1::SavePNGClick(QObject*) { SaveChartAs(kPngFilter, QStringLiteral("png"), &ChartPng); }
void TForm1::SaveSVGClick(QObject*) { SaveChartAs(kSvgFilter, QStringLiteral("svg"), &ChartSvg); }
void TForm1::SavePDFClick(QObject*) { SaveChartAs(kPdfFilter, QStringLiteral("pdf"), &ChartPdf); }

void TForm1::CopyPNGClick(QObject*)
{
    const ChartCanvas canvas = Chart1->Canvas();
    const QImage image = ChartBitmap(Chart1->Model(), canvas, canvas.backdrop, 32);
    m_services.clipboard->SetPicture({image, {{{QString::fromLatin1(kPngMimeType)}, EncodePng(image)}}});
}

void TForm1::CopyFitClick(QObject*)
{
    if (!m_fitShown)
        return;
    const FitReport fit = Unmagnified(FitWithErrors(std::as_const(xdata), std::as_const(ydata)), xmag, ymag);
    m_services.clipboard->SetText(FitReportText(fit, xmag, xtani, ymag, ytani, NumberFormat::Current()));
}
