#include "CommandLine.h"

#include "ErrorReporting.h"
#include "Unit1.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QUrl>

QString TablePathArgument(const QStringList& arguments)
{
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg.isEmpty() || (!optionsEnded && arg.startsWith(u'-')))
            continue;
        // A drop hands over whole local paths; so does this.
        if (arg.startsWith(QLatin1String("file:"))) {
            const QUrl url(arg);
            if (url.isLocalFile())
                return QFileInfo(url.toLocalFile()).absoluteFilePath();
        }
        return QFileInfo(arg).absoluteFilePath();
    }
    return QString();
}

void LoadTableAtStart(TForm1& form, const QString& path)
{
    if (path.isEmpty())
        return;
    QPointer<TForm1> target(&form);
    QMetaObject::invokeMethod(
        &form,
        [target, path] {
            if (!target)
                return;
            TForm1* f = target.data();
            RunReportingErrors(*f->Services().messages, f, [&] { f->WMDropFiles({path}); });
        },
        Qt::QueuedConnection);
}
