#pragma once
// The outside world as the main window sees it: dialogs, message boxes and
// the clipboard. The window receives them at construction, so tests can
// answer dialogs and record messages without any modal loop.

#include "ChartExport.h"
#include "ChartModel.h"
#include "Colors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QImage;
class QWidget;

enum class MessageIcon { Error, Warning, Information };

class IMessageReporter {
public:
    virtual ~IMessageReporter() = default;
    // A modal box with one OK button.
    virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageIcon icon) = 0;
};

// A font as the font dialog hands it over.
struct FontChoice {
    QString name;
    int size = 8;
    TColor color = clWindowText;
    TFontStyles style;
};

class IDialogProvider {
public:
    virtual ~IDialogProvider() = default;
    // Each returns true when the user confirmed; the in-out argument carries
    // the value the dialog opens with and, on confirmation, the choice.
    virtual bool ExecuteFileOpen(QWidget* owner, QString& fileName) = 0;
    virtual bool ExecuteSavePicture(QWidget* owner, const QString& filter, const QString& defaultExt,
                                    QString& fileName) = 0;
    // A save dialog that asks before it replaces an existing file; a name
    // typed without extension gets `defaultExt`.
    virtual bool ExecuteSaveFile(QWidget* owner, const QString& filter, const QString& defaultExt,
                                 QString& fileName) = 0;
    virtual bool ExecuteOpenPicture(QWidget* owner, const QString& filter, QString& fileName) = 0;
    virtual bool ExecuteFont(QWidget* owner, FontChoice& font) = 0;
    virtual bool ExecuteColor(QWidget* owner, TColor& color) = 0;
};

// The clipboard. Setting a picture (TChartClipboard::SetPicture) empties it
// and gives it exactly that one picture in its forms; it throws
// EClipboardException when the clipboard cannot be opened: there is no
// clipboard, or it did not take the data.
class IClipboard : public TChartClipboard {
public:
    // The clipboard's text, empty when it holds none. Throws
    // EClipboardException when the clipboard cannot be opened.
    virtual QString Text() = 0;
    // Empties the clipboard and gives it this text.
    virtual void SetText(const QString& text) = 0;
};

struct FormServices {
    std::shared_ptr<IDialogProvider> dialogs;
    std::shared_ptr<IMessageReporter> messages;
    std::shared_ptr<IClipboard> clipboard;

    // The real dialogs, message boxes and system clipboard.
    static FormServices Real();
};
