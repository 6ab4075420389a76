#pragma once
// The text lines of the current table (the window's DataList).
//
// A table of ten million rows is a normal input, so the lines are not kept
// as separate strings: the list holds one copy of the text as UTF-8 bytes
// (possibly a read-only view of a mapped file, kept alive by a holder) and
// the byte offset at which each line starts. A line never contains CR or LF,
// so a line ends at the next CR or LF after its start, or at the end of the
// text.
//
// Lines end at CR LF, at a lone CR or at a lone LF; a line break after the
// last line adds no line.

#include "PodArray.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <string_view>

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
    // The lines of a Unicode text (the clipboard's).
    static LineList FromText(QStringView text);

    qsizetype Count() const noexcept { return qsizetype(m_starts.size() - m_first); }
    bool IsEmpty() const noexcept { return Count() == 0; }
    void Clear() noexcept;

    // Line i, 0 <= i < Count().
    QString Line(qsizetype i) const;
    // The bytes of line i without its line break.
    std::string_view RawLine(qsizetype i) const;
    // The first byte of line i. A line runs to the next CR or LF or to
    // TextEnd(); the table parser walks it from here.
    const char* LineStart(qsizetype i) const noexcept { return m_text.constData() + m_starts[m_first + size_t(i)]; }
    const char* TextEnd() const noexcept { return m_text.constData() + m_text.size(); }
    // The keeper of a raw text, or null.
    const TextKeeper* Keeper() const noexcept { return m_keeper.get(); }
    bool IsEmptyLine(qsizetype i) const noexcept;

    void Delete(qsizetype i);
    // Deletes every line of length 0 in one pass; the result is the same as
    // deleting them one by one from the last to the first.
    void RemoveEmptyLines();
    qsizetype EmptyLineCount() const noexcept { return m_empty; }

    // Appends the lines of `text` after the existing ones.
    void AppendText(QStringView text);
    void AppendUtf8(std::string_view utf8);

    // The 1-based number of line i within the text the list was built from
    // (blank and deleted lines still count), for messages that name a line.
    qsizetype SourceLineNumber(qsizetype i) const;

private:
    void IndexFrom(std::size_t begin);

    QByteArray m_text;
    std::shared_ptr<const TextKeeper> m_keeper;
    PodArray<std::uint32_t> m_starts;
    std::size_t m_first = 0; // entries before this one are deleted lines
    std::size_t m_origin = 0; // where the first line starts (after a byte-order mark)
    qsizetype m_empty = 0;
};

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
