#pragma once
// The main window's non-visual dialog components. Each keeps what the
// program presets and reads back, and shows itself through the window's
// dialog provider.

#include "FormServices.h"

#include <QObject>

class TDialogComponent : public QObject {
    Q_OBJECT
public:
    TDialogComponent(QWidget* owner, IDialogProvider* provider, const QString& name);

protected:
    QWidget* m_ownerWidget;
    IDialogProvider* m_provider;
};

// A dialog that chooses a file: it opens on the last confirmed path.
class TFileDialogComponent : public TDialogComponent {
    Q_OBJECT
public:
    using TDialogComponent::TDialogComponent;
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& v) { m_fileName = v; }

protected:
    QString m_fileName;
};

// A file dialog that offers the file types of a filter
// ("Description|pattern|Description|pattern").
class TFilteredFileDialog : public TFileDialogComponent {
    Q_OBJECT
public:
    using TFileDialogComponent::TFileDialogComponent;
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& v) { m_filter = v; }

protected:
    QString m_filter;
};

class TFileOpenDialog : public TFileDialogComponent {
    Q_OBJECT
public:
    using TFileDialogComponent::TFileDialogComponent;
    bool Execute();
};

// A dialog that chooses a file to write: a name typed without extension
// gets the default one.
class TSaveDialogBase : public TFilteredFileDialog {
    Q_OBJECT
public:
    using TFilteredFileDialog::TFilteredFileDialog;
    QString DefaultExt() const { return m_defaultExt; }
    void SetDefaultExt(const QString& v) { m_defaultExt = v; }

protected:
    QString m_defaultExt;
};

// The tool bar's save dialog: it replaces a file without asking.
class TSavePictureDialog : public TSaveDialogBase {
    Q_OBJECT
public:
    using TSaveDialogBase::TSaveDialogBase;
    bool Execute();
};

// A save dialog that asks before it replaces a file.
class TSaveFileDialog : public TSaveDialogBase {
    Q_OBJECT
public:
    using TSaveDialogBase::TSaveDialogBase;
    bool Execute();
};

class TOpenPictureDialog : public TFilteredFileDialog {
    Q_OBJECT
public:
    using TFilteredFileDialog::TFilteredFileDialog;
    bool Execute();
};

class TFontDialog : public TDialogComponent {
    Q_OBJECT
public:
    TFontDialog(QWidget* owner, IDialogProvider* provider, const QString& name);
    bool Execute();
    FontChoice& Font() { return m_font; }

private:
    FontChoice m_font;
};

class TColorDialog : public TDialogComponent {
    Q_OBJECT
public:
    using TDialogComponent::TDialogComponent;
    bool Execute();
    TColor Color() const { return m_color; }
    void SetColor(TColor v) { m_color = v; }

private:
    TColor m_color = clBlack;
};

// A "Description|pattern|Description|pattern" filter in Qt's
// "Description (pattern pattern);;..." form. Qt reads the patterns from the
// description's last parentheses, separated by spaces; a description that
// already ends with its own patterns shows them once.
QString ToQtFilter(const QString& filter);

// The name a save dialog hands back: `fileName` with `defaultExt` appended
// after a full stop when the name has no extension of its own. A name that
// ends with a full stop was typed so on purpose and stays as it is.
QString WithDefaultExtension(const QString& fileName, const QString& defaultExt);

class QFileDialog;
// Makes `dialog` a save dialog that asks before replacing a file and adds
// `defaultExt` to a name typed without one, opening on `fileName`.
void ConfigureSaveFileDialog(QFileDialog& dialog, const QString& defaultExt, const QString& fileName);
