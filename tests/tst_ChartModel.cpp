// The chart document: start values, point order, axis refusals and the
// effects the rest of the program relies on.

#include "ChartModel.h"
#include "Exceptions.h"
#include "StableOrder.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>

class TestChartModel : public QObject {
    Q_OBJECT

    struct Chart {
        TChartModel model;
        TPointSeries* s1 = model.AddSeries<TPointSeries>(QStringLiteral("Series1"));
        TLineSeries* s2 = model.AddSeries<TLineSeries>(QStringLiteral("Series2"));
    };

    static QList<QPair<double, double>> Points(const TChartSeries& s)
    {
        QList<QPair<double, double>> out;
        for (qsizetype i = 0; i < s.Count(); ++i)
            out.append({s.XValue(i), s.YValue(i)});
        return out;
    }

private slots:
    void startValues()
    {
        Chart c;
        QCOMPARE(c.s1->SeriesColor(), RGBColor(68, 102, 163));
        QCOMPARE(c.s2->SeriesColor(), RGBColor(243, 156, 53));
        QCOMPARE(c.s1->Count(), 0);
        QCOMPARE(c.s2->Count(), 0);
        QVERIFY(!c.s1->ShowInLegend() && !c.s2->ShowInLegend());
        QCOMPARE(c.model.Title().Text().Lines(), QStringList{QStringLiteral("Plotmere Graph")});
        QCOMPARE(c.model.SubTitle().Text().Lines(), QStringList{QStringLiteral("Sub Title")});
        QCOMPARE(c.model.Title().Font().Color(), clBlue);
        QCOMPARE(c.model.SubTitle().Font().Color(), clBlue);
        QCOMPARE(c.model.Title().Alignment(), taCenter);
        QCOMPARE(c.model.Color(), clBtnFace);
        QVERIFY(c.model.Walls().Back().Transparent());
        QCOMPARE(c.model.Walls().Back().Color(), clSilver);
        QVERIFY(c.model.Walls().Back().Picture().Empty());
        QVERIFY(!c.model.Shadow().Visible());
        QCOMPARE(c.model.Shadow().HorizSize(), 10);
        QCOMPARE(c.model.Shadow().VertSize(), 10);
        QVERIFY(!c.model.Border().Visible());
        for (TChartAxis* a : {&c.model.LeftAxis(), &c.model.BottomAxis()}) {
            QVERIFY(a->Automatic());
            QCOMPARE(a->Increment(), 0.0);
            QVERIFY(a->Title().Caption().isEmpty());
            QCOMPARE(a->Title().Font().Color(), clBlack);
            QCOMPARE(a->AxisValuesFormat(), QStringLiteral("#,##0.###"));
        }
        QVERIFY(c.s1->Pointer().Visible());
        QCOMPARE(c.s1->Pointer().Style(), psCircle);
        QCOMPARE(c.s1->Pointer().HorizSize(), 4);
        QCOMPARE(c.s1->Pointer().VertSize(), 4);
        QVERIFY(!c.s2->Pointer().Visible());
        QCOMPARE(c.s2->Pointer().Style(), psRectangle);
        QCOMPARE(c.s2->LinePen().Style(), psSolid);
        QCOMPARE(c.s2->LinePen().Width(), 1);
        QCOMPARE(c.s1->XValues().Name, QStringLiteral("X"));
        QCOMPARE(c.s1->YValues().Name, QStringLiteral("Y"));
        QCOMPARE(c.s1->XValues().Order, loAscending);
        QCOMPARE(c.s1->YValues().Order, loNone);
    }

    void freeColourSkipsChartAndWallColours()
    {
        TChartModel m;
        m.SetColor(RGBColor(68, 102, 163));
        auto* a = m.AddSeries<TPointSeries>(QStringLiteral("a"));
        auto* b = m.AddSeries<TLineSeries>(QStringLiteral("b"));
        QCOMPARE(a->SeriesColor(), RGBColor(243, 156, 53));
        QCOMPARE(b->SeriesColor(), RGBColor(241, 76, 20));
    }

    void addXYKeepsStableXOrder()
    {
        Chart c;
        QCOMPARE(c.s1->AddXY(3, 1), 0);
        QCOMPARE(c.s1->AddXY(1, 2), 0);
        QCOMPARE(c.s1->AddXY(3, 5), 2);
        QCOMPARE(c.s1->AddXY(2, 0), 1);
        const QList<QPair<double, double>> expected = {{1, 2}, {2, 0}, {3, 1}, {3, 5}};
        QCOMPARE(Points(*c.s1), expected);
    }

    void bulkAddEqualsOneByOne_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("distinctX");
        QTest::newRow("empty series, few distinct") << 0 << 5000 << 7;
        QTest::newRow("empty series, all distinct") << 0 << 20000 << 100000;
        QTest::newRow("onto existing points") << 50 << 2000 << 20;
        QTest::newRow("single point") << 0 << 1 << 1;
    }
    void bulkAddEqualsOneByOne()
    {
        QFETCH(int, existing);
        QFETCH(int, added);
        QFETCH(int, distinctX);
        QRandomGenerator rng(42u + unsigned(added));
        auto nextX = [&] {
            return distinctX >= 1000 ? rng.generateDouble() * 1e6 - 5e5 : double(rng.bounded(distinctX)) - 3.0;
        };
        Chart bulk, single;
        for (int i = 0; i < existing; ++i) {
            const double x = nextX();
            bulk.s1->AddXY(x, i);
            single.s1->AddXY(x, i);
        }
        QList<double> xs, ys;
        for (int i = 0; i < added; ++i) {
            xs.append(nextX());
            ys.append(i + existing);
        }
        bulk.s1->AddXYs(xs, ys);
        for (int i = 0; i < added; ++i)
            single.s1->AddXY(xs[i], ys[i]);
        QCOMPARE(bulk.s1->Count(), single.s1->Count());
        QCOMPARE(Points(*bulk.s1), Points(*single.s1));
    }

    void stableOrder_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::newRow("sorted needs no order") << QList<double>{1, 1, 2, 3};
        QTest::newRow("reversed") << QList<double>{5, 4, 3, 2, 1};
        QTest::newRow("signed zeros are equal") << QList<double>{0.0, -0.0, 0.0, -1.0};
        QTest::newRow("negative and positive") << QList<double>{-1e300, 1e-300, -0.5, 7, -7, 1e300};
        QTest::newRow("a range of denormals") << QList<double>{1e-323, 0.0, 5e-324, 1.5e-323, 5e-324, 0.0};
    }
    void stableOrder()
    {
        QFETCH(QList<double>, values);
        std::vector<std::uint32_t> order = StableAscendingOrder(values.constData(), size_t(values.size()));
        std::vector<std::uint32_t> expected(size_t(values.size()));
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
        if (order.empty()) {
            QVERIFY(std::is_sorted(values.begin(), values.end()));
        } else {
            QCOMPARE(order, expected);
        }
    }

    void largeStableOrderMatchesReference_data()
    {
        QTest::addColumn<int>("distinct");
        QTest::newRow("continuous") << 0;
        QTest::newRow("heavy duplicates") << 3;
        QTest::newRow("clustered") << 50;
        QTest::newRow("range wider than a double") << -1;
        QTest::newRow("with infinities") << -2;
        QTest::newRow("skewed over many magnitudes") << -3;
    }
    void largeStableOrderMatchesReference()
    {
        QFETCH(int, distinct);
        // Large enough for the two-thread path.
        const int n = 300000;
        QRandomGenerator rng(7);
        QList<double> values;
        for (int i = 0; i < n; ++i) {
            const double u = rng.generateDouble();
            switch (distinct) {
            case 0: values.append(u * 2e4 - 1e4); break;
            case -1: values.append((u * 2 - 1) * 1.7e308); break;
            case -2: values.append(i % 1000 == 0 ? (i % 2000 ? qInf() : -qInf()) : u - 0.5); break;
            case -3: values.append(std::pow(10.0, u * 40 - 20) * (i % 3 ? 1 : -1)); break;
            default: values.append(double(rng.bounded(distinct)) + (distinct > 10 ? u * 1e-9 : 0));
            }
        }
        const std::vector<std::uint32_t> order = StableAscendingOrder(values.constData(), size_t(n));
        std::vector<std::uint32_t> expected(static_cast<size_t>(n));
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
        QCOMPARE(order.size(), expected.size());
        QVERIFY(order == expected);
    }

    void boundRefusals()
    {
        Chart c;
        TChartAxis& a = c.model.LeftAxis();
        a.SetAutomatic(false);
        a.SetMinMax(0, 5);
        try {
            a.SetMinimum(10);
            QFAIL("minimum above maximum was accepted");
        } catch (const AxisException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Axis Minimum Value must be <= Maximum"));
        }
        QCOMPARE(a.Minimum(), 0.0);
        try {
            a.SetMaximum(-1);
            QFAIL("maximum below minimum was accepted");
        } catch (const AxisException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Axis Maximum Value must be >= Minimum"));
        }
        QCOMPARE(a.Maximum(), 5.0);
        a.SetMinimum(5); // equal bounds are allowed
        QCOMPARE(a.Minimum(), 5.0);
        QVERIFY_THROWS_EXCEPTION(AxisException, a.SetMinimum(qQNaN()));

        a.SetMinMax(0, 100);
        a.SetMinMax(-20, -10); // wholly below the old range
        QCOMPARE(a.Minimum(), -20.0);
        QCOMPARE(a.Maximum(), -10.0);
        QVERIFY(!a.Automatic());
    }

    void singleBoundWrites_data()
    {
        // A manual range min..max, then one write; an empty message means
        // the write is accepted.
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<QString>("what");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("refusal");
        const QString minRefused = QStringLiteral("Axis Minimum Value must be <= Maximum");
        const QString maxRefused = QStringLiteral("Axis Maximum Value must be >= Minimum");
        const QString incRefused = QStringLiteral("Axis increment must be >= 0");
        const double nan = qQNaN();
        QTest::newRow("minimum above maximum") << 0.0 << 5.0 << "min" << 10.0 << minRefused;
        QTest::newRow("minimum equal to maximum") << 0.0 << 5.0 << "min" << 5.0 << QString();
        QTest::newRow("minimum not a number") << 0.0 << 5.0 << "min" << nan << minRefused;
        QTest::newRow("minimum against a maximum that is not a number") << 0.0 << nan << "min" << 3.0 << QString();
        QTest::newRow("maximum below minimum") << 0.0 << 5.0 << "max" << -1.0 << maxRefused;
        QTest::newRow("maximum equal to minimum") << 0.0 << 5.0 << "max" << 0.0 << QString();
        QTest::newRow("maximum not a number") << 0.0 << 5.0 << "max" << nan << maxRefused;
        QTest::newRow("maximum against a minimum that is not a number") << nan << 5.0 << "max" << 9.0 << maxRefused;
        QTest::newRow("negative increment") << 0.0 << 5.0 << "increment" << -1.0 << incRefused;
        QTest::newRow("increment not a number") << 0.0 << 5.0 << "increment" << nan << incRefused;
        QTest::newRow("zero increment") << 0.0 << 5.0 << "increment" << 0.0 << QString();
    }
    void singleBoundWrites()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(QString, what);
        QFETCH(double, value);
        QFETCH(QString, refusal);
        Chart c;
        TChartAxis& a = c.model.BottomAxis();
        a.SetMinMax(min, max);
        a.SetIncrement(1.5);
        auto same = [](double p, double q) { return p == q || (qIsNaN(p) && qIsNaN(q)); };
        QString message;
        try {
            if (what == QLatin1String("min"))
                a.SetMinimum(value);
            else if (what == QLatin1String("max"))
                a.SetMaximum(value);
            else
                a.SetIncrement(value);
        } catch (const AxisException& e) {
            message = e.Message();
        }
        QCOMPARE(message, refusal);
        const bool refused = !refusal.isEmpty();
        QVERIFY(same(a.Minimum(), what == QLatin1String("min") && !refused ? value : min));
        QVERIFY(same(a.Maximum(), what == QLatin1String("max") && !refused ? value : max));
        QVERIFY(same(a.Increment(), what == QLatin1String("increment") && !refused ? value : 1.5));
        QVERIFY(!a.Automatic());
    }

    void increment()
    {
        Chart c;
        TChartAxis& a = c.model.BottomAxis();
        a.SetIncrement(2.5);
        try {
            a.SetIncrement(-1);
            QFAIL("negative increment was accepted");
        } catch (const AxisException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Axis increment must be >= 0"));
        }
        QCOMPARE(a.Increment(), 2.5);
        a.SetIncrement(0);
        QCOMPARE(a.Increment(), 0.0);
    }

    void automaticRangeFollowsBothSeriesAndIsKeptWhenSwitchedOff()
    {
        Chart c;
        c.s1->Pointer().SetInflateMargins(false);
        c.s1->AddXY(1, 10);
        c.s1->AddXY(4, 20);
        c.s2->AddXY(-2, 5);
        TChartAxis& x = c.model.BottomAxis();
        TChartAxis& y = c.model.LeftAxis();
        x.UpdateAutomaticRange(500);
        QCOMPARE(x.Minimum(), -2.0);
        QCOMPARE(x.Maximum(), 4.0);
        QCOMPARE(y.Minimum(), 5.0);
        QCOMPARE(y.Maximum(), 20.0);
        c.s2->SetActive(false); // hidden series keep points but give no range
        QCOMPARE(c.s2->Count(), 1);
        QCOMPARE(x.Minimum(), 1.0);
        x.SetAutomatic(false);
        QVERIFY(!x.AutomaticMinimum() && !x.AutomaticMaximum());
        c.s1->AddXY(100, 1);
        QCOMPARE(x.Maximum(), 4.0);
    }

    void inflatedMarginsLeaveRoomForMarkers()
    {
        Chart c;
        c.s1->AddXY(0, 0);
        c.s1->AddXY(100, 100);
        TChartAxis& x = c.model.BottomAxis();
        x.UpdateAutomaticRange(110);
        // Half a marker (4 + 1 px) on each side of 100 px of data.
        QVERIFY(qAbs(x.Minimum() - -5.0) < 1e-9);
        QVERIFY(qAbs(x.Maximum() - 105.0) < 1e-9);
    }

    void markerAndPenEdges()
    {
        Chart c;
        c.s1->Pointer().SetSize(0);
        QCOMPARE(c.s1->Pointer().HorizSize(), 1);
        QCOMPARE(c.s1->Pointer().VertSize(), 1);
        c.s1->Pointer().SetSize(7);
        QCOMPARE(c.s1->Pointer().HorizSize(), 7);
        c.s2->LinePen().SetWidth(3);
        c.s2->LinePen().SetWidth(-3);
        QCOMPARE(c.s2->LinePen().Width(), 3);
    }

    void changesAreAnnounced()
    {
        Chart c;
        QSignalSpy spy(&c.model, &TChartModel::Changed);
        c.model.Title().Text().Clear();
        c.model.Title().Text().Add(QStringLiteral("Test"));
        c.model.LeftAxis().Title().SetCaption(QStringLiteral("Y"));
        c.s1->SetSeriesColor(clBlack);
        c.model.Walls().Back().SetTransparent(false);
        QCOMPARE(spy.count(), 5);
        c.model.Walls().Back().SetTransparent(false); // no change, no repaint
        QCOMPARE(spy.count(), 5);
    }

    void clearFreesSharedData()
    {
        Chart c;
        QList<double> xs{3, 2, 1}, ys{1, 2, 3};
        c.s1->AddXYs(xs, ys);
        QCOMPARE(c.s1->XValue(0), 1.0);
        QCOMPARE(c.s1->YValue(0), 3.0);
        c.s1->Clear();
        QCOMPARE(c.s1->Count(), 0);
        QCOMPARE(xs, (QList<double>{3, 2, 1})); // the caller's array is untouched
    }

    // A bulk add works the X order out only when something first needs it;
    // whatever needs it first, the points, labels and colours come out as
    // adding the points one by one leaves them, and stay so.
    void lazyOrderEqualsOneByOne_data()
    {
        QTest::addColumn<QString>("firstUse");
        QTest::newRow("point by index") << QStringLiteral("XValue");
        QTest::newRow("a later single point") << QStringLiteral("AddXY");
        QTest::newRow("a point of its own colour") << QStringLiteral("colour");
        QTest::newRow("a second bulk add") << QStringLiteral("AddXYs");
        QTest::newRow("the order itself") << QStringLiteral("XOrder");
    }
    void lazyOrderEqualsOneByOne()
    {
        QFETCH(QString, firstUse);
        QRandomGenerator rng(7);
        QList<double> xs, ys;
        for (int i = 0; i < 30000; ++i) {
            xs.append(double(rng.bounded(500)) * 0.25 - 40.0); // many equal X
            ys.append(i);
        }
        Chart lazy, eager;
        lazy.s1->AddXYs(xs, ys);
        QVERIFY(!lazy.s1->OrderKnown());
        QCOMPARE(lazy.s1->RawX().constData(), xs.constData()); // still shared
        for (qsizetype i = 0; i < xs.size(); ++i)
            eager.s1->AddXY(xs[i], ys[i]);

        auto both = [&](auto f) {
            f(*lazy.s1);
            f(*eager.s1);
        };
        if (firstUse == u"XValue") {
            QCOMPARE(lazy.s1->XValue(123), eager.s1->XValue(123));
        } else if (firstUse == u"AddXY") {
            QCOMPARE(lazy.s1->AddXY(0.0, -1.0), eager.s1->AddXY(0.0, -1.0));
        } else if (firstUse == u"colour") {
            both([](TChartSeries& s) { s.AddXY(10.0, -2.0, QStringLiteral("p"), RGBColor(1, 2, 3)); });
        } else if (firstUse == u"AddXYs") {
            const QList<double> more{5.0, -40.0, 200.0, 5.0}, moreY{-3, -4, -5, -6};
            lazy.s1->AddXYs(more, moreY);
            for (qsizetype i = 0; i < more.size(); ++i)
                eager.s1->AddXY(more[i], moreY[i]);
        } else {
            std::vector<std::uint32_t> expected(size_t(xs.size()));
            std::iota(expected.begin(), expected.end(), 0u);
            std::stable_sort(expected.begin(), expected.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return xs[a] < xs[b]; });
            QVERIFY(lazy.s1->XOrder() == expected);
        }
        // A second bulk add leaves the order of all points to be worked out.
        QCOMPARE(lazy.s1->OrderKnown(), firstUse != u"AddXYs");
        const std::vector<std::uint32_t> firstOrder = lazy.s1->XOrder();
        QCOMPARE(Points(*lazy.s1), Points(*eager.s1));
        for (qsizetype i = 0; i < eager.s1->Count(); ++i) {
            QCOMPARE(lazy.s1->Label(i), eager.s1->Label(i));
            QCOMPARE(lazy.s1->ValueColor(i), eager.s1->ValueColor(i));
        }
        QVERIFY(lazy.s1->XOrder() == firstOrder); // worked out once, then kept
    }
};

QTEST_GUILESS_MAIN(TestChartModel)
#include "tst_ChartModel.moc"
