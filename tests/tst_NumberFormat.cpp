// Regional number formatting: the "#,##0" and "#,##0.###" patterns and
// fixed three-decimal output, under both separator conventions.

#include "CheckedMath.h"
#include "NumberFormat.h"

#include <QTest>

#include <limits>

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void grouped_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("dot");
        QTest::addColumn<QString>("comma");
        QTest::newRow("whole") << 1234567.0 << 0 << "1,234,567" << "1.234.567";
        QTest::newRow("rounds half away from zero") << 2.5 << 0 << "3" << "3";
        QTest::newRow("negative half") << -2.5 << 0 << "-3" << "-3";
        QTest::newRow("below half") << 0.001 << 0 << "0" << "0";
        QTest::newRow("small negative shows no sign") << -0.0004 << 3 << "0" << "0";
        QTest::newRow("trailing zeros dropped") << 1.5 << 3 << "1.5" << "1,5";
        QTest::newRow("three decimals at most") << 1234.56789 << 3 << "1,234.568" << "1.234,568";
        QTest::newRow("carry into a new digit") << 999.9996 << 3 << "1,000" << "1.000";
        QTest::newRow("nano magnification") << 999999999.9999999 << 0 << "1,000,000,000" << "1.000.000.000";
        QTest::newRow("exact binary tie") << 0.0625 << 3 << "0.063" << "0,063";
    }
    void grouped()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, dot);
        QFETCH(QString, comma);
        QCOMPARE(FormatGrouped(value, decimals, NumberFormat{u'.', u','}), dot);
        QCOMPARE(FormatGrouped(value, decimals, NumberFormat{u',', u'.'}), comma);
    }

    void fixed_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("dot");
        QTest::newRow("zero") << 0.0 << "0.000";
        QTest::newRow("negative") << -1.0 << "-1.000";
        QTest::newRow("rounded") << 0.98198 << "0.982";
        QTest::newRow("no grouping") << 123456.5 << "123456.500";
        QTest::newRow("tie away from zero") << -0.0625 << "-0.063";
        // As "%.3f": a negative value keeps its sign, however small.
        QTest::newRow("rounds to zero keeping its sign") << -0.0004 << "-0.000";
        QTest::newRow("negative zero") << -0.0 << "-0.000";
        QTest::newRow("smallest negative denormal") << -5e-324 << "-0.000";
    }
    void fixed()
    {
        QFETCH(double, value);
        QFETCH(QString, dot);
        QCOMPARE(FormatFixed(value, 3, NumberFormat{u'.', u','}), dot);
        QString comma = dot;
        comma.replace(u'.', u',');
        QCOMPARE(FormatFixed(value, 3, NumberFormat{u',', u'.'}), comma);
    }

    void checkedArithmeticRaises()
    {
        QVERIFY_THROWS_EXCEPTION(EZeroDivide, checked::Div(1.0, 0.0));
        QVERIFY_THROWS_EXCEPTION(EInvalidOp, checked::Div(0.0, 0.0));
        QVERIFY_THROWS_EXCEPTION(EOverflow, checked::Mul(1e308, 10.0));
        QVERIFY_THROWS_EXCEPTION(EOverflow, checked::Sub(-1e308, 1e308));
        QVERIFY_THROWS_EXCEPTION(EInvalidOp, checked::Sqrt(-1.0));
        QCOMPARE(checked::Div(1.0, 4.0), 0.25);
        QCOMPARE(checked::Mul(std::numeric_limits<double>::denorm_min(), 0.5), 0.0); // underflow is no error
    }
};

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_NumberFormat.moc"
