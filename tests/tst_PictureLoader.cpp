// Background pictures read from files: which extensions are read, how broken
// or oversized files are refused, that a refusal keeps the previous picture,
// and metafiles played over the plot area.

#include "ChartModel.h"
#include "ChartRenderer.h"
#include "EmfDevice.h"
#include "Exceptions.h"
#include "Metafile.h"
#include "PictureLoader.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <malloc.h>

namespace {

QByteArray Encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        qFatal("cannot encode a %s test image: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

QImage Solid(QSize size, QColor color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

quint32 Crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBE32(QByteArray& out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

// A PNG whose header claims `w` x `h` pixels, with a correct checksum, and
// no picture data worth the name.
QByteArray PngHeaderClaiming(quint32 w, quint32 h)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr("IHDR");
    PutBE32(ihdr, w);
    PutBE32(ihdr, h);
    ihdr.append("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, no interlace
    PutBE32(png, 13);
    png += ihdr;
    PutBE32(png, Crc32(ihdr));
    QByteArray idat("IDAT");
    idat.append("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    PutBE32(png, 8);
    png += idat;
    PutBE32(png, Crc32(idat));
    QByteArray iend("IEND");
    PutBE32(png, 0);
    png += iend;
    PutBE32(png, Crc32(iend));
    return png;
}

// A bitmap file header and info header claiming `w` x `h` 24-bit pixels.
QByteArray BmpHeaderClaiming(qint32 w, qint32 h)
{
    QByteArray bmp(54, '\0');
    char* p = bmp.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(54 + 16, p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(w, p + 18);
    qToLittleEndian<qint32>(h, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    bmp.append(16, '\0');
    return bmp;
}

// Little-endian record writer for hand-built metafiles.
struct Le {
    QByteArray bytes;
    Le& u16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
        return *this;
    }
    Le& u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
        return *this;
    }
};

constexpr quint32 kColorRef = 0x0000C800; // RGB(0, 200, 0) as 0x00BBGGRR

// The smallest enhanced metafile that paints: a header, a solid green brush
// selected, a rectangle over the whole 100 x 100 pixel frame, the end.
QByteArray MinimalEmf()
{
    Le body;
    body.u32(39).u32(24).u32(1).u32(0).u32(kColorRef).u32(0);  // EMR_CREATEBRUSHINDIRECT
    body.u32(37).u32(12).u32(1);                               // EMR_SELECTOBJECT
    body.u32(43).u32(24).u32(0).u32(0).u32(100).u32(100);      // EMR_RECTANGLE
    body.u32(14).u32(20).u32(0).u32(16).u32(20);               // EMR_EOF
    const quint32 total = 88 + quint32(body.bytes.size());
    Le h;
    h.u32(1).u32(88);                         // EMR_HEADER
    h.u32(0).u32(0).u32(99).u32(99);          // bounds, device pixels
    h.u32(0).u32(0).u32(2646).u32(2646);      // frame, 0.01 mm
    h.u32(0x464D4520).u32(0x10000).u32(total) // " EMF", version, bytes
        .u32(5)                               // records
        .u16(2).u16(0)                        // handles, reserved
        .u32(0).u32(0).u32(0)                 // description, palette
        .u32(1920).u32(1080).u32(508).u32(286);
    return h.bytes + body.bytes;
}

// The same picture as a placeable Windows metafile.
QByteArray MinimalWmf()
{
    Le rec;
    rec.u32(5).u16(0x020B).u16(0).u16(0);                     // META_SETWINDOWORG
    rec.u32(5).u16(0x020C).u16(100).u16(100);                 // META_SETWINDOWEXT
    rec.u32(7).u16(0x02FC).u16(0).u32(kColorRef).u16(0);      // META_CREATEBRUSHINDIRECT
    rec.u32(4).u16(0x012D).u16(0);                            // META_SELECTOBJECT
    rec.u32(7).u16(0x041B).u16(100).u16(100).u16(0).u16(0);   // META_RECTANGLE
    rec.u32(3).u16(0x0000);                                   // META_EOF
    const quint32 words = (18 + quint32(rec.bytes.size())) / 2;
    Le header;
    header.u16(1).u16(9).u16(0x0300).u32(words).u16(1).u32(7).u16(0);
    Le placeable;
    placeable.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(100).u16(100).u16(96).u32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(placeable.bytes.constData() + 2 * i);
    placeable.u16(checksum);
    return placeable.bytes + header.bytes + rec.bytes;
}

struct Picture {
    TChartModel model;
    TChartPicture& pic = model.Walls().Back().Picture();
};

QImage RenderChart(const TChartModel& m)
{
    QImage img(600, 400, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    RenderChart(m, p, img.rect());
    return img;
}

} // namespace

class TestPictureLoader : public QObject {
    Q_OBJECT
private slots:
    void bitmapKindsAreReadByExtension_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << "a.png" << QByteArray("png");
        QTest::newRow("PNG upper case") << "a.PNG" << QByteArray("png");
        QTest::newRow("bmp") << "a.bmp" << QByteArray("bmp");
        QTest::newRow("Bmp mixed case") << "a.Bmp" << QByteArray("bmp");
        QTest::newRow("ico") << "a.ico" << QByteArray("ico");
        QTest::newRow("tif") << "a.tif" << QByteArray("tiff");
        QTest::newRow("TIFF") << "a.TIFF" << QByteArray("tiff");
        QTest::newRow("dots in the name") << "my.chart.v2.png" << QByteArray("png");
    }
    void bitmapKindsAreReadByExtension()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, format);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        testfiles::WriteBytes(path, Encode(Solid(QSize(24, 16), QColor(200, 30, 40)), format));
        Picture p;
        LoadPictureFile(path, p.pic);
        QVERIFY(!p.pic.Empty());
        QCOMPARE(p.pic.Image().size(), QSize(24, 16));
        QCOMPARE(p.pic.Image().pixelColor(5, 5).rgb(), QColor(200, 30, 40).rgb());
        QVERIFY(!p.pic.Vector());
    }

    void iconShowsItsLargestSize()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("multi.ico");
        // An icon file with a 16 and a 48 pixel picture, the small one first.
        // Qt's icon writer stores one picture per file; two files are joined by hand.
        const QByteArray small = Encode(Solid(QSize(16, 16), Qt::red), "ico");
        const QByteArray large = Encode(Solid(QSize(48, 48), Qt::blue), "ico");
        // ICONDIR (6 bytes) + one ICONDIRENTRY (16 bytes) + image data each.
        const QByteArray smallData = small.mid(22), largeData = large.mid(22);
        QByteArray ico = small.left(6);
        qToLittleEndian<quint16>(2, ico.data() + 4);
        QByteArray e1 = small.mid(6, 16), e2 = large.mid(6, 16);
        qToLittleEndian<quint32>(6 + 32, e1.data() + 12);
        qToLittleEndian<quint32>(quint32(6 + 32 + smallData.size()), e2.data() + 12);
        ico += e1 + e2 + smallData + largeData;
        testfiles::WriteBytes(path, ico);
        Picture p;
        LoadPictureFile(path, p.pic);
        QCOMPARE(p.pic.Image().size(), QSize(48, 48));
        QCOMPARE(p.pic.Image().pixelColor(10, 10).rgb(), QColor(Qt::blue).rgb());
    }

    void refusalsKeepThePreviousPicture_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected"); // the whole message, or its end after the file name
        QTest::addColumn<bool>("exact");

        const QByteArray png = Encode(Solid(QSize(8, 8), Qt::yellow), "png");
        const QByteArray jpg = Encode(Solid(QSize(8, 8), Qt::yellow), "jpg");
        QTest::newRow("jpg") << "photo.jpg" << jpg << "画像のファイル拡張子 (.jpg) が不明です" << true;
        QTest::newRow("JPEG as written") << "photo.JPEG" << jpg << "画像のファイル拡張子 (.JPEG) が不明です" << true;
        QTest::newRow("gif") << "anim.gif" << QByteArray("GIF89a") << "画像のファイル拡張子 (.gif) が不明です" << true;
        QTest::newRow("svg") << "draw.svg" << QByteArray("<svg/>") << "画像のファイル拡張子 (.svg) が不明です" << true;
        QTest::newRow("webp") << "w.webp" << QByteArray("RIFF") << "画像のファイル拡張子 (.webp) が不明です" << true;
        QTest::newRow("wbmp") << "w.wbmp" << QByteArray("\0\0", 2) << "画像のファイル拡張子 (.wbmp) が不明です" << true;
        QTest::newRow("no extension") << "picture" << png << "画像のファイル拡張子 (.) が不明です" << true;
        QTest::newRow("png double-named") << "pic.png.txt" << png << "画像のファイル拡張子 (.txt) が不明です" << true;

        QTest::newRow("corrupt png") << "broken.png" << png.left(png.size() / 2) + QByteArray(40, '\x5a')
                                     << "PNG 画像として正しくないか、壊れています" << false;
        QTest::newRow("png signature only") << "sig.png" << QByteArray("\x89PNG\r\n\x1a\n", 8)
                                            << "PNG 画像として正しくないか、壊れています" << false;
        QTest::newRow("empty png") << "empty.png" << QByteArray() << "ファイルが空です" << false;
        QTest::newRow("jpg named png") << "photo.png" << jpg << "PNG 画像として正しくないか、壊れています" << false;
        QTest::newRow("png named bmp") << "pic.bmp" << png << "ビットマップとして正しくないか、壊れています" << false;
        QTest::newRow("text named tiff") << "notes.tiff" << QByteArray("hello, world\n")
                                         << "TIFF 画像として正しくないか、壊れています" << false;
        QTest::newRow("text named ico") << "notes.ico" << QByteArray("hello, world\n")
                                        << "アイコンとして正しくないか、壊れています" << false;
        QTest::newRow("oversized png header") << "huge.png" << PngHeaderClaiming(100000, 100000)
                                              << "画像が大きすぎます (100000 × 100000 ピクセル、上限 256 MB)" << false;
        QTest::newRow("bmp header without its pixels") << "huge.bmp" << BmpHeaderClaiming(30000, 30000)
                                                       << "ビットマップとして正しくないか、壊れています" << false;
        QTest::newRow("corrupt emf") << "broken.emf" << QByteArray("\x01\0\0\0\x58\0\0\0garbage", 15) << "" << false;
        QTest::newRow("corrupt wmf") << "broken.wmf" << QByteArray("\xd7\xcd\xc6\x9a\0\0", 6) << "" << false;
        QTest::newRow("empty emf") << "empty.emf" << QByteArray() << "ファイルが空です" << false;
    }
    void refusalsKeepThePreviousPicture()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFETCH(bool, exact);
        QTemporaryDir dir;
        const QString previous = dir.filePath("previous.png");
        const QImage before = Solid(QSize(5, 7), QColor(10, 120, 230));
        testfiles::WriteBytes(previous, Encode(before, "png"));
        const QString path = dir.filePath(fileName);
        testfiles::WriteBytes(path, bytes);

        Picture p;
        LoadPictureFile(previous, p.pic);
        const QImage shown = p.pic.Image();
        int changes = 0;
        connect(&p.model, &TChartModel::Changed, this, [&] { ++changes; });
        try {
            LoadPictureFile(path, p.pic);
            QFAIL("the file was accepted");
        } catch (const EInvalidGraphic& e) {
            if (exact) {
                QCOMPARE(e.Message(), expected);
            } else {
                // Broken files are named with their path and say what is wrong.
                const QString prefix = QStringLiteral("画像ファイル \"%1\" を読み込めません。").arg(path);
                QVERIFY2(e.Message().startsWith(prefix), qPrintable(e.Message()));
                QVERIFY2(e.Message().size() > prefix.size(), "the message does not say what is wrong");
                if (!expected.isEmpty())
                    QCOMPARE(e.Message().mid(prefix.size()), expected);
            }
        }
        QCOMPARE(changes, 0);
        QCOMPARE(p.pic.Image(), shown);
        QVERIFY(!p.pic.Vector());
    }

    void filesThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("unreadable") << "unreadable";
    }
    void filesThatCannotBeOpened()
    {
        QFETCH(QString, what);
        QTemporaryDir dir;
        const QString path = dir.filePath("x.png");
        if (what == "folder")
            QVERIFY(QDir(dir.path()).mkdir("x.png"));
        if (what == "unreadable") {
            testfiles::WriteBytes(path, Encode(Solid(QSize(4, 4), Qt::red), "png"));
            QFile::setPermissions(path, QFileDevice::WriteOwner);
            if (QFile(path).open(QIODevice::ReadOnly))
                QSKIP("running with permission to read every file");
        }
        Picture p;
        try {
            LoadPictureFile(path, p.pic);
            QFAIL("accepted");
        } catch (const EFOpenError& e) {
            QVERIFY2(e.Message().startsWith(QStringLiteral("ファイル \"%1\" を開けません。").arg(path)),
                     qPrintable(e.Message()));
        }
        QVERIFY(p.pic.Empty());
    }

    void chartLoadsThroughThisLoaderByDefault()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.png");
        testfiles::WriteBytes(path, Encode(Solid(QSize(3, 3), Qt::green), "png"));
        Picture p;
        p.pic.LoadFromFile(path);
        QCOMPARE(p.pic.Image().size(), QSize(3, 3));
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, p.pic.LoadFromFile(dir.filePath("a.jpg")));
        QCOMPARE(p.pic.Image().size(), QSize(3, 3));
    }

    // Metafiles go through the player and are stretched over the plot area.
    void metafilePicturesArePlayedOverThePlotArea_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("emf") << "a.emf" << MinimalEmf();
        QTest::newRow("EMF upper case") << "a.EMF" << MinimalEmf();
        QTest::newRow("wmf") << "a.wmf" << MinimalWmf();
        QTest::newRow("placeable wmf named emf") << "b.emf" << MinimalWmf();
    }
    void metafilePicturesArePlayedOverThePlotArea()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        testfiles::WriteBytes(path, bytes);
        Picture p;
        LoadPictureFile(path, p.pic);
        QVERIFY(p.pic.Vector());
        QVERIFY(p.pic.Image().isNull());
        QVERIFY(!p.pic.Empty());

        p.model.LeftAxis().SetMinMax(0, 10);
        p.model.BottomAxis().SetMinMax(0, 10);
        const QImage img = RenderChart(p.model);
        const QRect plot = ComputeChartLayout(p.model, img.rect()).plot;
        // Stretched over the whole plot area: green near every corner.
        for (const QPoint pt : {plot.topLeft() + QPoint(6, 6), plot.topRight() + QPoint(-6, 6),
                                plot.bottomLeft() + QPoint(6, -6), plot.bottomRight() + QPoint(-6, -6),
                                plot.center() + QPoint(13, 17)}) {
            const QColor c = img.pixelColor(pt);
            QVERIFY2(qAbs(c.green() - 200) < 30 && c.red() < 40 && c.blue() < 40, qPrintable(c.name()));
        }
        // And not beyond it.
        const QColor outside = img.pixelColor(std::max(0, plot.left() - 30), plot.center().y());
        QVERIFY2(!(outside.green() > 150 && outside.red() < 60), qPrintable(outside.name()));

        // A broken metafile afterwards keeps this one.
        const Metafile* shown = p.pic.Vector();
        // Cut inside the header: no metafile of either kind.
        testfiles::WriteBytes(dir.filePath("bad.emf"), bytes.left(30));
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, LoadPictureFile(dir.filePath("bad.emf"), p.pic));
        QCOMPARE(p.pic.Vector(), shown);
    }

    // A loaded metafile keeps what its file holds, not a buffer the size of
    // the allocation limit.
    void metafileKeepsOnlyItsBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.emf");
        testfiles::WriteBytes(path, MinimalEmf());
        const auto heap = [] {
            const struct mallinfo2 m = mallinfo2();
            return qint64(m.uordblks + m.hblkhd);
        };
        if (heap() == 0)
            QSKIP("the allocator does not report its use (a sanitizer build)");
        Picture p;
        const qint64 before = heap();
        LoadPictureFile(path, p.pic);
        QVERIFY(p.pic.Vector());
        QCOMPARE_LT(heap() - before, qint64(1) << 20);
    }

    // A metafile picture is played once per target size in device pixels,
    // device pixel ratio and ground colour; the two latest are kept. A
    // metafile export gets it played as vectors every time. Each step draws
    // the chart ("600x400", with "@2" for two device pixels per pixel, "emf"
    // for an export) or changes it.
    void playedPictureIsKeptPerTargetSize_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("plays");
        QTest::newRow("same size again") << QStringList{"600x400", "600x400", "600x400"} << 1;
        QTest::newRow("a new size") << QStringList{"600x400", "601x400"} << 2;
        QTest::newRow("back to the size before") << QStringList{"600x400", "700x500", "600x400", "700x500"} << 2;
        QTest::newRow("a third size drops the oldest") << QStringList{"600x400", "700x500", "800x600", "600x400"} << 4;
        QTest::newRow("another device pixel ratio") << QStringList{"600x400", "600x400@2", "600x400@2"} << 2;
        QTest::newRow("a restyle outside the plot area") << QStringList{"600x400", "title", "600x400"} << 1;
        QTest::newRow("another wall colour") << QStringList{"600x400", "wall", "600x400"} << 2;
        QTest::newRow("another picture") << QStringList{"600x400", "picture", "600x400"} << 2;
        QTest::newRow("metafile export") << QStringList{"emf", "emf", "600x400"} << 3;
    }
    void playedPictureIsKeptPerTargetSize()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, plays);
        Picture p;
        p.pic.SetVector(Metafile::Load(MinimalEmf()));
        p.model.LeftAxis().SetMinMax(0, 10);
        p.model.BottomAxis().SetMinMax(0, 10);
        const quint64 before = TChartPicture::Plays();
        for (const QString& step : steps) {
            if (step == "emf") {
                EmfDevice emf(QSize(600, 400));
                QPainter painter(&emf);
                RenderChart(p.model, painter, QRect(0, 0, 600, 400));
            } else if (step == "title") {
                p.model.Title().SetAlignment(taLeftJustify);
            } else if (step == "wall") {
                p.model.Walls().Back().SetTransparent(false);
                p.model.Walls().Back().SetColor(RGBColor(10, 20, 30));
            } else if (step == "picture") {
                p.pic.SetVector(Metafile::Load(MinimalWmf()));
            } else {
                const QStringList parts = step.split(u'@');
                const QStringList wh = parts[0].split(u'x');
                const qreal ratio = parts.size() > 1 ? parts[1].toDouble() : 1.0;
                const QSize size(wh[0].toInt(), wh[1].toInt());
                QImage img(size * ratio, QImage::Format_ARGB32_Premultiplied);
                img.setDevicePixelRatio(ratio);
                img.fill(Qt::white);
                {
                    QPainter painter(&img);
                    RenderChart(p.model, painter, QRect(QPoint(0, 0), size));
                }
                // Kept or played, the picture covers the plot area.
                const QRect plot = ComputeChartLayout(p.model, QRect(QPoint(0, 0), size)).plot;
                for (const QPoint pt : {plot.topLeft() + QPoint(8, 8), plot.bottomRight() - QPoint(8, 8)}) {
                    const QColor c = img.pixelColor(pt * ratio);
                    QVERIFY2(qAbs(c.green() - 200) < 30 && c.red() < 40 && c.blue() < 40, qPrintable(c.name()));
                }
            }
        }
        QCOMPARE(TChartPicture::Plays() - before, quint64(plays));
    }
};

QTEST_MAIN(TestPictureLoader)
#include "tst_PictureLoader.moc"
