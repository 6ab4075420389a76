#include "TextDecoding.h"

#include "AnsiCodec.h"
#include "Exceptions.h"

#include <cstring>

namespace TextDecoding {

namespace {

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the bytes
// there are not one; `bad` then receives the length of the maximal invalid
// subpart to replace by one U+FFFD.
int SequenceLength(const unsigned char* p, const unsigned char* e, int& bad)
{
    const unsigned char c = p[0];
    bad = 1;
    if (c < 0x80)
        return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (e - p < 2 || p[1] < lo || p[1] > hi)
        return 0;
    for (int k = 2; k < len; ++k) {
        bad = k;
        if (e - p <= k || !IsContinuation(p[k]))
            return 0;
    }
    return len;
}

void AppendReplacement(QByteArray& out) { out.append("\xEF\xBF\xBD", 3); }

void CheckDecodedSize(qsizetype n, std::uint64_t maxBytes)
{
    if (std::uint64_t(n) > maxBytes)
        ThrowTextTooLarge(maxBytes);
}

QByteArray LenientUtf8(const unsigned char* p, const unsigned char* e, std::uint64_t maxBytes)
{
    // Valid bytes are kept and each invalid one grows, so the text is at
    // least as long as the input.
    CheckDecodedSize(e - p, maxBytes);
    QByteArray out;
    out.reserve((e - p) + 16);
    while (p < e) {
        const unsigned char* run = p;
        int bad = 1;
        int len;
        while (p < e && (len = SequenceLength(p, e, bad)) > 0)
            p += len;
        out.append(reinterpret_cast<const char*>(run), p - run);
        if (p < e) {
            AppendReplacement(out);
            p += bad;
            CheckDecodedSize(out.size() + (e - p), maxBytes);
        }
    }
    return out;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    char b[4];
    int n;
    if (c < 0x80) {
        b[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        b[0] = char(0xC0 | (c >> 6));
        b[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        b[0] = char(0xE0 | (c >> 12));
        b[1] = char(0x80 | ((c >> 6) & 0x3F));
        b[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        b[0] = char(0xF0 | (c >> 18));
        b[1] = char(0x80 | ((c >> 12) & 0x3F));
        b[2] = char(0x80 | ((c >> 6) & 0x3F));
        b[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    out.append(b, n);
}

QByteArray Utf16ToUtf8(const unsigned char* p, const unsigned char* e, bool bigEndian, std::uint64_t maxBytes)
{
    const std::size_t units = std::size_t(e - p) / 2;
    CheckDecodedSize(qsizetype(units), maxBytes); // every unit gives at least one byte
    QByteArray out;
    out.reserve(qsizetype(units * 3 / 2 + 16)); // mostly one or three bytes a unit
    auto unit = [&](std::size_t i) -> char16_t {
        const unsigned char a = p[2 * i], b = p[2 * i + 1];
        return bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (u < 0x80) {
            out.append(char(u));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(unit(i + 1)) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendReplacement(out); // an unpaired surrogate
        } else {
            AppendUtf8(out, u);
        }
    }
    if ((e - p) % 2)
        AppendReplacement(out); // a stray last byte
    CheckDecodedSize(out.size(), maxBytes);
    return out;
}

QByteArray Cp932ToUtf8(const unsigned char* p, const unsigned char* e, std::uint64_t maxBytes)
{
    AnsiCodec::Utf8Result r = AnsiCodec::DecodeToUtf8(reinterpret_cast<const char*>(p), std::size_t(e - p), maxBytes);
    if (!r.converted)
        return LenientUtf8(p, e, maxBytes); // no converter installed: keep what is readable
    if (r.tooLarge)
        ThrowTextTooLarge(maxBytes);
    return std::move(r.text);
}

} // namespace

[[noreturn]] void ThrowTextTooLarge(std::uint64_t limit)
{
    throw EReadError(QStringLiteral("テキストが大きすぎます (上限は %1 バイト)").arg(limit));
}

bool IsValidUtf8Serial(const unsigned char* p, const unsigned char* e) noexcept
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    while (p < e) {
        // ASCII runs sixteen bytes at a time.
        while (e - p >= 16) {
            std::uint64_t a, b;
            std::memcpy(&a, p, 8);
            std::memcpy(&b, p + 8, 8);
            if ((a | b) & kHigh)
                break;
            p += 16;
        }
        if (p == e)
            break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int bad;
        const int len = SequenceLength(p, e, bad);
        if (len == 0)
            return false;
        p += len;
    }
    return true;
}

bool StartsWith(const unsigned char* p, std::size_t n, const char* mark, std::size_t m)
{
    return n >= m && std::memcmp(p, mark, m) == 0;
}

std::size_t Utf8BomLength(const char* p, std::size_t n)
{
    return StartsWith(reinterpret_cast<const unsigned char*>(p), n, "\xEF\xBB\xBF", 3) ? 3 : 0;
}

QByteArray DecodeWithDetection(const char* data, std::size_t n, std::uint64_t maxBytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* e = p + n;
    if (StartsWith(p, n, "\xEF\xBB\xBF", 3))
        return LenientUtf8(p + 3, e, maxBytes);
    if (StartsWith(p, n, "\xFF\xFE", 2))
        return Utf16ToUtf8(p + 2, e, false, maxBytes);
    if (StartsWith(p, n, "\xFE\xFF", 2))
        return Utf16ToUtf8(p + 2, e, true, maxBytes);
    return Cp932ToUtf8(p, e, maxBytes);
}

} // namespace TextDecoding
