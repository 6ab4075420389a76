#pragma once
// Stand-ins for the dialogs, message boxes and clipboard, so the main
// window's tests answer dialogs and read messages without a modal loop.

#include "Dialogs.h"
#include "Exceptions.h"
#include "ExIniFile.h"
#include "FormServices.h"
#include "Unit1.h"

#include <QImage>
#include <QList>
#include <QScreen>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

struct ShownMessage {
    QString caption;
    QString text;
    MessageIcon icon;
};

class FakeMessages : public IMessageReporter {
public:
    void ShowMessage(QWidget*, const QString& caption, const QString& text, MessageIcon icon) override
    {
        shown.append({caption, text, icon});
    }
    QList<ShownMessage> shown;
};

class FakeDialogs : public IDialogProvider {
public:
    bool ExecuteFileOpen(QWidget*, QString& fileName) override
    {
        ++openCalls;
        if (openAnswers.isEmpty())
            return false;
        fileName = openAnswers.takeFirst();
        return true;
    }
    bool ExecuteSavePicture(QWidget*, const QString& filter, const QString& ext, QString& fileName) override
    {
        return AnswerSave(saveAnswers, saveCalls, filter, ext, fileName);
    }
    bool ExecuteSaveFile(QWidget*, const QString& filter, const QString& ext, QString& fileName) override
    {
        return AnswerSave(saveFileAnswers, saveFileCalls, filter, ext, fileName);
    }
    bool ExecuteOpenPicture(QWidget*, const QString& filter, QString& fileName) override
    {
        lastFilter = filter;
        if (pictureAnswers.isEmpty())
            return false;
        fileName = pictureAnswers.takeFirst();
        return true;
    }
    bool ExecuteFont(QWidget*, FontChoice& font) override
    {
        presetFont = font;
        if (!fontAnswer)
            return false;
        font = *fontAnswer;
        return true;
    }
    bool ExecuteColor(QWidget*, TColor& color) override
    {
        presetColor = color;
        if (!colorAnswer)
            return false;
        color = *colorAnswer;
        return true;
    }

    int openCalls = 0;
    // The real save dialogs hand back a name typed without extension with
    // the default extension added.
    bool AnswerSave(QStringList& answers, int& calls, const QString& filter, const QString& ext, QString& fileName)
    {
        lastFilter = filter;
        lastDefaultExt = ext;
        proposed = fileName;
        ++calls;
        if (answers.isEmpty())
            return false;
        fileName = WithDefaultExtension(answers.takeFirst(), ext);
        return true;
    }

    int saveCalls = 0, saveFileCalls = 0;
    QStringList openAnswers, saveAnswers, saveFileAnswers, pictureAnswers;
    QString lastFilter, lastDefaultExt, proposed;
    std::optional<FontChoice> fontAnswer;
    FontChoice presetFont;
    std::optional<TColor> colorAnswer;
    TColor presetColor = 0;
};

class FakeClipboard : public IClipboard {
public:
    QString Text() override
    {
        if (busy)
            throw EClipboardException(QStringLiteral("クリップボード %1 を開けません").arg(QStringLiteral("(busy)")));
        return text;
    }
    void SetPicture(const ClipboardPicture& picture) override
    {
        Open();
        image = picture.image;
        forms = picture.forms;
        mimes.clear();
        for (const auto& form : forms)
            mimes << form.first;
        data = forms.isEmpty() ? QByteArray() : forms.constFirst().second;
        text.clear();
        ++sets;
    }
    void SetText(const QString& t) override
    {
        Open();
        *this = FakeClipboard{};
        text = t;
        ++sets;
    }
    // The bytes offered under `type`, empty when none are.
    QByteArray Form(const QString& type) const
    {
        for (const auto& form : forms)
            if (form.first.contains(type))
                return form.second;
        return {};
    }
    void Open() const
    {
        if (busy)
            throw EClipboardException(QStringLiteral("クリップボード %1 を開けません").arg(QStringLiteral("(busy)")));
    }
    QString text;
    bool busy = false;
    QImage image;
    QList<std::pair<QStringList, QByteArray>> forms;
    QStringList mimes;  // every type offered, in order
    QByteArray data;    // the first form's bytes
    int sets = 0; // how many times a picture or a text was put on the clipboard
};

// Gives a test's program a folder of its own, empty, so that its main
// window's settings file is neither read from nor written beside the test
// program, and no test sees what another saved.
struct SettingsSandbox {
    QTemporaryDir dir;
    SettingsSandbox() { TExIniFile::SetApplicationPath(dir.filePath(QStringLiteral("plotmere"))); }
    ~SettingsSandbox() { TExIniFile::SetApplicationPath(QString()); }
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;
};

// A main window wired to fakes.
struct FormFixture {
    SettingsSandbox sandbox;
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeMessages> messages = std::make_shared<FakeMessages>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::unique_ptr<TForm1> form{new TForm1(FormServices{dialogs, messages, clipboard})};
    // The largest client size whose window, frame included, fits the room
    // the window's screen leaves to windows: a zoom grows the window no
    // further.
    QSize ScreenRoom() const
    {
        return form->screen()->availableGeometry().size() - (form->frameGeometry().size() - form->size());
    }
};
