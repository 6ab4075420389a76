#include "Icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>

namespace {

// Draws one icon into a 24 x 24 design box.
void PaintToolIcon(QPainter& p, ToolIcon kind, const QColor& color)
{
    QPen pen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case ToolIcon::OpenFolder: {
        QPainterPath back;
        back.moveTo(3, 19);
        back.lineTo(3, 5);
        back.lineTo(9, 5);
        back.lineTo(11, 7);
        back.lineTo(19, 7);
        back.lineTo(19, 10);
        p.drawPath(back);
        QPainterPath front;
        front.moveTo(3, 19);
        front.lineTo(6.5, 10);
        front.lineTo(22, 10);
        front.lineTo(18.5, 19);
        front.closeSubpath();
        p.drawPath(front);
        break;
    }
    case ToolIcon::Paste: {
        p.drawRoundedRect(QRectF(4, 4.5, 14, 17), 1.5, 1.5);
        p.drawRoundedRect(QRectF(8, 2.5, 6, 4), 1, 1);
        p.setBrush(p.background());
        p.drawRect(QRectF(11, 10, 10, 12));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(13.5, 14), QPointF(18.5, 14));
        p.drawLine(QPointF(13.5, 17.5), QPointF(18.5, 17.5));
        break;
    }
    case ToolIcon::Copy: {
        QPainterPath back;
        back.moveTo(8, 3);
        back.lineTo(17, 3);
        back.lineTo(21, 7);
        back.lineTo(21, 17);
        back.lineTo(8, 17);
        back.closeSubpath();
        p.drawPath(back);
        QPainterPath front;
        front.moveTo(8, 7);
        front.lineTo(4, 7);
        front.lineTo(4, 21);
        front.lineTo(16, 21);
        front.lineTo(16, 17);
        p.drawPath(front);
        break;
    }
    case ToolIcon::Save: {
        QPainterPath body;
        body.moveTo(3, 3);
        body.lineTo(17.5, 3);
        body.lineTo(21, 6.5);
        body.lineTo(21, 21);
        body.lineTo(3, 21);
        body.closeSubpath();
        p.drawPath(body);
        p.drawRect(QRectF(7, 3, 9, 6));
        p.drawRect(QRectF(6.5, 13, 11, 8));
        break;
    }
    }
}

QPixmap RenderToolIcon(ToolIcon kind, const QColor& color, int size, qreal dpr)
{
    QPixmap pm(int(size * dpr), int(size * dpr));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBackground(QColor(0, 0, 0, 0));
    p.scale(size / 24.0, size / 24.0);
    if (kind == ToolIcon::Paste) {
        // The sheet in front hides the board behind it.
        p.setCompositionMode(QPainter::CompositionMode_Source);
    }
    PaintToolIcon(p, kind, color);
    return pm;
}

} // namespace

QIcon MakeToolIcon(ToolIcon kind, const QColor& color)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        for (qreal dpr : {1.0, 2.0})
            icon.addPixmap(RenderToolIcon(kind, color, size, dpr));
    return icon;
}

namespace {

// Draws the check mark into a 16 x 16 design box.
void PaintCheckMark(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0, 150, 40), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(3, 8.5);
    tick.lineTo(6.5, 12);
    tick.lineTo(13, 4.5);
    p.drawPath(tick);
}

// The check mark drawn afresh at whatever size it is asked for; the
// disabled and selected looks are the style's, made from that drawing.
class TCheckMarkEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device()->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * dpr, mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.scale(size.width() / 16.0, size.height() / 16.0);
            PaintCheckMark(p);
        }
        if (mode == QIcon::Normal)
            return pm;
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, pm, &option);
    }
    QIconEngine* clone() const override { return new TCheckMarkEngine; }
};

} // namespace

QPixmap MakeCheckMark(qreal dpr)
{
    QPixmap pm = TCheckMarkEngine().pixmap(QSize(int(16 * dpr), int(16 * dpr)), QIcon::Normal, QIcon::Off);
    pm.setDevicePixelRatio(dpr);
    return pm;
}

QIcon MakeCheckMarkIcon() { return QIcon(new TCheckMarkEngine); }
