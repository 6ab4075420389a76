#pragma once
// The main window wired to fakes, as the window tests start it: a scratch
// folder for the files a test writes and the user's ways of bringing a table
// in; ShownWindow has it on screen.

#include "FakeServices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

struct WindowFixture : FormFixture {
    QTemporaryDir dir;

    // Puts `text` on the clipboard and presses the paste button.
    void Paste(const QString& text)
    {
        clipboard->text = text;
        form->PasteBtn->click();
    }
    // Writes `bytes` into the scratch folder; the file's path.
    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write a test file");
        file.write(bytes);
        return path;
    }
    // Opens a table of `bytes` through the open button.
    void Open(const QByteArray& bytes, const QString& name = QStringLiteral("table.csv"))
    {
        dialogs->openAnswers << WriteFile(name, bytes);
        form->OpenBtn->click();
    }
};

// The window shown, exposed and active.
struct ShownWindow : WindowFixture {
    ShownWindow()
    {
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("the window was not shown");
    }
    bool Active() { return QTest::qWaitForWindowActive(form.get()); }
};
