#include "Dialogs.h"

#include "Exceptions.h"
#include "FontColorDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>

TDialogComponent::TDialogComponent(QWidget* owner, IDialogProvider* provider, const QString& name)
    : QObject(owner), m_ownerWidget(owner), m_provider(provider)
{
    setObjectName(name);
}

bool TFileOpenDialog::Execute() { return m_provider->ExecuteFileOpen(m_ownerWidget, m_fileName); }

bool TSavePictureDialog::Execute()
{
    return m_provider->ExecuteSavePicture(m_ownerWidget, m_filter, m_defaultExt, m_fileName);
}

bool TSaveFileDialog::Execute()
{
    return m_provider->ExecuteSaveFile(m_ownerWidget, m_filter, m_defaultExt, m_fileName);
}

bool TOpenPictureDialog::Execute() { return m_provider->ExecuteOpenPicture(m_ownerWidget, m_filter, m_fileName); }

TFontDialog::TFontDialog(QWidget* owner, IDialogProvider* provider, const QString& name)
    : TDialogComponent(owner, provider, name)
{
    m_font.name = QStringLiteral("Tahoma");
    m_font.size = 8;
    m_font.color = clWindowText;
}

bool TFontDialog::Execute() { return m_provider->ExecuteFont(m_ownerWidget, m_font); }

bool TColorDialog::Execute() { return m_provider->ExecuteColor(m_ownerWidget, m_color); }

QString WithDefaultExtension(const QString& fileName, const QString& defaultExt)
{
    if (defaultExt.isEmpty() || fileName.isEmpty() || fileName.endsWith(u'.') || fileName.endsWith(u'/'))
        return fileName;
    if (!QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + u'.' + defaultExt;
}

QString ToQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QString patterns = parts[i + 1];
        const QString shown = u'(' + patterns + u')';
        if (description.endsWith(shown))
            description = description.chopped(shown.size()).trimmed();
        patterns.replace(u';', u' ');
        out << description + QStringLiteral(" (") + patterns + u')';
    }
    return out.join(QStringLiteral(";;"));
}

void ConfigureSaveFileDialog(QFileDialog& dialog, const QString& defaultExt, const QString& fileName)
{
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The suffix is added before the dialog looks for a file to replace,
    // so "graph" asks about "graph.png" when that exists.
    dialog.setDefaultSuffix(defaultExt);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
}

namespace {

class RealDialogs final : public IDialogProvider {
public:
    bool ExecuteFileOpen(QWidget* owner, QString& fileName) override
    {
        const QString chosen = QFileDialog::getOpenFileName(owner, QString(), fileName);
        if (chosen.isEmpty())
            return false;
        fileName = chosen;
        return true;
    }

    bool ExecuteSavePicture(QWidget* owner, const QString& filter, const QString& defaultExt,
                            QString& fileName) override
    {
        QFileDialog dialog(owner, QString(), fileName, ToQtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (!fileName.isEmpty())
            dialog.selectFile(fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        fileName = WithDefaultExtension(dialog.selectedFiles().constFirst(), defaultExt);
        return true;
    }

    bool ExecuteSaveFile(QWidget* owner, const QString& filter, const QString& defaultExt, QString& fileName) override
    {
        QFileDialog dialog(owner, QString(), fileName, ToQtFilter(filter));
        ConfigureSaveFileDialog(dialog, defaultExt, fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        fileName = WithDefaultExtension(dialog.selectedFiles().constFirst(), defaultExt);
        return true;
    }

    bool ExecuteOpenPicture(QWidget* owner, const QString& filter, QString& fileName) override
    {
        const QString chosen = QFileDialog::getOpenFileName(owner, QString(), fileName, ToQtFilter(filter));
        if (chosen.isEmpty())
            return false;
        fileName = chosen;
        return true;
    }

    bool ExecuteFont(QWidget* owner, FontChoice& font) override
    {
        TFontColorDialog dialog(owner);
        dialog.SetChoice(font);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        font = dialog.Choice();
        return true;
    }

    bool ExecuteColor(QWidget* owner, TColor& color) override
    {
        const QColor chosen = QColorDialog::getColor(ToQColor(color), owner);
        if (!chosen.isValid())
            return false;
        color = FromQColor(chosen);
        return true;
    }
};

class RealMessages final : public IMessageReporter {
public:
    void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageIcon icon) override
    {
        const QMessageBox::Icon qtIcon = icon == MessageIcon::Error     ? QMessageBox::Critical
                                         : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                        : QMessageBox::Information;
        QMessageBox box(qtIcon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    }
};

// The system clipboard. It counts as not openable when the platform has
// none, or when it does not hold the data just given to it (another program
// kept the selection, or the platform dropped the data).
class RealClipboard final : public IClipboard {
public:
    QString Text() override { return Open()->text(); }

    void SetPicture(const ClipboardPicture& picture) override
    {
        QClipboard* cb = Open();
        auto* data = new QMimeData;
        if (!picture.image.isNull())
            data->setImageData(picture.image);
        for (const auto& [types, bytes] : picture.forms)
            for (const QString& type : types)
                data->setData(type, bytes);
        Give(cb, data);
    }

    void SetText(const QString& text) override
    {
        QClipboard* cb = Open();
        auto* data = new QMimeData;
        data->setText(text);
        Give(cb, data);
    }

private:
    [[noreturn]] static void Refuse(const QString& reason)
    {
        throw EClipboardException(QStringLiteral("クリップボード %1 を開けません").arg(reason));
    }

    static QClipboard* Open()
    {
        QClipboard* cb = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                                        : nullptr;
        if (!cb)
            Refuse(QStringLiteral("(no clipboard)"));
        return cb;
    }

    // The clipboard takes ownership of `data`.
    static void Give(QClipboard* cb, QMimeData* data)
    {
        cb->setMimeData(data);
        if (cb->mimeData() != data)
            Refuse(QStringLiteral("(the clipboard did not take the data)"));
    }
};

} // namespace

FormServices FormServices::Real()
{
    return {std::make_shared<RealDialogs>(), std::make_shared<RealMessages>(), std::make_shared<RealClipboard>()};
}
