#include "AnsiCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr const char* kCodePage = "CP932";

// One iconv conversion descriptor, closed on every path out.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

bool IsAscii(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool IsAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

namespace AnsiCodec {

Utf8Result DecodeToUtf8(const char* p, std::size_t n, std::size_t maxBytes)
{
    Utf8Result result;
    Converter cv("UTF-8", kCodePage);
    if (!cv.ok()) {
        result.converted = false;
        return result;
    }
    // No character becomes shorter (ASCII stays one byte, a double-byte
    // character becomes three), so the input size is a lower bound.
    if (n > maxBytes) {
        result.tooLarge = true;
        return result;
    }
    QByteArray& out = result.text;
    out.resize(qsizetype(std::min(maxBytes, n + n / 2 + 16)));
    char* in = const_cast<char*>(p);
    std::size_t inLeft = n;
    std::size_t used = 0;
    auto grow = [&](std::size_t need) {
        if (used + need > maxBytes || out.size() == qsizetype(maxBytes))
            return false;
        out.resize(qsizetype(std::min(maxBytes, std::max(used + need, std::size_t(out.size()) * 3 / 2 + 16))));
        return true;
    };
    while (inLeft > 0) {
        char* dst = out.data() + used;
        std::size_t outLeft = std::size_t(out.size()) - used;
        const std::size_t r = iconv(cv.get(), &in, &inLeft, &dst, &outLeft);
        used = std::size_t(dst - out.data());
        if (r != std::size_t(-1))
            break;
        if (errno == E2BIG) {
            if (!grow(16)) {
                result.tooLarge = true;
                out.clear();
                return result;
            }
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // Not CP932 here (or cut off at the end): one replacement, then go
        // on after the sequence's first byte.
        if (std::size_t(out.size()) - used < 3 && !grow(3)) {
            result.tooLarge = true;
            out.clear();
            return result;
        }
        std::memcpy(out.data() + used, "\xEF\xBF\xBD", 3);
        used += 3;
        result.replaced = true;
        ++in;
        --inLeft;
        iconv(cv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(qsizetype(used));
    return result;
}

QString Decode(const QByteArray& bytes, bool* replaced)
{
    if (replaced)
        *replaced = false;
    // CP932 agrees with ASCII below 0x80, which covers most settings files.
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    const Utf8Result r = DecodeToUtf8(bytes.constData(), std::size_t(bytes.size()));
    if (replaced)
        *replaced = r.replaced;
    return r.converted ? QString::fromUtf8(r.text) : QString::fromLatin1(bytes);
}

std::optional<QString> DecodeStrict(const QByteArray& bytes)
{
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    const Utf8Result r = DecodeToUtf8(bytes.constData(), std::size_t(bytes.size()));
    if (!r.converted || r.replaced)
        return std::nullopt;
    return QString::fromUtf8(r.text);
}

std::optional<QByteArray> EncodeExact(const QString& text)
{
    if (IsAscii(text))
        return text.toLatin1();

    Converter cv(kCodePage, "UTF-8");
    if (!cv.ok())
        return std::nullopt;

    QByteArray utf8 = text.toUtf8();
    // A character takes at least as many bytes in UTF-8 as in CP932.
    QByteArray out(utf8.size() + 16, Qt::Uninitialized);
    char* in = utf8.data();
    size_t inLeft = size_t(utf8.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());
    if (iconv(cv.get(), &in, &inLeft, &dst, &outLeft) == size_t(-1))
        return std::nullopt;
    if (iconv(cv.get(), nullptr, nullptr, &dst, &outLeft) == size_t(-1))
        return std::nullopt;
    out.truncate(dst - out.data());

    // Several Unicode characters share one CP932 code; only an exact round
    // trip keeps the text the user stored.
    if (Decode(out) != text)
        return std::nullopt;
    return out;
}

} // namespace AnsiCodec
