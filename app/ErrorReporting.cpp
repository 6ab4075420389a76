#include "ErrorReporting.h"

#include "Exceptions.h"
#include "FormServices.h"

#include <QFileInfo>
#include <QPointer>
#include <QWidget>

QString ApplicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ApplicationTitle() { return ApplicationTitle(QCoreApplication::applicationFilePath()); }

QString WithFullStop(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void ShowDefaultError(IMessageReporter& reporter, QWidget* owner, const QString& message)
{
    reporter.ShowMessage(owner, ApplicationTitle(), WithFullStop(message), MessageIcon::Error);
}

void RunReportingErrors(IMessageReporter& reporter, QWidget* owner, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        ShowDefaultError(reporter, owner, e.Message());
    } catch (const std::bad_alloc&) {
        ShowDefaultError(reporter, owner, QStringLiteral("メモリが不足しています"));
    } catch (const std::exception& e) {
        ShowDefaultError(reporter, owner, QString::fromLocal8Bit(e.what()));
    }
}

namespace {
IMessageReporter* g_reporter = nullptr;
QPointer<QWidget> g_owner;
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::SetErrorReporter(IMessageReporter* reporter, QWidget* owner)
{
    g_reporter = reporter;
    g_owner = owner;
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    if (!g_reporter)
        return QApplication::notify(receiver, event);
    bool result = false;
    RunReportingErrors(*g_reporter, g_owner.data(), [&] { result = QApplication::notify(receiver, event); });
    return result;
}
