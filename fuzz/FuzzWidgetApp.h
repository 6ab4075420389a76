#pragma once
// The widget application the targets that build windows need, started
// once, headless.

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Qt's warnings (fonts without glyphs for a fuzzed title, and the like)
// would flood the fuzzer's output and slow it down; fatal ones still end
// the run.
inline void DropQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
}

inline void StartWidgetApp(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(DropQtWarnings);
    static QApplication app(*argc, *argv);
}

} // namespace fuzz
