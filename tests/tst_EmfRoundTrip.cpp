// A chart written as an enhanced metafile and played back must look like the
// chart drawn directly: what the writer records and what the player draws
// meet in the middle, for every style the chart's controls can set.

#include "ChartExport.h"
#include "ChartModel.h"
#include "ChartRenderer.h"
#include "Metafile.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <functional>

namespace {

const QSize kSize(749, 527);

// Two series as the program sets them up, with a small table plotted.
struct Chart {
    TChartModel model;
    TPointSeries* points = model.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    TLineSeries* line = model.AddSeries<TLineSeries>(QStringLiteral("Series2"));
    Chart()
    {
        const double xs[] = {1, 2, 3, 4, 5, 6, 7, 8};
        const double ys[] = {2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.3};
        for (int i = 0; i < 8; ++i)
            points->AddXY(xs[i], ys[i]);
        model.BottomAxis().SetMinMax(-0.75, 9.75);
        model.LeftAxis().SetMinMax(-1.45, 19.85);
        line->AddXY(0.125, 0.2);
        line->AddXY(8.875, 17.9);
        model.SubTitle().Text().Clear();
        model.SubTitle().Text().Add(QStringLiteral("回帰直線 Y =2.014X - 0.050   相関係数= 0.999"));
        model.BottomAxis().Title().SetCaption(QStringLiteral("時間"));
        model.LeftAxis().Title().SetCaption(QStringLiteral("電圧"));
    }
};

QImage Direct(const TChartModel& model)
{
    QImage img(kSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    RenderChart(model, p, img.rect());
    return img;
}

QImage PlayedBack(const TChartModel& model)
{
    const std::shared_ptr<const Metafile> emf = Metafile::Load(ChartMetafile(model, kSize, 96));
    QImage img(kSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    emf->Play(p, QRectF(QPointF(0, 0), QSizeF(kSize)));
    return img;
}

// Share of pixels whose colour differs by more than `threshold` in a
// channel. Edges of anti-aliased shapes and glyphs differ by less, or in a
// thin seam; a missing, moved or recoloured part differs over its area.
double DifferentShare(const QImage& a, const QImage& b, int threshold)
{
    qint64 differ = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (std::abs(qRed(pa[x]) - qRed(pb[x])) > threshold || std::abs(qGreen(pa[x]) - qGreen(pb[x])) > threshold ||
                std::abs(qBlue(pa[x]) - qBlue(pb[x])) > threshold)
                ++differ;
        }
    }
    return double(differ) / (double(a.width()) * a.height());
}

void SetFont(TChartFont& f, const QString& name, int size, TColor color, TFontStyles style)
{
    f.SetName(name);
    f.SetSize(size);
    f.SetColor(color);
    f.SetStyle(style);
}

QImage Gradient()
{
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(255 - 2 * x, 200 + y, 120 + 2 * y));
    return img;
}

using Styling = std::function<void(Chart&)>;

} // namespace

Q_DECLARE_METATYPE(Styling)

class TestEmfRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void playedBackLooksLikeTheChart_data()
    {
        QTest::addColumn<Styling>("style");
        QTest::newRow("start values") << Styling([](Chart&) {});
        QTest::newRow("empty chart") << Styling([](Chart& c) {
            c.points->Clear();
            c.line->Clear();
            c.model.LeftAxis().SetAutomatic(true);
            c.model.BottomAxis().SetAutomatic(true);
        });
        QTest::newRow("title fonts and right alignment") << Styling([](Chart& c) {
            SetFont(c.model.Title().Font(), QStringLiteral("Noto Serif CJK JP"), 16, RGBColor(200, 0, 0),
                    fsBold | fsItalic);
            c.model.Title().SetAlignment(taRightJustify);
            SetFont(c.model.SubTitle().Font(), QStringLiteral("DejaVu Sans"), 10, RGBColor(0, 120, 0), fsBold);
        });
        QTest::newRow("left alignment, axis name fonts") << Styling([](Chart& c) {
            c.model.Title().SetAlignment(taLeftJustify);
            SetFont(c.model.LeftAxis().Title().Font(), QStringLiteral("DejaVu Sans"), 12, RGBColor(0, 0, 160), fsBold);
            SetFont(c.model.BottomAxis().Title().Font(), QStringLiteral("DejaVu Sans"), 12, RGBColor(0, 0, 160), fsBold);
        });
        QTest::newRow("colours") << Styling([](Chart& c) {
            c.model.SetColor(RGBColor(250, 240, 200));
            c.model.Walls().Back().SetColor(RGBColor(210, 230, 255));
            c.model.Walls().Back().SetTransparent(false);
            c.points->SetSeriesColor(RGBColor(200, 30, 30));
            c.line->SetSeriesColor(RGBColor(20, 140, 20));
        });
        for (const auto& [name, shape] : {std::pair{"rectangles", psRectangle}, std::pair{"triangles", psTriangle},
                                          std::pair{"diamonds", psDiamond}}) {
            QTest::newRow(name) << Styling([shape = shape](Chart& c) {
                c.points->Pointer().SetStyle(shape);
                c.points->Pointer().SetSize(7);
            });
        }
        for (const auto& [name, pen] : {std::pair{"dash", psDash}, std::pair{"dot", psDot},
                                        std::pair{"dash dot", psDashDot}, std::pair{"dash dot dot", psDashDotDot}}) {
            QTest::newRow(name) << Styling([pen = pen](Chart& c) {
                c.line->LinePen().SetStyle(pen);
                c.line->LinePen().SetWidth(3);
            });
        }
        QTest::newRow("hidden line, big markers") << Styling([](Chart& c) {
            c.line->SetActive(false);
            c.points->Pointer().SetSize(20);
        });
        QTest::newRow("border and shadow") << Styling([](Chart& c) {
            c.model.Border().SetVisible(true);
            c.model.Shadow().SetVisible(true);
        });
        QTest::newRow("background picture") << Styling([](Chart& c) { c.model.Walls().Back().Picture().SetImage(Gradient()); });
        QTest::newRow("everything at once") << Styling([](Chart& c) {
            SetFont(c.model.Title().Font(), QStringLiteral("Noto Sans CJK JP"), 14, RGBColor(128, 0, 128),
                    fsBold | fsUnderline);
            c.model.Title().Text().Clear();
            c.model.Title().Text().Add(QStringLiteral("電圧の時間変化"));
            c.model.SetColor(RGBColor(235, 235, 245));
            c.model.Walls().Back().Picture().SetImage(Gradient());
            c.model.Border().SetVisible(true);
            c.model.Shadow().SetVisible(true);
            c.points->Pointer().SetStyle(psDiamond);
            c.line->LinePen().SetStyle(psDashDot);
            c.line->LinePen().SetWidth(2);
        });
    }
    void playedBackLooksLikeTheChart()
    {
        QFETCH(Styling, style);
        Chart c;
        style(c);
        const QImage direct = Direct(c.model);
        const QImage played = PlayedBack(c.model);
        const double share = DifferentShare(direct, played, 96);
        if (share > 0.01) {
            const QString name = QStringLiteral("/tmp/emf-roundtrip-%1").arg(QString::fromLatin1(QTest::currentDataTag()));
            direct.save(name + QStringLiteral("-direct.png"));
            played.save(name + QStringLiteral("-played.png"));
        }
        QVERIFY2(share <= 0.01, qPrintable(QStringLiteral("%1 % of the pixels differ").arg(share * 100, 0, 'f', 2)));
    }

    // The comparison itself tells a different picture apart: a chart with
    // other colours and without its line must not pass for the first one.
    void comparisonSeesADifferentChart()
    {
        Chart a, b;
        b.model.SetColor(RGBColor(40, 40, 120));
        b.line->SetActive(false);
        QVERIFY(DifferentShare(Direct(a.model), PlayedBack(b.model), 96) > 0.2);
    }
};

QTEST_MAIN(TestEmfRoundTrip)
#include "tst_EmfRoundTrip.moc"
