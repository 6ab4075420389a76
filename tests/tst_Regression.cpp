// The regression: the worked examples, the subtitle line, what each failure
// leaves stored, accuracy on large offsets, and scale invariance.

#include "Exceptions.h"
#include "Regression.h"

#include <QTest>

#include <cmath>
#include <functional>

namespace {
enum class Fault { None, ZeroDivide, Overflow, InvalidOp };
}
Q_DECLARE_METATYPE(Fault)

class TestRegression : public QObject {
    Q_OBJECT

private slots:
    void workedExamples_data()
    {
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QTest::addColumn<QString>("line");
        QTest::newRow("rising") << QList<double>{1, 2, 3} << QList<double>{2, 4, 6}
                                << QString::fromUtf8("回帰直線 Y =2.000X + 0.000   相関係数= 1.000");
        QTest::newRow("falling") << QList<double>{1, 2, 3} << QList<double>{4, 3, 2}
                                 << QString::fromUtf8("回帰直線 Y =-1.000X + 5.000   相関係数= -1.000");
        QTest::newRow("negative intercept") << QList<double>{1, 2, 3} << QList<double>{0, 1, 2}
                                            << QString::fromUtf8("回帰直線 Y =1.000X - 1.000   相関係数= 1.000");
        QTest::newRow("two rows") << QList<double>{10, 20} << QList<double>{5, -5}
                                  << QString::fromUtf8("回帰直線 Y =-1.000X + 15.000   相関係数= -1.000");
    }
    void workedExamples()
    {
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        QFETCH(QString, line);
        double a = 0, b = 0;
        const double r = FitRegression(xs, ys, a, b);
        QCOMPARE(RegressionSubtitle(a, b, r, NumberFormat{}), line);
    }

    void subtitleFormat()
    {
        const NumberFormat comma{u',', u'.'};
        QCOMPARE(RegressionSubtitle(1234.5678, -0.0004, 0.99951, comma),
                 QString::fromUtf8("回帰直線 Y =1234,568X - 0,000   相関係数= 1,000"));
        QCOMPARE(RegressionSubtitle(0.5, -0.0, -0.25, NumberFormat{}),
                 QString::fromUtf8("回帰直線 Y =0.500X + 0.000   相関係数= -0.250"));
        // Negative slope and coefficient that round to zero keep their sign.
        QCOMPARE(RegressionSubtitle(-0.0004, 2.0, -0.0004, NumberFormat{}),
                 QString::fromUtf8("回帰直線 Y =-0.000X + 2.000   相関係数= -0.000"));
    }

    // Each failure raises where it happens and leaves slope and intercept
    // as far as they were computed.
    void failures_data()
    {
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        const double old = 42;
        QTest::newRow("one row") << QList<double>{5} << QList<double>{7} << Fault::InvalidOp << old << old;
        QTest::newRow("all X equal") << QList<double>{0.1, 0.1, 0.1} << QList<double>{1, 2, 3} << Fault::InvalidOp
                                     << old << old;
        QTest::newRow("all Y equal") << QList<double>{1, 2, 4} << QList<double>{0.7, 0.7, 0.7} << Fault::InvalidOp
                                     << 0.0 << 0.7;
        QTest::newRow("squares overflow") << QList<double>{-1e300, 1e300} << QList<double>{1, 2} << Fault::Overflow
                                          << old << old;
        QTest::newRow("products overflow") << QList<double>{-1e200, 1e200} << QList<double>{-1e200, 1e200}
                                           << Fault::Overflow << old << old;
        QTest::newRow("Y squares overflow") << QList<double>{1, 2} << QList<double>{1e300, -1e300} << Fault::Overflow
                                            << old << old;
        QTest::newRow("variance underflows to zero") << QList<double>{0, 1e-300} << QList<double>{0, 1e10}
                                                     << Fault::ZeroDivide << old << old;
        QTest::newRow("slope overflows") << QList<double>{0, 2e-160} << QList<double>{0, 1e154} << Fault::Overflow
                                         << old << old;
    }
    void failures()
    {
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        QFETCH(Fault, fault);
        QFETCH(double, a);
        QFETCH(double, b);
        double ar = 42, br = 42;
        Fault got = Fault::None;
        try {
            FitRegression(xs, ys, ar, br);
        } catch (const EZeroDivide&) {
            got = Fault::ZeroDivide;
        } catch (const EOverflow&) {
            got = Fault::Overflow;
        } catch (const EInvalidOp&) {
            got = Fault::InvalidOp;
        }
        QCOMPARE(got, fault);
        QCOMPARE(ar, a);
        QCOMPARE(br, b);
    }

    // Values far from zero with a small spread: two-pass means and
    // compensated sums keep the statistics exact where a one-pass formula
    // would lose every digit.
    void largeOffset()
    {
        QList<double> xs, ys;
        for (int i = 0; i < 100001; ++i) {
            xs.append(1e9 + (i % 2 ? 0.5 : -0.5));
            ys.append(3.0 * (xs.last() - 1e9) + 7.0);
        }
        double a = 0, b = 0;
        const double r = FitRegression(xs, ys, a, b);
        // What is left is the rounding of the plain running sum of products.
        QVERIFY2(std::fabs(a - 3.0) < 1e-9, qPrintable(QString::number(a, 'g', 17)));
        QVERIFY2(std::fabs(r - 1.0) < 1e-9, qPrintable(QString::number(r, 'g', 17)));
        QVERIFY(std::fabs((a * 1e9 + b) - 7.0) < 1e-3);
    }

    void scaleInvariance()
    {
        const QList<double> xs{1, 2.5, 4, 7, 11}, ys{3, 1, 4, 1, 5};
        double a = 0, b = 0, a2 = 0, b2 = 0;
        const double r = FitRegression(xs, ys, a, b);
        QList<double> xs1000;
        for (double x : xs)
            xs1000.append(x * 1000);
        const double r2 = FitRegression(xs1000, ys, a2, b2);
        QVERIFY(std::fabs(a2 - a / 1000) < 1e-15);
        QVERIFY(std::fabs(b2 - b) < 1e-12);
        QVERIFY(std::fabs(r2 - r) < 1e-12);
    }

    void covariance()
    {
        const QList<double> xs{1, 2, 3}, ys{6, 4, 2, 99};
        QCOMPARE(Covariance(xs, 2, 4, ys), -2.0);
        QVERIFY_THROWS_EXCEPTION(Exception, Covariance(ys, 4, 2, xs));
        QVERIFY_THROWS_EXCEPTION(EOverflow, Covariance(QList<double>{1e300, -1e300}, 0, 0, QList<double>{1e300, 1}));
    }
};

QTEST_GUILESS_MAIN(TestRegression)
#include "tst_Regression.moc"
