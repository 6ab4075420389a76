// The window settings kept between runs: position, size, zoom entry and
// visual style.

#include "ComboBox.h"
#include "ErrorReporting.h"
#include "Exceptions.h"
#include "ExIniFile.h"
#include "FormScaler.h"
#include "StyleManager.h"
#include "Unit1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>

#include <unistd.h>

namespace {

const QString kFormSection = QStringLiteral("FORM");
const QString kStyleSection = QStringLiteral("Style");

bool FolderWritable(const QString& folder)
{
    // access() asks the kernel, so a read-only mount, a folder of another
    // user and a path through a regular file all count as not writable.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString UserConfigFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

// An installed copy: one in a folder of programs shared by the whole machine
// (/bin and /sbin lead into /usr on current systems, not on every one), or
// one laid out by the install rules, with the desktop entry in
// ../share/applications beside its bin folder. Root may write into /usr/bin
// and a user into ~/.local/bin, but neither is a place for settings.
bool InstalledCopy(const QString& folder)
{
    static const QStringList machinePrograms = {
        QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"), QStringLiteral("/usr/games"),
        QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/games"),
        QStringLiteral("/bin"), QStringLiteral("/sbin")};
    QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return machinePrograms.contains(path)
        || QFileInfo::exists(path + QStringLiteral("/../share/applications/org.plotmere.Plotmere.desktop"));
}

// A copy run from where it was built keeps its settings beside it. An
// installed copy, and one that cannot write there, keeps them under the same
// file name in the user's configuration folder, where they are read from as
// well, so that they last.
void UseWritableFolder(TExIniFile& ini)
{
    const QFileInfo beside(ini.FullPath());
    if (!InstalledCopy(beside.absolutePath()) && FolderWritable(beside.absolutePath()))
        return;
    ini.SetFileName(UserConfigFolder() + u'/' + beside.fileName());
}

} // namespace

void TForm1::LoadSettings()
{
    // A settings file that cannot be read is reported; the window then
    // starts with its laid-out values.
    RunReportingErrors(*m_services.messages, this, [this] { UseWritableFolder(*IniFile); });

    IniFile->ReadFormPos(kFormSection, QStringLiteral("POSITION"), *this);
    IniFile->ReadFormSize(kFormSection, QStringLiteral("SIZE"), *this);

    // The zoom the list shows is the one in force. With nothing saved that
    // is the entry of the screen's own density ("100%" on a screen without
    // scaling, and when no entry matches). A restored size was measured at
    // the saved zoom, so the window keeps it.
    auto* zoom = static_cast<TComboBox*>(ScaleComboBox);
    zoom->SetItemIndex(IniFile->ReadInteger(kFormSection, QStringLiteral("scale"), ZoomEntryFor(PixelsPerInch())));
    if (const int ppi = ZoomEntryPPI(zoom->ItemIndex())) {
        const bool sizeRestored = IniFile->ValueExists(kFormSection, QStringLiteral("SIZE.XSize"))
            || IniFile->ValueExists(kFormSection, QStringLiteral("SIZE.YSize"));
        m_scaler->Scale(ppi, sizeRestored);
    }

    // Once applied, the style list shows the saved style rather than the one
    // it was filled with (the usage tab follows every style change).
    TStyleManager::TrySetStyle(IniFile->ReadString(kStyleSection, QStringLiteral("Name"),
                                                   TStyleManager::SystemStyleName()),
                               true);
}

void TForm1::SaveSettings()
{
    // The user's configuration folder may not exist yet.
    QDir().mkpath(QFileInfo(IniFile->FullPath()).absolutePath());

    // Every value is saved on its own. When the file cannot be written each
    // save fails alike; the window still closes, and the user hears about
    // it once, with the file and the reason.
    std::optional<QString> failure;
    const auto attempt = [&failure](const std::function<void()>& write) {
        try {
            write();
        } catch (const Exception& e) {
            if (!failure)
                failure = e.Message();
        }
    };
    attempt([this] { IniFile->WriteFormPos(kFormSection, QStringLiteral("POSITION"), *this); });
    attempt([this] { IniFile->WriteFormSize(kFormSection, QStringLiteral("SIZE"), *this); });
    attempt([this] {
        IniFile->WriteInteger(kFormSection, QStringLiteral("scale"), static_cast<TComboBox*>(ScaleComboBox)->ItemIndex());
    });
    attempt([this] {
        IniFile->WriteString(kStyleSection, QStringLiteral("Name"), TStyleManager::ActiveStyle().Name());
    });
    if (failure) {
        m_services.messages->ShowMessage(
            this, ApplicationTitle(),
            QStringLiteral("ウィンドウの位置・大きさ・拡大縮小・スタイルを保存できませんでした。\n%1").arg(*failure),
            MessageIcon::Warning);
    }
}
