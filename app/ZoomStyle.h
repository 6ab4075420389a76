#pragma once
// The zoom of the main window reaches the parts a style draws at fixed
// sizes: check-box and radio-button indicators, small icons (the entry
// fields' check marks), scroll bars, the spin fields' and lists' buttons
// and arrows. The window carries its zoom factor (SetZoomFactor); every
// widget inside it is drawn at that factor by this style, which wraps the
// style that would otherwise be in force. It also draws the keyboard focus
// so that it shows on every surface.

#include <QProxyStyle>

class QWidget;

class TZoomStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Takes ownership of `base`.
    explicit TZoomStyle(QStyle* base);

    // The factor of `window` and of every widget inside it (1 until set).
    static void SetZoomFactor(QWidget* window, double factor);
    static double ZoomFactor(const QWidget* widget);

    // The keyboard focus is drawn as a solid line in the text colour, which
    // stands out from every surface the text does; a push button that draws
    // its own focus gets that line inside it too.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    // Spin fields and drop-down lists are drawn and hit at the factor as a
    // whole: their frames, buttons and arrows as at design size, magnified.
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
    SubControl hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option, const QPoint& pos,
                                     const QWidget* widget) const override;
};
