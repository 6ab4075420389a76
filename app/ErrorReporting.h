#pragma once
// How an error that no handler catches is shown: a modal box with the error
// icon and an OK button, captioned with the application's title, after which
// the program carries on with the next event.

#include <QApplication>
#include <QString>

#include <functional>

class IMessageReporter;
class QWidget;

// The executable's file name without folder, cut at its first full stop,
// every character after the first in lower case.
QString ApplicationTitle(const QString& executablePath);
QString ApplicationTitle();
// The message with a full stop appended when its last character's code is
// above the full stop's.
QString WithFullStop(const QString& message);

void ShowDefaultError(IMessageReporter& reporter, QWidget* owner, const QString& message);

// Runs `handler`; an error escaping it goes to the default error reporting.
void RunReportingErrors(IMessageReporter& reporter, QWidget* owner, const std::function<void()>& handler);

// The application object: errors that reach the event loop are reported
// there instead of ending the program.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Where uncaught errors are shown; the main window registers itself.
    static void SetErrorReporter(IMessageReporter* reporter, QWidget* owner);
};
