// Drawing the chart: what a user sees in the picture, the label steps, and
// the chart control's accessible texts.

#include "Chart.h"
#include "ExactDouble.h"
#include "ChartModel.h"
#include "ChartRenderer.h"
#include "NumberFormat.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <limits>

namespace {

struct Chart {
    TChartModel model;
    TPointSeries* s1 = model.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    TLineSeries* s2 = model.AddSeries<TLineSeries>(QStringLiteral("Series2"));
};

QImage Render(const TChartModel& m, QSize size = QSize(749, 527))
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    RenderChart(m, p, QRect(QPoint(0, 0), size));
    return img;
}

int CountPixels(const QImage& img, const QRect& r, const std::function<bool(QColor)>& pred)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += pred(img.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool Near(QColor a, QColor b, int tol = 12)
{
    return qAbs(a.red() - b.red()) <= tol && qAbs(a.green() - b.green()) <= tol && qAbs(a.blue() - b.blue()) <= tol;
}

} // namespace

class TestChartRenderer : public QObject {
    Q_OBJECT
private slots:
    void init() { NumberFormat::SetCurrent(NumberFormat{u'.', u','}); }

    void titleIsBlueAndAligned_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("expectedThird"); // 0 left, 1 centre, 2 right
        QTest::newRow("left") << int(taLeftJustify) << 0;
        QTest::newRow("centre") << int(taCenter) << 1;
        QTest::newRow("right") << int(taRightJustify) << 2;
    }
    void titleIsBlueAndAligned()
    {
        QFETCH(int, alignment);
        QFETCH(int, expectedThird);
        Chart c;
        c.model.SubTitle().Text().Clear();
        c.model.Title().SetAlignment(TAlignment(alignment));
        const QImage img = Render(c.model);
        const QRect band(0, 0, img.width(), 30);
        const auto blue = [](QColor q) { return q.blue() > 150 && q.red() < 110 && q.green() < 110; };
        int counts[3];
        for (int t = 0; t < 3; ++t)
            counts[t] = CountPixels(img, QRect(t * img.width() / 3, 0, img.width() / 3, band.height()), blue);
        QVERIFY2(counts[expectedThird] > 20, "no blue title text where it belongs");
        for (int t = 0; t < 3; ++t)
            if (t != expectedThird)
                QVERIFY(counts[t] < counts[expectedThird]);
    }

    void borderAndShadow()
    {
        Chart c;
        QImage img = Render(c.model);
        QVERIFY(!Near(img.pixelColor(0, 100), Qt::black, 30));
        c.model.Border().SetVisible(true);
        img = Render(c.model);
        QCOMPARE(img.pixelColor(0, 100), QColor(Qt::black));

        c.model.Border().SetVisible(false);
        c.model.Shadow().SetVisible(true);
        img = Render(c.model);
        // Half-transparent silver over the white background, 10 px right and down.
        const QColor shadow = img.pixelColor(img.width() - 5, img.height() / 2);
        QVERIFY2(Near(shadow, QColor(224, 224, 224), 6), qPrintable(shadow.name()));
        QVERIFY(Near(img.pixelColor(5, img.height() - 5), Qt::white, 2)); // left of the shadow's offset
    }

    void shadowCornersShowTheWindowColour()
    {
        // The control paints every pixel itself: with the shadow shown, the
        // corners beside the shadow show the window, not what was there.
        TChart w;
        w.resize(400, 300);
        w.Shadow().SetVisible(true);
        QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::magenta);
        w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        const QColor window = w.palette().color(QPalette::Window);
        for (const QPoint pt : {QPoint(w.width() - 3, 3), QPoint(3, w.height() - 3)})
            QVERIFY2(Near(img.pixelColor(pt), window, 2), qPrintable(img.pixelColor(pt).name()));
    }

    // The control keeps the picture it drew, but always shows the chart as
    // it is now: after a change to the chart, to its size or to the window's
    // colour it shows what drawing afresh gives.
    void controlShowsTheChartAsItIsNow()
    {
        TChart w;
        w.resize(420, 300);
        auto* points = w.Model().AddSeries<TPointSeries>(QStringLiteral("Series1"));
        for (int i = 0; i < 50; ++i)
            points->AddXY(i, i % 7);
        w.Shadow().SetVisible(true);
        auto shown = [&] {
            QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::magenta);
            w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
            return img;
        };
        auto fresh = [&] {
            QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
            img.setDotsPerMeterX(qRound(w.logicalDpiX() / 0.0254));
            img.setDotsPerMeterY(qRound(w.logicalDpiY() / 0.0254));
            img.fill(w.palette().color(QPalette::Window));
            QPainter p(&img);
            // The control shows its window around the panel, and the shadow
            // as the opaque colour it blends to there.
            RenderHints hints;
            hints.backdrop = w.palette().color(QPalette::Window);
            RenderChart(w.Model(), p, w.rect(), hints);
            p.end();
            return img;
        };
        const QImage first = shown();
        QVERIFY(first == fresh());
        QVERIFY(shown() == first);
        w.Title().Text().Add(QStringLiteral("second line"));
        QVERIFY(shown() != first);
        QVERIFY(shown() == fresh());
        points->SetSeriesColor(RGBColor(10, 200, 10));
        QVERIFY(shown() == fresh());
        w.resize(380, 320);
        QVERIFY(shown() == fresh());
        QPalette red = w.palette();
        red.setColor(QPalette::Window, Qt::red);
        w.setPalette(red);
        const QImage corners = shown();
        QCOMPARE(corners.pixelColor(w.width() - 3, 3), QColor(Qt::red));
        QVERIFY(corners == fresh());
    }

    // While the control of a chart of a million points is being resized, its
    // plot area is the last exact picture's, stretched; a moment after the
    // last resize it shows the exact picture again, and exports are always
    // exact.
    void resizingStretchesMarkersThenSettles()
    {
        TChart w;
        w.resize(500, 400);
        auto* points = w.Model().AddSeries<TPointSeries>(QStringLiteral("Series1"));
        QRandomGenerator rng(4);
        QList<double> xs, ys;
        for (int i = 0; i < 1000000; ++i) {
            xs << rng.generateDouble() * 100.0;
            ys << xs.back() + rng.generateDouble() * 30.0;
        }
        points->AddXYs(xs, ys);
        w.BottomAxis().SetMinMax(0, 100);
        w.LeftAxis().SetMinMax(0, 130);
        auto shown = [&] {
            QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
            w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
            return img;
        };
        auto fresh = [&] {
            QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
            img.setDotsPerMeterX(qRound(w.logicalDpiX() / 0.0254));
            img.setDotsPerMeterY(qRound(w.logicalDpiY() / 0.0254));
            img.fill(w.palette().color(QPalette::Window));
            TChartModel exact; // a chart that kept nothing
            auto* copy = exact.AddSeries<TPointSeries>(QStringLiteral("Series1"));
            copy->AddXYs(xs, ys);
            exact.BottomAxis().SetMinMax(0, 100);
            exact.LeftAxis().SetMinMax(0, 130);
            QPainter p(&img);
            RenderChart(exact, p, w.rect());
            p.end();
            return img;
        };
        QVERIFY(shown() == fresh());
        w.resize(530, 420);
        const QImage stretched = shown();
        const QImage exact = fresh();
        QVERIFY(w.RenderImage(w.palette().color(QPalette::Window)).convertToFormat(exact.format()) == exact);
        // Stretched, yet close to the exact picture: the markers shift by a
        // pixel or so, so where the picture is dark (inside markers) hardly
        // changes.
        int changed = 0, covered = 0;
        bool anyDifference = false;
        for (int y = 0; y < exact.height(); ++y)
            for (int x = 0; x < exact.width(); ++x) {
                const bool a = qGray(stretched.pixel(x, y)) < 128, b = qGray(exact.pixel(x, y)) < 128;
                changed += a != b;
                covered += b;
                anyDifference = anyDifference || stretched.pixel(x, y) != exact.pixel(x, y);
            }
        QVERIFY(anyDifference);
        QVERIFY2(covered > 10000 && changed < covered / 50, qPrintable(QStringLiteral("%1 of %2").arg(changed).arg(covered)));
        QTest::qWait(400);
        QVERIFY(shown() == exact);
    }

    void wallFillAndPicture()
    {
        Chart c;
        c.s1->AddXY(0, 0);
        c.s1->AddXY(10, 10);
        const QRect plot = ComputeChartLayout(c.model, QRect(0, 0, 749, 527)).plot;
        const QPoint probe = plot.center() + QPoint(37, -53); // away from markers and grid lines

        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(QColor(0, 200, 0));
        c.model.Walls().Back().Picture().SetImage(picture);
        QVERIFY(c.model.Walls().Back().Transparent());
        QImage img = Render(c.model);
        QVERIFY2(Near(img.pixelColor(probe), QColor(0, 200, 0)), "picture not shown on a transparent wall");

        c.model.Walls().Back().Picture().Clear();
        c.model.Walls().Back().SetColor(RGBColor(255, 0, 0));
        c.model.Walls().Back().SetTransparent(false);
        img = Render(c.model);
        QVERIFY(Near(img.pixelColor(probe), QColor(255, 0, 0)));
    }

    void markersTakeTheSeriesColour()
    {
        Chart c;
        c.s1->AddXY(1, 1);
        c.s1->AddXY(2, 2);
        c.s1->AddXY(3, 3);
        c.s1->SetSeriesColor(RGBColor(255, 0, 255));
        const QImage img = Render(c.model);
        const auto magenta = [](QColor q) { return q.red() > 200 && q.blue() > 200 && q.green() < 60; };
        const int three = CountPixels(img, img.rect(), magenta);
        QVERIFY(three > 3 * 20);
        c.s1->Pointer().SetSize(1);
        const int small = CountPixels(Render(c.model), img.rect(), magenta);
        QVERIFY(small > 0 && small < three);
    }

    // Each pixel that a point lands on gets one marker, in the order of the
    // first point there; two threads on halves of a large series find the
    // same positions in the same order as one walk.
    void markerPositionsAreEachPixelOnceInFirstPointOrder()
    {
        Chart c;
        QRandomGenerator rng(5);
        QList<double> xs, ys;
        for (int i = 0; i < 300001; ++i) {
            // Coarse values: many points share a pixel, in both halves;
            // some lie off the plot.
            xs << double(rng.bounded(2000)) * 0.01 - 3.0;
            ys << double(rng.bounded(1300)) * 0.01 - 3.0;
        }
        c.s1->AddXYs(xs, ys);
        c.model.BottomAxis().SetMinMax(0, 17);
        c.model.LeftAxis().SetMinMax(-2, 9);
        const ChartLayout L = ComputeChartLayout(c.model, QRect(0, 0, 749, 527));
        const QRect area = L.plot.adjusted(-5, -5, 5, 5);
        const std::vector<QPoint> one = renderer_detail::DistinctPositions(*c.s1, L, area, false);
        const std::vector<QPoint> two = renderer_detail::DistinctPositions(*c.s1, L, area, true);
        QVERIFY(one == two);
        // Where a point goes: its distance from each axis's low end in pixels.
        const double perX = L.plot.width() / (L.xHi - L.xLo), perY = L.plot.height() / (L.yHi - L.yLo);
        std::vector<QPoint> expected;
        QSet<QPair<int, int>> seen;
        for (qsizetype i = 0; i < xs.size(); ++i) {
            const double fx = double(L.plot.left() - area.left()) + (xs[i] - L.xLo) * perX + 0.5;
            const double fy = double(L.plot.bottom() + 1 - area.top()) - (ys[i] - L.yLo) * perY + 0.5;
            if (!(fx >= 0 && fx < area.width() && fy >= 0 && fy < area.height()))
                continue;
            const QPair<int, int> at(int(fx) + area.left(), int(fy) + area.top());
            if (!seen.contains(at)) {
                seen.insert(at);
                expected.emplace_back(at.first, at.second);
            }
        }
        // Plenty of pixels, most of them reached more than once.
        QVERIFY(expected.size() > 100000 && expected.size() < size_t(xs.size()) * 3 / 5);
        QVERIFY(one == expected);
    }

    // The marker positions are kept between renders; after any change the
    // picture is the one a chart that never drew before gives.
    void keptMarkerPositionsFollowEveryChange_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* c : {"none", "axis range", "marker size", "marker style and colour", "a title line",
                              "another size", "new points", "one more point", "hidden and shown"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void keptMarkerPositionsFollowEveryChange()
    {
        QFETCH(QString, change);
        QRandomGenerator rng(8);
        QList<double> xs, ys, others;
        for (int i = 0; i < 300000; ++i) {
            xs << rng.generateDouble() * 10.0;
            ys << xs.back() * 0.5 + rng.generateDouble();
            others << rng.generateDouble() * 10.0;
        }
        QSize size(749, 527);
        auto setUp = [&](Chart& c) {
            c.s1->AddXYs(xs, ys);
            c.model.BottomAxis().SetMinMax(-1, 11);
            c.model.LeftAxis().SetMinMax(-1, 7);
        };
        auto apply = [&](Chart& c) {
            if (change == u"axis range")
                c.model.BottomAxis().SetMinMax(2, 8);
            else if (change == u"marker size")
                c.s1->Pointer().SetSize(2);
            else if (change == u"marker style and colour") {
                c.s1->Pointer().SetStyle(psDiamond);
                c.s1->SetSeriesColor(RGBColor(200, 30, 30));
            } else if (change == u"a title line")
                c.model.Title().Text().Add(QStringLiteral("two"));
            else if (change == u"another size")
                size = QSize(700, 560);
            else if (change == u"new points") {
                c.s1->Clear();
                c.s1->AddXYs(others, ys);
            } else if (change == u"one more point")
                c.s1->AddXY(5.0, 9.0);
            else if (change == u"hidden and shown") {
                c.s1->SetActive(false);
                c.s1->SetActive(true);
            }
        };
        Chart drawn, fresh;
        setUp(drawn);
        Render(drawn.model, size);
        apply(drawn);
        setUp(fresh);
        apply(fresh);
        const QImage again = Render(drawn.model, size);
        QVERIFY(again == Render(fresh.model, size));
        if (change != u"none")
            QVERIFY(again != Render(Chart().model, size)); // something was drawn
    }

    // Far from zero the markers stay where the axes put them, on the line
    // through them: eleven points one ulp apart around each offset.
    void markersFollowTheLineFarFromZero_data()
    {
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("onX");
        for (double offset : {0.0, 1e17, -1e17, 1e300, -1e300})
            for (bool onX : {true, false})
                QTest::addRow("%s %g", onX ? "X" : "Y", offset) << offset << onX;
    }
    void markersFollowTheLineFarFromZero()
    {
        QFETCH(double, offset);
        QFETCH(bool, onX);
        // v[k] for k = -5 ... 15: consecutive doubles from the offset (or
        // whole numbers around zero), so every value is exact.
        QList<double> v;
        double at = offset;
        for (int k = 0; k < 5; ++k)
            at = offset == 0.0 ? at - 1.0 : std::nextafter(at, -HUGE_VAL);
        for (int k = -5; k <= 15; ++k) {
            v.append(at);
            at = offset == 0.0 ? at + 1.0 : std::nextafter(at, HUGE_VAL);
        }
        auto far = [&](int k) { return v[k + 5]; };
        Chart c;
        TChartAxis& farAxis = onX ? c.model.BottomAxis() : c.model.LeftAxis();
        TChartAxis& nearAxis = onX ? c.model.LeftAxis() : c.model.BottomAxis();
        farAxis.SetMinMax(far(-5), far(15));
        nearAxis.SetMinMax(-5, 15);
        for (int k = 0; k <= 10; ++k)
            onX ? c.s1->AddXY(far(k), k) : c.s1->AddXY(k, far(k));
        onX ? c.s2->AddXY(far(0), 0) : c.s2->AddXY(0, far(0));
        onX ? c.s2->AddXY(far(10), 10) : c.s2->AddXY(10, far(10));
        c.s1->SetSeriesColor(RGBColor(255, 0, 255));
        c.s2->SetSeriesColor(RGBColor(0, 200, 0));
        c.s2->LinePen().SetWidth(3);
        const ChartLayout L = ComputeChartLayout(c.model, QRect(0, 0, 749, 527));
        c.s2->SetActive(false);
        const QImage markers = Render(c.model);
        c.s2->SetActive(true);
        c.s1->SetActive(false);
        const QImage line = Render(c.model);
        const auto isMarker = [](QColor q) { return q.red() > 200 && q.blue() > 200 && q.green() < 60; };
        const auto isLine = [](QColor q) { return q.green() > 120 && q.red() < 90 && q.blue() < 90; };
        for (int k = 0; k <= 10; ++k) {
            // Where the axes put value k of 20 units: from small numbers only.
            const double ex = L.plot.left() + (k + 5) / 20.0 * L.plot.width();
            const double ey = L.plot.bottom() + 1 - (k + 5) / 20.0 * L.plot.height();
            double sx = 0, sy = 0;
            int n = 0;
            for (int y = int(ey) - 12; y <= int(ey) + 12; ++y)
                for (int x = int(ex) - 12; x <= int(ex) + 12; ++x)
                    if (isMarker(markers.pixelColor(x, y))) {
                        sx += x + 0.5;
                        sy += y + 0.5;
                        ++n;
                    }
            QVERIFY2(n > 10, qPrintable(QStringLiteral("no marker for point %1").arg(k)));
            const double cx = sx / n, cy = sy / n;
            QVERIFY2(qAbs(cx - ex) <= 1.5 && qAbs(cy - ey) <= 1.5,
                     qPrintable(QStringLiteral("point %1 drawn at (%2, %3), not (%4, %5)").arg(k).arg(cx).arg(cy).arg(ex).arg(ey)));
            // The line runs through the marker's centre (its flat ends stop
            // right at the first and last one).
            if (k == 0 || k == 10)
                continue;
            double ly = 0;
            int m = 0;
            for (int y = L.plot.top(); y <= L.plot.bottom(); ++y)
                if (isLine(line.pixelColor(int(cx), y))) {
                    ly += y + 0.5;
                    ++m;
                }
            QVERIFY2(m > 0, qPrintable(QStringLiteral("no line at column %1").arg(int(cx))));
            QVERIFY2(qAbs(ly / m - cy) <= 2.0, qPrintable(QStringLiteral("line at %1, marker at %2").arg(ly / m).arg(cy)));
        }
    }

    // A line whose ends lie far above and below the plot area (the left
    // axis zoomed in on a small part of a steep line) is still drawn where
    // it crosses the plot.
    void steepLineWithFarEndsIsDrawn_data()
    {
        QTest::addColumn<double>("reach");
        QTest::newRow("1e3") << 1e3;
        QTest::newRow("1e12") << 1e12;
        QTest::newRow("1e100") << 1e100;
        QTest::newRow("1e300") << 1e300;
    }
    void steepLineWithFarEndsIsDrawn()
    {
        QFETCH(double, reach);
        Chart c;
        c.model.LeftAxis().SetMinMax(-5, 15);
        c.model.BottomAxis().SetMinMax(-5, 15);
        c.s2->AddXY(0, -reach); // through (5, 0)
        c.s2->AddXY(10, reach);
        c.s2->SetSeriesColor(RGBColor(0, 200, 0));
        c.s2->LinePen().SetWidth(3);
        const QImage img = Render(c.model);
        const ChartLayout L = ComputeChartLayout(c.model, img.rect());
        const auto isLine = [](QColor q) { return q.green() > 120 && q.red() < 90 && q.blue() < 90; };
        for (double y : {-4.0, 0.0, 10.0}) {
            const double x = 5 + 5 * y / reach;
            const int px = int(L.plot.left() + (x + 5) / 20 * L.plot.width());
            const int py = int(L.plot.bottom() + 1 - (y + 5) / 20 * L.plot.height());
            QVERIFY2(CountPixels(img, QRect(px - 3, py - 3, 7, 7), isLine) > 0,
                     qPrintable(QStringLiteral("no line near (%1, %2)").arg(px).arg(py)));
        }
    }

    // Points with colours of their own are drawn one by one; one far off
    // the plot area is passed over and the others are drawn.
    void ownColouredPointsFarOffThePlot()
    {
        Chart c;
        c.model.LeftAxis().SetMinMax(0, 10);
        c.model.BottomAxis().SetMinMax(0, 10);
        c.s1->AddXY(5, 5, QString(), RGBColor(255, 0, 255));
        c.s1->AddXY(1e300, -1e300, QString(), RGBColor(255, 0, 255));
        c.s1->AddXY(-1e300, std::numeric_limits<double>::max(), QString(), RGBColor(255, 0, 255));
        QVERIFY(c.s1->HasPointColors());
        const QImage img = Render(c.model);
        const QRect plot = ComputeChartLayout(c.model, img.rect()).plot;
        const auto magenta = [](QColor q) { return q.red() > 200 && q.blue() > 200 && q.green() < 60; };
        QVERIFY(CountPixels(img, QRect(plot.center() - QPoint(6, 6), QSize(13, 13)), magenta) > 10);
        QVERIFY(CountPixels(img, img.rect(), magenta) < 120); // the one marker only
    }

    void lineIsDrawnBetweenItsPoints()
    {
        Chart c;
        c.s1->AddXY(0, 0);
        c.s1->AddXY(10, 10);
        c.s2->AddXY(0, 0);
        c.s2->AddXY(10, 10);
        c.s2->SetSeriesColor(RGBColor(0, 255, 0));
        const auto green = [](QColor q) { return q.green() > 200 && q.red() < 80 && q.blue() < 80; };
        QVERIFY(CountPixels(Render(c.model), QRect(0, 0, 749, 527), green) > 200);
        c.s2->SetActive(false);
        QCOMPARE(CountPixels(Render(c.model), QRect(0, 0, 749, 527), green), 0);
    }

    void incrementSteps_data()
    {
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("increment");
        QTest::newRow("preferred step fits") << 100.0 << 25.0;
        QTest::newRow("doubled until it fits") << 100.0 << 0.1;
        QTest::newRow("tiny step doubled many times") << 1000.0 << 1e-6;
    }
    void incrementSteps()
    {
        QFETCH(double, hi);
        QFETCH(double, increment);
        Chart c;
        TChartAxis& a = c.model.BottomAxis();
        a.SetIncrement(increment);
        QFont f;
        f.setPixelSize(11);
        const QFontMetrics fm(f);
        const int length = 500;
        const AxisTicks t = ComputeAxisTicks(a, 0.0, hi, length, fm);
        QVERIFY(t.step >= increment);
        // Each doubling is exact in binary, so the step is increment * 2^k
        // bit for bit.
        const int k = int(std::lround(std::log2(t.step / increment)));
        QCOMPARE_EXACT(t.step, std::ldexp(increment, k));
        auto widestAt = [&](double step) {
            int widest = 0;
            for (double v = 0; v <= hi + 1e-9; v += step)
                widest = std::max(widest, fm.horizontalAdvance(FormatGrouped(v, 3, NumberFormat::Current())));
            return widest;
        };
        const double pxPerUnit = length / hi;
        QVERIFY2(t.step * pxPerUnit >= widestAt(t.step), "labels overlap");
        if (t.step > increment) // the previous doubling would have crowded them
            QVERIFY(t.step / 2 * pxPerUnit < widestAt(t.step / 2) + 12);
        if (increment == 25.0)
            QCOMPARE(t.step, 25.0);
    }

    void labelsNeverRepeatATextWithinTheirThreeDecimals_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("increment");
        QTest::newRow("automatic, range below the last decimal") << 0.0001 << 0.0005 << 0.0;
        QTest::newRow("automatic, range across zero") << -0.004 << 0.004 << 0.0;
        QTest::newRow("automatic, large values, small range") << 1000.0001 << 1000.009 << 0.0;
        QTest::newRow("preferred step below the last decimal") << 0.0 << 0.01 << 0.0001;
    }
    void labelsNeverRepeatATextWithinTheirThreeDecimals()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(double, increment);
        Chart c;
        TChartAxis& a = c.model.LeftAxis();
        a.SetIncrement(increment);
        QFont f;
        f.setPixelSize(11);
        const AxisTicks t = ComputeAxisTicks(a, lo, hi, 400, QFontMetrics(f));
        for (qsizetype i = 1; i < t.texts.size(); ++i)
            QVERIFY2(t.texts[i] != t.texts[i - 1], qPrintable(t.texts.join(u' ')));
        if (increment == 0.0 && lo < 0.0 && hi > 0.0)
            QVERIFY2(t.texts.contains(QStringLiteral("0")), qPrintable(t.texts.join(u' ')));
    }

    // Large values with a small spread still get their labels, as long as
    // the doubles there can hold the step's multiples to a thousandth of a
    // step; near 1e18 (doubles 128 apart) multiples of 200 cannot.
    void largeValuesWithASmallSpread_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<int>("atLeast");
        QTest::newRow("seconds since 1970 with milliseconds") << 1.7e9 << 1.7e9 + 0.01 << 3;
        QTest::newRow("1e12 and a half") << 1e12 << 1e12 + 0.5 << 2;
        QTest::newRow("1e15 and fifty") << 1e15 << 1e15 + 50.0 << 3;
        QTest::newRow("1e18 and 1536") << 1e18 - 256 << 1e18 + 1280 << 1;
    }
    void largeValuesWithASmallSpread()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(int, atLeast);
        Chart c;
        QFont f;
        f.setPixelSize(11);
        const AxisTicks t = ComputeAxisTicks(c.model.LeftAxis(), lo, hi, 450, QFontMetrics(f));
        QVERIFY2(t.values.size() >= atLeast, qPrintable(t.texts.join(u' ')));
        for (qsizetype i = 0; i < t.values.size(); ++i) {
            QVERIFY(t.values[i] >= lo && t.values[i] <= hi);
            if (i > 0)
                QVERIFY2(t.texts[i] != t.texts[i - 1], qPrintable(t.texts.join(u' ')));
            // Evenly spaced: every label a whole number of steps from the first.
            const long double steps = ((long double)t.values[i] - t.values[0]) / t.step;
            QVERIFY2(fabsl(steps - roundl(steps)) <= 1e-3L, qPrintable(t.texts.join(u' ')));
        }
    }

    void automaticStepIsNiceAndLabelsUseRegionalSeparators()
    {
        Chart c;
        QFont f;
        f.setPixelSize(11);
        const AxisTicks t = ComputeAxisTicks(c.model.LeftAxis(), 0, 12345, 400, QFontMetrics(f));
        const double m = t.step / std::pow(10.0, std::floor(std::log10(t.step)));
        QVERIFY(qFuzzyCompare(m, 1.0) || qFuzzyCompare(m, 2.0) || qFuzzyCompare(m, 5.0));
        QVERIFY(t.texts.contains(QStringLiteral("10,000")));

        NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        const AxisTicks d = ComputeAxisTicks(c.model.LeftAxis(), 0, 1.0, 400, QFontMetrics(f));
        QVERIFY2(d.texts.contains(QStringLiteral("0,5")), qPrintable(d.texts.join(u' ')));
        const AxisTicks big = ComputeAxisTicks(c.model.LeftAxis(), 0, 12345, 400, QFontMetrics(f));
        QVERIFY(big.texts.contains(QStringLiteral("10.000")));
    }

    void emptyChartHasNoLabels()
    {
        Chart c;
        const ChartLayout L = ComputeChartLayout(c.model, QRect(0, 0, 749, 527));
        QVERIFY(L.xEmpty && L.yEmpty);
        QVERIFY(L.xTicks.values.isEmpty() && L.yTicks.values.isEmpty());
        QVERIFY(L.plot.width() > 600 && L.plot.height() > 380);
    }

    void automaticAxesLabelDataOnZero()
    {
        // Points that all lie on zero give an automatic axis a range of
        // zero width; the axes still carry labels, as for any other data.
        Chart c;
        c.s1->AddXY(0, 0);
        c.s1->AddXY(0, 0);
        const ChartLayout L = ComputeChartLayout(c.model, QRect(0, 0, 749, 527));
        QVERIFY(!L.xEmpty && !L.yEmpty);
        QVERIFY(L.xTicks.texts.contains(QStringLiteral("0")));
        QVERIFY(L.yTicks.texts.contains(QStringLiteral("0")));
    }

    void bottomLabelsStayInsideThePanel_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<int>("width");
        QTest::newRow("long first label, narrow left labels") << 1e9 << 3e9 << 749;
        QTest::newRow("negative long labels") << -3e9 << -1e9 << 749;
        QTest::newRow("small chart") << -123456.0 << 987654.0 << 260;
    }
    void bottomLabelsStayInsideThePanel()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(int, width);
        Chart c;
        c.model.LeftAxis().SetMinMax(0, 1);
        c.model.BottomAxis().SetMinMax(lo, hi);
        const QRect rect(0, 0, width, 300);
        const ChartLayout L = ComputeChartLayout(c.model, rect);
        QVERIFY(!L.xTicks.values.isEmpty());
        QFont f = c.model.BottomAxis().LabelsFont().ToQFont();
        const QFontMetrics fm(f);
        const double sx = L.plot.width() / (L.xHi - L.xLo);
        for (qsizetype i = 0; i < L.xTicks.values.size(); ++i) {
            const double centre = L.plot.left() + (L.xTicks.values[i] - L.xLo) * sx;
            const int half = fm.horizontalAdvance(L.xTicks.texts[i]) / 2;
            QVERIFY2(centre - half >= rect.left() && centre + half <= rect.right(), qPrintable(L.xTicks.texts[i]));
        }
    }

    void drawingStaysInsideItsRectangle_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("shadow");
        QTest::newRow("empty rectangle") << QSize(0, 0) << true;
        QTest::newRow("one pixel") << QSize(1, 1) << false;
        QTest::newRow("smaller than the shadow") << QSize(8, 6) << true;
        QTest::newRow("narrow") << QSize(40, 300) << false;
        QTest::newRow("flat") << QSize(300, 30) << true;
        QTest::newRow("the window's chart") << QSize(749, 527) << true;
    }
    void drawingStaysInsideItsRectangle()
    {
        // A splitter can squeeze the chart to almost nothing: drawing still
        // keeps to the chart's own rectangle.
        QFETCH(QSize, size);
        QFETCH(bool, shadow);
        Chart c;
        for (int i = 0; i < 50; ++i)
            c.s1->AddXY(i, i * i);
        c.s2->AddXY(0, 0);
        c.s2->AddXY(49, 2401);
        c.s2->LinePen().SetWidth(5);
        c.s1->Pointer().SetSize(9);
        c.model.Shadow().SetVisible(shadow);
        c.model.Border().SetVisible(true);
        c.model.LeftAxis().Title().SetCaption(QStringLiteral("縦軸"));
        c.model.BottomAxis().Title().SetCaption(QStringLiteral("横軸"));
        const QRect rect(QPoint(20, 20), size);
        QImage img(size + QSize(40, 40), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::magenta);
        {
            QPainter p(&img);
            RenderChart(c.model, p, rect);
        }
        const QRect all = img.rect();
        const int outside = CountPixels(img, all, [](QColor) { return true; }) -
                            CountPixels(img, rect, [](QColor) { return true; });
        const auto untouched = [](QColor q) { return q == QColor(Qt::magenta); };
        QCOMPARE(CountPixels(img, all, untouched) - CountPixels(img, rect, untouched), outside);
    }

    void zeroWidthRangeStillDraws()
    {
        Chart c;
        c.s1->AddXY(5, 5);
        c.model.LeftAxis().SetMinMax(5, 5);
        c.model.BottomAxis().SetMinMax(5, 5);
        const ChartLayout L = ComputeChartLayout(c.model, QRect(0, 0, 749, 527));
        QVERIFY(L.xHi > L.xLo && L.yHi > L.yLo);
        const auto series = [](QColor q) { return Near(q, QColor(68, 102, 163), 20); };
        QVERIFY(CountPixels(Render(c.model), L.plot, series) > 10);
    }

    void accessibleTextsFollowTheChart()
    {
        TChart w;
        QCOMPARE(w.accessibleName(), QStringLiteral("Plotmere Graph"));
        QCOMPARE(w.accessibleDescription(), QStringLiteral("Sub Title"));
        w.SubTitle().Text().Clear();
        w.SubTitle().Text().Add(QStringLiteral("回帰直線 Y =2.000X + 0.000   相関係数= 1.000"));
        w.BottomAxis().Title().SetCaption(QStringLiteral("時間"));
        QVERIFY(w.accessibleDescription().startsWith(QStringLiteral("回帰直線 Y =2.000X")));
        QVERIFY(w.accessibleDescription().contains(QStringLiteral("時間")));
        w.Title().Text().Clear();
        w.Title().Text().Add(QStringLiteral("Test"));
        QCOMPARE(w.accessibleName(), QStringLiteral("Test"));
    }
};

QTEST_MAIN(TestChartRenderer)
#include "tst_ChartRenderer.moc"
