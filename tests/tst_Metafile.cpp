// The metafile player: files made by other programs play back like their
// makers' own renderings, the hand-made edge files put flat colours where
// their records say, broken files are refused with a message naming the
// fault or skipped record by record, and the painter is left as found.

#include "AnsiText.h"
#include "Exceptions.h"
#include "Metafile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cstring>

namespace {

const QString kData = QStringLiteral(PLOTMERE_TEST_DATA "/metafile/");

QByteArray Read(const QString& name)
{
    QFile f(kData + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QImage Render(const Metafile& m, QSize size, QColor background = Qt::white)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    QPainter p(&img);
    m.Play(p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return img;
}

int ChannelDiff(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// A probe: the colour expected at a pixel.
struct Probe {
    int x, y;
    QRgb color;
};
using Probes = QList<Probe>;

QString Describe(const Probe& p, QRgb got)
{
    return QStringLiteral("(%1, %2): expected #%3, got #%4")
        .arg(p.x).arg(p.y)
        .arg(p.color & 0xFFFFFF, 6, 16, QLatin1Char('0'))
        .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// Probes sit at least a few pixels inside their shapes, so only a wrong
// colour or a misplaced shape fails them; 24 levels allow for colour
// rounding in 16-bit bitmaps and blending at the edges of smooth scaling.
void CheckProbes(const QImage& img, const Probes& probes)
{
    for (const Probe& p : probes) {
        const QRgb got = img.pixel(p.x, p.y);
        QVERIFY2(ChannelDiff(got, p.color) <= 24, qPrintable(Describe(p, got)));
    }
}

// Pixels of a region darker than mid grey: text is present there.
int DarkPixels(const QImage& img, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                ++n;
    return n;
}

QImage OnWhite(const QImage& in)
{
    QImage out(in.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, in);
    return out;
}

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
               kBlack = 0xFF000000, kYellow = 0xFFFFFF00;

} // namespace

class TestMetafile : public QObject {
    Q_OBJECT

private slots:
    void programFiles_data();
    void programFiles();
    void edgeFiles_data();
    void edgeFiles();
    void text();
    void brushesAndBlits();
    void wmfRegionsAndText();
    void refused_data();
    void refused();
    void badRecordsAreSkipped();
    void budgetStopsEndlessWork();
    void drawnAsTheFormatSays_data();
    void drawnAsTheFormatSays();
    void embeddedImagesOnlyByTheirOwnReader_data();
    void embeddedImagesOnlyByTheirOwnReader();
    void painterStateLeftAsFound();
    void drawsOnlyInsideTarget();
    void ansiText_data();
    void ansiText();
};

// ---------------------------------------------------------------- files made by other programs

void TestMetafile::programFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QPoint>("offset"); // where the source picture's origin lands
    // All four were converted from shapes.svg (see README.md); the
    // reference is the same file rendered by Inkscape.
    QTest::newRow("LibreOffice EMF (EMF+ dual)") << "lo-shapes.emf" << int(MetafileKind::Emf) << QSize(372, 272)
                                                << QPoint(-14, -14);
    QTest::newRow("LibreOffice WMF") << "lo-shapes.wmf" << int(MetafileKind::Wmf) << QSize(373, 273) << QPoint(-14, -14);
    QTest::newRow("Inkscape EMF") << "inkscape-shapes.emf" << int(MetafileKind::Emf) << QSize(401, 302) << QPoint(0, 0);
    QTest::newRow("Inkscape WMF") << "inkscape-shapes.wmf" << int(MetafileKind::Wmf) << QSize(400, 300) << QPoint(0, 0);
}

void TestMetafile::programFiles()
{
    QFETCH(QString, file);
    QFETCH(int, kind);
    QFETCH(QSize, natural);
    QFETCH(QPoint, offset);
    const auto m = Metafile::Load(Read(file));
    QCOMPARE(int(m->Kind()), kind);
    QCOMPARE(m->Size(), natural);

    const QImage ref = OnWhite(QImage(kData + "ref/" + file + ".png"));
    QVERIFY(!ref.isNull());
    const QImage img = Render(*m, ref.size());
    if (qEnvironmentVariableIsSet("PLOTMERE_METAFILE_PNG"))
        img.save(qEnvironmentVariable("PLOTMERE_METAFILE_PNG") + "/" + file + ".png");

    // Flat colours of the source picture, in its own coordinates.
    Probes probes = {
        {80, 60, 0xFFE02020},   // red rectangle
        {240, 60, 0xFF2040E0},  // blue ellipse
        {355, 95, 0xFF20A040},  // green triangle
        {290, 200, 0xFFFFDC00}, // bitmap, yellow quadrant
        {350, 200, 0xFF006080}, // bitmap, dark cyan quadrant
        {290, 270, 0xFF006080},
        {350, 270, 0xFFFFDC00},
        {58, 202, 0xFF8020A0},  // on the Bezier (t = 0.2), 5 px wide
        {155, 60, kWhite},
        {240, 230, kWhite},
    };
    for (Probe& p : probes)
        p.x += offset.x(), p.y += offset.y();
    CheckProbes(img, probes);

    // The dashed line: dashes and gaps, neither solid nor missing.
    int dark = 0, total = 0;
    for (int x = 30 + offset.x(); x < 370 + offset.x(); ++x, ++total)
        dark += qGray(img.pixel(x, 130 + offset.y())) < 100 ? 1 : 0;
    QVERIFY2(dark > total * 4 / 10 && dark < total * 95 / 100, qPrintable(QString::number(dark)));
    // The text is there.
    QVERIFY(DarkPixels(img, QRect(20 + offset.x(), 165 + offset.y(), 150, 30)) > 200);

    // Against the maker's rendering: what may differ is anti-aliasing at
    // edges, the rasterisation of glyphs, and the bitmap, which Inkscape
    // smooths when it enlarges it while the files ask for plain pixel
    // copies. Those cover a few percent of the picture at most; a shape in
    // the wrong place, colour or size covers far more.
    int far = 0;
    for (int y = 0; y < ref.height(); ++y)
        for (int x = 0; x < ref.width(); ++x)
            if (ChannelDiff(img.pixel(x, y), ref.pixel(x, y)) > 96)
                ++far;
    const double share = double(far) / (ref.width() * ref.height());
    QVERIFY2(share < 0.04, qPrintable(QStringLiteral("%1 % of the pixels differ").arg(share * 100, 0, 'f', 2)));
}

// ---------------------------------------------------------------- hand-made edge files

void TestMetafile::edgeFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<Probes>("probes");
    const Probes mapped = {{25, 25, kRed}, {55, 55, kRed}, {15, 40, kWhite}, {65, 40, kWhite}, {40, 15, kWhite},
                           {40, 65, kWhite}};
    for (const char* mode : {"lometric", "himetric", "loenglish", "hienglish", "twips", "anisotropic", "isotropic"})
        QTest::newRow(mode) << QString("edge-map-%1.emf").arg(mode) << QSize(100, 100) << mapped;

    // Quadrants red, green / blue, white in every tile (edge-dibs in the
    // generator); the 1-bit tile is a white and red checker.
    Probes dibs;
    const QList<QPoint> tiles = {{0, 0}, {35, 0}, {0, 35}, {35, 35}, {70, 35}, {0, 70}, {35, 70}};
    for (QPoint t : tiles)
        dibs << Probe{t.x() + 7, t.y() + 7, kRed} << Probe{t.x() + 22, t.y() + 7, kGreen}
             << Probe{t.x() + 7, t.y() + 22, kBlue} << Probe{t.x() + 22, t.y() + 22, kWhite};
    dibs << Probe{77, 7, kWhite} << Probe{92, 7, kRed} << Probe{77, 22, kRed} << Probe{92, 22, kWhite}
         << Probe{32, 50, kBlack} << Probe{85, 85, kBlack};
    QTest::newRow("bitmaps: 1/4/8/16/24/32 bpp, RLE8, RLE4, top-down") << "edge-dibs.emf" << QSize(100, 100) << dibs;

    QTest::newRow("16-bit point records")
        << "edge-poly16.emf" << QSize(100, 100)
        << Probes{{25, 25, kRed}, {75, 25, kGreen}, {75, 75, kGreen}, {75, 50, kWhite}, {25, 75, kBlue},
                  {25, 70, kWhite}, {50, 20, kBlack}, {50, 85, kBlack}, {45, 50, kWhite}};
    QTest::newRow("world transforms, saved states")
        << "edge-world.emf" << QSize(100, 100)
        << Probes{{20, 20, kRed}, {70, 20, kGreen}, {20, 70, kBlue}, {70, 80, kYellow}, {40, 20, kWhite},
                  {20, 45, kWhite}, {70, 50, kWhite}};
    QTest::newRow("clipping: rectangles, regions, paths, absolute restore")
        << "edge-clip.emf" << QSize(100, 100)
        << Probes{{10, 10, kRed}, {45, 45, kRed}, {25, 25, kWhite}, {55, 10, kWhite}, {75, 15, kGreen},
                  {75, 35, kGreen}, {75, 25, kWhite}, {75, 60, kWhite}, {25, 75, kBlue}, {12, 62, kWhite},
                  {60, 80, kWhite}};
    QTest::newRow("paths and arcs")
        << "edge-paths.emf" << QSize(100, 100)
        << Probes{{25, 25, kRed}, {80, 20, kGreen}, {60, 40, kWhite}, {80, 40, kWhite}, {25, 85, kBlue},
                  {25, 66, kWhite}, {75, 56, kBlack}, {75, 93, kWhite}};

    const Probes quadrants = {{25, 25, kRed}, {75, 75, kGreen}, {75, 25, kWhite}, {25, 75, kWhite}};
    QTest::newRow("placeable WMF, object slot reuse") << "edge-placeable.wmf" << QSize(96, 96) << quadrants;
    QTest::newRow("WMF extent from its window") << "edge-plain.wmf" << QSize(1000, 1000) << quadrants;
    QTest::newRow("WMF extent from what it draws") << "edge-nowindow.wmf" << QSize(1000, 1000) << quadrants;
    QTest::newRow("WMF STRETCHDIB")
        << "edge-stretchdib.wmf" << QSize(96, 96)
        << Probes{{25, 25, kRed}, {75, 25, kGreen}, {25, 75, kBlue}, {75, 75, kWhite}};
}

void TestMetafile::edgeFiles()
{
    QFETCH(QString, file);
    QFETCH(QSize, natural);
    QFETCH(Probes, probes);
    const auto m = Metafile::Load(Read(file));
    QCOMPARE(m->Size(), natural);
    const QImage img = Render(*m, QSize(100, 100), Qt::magenta);
    if (qEnvironmentVariableIsSet("PLOTMERE_METAFILE_PNG"))
        img.save(qEnvironmentVariable("PLOTMERE_METAFILE_PNG") + "/" + file + ".png");
    CheckProbes(img, probes);
}

void TestMetafile::text()
{
    // edge-text.emf: "HH" spaced 40 apart on an opaque yellow rectangle,
    // a centred "I" standing on its baseline at (85, 95), and Shift JIS
    // text from an ANSI record at (5, 45).
    const auto m = Metafile::Load(Read("edge-text.emf"));
    const QImage img = Render(*m, QSize(100, 100));
    CheckProbes(img, {{88, 12, kYellow}, {45, 38, kYellow}, {75, 60, kWhite}});
    QVERIFY(DarkPixels(img, QRect(12, 14, 20, 18)) > 30);  // the first H
    QVERIFY(DarkPixels(img, QRect(52, 14, 20, 18)) > 30);  // the second, 40 to the right
    QCOMPARE(DarkPixels(img, QRect(34, 12, 16, 26)), 0);   // nothing between them
    QVERIFY(DarkPixels(img, QRect(82, 80, 7, 14)) > 10);   // the I, centred on x = 85, above y = 95
    QCOMPARE(DarkPixels(img, QRect(70, 80, 8, 14)), 0);
    QCOMPARE(DarkPixels(img, QRect(80, 96, 10, 4)), 0);    // nothing below the baseline
    QVERIFY(DarkPixels(img, QRect(5, 45, 50, 26)) > 80);   // two Japanese glyphs
}

void TestMetafile::brushesAndBlits()
{
    const auto m = Metafile::Load(Read("edge-brushes.emf"));
    const QImage img = Render(*m, QSize(100, 100));
    // A source-less blit with the brush, one blue pixel blended at half
    // strength, the two ends of a red-to-blue gradient.
    CheckProbes(img, {{25, 75, kYellow}, {75, 65, 0xFF7F7FFF}, {50, 50, kWhite}});
    const QRgb left = img.pixel(57, 88), right = img.pixel(93, 88);
    QVERIFY(qRed(left) > 200 && qBlue(left) < 60);
    QVERIFY(qBlue(right) > 200 && qRed(right) < 60);
    // The hatch: red lines with the white background showing between them.
    int red = 0, white = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 40; ++x) {
            const QRgb c = img.pixel(x, y);
            red += ChannelDiff(c, kRed) <= 24;
            white += ChannelDiff(c, kWhite) <= 24;
        }
    QVERIFY2(red > 900 / 10 && white > 900 / 3 && red + white > 900 * 8 / 10, qPrintable(QString("%1 %2").arg(red).arg(white)));
    // The pattern: nothing but its two colours, both of them.
    int green = 0, blue = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 60; x < 90; ++x) {
            const QRgb c = img.pixel(x, y);
            green += ChannelDiff(c, kGreen) <= 24;
            blue += ChannelDiff(c, kBlue) <= 24;
        }
    QVERIFY(green > 300 && blue > 300);
    QCOMPARE(green + blue, 900);
}

void TestMetafile::wmfRegionsAndText()
{
    const auto m = Metafile::Load(Read("edge-regions.wmf"));
    QCOMPARE(m->Size(), QSize(100, 100));
    const QImage img = Render(*m, QSize(100, 100));
    // Region fill, poly-polygon, a region selected as the clip.
    CheckProbes(img, {{25, 15, kRed}, {25, 35, kRed}, {25, 25, kWhite}, {65, 35, kGreen}, {90, 35, kGreen},
                      {77, 30, kWhite}, {75, 75, kBlue}, {50, 80, kWhite}, {95, 95, kWhite}, {75, 55, kWhite}});
    // "HH" with 40 units between the letters.
    QVERIFY(DarkPixels(img, QRect(5, 52, 16, 14)) > 20);
    QVERIFY(DarkPixels(img, QRect(45, 52, 14, 14)) > 20);
    QCOMPARE(DarkPixels(img, QRect(24, 50, 18, 18)), 0);
}

// ---------------------------------------------------------------- broken files

void TestMetafile::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "ファイルが空です";
    QTest::newRow("not a metafile") << Read("broken-notmetafile.emf") << "EMF の見出しも WMF の見出しもありません";
    QTest::newRow("EMF header record too short") << Read("broken-header.emf") << "見出しレコードの大きさ 40 バイトが不正です";
    QTest::newRow("EMF without a reference device") << Read("broken-nodevice.emf") << "参照デバイスの大きさ";
    QTest::newRow("EMF record size not a multiple of 4")
        << Read("broken-recordsize.emf") << "2 番目のレコード (種類 39、位置 0x58) の大きさ 13 バイトが不正です";
    QTest::newRow("EMF record smaller than its header") << Read("broken-tinyrecord.emf") << "の大きさ 4 バイトが不正です";
    QTest::newRow("EMF record past the end") << Read("broken-hugerecord.emf") << "がファイルの終わりを越えています";
    QTest::newRow("EMF truncated") << Read("broken-truncated.emf") << "(種類 14、位置 0xA0、20 バイト) がファイルの終わりを越えています";
    QTest::newRow("EMF signature only") << QByteArray::fromHex("01000000") + QByteArray(36, 0) + " EMF" << "EMF の見出しレコードがありません";
    QTest::newRow("WMF header of the wrong size") << Read("broken-header.wmf") << "配置用ヘッダーの後に WMF のヘッダーがありません";
    QTest::newRow("WMF record of two words") << Read("broken-recordsize.wmf") << "の大きさ 2 語が不正です";
    QTest::newRow("WMF truncated") << Read("broken-truncated.wmf") << "が途中で切れています";
    QTest::newRow("placeable header cut short") << Read("edge-placeable.wmf").left(16) << "配置用ヘッダーが途中で切れています";
}

void TestMetafile::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    try {
        Metafile::Load(bytes);
        QFAIL("the file was accepted");
    } catch (const EInvalidGraphic& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        QVERIFY(e.Message().startsWith(QStringLiteral("EMF ファイルを読み込めません")) ||
                e.Message().startsWith(QStringLiteral("WMF ファイルを読み込めません")) ||
                e.Message().startsWith(QStringLiteral("メタファイルを読み込めません")));
    }
}

void TestMetafile::badRecordsAreSkipped()
{
    // A sound chain of records that are each broken inside (missing
    // objects, counts and offsets far outside the record, a 900-megapixel
    // RLE bitmap, short bits, NaN transforms, over-deep restores...): each
    // is skipped and the square drawn after them all still appears.
    const auto m = Metafile::Load(Read("broken-inside.emf"));
    const QImage img = Render(*m, QSize(100, 100), Qt::magenta);
    CheckProbes(img, {{50, 50, kGreen}, {35, 65, kGreen}, {10, 10, kWhite}, {90, 90, kWhite}});
}

namespace {
QByteArray EmfOf(const QList<QByteArray>& records)
{
    QByteArray body;
    for (const QByteArray& r : records)
        body += r;
    body += QByteArray::fromHex("0e000000140000000000000010000000" "14000000");
    QByteArray h(88, 0);
    auto put = [&](int at, std::int32_t v) { std::memcpy(h.data() + at, &v, 4); };
    put(0, 1), put(4, 88), put(12, 0), put(16, 99), put(20, 99);
    put(32, 2646), put(36, 2646), put(40, 0x464D4520), put(44, 0x10000), put(48, int(88 + body.size()));
    put(56, 16), put(72, 960), put(76, 960), put(80, 254), put(84, 254);
    return h + body;
}
QByteArray Rec(std::uint32_t type, const QList<std::int32_t>& fields)
{
    QByteArray r(int(8 + 4 * fields.size()), 0);
    const std::uint32_t size = std::uint32_t(r.size());
    std::memcpy(r.data(), &type, 4);
    std::memcpy(r.data() + 4, &size, 4);
    for (int i = 0; i < fields.size(); ++i)
        std::memcpy(r.data() + 8 + 4 * i, &fields[i], 4);
    return r;
}
} // namespace

void TestMetafile::budgetStopsEndlessWork()
{
    // 100 000 rectangles over the whole picture, red, then one green one:
    // painting them all would be 100 000 full fills of the target. The
    // area budget (the target's area 64 times over, at least 4 million
    // pixels) stops the replay long before the green one.
    QList<QByteArray> records = {Rec(39, {1, 0, 0x0000FF, 0}), Rec(37, {1}), Rec(37, {int(0x80000008)})};
    const QByteArray rect = Rec(43, {0, 0, 100, 100});
    for (int i = 0; i < 100000; ++i)
        records << rect;
    records << Rec(39, {2, 0, 0x00FF00, 0}) << Rec(37, {2}) << Rec(43, {0, 0, 100, 100});
    const auto m = Metafile::Load(EmfOf(records));
    const QImage img = Render(*m, QSize(100, 100));
    CheckProbes(img, {{50, 50, kRed}});

    // Without the flood the same green rectangle is drawn, after a line
    // of 20 000 points crossing the picture up and down as a dense chart
    // does: a one-pixel pen costs its length, not its crossings.
    QList<std::int32_t> line = {0, 0, 100, 100, 20000};
    for (int i = 0; i < 20000; ++i)
        line << i * 100 / 20000 << (i * 7919) % 100;
    const auto small = Metafile::Load(
        EmfOf({Rec(4, line), Rec(39, {2, 0, 0x00FF00, 0}), Rec(37, {2}), Rec(43, {0, 0, 100, 100})}));
    CheckProbes(Render(*small, QSize(100, 100)), {{50, 50, kGreen}});
}

namespace {
std::int32_t F(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}
// Region data of `rects` (left, top, right, bottom each).
QList<std::int32_t> RegionData(const QList<QRect>& rects)
{
    QList<std::int32_t> d = {32, 1, int(rects.size()), int(16 * rects.size()), 0, 0, 100, 100};
    for (const QRect& r : rects)
        d << r.left() << r.top() << r.right() + 1 << r.bottom() + 1;
    return d;
}
// A WMF of 1000 x 1000 units without a placeable header.
QByteArray WmfOf(const QList<QList<std::int16_t>>& records)
{
    QByteArray body;
    auto add = [&](std::uint16_t function, const QList<std::int16_t>& params) {
        const std::uint32_t words = std::uint32_t(3 + params.size());
        body.append(reinterpret_cast<const char*>(&words), 4);
        body.append(reinterpret_cast<const char*>(&function), 2);
        for (std::int16_t v : params)
            body.append(reinterpret_cast<const char*>(&v), 2);
    };
    add(0x020B, {0, 0});       // SETWINDOWORG
    add(0x020C, {1000, 1000}); // SETWINDOWEXT
    for (const QList<std::int16_t>& r : records)
        add(std::uint16_t(r.front()), r.mid(1));
    add(0, {});
    QByteArray h(18, 0);
    const std::uint16_t head[] = {1, 9, 0x300};
    std::memcpy(h.data(), head, 6);
    const std::uint32_t size = std::uint32_t((18 + body.size()) / 2), maxRecord = 16;
    std::memcpy(h.data() + 6, &size, 4);
    h[10] = 4;
    std::memcpy(h.data() + 12, &maxRecord, 4);
    return h + body;
}
} // namespace

void TestMetafile::drawnAsTheFormatSays_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Probes>("probes");
    const QByteArray redBrush = Rec(39, {1, 0, 0x0000FF, 0}) + Rec(37, {1});
    const QByteArray blueBrush = Rec(39, {2, 0, 0xFF0000, 0});
    QTest::newRow("selecting a clip path when there is no path keeps the clip")
        << EmfOf({Rec(67, {1}), redBrush, Rec(43, {0, 0, 100, 100})}) << Probes{{50, 50, kRed}};
    QTest::newRow("a region frame turns with a 90-degree world transform")
        << EmfOf({Rec(35, {F(0), F(1), F(-1), F(0), F(100), F(0)}), blueBrush,
                  Rec(72, QList<std::int32_t>{10, 10, 90, 90, 48, 2, 10, 10} + RegionData({QRect(10, 10, 80, 80)}))})
        << Probes{{14, 50, kBlue}, {50, 14, kBlue}, {86, 50, kBlue}, {50, 50, kWhite}, {5, 50, kWhite}};
    QList<QRect> bars;
    for (int i = 0; i < 801; ++i)
        bars << QRect(i % 40, 0, 10, 100); // crossing bars covering x = 0 to 49
    QTest::newRow("a clip region of 801 crossing rectangles clips")
        << EmfOf({Rec(75, QList<std::int32_t>{32 + 16 * 801, 5} + RegionData(bars)), redBrush,
                  Rec(43, {0, 0, 100, 100})})
        << Probes{{25, 50, kRed}, {45, 10, kRed}, {55, 50, kWhite}, {90, 90, kWhite}};
    QTest::newRow("a WMF cosmetic pen dashed and 75 units wide draws solid")
        << WmfOf({{0x02FA, 1, 75, 0, 0, 0}, {0x012D, 0}, {0x0214, 500, 0}, {0x0213, 500, 1000}})
        << Probes{{10, 50, kBlack}, {26, 50, kBlack}, {50, 50, kBlack}, {74, 50, kBlack}, {50, 20, kWhite}};
}

void TestMetafile::drawnAsTheFormatSays()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Probes, probes);
    const auto m = Metafile::Load(bytes);
    CheckProbes(Render(*m, QSize(100, 100)), probes);
}

namespace {
// A red 4 x 4 picture in an image file format.
QByteArray RedImage(const char* format)
{
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}
// STRETCHDIBITS of a bitmap whose header names `compression` (BI_JPEG 4,
// BI_PNG 5) and whose bits are `bits`, over the whole 100 x 100 picture.
QByteArray EmbeddedBlit(std::int32_t compression, const QByteArray& bits)
{
    QList<std::int32_t> fields = {0, 0, 99, 99, 0, 0, 0, 0, 4, 4, 80, 40, 120, int(bits.size()), 0, 0x00CC0020,
                                  100, 100};
    fields += {40, 4, 4, 0, compression, int(bits.size()), 0, 0, 0, 0}; // the bitmap header, 0 bits per pixel
    QByteArray r = Rec(81, fields) + bits;
    r.append(QByteArray((4 - r.size() % 4) % 4, 0));
    const std::uint32_t size = std::uint32_t(r.size());
    std::memcpy(r.data() + 4, &size, 4);
    return r;
}
} // namespace

void TestMetafile::embeddedImagesOnlyByTheirOwnReader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("PNG marked BI_PNG") << EmbeddedBlit(5, RedImage("PNG")) << true;
    QTest::newRow("JPEG marked BI_JPEG") << EmbeddedBlit(4, RedImage("JPG")) << true;
    QTest::newRow("XPM marked BI_PNG") << EmbeddedBlit(5, RedImage("XPM")) << false;
    QTest::newRow("BMP marked BI_JPEG") << EmbeddedBlit(4, RedImage("BMP")) << false;
    QTest::newRow("PNG marked BI_JPEG") << EmbeddedBlit(4, RedImage("PNG")) << false;
}

void TestMetafile::embeddedImagesOnlyByTheirOwnReader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, drawn);
    const auto m = Metafile::Load(EmfOf({bytes}));
    CheckProbes(Render(*m, QSize(100, 100)), {{50, 50, drawn ? kRed : kWhite}});
}

// ---------------------------------------------------------------- the painter

void TestMetafile::painterStateLeftAsFound()
{
    const auto m = Metafile::Load(Read("edge-clip.emf"));
    QImage img(120, 120, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.translate(5, 7);
    p.scale(1.5, 1.25);
    const QPen pen(Qt::darkCyan, 3, Qt::DashLine);
    const QBrush brush(Qt::darkMagenta, Qt::Dense3Pattern);
    QFont font("DejaVu Serif", 17);
    p.setPen(pen);
    p.setBrush(brush);
    p.setFont(font);
    p.setOpacity(0.75);
    p.setClipRect(QRect(0, 0, 60, 60));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);
    const QTransform t = p.transform();
    const QPainterPath clip = p.clipPath();

    m->Play(p, QRectF(0, 0, 50, 50));

    QCOMPARE(p.transform(), t);
    QCOMPARE(p.pen(), pen);
    QCOMPARE(p.brush(), brush);
    QCOMPARE(p.font(), font);
    QCOMPARE(p.opacity(), 0.75);
    QVERIFY(p.hasClipping());
    QCOMPARE(p.clipPath().boundingRect(), clip.boundingRect());
    QCOMPARE(p.compositionMode(), QPainter::CompositionMode_SourceOver);
    QVERIFY(!p.testRenderHint(QPainter::Antialiasing));
    QCOMPARE(p.backgroundMode(), Qt::TransparentMode);
}

void TestMetafile::drawsOnlyInsideTarget()
{
    // The picture is stretched over the target and clipped to it, even
    // where its own records draw beyond its frame (the white background of
    // edge-clip fills exactly the frame; a huge rectangle would not be held
    // by anything else).
    const auto m = Metafile::Load(EmfOf({Rec(39, {1, 0, 0x0000FF, 0}), Rec(37, {1}), Rec(43, {-500, -500, 600, 600})}));
    QImage img(100, 100, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::magenta);
    QPainter p(&img);
    m->Play(p, QRectF(20, 30, 40, 20));
    p.end();
    CheckProbes(img, {{40, 40, kRed}, {21, 31, kRed}, {58, 48, kRed}, {18, 40, 0xFFFF00FF}, {62, 40, 0xFFFF00FF},
                      {40, 28, 0xFFFF00FF}, {40, 52, 0xFFFF00FF}});
}

// ---------------------------------------------------------------- ANSI text

void TestMetafile::ansiText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("spans");
    QTest::newRow("Shift JIS, double-byte characters span two bytes")
        << QByteArray("\x93\xfa\x96\x7b" "A", 5) << 128 << QString::fromUtf8("日本A") << QList<int>{2, 2, 1};
    QTest::newRow("the default character set is the Japanese code page")
        << QByteArray("\x82\xa0", 2) << 1 << QString::fromUtf8("あ") << QList<int>{2};
    QTest::newRow("Western: 0x80 is the euro sign") << QByteArray("\x80x", 2) << 0 << QString::fromUtf8("€x")
                                                    << QList<int>{1, 1};
    QTest::newRow("Cyrillic") << QByteArray("\xc0", 1) << 204 << QString::fromUtf8("А") << QList<int>{1};
    QTest::newRow("Hebrew letters held back for a combining mark come out")
        << QByteArray("\xe0\xe1", 2) << 177 << QString::fromUtf8("אב") << QList<int>{1, 1};
    QTest::newRow("Vietnamese letters held back for a combining mark come out")
        << QByteArray("\xc2\xec", 2) << 163 << QString::fromUtf8("Â\u0301") << QList<int>{1, 1};
    QTest::newRow("a lead byte at the end stands alone") << QByteArray("A\x93", 2) << 128
                                                          << QString::fromUtf8("A\uFFFD") << QList<int>{1, 1};
}

void TestMetafile::ansiText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, charset);
    QFETCH(QString, text);
    QFETCH(QList<int>, spans);
    std::vector<int> got;
    QCOMPARE(metafile::DecodeAnsi(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()),
                                  unsigned(charset), &got),
             text);
    QCOMPARE(QList<int>(got.begin(), got.end()), spans);
}

QTEST_MAIN(TestMetafile)
#include "tst_Metafile.moc"
