// Renders the main window offscreen into a PNG, optionally after dropping a
// table file on it, so a change can be looked at without a display.
//
//   snapshot out.png [table-file] [width height]

#include "ErrorReporting.h"
#include "Unit1.h"

#include <QApplication>
#include <QPixmap>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: snapshot out.png [table-file] [width height]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TForm1 form;
    TApplication::SetErrorReporter(form.Services().messages.get(), &form);
    if (argc >= 5)
        form.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    form.show();
    if (argc >= 3)
        form.WMDropFiles({QString::fromLocal8Bit(argv[2])});
    QApplication::processEvents();
    const bool ok = form.grab().save(QString::fromLocal8Bit(argv[1]));
    TApplication::SetErrorReporter(nullptr, nullptr);
    return ok ? 0 : 1;
}
