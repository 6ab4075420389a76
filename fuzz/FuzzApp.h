#pragma once
// The Qt application the fuzz targets need (fonts and painting want a
// QGuiApplication), started once, headless.

#include <QGuiApplication>

namespace fuzz {

inline void StartGuiApp(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
}

} // namespace fuzz
