#include "Chart.h"

#include "ChartRenderer.h"

#include <QPainter>
#include <QtMath>
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
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(qCeil(width() * dpr), qCeil(height() * dpr));
    const QColor window = palette().color(QPalette::Window);
    // Fonts are sized for the screen's resolution, as they would be when
    // drawn on the control directly.
    const int dpmX = qRound(logicalDpiX() / 0.0254), dpmY = qRound(logicalDpiY() / 0.0254);
    if (!m_frameValid || m_frame.size() != pixels || m_frame.devicePixelRatio() != dpr || m_frameWindow != window
        || m_frame.dotsPerMeterX() != dpmX || m_frame.dotsPerMeterY() != dpmY) {
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(dpr);
        m_frame.setDotsPerMeterX(dpmX);
        m_frame.setDotsPerMeterY(dpmY);
        // The control paints all of its pixels itself; with the shadow shown
        // the panel leaves two corners free, which show the window behind it.
        m_frame.fill(window);
        if (!m_frame.isNull()) {
            QPainter fp(&m_frame);
            RenderChart(*m_model, fp, rect());
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
