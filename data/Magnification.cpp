#include "Magnification.h"

#include "CheckedMath.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The 15 significant digits, correctly rounded, with a full stop, an upper-
// case "E" and an exponent of at least two digits. to_chars, unlike printf,
// does not follow the C library's locale, which the GUI toolkit sets from the
// environment (a comma there would hide the separator from the code below).
std::string Printf15(double value)
{
    char buf[64];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

struct Prefix {
    int kFrom, kTo;
    const char16_t* name;
    int e;
};
// The "T" row spans four exponents, every other row three.
constexpr Prefix kPrefixes[] = {
    {-12, -10, u"p", -12}, {-9, -7, u"n", -9}, {-6, -4, u"u", -6}, {-3, -1, u"m", -3}, {0, 2, u"", 0},
    {3, 5, u"K", 3},       {6, 8, u"M", 6},    {9, 11, u"G", 9},   {12, 15, u"T", 12},
};

} // namespace

QString FormatScientific15(double value, const NumberFormat& f)
{
    const std::string s = Printf15(value);
    const std::size_t ePos = s.find('E');
    if (ePos == std::string::npos)
        return QString::fromLatin1(s.data(), qsizetype(s.size())); // INF, NAN
    QString out;
    out.reserve(24);
    for (std::size_t i = 0; i < ePos; ++i)
        out += s[i] == '.' ? f.decimalSeparator : QChar(s[i]);
    out += u'E';
    out += QChar(s[ePos + 1]); // the exponent's sign
    std::string digits = s.substr(ePos + 2);
    while (digits.size() < 3)
        digits.insert(digits.begin(), '0');
    out += QString::fromLatin1(digits.data(), qsizetype(digits.size()));
    return out;
}

int DecimalExponent15(double value)
{
    const std::string s = Printf15(value);
    const std::size_t ePos = s.find('E');
    if (ePos == std::string::npos)
        return 0;
    return std::atoi(s.c_str() + ePos + 1);
}

void CalcMagnification(double value, double& mag, QString& tani)
{
    const int k = DecimalExponent15(value);
    int e = 0;
    tani = QString();
    for (const Prefix& p : kPrefixes)
        if (k >= p.kFrom && k <= p.kTo) {
            e = p.e;
            tani = QString::fromUtf16(p.name);
            break;
        }
    // The double of the text "1E<e>", exactly as a decimal reader gives it.
    const std::string text = "1E" + std::to_string(e);
    double power = 1.0;
    std::from_chars(text.data(), text.data() + text.size(), power);
    mag = checked::Div(1.0, power);
}

QString MagnificationStatusText(double xmag, const QString& xtani, double ymag, const QString& ytani,
                                const NumberFormat& f)
{
    return QStringLiteral("倍率 X= ") + FormatGrouped(xmag, 0, f) + QStringLiteral("　単位 [ ") + xtani
        + QStringLiteral(" ]") + QStringLiteral("   Y= ") + FormatGrouped(ymag, 0, f) + QStringLiteral("　単位 [ ")
        + ytani + QStringLiteral(" ]");
}
