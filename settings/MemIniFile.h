#pragma once
// An in-memory INI store bound to one file.
//
// The whole file is read once, when the store is created; every read is
// served from memory and nothing reaches the disk until UpdateFile, which
// rewrites the whole file. The text layout it writes:
//
//   [Section]<CR LF>
//   Key=Value<CR LF>
//   <CR LF>                  (one empty line after every section)
//
// Sections and keys keep the order in which they were first loaded or
// created; a changed value stays in its place. Names are compared without
// regard to case (the locale's upper-casing) unless CaseSensitive is set.
// Comments (";" lines), blank lines and lines before the first section are
// dropped on load and so vanish at the next save.
//
// The file's encoding is decided by its byte-order mark (UTF-8, UTF-16 LE
// or BE) and written back with the same mark. A file without a mark is read
// as CP932 and written back in CP932 as long as every character survives
// that code page; otherwise it is written as UTF-8 with a mark, so no
// character is ever replaced by "?". A file without a mark that is not
// valid CP932 but is valid UTF-8 is read as UTF-8 and written with a mark.
// Bytes that decode to no character are written back as they were read,
// never as the U+FFFD they read as, until a write replaces their value.
//
// Saving goes through a temporary file that is renamed over the old one, so
// the file on disk is always either the old or the new version. Every step
// of the save is checked (the temporary file is written unbuffered, so no
// write can fail unseen while it is closed); a save that fails anywhere
// leaves the old file as it was and no temporary file behind.

#include <QDate>
#include <QDateTime>
#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

#include "SafeWrite.h"

#include <functional>
#include <optional>
#include <vector>

class QIODevice;

class TMemIniFile {
public:
    enum class TEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

    // Binds the store to `fileName` and reads that file when it is an
    // existing regular file (a missing file or a directory gives an empty
    // store). Raises EFOpenError or EReadError when an existing file cannot
    // be read. `caseSensitive` decides how names are compared from the start,
    // so it also decides which repeated sections are merged on load.
    explicit TMemIniFile(const QString& fileName, bool caseSensitive = false);
    // An empty store bound to `fileName`; nothing is read.
    static TMemIniFile Empty(const QString& fileName, bool caseSensitive = false);

    const QString& FileName() const { return m_fileName; }
    TEncoding Encoding() const { return m_encoding; }

    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool value);

    // The stored text of Section/Ident; Default when the section or key is
    // absent (an entry loaded without "=" counts as absent).
    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    // Replaces the value of an existing key in place (the key keeps its
    // stored letter case) or appends the key, and its section if needed.
    void WriteString(const QString& Section, const QString& Ident, const QString& Value);

    // Decimal, or hexadecimal after "0x"/"$"; anything that is not a 32-bit
    // integer gives Default.
    int ReadInteger(const QString& Section, const QString& Ident, int Default) const;
    void WriteInteger(const QString& Section, const QString& Ident, int Value);
    // "1"/"0"; read as an integer, any non-zero integer is true.
    bool ReadBool(const QString& Section, const QString& Ident, bool Default) const;
    void WriteBool(const QString& Section, const QString& Ident, bool Value);
    // Written with the decimal separator of NumberFormat::Current(), in the
    // shortest form that reads back to the same double.
    double ReadFloat(const QString& Section, const QString& Name, double Default) const;
    void WriteFloat(const QString& Section, const QString& Name, double Value);
    // Dates as "yyyy/MM/dd", times as "HH:mm:ss" (".zzz" added when the
    // milliseconds are not zero), date-times as date, a blank and time, in
    // local time. Unparsable text gives Default.
    QDate ReadDate(const QString& Section, const QString& Name, const QDate& Default) const;
    void WriteDate(const QString& Section, const QString& Name, const QDate& Value);
    QDateTime ReadDateTime(const QString& Section, const QString& Name, const QDateTime& Default) const;
    void WriteDateTime(const QString& Section, const QString& Name, const QDateTime& Value);
    QTime ReadTime(const QString& Section, const QString& Name, const QTime& Default) const;
    void WriteTime(const QString& Section, const QString& Name, const QTime& Value);

    // Decodes two hexadecimal digits per byte into `Value` at its current
    // position and returns the number of bytes; decoding stops at the first
    // pair that is not hexadecimal and the rest of the bytes are zero. An
    // empty or absent value returns 0 and leaves the device untouched.
    int ReadBinaryStream(const QString& Section, const QString& Name, QIODevice& Value) const;
    // Stores the bytes from the device's current position to its end, two
    // upper-case hexadecimal digits each.
    void WriteBinaryStream(const QString& Section, const QString& Name, QIODevice& Value);

    bool SectionExists(const QString& Section) const;
    bool ValueExists(const QString& Section, const QString& Ident) const;
    // Each clears the list first.
    void ReadSection(const QString& Section, QStringList& Strings) const;
    void ReadSections(QStringList& Strings) const;
    void ReadSectionValues(const QString& Section, QStringList& Strings) const;
    void EraseSection(const QString& Section);
    void DeleteKey(const QString& Section, const QString& Ident);

    // The text UpdateFile writes, before encoding.
    QString Text() const;
    // Writes the whole store to its file every time it is called. Raises
    // EFCreateError when the file cannot be written; the store is unchanged
    // and the old file stays as it was.
    void UpdateFile();

private:
    struct NoLoad {};
    TMemIniFile(NoLoad, const QString& fileName, bool caseSensitive);

    // The bytes a key, value or section line was read from, kept while
    // its text cannot give them back (undecodable bytes, or CP932 codes
    // that share a character with another code) and written instead of it.
    struct Entry {
        QString key; // for an entry without "=", the whole line
        QString value;
        bool hasValue = true;
        std::optional<QByteArray> rawKey, rawValue;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
        // Folded key -> index of its first entry; rebuilt on demand.
        mutable QHash<QString, qsizetype> index;
        mutable bool indexed = false;
        std::optional<QByteArray> rawHeader; // the whole "[name]" line
    };

    void Load();
    // `raw`: line number -> the bytes of a line its text cannot give back.
    void Parse(const QString& text, const QHash<qsizetype, QByteArray>& raw = {});
    bool KeepsRawBytes() const;
    // The file's bytes with the kept bytes in place of their text; turns
    // `encoding` from Ansi to Utf8 when some written character has no exact
    // CP932 code.
    QByteArray EncodeWithRawBytes(TEncoding& encoding) const;
    QString Fold(const QString& name) const;
    void BuildIndex(const Section& s) const;
    const Section* FindSection(const QString& name) const;
    Section* FindSection(const QString& name);
    Section& AddSection(const QString& name);
    // Index of the entry of `ident`, or -1.
    qsizetype FindKey(const Section& s, const QString& ident) const;
    void AppendEntry(Section& s, Entry e);
    const QString* FindValue(const QString& section, const QString& ident) const;

    QString m_fileName;
    TEncoding m_encoding = TEncoding::Ansi;
    bool m_caseSensitive = false;
    QLocale m_locale;
    std::vector<Section> m_sections;
    mutable QHash<QString, qsizetype> m_sectionIndex;
    mutable bool m_sectionsIndexed = false;
};

namespace meminifile_detail {
// Saves go through the safe whole-file write; its fault seam makes them
// fail as a failing disk would. For tests.
using SaveStep = safe_write::Step;
using SaveFault = safe_write::Fault;
inline void SetSaveFault(SaveFault fault) { safe_write::SetFault(std::move(fault)); }
} // namespace meminifile_detail
