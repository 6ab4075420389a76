#include "Chart.h"

#include "ChartExport.h"
#include "ChartRenderer.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QtMath>

#include <cmath>

namespace {
// How long the size must stay put before the exact frame follows the
// approximate ones of a resize.
constexpr int kSettleMs = 150;
// The largest metafile whose chart the metafile copy also offers as SVG.
constexpr qsizetype kSvgBesideMetafileBytes = qsizetype(1) << 20;
} // namespace

TChart::TChart(QWidget* parent) : QWidget(parent), m_model(new TChartModel(this)), m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, [this] {
        m_frameValid = false;
        update();
    });
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reachable from the keyboard, for its menu.
    setFocusPolicy(Qt::StrongFocus);
    connect(m_model, &TChartModel::Changed, this, &TChart::ModelChanged);
    ModelChanged();
}

namespace {
// From this many points on, a series takes long enough to draw (some tens of
// milliseconds) for a resize to stretch the last picture's plot area instead.
constexpr qsizetype kStretchPoints = 1000000;

bool HasLargeSeries(const TChartModel& m)
{
    for (int i = 0; i < m.SeriesCount(); ++i)
        if (m.Series(i)->Active() && m.Series(i)->RawX().size() >= kStretchPoints)
            return true;
    return false;
}
} // namespace

void TChart::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(qCeil(width() * dpr), qCeil(height() * dpr));
    const QColor window = palette().color(QPalette::Window);
    // Fonts are sized for the screen's resolution, as they would be when
    // drawn on the control directly.
    const int dpmX = qRound(logicalDpiX() / 0.0254), dpmY = qRound(logicalDpiY() / 0.0254);
    const bool sameButSize = m_frameValid && m_frame.devicePixelRatio() == dpr && m_frameWindow == window
        && m_frame.dotsPerMeterX() == dpmX && m_frame.dotsPerMeterY() == dpmY;
    if (!sameButSize || m_frame.size() != pixels) {
        // Only the size has changed, so the window is being resized: a large
        // series is not drawn again until the size stays put.
        const bool large = HasLargeSeries(*m_model);
        const bool stretch = sameButSize && !m_exact.isNull() && large;
        // Drawn over the last picture where nothing else holds it: new
        // memory costs more than the drawing of a small chart.
        if (m_frame.size() != pixels || !m_frame.isDetached())
            m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(dpr);
        m_frame.setDotsPerMeterX(dpmX);
        m_frame.setDotsPerMeterY(dpmY);
        // The control paints all of its pixels itself; with the shadow shown
        // the panel leaves two corners free, which show the window behind it.
        m_frame.fill(window);
        if (!m_frame.isNull()) {
            QPainter fp(&m_frame);
            QRect plot;
            RenderHints hints;
            hints.plot = &plot;
            hints.drawSeries = !stretch;
            hints.backdrop = window;
            RenderChart(*m_model, fp, rect(), hints);
            if (stretch) {
                const QRect to = plot.adjusted(0, 0, 1, 1), from = m_exactPlot.adjusted(0, 0, 1, 1);
                fp.setClipRect(to);
                fp.setRenderHint(QPainter::SmoothPixmapTransform, true);
                fp.drawImage(QRectF(to), m_exact,
                             QRectF(from.x() * dpr, from.y() * dpr, from.width() * dpr, from.height() * dpr));
                m_settle->start();
            } else {
                fp.end();
                // Kept only where a resize will stretch it.
                m_exact = large ? m_frame : QImage();
                m_exactPlot = plot;
            }
        }
        m_frameValid = true;
        m_frameWindow = window;
    }
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_frame);
}

QImage TChart::RenderImage(const QColor& background) const
{
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter p(&image);
    RenderChart(*m_model, p, QRect(QPoint(0, 0), size()));
    return image;
}

ChartCanvas TChart::Canvas() const
{
    return ChartCanvas{size(), devicePixelRatioF(), logicalDpiY(), palette().color(QPalette::Window)};
}

int TChart::BitmapBits() const
{
    const QScreen* s = screen();
    return BitmapBitsForDepth(s ? s->depth() : 32);
}

QImage TChart::ExportBitmap(const QColor& background) const
{
    return ChartBitmap(*m_model, Canvas(), background, BitmapBits());
}

QByteArray TChart::ExportMetafile() const
{
    return ChartMetafile(*m_model, Canvas());
}

void TChart::SaveToBitmapFile(const QString& path) const
{
    const int bits = BitmapBits();
    const ChartCanvas canvas = Canvas();
    const QImage image = ChartBitmap(*m_model, canvas, Qt::white, bits);
    // The header's resolution counts the device pixels per inch.
    WriteWholeFile(path, EncodeBmp(image, bits, int(std::lround(logicalDpiX() * canvas.pixelRatio)), path));
}

void TChart::SaveToMetafileEnh(const QString& path) const
{
    WriteWholeFile(path, ExportMetafile());
}

void TChart::CopyToClipboardBitmap(TChartClipboard& clipboard) const
{
    const QImage image = ExportBitmap(ToQColor(Color()));
    clipboard.SetPicture({image, {{{QString::fromLatin1(kPngMimeType)}, EncodePng(image)}}});
}

void TChart::CopyToClipboardMetafile(bool, TChartClipboard& clipboard) const
{
    const ChartCanvas canvas = Canvas();
    ClipboardPicture picture;
    picture.forms.append({EmfMimeTypes(), ChartMetafile(*m_model, canvas)});
    // Beside the metafile only the other vector form: an office program
    // that is offered a PNG too takes the PNG (LibreOffice Writer does), so
    // the pasted chart would no longer be a drawing. A PNG is the bitmap
    // copy's and the menu's PNG copy's. An SVG takes about eight times the
    // metafile's bytes and far longer to write: a chart of a million
    // scattered points (3 MB of metafile) would hold the copy for seconds,
    // so such a chart goes as metafile only, and its menu saves the SVG.
    if (picture.forms.constFirst().second.size() <= kSvgBesideMetafileBytes)
        picture.forms.append({{QString::fromLatin1(kSvgMimeType)}, ChartSvg(*m_model, canvas)});
    clipboard.SetPicture(picture);
}

void TChart::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu opens over the chart, not at the pointer.
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                                   : mapToGlobal(rect().center());
    emit MenuRequested(at);
    event->accept();
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        emit MenuRequested(mapToGlobal(rect().center()));
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
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
    m_frameValid = false;
    update();
}
