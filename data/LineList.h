#pragma once
// The text lines of the current table (the window's DataList).
//
// A table of ten million rows is a normal input, so the lines are not kept
// as separate strings: the list holds one copy of the text as UTF-8 bytes
// (possibly a read-only view of a mapped file, kept alive by a holder), and
// instead of every line's start only one start every kMarkBytes of text
// with the number of lines before it. Deleting the first line and removing
// the empty ones keep that form; deleting any other line, or appending to
// lines already there, gives the list an offset for each line. A line never
// contains CR or LF, so a line ends at the next CR or LF after its start,
// or at the end of the text.
//
// Lines end at CR LF, at a lone CR or at a lone LF; a line break after the
// last line adds no line.

#include "PodArray.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// What keeps the memory under a raw text alive. A keeper may let go of the
// resident pages of a range that has been read, where reading them again
// brings them back (a mapped file's pages come back from the page cache);
// the passes over a large table call Release behind themselves, so the
// table's text does not stay resident as a whole.
class TextKeeper {
public:
    virtual ~TextKeeper() = default;
    virtual void Release(const char* begin, const char* end) const noexcept = 0;
};

// Calls the keeper's Release for what a pass has left behind, in steps of
// a few megabytes. Without a keeper it does nothing.
class ReleaseBehind {
public:
    static constexpr std::size_t kStep = std::size_t(4) << 20;
    ReleaseBehind(const TextKeeper* keeper, const char* start) noexcept : m_keeper(keeper), m_done(start) {}
    ~ReleaseBehind() = default;
    void Passed(const char* p) noexcept
    {
        if (m_keeper && std::size_t(p - m_done) >= kStep) {
            m_keeper->Release(m_done, p);
            m_done = p;
        }
    }
    void Finish(const char* p) noexcept
    {
        if (m_keeper && p > m_done)
            m_keeper->Release(m_done, p);
        m_done = p;
    }

private:
    const TextKeeper* m_keeper;
    const char* m_done;
};

class LineList {
public:
    // Offsets are 32-bit, so the text of one table is limited to this size.
    static constexpr std::uint64_t kMaxTextBytes = 0xFFFFFFFFull;

    LineList() = default;

    // The lines of `utf8`, starting at byte `skip` (used to step over a
    // byte-order mark). `keeper` owns the memory under `utf8` when that is
    // raw data (QByteArray::fromRawData). Throws EReadError if the text is
    // larger than kMaxTextBytes.
    static LineList FromUtf8(QByteArray utf8, std::shared_ptr<const TextKeeper> keeper = {}, qsizetype skip = 0);
    // Checks the bytes of a piece of text, [b, e), whose ends lie on the
    // starts of characters; true when it is sound.
    using TextCheck = bool (*)(const char* b, const char* e) noexcept;
    // The same as FromUtf8 for bytes that `check` has yet to pass, checked in
    // the pass that finds the lines, so a large text is read once. Empty
    // when a piece fails the check.
    static std::optional<LineList> FromCheckedUtf8(QByteArray bytes, TextCheck check,
                                                   std::shared_ptr<const TextKeeper> keeper = {}, qsizetype skip = 0);
    // The lines of a Unicode text (the clipboard's).
    static LineList FromText(QStringView text);

    qsizetype Count() const noexcept;
    bool IsEmpty() const noexcept { return Count() == 0; }
    void Clear() noexcept;

    // Line i, 0 <= i < Count(). Reaching a line far from the last one
    // reached walks at most kMarkBytes of text; stepping through the lines
    // in order is cheap. (Not for use from several threads at once.)
    QString Line(qsizetype i) const;
    // The bytes of line i without its line break.
    std::string_view RawLine(qsizetype i) const;
    // The first byte of line i. A line runs to the next CR or LF or to
    // TextEnd(); the table parser walks it from here.
    const char* LineStart(qsizetype i) const noexcept;
    const char* TextEnd() const noexcept { return m_text.constData() + m_text.size(); }
    // The keeper of a raw text, or null.
    const TextKeeper* Keeper() const noexcept { return m_keeper.get(); }
    bool IsEmptyLine(qsizetype i) const noexcept;

    void Delete(qsizetype i);
    // Deletes every line of length 0 in one pass; the result is the same as
    // deleting them one by one from the last to the first.
    void RemoveEmptyLines();
    qsizetype EmptyLineCount() const noexcept;

    // Appends the lines of `text` after the existing ones.
    void AppendText(QStringView text);
    void AppendUtf8(std::string_view utf8);

    // The 1-based number of line i within the text the list was built from
    // (blank and deleted lines still count), for messages that name a line.
    qsizetype SourceLineNumber(qsizetype i) const;

    // Steps through lines [first, first + count) in order, for passes over a
    // whole table. Made on the list's own thread, it may then be used on
    // another one while the list is left unchanged.
    class Walker {
    public:
        bool Done() const noexcept { return m_left == 0; }
        // The first byte of the current line.
        const char* Start() const noexcept { return m_p; }
        // Moves to the next line; `lineEnd` is the CR or LF that ends the
        // current line (or the text's end).
        void Next(const char* lineEnd) noexcept;

    private:
        friend class LineList;
        const char* m_p = nullptr;
        const char* m_text = nullptr;
        const char* m_end = nullptr;
        const std::uint32_t* m_starts = nullptr; // the index, when the list keeps one
        qsizetype m_left = 0;
        bool m_skipEmpty = false;
    };
    Walker Walk(qsizetype first, qsizetype count) const noexcept;

    // Every this many bytes of text the list keeps where the next line
    // starts and how many lines lie before it, instead of indexing every line.
    static constexpr std::size_t kMarkBytes = std::size_t(64) << 10;

    // Whether a scan has found that every line splits into at least two
    // fields at `delimiter` (the scan notes it); any change to the lines
    // forgets it.
    bool EveryLineSplits(char delimiter) const noexcept { return delimiter != 0 && m_splitsAt == delimiter; }
    void NoteEveryLineSplits(char delimiter) const noexcept { m_splitsAt = delimiter; }

    // Whether the list keeps a start offset for each line (after deleting a
    // line other than the first, or appending to lines already there).
    bool IsIndexed() const noexcept { return m_indexed; }

private:
    // A line start in the text and the lines, and empty lines, of the whole
    // text that start before it.
    struct Mark {
        std::size_t start, lines, empty;
    };
    bool Build(TextCheck check);
    void BuildIndex();
    void IndexFrom(std::size_t begin);
    void Forget() const noexcept { m_atIndex = -1; }
    // The index of the first line kept at or after a mark's start.
    qsizetype IndexAt(const Mark& m) const noexcept;

    QByteArray m_text;
    std::shared_ptr<const TextKeeper> m_keeper;
    std::size_t m_origin = 0; // where the first line starts (after a byte-order mark)

    // Without an index the lines are those of the text from m_begin on,
    // the empty ones left out once they have been removed.
    std::vector<Mark> m_marks;
    std::size_t m_lines = 0, m_empties = 0; // of the whole text
    std::size_t m_begin = 0, m_beginLines = 0, m_beginEmpties = 0; // the first line kept, and what lies before it
    bool m_skipEmpty = false;
    // The last line reached, where reaching the next one starts.
    mutable qsizetype m_atIndex = -1;
    mutable std::size_t m_atStart = 0;
    mutable char m_splitsAt = 0;

    // With an index: every line's start.
    bool m_indexed = false;
    PodArray<std::uint32_t> m_starts;
    std::size_t m_first = 0; // entries before this one are deleted lines
    qsizetype m_empty = 0;
};

// The text of UTF-8 bytes, every character kept: unlike QString::fromUtf8,
// a U+FEFF at the start stays (a line or a field may begin with one; only
// the file's own byte-order mark is not text, and the reader skips it).
QString TextOfUtf8(std::string_view utf8);

namespace linelist_detail {
// Lines that start in [begin, end) of `text`, where `begin` is a line start
// (begin < end).
std::size_t CountLineStarts(const char* text, std::size_t begin, std::size_t end,
                            const TextKeeper* keeper = nullptr) noexcept;
// Writes those lines' starts to `out` and returns how many of them are empty.
std::size_t FillLineStarts(const char* text, std::size_t begin, std::size_t end, std::uint32_t* out,
                           const TextKeeper* keeper = nullptr) noexcept;
// The position of the first CR or LF in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end) noexcept;
} // namespace linelist_detail

namespace linelist_detail {
inline bool IsBreakByte(char c) noexcept { return c == '\n' || c == '\r'; }
} // namespace linelist_detail

inline void LineList::Walker::Next(const char* lineEnd) noexcept
{
    if (m_left == 0 || --m_left == 0)
        return;
    if (m_starts) {
        m_p = m_text + *++m_starts;
        return;
    }
    const char* p = lineEnd;
    if (p < m_p || p >= m_end) {
        m_left = 0; // no break there: nothing follows
        return;
    }
    p += (*p == '\r' && p + 1 < m_end && p[1] == '\n') ? 2 : 1;
    if (m_skipEmpty)
        while (p < m_end && linelist_detail::IsBreakByte(*p))
            p += (*p == '\r' && p + 1 < m_end && p[1] == '\n') ? 2 : 1;
    m_p = p;
}
