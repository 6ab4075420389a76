#include "TableFormat.h"

#include "CheckedMath.h"
#include "Exceptions.h"
#include "Parallel.h"

#include <QStringBuilder>

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

DecimalSeparator::DecimalSeparator(const NumberFormat& f)
{
    const char16_t c = f.decimalSeparator.unicode();
    if (c < 0x80) {
        m_bytes[0] = char(c);
        m_len = 1;
    } else if (c < 0x800) {
        m_bytes[0] = char(0xC0 | (c >> 6));
        m_bytes[1] = char(0x80 | (c & 0x3F));
        m_len = 2;
    } else if (c < 0xD800 || c > 0xDFFF) {
        m_bytes[0] = char(0xE0 | (c >> 12));
        m_bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
        m_bytes[2] = char(0x80 | (c & 0x3F));
        m_len = 3;
    }
    // A lone surrogate cannot occur in the text, so it matches nothing.
}

namespace {

constexpr int kNoDelimiter = -1;

inline bool IsDigit(char c) { return unsigned(c) - unsigned('0') < 10u; }
inline bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t kPow10U[] = {1,         10,         100,         1000,         10000,
                                     100000,    1000000,    10000000,    100000000};

// The value of eight ASCII digits (first digit in the lowest byte) after
// '0' has been subtracted from each byte, by combining pairs, then quads.
inline std::uint32_t EightDigits(std::uint64_t d)
{
    d = d * 10 + (d >> 8);
    constexpr std::uint64_t kMask = 0x000000FF000000FFull;
    constexpr std::uint64_t kMul1 = 100 + (1000000ull << 32);
    constexpr std::uint64_t kMul2 = 1 + (10000ull << 32);
    return std::uint32_t((((d & kMask) * kMul1) + (((d >> 16) & kMask) * kMul2)) >> 32);
}

// Reads a run of digits into m (m = m * 10 + digit for each), eight at a
// time while eight bytes are left. Digits past the 19th wrap m; the caller
// counts the digits and does not trust m then.
inline const char* ReadDigits(const char* p, const char* e, std::uint64_t& m)
{
    constexpr std::uint64_t kZeros = 0x3030303030303030ull;
    while (e - p >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        // The high bit of a byte is set where the byte is no digit; bytes
        // above the first such byte may be wrong, which does not matter.
        const std::uint64_t nonDigit = ((v + 0x4646464646464646ull) | (v - kZeros)) & 0x8080808080808080ull;
        if (nonDigit == 0) {
            m = m * kPow10U[8] + EightDigits(v - kZeros);
            p += 8;
            continue;
        }
        const int n = std::countr_zero(nonDigit) >> 3;
        if (n > 0)
            m = m * kPow10U[n] + EightDigits((v - kZeros) << (8 * (8 - n)));
        return p + n;
    }
    for (; p < e && IsDigit(*p); ++p)
        m = m * 10 + unsigned(*p - '0');
    return p;
}

// The value of a mantissa with digits [intB, intE) before the separator and
// [fracB, fracE) after it, times 10^exp, for the cases the exact fast path
// does not cover (more than 19 digits, large exponents). Returns false when
// the magnitude is beyond a double.
bool SlowValue(const char* intB, const char* intE, const char* fracB, const char* fracE, std::int64_t exp,
               bool negative, double& out)
{
    // The decimal exponent of the first significant digit tells an overflow
    // from an underflow when the reader reports the value out of range.
    std::int64_t leadExp = 0;
    const char* q = intB;
    while (q < intE && *q == '0')
        ++q;
    if (q < intE) {
        leadExp = (intE - q - 1) + exp;
    } else {
        q = fracB;
        while (q < fracE && *q == '0')
            ++q;
        if (q == fracE) {
            out = negative ? -0.0 : 0.0;
            return true;
        }
        leadExp = -(q - fracB + 1) + exp;
    }
    std::string buf;
    buf.reserve(std::size_t(intE - intB) + std::size_t(fracE - fracB) + 32);
    if (intB == intE)
        buf += '0';
    else
        buf.append(intB, intE);
    if (fracB != fracE) {
        buf += '.';
        buf.append(fracB, fracE);
    }
    buf += 'e';
    buf += std::to_string(exp);
    double v = 0;
    const auto r = std::from_chars(buf.data(), buf.data() + buf.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Out of range either way: too large is not a number, too small is 0.
        if (leadExp >= 0)
            return false;
        v = 0.0;
    } else if (r.ec != std::errc() || !std::isfinite(v)) {
        return false;
    }
    out = negative ? -v : v;
    return true;
}

// Reads a number from p, no further than e. A byte equal to `delimiter` ends
// the number (so a decimal separator that is also the delimiter never occurs
// inside an unquoted field). Returns the position after the number and its
// trailing blanks, or nullptr when the bytes cannot start a number; the
// caller decides whether the field ends there.
const char* ScanNumber(const char* p, const char* e, const DecimalSeparator& sep, int delimiter, double& out)
{
    while (p < e && *p == ' ')
        ++p;
    bool negative = false;
    if (p < e && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // The digits are gathered in m; with at most 19 of them m is exact.
    std::uint64_t m = 0;
    const char* intB = p;
    p = ReadDigits(p, e, m);
    const char* intE = p;
    const char* fracB = p;
    const char* fracE = p;
    bool hasSeparator = false;
    if (sep.Length() > 0 && p < e && *p == sep.First() && int(static_cast<unsigned char>(sep.First())) != delimiter
        && (sep.Length() == 1
            || (std::size_t(e - p) >= std::size_t(sep.Length()) && std::memcmp(p, sep.Bytes().data(), sep.Bytes().size()) == 0))) {
        hasSeparator = true;
        p += sep.Length();
        fracB = p;
        p = ReadDigits(p, e, m);
        fracE = p;
    }
    if (intB == intE && !hasSeparator)
        return nullptr; // no mantissa
    std::int64_t exp = 0;
    if (p < e && (*p == 'e' || *p == 'E')) [[unlikely]] {
        ++p;
        bool expNegative = false;
        if (p < e && (*p == '+' || *p == '-')) {
            expNegative = *p == '-';
            ++p;
        }
        for (; p < e && IsDigit(*p); ++p)
            if (exp < 1'000'000'000'000'000) // saturates far beyond any double
                exp = exp * 10 + (*p - '0');
        if (expNegative)
            exp = -exp;
    }
    while (p < e && *p == ' ')
        ++p;

    const std::ptrdiff_t digits = (intE - intB) + (fracE - fracB);
    if (digits <= 19) [[likely]] {
        if (m == 0) {
            out = negative ? -0.0 : 0.0;
            return p;
        }
        const std::int64_t e10 = exp - (fracE - fracB);
        if (m <= (std::uint64_t(1) << 53) && e10 >= -22 && e10 <= 22) {
            // Both operands are exact doubles, so one rounding gives the
            // correctly rounded value.
            const double v = e10 >= 0 ? double(m) * kPow10[e10] : double(m) / kPow10[-e10];
            out = negative ? -v : v;
            return p;
        }
    }
    double v;
    if (!SlowValue(intB, intE, fracB, fracE, exp, negative, v))
        return nullptr;
    out = v;
    return p;
}

// A quoted field starting at the opening quote p. The content goes to
// `content` (a view into the line when no doubled quote needs collapsing,
// else into buf).
struct QuotedField {
    std::string_view content;
    const char* next;
    bool hasNext;
};
QuotedField ReadQuoted(const char* p, const char* te, char delimiter, std::string& buf)
{
    const char* cs = p + 1; // start of the not yet copied content
    bool copied = false;
    buf.clear();
    for (const char* q = cs;; ++q) {
        if (q == te || IsLineBreak(*q)) {
            // An unclosed quote runs to the end of the line.
            if (!copied)
                return {std::string_view(cs, std::size_t(q - cs)), q, false};
            buf.append(cs, q);
            return {buf, q, false};
        }
        if (*q != '"')
            continue;
        if (q + 1 < te && q[1] == '"') {
            buf.append(cs, q + 1); // the pair stands for one quote
            copied = true;
            cs = q + 2;
            ++q;
            continue;
        }
        std::string_view content;
        if (!copied) {
            content = std::string_view(cs, std::size_t(q - cs));
        } else {
            buf.append(cs, q);
            content = buf;
        }
        const char* after = q + 1;
        if (after < te && *after == delimiter)
            return {content, after + 1, true};
        if (after == te || IsLineBreak(*after))
            return {content, after, false};
        return {content, after, true}; // text up to the next delimiter is a field of its own
    }
}

// The end of an unquoted field: the next delimiter or line break.
inline const char* FieldEnd(const char* p, const char* te, char delimiter)
{
    while (p < te && *p != delimiter && !IsLineBreak(*p))
        ++p;
    return p;
}

// Walks a line field by field.
class FieldCursor {
public:
    FieldCursor(const char* p, const char* te, char delimiter) : m_p(p), m_te(te), m_delimiter(delimiter) {}
    bool Next(std::string_view& field, std::string& buf)
    {
        if (m_done)
            return false;
        if (m_p < m_te && *m_p == '"') {
            const QuotedField q = ReadQuoted(m_p, m_te, m_delimiter, buf);
            field = q.content;
            m_p = q.next;
            m_done = !q.hasNext;
            return true;
        }
        const char* end = FieldEnd(m_p, m_te, m_delimiter);
        field = std::string_view(m_p, std::size_t(end - m_p));
        if (end < m_te && *end == m_delimiter) {
            m_p = end + 1;
        } else {
            m_p = end;
            m_done = true;
        }
        return true;
    }
    bool HasNext() const { return !m_done; }

private:
    const char* m_p;
    const char* m_te;
    char m_delimiter;
    bool m_done = false;
};

#if defined(__SSE2__)
// The value of `len` (1 to 15) ASCII digits at s; s + 16 must be readable.
inline std::uint64_t DigitsValue(const char* s, int len) noexcept
{
    constexpr std::uint64_t kZeros = 0x3030303030303030ull;
    std::uint64_t a;
    if (len <= 8) {
        std::memcpy(&a, s, 8);
        return EightDigits((a - kZeros) << (8 * (8 - len)));
    }
    const int head = len - 8;
    std::uint64_t b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + head, 8);
    return std::uint64_t(EightDigits((a - kZeros) << (8 * (8 - head)))) * kPow10U[8] + EightDigits(b - kZeros);
}

// The common field of a large table read at once: an optional sign, digits
// with at most one (single-byte) decimal separator between or after them,
// and right after them the delimiter or a line break, all within 16 bytes
// (so at most 15 digits, whose value a double holds exactly). Gives the same
// double as ScanNumber: the digits' value divided by a power of ten that a
// double holds exactly is rounded once. Returns the byte after the number,
// or nullptr when the field has another shape; `p + 32` must be readable.
inline const char* FastNumber(const char* p, char sepByte, char delimiter, double& out) noexcept
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const unsigned digits = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d)));
    const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(delimiter)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
    const unsigned terms = unsigned(_mm_movemask_epi8(ends));
    if (terms == 0)
        return nullptr;
    const int t = std::countr_zero(terms);
    const bool negative = *p == '-';
    const int first = (negative || *p == '+') ? 1 : 0;
    const unsigned body = ((1u << t) - 1u) & ~((1u << first) - 1u);
    const unsigned other = body & ~digits;
    int sepAt = t;
    if (other) {
        // Exactly one byte that is no digit, and that one the separator.
        if (other & (other - 1))
            return nullptr;
        sepAt = std::countr_zero(other);
        if (p[sepAt] != sepByte)
            return nullptr;
    }
    const int intLen = sepAt - first;
    const int fracLen = sepAt < t ? t - sepAt - 1 : 0; // kPow10[fracLen] is a whole number a double holds
    if (intLen + fracLen == 0)
        return nullptr;
    std::uint64_t m = intLen > 0 ? DigitsValue(p + first, intLen) : 0;
    if (fracLen > 0)
        m = m * std::uint64_t(kPow10[fracLen]) + DigitsValue(p + sepAt + 1, fracLen);
    const double value = fracLen > 0 ? double(m) / kPow10[fracLen] : double(m);
    out = negative ? -value : value;
    return p + t;
}
#endif

// One field of the scan: whether it is a number, and where the next begins.
struct NumberField {
    const char* next;
    bool hasNext;
    bool isNumber;
    double value;
};
inline NumberField ReadNumberField(const char* p, const char* te, char delimiter, const DecimalSeparator& sep,
                                   std::string& buf)
{
    NumberField f{p, false, false, 0.0};
    if (p < te && *p == '"') {
        const QuotedField q = ReadQuoted(p, te, delimiter, buf);
        const char* b = q.content.data();
        const char* e = b + q.content.size();
        f.isNumber = ScanNumber(b, e, sep, kNoDelimiter, f.value) == e && b != e;
        f.next = q.next;
        f.hasNext = q.hasNext;
        return f;
    }
#if defined(__SSE2__)
    if (te - p >= 32 && sep.Length() == 1) {
        if (const char* end = FastNumber(p, sep.First(), delimiter, f.value)) {
            f.isNumber = true;
            if (*end == delimiter) {
                f.next = end + 1;
                f.hasNext = true;
            } else {
                f.next = end;
            }
            return f;
        }
    }
#endif
    const char* end = ScanNumber(p, te, sep, delimiter, f.value);
    if (end && (end == te || *end == delimiter || IsLineBreak(*end))) {
        f.isNumber = true;
    } else {
        end = FieldEnd(end ? end : p, te, delimiter);
    }
    if (end < te && *end == delimiter) {
        f.next = end + 1;
        f.hasNext = true;
    } else {
        f.next = end;
    }
    return f;
}

struct ScanPart {
    qsizetype begin = 0, end = 0;
    qsizetype rows = 0;
    qsizetype badLine = -1;
    // The first lines of the part that were no data row.
    qsizetype firstSkipped[TableScan::kNotedSkips] = {};
    int notedSkips = 0;
    double maxX = -1.0e50, maxY = -1.0e50;
    std::exception_ptr error;
};

// Scans the part's lines. `earlierFailed` is set by the part before this
// one when it meets a bad line; this part's results are moot then.
void ScanLines(LineList::Walker w, char delimiter, bool swapXY, const DecimalSeparator& sep, const char* te,
               const TextKeeper* keeper, ScanPart& part, double* xs, double* ys,
               const std::atomic<bool>* earlierFailed, std::atomic<bool>* failed) noexcept
{
    try {
        std::string buf;
        double maxX = part.maxX, maxY = part.maxY;
        qsizetype rows = 0;
        ReleaseBehind behind(keeper, w.Start());
        const char* last = nullptr;
        for (qsizetype i = part.begin; !w.Done(); ++i) {
            const char* p = w.Start();
            if ((i & 4095) == 0) {
                if (earlierFailed && earlierFailed->load(std::memory_order_relaxed))
                    break;
                behind.Passed(p);
            }
            last = p;
            if (p == te || IsLineBreak(*p)) {
                part.badLine = i; // an empty line has no field at all
                break;
            }
            const NumberField a = ReadNumberField(p, te, delimiter, sep, buf);
            if (!a.hasNext) {
                part.badLine = i;
                break;
            }
            const NumberField b = ReadNumberField(a.next, te, delimiter, sep, buf);
            const NumberField& fx = swapXY ? b : a;
            const NumberField& fy = swapXY ? a : b;
            if (fx.isNumber && std::fabs(fx.value) > maxX)
                maxX = std::fabs(fx.value);
            if (fy.isNumber && std::fabs(fy.value) > maxY)
                maxY = std::fabs(fy.value);
            if (!b.hasNext) {
                if (fx.isNumber && fy.isNumber) {
                    xs[rows] = fx.value;
                    ys[rows] = fy.value;
                    ++rows;
                } else if (part.notedSkips < TableScan::kNotedSkips) {
                    part.firstSkipped[part.notedSkips++] = i;
                }
                w.Next(b.next); // the field ends at the line's end
            } else {
                if (part.notedSkips < TableScan::kNotedSkips)
                    part.firstSkipped[part.notedSkips++] = i;
                w.Next(linelist_detail::FindLineEnd(b.next, te));
            }
        }
        if (last)
            behind.Finish(last);
        part.maxX = maxX;
        part.maxY = maxY;
        part.rows = rows;
    } catch (...) {
        part.error = std::current_exception();
    }
    if (failed && (part.error || part.badLine >= 0))
        failed->store(true, std::memory_order_relaxed);
}

// A list of n doubles for the scan to fill: a recycled buffer when it is
// ours alone and large enough, else a new one left uninitialised.
QList<double> ColumnBuffer(QList<double>&& recycled, qsizetype n)
{
    if (recycled.capacity() >= n && recycled.isDetached()) {
        recycled.resize(n);
        return std::move(recycled);
    }
    recycled = QList<double>();
    QArrayDataPointer<double> d(QTypedArrayData<double>::allocate(n));
    if (n > 0 && !d.data())
        throw std::bad_alloc();
    d.size = n;
    return QList<double>(std::move(d));
}

QString LineForMessage(const LineList& lines, qsizetype i)
{
    constexpr qsizetype kMaxShown = 40;
    QString t = lines.Line(i);
    if (t.size() > kMaxShown)
        t = t.left(kMaxShown) + u'…';
    return t;
}

} // namespace

std::optional<double> ParseNumber(std::string_view field, const DecimalSeparator& sep)
{
    const char* b = field.data();
    const char* e = b + field.size();
    double v = 0;
    if (b == e || ScanNumber(b, e, sep, kNoDelimiter, v) != e)
        return std::nullopt;
    return v;
}

std::optional<double> ParseNumber(QStringView field, const NumberFormat& f)
{
    const QByteArray utf8 = field.toUtf8();
    return ParseNumber(std::string_view(utf8.constData(), std::size_t(utf8.size())), DecimalSeparator(f));
}

char ChooseDelimiter(std::string_view firstLine) noexcept
{
    return firstLine.find('\t') != std::string_view::npos ? '\t' : ',';
}

char ChooseDelimiter(const LineList& lines)
{
    for (qsizetype i = 0; i < lines.Count(); ++i)
        if (!lines.IsEmptyLine(i))
            return ChooseDelimiter(lines.RawLine(i));
    return ',';
}

QStringList SplitFields(std::string_view line, char delimiter)
{
    QStringList out;
    if (line.empty())
        return out;
    std::string buf;
    std::string_view f;
    FieldCursor c(line.data(), line.data() + line.size(), delimiter);
    while (c.Next(f, buf))
        out.append(TextOfUtf8(f));
    return out;
}

QStringList SplitFields(QStringView line, char delimiter)
{
    const QByteArray utf8 = line.toUtf8();
    return SplitFields(std::string_view(utf8.constData(), std::size_t(utf8.size())), delimiter);
}

std::optional<ColumnNames> HeaderRow(const LineList& lines, char delimiter, const NumberFormat& f)
{
    if (lines.IsEmpty() || lines.IsEmptyLine(0))
        return std::nullopt;
    const std::string_view line = lines.RawLine(0);
    FieldCursor c(line.data(), line.data() + line.size(), delimiter);
    std::string buf1, buf2;
    std::string_view first, second;
    c.Next(first, buf1);
    if (!c.Next(second, buf2) || ParseNumber(first, DecimalSeparator(f)))
        return std::nullopt;
    return ColumnNames{TextOfUtf8(first), TextOfUtf8(second)};
}

TableScan ScanTable(const LineList& lines, char delimiter, bool swapXY, const NumberFormat& f,
                    QList<double> recycleX, QList<double> recycleY)
{
    // Below this many lines a second thread costs more than it saves.
    constexpr qsizetype kParallelLines = 65536;

    const DecimalSeparator sep(f);
    const qsizetype n = lines.Count();
    TableScan scan;
    // Row k of a part is written at (part begin + k), so each part fills the
    // final arrays directly; the second part's rows move down afterwards if
    // the first one had lines that were no data rows.
    QList<double> xs = ColumnBuffer(std::move(recycleX), n);
    QList<double> ys = ColumnBuffer(std::move(recycleY), n);
    double* xp = xs.data();
    double* yp = ys.data();

    const char* te = lines.TextEnd();
    const TextKeeper* keeper = lines.Keeper();
    ScanPart a, b;
    a.begin = 0;
    a.end = n;
    if (n >= kParallelLines) {
        a.end = n / 2;
        b.begin = a.end;
        b.end = n;
        std::atomic<bool> aFailed{false};
        // Both walkers are made here: finding where a part starts uses the
        // list's own memory of the last line reached.
        const LineList::Walker wa = lines.Walk(a.begin, a.end - a.begin);
        const LineList::Walker wb = lines.Walk(b.begin, b.end - b.begin);
        InParallel([&] { ScanLines(wa, delimiter, swapXY, sep, te, keeper, a, xp, yp, nullptr, &aFailed); },
                   [&] {
                       ScanLines(wb, delimiter, swapXY, sep, te, keeper, b, xp + b.begin, yp + b.begin, &aFailed,
                                 nullptr);
                   });
    } else {
        ScanLines(lines.Walk(0, n), delimiter, swapXY, sep, te, keeper, a, xp, yp, nullptr, nullptr);
    }

    for (const ScanPart* part : {&a, &b}) {
        if (part->error)
            std::rethrow_exception(part->error);
        if (part->badLine >= 0) {
            const qsizetype i = part->badLine;
            const QString where = QString::number(lines.SourceLineNumber(i));
            if (lines.IsEmptyLine(i))
                throw EConvertError(QStringLiteral("%1 行目が空行です").arg(where));
            throw EConvertError(QStringLiteral("%1 行目 \"%2\" は項目が 1 つしかありません (区切り文字: %3)")
                                    .arg(where, LineForMessage(lines, i),
                                         delimiter == '\t' ? QStringLiteral("タブ") : QStringLiteral("カンマ")));
        }
        if (part->end == n)
            break;
    }

    lines.NoteEveryLineSplits(delimiter);
    const qsizetype rows = a.rows + b.rows;
    if (b.rows > 0 && a.rows != b.begin) {
        std::memmove(xp + a.rows, xp + b.begin, std::size_t(b.rows) * sizeof(double));
        std::memmove(yp + a.rows, yp + b.begin, std::size_t(b.rows) * sizeof(double));
    }
    xs.resize(rows);
    ys.resize(rows);
    scan.maxX = std::max(a.maxX, b.maxX);
    scan.maxY = std::max(a.maxY, b.maxY);
    scan.skipped = n - rows;
    for (const ScanPart* part : {&a, &b})
        for (int k = 0; k < part->notedSkips && scan.firstSkipped.size() < TableScan::kNotedSkips; ++k)
            scan.firstSkipped.append(part->firstSkipped[k]);
    scan.xs = std::move(xs);
    scan.ys = std::move(ys);
    return scan;
}

SkippedLine ExplainSkippedLine(QStringView line, char delimiter, const NumberFormat& f)
{
    const QStringList fields = SplitFields(line, delimiter);
    SkippedLine out;
    out.fieldCount = int(fields.size());
    if (fields.size() < 2) {
        out.reason = SkipReason::TooFewFields;
        return out;
    }
    if (fields.size() > 2) {
        out.reason = SkipReason::TooManyFields;
        out.field = 2;
        return out;
    }
    for (int i = 0; i < 2; ++i) {
        const QString& field = fields[i];
        if (ParseNumber(QStringView(field), f))
            continue;
        out.field = i;
        QString withoutGroups = field;
        withoutGroups.remove(f.thousandsSeparator);
        if (std::all_of(field.cbegin(), field.cend(), [](QChar c) { return c == u' '; }))
            out.reason = SkipReason::EmptyField;
        else if (withoutGroups != field && !withoutGroups.trimmed().isEmpty()
                 && ParseNumber(QStringView(withoutGroups), f))
            out.reason = SkipReason::ThousandsSeparator;
        else
            out.reason = SkipReason::NotANumber;
        return out;
    }
    // Both fields are numbers: the line is a data row after all.
    out.field = -1;
    return out;
}

void ScaleColumns(QList<double>& xs, QList<double>& ys, double xmag, double ymag)
{
    const qsizetype n = std::min(xs.size(), ys.size());
    double* x = xs.data();
    double* y = ys.data();
    constexpr double kMax = std::numeric_limits<double>::max();
    constexpr qsizetype kBlock = 4096;
    for (qsizetype b = 0; b < n; b += kBlock) {
        const qsizetype e = std::min(n, b + kBlock);
        // Non-finite products show as a failed comparison (NaN included).
        bool ok = true;
        if (xmag != 1.0) {
            double worst = 0;
            for (qsizetype i = b; i < e; ++i) {
                x[i] *= xmag;
                worst = std::max(worst, std::fabs(x[i]));
            }
            ok = worst <= kMax;
        }
        if (ymag != 1.0) {
            double worst = 0;
            for (qsizetype i = b; i < e; ++i) {
                y[i] *= ymag;
                worst = std::max(worst, std::fabs(y[i]));
            }
            ok = ok && worst <= kMax;
        }
        if (!ok) {
            qsizetype i = b;
            while (std::isfinite(x[i]) && std::isfinite(y[i]))
                ++i;
            xs.resize(i);
            ys.resize(i);
            throw EOverflow(checked::kOverflow);
        }
    }
}

ValueRange MinMax(const QList<double>& values)
{
    const double* v = values.constData();
    const qsizetype n = values.size();
    if (n == 0)
        throw Exception(QStringLiteral("値がありません"));
    // Four independent lanes keep the comparisons from waiting on each other.
    double lo[4] = {v[0], v[0], v[0], v[0]};
    double hi[4] = {v[0], v[0], v[0], v[0]};
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4)
        for (int k = 0; k < 4; ++k) {
            lo[k] = v[i + k] < lo[k] ? v[i + k] : lo[k];
            hi[k] = v[i + k] > hi[k] ? v[i + k] : hi[k];
        }
    for (; i < n; ++i) {
        lo[0] = v[i] < lo[0] ? v[i] : lo[0];
        hi[0] = v[i] > hi[0] ? v[i] : hi[0];
    }
    return {std::min({lo[0], lo[1], lo[2], lo[3]}), std::max({hi[0], hi[1], hi[2], hi[3]})};
}
