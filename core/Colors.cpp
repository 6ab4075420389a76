#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

// Classic system colours, used when no application palette is at hand.
QColor FallbackSystemColor(int index)
{
    switch (index) {
    case 5: return QColor(255, 255, 255);  // window background
    case 8: return QColor(0, 0, 0);        // window text
    case 15: return QColor(240, 240, 240); // button face
    default: return QColor(0, 0, 0);
    }
}

} // namespace

QColor ToQColor(TColor c)
{
    const auto u = static_cast<std::uint32_t>(c);
    if ((u >> 24) == 0xFF) {
        const int index = int(u & 0xFF);
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            const QPalette pal = QGuiApplication::palette();
            switch (index) {
            case 5: return pal.color(QPalette::Base);
            case 8: return pal.color(QPalette::WindowText);
            case 15: return pal.color(QPalette::Window);
            default: break;
            }
        }
        return FallbackSystemColor(index);
    }
    if (c == clSeriesColor || c == clNone)
        return QColor(0, 0, 0);
    return QColor(int(u & 0xFF), int((u >> 8) & 0xFF), int((u >> 16) & 0xFF));
}

TColor FromQColor(const QColor& c)
{
    return RGBColor(c.red(), c.green(), c.blue());
}
