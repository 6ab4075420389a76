#include "ZoomStyle.h"

#include <QPainter>
#include <QStyleOptionComplex>
#include <QWidget>

#include <cmath>
#include <memory>

namespace {

constexpr char kZoomFactor[] = "plotmereZoomFactor";

int Scaled(int v, double f)
{
    return int(std::lround(v * f));
}

bool Magnified(QStyle::ComplexControl control)
{
    return control == QStyle::CC_SpinBox || control == QStyle::CC_ComboBox;
}

// The option as it would be at design size: the same control, its rectangle
// shrunk by the factor and moved to the origin.
template <class Option>
std::unique_ptr<QStyleOptionComplex> AtDesignSize(const Option* option, double f)
{
    auto copy = std::make_unique<Option>(*option);
    copy->rect = QRect(0, 0, std::max(1, Scaled(option->rect.width(), 1 / f)),
                       std::max(1, Scaled(option->rect.height(), 1 / f)));
    return copy;
}

std::unique_ptr<QStyleOptionComplex> AtDesignSize(QStyle::ComplexControl control, const QStyleOptionComplex* option,
                                                  double f)
{
    if (control == QStyle::CC_SpinBox)
        if (const auto* spin = qstyleoption_cast<const QStyleOptionSpinBox*>(option))
            return AtDesignSize(spin, f);
    if (control == QStyle::CC_ComboBox)
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option))
            return AtDesignSize(combo, f);
    return nullptr;
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
    const double f = ZoomFactor(widget);
    if (f != 1.0 && Magnified(control)) {
        if (const auto design = AtDesignSize(control, option, f)) {
            const QRect r = QProxyStyle::subControlRect(control, design.get(), sub, widget);
            return Magnify(r, option->rect, design->rect, f).translated(option->rect.topLeft());
        }
    }
    return QProxyStyle::subControlRect(control, option, sub, widget);
}

QStyle::SubControl TZoomStyle::hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                                     const QPoint& pos, const QWidget* widget) const
{
    const double f = ZoomFactor(widget);
    if (f != 1.0 && Magnified(control)) {
        if (const auto design = AtDesignSize(control, option, f)) {
            const QPoint at = pos - option->rect.topLeft();
            return QProxyStyle::hitTestComplexControl(
                control, design.get(), QPoint(Scaled(at.x(), 1 / f), Scaled(at.y(), 1 / f)), widget);
        }
    }
    return QProxyStyle::hitTestComplexControl(control, option, pos, widget);
}

void TZoomStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const
{
    const double f = ZoomFactor(widget);
    if (f != 1.0 && Magnified(control)) {
        if (const auto design = AtDesignSize(control, option, f)) {
            painter->save();
            painter->translate(option->rect.topLeft());
            painter->scale(option->rect.width() / double(design->rect.width()),
                           option->rect.height() / double(design->rect.height()));
            QProxyStyle::drawComplexControl(control, design.get(), painter, widget);
            painter->restore();
            return;
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}
