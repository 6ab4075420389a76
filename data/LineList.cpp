#include "LineList.h"

#include "Exceptions.h"
#include "Parallel.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace linelist_detail {

namespace {
inline bool IsBreak(char c) { return c == '\n' || c == '\r'; }

#if defined(__SSE2__)
struct BreakMasks {
    unsigned lf, cr;
};
inline BreakMasks Masks16(const char* p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return {unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')))),
            unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))))};
}
#endif
} // namespace

std::size_t CountLineStarts(const char* t, std::size_t begin, std::size_t end, const TextKeeper* keeper) noexcept
{
    if (begin >= end)
        return 0;
    // Every LF and every CR is a break, except the LF of a CR LF pair.
    std::size_t breaks = 0;
    std::size_t p = begin;
    if (IsBreak(t[p]))
        ++breaks; // the first byte has no predecessor inside the range
    ++p;
#if defined(__SSE2__)
    // Per byte lane: +1 for a CR or an LF, -1 again for the LF of a pair.
    // Lanes are summed before they can exceed 255.
    const __m128i lfv = _mm_set1_epi8('\n'), crv = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
    ReleaseBehind behind(keeper, t + p);
    while (p + 16 <= end) {
        behind.Passed(t + p);
        __m128i acc = zero;
        for (int k = 0; k < 255 && p + 16 <= end; ++k, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + p));
            const __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + p - 1));
            const __m128i lf = _mm_cmpeq_epi8(v, lfv);
            const __m128i cr = _mm_cmpeq_epi8(v, crv);
            const __m128i pair = _mm_and_si128(lf, _mm_cmpeq_epi8(prev, crv));
            acc = _mm_add_epi8(_mm_sub_epi8(_mm_sub_epi8(acc, lf), cr), pair);
        }
        const __m128i sums = _mm_sad_epu8(acc, zero);
        breaks += std::size_t(_mm_cvtsi128_si32(sums)) + std::size_t(_mm_extract_epi16(sums, 4));
    }
    behind.Finish(t + p);
#endif
    for (; p < end; ++p) {
        if (t[p] == '\r' || (t[p] == '\n' && t[p - 1] != '\r'))
            ++breaks;
    }
    // A break at the very end starts no line inside the range.
    return 1 + breaks - (IsBreak(t[end - 1]) ? 1 : 0);
}

std::size_t FillLineStarts(const char* t, std::size_t begin, std::size_t end, std::uint32_t* out,
                           const TextKeeper* keeper) noexcept
{
    if (begin >= end)
        return 0;
    std::size_t empty = 0;
    std::uint32_t* o = out;
    *o++ = std::uint32_t(begin);
    if (IsBreak(t[begin]))
        ++empty;
    // The start that follows the break at p, or 0 when p is the LF of a CR LF.
    auto startAfter = [&](std::size_t p) -> std::size_t {
        if (t[p] == '\n')
            return (p > begin && t[p - 1] == '\r') ? 0 : p + 1;
        return (p + 1 < end && t[p + 1] == '\n') ? p + 2 : p + 1;
    };
    auto record = [&](std::size_t s) {
        if (s == 0 || s >= end)
            return;
        *o++ = std::uint32_t(s);
        if (IsBreak(t[s]))
            ++empty;
    };
    std::size_t p = begin;
#if defined(__SSE2__)
    ReleaseBehind behind(keeper, t + p);
    for (; p + 16 <= end; p += 16) {
        if (((p - begin) & 0xFFFF) == 0)
            behind.Passed(t + p);
        const BreakMasks m = Masks16(t + p);
        unsigned bits = m.lf | m.cr;
        while (bits) {
            record(startAfter(p + unsigned(std::countr_zero(bits))));
            bits &= bits - 1;
        }
    }
    behind.Finish(t + p);
#endif
    for (; p < end; ++p)
        if (IsBreak(t[p]))
            record(startAfter(p));
    return empty;
}

const char* FindLineEnd(const char* p, const char* end) noexcept
{
#if defined(__SSE2__)
    for (; p + 16 <= end; p += 16) {
        const BreakMasks m = Masks16(p);
        if (const unsigned bits = m.lf | m.cr)
            return p + std::countr_zero(bits);
    }
#endif
    while (p < end && !IsBreak(*p))
        ++p;
    return p;
}

} // namespace linelist_detail

using namespace linelist_detail;

namespace {
// Below this size one thread indexes faster than two can start.
constexpr std::size_t kParallelIndexBytes = std::size_t(4) << 20;

void CheckTextSize(std::uint64_t n)
{
    if (n > LineList::kMaxTextBytes)
        throw EReadError(QStringLiteral("テキストが大きすぎます (%1 バイト、上限は %2 バイト)")
                             .arg(n)
                             .arg(LineList::kMaxTextBytes));
}

// The start of the line after the break at p (p < end).
inline std::size_t StartAfterBreak(const char* t, std::size_t p, std::size_t end) noexcept
{
    return (t[p] == '\r' && p + 1 < end && t[p + 1] == '\n') ? p + 2 : p + 1;
}

// The first line start at or after s that is no empty line; s is a line start.
inline std::size_t SkipEmptyLines(const char* t, std::size_t s, std::size_t end, std::size_t* skipped = nullptr) noexcept
{
    while (s < end && IsBreakByte(t[s])) {
        s = StartAfterBreak(t, s, end);
        if (skipped)
            ++*skipped;
    }
    return s;
}

// The next byte at or after p that starts a character.
inline std::size_t CharacterStart(const char* t, std::size_t p, std::size_t end) noexcept
{
    while (p < end && (static_cast<unsigned char>(t[p]) & 0xC0) == 0x80)
        ++p;
    return p;
}

// Set bits of v. std::popcount is a library call on the baseline x86-64,
// which has no instruction for it.
inline unsigned BitCount(std::uint64_t v) noexcept
{
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return unsigned((v * 0x0101010101010101ull) >> 56);
}

// What one stretch of kMarkBytes holds: the lines that start in it, how
// many of them are empty, and where the first one starts (or none).
struct ChunkCount {
    std::size_t lines = 0, empty = 0;
    std::size_t first = std::size_t(-1);
};

// Counts the line starts s in [b, e) of a text that starts at `origin` and
// ends at `end`: s = origin, or the byte before s is an LF, or it is a CR
// and s is no LF (the LF of a CR LF belongs to the break); s < end. A line
// is empty when its first byte is a break.
ChunkCount CountChunk(const char* t, std::size_t b, std::size_t e, std::size_t origin, std::size_t end) noexcept
{
    ChunkCount c;
    std::size_t p = b;
    auto one = [&](std::size_t s) {
        bool start;
        if (s == origin)
            start = true;
        else
            start = t[s - 1] == '\n' || (t[s - 1] == '\r' && t[s] != '\n');
        if (!start)
            return;
        if (c.first == std::size_t(-1))
            c.first = s;
        ++c.lines;
        c.empty += IsBreakByte(t[s]);
    };
    if (p < e && p == origin) {
        one(p);
        ++p;
    }
#if defined(__SSE2__)
    // 64 bytes at a time: bit k of each mask stands for byte p + k; the
    // byte before p comes in as the carry.
    if (p + 64 <= e && p + 64 <= end) {
        std::uint64_t carryLf = t[p - 1] == '\n', carryCr = t[p - 1] == '\r';
        const __m128i lfv = _mm_set1_epi8('\n'), crv = _mm_set1_epi8('\r');
        for (; p + 64 <= e && p + 64 <= end; p += 64) {
            std::uint64_t lf = 0, cr = 0;
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + p + 16 * k));
                lf |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lfv)))) << (16 * k);
                cr |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, crv)))) << (16 * k);
            }
            const std::uint64_t prevLf = (lf << 1) | carryLf;
            const std::uint64_t prevCr = (cr << 1) | carryCr;
            const std::uint64_t starts = prevLf | (prevCr & ~lf);
            if (starts) {
                if (c.first == std::size_t(-1))
                    c.first = p + unsigned(std::countr_zero(starts));
                c.lines += BitCount(starts);
                c.empty += BitCount(starts & (lf | cr));
            }
            carryLf = lf >> 63;
            carryCr = cr >> 63;
        }
    }
#endif
    for (; p < e && p < end; ++p)
        one(p);
    return c;
}
} // namespace

bool LineList::Build(TextCheck check)
{
    const char* t = m_text.constData();
    const std::size_t end = std::size_t(m_text.size());
    const std::size_t origin = m_origin;
    m_marks.clear();
    m_lines = m_empties = 0;
    m_begin = origin;
    if (origin >= end)
        return true;
    const std::size_t chunks = (end - origin + kMarkBytes - 1) / kMarkBytes;
    std::vector<ChunkCount> counts(chunks);
    const TextKeeper* keeper = m_keeper.get();
    // Each half checks the characters that start in its chunks and counts
    // their lines, then lets their pages go.
    auto half = [&](std::size_t k0, std::size_t k1) -> bool {
        const std::size_t b = origin + k0 * kMarkBytes;
        ReleaseBehind behind(keeper, t + b);
        std::size_t checked = k0 == 0 ? origin : CharacterStart(t, b, end);
        for (std::size_t k = k0; k < k1; ++k) {
            const std::size_t cb = origin + k * kMarkBytes;
            const std::size_t ce = std::min(end, cb + kMarkBytes);
            if (check) {
                const std::size_t to = CharacterStart(t, ce, end);
                if (to > checked && !check(t + checked, t + to))
                    return false;
                checked = std::max(checked, to);
            }
            counts[k] = CountChunk(t, cb, ce, origin, end);
            behind.Passed(t + ce);
        }
        behind.Finish(t + std::min(end, origin + k1 * kMarkBytes));
        return true;
    };
    bool ok = true;
    if (end - origin >= kParallelIndexBytes && chunks >= 2) {
        const std::size_t mid = chunks / 2;
        bool second = true;
        InParallel([&] { ok = half(0, mid); }, [&] { second = half(mid, chunks); });
        ok = ok && second;
    } else {
        ok = half(0, chunks);
    }
    if (!ok)
        return false;
    // Mark k: the first line start at or after its chunk's first byte, and
    // what lies before that start.
    m_marks.resize(chunks);
    std::size_t lines = 0, empty = 0;
    for (std::size_t k = 0; k < chunks; ++k) {
        m_marks[k] = {0, lines, empty};
        lines += counts[k].lines;
        empty += counts[k].empty;
    }
    std::size_t next = end;
    for (std::size_t k = chunks; k-- > 0;) {
        if (counts[k].first != std::size_t(-1))
            next = counts[k].first;
        m_marks[k].start = next;
    }
    m_lines = lines;
    m_empties = empty;
    return true;
}

LineList LineList::FromUtf8(QByteArray utf8, std::shared_ptr<const TextKeeper> keeper, qsizetype skip)
{
    CheckTextSize(std::uint64_t(utf8.size()));
    LineList l;
    l.m_text = std::move(utf8);
    l.m_keeper = std::move(keeper);
    l.m_origin = std::size_t(std::clamp<qsizetype>(skip, 0, l.m_text.size()));
    l.Build(nullptr);
    return l;
}

std::optional<LineList> LineList::FromCheckedUtf8(QByteArray bytes, TextCheck check,
                                                  std::shared_ptr<const TextKeeper> keeper, qsizetype skip)
{
    CheckTextSize(std::uint64_t(bytes.size()));
    LineList l;
    l.m_text = std::move(bytes);
    l.m_keeper = std::move(keeper);
    l.m_origin = std::size_t(std::clamp<qsizetype>(skip, 0, l.m_text.size()));
    if (!l.Build(check))
        return std::nullopt;
    return l;
}

LineList LineList::FromText(QStringView text)
{
    return FromUtf8(text.toUtf8());
}

void LineList::Clear() noexcept
{
    m_text = QByteArray();
    m_keeper.reset();
    m_origin = 0;
    std::vector<Mark>().swap(m_marks);
    m_lines = m_empties = 0;
    m_begin = m_beginLines = m_beginEmpties = 0;
    m_skipEmpty = false;
    Forget();
    m_splitsAt = 0;
    m_indexed = false;
    m_starts.Clear();
    m_first = 0;
    m_empty = 0;
}

qsizetype LineList::Count() const noexcept
{
    if (m_indexed)
        return qsizetype(m_starts.size() - m_first);
    const std::size_t lines = m_lines - m_beginLines;
    return qsizetype(m_skipEmpty ? lines - (m_empties - m_beginEmpties) : lines);
}

qsizetype LineList::EmptyLineCount() const noexcept
{
    if (m_indexed)
        return m_empty;
    return m_skipEmpty ? 0 : qsizetype(m_empties - m_beginEmpties);
}

qsizetype LineList::IndexAt(const Mark& m) const noexcept
{
    const std::size_t lines = m.lines - m_beginLines;
    return qsizetype(m_skipEmpty ? lines - (m.empty - m_beginEmpties) : lines);
}

const char* LineList::LineStart(qsizetype i) const noexcept
{
    const char* t = m_text.constData();
    if (m_indexed)
        return t + m_starts[m_first + std::size_t(i)];
    const std::size_t end = std::size_t(m_text.size());
    // The nearest known line before line i: the last one reached, a mark,
    // or the first line.
    std::size_t s = m_begin;
    qsizetype at = 0;
    auto firstKept = std::lower_bound(m_marks.begin(), m_marks.end(), m_begin,
                                      [](const Mark& m, std::size_t v) { return m.start < v; });
    auto after = std::upper_bound(firstKept, m_marks.end(), i,
                                  [this](qsizetype v, const Mark& m) { return v < IndexAt(m); });
    if (after != firstKept) {
        const Mark& m = *(after - 1);
        s = m.start;
        at = IndexAt(m);
    }
    if (m_atIndex >= at && m_atIndex <= i) {
        s = m_atStart;
        at = m_atIndex;
    }
    if (m_skipEmpty)
        s = SkipEmptyLines(t, s, end);
    for (; at < i; ++at) {
        const std::size_t lineEnd = std::size_t(FindLineEnd(t + s, t + end) - t);
        if (lineEnd >= end) {
            s = end; // no line i: the text ends first
            break;
        }
        s = StartAfterBreak(t, lineEnd, end);
        if (m_skipEmpty)
            s = SkipEmptyLines(t, s, end);
    }
    m_atIndex = i;
    m_atStart = s;
    return t + s;
}

LineList::Walker LineList::Walk(qsizetype first, qsizetype count) const noexcept
{
    Walker w;
    w.m_text = m_text.constData();
    w.m_end = TextEnd();
    w.m_left = count > 0 ? count : 0;
    w.m_skipEmpty = m_skipEmpty;
    if (m_indexed)
        w.m_starts = m_starts.data() + m_first + std::size_t(first);
    w.m_p = w.m_left > 0 ? LineStart(first) : w.m_end;
    return w;
}

void LineList::BuildIndex()
{
    if (m_indexed)
        return;
    const qsizetype n = Count();
    const qsizetype empty = EmptyLineCount();
    PodArray<std::uint32_t> starts;
    starts.ResizeUninitialized(std::size_t(n));
    const char* t = m_text.constData();
    Walker w = Walk(0, n);
    for (qsizetype i = 0; i < n; ++i) {
        starts[std::size_t(i)] = std::uint32_t(w.Start() - t);
        w.Next(FindLineEnd(w.Start(), w.m_end));
    }
    m_starts = std::move(starts);
    m_first = 0;
    m_empty = empty;
    m_indexed = true;
    std::vector<Mark>().swap(m_marks);
    Forget();
}

void LineList::IndexFrom(std::size_t begin)
{
    const char* t = m_text.constData();
    const std::size_t end = std::size_t(m_text.size());
    if (begin >= end)
        return;
    const std::size_t base = m_starts.size();
    // Two halves split at a line start, each counted and then filled by its
    // own thread straight into the final array.
    std::size_t mid = end;
    if (end - begin >= kParallelIndexBytes) {
        const char* b = FindLineEnd(t + begin + (end - begin) / 2, t + end);
        if (b < t + end) {
            mid = std::size_t(b - t) + 1;
            if (*b == '\r' && mid < end && t[mid] == '\n')
                ++mid;
        }
    }
    const TextKeeper* keeper = m_keeper.get();
    if (mid >= end) {
        const std::size_t n = CountLineStarts(t, begin, end, keeper);
        m_starts.ResizeUninitialized(base + n);
        m_empty += qsizetype(FillLineStarts(t, begin, end, m_starts.data() + base, keeper));
        return;
    }
    std::size_t nA = 0, nB = 0;
    InParallel([&] { nA = CountLineStarts(t, begin, mid, keeper); },
               [&] { nB = CountLineStarts(t, mid, end, keeper); });
    m_starts.ResizeUninitialized(base + nA + nB);
    std::size_t emptyA = 0, emptyB = 0;
    std::uint32_t* out = m_starts.data() + base;
    InParallel([&] { emptyA = FillLineStarts(t, begin, mid, out, keeper); },
               [&] { emptyB = FillLineStarts(t, mid, end, out + nA, keeper); });
    m_empty += qsizetype(emptyA + emptyB);
}

std::string_view LineList::RawLine(qsizetype i) const
{
    const char* s = LineStart(i);
    return std::string_view(s, std::size_t(FindLineEnd(s, TextEnd()) - s));
}

QString TextOfUtf8(std::string_view utf8)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), qsizetype(utf8.size())));
}

QString LineList::Line(qsizetype i) const
{
    return TextOfUtf8(RawLine(i));
}

bool LineList::IsEmptyLine(qsizetype i) const noexcept
{
    const char* s = LineStart(i);
    return s == TextEnd() || *s == '\n' || *s == '\r';
}

void LineList::Delete(qsizetype i)
{
    if (i < 0 || i >= Count())
        throw Exception(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(i));
    m_splitsAt = 0;
    if (!m_indexed && i == 0) {
        // The header line: the kept lines start after it.
        const char* t = m_text.constData();
        const std::size_t end = std::size_t(m_text.size());
        std::size_t skipped = 0;
        const std::size_t s = m_skipEmpty ? SkipEmptyLines(t, m_begin, end, &skipped) : m_begin;
        const bool empty = s < end && IsBreakByte(t[s]);
        const std::size_t lineEnd = std::size_t(FindLineEnd(t + s, t + end) - t);
        m_begin = lineEnd < end ? StartAfterBreak(t, lineEnd, end) : end;
        m_beginLines += skipped + 1;
        m_beginEmpties += skipped + (empty ? 1 : 0);
        Forget();
        return;
    }
    BuildIndex();
    if (IsEmptyLine(i))
        --m_empty;
    if (i == 0)
        ++m_first; // no need to move ten million offsets
    else
        m_starts.Erase(m_first + std::size_t(i));
}

void LineList::RemoveEmptyLines()
{
    if (EmptyLineCount() == 0)
        return;
    m_splitsAt = 0;
    if (!m_indexed) {
        m_skipEmpty = true;
        Forget();
        return;
    }
    if (m_empty == 0)
        return;
    const char* t = m_text.constData();
    const char* end = TextEnd();
    std::uint32_t* s = m_starts.data();
    std::size_t w = m_first;
    for (std::size_t r = m_first; r < m_starts.size(); ++r) {
        const char* p = t + s[r];
        if (p < end && *p != '\n' && *p != '\r')
            s[w++] = s[r];
    }
    m_starts.Truncate(w);
    m_empty = 0;
}

void LineList::AppendText(QStringView text)
{
    // With its size: a text may hold U+0000, which is a character like any
    // other here and must not end the text.
    const QByteArray utf8 = text.toUtf8();
    AppendUtf8(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void LineList::AppendUtf8(std::string_view utf8)
{
    if (utf8.empty())
        return;
    m_splitsAt = 0;
    if (!m_indexed && m_text.isEmpty()) {
        *this = FromUtf8(QByteArray(utf8.data(), qsizetype(utf8.size())));
        return;
    }
    std::size_t begin = std::size_t(m_text.size());
    // The new text starts a line of its own.
    const bool needBreak = begin > 0 && m_text.back() != '\n';
    CheckTextSize(std::uint64_t(begin) + utf8.size() + (needBreak ? 1 : 0));
    BuildIndex();
    if (needBreak) {
        m_text.append('\n');
        ++begin;
    }
    // Appending to a mapped text makes a private copy, so the mapping can go.
    m_text.append(utf8.data(), qsizetype(utf8.size()));
    m_keeper.reset();
    IndexFrom(begin);
}

qsizetype LineList::SourceLineNumber(qsizetype i) const
{
    const char* t = m_text.constData();
    const std::size_t s = std::size_t(LineStart(i) - t);
    // From the last mark at or before the line, where the count is known.
    auto m = std::upper_bound(m_marks.begin(), m_marks.end(), s,
                              [](std::size_t v, const Mark& k) { return v < k.start; });
    if (m != m_marks.begin()) {
        --m;
        return qsizetype(m->lines + CountLineStarts(t, m->start, s)) + 1;
    }
    return qsizetype(CountLineStarts(t, m_origin, s)) + 1;
}
