// The table format: the number rule, the field rule, the delimiter, the
// header row and the one-pass scan of magnitudes and data rows.

#include "Exceptions.h"
#include "LineList.h"
#include "TableFormat.h"

#include <QRandomGenerator>
#include <QTest>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
const NumberFormat kDot{u'.', u','};
const NumberFormat kComma{u',', u'.'};

LineList Lines(const char* text) { return LineList::FromUtf8(QByteArray(text)); }
} // namespace

class TestTableFormat : public QObject {
    Q_OBJECT

private slots:
    void numberRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        const double max = std::numeric_limits<double>::max();
        const double minSub = std::numeric_limits<double>::denorm_min();
        struct Row {
            const char* name;
            const char* text;
            bool comma, ok;
            double v;
        };
        const Row rows[] = {
            {"integer", "103", false, true, 103},
            {"blanks around", "  -1.5  ", false, true, -1.5},
            {"plus sign", "+2", false, true, 2},
            {"lone separator", ".", false, true, 0},
            {"signed lone separator", "-.", false, true, -0.0},
            {"separator then digits", ".25", false, true, 0.25},
            {"digits then separator", "7.", false, true, 7},
            {"exponent", "1.5E3", false, true, 1500},
            {"lower-case exponent with sign", "25e-2", false, true, 0.25},
            {"exponent without digits", "4e", false, true, 4},
            {"exponent sign without digits", "4E+", false, true, 4},
            {"lone separator with exponent", ".e5", false, true, 0},
            {"largest double", "1.7976931348623157e308", false, true, max},
            {"rounds down to the largest double", "1.7976931348623158e308", false, true, max},
            {"beyond a double", "1e309", false, false, 0},
            {"far beyond a double", "-1e99999999999999999999", false, false, 0},
            {"many digits beyond a double", "123456789012345678901234567890e300", false, false, 0},
            {"smallest subnormal", "4.9406564584124654e-324", false, true, minSub},
            {"underflow reads as zero", "1e-400", false, true, 0},
            {"underflow with long exponent", "5e-99999999999999999999", false, true, 0},
            {"zero with a huge exponent", "0e999999", false, true, 0},
            {"long mantissa", "0.1000000000000000055511151231257827", false, true, 0.1},
            {"leading zeros", "000000000000000000000000012.5", false, true, 12.5},
            {"empty", "", false, false, 0},
            {"blanks only", "   ", false, false, 0},
            {"sign only", "-", false, false, 0},
            {"exponent only", "e5", false, false, 0},
            {"thousands separator", "1,000", false, false, 0},
            {"two separators", "1.2.3", false, false, 0},
            {"blank inside", "1 2", false, false, 0},
            {"blank after sign", "- 1", false, false, 0},
            {"tab is no blank", "\t1", false, false, 0},
            {"no-break space is no blank", "\u00a01", false, false, 0},
            {"double sign", "+-1", false, false, 0},
            {"letters after", "12abc", false, false, 0},
            {"fraction in exponent", "1e2.5", false, false, 0},
            {"infinity text", "inf", false, false, 0},
            {"nan text", "nan", false, false, 0},
            {"hex", "0x10", false, false, 0},
            {"full-width digit", "\uff11", false, false, 0},
            {"comma decimal", "1,5", true, true, 1.5},
            {"comma decimal lone", ",", true, true, 0},
            {"comma decimal rejects full stop", "1.5", true, false, 0},
            {"comma decimal exponent", "-2,5e1", true, true, -25},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << QString::fromUtf8(r.text) << r.comma << r.ok << r.v;
    }
    void numberRule()
    {
        QFETCH(QString, text);
        QFETCH(bool, commaDecimal);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const std::optional<double> v = ParseNumber(text, commaDecimal ? kComma : kDot);
        QCOMPARE(v.has_value(), isNumber);
        if (isNumber) {
            QCOMPARE(*v, value); // exact: the reader must round correctly
            QCOMPARE(std::signbit(*v), std::signbit(value));
        }
    }

    // The exact fast path and the general path agree with a correctly
    // rounding reader on random decimals of every length.
    void numbersRoundCorrectly()
    {
        QRandomGenerator rng(20240611);
        const DecimalSeparator sep(kDot);
        for (int i = 0; i < 200000; ++i) {
            std::string s;
            if (rng.bounded(2))
                s += '-';
            const int intDigits = int(rng.bounded(12));
            const int fracDigits = int(rng.bounded(i % 10 == 0 ? 30 : 12));
            for (int k = 0; k < intDigits; ++k)
                s += char('0' + rng.bounded(10));
            if (fracDigits || intDigits == 0) {
                s += '.';
                for (int k = 0; k < fracDigits; ++k)
                    s += char('0' + rng.bounded(10));
            }
            if (rng.bounded(4) == 0)
                s += "e" + std::to_string(int(rng.bounded(80)) - 40);
            double expected = 0;
            const std::string forReader = s == "." || s == "-." ? "0" : (s.back() == '.' ? s + "0" : s);
            std::from_chars(forReader.data(), forReader.data() + forReader.size(), expected);
            const std::optional<double> v = ParseNumber(std::string_view(s), sep);
            QVERIFY2(v.has_value(), s.c_str());
            QVERIFY2(*v == expected || (*v == 0 && expected == 0), s.c_str());
        }
    }

    void fieldRule_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("two numbers") << "100,101" << "," << QStringList{"100", "101"};
        QTest::newRow("blanks kept") << " a , b " << "," << QStringList{" a ", " b "};
        QTest::newRow("adjacent delimiters") << "1,,2" << "," << QStringList{"1", "", "2"};
        QTest::newRow("trailing delimiter") << "1,2," << "," << QStringList{"1", "2", ""};
        QTest::newRow("number and comma") << "1," << "," << QStringList{"1", ""};
        QTest::newRow("only a delimiter") << "," << "," << QStringList{"", ""};
        QTest::newRow("quoted delimiter") << "\"1,5\",2" << "," << QStringList{"1,5", "2"};
        QTest::newRow("doubled quotes") << "\"say \"\"hi\"\"\",x" << "," << QStringList{"say \"hi\"", "x"};
        QTest::newRow("text after closing quote") << "\"ab\"cd,ef" << "," << QStringList{"ab", "cd", "ef"};
        QTest::newRow("text after quote at end") << "\"ab\"cd" << "," << QStringList{"ab", "cd"};
        QTest::newRow("unclosed quote") << "\"1,2" << "," << QStringList{"1,2"};
        QTest::newRow("unclosed after doubled") << "\"a\"\"" << "," << QStringList{"a\""};
        QTest::newRow("empty quoted") << "\"\",1" << "," << QStringList{"", "1"};
        QTest::newRow("quote not at field start") << " \"a\",b" << "," << QStringList{" \"a\"", "b"};
        QTest::newRow("quoted then trailing delimiter") << "\"a\"," << "," << QStringList{"a", ""};
        QTest::newRow("tab") << "x\ty,z" << "\t" << QStringList{"x", "y,z"};
        QTest::newRow("comma in tab table") << "1,2" << "\t" << QStringList{"1,2"};
        QTest::newRow("japanese") << "時間,電圧" << "," << QStringList{"時間", "電圧"};
    }
    void fieldRule()
    {
        QFETCH(QString, line);
        QFETCH(QString, delimiter);
        QFETCH(QStringList, fields);
        QCOMPARE(SplitFields(QStringView(line), char(delimiter.at(0).unicode())), fields);
    }

    void delimiterAndHeader_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QStringList>("names"); // empty: no header row
        QTest::newRow("header") << QByteArray("X1,Y1\n100,101") << false << "," << QStringList{"X1", "Y1"};
        QTest::newRow("three names") << QByteArray("a,b,c\n1,2") << false << "," << QStringList{"a", "b"};
        QTest::newRow("numbers are no header") << QByteArray("1,2\n3,4") << false << "," << QStringList{};
        QTest::newRow("one field is no header") << QByteArray("name\n1,2") << false << "," << QStringList{};
        QTest::newRow("second field numeric") << QByteArray("t,1\n1,2") << false << "," << QStringList{"t", "1"};
        QTest::newRow("quoted number is a number") << QByteArray("\"5\",x\n1,2") << false << "," << QStringList{};
        QTest::newRow("tab anywhere") << QByteArray("a,b\tc\n1\t2") << false << "\t" << QStringList{"a,b", "c"};
        QTest::newRow("delimiter from first non-empty line") << QByteArray("\n1\t2\n") << false << "\t" << QStringList{};
        QTest::newRow("comma decimal in tab table") << QByteArray("1,5\t2\n") << true << "\t" << QStringList{};
        QTest::newRow("names keep a leading U+FEFF") << QByteArray("\xEF\xBB\xBFx,\xEF\xBB\xBFy\n1,2") << false << ","
                                                     << QStringList{QStringLiteral("\uFEFFx"), QStringLiteral("\uFEFFy")};
        QTest::newRow("comma decimal, comma delimiter")
            << QByteArray("1,5\n") << true << "," << QStringList{}; // two fields, "1" is a number
    }
    void delimiterAndHeader()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, commaDecimal);
        QFETCH(QString, delimiter);
        QFETCH(QStringList, names);
        const LineList lines = LineList::FromUtf8(text);
        const char d = ChooseDelimiter(lines);
        QCOMPARE(QString(QChar(d)), delimiter);
        const std::optional<ColumnNames> h = HeaderRow(lines, d, commaDecimal ? kComma : kDot);
        QCOMPARE(h.has_value(), !names.isEmpty());
        if (h) {
            QCOMPARE(h->first, names.at(0));
            QCOMPARE(h->second, names.at(1));
        }
    }

    void scan_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("swap");
        QTest::addColumn<double>("maxX");
        QTest::addColumn<double>("maxY");
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QTest::newRow("typical") << QByteArray("100,101\n101,102\n103,103") << false << 103.0 << 103.0
                                 << QList<double>{100, 101, 103} << QList<double>{101, 102, 103};
        QTest::newRow("swapped") << QByteArray("1,-20\n2,10") << true << 20.0 << 2.0 << QList<double>{-20, 10}
                                 << QList<double>{1, 2};
        QTest::newRow("negatives by magnitude") << QByteArray("0.002,1\n-0.005,1\n0.001,1") << false << 0.005 << 1.0
                                                << QList<double>{0.002, -0.005, 0.001} << QList<double>{1, 1, 1};
        QTest::newRow("three fields count for magnitude only")
            << QByteArray("1,2\n500,600,\n3,4") << false << 500.0 << 600.0 << QList<double>{1, 3}
            << QList<double>{2, 4};
        QTest::newRow("non-number fields passed over")
            << QByteArray("x,7\n1,\n2,3") << false << 2.0 << 7.0 << QList<double>{2} << QList<double>{3};
        QTest::newRow("no number at all") << QByteArray("a,b\nc,d") << false << -1.0e50 << -1.0e50 << QList<double>{}
                                          << QList<double>{};
        QTest::newRow("quoted fields") << QByteArray("\"1\",\"2\"\n\"3\"x,4") << false << 3.0 << 2.0
                                       << QList<double>{1} << QList<double>{2};
        QTest::newRow("crlf and blanks") << QByteArray(" 1 , 2 \r\n3,4\r\n") << false << 3.0 << 4.0
                                         << QList<double>{1, 3} << QList<double>{2, 4};
    }
    void scan()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, swap);
        QFETCH(double, maxX);
        QFETCH(double, maxY);
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        const LineList lines = LineList::FromUtf8(text);
        const TableScan s = ScanTable(lines, ',', swap, kDot);
        QCOMPARE(s.maxX, maxX);
        QCOMPARE(s.maxY, maxY);
        QCOMPARE(s.xs, xs);
        QCOMPARE(s.ys, ys);
    }

    void scanCommaDecimal()
    {
        // With a comma decimal separator only quoted fields can hold one.
        const LineList lines = Lines("\"1,5\"\t\"-2,25\"\n3\t4,5e1\n");
        const TableScan s = ScanTable(lines, '\t', false, kComma);
        QCOMPARE(s.xs, (QList<double>{1.5, 3}));
        QCOMPARE(s.ys, (QList<double>{-2.25, 45}));
        const TableScan c = ScanTable(Lines("\"1,5\",2\n"), ',', false, kComma);
        QCOMPARE(c.xs, QList<double>{1.5});
    }

    // The scan's own field and number reading agrees with splitting each
    // line and reading its fields one by one, on random tables made of the
    // characters that matter.
    void scanMatchesFieldByField_data()
    {
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<char>("delimiter");
        QTest::newRow("full stop, comma") << false << ',';
        QTest::newRow("comma, comma") << true << ',';
        QTest::newRow("comma, tab") << true << '\t';
        QTest::newRow("full stop, tab") << false << '\t';
    }
    void scanMatchesFieldByField()
    {
        QFETCH(bool, commaDecimal);
        QFETCH(char, delimiter);
        const NumberFormat& f = commaDecimal ? kComma : kDot;
        const char* tokens[] = {"0", "1", "7", "42", ".", ",", "\t", "\"", "\"\"", "-", "+", "e", "E", " ",
                                "x", "\u00e9", "\u6642", "1e400", "2e-400", "99999999999999999999",
                                "123456789012345", "0.00000000000001", "987654321.123456", "00042", "\r",
                                "9007199254740993", "8.007199254740993"};
        QRandomGenerator rng(99);
        int withRows = 0, failures = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray text;
            const int rows = 1 + int(rng.bounded(6));
            for (int r = 0; r < rows; ++r) {
                // Mostly lines that start with a number and a delimiter; now
                // and then one that opens with a quote, which may swallow
                // every delimiter and leave a single field.
                if (rng.bounded(12) == 0)
                    text += '"';
                else
                    text += QByteArray::number(int(rng.bounded(100))) + delimiter;
                const int n = int(rng.bounded(8));
                for (int k = 0; k < n; ++k)
                    text += tokens[rng.bounded(int(std::size(tokens)))];
                text += "\n";
            }
            // A last line long enough that every field before it is read
            // with a whole block of bytes behind it.
            text += QByteArray("0") + delimiter + "0" + QByteArray(40, ' ') + "\n";
            const LineList lines = LineList::FromUtf8(text);
            // The reference: split, then read each field.
            TableScan want;
            qsizetype badLine = -1;
            for (qsizetype i = 0; i < lines.Count() && badLine < 0; ++i) {
                const QStringList fields = SplitFields(lines.RawLine(i), delimiter);
                if (fields.size() < 2) {
                    badLine = i;
                    break;
                }
                const std::optional<double> x = ParseNumber(QStringView(fields[0]), f);
                const std::optional<double> y = ParseNumber(QStringView(fields[1]), f);
                if (x)
                    want.maxX = std::max(want.maxX, std::fabs(*x));
                if (y)
                    want.maxY = std::max(want.maxY, std::fabs(*y));
                if (x && y && fields.size() == 2) {
                    want.xs.append(*x);
                    want.ys.append(*y);
                }
            }
            try {
                const TableScan got = ScanTable(lines, delimiter, false, f);
                QVERIFY2(badLine < 0, text.constData());
                QCOMPARE(got.maxX, want.maxX);
                QCOMPARE(got.maxY, want.maxY);
                QCOMPARE(got.xs, want.xs);
                QCOMPARE(got.ys, want.ys);
                // Bit for bit, signed zeros included.
                QVERIFY(std::memcmp(got.xs.constData(), want.xs.constData(), size_t(want.xs.size()) * 8) == 0);
                QVERIFY(std::memcmp(got.ys.constData(), want.ys.constData(), size_t(want.ys.size()) * 8) == 0);
                // With the columns swapped.
                const TableScan swapped = ScanTable(lines, delimiter, true, f);
                QCOMPARE(swapped.maxX, want.maxY);
                QCOMPARE(swapped.maxY, want.maxX);
                QVERIFY(std::memcmp(swapped.xs.constData(), want.ys.constData(), size_t(want.ys.size()) * 8) == 0);
                QVERIFY(std::memcmp(swapped.ys.constData(), want.xs.constData(), size_t(want.xs.size()) * 8) == 0);
                withRows += got.xs.size() > 1 ? 1 : 0;
            } catch (const EConvertError& e) {
                QVERIFY2(badLine >= 0, text.constData());
                QVERIFY2(e.Message().startsWith(QString::number(badLine + 1) + u' '), qPrintable(e.Message()));
                ++failures;
            }
        }
        // Both outcomes were exercised often.
        QVERIFY2(withRows > 300 && failures > 300, qPrintable(QStringLiteral("%1 %2").arg(withRows).arg(failures)));
    }

    // A single-field line fails the scan; the message names the line as it
    // stood in the text, and with two threads the first such line wins.
    void singleFieldFails_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("badRows");
        QTest::addColumn<int>("expectedLine");
        QTest::newRow("small table") << 10 << QList<int>{4} << 5;
        QTest::newRow("large, second half only") << 200000 << QList<int>{150000} << 150001;
        QTest::newRow("large, both halves") << 200000 << QList<int>{180000, 99999} << 100000;
    }
    void singleFieldFails()
    {
        QFETCH(int, rows);
        QFETCH(QList<int>, badRows);
        QFETCH(int, expectedLine);
        QByteArray text;
        for (int i = 0; i < rows; ++i)
            text += badRows.contains(i) ? QByteArray("7\t8\n") : QByteArray::number(i) + ",1\n";
        const LineList lines = LineList::FromUtf8(text);
        try {
            ScanTable(lines, ',', false, kDot);
            QFAIL("no error");
        } catch (const EConvertError& e) {
            QVERIFY2(e.Message().startsWith(QString::number(expectedLine) + u' '), qPrintable(e.Message()));
            QVERIFY(e.Message().contains(u"7\t8"));
        }
        // Only a scan that passes notes that every line splits.
        QVERIFY(!lines.EveryLineSplits(','));
        const LineList good = LineList::FromUtf8(text.replace('\t', ','));
        ScanTable(good, ',', false, kDot);
        QVERIFY(good.EveryLineSplits(','));
    }

    void lineNumberCountsRemovedLines()
    {
        LineList lines = Lines("a,b\n\n1,2\n\n3\n");
        lines.RemoveEmptyLines();
        lines.Delete(0);
        QVERIFY_THROWS_EXCEPTION(EConvertError, ScanTable(lines, ',', false, kDot));
        try {
            ScanTable(lines, ',', false, kDot);
        } catch (const EConvertError& e) {
            QVERIFY2(e.Message().startsWith(u"5 "), qPrintable(e.Message()));
        }
    }

    // The two halves of a large table merge in line order, also when the
    // first half has lines that are no data rows.
    void largeTableKeepsOrder()
    {
        QByteArray text;
        QList<double> xs;
        for (int i = 0; i < 150000; ++i) {
            if (i % 3 == 0 && i < 75000) {
                text += "x,1\n";
                continue;
            }
            text += QByteArray::number(i) + ',' + QByteArray::number(-i) + '\n';
            xs.append(i);
        }
        const TableScan s = ScanTable(LineList::FromUtf8(text), ',', false, kDot);
        QCOMPARE(s.xs, xs);
        QCOMPARE(s.ys.size(), xs.size());
        QCOMPARE(s.ys.last(), -149999.0);
        QCOMPARE(s.maxY, 149999.0);
        // A recycled buffer gives the same result.
        QList<double> old(200000, 5.0);
        const TableScan again = ScanTable(LineList::FromUtf8(text), ',', false, kDot, old, {});
        QCOMPARE(again.xs, xs);
    }

    // Every line that is no data row is counted; the first few are noted by
    // position, in line order, in both halves of a large table too.
    void skippedLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qsizetype>("skipped");
        QTest::addColumn<QList<qsizetype>>("first");
        QTest::newRow("every line used") << QByteArray("1,2\n3,4\n") << qsizetype(0) << QList<qsizetype>{};
        QTest::newRow("three fields and an empty one") << QByteArray("1,2,3\n4,5\n6,\n") << qsizetype(2)
                                                        << QList<qsizetype>{0, 2};
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += i % 10000 == 7 ? "x,1\n" : "1,2\n";
        QTest::newRow("many, over both halves") << many << qsizetype(10) << QList<qsizetype>{7, 10007, 20007, 30007, 40007};
        QByteArray secondHalf;
        for (int i = 0; i < 100000; ++i)
            secondHalf += i == 99998 || i == 60000 ? "1,a\n" : "1,2\n";
        QTest::newRow("only in the second half") << secondHalf << qsizetype(2) << QList<qsizetype>{60000, 99998};
    }
    void skippedLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(qsizetype, skipped);
        QFETCH(QList<qsizetype>, first);
        const TableScan s = ScanTable(LineList::FromUtf8(text), ',', false, kDot);
        QCOMPARE(s.skipped, skipped);
        QCOMPARE(s.firstSkipped, first);
    }

    // Why a line is no data row, by the rules the scan applies.
    void explainSkippedLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<char>("delimiter");
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("field");
        const auto row = [](const char* name, const char* line, char delim, bool comma, SkipReason r, int field) {
            QTest::newRow(name) << QString::fromUtf8(line) << delim << comma << int(r) << field;
        };
        row("grouped number", "2,250.75\t3", '\t', false, SkipReason::ThousandsSeparator, 0);
        row("grouped in a quoted field", "1,\"12,000\"", ',', false, SkipReason::ThousandsSeparator, 1);
        row("grouped, comma decimal", "1.250,5\t2", '\t', true, SkipReason::ThousandsSeparator, 0);
        row("text cell", "1\tabc", '\t', false, SkipReason::NotANumber, 1);
        row("separators around nothing", ",,,\t1", '\t', false, SkipReason::NotANumber, 0);
        row("empty field", "5,", ',', false, SkipReason::EmptyField, 1);
        row("blanks only", "   ,5", ',', false, SkipReason::EmptyField, 0);
        row("three fields", "1,2,3", ',', false, SkipReason::TooManyFields, 2);
        row("one field", "12", ',', false, SkipReason::TooFewFields, 0);
        row("a data row", "1,2", ',', false, SkipReason::NotANumber, -1);
    }
    void explainSkippedLine()
    {
        QFETCH(QString, line);
        QFETCH(char, delimiter);
        QFETCH(bool, commaDecimal);
        QFETCH(int, reason);
        QFETCH(int, field);
        const SkippedLine why = ExplainSkippedLine(line, delimiter, commaDecimal ? kComma : kDot);
        QCOMPARE(int(why.reason), reason);
        QCOMPARE(why.field, field);
    }

    void scaleColumns_data()
    {
        QTest::addColumn<double>("xmag");
        QTest::addColumn<double>("ymag");
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QTest::addColumn<int>("keptRows"); // -1: no failure
        QTest::newRow("scaled") << 1000.0 << 0.001 << QList<double>{0.002, -0.005} << QList<double>{5000, 1} << -1;
        QTest::newRow("x overflows in row 2") << 1e300 << 1.0 << QList<double>{1, 1e10, 2} << QList<double>{1, 1, 1}
                                              << 1;
        QTest::newRow("y overflows in row 1") << 1.0 << -1e300 << QList<double>{1, 2} << QList<double>{1e9, 1} << 0;
    }
    void scaleColumns()
    {
        QFETCH(double, xmag);
        QFETCH(double, ymag);
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        QFETCH(int, keptRows);
        QList<double> x = xs, y = ys;
        if (keptRows < 0) {
            ScaleColumns(x, y, xmag, ymag);
            for (qsizetype i = 0; i < xs.size(); ++i) {
                QCOMPARE(x[i], xs[i] * xmag);
                QCOMPARE(y[i], ys[i] * ymag);
            }
            return;
        }
        QVERIFY_THROWS_EXCEPTION(EOverflow, ScaleColumns(x, y, xmag, ymag));
        QCOMPARE(x.size(), keptRows);
        QCOMPARE(y.size(), keptRows);
        for (int i = 0; i < keptRows; ++i)
            QCOMPARE(x[i], xs[i] * xmag);
    }

    void minMax()
    {
        QList<double> v;
        for (int i = 0; i < 1003; ++i)
            v.append(std::sin(i) * i);
        v[517] = -5000;
        v[1002] = 7000;
        const ValueRange r = MinMax(v);
        QCOMPARE(r.min, -5000.0);
        QCOMPARE(r.max, 7000.0);
        QCOMPARE(MinMax(QList<double>{3}).min, 3.0);
    }
};

QTEST_GUILESS_MAIN(TestTableFormat)
#include "tst_TableFormat.moc"
