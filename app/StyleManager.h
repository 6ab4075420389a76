#pragma once
// The visual styles of the program's windows: the platform's own look,
// named "Windows", and the styles carried in the program's resources, each
// a style file holding its name, a palette and a style sheet. One style is
// in force for every window at a time; "Windows" is in force at start.

#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringList>

#include <optional>

class IMessageReporter;
class QWidget;

// The parts of one style file.
struct TStyleFile {
    QString name;
    QPalette palette;
    QString styleSheet;
};

class TStyleManager : public QObject {
    Q_OBJECT
public:
    // What ActiveStyle() answers: the style in force.
    class TStyleInfo {
    public:
        explicit TStyleInfo(QString name) : m_name(std::move(name)) {}
        const QString& Name() const { return m_name; }

    private:
        QString m_name;
    };

    // The platform's own style.
    static QString SystemStyleName() { return QStringLiteral("Windows"); }

    // The one instance; it reports style changes.
    static TStyleManager& Instance();

    // The platform's own style first, then every style of the resources in
    // the order their files are found. The resources are read the first
    // time names or styles are asked for.
    static QStringList StyleNames();
    static TStyleInfo ActiveStyle();
    // Makes the style of that name (compared without regard to case) the one
    // in force and returns true; nothing happens when it already is. When no
    // style has that name the style in force stays, and with showErrorDialog
    // the not-found dialog names the style asked for; returns false.
    static bool TrySetStyle(const QString& name, bool showErrorDialog = true);
    // Where the not-found dialog is shown: the main window hands over its
    // message reporter. Without one (or once the owner is gone) the real
    // message box is used.
    static void SetDialogReporter(IMessageReporter* reporter, QWidget* owner);

    // Reads a style file. A file is refused (with the reason in *error) when
    // its header is not a style header, it names no style, its palette lacks
    // a colour role or holds a colour that does not parse, or it has no
    // style sheet.
    static std::optional<TStyleFile> ParseStyleFile(const QByteArray& bytes, QString* error = nullptr);
    // The parsed style of that exact name, for inspection; none for the
    // platform's own style.
    static std::optional<TStyleFile> Style(const QString& name);

    // A style sheet whose pixel sizes (borders, paddings, indicators,
    // arrows, scroll bars) are multiplied by `factor`, for a window zoomed
    // by it.
    static QString ZoomedStyleSheet(const QString& sheet, double factor);

signals:
    // A different style is now in force.
    void StyleChanged(const QString& name);

private:
    TStyleManager() = default;
};
