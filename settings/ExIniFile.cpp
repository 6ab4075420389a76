#include "ExIniFile.h"

#include "Exceptions.h"
#include "MemIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace {

// Stored coordinates are clamped to this range before they reach a window,
// so that a damaged file cannot make position plus size overflow.
constexpr int kMaxCoordinate = QWIDGETSIZE_MAX;

QString& ApplicationPathOverride()
{
    static QString path;
    return path;
}

TWindowFrameSource& WindowFrameSourceOverride()
{
    static TWindowFrameSource source;
    return source;
}

QString ExecutablePath()
{
    if (!ApplicationPathOverride().isEmpty())
        return ApplicationPathOverride();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString WithDelimiter(QString dir)
{
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString BaseDirectory(TBaseDir base)
{
    switch (base) {
    case bdWindows:
        return QStringLiteral("/etc/");
    case bdApplication:
        return WithDelimiter(QFileInfo(ExecutablePath()).absolutePath());
    case bdAppData: {
        const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
            return WithDelimiter(xdg);
        return WithDelimiter(QDir::homePath() + QStringLiteral("/.config"));
    }
    case bdNone:
        break;
    }
    return QString();
}

// A name with a folder ("sub/x.ini", "/etc/x.ini") or a drive ("C:x.ini") is
// used as it stands; only a bare name is placed in the base directory.
bool HasDirectoryPart(const QString& name)
{
    return name.contains(u'/') || name.contains(u':');
}

QString Fenced(const QString& value, TFence fence)
{
    switch (fence) {
    case fcDoubleQuote:
        return u'"' + value + u'"';
    case fcSingleQuote:
        return u'\'' + value + u'\'';
    case fcNone:
        break;
    }
    return value;
}

QString HexText(int value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(quint32(value), 8, 16, QLatin1Char('0')).toUpper();
}

QString Key(const QString& item, const char* suffix)
{
    return item + QLatin1String(suffix);
}

int Clamp(qint64 v, int lo, int hi)
{
    return int(std::clamp<qint64>(v, lo, hi));
}

// Font sizes are whole points. A font set in pixels is converted with the
// screen's logical density (96 without a screen).
int PointSize(const QFont& font)
{
    if (font.pointSize() > 0)
        return font.pointSize();
    if (font.pixelSize() > 0) {
        qreal dpi = 96;
        if (qGuiApp && qGuiApp->primaryScreen())
            dpi = qGuiApp->primaryScreen()->logicalDotsPerInchY();
        return qRound(font.pixelSize() * 72.0 / dpi);
    }
    return 0;
}

enum : int { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

int StyleBits(const QFont& font)
{
    return (font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) | (font.underline() ? fsUnderline : 0)
        | (font.strikeOut() ? fsStrikeOut : 0);
}

// The window placement as one record, built from Qt's window state. The record
// keeps the stored key layout; its coordinates are the window's geometry()
// (client area) as Qt reports and applies it.
struct Placement {
    int flags = 0;   // 2: a minimized window restores to maximized
    int showCmd = 1; // 1 normal, 2 minimized, 3 maximized
    int maxX = -1;   // position while maximized, -1 when not maximized
    int maxY = -1;
    int left = 0;    // normal (restored) rectangle; right and bottom exclusive
    int top = 0;
    int right = 0;
    int bottom = 0;
};

constexpr int kRestoreToMaximized = 2;
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kMinimize = 6;
constexpr int kShowMinNoActive = 7;
constexpr int kForceMinimize = 11;

Placement GetPlacement(const QWidget& w)
{
    Placement p;
    const Qt::WindowStates st = w.windowState();
    const bool minimized = st & Qt::WindowMinimized;
    const bool maximized = st & (Qt::WindowMaximized | Qt::WindowFullScreen);
    p.flags = minimized && maximized ? kRestoreToMaximized : 0;
    p.showCmd = minimized ? kShowMinimized : maximized ? kShowMaximized : kShowNormal;
    if (maximized && !minimized) {
        p.maxX = w.geometry().x();
        p.maxY = w.geometry().y();
    }
    QRect normal = w.isWindow() ? w.normalGeometry() : QRect();
    if (!normal.isValid())
        normal = w.geometry();
    p.left = normal.x();
    p.top = normal.y();
    p.right = Clamp(qint64(normal.x()) + normal.width(), INT_MIN, INT_MAX);
    p.bottom = Clamp(qint64(normal.y()) + normal.height(), INT_MIN, INT_MAX);
    return p;
}

void SetPlacement(QWidget& w, const Placement& p)
{
    const Qt::WindowStates shown = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    Qt::WindowStates st = w.windowState() & ~shown;

    // The normal rectangle is set while the window is in its normal state,
    // so that it becomes the geometry a maximized window restores to.
    if (w.windowState() & shown)
        w.setWindowState(st);
    const int x = Clamp(p.left, -kMaxCoordinate, kMaxCoordinate);
    const int y = Clamp(p.top, -kMaxCoordinate, kMaxCoordinate);
    const int width = Clamp(qint64(p.right) - p.left, 0, kMaxCoordinate);
    const int height = Clamp(qint64(p.bottom) - p.top, 0, kMaxCoordinate);
    w.setGeometry(x, y, width, height);

    switch (p.showCmd) {
    case kShowMinimized:
    case kMinimize:
    case kShowMinNoActive:
    case kForceMinimize:
        st |= Qt::WindowMinimized;
        if (p.flags & kRestoreToMaximized)
            st |= Qt::WindowMaximized;
        break;
    case kShowMaximized:
        st |= Qt::WindowMaximized;
        break;
    default:
        break;
    }
    if (st != w.windowState())
        w.setWindowState(st);
}

// Qt's own report of a window's frame: known once the window is shown (a
// hidden window's frameGeometry() is its bare geometry).
std::optional<QMargins> QtWindowFrame(const QWidget& w)
{
    if (!w.isVisible() || !w.testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
    const QRect inner = w.geometry();
    const QRect outer = w.frameGeometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

// The frame around a window, as far as it is known; a child widget has none.
std::optional<QMargins> FrameOf(const QWidget& w)
{
    if (!w.isWindow())
        return QMargins();
    return TExIniFile::WindowFrame(w);
}

// The outer (frame) size of a window; a frame not known yet counts as none.
QSize OuterSize(const QWidget& w)
{
    const QMargins m = FrameOf(w).value_or(QMargins());
    return w.size().grownBy(m);
}

void SetOuterWidth(QWidget& w, int width)
{
    const int frame = OuterSize(w).width() - w.width();
    w.resize(Clamp(qint64(width) - frame, 0, kMaxCoordinate), w.height());
}

void SetOuterHeight(QWidget& w, int height)
{
    const int frame = OuterSize(w).height() - w.height();
    w.resize(w.width(), Clamp(qint64(height) - frame, 0, kMaxCoordinate));
}

// Before a window is shown its frame is unknown, so a stored outer size can
// only be given to it as its inner size. This waits on the window until the
// frame is known and then takes the frame off again, so that the window's
// outer size is the stored one and does not grow by the frame at every
// restart. It gives up when someone else resizes the window first (the user,
// or the window's own minimum size) and when the window is maximized,
// minimized or made full screen.
constexpr char kOuterSizeKeeperName[] = "plotmereOuterSizeKeeper";

class OuterSizeKeeper : public QObject {
public:
    explicit OuterSizeKeeper(QWidget& window) : QObject(&window), m_window(window)
    {
        setObjectName(QLatin1String(kOuterSizeKeeperName));
        window.installEventFilter(this);
    }

    // The outer width and height to reach; a dimension not given keeps the
    // window's size.
    void Request(std::optional<int> width, std::optional<int> height)
    {
        m_width = width;
        m_height = height;
        m_expected = m_window.size();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window) {
            switch (event->type()) {
            case QEvent::Show:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange:
            case QEvent::WindowActivate:
            case QEvent::UpdateRequest:
                Check(event->type() == QEvent::Resize);
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    void Check(bool resized)
    {
        const Qt::WindowStates special = Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;
        if ((m_window.windowState() & special) || (resized && m_window.size() != m_expected)) {
            Finish();
            return;
        }
        const std::optional<QMargins> frame = FrameOf(m_window);
        if (!frame || frame->isNull())
            return; // not framed yet (or never: then the sizes already agree)
        QSize inner = m_window.size();
        if (m_width)
            inner.setWidth(Clamp(qint64(*m_width) - frame->left() - frame->right(), 0, kMaxCoordinate));
        if (m_height)
            inner.setHeight(Clamp(qint64(*m_height) - frame->top() - frame->bottom(), 0, kMaxCoordinate));
        Finish();
        if (inner != m_window.size())
            m_window.resize(inner);
    }

    void Finish()
    {
        m_window.removeEventFilter(this);
        setParent(nullptr);
        deleteLater();
    }

    QWidget& m_window;
    std::optional<int> m_width, m_height;
    QSize m_expected;
};

// A stored list count above this, and above the caller's own count, is
// treated as unreadable: building the list would only exhaust memory.
constexpr int kMaxListCount = 1 << 20;

} // namespace

TExIniFile::TExIniFile(QObject* AOwner)
    : QObject(AOwner), FIniFile(std::make_unique<TMemIniFile>(TMemIniFile::Empty(QString())))
{
    SetBaseDir(bdApplication);
    SetFence(fcNone);
    SetCaseSensitive(false);
    SetAutoUpdate(true);
}

TExIniFile::~TExIniFile() = default;

QString TExIniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const
{
    return ReadFenced(Section, Ident, Default, FFence);
}

QString TExIniFile::ReadStr(const QString& Section, const QString& Ident, const QString& Default) const
{
    return ReadString(Section, Ident, Default);
}

void TExIniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value)
{
    WriteFenced(Section, Ident, Value, FFence);
}

void TExIniFile::WriteStr(const QString& Section, const QString& Ident, const QString& Value)
{
    WriteString(Section, Ident, Value);
}

int TExIniFile::ReadInteger(const QString& Section, const QString& Ident, int Default) const
{
    return FIniFile->ReadInteger(Section, Ident, Default);
}

int TExIniFile::ReadInt(const QString& Section, const QString& Ident, int Default) const
{
    return ReadInteger(Section, Ident, Default);
}

void TExIniFile::WriteInteger(const QString& Section, const QString& Ident, int Value)
{
    FIniFile->WriteInteger(Section, Ident, Value);
    UpdateIfAuto();
}

void TExIniFile::WriteInt(const QString& Section, const QString& Ident, int Value)
{
    WriteInteger(Section, Ident, Value);
}

bool TExIniFile::ReadBool(const QString& Section, const QString& Ident, bool Default) const
{
    return FIniFile->ReadBool(Section, Ident, Default);
}

void TExIniFile::WriteBool(const QString& Section, const QString& Ident, bool Value)
{
    FIniFile->WriteBool(Section, Ident, Value);
    UpdateIfAuto();
}

int TExIniFile::ReadBinaryStream(const QString& Section, const QString& Name, QIODevice& Value) const
{
    return FIniFile->ReadBinaryStream(Section, Name, Value);
}

QDate TExIniFile::ReadDate(const QString& Section, const QString& Name, const QDate& Default) const
{
    return FIniFile->ReadDate(Section, Name, Default);
}

QDateTime TExIniFile::ReadDateTime(const QString& Section, const QString& Name, const QDateTime& Default) const
{
    return FIniFile->ReadDateTime(Section, Name, Default);
}

QTime TExIniFile::ReadTime(const QString& Section, const QString& Name, const QTime& Default) const
{
    return FIniFile->ReadTime(Section, Name, Default);
}

double TExIniFile::ReadFloat(const QString& Section, const QString& Name, double Default) const
{
    return FIniFile->ReadFloat(Section, Name, Default);
}

void TExIniFile::WriteBinaryStream(const QString& Section, const QString& Name, QIODevice& Value)
{
    FIniFile->WriteBinaryStream(Section, Name, Value);
    UpdateIfAuto();
}

void TExIniFile::WriteDate(const QString& Section, const QString& Name, const QDate& Value)
{
    FIniFile->WriteDate(Section, Name, Value);
    UpdateIfAuto();
}

void TExIniFile::WriteDateTime(const QString& Section, const QString& Name, const QDateTime& Value)
{
    FIniFile->WriteDateTime(Section, Name, Value);
    UpdateIfAuto();
}

void TExIniFile::WriteTime(const QString& Section, const QString& Name, const QTime& Value)
{
    FIniFile->WriteTime(Section, Name, Value);
    UpdateIfAuto();
}

void TExIniFile::WriteFloat(const QString& Section, const QString& Name, double Value)
{
    FIniFile->WriteFloat(Section, Name, Value);
    UpdateIfAuto();
}

int TExIniFile::ReadColor(const QString& Section, const QString& Item, TColor Default) const
{
    return ReadHex(Section, Item, Default);
}

void TExIniFile::WriteColor(const QString& Section, const QString& Item, TColor Value)
{
    WriteHex(Section, Item, Value);
}

int TExIniFile::ReadHex(const QString& Section, const QString& Item, int Default) const
{
    const QString stored = ReadFenced(Section, Item, HexText(Default), fcNone);
    // Whatever the first two characters are, they stand for the prefix.
    const QString digits = stored.mid(2, 8);
    bool ok = !digits.isEmpty();
    quint32 value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int d = -1;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        if (d < 0) {
            ok = false;
            break;
        }
        value = (value << 4) | quint32(d);
    }
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' は整数ではありません").arg(u'$' + digits));
    return int(value);
}

void TExIniFile::WriteHex(const QString& Section, const QString& Item, int Value)
{
    WriteFenced(Section, Item, HexText(Value), fcNone);
}

void TExIniFile::ReadList(const QString& Section, const QString& Item, QStringList& List) const
{
    const int current = int(std::min<qsizetype>(List.size(), INT_MAX));
    int count = ReadInteger(Section, Key(Item, ".Count"), current);
    if (count > kMaxListCount && count > current)
        count = current;
    QStringList read;
    read.reserve(std::max(count, 0));
    for (int i = 0; i < count; ++i) {
        const QString def = i < List.size() ? List.at(i) : QString();
        read.append(ReadFenced(Section, Item + u'.' + QString::number(i), def, fcNone));
    }
    List = std::move(read);
}

void TExIniFile::WriteList(const QString& Section, const QString& Item, const QStringList& Value)
{
    WriteInteger(Section, Key(Item, ".Count"), int(Value.size()));
    for (qsizetype i = 0; i < Value.size(); ++i)
        WriteFenced(Section, Item + u'.' + QString::number(i), Value.at(i), fcNone);
}

void TExIniFile::ReadFontAndColor(const QString& Section, const QString& Item, QFont& Font, TColor& Color) const
{
    QFont font; // attributes that are not stored come from a new font
    font.setFamily(ReadFenced(Section, Key(Item, ".Name"), Font.family(), fcNone));
    const int size = ReadInteger(Section, Key(Item, ".Size"), PointSize(Font));
    if (size > 0)
        font.setPointSize(size);
    const int style = ReadInteger(Section, Key(Item, ".Style"), StyleBits(Font)) & 0xFF;
    font.setBold(style & fsBold);
    font.setItalic(style & fsItalic);
    font.setUnderline(style & fsUnderline);
    font.setStrikeOut(style & fsStrikeOut);
    // May raise; the caller's font and colour are then left as they were.
    const TColor color = ReadColor(Section, Key(Item, ".Color"), Color);
    Font = font;
    Color = color;
}

void TExIniFile::ReadFont(const QString& Section, const QString& Item, QFont& Font) const
{
    TColor color = clWindowText;
    ReadFontAndColor(Section, Item, Font, color);
}

void TExIniFile::ReadFont(const QString& Section, const QString& Item, QFont& Font, TColor& Color) const
{
    ReadFontAndColor(Section, Item, Font, Color);
}

void TExIniFile::WriteFont(const QString& Section, const QString& Item, const QFont& Value, TColor Color)
{
    WriteFenced(Section, Key(Item, ".Name"), Value.family(), fcNone);
    WriteInteger(Section, Key(Item, ".Size"), PointSize(Value));
    WriteInteger(Section, Key(Item, ".Style"), StyleBits(Value));
    WriteColor(Section, Key(Item, ".Color"), Color);
}

void TExIniFile::ReadFormPos(const QString& Section, const QString& Item, QWidget& Form) const
{
    const int x = ReadInteger(Section, Key(Item, ".X"), Form.x());
    Form.move(Clamp(x, -kMaxCoordinate, kMaxCoordinate), Form.y());
    const int y = ReadInteger(Section, Key(Item, ".Y"), Form.y());
    Form.move(Form.x(), Clamp(y, -kMaxCoordinate, kMaxCoordinate));
}

void TExIniFile::WriteFormPos(const QString& Section, const QString& Item, const QWidget& Value)
{
    WriteInteger(Section, Key(Item, ".X"), Value.x());
    WriteInteger(Section, Key(Item, ".Y"), Value.y());
}

void TExIniFile::ReadFormSize(const QString& Section, const QString& Item, QWidget& Form) const
{
    // A wait left from an earlier read is replaced by this one.
    delete Form.findChild<QObject*>(QLatin1String(kOuterSizeKeeperName), Qt::FindDirectChildrenOnly);
    const bool frameUnknown = Form.isWindow() && !FrameOf(Form);
    // Whether the file holds a readable value: only then does it count as
    // an outer size to reach (a default is the window's own size).
    const auto stored = [&](const char* suffix) {
        const QString key = Key(Item, suffix);
        return ReadInteger(Section, key, INT_MIN) == ReadInteger(Section, key, INT_MAX);
    };
    std::optional<int> width, height;
    SetOuterWidth(Form, ReadInteger(Section, Key(Item, ".XSize"), OuterSize(Form).width()));
    if (stored(".XSize"))
        width = OuterSize(Form).width();
    SetOuterHeight(Form, ReadInteger(Section, Key(Item, ".YSize"), OuterSize(Form).height()));
    if (stored(".YSize"))
        height = OuterSize(Form).height();
    if (frameUnknown && (width || height))
        (new OuterSizeKeeper(Form))->Request(width, height);
}

void TExIniFile::WriteFormSize(const QString& Section, const QString& Item, const QWidget& Value)
{
    WriteInteger(Section, Key(Item, ".XSize"), OuterSize(Value).width());
    WriteInteger(Section, Key(Item, ".YSize"), OuterSize(Value).height());
}

void TExIniFile::ReadForm(const QString& Section, const QString& Item, QWidget& Form) const
{
    Placement p = GetPlacement(Form);
    p.flags = ReadInteger(Section, Key(Item, ".Flags"), p.flags);
    p.showCmd = ReadInteger(Section, Key(Item, ".Show"), p.showCmd);
    p.maxX = ReadInteger(Section, Key(Item, ".MaxX"), p.maxX);
    p.maxY = ReadInteger(Section, Key(Item, ".MaxY"), p.maxY);
    p.left = ReadInteger(Section, Key(Item, ".X"), p.left);
    p.top = ReadInteger(Section, Key(Item, ".Y"), p.top);
    p.right = ReadInteger(Section, Key(Item, ".XSize"), p.right);
    p.bottom = ReadInteger(Section, Key(Item, ".YSize"), p.bottom);
    SetPlacement(Form, p);
}

void TExIniFile::WriteForm(const QString& Section, const QString& Item, const QWidget& Form)
{
    const Placement p = GetPlacement(Form);
    WriteInteger(Section, Key(Item, ".Flags"), p.flags);
    WriteInteger(Section, Key(Item, ".Show"), p.showCmd);
    WriteInteger(Section, Key(Item, ".MaxX"), p.maxX);
    WriteInteger(Section, Key(Item, ".MaxY"), p.maxY);
    WriteInteger(Section, Key(Item, ".X"), p.left);
    WriteInteger(Section, Key(Item, ".Y"), p.top);
    WriteInteger(Section, Key(Item, ".XSize"), p.right);
    WriteInteger(Section, Key(Item, ".YSize"), p.bottom);
}

bool TExIniFile::SectionExists(const QString& Section) const
{
    return FIniFile->SectionExists(Section);
}

bool TExIniFile::ValueExists(const QString& Section, const QString& Ident) const
{
    return FIniFile->ValueExists(Section, Ident);
}

void TExIniFile::ReadSection(const QString& Section, QStringList& Strings) const
{
    FIniFile->ReadSection(Section, Strings);
}

void TExIniFile::ReadSections(QStringList& Strings) const
{
    FIniFile->ReadSections(Strings);
}

void TExIniFile::ReadSectionValues(const QString& Section, QStringList& Strings) const
{
    FIniFile->ReadSectionValues(Section, Strings);
}

void TExIniFile::EraseSection(const QString& Section)
{
    FIniFile->EraseSection(Section);
    UpdateIfAuto();
}

void TExIniFile::DeleteKey(const QString& Section, const QString& Ident)
{
    FIniFile->DeleteKey(Section, Ident);
    UpdateIfAuto();
}

void TExIniFile::UpdateFile()
{
    FIniFile->UpdateFile();
}

void TExIniFile::SetApplicationPath(const QString& path)
{
    ApplicationPathOverride() = path;
}

QString TExIniFile::ApplicationPath()
{
    return ExecutablePath();
}

void TExIniFile::SetWindowFrameSource(TWindowFrameSource source)
{
    WindowFrameSourceOverride() = std::move(source);
}

std::optional<QMargins> TExIniFile::WindowFrame(const QWidget& window)
{
    if (WindowFrameSourceOverride())
        return WindowFrameSourceOverride()(window);
    return QtWindowFrame(window);
}

void TExIniFile::Loaded()
{
    if (!FFileName.isEmpty() || FDesigning)
        return;
    QString name = QFileInfo(ExecutablePath()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    SetFileName(name + QStringLiteral(".ini"));
}

void TExIniFile::SetBaseDir(TBaseDir Value)
{
    FBaseDir = Value;
    ApplyFileName(FFileName);
}

void TExIniFile::SetFileName(const QString& Value)
{
    ApplyFileName(Value);
}

bool TExIniFile::CaseSensitive() const
{
    return FIniFile->CaseSensitive();
}

void TExIniFile::SetCaseSensitive(bool Value)
{
    FIniFile->SetCaseSensitive(Value);
}

QString TExIniFile::FullPath() const
{
    return FIniFile->FileName();
}

QString TExIniFile::ReadFenced(const QString& Section, const QString& Ident, const QString& Default,
    TFence Fence) const
{
    QString s = FIniFile->ReadString(Section, Ident, Fenced(Default, Fence));
    // The component's own mode decides what is unquoted, not the argument.
    if (s.size() >= 2) {
        const QChar first = s.front();
        const QChar last = s.back();
        if ((first == u'"' && last == u'"' && FFence == fcDoubleQuote)
            || (first == u'\'' && last == u'\'' && FFence == fcSingleQuote))
            s = s.mid(1, s.size() - 2);
    }
    return s;
}

void TExIniFile::WriteFenced(const QString& Section, const QString& Ident, const QString& Value, TFence Fence)
{
    FIniFile->WriteString(Section, Ident, Fenced(Value, Fence));
    UpdateIfAuto();
}

void TExIniFile::UpdateIfAuto()
{
    if (FAutoUpdate)
        FIniFile->UpdateFile();
}

void TExIniFile::ApplyFileName(const QString& Value)
{
    FFileName = Value;
    const bool caseSensitive = FIniFile->CaseSensitive();
    const QString path = HasDirectoryPart(Value) ? Value : BaseDirectory(FBaseDir) + Value;
    // The old store goes first; if loading the new file fails, an empty
    // store for the new path stays behind, so the component remains usable.
    FIniFile = std::make_unique<TMemIniFile>(TMemIniFile::Empty(path, caseSensitive));
    FIniFile = std::make_unique<TMemIniFile>(path, caseSensitive);
}
