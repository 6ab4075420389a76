#include "AnsiCodec.h"

#include <cerrno>
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

QString Decode(const QByteArray& bytes)
{
    // CP932 agrees with ASCII below 0x80, which covers most settings files.
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);

    Converter cv("UTF-8", kCodePage);
    if (!cv.ok())
        return QString::fromLatin1(bytes);

    // One CP932 byte yields at most three UTF-8 bytes (half-width katakana,
    // or U+FFFD for a bad byte); two CP932 bytes never yield more than three.
    QByteArray out(bytes.size() * 3 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());

    while (inLeft > 0) {
        if (iconv(cv.get(), &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Not CP932 here (or cut off at the end): replace one byte.
            static const char replacement[] = "\xEF\xBF\xBD";
            if (outLeft < 3)
                break; // cannot happen with the size above
            for (int i = 0; i < 3; ++i)
                *dst++ = replacement[i];
            outLeft -= 3;
            ++in;
            --inLeft;
            iconv(cv.get(), nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        break; // E2BIG: cannot happen with the size above
    }
    iconv(cv.get(), nullptr, nullptr, &dst, &outLeft);
    out.truncate(dst - out.data());
    return QString::fromUtf8(out);
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
