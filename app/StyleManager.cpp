#include "StyleManager.h"

#include "ErrorReporting.h"
#include "FormServices.h"
#include "ZoomStyle.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

// The style files live in the static library's resources, which must be
// brought in by name.
static void InitStyleResources()
{
    Q_INIT_RESOURCE(styles);
}

namespace {

constexpr char kHeader[] = "PLOTMERE STYLE 1";
const QString kStyleFolder = QStringLiteral(":/styles");

struct RoleName {
    const char* name;
    QPalette::ColorRole role;
};

// Every colour role a style's palette must give.
constexpr std::array<RoleName, 20> kRoles{{
    {"Window", QPalette::Window},
    {"WindowText", QPalette::WindowText},
    {"Base", QPalette::Base},
    {"AlternateBase", QPalette::AlternateBase},
    {"Text", QPalette::Text},
    {"PlaceholderText", QPalette::PlaceholderText},
    {"Button", QPalette::Button},
    {"ButtonText", QPalette::ButtonText},
    {"BrightText", QPalette::BrightText},
    {"Light", QPalette::Light},
    {"Midlight", QPalette::Midlight},
    {"Mid", QPalette::Mid},
    {"Dark", QPalette::Dark},
    {"Shadow", QPalette::Shadow},
    {"Highlight", QPalette::Highlight},
    {"HighlightedText", QPalette::HighlightedText},
    {"Link", QPalette::Link},
    {"LinkVisited", QPalette::LinkVisited},
    {"ToolTipBase", QPalette::ToolTipBase},
    {"ToolTipText", QPalette::ToolTipText},
}};

struct Registry {
    bool loaded = false;
    QList<TStyleFile> styles;
    // The platform's own look, as it was before any style was applied.
    QString platformStyle;
    QPalette platformPalette;
    QString active = TStyleManager::SystemStyleName();
    IMessageReporter* reporter = nullptr;
    QPointer<QWidget> owner;
};

Registry& TheRegistry()
{
    static Registry r;
    return r;
}

Registry& Loaded()
{
    Registry& r = TheRegistry();
    if (r.loaded)
        return r;
    r.loaded = true;
    if (QApplication::instance()) {
        r.platformStyle = QApplication::style()->name();
        r.platformPalette = QApplication::palette();
        // The same look, drawn at the main window's zoom.
        if (QStyle* s = QStyleFactory::create(r.platformStyle))
            QApplication::setStyle(new TZoomStyle(s));
    }
    InitStyleResources();
    const QStringList files = QDir(kStyleFolder).entryList({QStringLiteral("*.style")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile f(kStyleFolder + u'/' + name);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        // A damaged style is left out; the others stay available.
        if (std::optional<TStyleFile> style = TStyleManager::ParseStyleFile(f.readAll()))
            r.styles.append(*style);
    }
    return r;
}

void Fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
}

void ShowNotFound(const QString& name)
{
    Registry& r = TheRegistry();
    const QString text = QStringLiteral("スタイル '%1' が見つかりません").arg(name);
    if (r.reporter && r.owner) {
        r.reporter->ShowMessage(r.owner, ApplicationTitle(), text, MessageIcon::Error);
        return;
    }
    FormServices::Real().messages->ShowMessage(nullptr, ApplicationTitle(), text, MessageIcon::Error);
}

void Apply(const Registry& r, const TStyleFile* style)
{
    if (!style) {
        qApp->setStyleSheet(QString());
        if (QStyle* s = QStyleFactory::create(r.platformStyle))
            QApplication::setStyle(new TZoomStyle(s));
        QApplication::setPalette(r.platformPalette);
        return;
    }
    // Every style of ours is drawn by the same engine underneath, whatever
    // the platform's own one is, so that its palette and sheet look alike
    // everywhere.
    if (QStyle* s = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(new TZoomStyle(s));
    QApplication::setPalette(style->palette);
    qApp->setStyleSheet(style->styleSheet);
}

} // namespace

TStyleManager& TStyleManager::Instance()
{
    static TStyleManager* instance = new TStyleManager; // lives as long as the program
    return *instance;
}

QStringList TStyleManager::StyleNames()
{
    QStringList names{SystemStyleName()};
    for (const TStyleFile& s : Loaded().styles)
        names << s.name;
    return names;
}

TStyleManager::TStyleInfo TStyleManager::ActiveStyle()
{
    return TStyleInfo(Loaded().active);
}

bool TStyleManager::TrySetStyle(const QString& name, bool showErrorDialog)
{
    Registry& r = Loaded();
    const TStyleFile* found = nullptr;
    QString foundName;
    if (name.compare(SystemStyleName(), Qt::CaseInsensitive) == 0) {
        foundName = SystemStyleName();
    } else {
        for (const TStyleFile& s : r.styles) {
            if (s.name.compare(name, Qt::CaseInsensitive) == 0) {
                found = &s;
                foundName = s.name;
                break;
            }
        }
    }
    if (foundName.isEmpty()) {
        if (showErrorDialog)
            ShowNotFound(name);
        return false;
    }
    if (foundName == r.active)
        return true;
    Apply(r, found);
    r.active = foundName;
    emit Instance().StyleChanged(foundName);
    return true;
}

QString TStyleManager::ZoomedStyleSheet(const QString& sheet, double factor)
{
    static const QRegularExpression pixels(QStringLiteral("(\\d+(?:\\.\\d+)?)px"));
    QString out;
    out.reserve(sheet.size());
    qsizetype from = 0;
    for (auto it = pixels.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const double v = m.captured(1).toDouble();
        // A line that is there stays at least one pixel wide.
        const long scaled = v > 0 ? std::max(1L, std::lround(v * factor)) : 0L;
        out += QStringView(sheet).mid(from, m.capturedStart() - from);
        out += QString::number(scaled) + QStringLiteral("px");
        from = m.capturedEnd();
    }
    out += QStringView(sheet).mid(from);
    return out;
}

void TStyleManager::SetDialogReporter(IMessageReporter* reporter, QWidget* owner)
{
    Registry& r = TheRegistry();
    r.reporter = reporter;
    r.owner = owner;
}

std::optional<TStyleFile> TStyleManager::Style(const QString& name)
{
    for (const TStyleFile& s : Loaded().styles)
        if (s.name == name)
            return s;
    return std::nullopt;
}

std::optional<TStyleFile> TStyleManager::ParseStyleFile(const QByteArray& bytes, QString* error)
{
    // The header: the format line, then "Name: ..."; then a [Palette]
    // section of "Role #rrggbb [#rrggbb]" lines (the second colour for the
    // disabled state) and a [StyleSheet] section that runs to the end.
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(u'\n');
    if (lines.isEmpty() || lines.first().trimmed() != QLatin1String(kHeader)) {
        Fail(error, QStringLiteral("not a style file"));
        return std::nullopt;
    }
    TStyleFile style;
    QSet<QPalette::ColorRole> given;
    enum class Part { Header, Palette } part = Part::Header;
    qsizetype sheetStart = -1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line == QLatin1String("[Palette]")) {
            part = Part::Palette;
            continue;
        }
        if (line == QLatin1String("[StyleSheet]")) {
            sheetStart = i + 1;
            break;
        }
        if (part == Part::Header) {
            if (line.startsWith(QLatin1String("Name:")))
                style.name = line.mid(5).trimmed();
            continue;
        }
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        const auto role = std::find_if(kRoles.begin(), kRoles.end(),
                                       [&](const RoleName& r) { return fields.first() == QLatin1String(r.name); });
        if (role == kRoles.end() || fields.size() < 2 || fields.size() > 3) {
            Fail(error, QStringLiteral("palette line %1 is not understood: %2").arg(i + 1).arg(line));
            return std::nullopt;
        }
        const QColor normal = QColor::fromString(fields[1]);
        const QColor disabled = fields.size() == 3 ? QColor::fromString(fields[2]) : normal;
        if (!normal.isValid() || !disabled.isValid()) {
            Fail(error, QStringLiteral("palette line %1 holds a colour that does not parse: %2").arg(i + 1).arg(line));
            return std::nullopt;
        }
        style.palette.setColor(QPalette::Active, role->role, normal);
        style.palette.setColor(QPalette::Inactive, role->role, normal);
        style.palette.setColor(QPalette::Disabled, role->role, disabled);
        given.insert(role->role);
    }
    if (style.name.isEmpty()) {
        Fail(error, QStringLiteral("the header names no style"));
        return std::nullopt;
    }
    for (const RoleName& r : kRoles) {
        if (!given.contains(r.role)) {
            Fail(error, QStringLiteral("the palette gives no colour for %1").arg(QLatin1String(r.name)));
            return std::nullopt;
        }
    }
    if (sheetStart < 0) {
        Fail(error, QStringLiteral("there is no style sheet"));
        return std::nullopt;
    }
    style.styleSheet = lines.mid(sheetStart).join(u'\n').trimmed();
    if (style.styleSheet.isEmpty()) {
        Fail(error, QStringLiteral("the style sheet is empty"));
        return std::nullopt;
    }
    return style;
}
