// The regression: the worked examples, the subtitle line, what each failure
// leaves stored, accuracy on large offsets, and scale invariance.

#include "ExactDouble.h"
#include "Exceptions.h"
#include "Regression.h"
#include "TableFormat.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

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

    // The fit's report against a direct computation in long double: the
    // line, r, R² and the standard errors, taken back to the table's units
    // through the magnifications, and written with the regional separator.
    void fitReport_data()
    {
        QTest::addColumn<QList<double>>("xs"); // the table's own values
        QTest::addColumn<QList<double>>("ys");
        QTest::addColumn<double>("xmag");
        QTest::addColumn<double>("ymag");
        QTest::addColumn<QChar>("decimal");
        QTest::newRow("plain") << QList<double>{1, 2, 3, 4, 5} << QList<double>{2, 4.5, 5.5, 8.5, 9} << 1.0 << 1.0
                               << QChar(u'.');
        QTest::newRow("milli and kilo") << QList<double>{0.001, 0.002, 0.0035, 0.004, 0.006}
                                        << QList<double>{1200, 2900, 4100, 5200, 8300} << 1000.0 << 0.001
                                        << QChar(u'.');
        QTest::newRow("nano, comma decimal") << QList<double>{1e-9, 2e-9, 3e-9, 4.5e-9}
                                             << QList<double>{-3, -1, 0.5, 4} << 999999999.9999999 << 1.0
                                             << QChar(u',');
        QTest::newRow("far from zero") << QList<double>{1e6 + 1, 1e6 + 2, 1e6 + 3, 1e6 + 4}
                                       << QList<double>{7, 9.5, 10, 13} << 1e-6 << 1.0 << QChar(u'.');
    }
    void fitReport()
    {
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        QFETCH(double, xmag);
        QFETCH(double, ymag);
        QFETCH(QChar, decimal);
        // What the window plots: the values times the magnifications.
        QList<double> px, py;
        for (double v : xs)
            px << v * xmag;
        for (double v : ys)
            py << v * ymag;
        const FitReport fit = Unmagnified(FitWithErrors(px, py), xmag, ymag);

        using LD = long double;
        const LD n = xs.size();
        LD mx = 0, my = 0;
        for (qsizetype i = 0; i < xs.size(); ++i) {
            mx += xs[i];
            my += ys[i];
        }
        mx /= n;
        my /= n;
        LD sxx = 0, syy = 0, sxy = 0;
        for (qsizetype i = 0; i < xs.size(); ++i) {
            sxx += (xs[i] - mx) * (xs[i] - mx);
            syy += (ys[i] - my) * (ys[i] - my);
            sxy += (xs[i] - mx) * (ys[i] - my);
        }
        const LD slope = sxy / sxx, intercept = my - slope * mx, r = sxy / std::sqrt(sxx * syy);
        const LD s2 = (syy - slope * sxy) / (n - 2);
        const LD seSlope = std::sqrt(s2 / sxx), seIntercept = std::sqrt(s2 * (1 / n + mx * mx / sxx));
        const auto close = [](double got, LD want) {
            return std::fabs(LD(got) - want) <= 1e-9L * std::max(std::fabs(want), LD(1e-300));
        };
        QCOMPARE(fit.n, size_t(xs.size()));
        QVERIFY2(close(fit.slope, slope), qPrintable(QString::number(fit.slope, 'g', 17)));
        QVERIFY2(close(fit.intercept, intercept), qPrintable(QString::number(fit.intercept, 'g', 17)));
        QVERIFY(close(fit.r, r));
        QVERIFY(close(fit.r2, r * r));
        QVERIFY(fit.hasErrors);
        QVERIFY2(close(fit.seSlope, seSlope), qPrintable(QString::number(fit.seSlope, 'g', 17)));
        QVERIFY2(close(fit.seIntercept, seIntercept), qPrintable(QString::number(fit.seIntercept, 'g', 17)));

        // The text: one "name TAB value" per line, values read back with
        // the separator to at least six significant digits.
        const NumberFormat f{decimal, decimal == u',' ? QChar(u'.') : QChar(u',')};
        const QStringList lines = FitReportText(fit, xmag, QStringLiteral("m"), ymag, QString(), f).split(u'\n');
        QCOMPARE(lines.size(), 12); // eleven lines and the final break
        const LD want[] = {n, slope, intercept, r, r * r, seSlope, seIntercept, xmag, 0, ymag};
        for (int i = 0; i < 10; ++i) {
            const QStringList cells = lines[i].split(u'\t');
            QCOMPARE(cells.size(), 2);
            if (i == 8) {
                QCOMPARE(cells[1], QStringLiteral("m"));
                continue;
            }
            QVERIFY2(!cells[1].contains(f.thousandsSeparator), qPrintable(lines[i]));
            QString value = cells[1];
            value.replace(decimal, u'.');
            bool ok = false;
            const double v = value.toDouble(&ok);
            QVERIFY2(ok, qPrintable(lines[i]));
            QVERIFY2(std::fabs(LD(v) - want[i]) <= 1e-6L * std::fabs(want[i]), qPrintable(lines[i]));
        }
    }

    // Two points fit exactly and leave the standard errors undefined: their
    // cells stay empty.
    void fitReportOfTwoPoints()
    {
        const FitReport fit = FitWithErrors(QList<double>{10, 20}, QList<double>{5, -5});
        QVERIFY(!fit.hasErrors);
        const QString text = FitReportText(fit, 1, QString(), 1, QString(), NumberFormat{});
        QVERIFY(text.startsWith(QStringLiteral("n\t2\n傾き\t-1\n切片\t15\n相関係数 r\t-1\n決定係数 R²\t1\n"
                                               "傾きの標準誤差\t\n切片の標準誤差\t\n")));
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

    // The fit's passes are merged (squares with products, and the first
    // sums with the ranges), which must not move a single bit: the results
    // equal those of the rule's passes taken one by one, and the ranges
    // those of a four-lane and of an in-order search.
    void mergedPassesChangeNoBit_data()
    {
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QRandomGenerator rng(3);
        for (const int n : {2, 3, 5, 8, 1001, 40000}) {
            QList<double> xs, ys;
            for (int i = 0; i < n; ++i) {
                const double x = rng.generateDouble() * 900.0 + 100.0;
                xs << x;
                ys << 0.5 * x + rng.generateDouble() * 80.0;
            }
            QTest::addRow("random %d", n) << xs << ys;
        }
        QList<double> far, farY;
        for (int i = 0; i < 777; ++i) {
            far << 1e15 + double(rng.bounded(1000));
            farY << -3e14 + double(rng.bounded(50)) * 0.125;
        }
        QTest::newRow("far from zero") << far << farY;
        QTest::newRow("signed zeros at the ends")
            << QList<double>{1, 0.0, 1, 1, -0.0, 1, 2, 3, -0.0} << QList<double>{-0.0, 5, 0.0, 1, 2, -0.0, 4, 4, 0.0};
    }
    void mergedPassesChangeNoBit()
    {
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        const qsizetype n = xs.size();
        auto kahan = [](double& s, double& c, double term) {
            const double y = term - c;
            const double t = s + y;
            c = (t - s) - y;
            s = t;
        };
        // The rule's steps, one pass each.
        double sx = xs[0] - xs[0], cx = 0, sy = ys[0] - ys[0], cy = 0;
        for (qsizetype i = 1; i < n; ++i)
            kahan(sx, cx, xs[i] - xs[0]);
        for (qsizetype i = 1; i < n; ++i)
            kahan(sy, cy, ys[i] - ys[0]);
        const double mx = xs[0] + sx / double(n), my = ys[0] + sy / double(n);
        auto squares = [&](const QList<double>& v, double m) {
            double d = m - v[0], s = d * d, c = 0;
            for (qsizetype i = 1; i < n; ++i) {
                d = m - v[i];
                kahan(s, c, d * d);
            }
            return s;
        };
        const double ssX = squares(xs, mx), ssY = squares(ys, my);
        double products = 0;
        for (qsizetype i = 0; i < n; ++i)
            products += (xs[i] - mx) * (ys[i] - my);
        const double cov = products / (double(n) - 1.0);
        const double varX = ssX / (double(n) - 1.0);
        const double a = cov / varX, b = my - a * mx;
        const double r = cov / (std::sqrt(ssX / (double(n) - 1.0)) * std::sqrt(ssY / (double(n) - 1.0)));

        const ColumnSummary sum = SummarizeColumns(xs, ys);
        QCOMPARE_EXACT(sum.sums.x, sx);
        QCOMPARE_EXACT(sum.sums.y, sy);
        for (const ShiftedSums* known : {static_cast<const ShiftedSums*>(nullptr), &sum.sums}) {
            double ga = 0, gb = 0;
            RegressionCentre centre;
            const double gr = FitRegression(xs, ys, ga, gb, &centre, known);
            QCOMPARE_EXACT(ga, a);
            QCOMPARE_EXACT(gb, b);
            QCOMPARE_EXACT(gr, r);
            QCOMPARE_EXACT(centre.meanX, mx);
            QCOMPARE_EXACT(centre.meanY, my);
        }
        const ValueRange lx = MinMax(xs), ly = MinMax(ys);
        QCOMPARE_EXACT(sum.xMin, lx.min);
        QCOMPARE_EXACT(sum.xMax, lx.max);
        QCOMPARE_EXACT(sum.yMin, ly.min);
        QCOMPARE_EXACT(sum.yMax, ly.max);
        double ox0 = xs[0], ox1 = xs[0], oy0 = ys[0], oy1 = ys[0];
        for (qsizetype i = 1; i < n; ++i) {
            ox0 = std::min(ox0, xs[i]);
            ox1 = std::max(ox1, xs[i]);
            oy0 = std::min(oy0, ys[i]);
            oy1 = std::max(oy1, ys[i]);
        }
        QCOMPARE_EXACT(sum.inOrderXMin, ox0);
        QCOMPARE_EXACT(sum.inOrderXMax, ox1);
        QCOMPARE_EXACT(sum.inOrderYMin, oy0);
        QCOMPARE_EXACT(sum.inOrderYMax, oy1);
    }
};

QTEST_GUILESS_MAIN(TestRegression)
#include "tst_Regression.moc"
