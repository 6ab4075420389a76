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

class TFileOpenDialog : public TDialogComponent {
    Q_OBJECT
public:
    using TDialogComponent::TDialogComponent;
    bool Execute();
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& v) { m_fileName = v; }

private:
    QString m_fileName;
};

class TSavePictureDialog : public TDialogComponent {
    Q_OBJECT
public:
    using TDialogComponent::TDialogComponent;
    bool Execute();
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& v) { m_filter = v; }
    QString DefaultExt() const { return m_defaultExt; }
    void SetDefaultExt(const QString& v) { m_defaultExt = v; }
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& v) { m_fileName = v; }

private:
    QString m_filter, m_defaultExt, m_fileName;
};

class TOpenPictureDialog : public TDialogComponent {
    Q_OBJECT
public:
    using TDialogComponent::TDialogComponent;
    bool Execute();
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& v) { m_filter = v; }
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString& v) { m_fileName = v; }

private:
    QString m_filter, m_fileName;
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
