#include "Chart.h"

#include "ChartExport.h"
#include "ChartRenderer.h"

#include <QPainter>
#include <QScreen>
#include <QStringList>

TChart::TChart(QWidget* parent) : QWidget(parent), m_model(new TChartModel(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    connect(m_model, &TChartModel::Changed, this, &TChart::ModelChanged);
    ModelChanged();
}

void TChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The control paints all of its pixels itself; with the shadow shown the
    // panel leaves two corners free, which show the window behind it.
    if (m_model->Shadow().Visible())
        p.fillRect(rect(), palette().color(QPalette::Window));
    RenderChart(*m_model, p, rect());
}

QImage TChart::RenderImage(const QColor& background) const
{
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter p(&image);
    RenderChart(*m_model, p, QRect(QPoint(0, 0), size()));
    return image;
}

int TChart::BitmapBits() const
{
    const QScreen* s = screen();
    return BitmapBitsForDepth(s ? s->depth() : 32);
}

QImage TChart::ExportBitmap(const QColor& background) const
{
    return ChartBitmap(*m_model, size(), background, BitmapBits());
}

QByteArray TChart::ExportMetafile() const
{
    return ChartMetafile(*m_model, size(), logicalDpiY());
}

void TChart::SaveToBitmapFile(const QString& path) const
{
    const int bits = BitmapBits();
    const QImage image = ChartBitmap(*m_model, size(), Qt::white, bits);
    WriteWholeFile(path, EncodeBmp(image, bits, logicalDpiX(), path));
}

void TChart::SaveToMetafileEnh(const QString& path) const
{
    WriteWholeFile(path, ExportMetafile());
}

void TChart::CopyToClipboardBitmap(TChartClipboard& clipboard) const
{
    clipboard.SetImage(ExportBitmap(ToQColor(Color())));
}

void TChart::CopyToClipboardMetafile(bool, TChartClipboard& clipboard) const
{
    clipboard.SetData(EmfMimeTypes(), ExportMetafile());
}

QString TChart::AccessibleNameText() const
{
    return m_model->Title().Text().Lines().join(u' ').trimmed();
}

QString TChart::AccessibleDescriptionText() const
{
    QStringList parts;
    for (const QString& line : m_model->SubTitle().Text().Lines())
        if (!line.trimmed().isEmpty())
            parts << line;
    const QString x = m_model->BottomAxis().Title().Caption();
    const QString y = m_model->LeftAxis().Title().Caption();
    if (!x.isEmpty())
        parts << QStringLiteral("X軸: ") + x;
    if (!y.isEmpty())
        parts << QStringLiteral("Y軸: ") + y;
    return parts.join(QStringLiteral("\n"));
}

void TChart::ModelChanged()
{
    const QString name = AccessibleNameText();
    const QString description = AccessibleDescriptionText();
    if (accessibleName() != name)
        setAccessibleName(name);
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
    update();
}
