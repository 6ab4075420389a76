#include "NumberFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

NumberFormat NumberFormat::System()
{
    const QLocale loc = QLocale::system();
    NumberFormat f;
    const QString dec = loc.decimalPoint();
    const QString grp = loc.groupSeparator();
    if (dec.size() == 1)
        f.decimalSeparator = dec.at(0);
    if (grp.size() == 1)
        f.thousandsSeparator = grp.at(0);
    return f;
}

namespace {
NumberFormat& CurrentStorage()
{
    static NumberFormat current = NumberFormat::System();
    return current;
}

// Digits of |value| rounded half away from zero to `decimals` places, as an
// integer-part string and a fraction string of exactly `decimals` digits.
// The exact binary value decides: to_chars writes it exactly to the requested
// precision, and 30 extra places make the rounding digit exact in practice.
// Unlike printf, to_chars ignores the C library's locale, which the GUI
// toolkit sets from the environment, so the separator is always a full stop.
void RoundedDigits(double value, int decimals, std::string& intPart, std::string& fracPart, bool& negative)
{
    negative = std::signbit(value);
    const double a = std::fabs(value);
    const int extra = 30;
    // The largest double has 309 integer digits.
    std::string s(size_t(320 + decimals + extra), '\0');
    const std::to_chars_result r =
        std::to_chars(s.data(), s.data() + s.size(), a, std::chars_format::fixed, decimals + extra);
    s.resize(size_t(r.ptr - s.data()));
    const size_t dot = s.find('.');
    std::string ip = s.substr(0, dot);
    std::string fp = s.substr(dot + 1);
    const bool roundUp = fp[size_t(decimals)] >= '5';
    fp.resize(size_t(decimals));
    std::string digits = ip + fp;
    if (roundUp) {
        int i = int(digits.size()) - 1;
        while (i >= 0) {
            if (digits[size_t(i)] == '9') {
                digits[size_t(i)] = '0';
                --i;
            } else {
                ++digits[size_t(i)];
                break;
            }
        }
        if (i < 0)
            digits.insert(digits.begin(), '1');
    }
    intPart = digits.substr(0, digits.size() - size_t(decimals));
    fracPart = digits.substr(digits.size() - size_t(decimals));
}

bool AllZeros(const std::string& ip, const std::string& fp)
{
    return ip.find_first_not_of('0') == std::string::npos && fp.find_first_not_of('0') == std::string::npos;
}
} // namespace

const NumberFormat& NumberFormat::Current() { return CurrentStorage(); }
void NumberFormat::SetCurrent(const NumberFormat& f) { CurrentStorage() = f; }

QString FormatGrouped(double value, int maxDecimals, const NumberFormat& f)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    std::string ip, fp;
    bool negative = false;
    RoundedDigits(value, maxDecimals, ip, fp, negative);
    // A pattern's value that rounds to zero shows no sign.
    if (AllZeros(ip, fp))
        negative = false;
    while (!fp.empty() && fp.back() == '0')
        fp.pop_back();
    QString out;
    out.reserve(int(ip.size() + ip.size() / 3 + fp.size() + 2));
    if (negative)
        out += u'-';
    const int len = int(ip.size());
    for (int i = 0; i < len; ++i) {
        if (i > 0 && (len - i) % 3 == 0)
            out += f.thousandsSeparator;
        out += QChar(ip[size_t(i)]);
    }
    if (!fp.empty()) {
        out += f.decimalSeparator;
        out += QString::fromLatin1(fp.data(), qsizetype(fp.size()));
    }
    return out;
}

QString FormatFixed(double value, int decimals, const NumberFormat& f)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    std::string ip, fp;
    bool negative = false;
    RoundedDigits(value, decimals, ip, fp, negative);
    QString out;
    if (negative)
        out += u'-';
    out += QString::fromLatin1(ip.data(), qsizetype(ip.size()));
    if (decimals > 0) {
        out += f.decimalSeparator;
        out += QString::fromLatin1(fp.data(), qsizetype(fp.size()));
    }
    return out;
}
