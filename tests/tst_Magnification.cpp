// The automatic magnification: the 15-digit scientific rendering, the
// prefix table with its edges, the factors, and the status-bar text.

#include "ExactDouble.h"
#include "Magnification.h"

#include <QTest>

class TestMagnification : public QObject {
    Q_OBJECT

private slots:
    void rendering_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<QString>("text");
        QTest::newRow("1234.5") << 1234.5 << false << "1.23450000000000E+003";
        QTest::newRow("-0.005") << -0.005 << false << "-5.00000000000000E-003";
        QTest::newRow("zero") << 0.0 << false << "0.00000000000000E+000";
        QTest::newRow("rounds up a power") << 999.9999999999999 << false << "1.00000000000000E+003";
        QTest::newRow("three-digit exponent") << 1e-300 << false << "1.00000000000000E-300";
        QTest::newRow("no number") << -1.0e50 << false << "-1.00000000000000E+050";
        QTest::newRow("comma separator") << 1234.5 << true << "1,23450000000000E+003";
    }
    void rendering()
    {
        QFETCH(double, value);
        QFETCH(bool, commaDecimal);
        QFETCH(QString, text);
        QCOMPARE(FormatScientific15(value, commaDecimal ? NumberFormat{u',', u'.'} : NumberFormat{}), text);
    }

    void prefixTable_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<double>("mag");
        QTest::newRow("1234.5") << 1234.5 << "K" << 0.001;
        QTest::newRow("-1234.5") << -1234.5 << "K" << 0.001;
        QTest::newRow("zero") << 0.0 << "" << 1.0;
        QTest::newRow("999.9999999999999 rounds to 1000") << 999.9999999999999 << "K" << 0.001;
        QTest::newRow("999.99") << 999.99 << "" << 1.0;
        QTest::newRow("5e15 is still T") << 5e15 << "T" << 1e-12;
        QTest::newRow("1e16 beyond the table") << 1e16 << "" << 1.0;
        QTest::newRow("1e-12") << 1e-12 << "p" << 1e12;
        QTest::newRow("9.99e-13 below the table") << 9.99e-13 << "" << 1.0;
        QTest::newRow("no number") << -1.0e50 << "" << 1.0;
        QTest::newRow("2.5e-8") << 2.5e-8 << "n" << 999999999.9999999;
        QTest::newRow("0.005") << 0.005 << "m" << 1000.0;
        QTest::newRow("1e-4") << 1e-4 << "u" << 1e6;
        QTest::newRow("1e-6") << 1e-6 << "u" << 1e6;
        QTest::newRow("5e6") << 5e6 << "M" << 1e-6;
        QTest::newRow("1e11") << 1e11 << "G" << 1e-9;
        QTest::newRow("0.1") << 0.1 << "m" << 1000.0;
        QTest::newRow("1") << 1.0 << "" << 1.0;
    }
    void prefixTable()
    {
        QFETCH(double, value);
        QFETCH(QString, prefix);
        QFETCH(double, mag);
        double m = -1;
        QString tani = QStringLiteral("stale");
        CalcMagnification(value, m, tani);
        QCOMPARE(tani, prefix);
        QCOMPARE_EXACT(m, mag); // 1 / the double of "1E<e>", bit for bit
    }

    void statusText_data()
    {
        QTest::addColumn<double>("xmag");
        QTest::addColumn<QString>("xtani");
        QTest::addColumn<double>("ymag");
        QTest::addColumn<QString>("ytani");
        QTest::addColumn<QChar>("thousands");
        QTest::addColumn<QString>("text");
        QTest::newRow("no prefixes") << 1.0 << "" << 1.0 << "" << QChar(u',')
                                     << QString::fromUtf8("倍率 X= 1　単位 [  ]   Y= 1　単位 [  ]");
        QTest::newRow("kilo shows as 0") << 0.001 << "K" << 1e12 << "p" << QChar(u',')
                                         << QString::fromUtf8("倍率 X= 0　単位 [ K ]   Y= 1,000,000,000,000　単位 [ p ]");
        QTest::newRow("nano rounds, other separator")
            << 999999999.9999999 << "n" << 1000.0 << "m" << QChar(u'.')
            << QString::fromUtf8("倍率 X= 1.000.000.000　単位 [ n ]   Y= 1.000　単位 [ m ]");
    }
    void statusText()
    {
        QFETCH(double, xmag);
        QFETCH(QString, xtani);
        QFETCH(double, ymag);
        QFETCH(QString, ytani);
        QFETCH(QChar, thousands);
        QFETCH(QString, text);
        QCOMPARE(MagnificationStatusText(xmag, xtani, ymag, ytani, NumberFormat{u'.', thousands}), text);
    }
};

QTEST_GUILESS_MAIN(TestMagnification)
#include "tst_Magnification.moc"
