#include "AnsiText.h"

#include <cerrno>
#include <iconv.h>

namespace metafile {
namespace {

// The code page of a GDI character set. The default character set stands
// for the system's ANSI code page, which for this program is Japanese.
const char* CodePage(unsigned charset, bool& doubleByte)
{
    doubleByte = false;
    switch (charset) {
    case 0: return "CP1252";   // ANSI_CHARSET
    case 2: return nullptr;    // SYMBOL_CHARSET: bytes are glyph positions
    case 77: return "MACINTOSH";
    case 128: case 1: doubleByte = true; return "CP932"; // SHIFTJIS_CHARSET, DEFAULT_CHARSET
    case 129: doubleByte = true; return "CP949";   // HANGUL_CHARSET
    case 134: doubleByte = true; return "GBK";     // GB2312_CHARSET
    case 136: doubleByte = true; return "BIG5";    // CHINESEBIG5_CHARSET
    case 161: return "CP1253";
    case 162: return "CP1254";
    case 163: return "CP1258";
    case 177: return "CP1255";
    case 178: return "CP1256";
    case 186: return "CP1257";
    case 204: return "CP1251";
    case 222: return "CP874";
    case 238: return "CP1250";
    default: return "CP1252";
    }
}

bool LeadByte(unsigned charset, std::uint8_t b)
{
    if (charset == 128 || charset == 1)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return b >= 0x81 && b <= 0xFE;
}

class Iconv {
public:
    explicit Iconv(const char* from) : m_cd(iconv_open("UTF-16LE", from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // One character's bytes to UTF-16 units; empty when not convertible.
    QString Convert(const std::uint8_t* p, std::size_t n)
    {
        char16_t out[8];
        char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(p));
        std::size_t inLeft = n;
        char* dst = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &in, &inLeft, &dst, &outLeft) == std::size_t(-1) || inLeft != 0)
            return {};
        // The Hebrew and Vietnamese converters hold a letter back in case a
        // combining mark follows; each character is decoded alone, so it is
        // let out at once.
        if (iconv(m_cd, nullptr, nullptr, &dst, &outLeft) == std::size_t(-1))
            return {};
        return QString::fromUtf16(out, qsizetype((sizeof out - outLeft) / 2));
    }

private:
    iconv_t m_cd;
};

} // namespace

QString DecodeAnsi(const std::uint8_t* p, std::size_t n, unsigned charset, std::vector<int>* bytesPerChar)
{
    bool doubleByte = false;
    const char* page = CodePage(charset, doubleByte);
    QString out;
    out.reserve(qsizetype(n));
    if (bytesPerChar)
        bytesPerChar->clear();
    auto put = [&](const QString& s, int bytes) {
        for (qsizetype i = 0; i < s.size(); ++i) {
            out.append(s.at(i));
            if (bytesPerChar)
                bytesPerChar->push_back(i == 0 ? bytes : 0);
        }
    };
    Iconv cv(page ? page : "CP1252");
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t b = p[i];
        const int len = (doubleByte && LeadByte(charset, b) && i + 1 < n) ? 2 : 1;
        if (b < 0x80 || !page || !cv.ok()) {
            put(QString(QChar(char16_t(b))), 1); // ASCII, symbol positions and an absent converter: Latin-1
        } else {
            const QString s = cv.Convert(p + i, std::size_t(len));
            put(s.isEmpty() ? QString(QChar(QChar::ReplacementCharacter)) : s, len);
        }
        i += std::size_t(len);
    }
    return out;
}

} // namespace metafile
