#include "ZoomStyle.h"

#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>
#include <QStyleOptionComplex>
#include <QWidget>

#include <cmath>

namespace {

constexpr char kZoomFactor[] = "plotmereZoomFactor";

// Set while the base style draws a control at design size: the rectangles
// it asks this style for while drawing are design-size ones too, and must
// not be magnified a second time.
thread_local bool t_drawingAtDesignSize = false;

// The factor a spin field or list is magnified by: none while the base
// style is drawing one at design size.
double ComplexControlFactor(const QWidget* widget)
{
    return t_drawingAtDesignSize ? 1.0 : TZoomStyle::ZoomFactor(widget);
}

int Scaled(int v, double f)
{
    return int(std::lround(v * f));
}

// The control's rectangle as it would be at design size, at the origin.
QRect DesignRect(const QRect& r, double f)
{
    return QRect(0, 0, std::max(1, Scaled(r.width(), 1 / f)), std::max(1, Scaled(r.height(), 1 / f)));
}

// Calls `fn` with a copy of the option as it would be at design size (the
// same control, its rectangle shrunk by the factor and moved to the origin)
// and returns true; false for a control that is not magnified as a whole.
template <class Fn>
bool AtDesignSize(QStyle::ComplexControl control, const QStyleOptionComplex* option, double f, Fn&& fn)
{
    if (control == QStyle::CC_SpinBox)
        if (const auto* spin = qstyleoption_cast<const QStyleOptionSpinBox*>(option)) {
            QStyleOptionSpinBox design(*spin);
            design.rect = DesignRect(option->rect, f);
            fn(design);
            return true;
        }
    if (control == QStyle::CC_ComboBox)
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
            QStyleOptionComboBox design(*combo);
            design.rect = DesignRect(option->rect, f);
            fn(design);
            return true;
        }
    return false;
}

// A design-size rectangle inside the control magnified into the control's
// real rectangle; edges are scaled so the parts still meet.
QRect Magnify(const QRect& r, const QRect& control, const QRect& design, double f)
{
    auto edge = [](int v, int designSpan, int span, double factor) {
        return v >= designSpan ? span : Scaled(v, factor);
    };
    const int left = edge(r.left(), design.width(), control.width(), f);
    const int top = edge(r.top(), design.height(), control.height(), f);
    const int right = edge(r.left() + r.width(), design.width(), control.width(), f);
    const int bottom = edge(r.top() + r.height(), design.height(), control.height(), f);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

TZoomStyle::TZoomStyle(QStyle* base) : QProxyStyle(base) {}

void TZoomStyle::SetZoomFactor(QWidget* window, double factor)
{
    window->setProperty(kZoomFactor, factor);
}

double TZoomStyle::ZoomFactor(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kZoomFactor);
        if (v.isValid())
            return v.toDouble() > 0 ? v.toDouble() : 1.0;
        if (w->isWindow())
            break;
    }
    return 1.0;
}

void TZoomStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    if (element == PE_FrameFocusRect) {
        const int line = std::max(1, Scaled(1, ZoomFactor(widget)));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(Qt::NoPen);
        painter->setBrush(option->palette.color(QPalette::WindowText));
        const QRect r = option->rect;
        painter->drawRect(QRect(r.left(), r.top(), r.width(), line));
        painter->drawRect(QRect(r.left(), r.bottom() - line + 1, r.width(), line));
        painter->drawRect(QRect(r.left(), r.top(), line, r.height()));
        painter->drawRect(QRect(r.right() - line + 1, r.top(), line, r.height()));
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element == PE_PanelButtonCommand && option->state.testFlag(State_HasFocus)
        && option->state.testFlag(State_KeyboardFocusChange)) {
        QStyleOption focus(*option);
        const int inset = Scaled(3, ZoomFactor(widget));
        focus.rect = option->rect.adjusted(inset, inset, -inset, -inset);
        drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    }
}

int TZoomStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing:
    case PM_SmallIconSize:
    case PM_ScrollBarExtent:
    case PM_ScrollBarSliderMin:
        return Scaled(base, ZoomFactor(widget));
    default:
        return base;
    }
}

QSize TZoomStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const
{
    const double f = ZoomFactor(widget);
    if (f != 1.0 && (type == CT_SpinBox || type == CT_ComboBox)) {
        // The frame and buttons around the contents grow by the factor.
        const QSize design = QProxyStyle::sizeFromContents(type, option, QSize(Scaled(size.width(), 1 / f),
                                                                                  Scaled(size.height(), 1 / f)),
                                                           widget);
        return QSize(Scaled(design.width(), f), Scaled(design.height(), f)).expandedTo(size);
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

QRect TZoomStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                 const QWidget* widget) const
{
    const double f = ComplexControlFactor(widget);
    QRect magnified;
    if (f != 1.0 && AtDesignSize(control, option, f, [&](const QStyleOptionComplex& design) {
            const QRect r = QProxyStyle::subControlRect(control, &design, sub, widget);
            magnified = Magnify(r, option->rect, design.rect, f).translated(option->rect.topLeft());
        }))
        return magnified;
    return QProxyStyle::subControlRect(control, option, sub, widget);
}

QStyle::SubControl TZoomStyle::hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                                     const QPoint& pos, const QWidget* widget) const
{
    const double f = ComplexControlFactor(widget);
    SubControl hit = SC_None;
    const QPoint at = pos - option->rect.topLeft();
    if (f != 1.0 && AtDesignSize(control, option, f, [&](const QStyleOptionComplex& design) {
            hit = QProxyStyle::hitTestComplexControl(control, &design,
                                                     QPoint(Scaled(at.x(), 1 / f), Scaled(at.y(), 1 / f)), widget);
        }))
        return hit;
    return QProxyStyle::hitTestComplexControl(control, option, pos, widget);
}

void TZoomStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const
{
    const double f = ComplexControlFactor(widget);
    if (f != 1.0 && AtDesignSize(control, option, f, [&](const QStyleOptionComplex& design) {
            const QScopedValueRollback atDesignSize(t_drawingAtDesignSize, true);
            // Drawn on a canvas whose pixel ratio carries the factor, not
            // through a scaled painter: styles that cache their drawing in
            // a pixmap size it by the device's ratio, so the parts come out
            // sharp at the factor instead of magnified from design pixels.
            const qreal deviceRatio = painter->device()->devicePixelRatio();
            QPixmap canvas(option->rect.size() * deviceRatio);
            canvas.setDevicePixelRatio(deviceRatio * option->rect.width() / design.rect.width());
            canvas.fill(Qt::transparent);
            {
                QPainter p(&canvas);
                p.setFont(painter->font());
                QProxyStyle::drawComplexControl(control, &design, &p, widget);
            }
            painter->drawPixmap(option->rect, canvas);
        }))
        return;
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}
