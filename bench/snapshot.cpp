// Renders the main window offscreen into a PNG, optionally after dropping a
// table file on it, so a change can be looked at without a display.
//
//   snapshot [--look STYLE] [--zoom PERCENT] [--tab INDEX] out.png [table-file] [width height]

#include "ErrorReporting.h"
#include "ComboBox.h"
#include "Controls.h"
#include "StyleManager.h"
#include "Unit1.h"

#include <QApplication>
#include <QCursor>
#include <QPixmap>

int main(int argc, char** argv)
{
    QString style;
    int zoom = 0, tab = -1;
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--look") && i + 1 < argc)
            style = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--zoom") && i + 1 < argc)
            zoom = std::atoi(argv[++i]);
        else if (a == QLatin1String("--tab") && i + 1 < argc)
            tab = std::atoi(argv[++i]);
        else
            args << a;
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: snapshot [--look STYLE] [--zoom PERCENT] [--tab INDEX] out.png [table-file] "
                             "[width height]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TForm1 form;
    TApplication::SetErrorReporter(form.Services().messages.get(), &form);
    if (!style.isEmpty())
        TStyleManager::TrySetStyle(style, true);
    if (zoom > 0) {
        // As if picked from the zoom list: the list shows it too.
        auto* list = static_cast<TComboBox*>(form.ScaleComboBox);
        list->SetItemIndex(list->findText(QString::number(zoom) + u'%'));
        form.ScaleForPPI(96 * zoom / 100);
    }
    if (args.size() >= 4)
        form.resize(args[2].toInt(), args[3].toInt());
    QCursor::setPos(-100, -100); // no button under the pointer
    form.show();
    if (tab >= 0)
        form.PageControl1->SetTabIndex(tab);
    if (args.size() >= 2)
        form.WMDropFiles({args[1]});
    QApplication::processEvents();
    const bool ok = form.grab().save(args[0]);
    TApplication::SetErrorReporter(nullptr, nullptr);
    return ok ? 0 : 1;
}
