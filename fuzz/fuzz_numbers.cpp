// Fuzz target for the number texts: the table's number rule against a plain
// reading of the rule, the table scan against that rule, the two display
// formats against the exact decimal value, and the settings store's number
// values written and read back.
//
// Input: byte 0 chooses the decimal separator and the number of decimals,
// bytes 1-8 are a double, bytes 9-12 an integer, the rest is a field text.
//
// Checked, each as its header states it:
// - TableFormat.h: ParseNumber accepts exactly the texts of the number rule
//   and gives the nearest double; both overloads agree; a two-field line
//   is a data row exactly when both fields are numbers, and the scan's
//   values and magnitudes are those of ParseNumber;
// - NumberFormat.h: FormatFixed and FormatGrouped round half away from zero
//   at the exact binary value, FormatGrouped groups by three and drops
//   trailing zeros, and both read back by the number rule to a value that
//   formats the same;
// - MemIniFile.h: WriteFloat's text reads back to the same double;
//   WriteInteger's to the same integer.

#include "LineList.h"
#include "MemIniFile.h"
#include "NumberFormat.h"
#include "TableFormat.h"

#include <QByteArray>
#include <QString>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <optional>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Finding(const char* what, std::string_view text = {})
{
    std::fprintf(stderr, "fuzz_numbers: %s [%.*s]\n", what, int(text.size()), text.data());
    __builtin_trap();
}

locale_t g_cLocale = nullptr;

// The number rule read step by step, the value by the C library's exact
// conversion.
std::optional<double> ReferenceParse(std::string_view s, std::string_view sep)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    std::string text;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        text += s[i++];
    bool mantissa = false;
    std::string digits;
    while (i < n && s[i] >= '0' && s[i] <= '9') {
        digits += s[i++];
        mantissa = true;
    }
    std::string fraction;
    if (s.substr(i, sep.size()) == sep) {
        i += sep.size();
        mantissa = true;
        while (i < n && s[i] >= '0' && s[i] <= '9')
            fraction += s[i++];
    }
    if (!mantissa)
        return std::nullopt;
    text += digits.empty() ? std::string("0") : digits;
    text += '.';
    text += fraction.empty() ? std::string("0") : fraction;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        text += 'e';
        if (i < n && (s[i] == '+' || s[i] == '-'))
            text += s[i++];
        bool any = false;
        while (i < n && s[i] >= '0' && s[i] <= '9') {
            text += s[i++];
            any = true;
        }
        if (!any)
            text += '0';
    }
    while (i < n && s[i] == ' ')
        ++i;
    if (i != n)
        return std::nullopt;
    const double v = strtod_l(text.c_str(), nullptr, g_cLocale);
    if (std::isinf(v))
        return std::nullopt;
    return v;
}

// |value| rounded half away from zero to `decimals` places from its exact
// decimal expansion (a double has at most 1074 fractional digits).
std::string ExactRounded(double value, int decimals)
{
    static char buf[2000];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, 1100);
    std::string s(buf, r.ptr);
    const std::size_t dot = s.find('.');
    std::string digits = s.substr(0, dot) + s.substr(dot + 1, std::size_t(decimals));
    if (s[dot + 1 + std::size_t(decimals)] >= '5') {
        std::size_t k = digits.size();
        while (k > 0 && digits[k - 1] == '9')
            digits[--k] = '0';
        if (k == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[k - 1];
    }
    std::string out = digits.substr(0, digits.size() - std::size_t(decimals));
    if (decimals > 0)
        out += '.' + digits.substr(digits.size() - std::size_t(decimals));
    return out;
}

void CheckFormats(double v, int decimals, const NumberFormat& f)
{
    if (!std::isfinite(v))
        return;
    const QString dec(f.decimalSeparator);
    const QString fixed = FormatFixed(v, decimals, f);
    const QString grouped = FormatGrouped(v, decimals, f);

    // FormatFixed: the sign of the value, then the exact rounding.
    std::string expect = ExactRounded(v, decimals);
    QString expected = QString::fromLatin1(expect).replace(u'.', dec);
    if (std::signbit(v))
        expected.prepend(u'-');
    if (fixed != expected)
        Finding("FormatFixed is not the exact rounding", fixed.toStdString());

    // FormatGrouped: the same digits, trailing zeros dropped, no sign on a
    // value that rounds to zero, the integer digits grouped by three.
    std::string plain = expect;
    if (plain.find('.') != std::string::npos) {
        while (plain.back() == '0')
            plain.pop_back();
        if (plain.back() == '.')
            plain.pop_back();
    }
    const bool zero = plain.find_first_not_of("0.") == std::string::npos;
    const std::size_t dot = plain.find('.');
    const std::string intPart = plain.substr(0, dot);
    QString grp;
    if (std::signbit(v) && !zero)
        grp += u'-';
    for (std::size_t i = 0; i < intPart.size(); ++i) {
        if (i > 0 && (intPart.size() - i) % 3 == 0)
            grp += f.thousandsSeparator;
        grp += QChar(intPart[i]);
    }
    if (dot != std::string::npos)
        grp += dec + QString::fromLatin1(plain.substr(dot + 1));
    if (grouped != grp)
        Finding("FormatGrouped is not the exact rounding, grouped", grouped.toStdString());

    // Read back by the number rule, the value formats to the same text.
    const std::optional<double> back = ParseNumber(QStringView(fixed), f);
    if (!back)
        Finding("a FormatFixed text is not a number", fixed.toStdString());
    if (FormatFixed(*back, decimals, f) != fixed)
        Finding("a FormatFixed text reads back to a value that formats otherwise", fixed.toStdString());
    QString ungrouped = grouped;
    ungrouped.remove(f.thousandsSeparator);
    const std::optional<double> back2 = ParseNumber(QStringView(ungrouped), f);
    if (!back2 || FormatGrouped(*back2, decimals, f) != grouped)
        Finding("a FormatGrouped text does not read back", grouped.toStdString());
}

// The settings store's own number texts.
void CheckSettingsNumbers(double v, int i)
{
    TMemIniFile ini = TMemIniFile::Empty(QString());
    const QString s = QStringLiteral("S"), k = QStringLiteral("K");
    if (std::isfinite(v)) {
        ini.WriteFloat(s, k, v);
        const double back = ini.ReadFloat(s, k, 12345.0);
        if (std::memcmp(&back, &v, sizeof v) != 0)
            Finding("WriteFloat does not read back", ini.ReadString(s, k, QString()).toStdString());
    }
    ini.WriteInteger(s, k, i);
    if (ini.ReadInteger(s, k, i ^ 1) != i)
        Finding("WriteInteger does not read back", ini.ReadString(s, k, QString()).toStdString());
}

// A line of the field and a plain "1", scanned as a table.
void CheckScan(std::string_view field, std::optional<double> value, char delimiter, const NumberFormat& f)
{
    if (field.empty() || field.find_first_of(std::string_view("\"\r\n\0", 4)) != std::string_view::npos
        || field.find(delimiter) != std::string_view::npos)
        return;
    std::string line(field);
    line += delimiter;
    line += '1';
    for (bool swap : {false, true}) {
        LineList lines;
        lines.AppendUtf8(line);
        const TableScan scan = ScanTable(lines, delimiter, swap, f);
        const QList<double>& own = swap ? scan.ys : scan.xs;
        const QList<double>& other = swap ? scan.xs : scan.ys;
        const double ownMax = swap ? scan.maxY : scan.maxX;
        const double otherMax = swap ? scan.maxX : scan.maxY;
        if (otherMax != 1.0)
            Finding("the scan's magnitude of a plain 1 is not 1", field);
        if (value) {
            if (own.size() != 1 || other.size() != 1 || own[0] != *value || other[0] != 1.0)
                Finding("a data row of a number is scanned otherwise", field);
            if (ownMax != std::fabs(*value))
                Finding("the scan's magnitude is not the absolute value", field);
        } else {
            if (!own.isEmpty() || !other.isEmpty())
                Finding("a field that is no number makes a data row", field);
            if (ownMax != -1.0e50)
                Finding("a field that is no number counts for the magnitude", field);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t head[13] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    const std::string_view field(reinterpret_cast<const char*>(data) + (size < sizeof head ? size : sizeof head),
                                 size < sizeof head ? 0 : size - sizeof head);

    static const NumberFormat formats[] = {{u'.', u','}, {u',', u'.'}, {QChar(0x066B), QChar(0x066C)}};
    const NumberFormat& f = formats[head[0] % 3];
    const int decimals = head[0] / 3 % 21;
    double raw = 0;
    std::memcpy(&raw, head + 1, sizeof raw);
    std::int32_t integer = 0;
    std::memcpy(&integer, head + 9, sizeof integer);
    NumberFormat::SetCurrent(f);

    const DecimalSeparator sep(f);
    const std::optional<double> parsed = ParseNumber(field, sep);
    const std::optional<double> reference = ReferenceParse(field, sep.Bytes());
    if (parsed.has_value() != reference.has_value())
        Finding(parsed ? "ParseNumber takes a text outside the number rule" : "ParseNumber refuses a number", field);
    if (parsed && *parsed != *reference)
        Finding("ParseNumber's value is not the nearest double", field);
    const QByteArray utf8 = QByteArray(field.data(), qsizetype(field.size()));
    if (QString::fromUtf8(utf8).toUtf8() == utf8) {
        const std::optional<double> viaText = ParseNumber(QStringView(QString::fromUtf8(utf8)), f);
        if (viaText.has_value() != parsed.has_value() || (parsed && *viaText != *parsed))
            Finding("the two ParseNumber overloads disagree", field);
    }
    CheckScan(field, parsed, f.decimalSeparator == u',' ? '\t' : ',', f);

    CheckFormats(raw, decimals, f);
    if (parsed)
        CheckFormats(*parsed, decimals, f);
    CheckSettingsNumbers(raw, integer);
    if (parsed)
        CheckSettingsNumbers(*parsed, integer);
    NumberFormat::SetCurrent(NumberFormat{u'.', u','});
    return 0;
}
