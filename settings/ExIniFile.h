#pragma once
// TExIniFile: the program's settings component. It keeps an in-memory INI
// store (TMemIniFile) bound to one settings file and adds:
//
// - placing a bare file name in a base directory (BaseDir), with the
//   executable's name plus ".ini" as the default name (Loaded);
// - optional quote fencing of string values (Fence): written between
//   quotation marks, taken off again when read, so outer blanks survive;
// - saving the whole file after every change (AutoUpdate);
// - typed and structured values: hexadecimal numbers, colours, string
//   lists, fonts, window placement, form position and size.
//
// Reads never touch the disk. Every change ends with the auto-update step,
// so one structured write saves the file once per key it writes. A failed
// save raises EFCreateError; the change stays in memory and is written by
// the next successful save.
//
// Fonts: QFont has no colour, so the font operations come in two forms. The
// ones taking a TColor& / TColor store the colour under ".Color"; the plain
// QFont ones write the default font colour (window text) and, on reading,
// still check the stored colour (a malformed one raises) but drop it.

#include "Colors.h"
#include "Exceptions.h" // EFCreateError, EConvertError: what the operations raise

#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QIODevice>
#include <QMargins>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class TMemIniFile;

// Where a bare file name is placed.
enum TBaseDir : std::uint8_t {
    bdWindows,     // the system configuration folder, /etc/
    bdApplication, // the executable's folder
    bdAppData,     // $XDG_CONFIG_HOME, or ~/.config/ when that is not set
    bdNone,        // nothing: relative to the current directory
};

// How string values are quoted.
enum TFence : std::uint8_t {
    fcNone,
    fcDoubleQuote, // "..."
    fcSingleQuote, // '...'
};

// The window manager's frame around a top-level window, once it is known:
// Qt learns it only after the window has been shown and framed, so before
// that the source answers std::nullopt.
using TWindowFrameSource = std::function<std::optional<QMargins>(const QWidget&)>;

class TExIniFile : public QObject {
    Q_OBJECT

public:
    // Starts with BaseDir bdApplication, no file name (so nothing is loaded
    // and a save fails until a name is set), Fence fcNone, CaseSensitive
    // false and AutoUpdate true.
    explicit TExIniFile(QObject* AOwner = nullptr);
    // Frees the store without saving it.
    ~TExIniFile() override;

    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    QString ReadStr(const QString& Section, const QString& Ident, const QString& Default) const;
    void WriteString(const QString& Section, const QString& Ident, const QString& Value);
    void WriteStr(const QString& Section, const QString& Ident, const QString& Value);
    int ReadInteger(const QString& Section, const QString& Ident, int Default) const;
    int ReadInt(const QString& Section, const QString& Ident, int Default) const;
    void WriteInteger(const QString& Section, const QString& Ident, int Value);
    void WriteInt(const QString& Section, const QString& Ident, int Value);
    bool ReadBool(const QString& Section, const QString& Ident, bool Default) const;
    void WriteBool(const QString& Section, const QString& Ident, bool Value);
    int ReadBinaryStream(const QString& Section, const QString& Name, QIODevice& Value) const;
    QDate ReadDate(const QString& Section, const QString& Name, const QDate& Default) const;
    QDateTime ReadDateTime(const QString& Section, const QString& Name, const QDateTime& Default) const;
    QTime ReadTime(const QString& Section, const QString& Name, const QTime& Default) const;
    double ReadFloat(const QString& Section, const QString& Name, double Default) const;
    void WriteBinaryStream(const QString& Section, const QString& Name, QIODevice& Value);
    void WriteDate(const QString& Section, const QString& Name, const QDate& Value);
    void WriteDateTime(const QString& Section, const QString& Name, const QDateTime& Value);
    void WriteTime(const QString& Section, const QString& Name, const QTime& Value);
    void WriteFloat(const QString& Section, const QString& Name, double Value);

    // "0x" + eight upper-case hexadecimal digits. Reading skips the first
    // two characters, whatever they are, and converts up to eight more;
    // anything else raises EConvertError.
    int ReadColor(const QString& Section, const QString& Item, TColor Default) const;
    void WriteColor(const QString& Section, const QString& Item, TColor Value);
    int ReadHex(const QString& Section, const QString& Item, int Default) const;
    void WriteHex(const QString& Section, const QString& Item, int Value);
    // Item.Count, then Item.0, Item.1, ...; the list's own entries are the
    // defaults. Keys of a formerly longer list are left in place.
    void ReadList(const QString& Section, const QString& Item, QStringList& List) const;
    void WriteList(const QString& Section, const QString& Item, const QStringList& Value);
    // Item.Name, Item.Size (points), Item.Style (1 bold, 2 italic,
    // 4 underline, 8 strike-out), Item.Color. The font read replaces the
    // caller's as a whole (attributes not stored come from a new QFont); a
    // malformed colour raises and leaves font and colour unchanged.
    void ReadFont(const QString& Section, const QString& Item, QFont& Font) const;
    void ReadFont(const QString& Section, const QString& Item, QFont& Font, TColor& Color) const;
    void WriteFont(const QString& Section, const QString& Item, const QFont& Value, TColor Color = clWindowText);
    // Item.X, Item.Y: the window's outer left and top.
    void ReadFormPos(const QString& Section, const QString& Item, QWidget& Form) const;
    void WriteFormPos(const QString& Section, const QString& Item, const QWidget& Value);
    // Item.XSize, Item.YSize: the window's outer width and height. A window
    // whose frame is not known yet (not shown) takes the stored outer size as
    // its inner size for now and is brought to the stored outer size as soon
    // as its frame becomes known; a resize by anyone else before that, or
    // a maximized, minimized or full-screen state, ends that wait.
    void ReadFormSize(const QString& Section, const QString& Item, QWidget& Form) const;
    void WriteFormSize(const QString& Section, const QString& Item, const QWidget& Value);
    // The window placement: Item.Flags (2 when a minimized window restores
    // maximized), Item.Show (1 normal, 2 minimized, 3 maximized), Item.MaxX,
    // Item.MaxY (position while maximized, -1 when not maximized), and the
    // normal (restored) rectangle Item.X, Item.Y, Item.XSize, Item.YSize as
    // left, top, right and bottom edges (right and bottom exclusive). The
    // coordinates are the window's geometry() and normalGeometry(), without
    // the frame. Reading applies the rectangle, then the show state; it does
    // not show a hidden window.
    void ReadForm(const QString& Section, const QString& Item, QWidget& Form) const;
    void WriteForm(const QString& Section, const QString& Item, const QWidget& Form);

    bool SectionExists(const QString& Section) const;
    bool ValueExists(const QString& Section, const QString& Ident) const;
    void ReadSection(const QString& Section, QStringList& Strings) const;
    void ReadSections(QStringList& Strings) const;
    void ReadSectionValues(const QString& Section, QStringList& Strings) const;
    void EraseSection(const QString& Section);
    void DeleteKey(const QString& Section, const QString& Ident);
    // Saves the whole store, whatever AutoUpdate says.
    void UpdateFile();

    // To be called by the owner once it has set the properties: with no file
    // name yet, chooses the executable's name with ".ini" (not in design
    // mode), which loads that file.
    void Loaded();

    TBaseDir BaseDir() const { return FBaseDir; }
    // Stores the base and re-applies the current FileName, reloading.
    void SetBaseDir(TBaseDir Value);
    // The name exactly as assigned.
    const QString& FileName() const { return FFileName; }
    // Replaces the store by one loaded from the resolved path; unsaved
    // changes are dropped. A load error propagates; the component then holds
    // an empty store for the new path.
    void SetFileName(const QString& Value);
    TFence Fence() const { return FFence; }
    void SetFence(TFence Value) { FFence = Value; }
    // Kept across file name and base directory changes.
    bool CaseSensitive() const;
    void SetCaseSensitive(bool Value);
    bool AutoUpdate() const { return FAutoUpdate; }
    void SetAutoUpdate(bool Value) { FAutoUpdate = Value; }

    // The path the store is bound to: FileName resolved against BaseDir.
    QString FullPath() const;
    // The executable whose folder bdApplication names and whose name Loaded
    // takes for the default file name: the running one unless set. Tests
    // give a program their own folder this way; an empty path restores the
    // running executable.
    static void SetApplicationPath(const QString& path);
    static QString ApplicationPath();
    // Where the form size operations learn a window's frame: Qt's own report
    // (frameGeometry() of a shown window) unless set; an empty source
    // restores that. Tests put a window manager's frame around an offscreen
    // window this way.
    static void SetWindowFrameSource(TWindowFrameSource source);
    static std::optional<QMargins> WindowFrame(const QWidget& window);

    // Design mode: Loaded then leaves an empty FileName alone.
    bool Designing() const { return FDesigning; }
    void SetDesigning(bool Value) { FDesigning = Value; }

private:
    QString ReadFenced(const QString& Section, const QString& Ident, const QString& Default, TFence Fence) const;
    void WriteFenced(const QString& Section, const QString& Ident, const QString& Value, TFence Fence);
    void UpdateIfAuto();

    void ApplyFileName(const QString& Value);
    void ReadFontAndColor(const QString& Section, const QString& Item, QFont& Font, TColor& Color) const;

    std::unique_ptr<TMemIniFile> FIniFile;
    TBaseDir FBaseDir = bdApplication;
    QString FFileName;
    TFence FFence = fcNone;
    bool FAutoUpdate = true;
    bool FDesigning = false;
};
