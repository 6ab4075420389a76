// Plotmere: fits and draws a least-squares line through two columns of
// numbers.

#include "CommandLine.h"
#include "ErrorReporting.h"
#include "Unit1.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
// The name of the desktop entry and of the icon in the icon theme.
const QString kAppId = QStringLiteral("org.plotmere.Plotmere");

QIcon ApplicationIcon()
{
    QIcon own;
    for (int size : {16, 32, 48, 256})
        own.addFile(QStringLiteral(":/icon/icons/%1x%1/%2.png").arg(size).arg(kAppId));
    return QIcon::fromTheme(kAppId, own);
}
} // namespace

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    // The desktop shell matches the window with its desktop entry by this.
    QGuiApplication::setDesktopFileName(kAppId);
    QApplication::setWindowIcon(ApplicationIcon());
    // The program speaks Japanese, so Qt's own dialogs and buttons (font,
    // colour and file dialogs, OK and Cancel) do too, whatever the locale.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    // The main window is created hidden, runs its start-up and is shown at
    // the place its settings restored; the loop runs until it is closed.
    TForm1 form;
    TApplication::SetErrorReporter(form.Services().messages.get(), &form);
    form.show();
    // A table named at start is loaded once the window is up, as if it had
    // been dropped on it.
    LoadTableAtStart(form, TablePathArgument(QCoreApplication::arguments()));
    const int rc = app.exec();
    TApplication::SetErrorReporter(nullptr, nullptr);
    return rc;
}
