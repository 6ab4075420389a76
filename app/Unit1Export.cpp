// The export buttons: the chart as an enhanced metafile or a bitmap, to a
// file or to the clipboard. Failures reach the default error reporting.

#include "Chart.h"
#include "ChartExport.h"
#include "Dialogs.h"
#include "Unit1.h"

#include <QImage>

namespace {

const QString kBmpFilter = QStringLiteral("BMP(*.bmp)|*.bmp");
const QString kEmfFilter = QStringLiteral("EMF(*.emf)|*.emf");

// The window's clipboard as the chart's copy operations address it.
class FormClipboard final : public TChartClipboard {
public:
    explicit FormClipboard(IClipboard& clipboard) : m_clipboard(clipboard) {}
    void SetImage(const QImage& image) override { m_clipboard.SetImage(image); }
    void SetData(const QStringList& mimeTypes, const QByteArray& data) override
    {
        m_clipboard.SetData(mimeTypes, data);
    }

private:
    IClipboard& m_clipboard;
};

} // namespace

void TForm1::CopyEMFClick(QObject*)
{
    FormClipboard clipboard(*m_services.clipboard);
    Chart1->CopyToClipboardMetafile(true, clipboard);
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
    FormClipboard clipboard(*m_services.clipboard);
    Chart1->CopyToClipboardBitmap(clipboard);
}

void TForm1::SaveBMPClick(QObject*)
{
    SavePictureDialog1->SetFilter(kBmpFilter);
    SavePictureDialog1->SetDefaultExt(QStringLiteral("BMP"));
    if (!SavePictureDialog1->Execute())
        return;
    Chart1->SaveToBitmapFile(SavePictureDialog1->FileName());
}
