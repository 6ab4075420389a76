#pragma once
// The accepted table format: one delimiter per table, fields with optional
// double quotes, the number rule, the header row and the data row; and the
// one pass over the lines that finds the magnitudes and the points.

#include "LineList.h"
#include "NumberFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

// The user's decimal separator as the UTF-8 bytes the parser compares with.
class DecimalSeparator {
public:
    explicit DecimalSeparator(const NumberFormat& f);
    std::string_view Bytes() const noexcept { return {m_bytes, std::size_t(m_len)}; }
    char First() const noexcept { return m_bytes[0]; }
    int Length() const noexcept { return m_len; }

private:
    char m_bytes[4] = {};
    int m_len = 0;
};

// The number rule: optional blanks (U+0020 only), an optional sign, a
// mantissa of digits with at most one decimal separator (at least one
// character; a lone separator reads as 0), an optional exponent ("E" or "e",
// optional sign, digits; no digits count as exponent 0), optional blanks,
// nothing else. A value beyond the range of a double is not a number; one
// too small for a double reads as the nearest double (possibly 0).
std::optional<double> ParseNumber(std::string_view field, const DecimalSeparator& sep);
std::optional<double> ParseNumber(QStringView field, const NumberFormat& f);

// The delimiter of a table: a tab if `firstLine` contains one, else a comma.
char ChooseDelimiter(std::string_view firstLine) noexcept;
char ChooseDelimiter(const LineList& lines); // of the first non-empty line; ',' without one

// A line's fields by the field rule (quotes removed, doubled quotes made
// single; text after a closing quote is a field of its own).
QStringList SplitFields(std::string_view line, char delimiter);
QStringList SplitFields(QStringView line, char delimiter);

// The header row: when the first field of the first line is not a number and
// the line has at least two fields, the names of the two columns.
struct ColumnNames {
    QString first, second;
};
std::optional<ColumnNames> HeaderRow(const LineList& lines, char delimiter, const NumberFormat& f);

// What one pass over the lines finds.
struct TableScan {
    // Largest absolute X and Y among the number fields of every line, or
    // -1.0e50 when there was none.
    double maxX = -1.0e50;
    double maxY = -1.0e50;
    // The unscaled X and Y of the data rows (exactly two fields, both
    // numbers), in line order.
    QList<double> xs, ys;
    // Lines that were no data row: all of them counted, the first few
    // (at most kNotedSkips) by their index in the list, in line order.
    static constexpr int kNotedSkips = 5;
    qsizetype skipped = 0;
    QList<qsizetype> firstSkipped;
};

// The magnitude scan and the points in one pass; each field is parsed once.
// X is the first field and Y the second, or the other way round when
// `swapXY`. Lines with three or more fields count for the magnitudes only.
// A line with fewer than two fields makes the scan fail with EConvertError
// naming the first such line; when it does not, the list notes that every
// line splits (LineList::EveryLineSplits). Buffers of `recycleX`/`recycleY`
// are reused when nobody else holds them and they are large enough.
TableScan ScanTable(const LineList& lines, char delimiter, bool swapXY, const NumberFormat& f,
                    QList<double> recycleX = {}, QList<double> recycleY = {});

// Why a line is no data row, by the same field and number rules the scan
// applies: the first field of the two that is not a number decides, and a
// line of three or more fields is refused for its count alone.
enum class SkipReason {
    TooManyFields,     // three or more fields
    TooFewFields,      // one field (such a line stops the scan instead)
    EmptyField,        // a field empty or of blanks only
    ThousandsSeparator, // a number but for its thousands separators
    NotANumber,        // anything else
};
struct SkippedLine {
    SkipReason reason = SkipReason::NotANumber;
    int field = 0;      // 0-based position of the field that decided; -1 for a data row
    int fieldCount = 0; // fields of the line
};
SkippedLine ExplainSkippedLine(QStringView line, char delimiter, const NumberFormat& f);

// Multiplies xs by xmag and ys by ymag in place, row by row. If a product
// leaves the range of a double, both lists keep the scaled rows before the
// failing row and EOverflow is raised.
void ScaleColumns(QList<double>& xs, QList<double>& ys, double xmag, double ymag);

struct ValueRange {
    double min, max;
};
// Smallest and largest entry; values must be non-empty.
ValueRange MinMax(const QList<double>& values);
