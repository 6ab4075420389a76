#include "LineList.h"

#include "Exceptions.h"
#include "Parallel.h"

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
} // namespace

LineList LineList::FromUtf8(QByteArray utf8, std::shared_ptr<const TextKeeper> keeper, qsizetype skip)
{
    CheckTextSize(std::uint64_t(utf8.size()));
    LineList l;
    l.m_text = std::move(utf8);
    l.m_keeper = std::move(keeper);
    l.m_origin = std::size_t(std::clamp<qsizetype>(skip, 0, l.m_text.size()));
    l.IndexFrom(l.m_origin);
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
    m_starts.Clear();
    m_first = 0;
    m_origin = 0;
    m_empty = 0;
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

QString LineList::Line(qsizetype i) const
{
    const std::string_view v = RawLine(i);
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
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
    if (IsEmptyLine(i))
        --m_empty;
    if (i == 0)
        ++m_first; // the header line: no need to move ten million offsets
    else
        m_starts.Erase(m_first + std::size_t(i));
}

void LineList::RemoveEmptyLines()
{
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
    std::size_t begin = std::size_t(m_text.size());
    // The new text starts a line of its own.
    const bool needBreak = begin > 0 && m_text.back() != '\n';
    CheckTextSize(std::uint64_t(begin) + utf8.size() + (needBreak ? 1 : 0));
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
    return qsizetype(CountLineStarts(m_text.constData(), m_origin, m_starts[m_first + std::size_t(i)])) + 1;
}
