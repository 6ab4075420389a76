// The EMF writer, checked through the bytes it produces: a small reader in
// this file walks every record (size, alignment, object handles) and the
// tests look at the records each kind of drawing turns into.

#include "ChartModel.h"
#include "ChartRenderer.h"
#include "EmfDevice.h"
#include "EmfRecords.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>
#include <QtTest>

#include <functional>
#include <set>

using namespace emf;

namespace {

struct Record {
    std::uint32_t type = 0;
    QByteArray bytes; // the whole record, head included

    // Fields by byte offset; a field beyond the record reads as 0 and fails
    // the test instead of reading outside it.
    bool Has(qsizetype off, qsizetype n) const
    {
        const bool in = off >= 0 && n >= 0 && off + n <= bytes.size();
        if (!in)
            qWarning("field at %lld beyond record %u of %lld bytes", qlonglong(off), type, qlonglong(bytes.size()));
        return in;
    }
    template <class T> T Get(int off) const
    {
        T v{};
        if (Has(off, sizeof(T)))
            v = qFromLittleEndian<T>(reinterpret_cast<const uchar*>(bytes.constData()) + off);
        return v;
    }
    std::uint32_t U32(int off) const { return Get<std::uint32_t>(off); }
    std::int32_t I32(int off) const { return Get<std::int32_t>(off); }
    std::uint16_t U16(int off) const { return Get<std::uint16_t>(off); }
    std::uint8_t U8(int off) const { return Has(off, 1) ? std::uint8_t(bytes.at(off)) : 0; }
    float F32(int off) const
    {
        const std::uint32_t v = U32(off);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    QString Utf16(int off, int chars) const
    {
        if (!Has(off, qsizetype(chars) * 2))
            return {};
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + off), chars);
    }
};

// Reads a whole file, failing the test on anything malformed: records that
// overrun the file or are not a multiple of 4 bytes, a header whose counts
// disagree with the file, objects used before creation or never deleted.
struct Emf {
    QList<Record> records;
    bool ok = false;

    const Record& Header() const { return records.first(); }
    QList<Record> OfType(std::uint32_t type) const
    {
        QList<Record> out;
        for (const Record& r : records)
            if (r.type == type)
                out.append(r);
        return out;
    }
    QList<std::uint32_t> Types() const
    {
        QList<std::uint32_t> t;
        for (const Record& r : records)
            t.append(r.type);
        return t;
    }
};

Emf Parse(const QByteArray& data)
{
    Emf emf;
    qsizetype off = 0;
    while (off < data.size()) {
        if (data.size() - off < 8) {
            qWarning("record head cut short at %lld", qlonglong(off));
            return emf;
        }
        Record r;
        const auto* head = reinterpret_cast<const uchar*>(data.constData()) + off;
        r.type = qFromLittleEndian<std::uint32_t>(head);
        const std::uint32_t size = qFromLittleEndian<std::uint32_t>(head + 4);
        if (size < 8 || size % 4 != 0 || qint64(size) > data.size() - off) {
            qWarning("record %u at %lld has a bad size %u", r.type, qlonglong(off), size);
            return emf;
        }
        r.bytes = data.mid(off, size);
        emf.records.append(r);
        off += size;
    }
    if (emf.records.size() < 2 || emf.records.first().type != EMR_HEADER || emf.records.last().type != EMR_EOF) {
        qWarning("no header first or no EOF last");
        return emf;
    }
    const Record& h = emf.records.first();
    if (h.U32(40) != kEmfSignature || h.U32(44) != 0x10000 || h.U32(48) != std::uint32_t(data.size()) ||
        h.U32(52) != std::uint32_t(emf.records.size())) {
        qWarning("header signature, version, byte or record count wrong");
        return emf;
    }
    const Record& eof = emf.records.last();
    if (eof.bytes.size() != 20 || eof.U32(16) != 20) {
        qWarning("EOF record malformed");
        return emf;
    }
    // Object handles: created once, selected while alive, all deleted.
    const std::uint32_t tableSize = h.U16(56);
    std::set<std::uint32_t> alive;
    for (const Record& r : emf.records) {
        if (r.type == EMR_CREATEPEN || r.type == EMR_EXTCREATEPEN || r.type == EMR_CREATEBRUSHINDIRECT ||
            r.type == EMR_EXTCREATEFONTINDIRECTW) {
            const std::uint32_t ih = r.U32(8);
            if (ih == 0 || ih >= tableSize || !alive.insert(ih).second) {
                qWarning("object %u created twice or outside the table of %u", ih, tableSize);
                return emf;
            }
        } else if (r.type == EMR_SELECTOBJECT) {
            const std::uint32_t ih = r.U32(8);
            if (!(ih & kStockObject) && !alive.count(ih)) {
                qWarning("object %u selected but not alive", ih);
                return emf;
            }
        } else if (r.type == EMR_DELETEOBJECT) {
            if (alive.erase(r.U32(8)) != 1) {
                qWarning("object %u deleted but not alive", r.U32(8));
                return emf;
            }
        }
    }
    if (!alive.empty()) {
        qWarning("%d objects never deleted", int(alive.size()));
        return emf;
    }
    emf.ok = true;
    return emf;
}

QByteArray Paint(const std::function<void(QPainter&)>& draw, QSize size = QSize(200, 100), int dpi = 96)
{
    EmfDevice device(size, dpi);
    {
        QPainter p(&device);
        draw(p);
    }
    return device.Data();
}

// Whether `want` occurs in `types` in this order, other records between.
bool HasSequence(const QList<std::uint32_t>& types, const QList<std::uint32_t>& want)
{
    qsizetype at = 0;
    for (std::uint32_t t : types)
        if (at < want.size() && t == want[at])
            ++at;
    return at == want.size();
}

using Draw = std::function<void(QPainter&)>;
using Types = QList<std::uint32_t>;

} // namespace

Q_DECLARE_METATYPE(Draw)

class TestEmfDevice : public QObject {
    Q_OBJECT
private slots:
    void header_data();
    void header();
    void emptyPicture();
    void primitives_data();
    void primitives();
    void worldTransform_data();
    void worldTransform();
    void penStyles_data();
    void penStyles();
    void text_data();
    void text();
    void translucentFill();
    void image_data();
    void image();
    void markerRuns_data();
    void markerRuns();
    void chartMarkersBoundedByArea();
    void defaultChart_data();
    void defaultChart();
    void chartPens_data();
    void chartPens();
    void dataOnlyAfterPainting();
    void secondPainterStartsClean_data();
    void secondPainterStartsClean();
};

void TestEmfDevice::header_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSize>("expectedSize");
    QTest::newRow("chart at 96 dpi") << QSize(749, 527) << 96 << QSize(749, 527);
    QTest::newRow("one pixel") << QSize(1, 1) << 96 << QSize(1, 1);
    QTest::newRow("empty size is one pixel") << QSize(0, -5) << 96 << QSize(1, 1);
    QTest::newRow("high density") << QSize(1600, 900) << 192 << QSize(1600, 900);
    QTest::newRow("wider than 16-bit logical units") << QSize(4000, 30) << 120 << QSize(4000, 30);
}

void TestEmfDevice::header()
{
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    QFETCH(QSize, expectedSize);
    const QByteArray data = Paint([](QPainter& p) { p.fillRect(QRect(10, 20, 30, 40), Qt::red); }, size, dpi);
    const Emf emf = Parse(data);
    QVERIFY(emf.ok);
    const Record& h = emf.Header();
    // Bounds: inclusive device pixels of what was drawn, clipped to the
    // device; empty (right < left) when nothing is visible.
    const QRect seen = QRect(10, 20, 30, 40).intersected(QRect(QPoint(0, 0), expectedSize));
    QCOMPARE(h.I32(16) < h.I32(8), seen.isEmpty());
    if (!seen.isEmpty()) {
        QCOMPARE(h.I32(8), seen.left());
        QCOMPARE(h.I32(12), seen.top());
        QCOMPARE(h.I32(16), seen.right());
        QCOMPARE(h.I32(20), seen.bottom());
    }
    // Frame: hundredths of a millimetre, inclusive.
    QCOMPARE(h.I32(24), 0);
    QCOMPARE(h.I32(28), 0);
    QCOMPARE(h.I32(32), int(std::lround(expectedSize.width() * 2540.0 / dpi)) - 1);
    QCOMPARE(h.I32(36), int(std::lround(expectedSize.height() * 2540.0 / dpi)) - 1);
    // The reference device: pixels per millimetre exactly dpi / 25.4, and
    // at least as large as the picture.
    const qint64 devW = h.I32(72), devH = h.I32(76), mmW = h.I32(80), mmH = h.I32(84);
    QVERIFY(devW >= expectedSize.width() && devH >= expectedSize.height());
    QCOMPARE(devW * 127, mmW * 5 * dpi);
    QCOMPARE(devH * 127, mmH * 5 * dpi);
    QCOMPARE(qint64(h.I32(100)), mmW * 1000);
    QCOMPARE(qint64(h.I32(104)), mmH * 1000);
    // The description follows the 108 bytes of header and its extensions.
    QCOMPARE(h.U32(64), kHeaderSize);
    QCOMPARE(h.Utf16(int(kHeaderSize), int(h.U32(60))), QStringLiteral("Plotmere") + QChar(0) + QStringLiteral("Chart") +
                                                              QChar(0) + QChar(0));
    // The window maps 16 logical units to one device pixel.
    const Record win = emf.OfType(EMR_SETWINDOWEXTEX).value(0), view = emf.OfType(EMR_SETVIEWPORTEXTEX).value(0);
    QCOMPARE(emf.OfType(EMR_SETMAPMODE).value(0).U32(8), MM_ANISOTROPIC);
    QCOMPARE(win.I32(8), 16 * expectedSize.width());
    QCOMPARE(view.I32(8), expectedSize.width());
    QCOMPARE(win.I32(12), 16 * expectedSize.height());
    QCOMPARE(view.I32(12), expectedSize.height());
}

void TestEmfDevice::emptyPicture()
{
    const Emf emf = Parse(Paint([](QPainter&) {}));
    QVERIFY(emf.ok);
    QCOMPARE(emf.Header().I32(16), -1); // empty bounds: right < left
    QCOMPARE(emf.Header().I32(20), -1);
    QCOMPARE(emf.Header().U16(56), std::uint16_t(1));
}

void TestEmfDevice::primitives_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<Types>("sequence"); // in this order, others between
    QTest::addColumn<Types>("absent");

    QTest::newRow("filled rectangle") << Draw([](QPainter& p) { p.fillRect(QRectF(1, 2, 30, 40), Qt::blue); })
                                      << Types{EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_RECTANGLE}
                                      << Types{EMR_STRETCHDIBITS, EMR_ALPHABLEND};
    QTest::newRow("ellipse") << Draw([](QPainter& p) {
        p.setBrush(Qt::green);
        p.drawEllipse(QRectF(10, 10, 9, 9));
    }) << Types{EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT, EMR_ELLIPSE} << Types{EMR_BEGINPATH};
    QTest::newRow("ellipse path") << Draw([](QPainter& p) {
        QPainterPath path;
        path.addEllipse(QRectF(-4, -4, 9, 9));
        p.setBrush(Qt::green);
        p.drawPath(path.translated(50, 50));
    }) << Types{EMR_ELLIPSE} << Types{EMR_BEGINPATH};
    QTest::newRow("triangle") << Draw([](QPainter& p) {
        const QPointF t[3] = {{10, 10}, {20, 30}, {0, 30}};
        p.setBrush(Qt::red);
        p.drawPolygon(t, 3, Qt::WindingFill);
    }) << Types{EMR_SETPOLYFILLMODE, EMR_POLYGON16} << Types{EMR_BEGINPATH};
    QTest::newRow("polyline") << Draw([](QPainter& p) {
        const QPointF t[4] = {{10, 10}, {20, 30}, {0, 30}, {5, 5}};
        p.drawPolyline(t, 4);
    }) << Types{EMR_POLYLINE16} << Types{EMR_POLYGON16};
    QTest::newRow("lines") << Draw([](QPainter& p) {
        const QLineF l[2] = {{0, 0, 10, 10}, {10, 0, 0, 10}};
        p.drawLines(l, 2);
    }) << Types{EMR_POLYPOLYLINE16} << Types{};
    QTest::newRow("closed path with a curve")
        << Draw([](QPainter& p) {
               QPainterPath path(QPointF(10, 10));
               path.cubicTo(20, 0, 40, 20, 50, 10);
               path.lineTo(30, 40);
               path.closeSubpath();
               p.setBrush(Qt::yellow);
               p.drawPath(path);
           })
        << Types{EMR_BEGINPATH, EMR_MOVETOEX, EMR_POLYBEZIERTO16, EMR_POLYLINETO16, EMR_CLOSEFIGURE, EMR_ENDPATH,
                 EMR_STROKEANDFILLPATH}
        << Types{EMR_FILLPATH};
    QTest::newRow("open path filled and stroked")
        << Draw([](QPainter& p) {
               QPainterPath path(QPointF(10, 10));
               path.quadTo(30, 0, 50, 30);
               p.setBrush(Qt::yellow);
               p.drawPath(path);
           })
        << Types{EMR_BEGINPATH, EMR_POLYBEZIERTO16, EMR_ENDPATH, EMR_FILLPATH, EMR_BEGINPATH, EMR_ENDPATH,
                 EMR_STROKEPATH}
        << Types{EMR_STROKEANDFILLPATH, EMR_CLOSEFIGURE};
    QTest::newRow("coordinates beyond 16 bits") << Draw([](QPainter& p) {
        const QPointF t[3] = {{0, 0}, {3000, 10}, {10, 50}};
        p.setPen(Qt::NoPen); // a one-pixel pen would draw in whole pixels
        p.setBrush(Qt::red);
        p.drawPolygon(t, 3);
    }) << Types{EMR_POLYGON} << Types{EMR_POLYGON16};
    QTest::newRow("translation") << Draw([](QPainter& p) {
        p.translate(30, 5);
        p.fillRect(QRect(0, 0, 5, 5), Qt::red);
    }) << Types{EMR_SETWORLDTRANSFORM, EMR_RECTANGLE} << Types{};
    QTest::newRow("rotation") << Draw([](QPainter& p) {
        p.translate(30, 50);
        p.rotate(-90);
        p.fillRect(QRect(0, 0, 20, 5), Qt::red);
        p.resetTransform();
        p.fillRect(QRect(0, 0, 5, 5), Qt::red);
    }) << Types{EMR_SETWORLDTRANSFORM, EMR_POLYGON16, EMR_MODIFYWORLDTRANSFORM, EMR_RECTANGLE} << Types{};
    QTest::newRow("rect clip, nested, restored")
        << Draw([](QPainter& p) {
               p.save();
               p.setClipRect(QRect(0, 0, 100, 50));
               p.save();
               p.setClipRect(QRect(10, 10, 20, 20), Qt::IntersectClip);
               p.fillRect(QRect(0, 0, 200, 100), Qt::red);
               p.restore();
               p.fillRect(QRect(0, 0, 200, 100), Qt::blue);
               p.restore();
               p.fillRect(QRect(0, 0, 200, 100), Qt::green);
           })
        << Types{EMR_INTERSECTCLIPRECT, EMR_INTERSECTCLIPRECT, EMR_RECTANGLE, EMR_EXTSELECTCLIPRGN,
                 EMR_INTERSECTCLIPRECT, EMR_RECTANGLE, EMR_EXTSELECTCLIPRGN, EMR_RECTANGLE}
        << Types{EMR_SELECTCLIPPATH};
    QTest::newRow("path clip replaced")
        << Draw([](QPainter& p) {
               QPainterPath round;
               round.addEllipse(QRectF(0, 0, 80, 80));
               p.setClipPath(round);
               p.fillRect(QRect(0, 0, 200, 100), Qt::red);
               p.setClipRect(QRect(5, 5, 10, 10), Qt::ReplaceClip);
               p.fillRect(QRect(0, 0, 200, 100), Qt::red);
           })
        << Types{EMR_BEGINPATH, EMR_ENDPATH, EMR_SELECTCLIPPATH, EMR_RECTANGLE, EMR_EXTSELECTCLIPRGN,
                 EMR_INTERSECTCLIPRECT, EMR_RECTANGLE}
        << Types{};
    QTest::newRow("opaque gradient drawn as a bitmap") << Draw([](QPainter& p) {
        QLinearGradient g(0, 0, 100, 0);
        g.setColorAt(0, Qt::red);
        g.setColorAt(1, Qt::blue);
        p.fillRect(QRect(0, 0, 100, 50), g);
    }) << Types{EMR_STRETCHDIBITS} << Types{EMR_RECTANGLE, EMR_CREATEBRUSHINDIRECT, EMR_ALPHABLEND};
    QTest::newRow("antialiased gradient edge blended") << Draw([](QPainter& p) {
        QLinearGradient g(0, 0, 100, 0);
        g.setColorAt(0, Qt::red);
        g.setColorAt(1, Qt::blue);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(QRectF(0.5, 0.5, 90, 40));
    }) << Types{EMR_ALPHABLEND} << Types{EMR_ELLIPSE, EMR_STRETCHDIBITS};
    QTest::newRow("translucent stroke drawn as a bitmap") << Draw([](QPainter& p) {
        p.setPen(QPen(QColor(0, 0, 0, 100), 3));
        p.drawLine(0, 0, 100, 50);
    }) << Types{EMR_ALPHABLEND} << Types{EMR_POLYLINE16};
    QTest::newRow("perspective drawn as a bitmap") << Draw([](QPainter& p) {
        p.setTransform(QTransform(1, 0, 0.001, 0, 1, 0.002, 0, 0, 1));
        p.fillRect(QRect(0, 0, 50, 50), Qt::red);
    }) << Types{EMR_ALPHABLEND} << Types{EMR_RECTANGLE, EMR_POLYGON16};
    QTest::newRow("nothing inside the clip") << Draw([](QPainter& p) {
        p.setClipRect(QRect(0, 0, 10, 10));
        p.fillRect(QRect(50, 50, 10, 10), Qt::red);
    }) << Types{} << Types{EMR_RECTANGLE, EMR_CREATEBRUSHINDIRECT};
}

void TestEmfDevice::primitives()
{
    QFETCH(Draw, draw);
    QFETCH(Types, sequence);
    QFETCH(Types, absent);
    const Emf emf = Parse(Paint(draw));
    QVERIFY(emf.ok);
    QVERIFY2(HasSequence(emf.Types(), sequence), "records missing or out of order");
    for (std::uint32_t t : absent)
        QVERIFY2(emf.OfType(t).isEmpty(), qPrintable(QStringLiteral("unexpected record %1").arg(t)));
}

void TestEmfDevice::worldTransform_data()
{
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<QList<float>>("world"); // empty: no world transform written
    QTest::addColumn<QRect>("box");          // the rectangle's logical box
    // A 10 x 20 rectangle at the origin, drawn under `transform`.
    QTest::newRow("identity") << QTransform() << QList<float>{} << QRect(QPoint(0, 0), QPoint(160, 320));
    QTest::newRow("translation") << QTransform::fromTranslate(30, 5) << QList<float>{1, 0, 0, 1, 480, 80}
                                 << QRect(QPoint(0, 0), QPoint(160, 320));
    QTest::newRow("rotation") << QTransform().translate(100, 50).rotate(90) << QList<float>{0, 1, -1, 0, 1600, 800}
                              << QRect(QPoint(0, 0), QPoint(160, 320));
    // A scale keeps sixteen units a device pixel: written in smaller units.
    QTest::newRow("half scale") << QTransform::fromScale(0.5, 0.5) << QList<float>{}
                                << QRect(QPoint(0, 0), QPoint(80, 160));
    QTest::newRow("hundredfold scale") << QTransform::fromScale(100, 100) << QList<float>{100.f / 128, 0, 0, 100.f / 128, 0, 0}
                                       << QRect(QPoint(0, 0), QPoint(20480, 40960));
}

void TestEmfDevice::worldTransform()
{
    QFETCH(QTransform, transform);
    QFETCH(QList<float>, world);
    QFETCH(QRect, box);
    const Emf emf = Parse(Paint([&](QPainter& p) {
        p.setTransform(transform);
        p.fillRect(QRectF(0, 0, 10, 20), Qt::red);
    }, QSize(2000, 2000)));
    QVERIFY(emf.ok);
    const QList<Record> set = emf.OfType(EMR_SETWORLDTRANSFORM);
    QCOMPARE(set.size(), world.isEmpty() ? 0 : 1);
    for (int i = 0; i < world.size(); ++i)
        QVERIFY2(std::fabs(set.first().F32(8 + 4 * i) - world[i]) < 1e-5f, qPrintable(QString::number(i)));
    const QList<Record> shapes = emf.OfType(transform.m12() != 0 ? EMR_POLYGON16 : EMR_RECTANGLE);
    QCOMPARE(shapes.size(), 1);
    if (shapes.first().type == EMR_RECTANGLE) {
        QCOMPARE(QRect(QPoint(shapes.first().I32(8), shapes.first().I32(12)),
                       QPoint(shapes.first().I32(16), shapes.first().I32(20))),
                 box);
    }
}

namespace {

// The pieces of line a file draws, in device pixels: each polyline from
// its first point to its last.
QList<QLineF> LinePieces(const Emf& emf, double unitsPerPixel)
{
    QList<QLineF> pieces;
    auto point = [&](const Record& r, int off) {
        return QPointF(std::int16_t(r.U16(off)), std::int16_t(r.U16(off + 2))) / unitsPerPixel;
    };
    for (const Record& r : emf.records) {
        if (r.type == EMR_POLYLINE16) {
            const int n = int(r.U32(24));
            pieces.append(QLineF(point(r, 28), point(r, 28 + 4 * (n - 1))));
        } else if (r.type == EMR_POLYPOLYLINE16) {
            const int lines = int(r.U32(24));
            int at = 32 + 4 * lines;
            for (int i = 0; i < lines; ++i) {
                const int n = int(r.U32(32 + 4 * i));
                pieces.append(QLineF(point(r, at), point(r, at + 4 * (n - 1))));
                at += 4 * n;
            }
        }
    }
    return pieces;
}

} // namespace

void TestEmfDevice::penStyles_data()
{
    QTest::addColumn<QPen>("pen");
    QTest::addColumn<std::uint32_t>("record");
    QTest::addColumn<std::uint32_t>("style"); // the whole style word
    QTest::addColumn<int>("width");           // logical units
    QTest::addColumn<QList<int>>("pattern");  // device pixels on, off...; empty: solid

    const std::uint32_t hairline = EMR_CREATEPEN, geometric = EMR_EXTCREATEPEN;
    QTest::newRow("solid flat miter 2px: geometric, 16 units a pixel")
        << QPen(Qt::red, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin) << geometric
        << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER) << 32 << QList<int>{};
    QTest::newRow("one-pixel pen: the width-0 pen") << QPen(Qt::red, 1) << hairline << PS_SOLID << 0 << QList<int>{};
    QTest::newRow("cosmetic hairline: the width-0 pen") << QPen(Qt::red, 0) << hairline << PS_SOLID << 0
                                                        << QList<int>{};
    QTest::newRow("dotted hairline (the grid): dots of 1 on 2 off") << QPen(Qt::red, 0, Qt::DotLine) << hairline
                                                                   << PS_SOLID << 0 << QList<int>{1, 2};
    QTest::newRow("dashed one-pixel pen: 4 on 2 off") << QPen(Qt::red, 1, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin)
                                                      << hairline << PS_SOLID << 0 << QList<int>{4, 2};
    QTest::newRow("dotted 3px round: dashes in pen widths, the pen's caps")
        << QPen(Qt::red, 3, Qt::DotLine, Qt::RoundCap, Qt::RoundJoin) << geometric
        << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND) << 48 << QList<int>{3, 6};
    QTest::newRow("dash-dot 2px") << QPen(Qt::red, 2, Qt::DashDotLine, Qt::FlatCap, Qt::BevelJoin) << geometric
                                  << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_BEVEL) << 32
                                  << QList<int>{8, 4, 2, 4};
    QTest::newRow("dash-dot-dot 2px") << QPen(Qt::red, 2, Qt::DashDotDotLine, Qt::FlatCap, Qt::BevelJoin)
                                      << geometric << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_BEVEL) << 32
                                      << QList<int>{8, 4, 2, 4, 2, 4};
    QTest::newRow("dashes finer than the file should hold: one solid line")
        << QPen(Qt::red, 1e-5, Qt::DashLine) << hairline << PS_SOLID << 0 << QList<int>{};
    QPen thickCosmetic(Qt::red, 3, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    thickCosmetic.setCosmetic(true);
    QTest::newRow("cosmetic 3px") << thickCosmetic << geometric
                                  << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_BEVEL) << 48 << QList<int>{};
    QPen custom(Qt::red, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::BevelJoin);
    custom.setDashPattern({3, 1});
    QTest::newRow("custom dashes 2px") << custom << geometric
                                       << (PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_BEVEL) << 32
                                       << QList<int>{6, 2};
}

void TestEmfDevice::penStyles()
{
    QFETCH(QPen, pen);
    QFETCH(std::uint32_t, record);
    QFETCH(std::uint32_t, style);
    QFETCH(int, width);
    QFETCH(QList<int>, pattern);
    const Emf emf = Parse(Paint([&](QPainter& p) {
        p.scale(2, 2); // a cosmetic pen keeps its device width, a geometric one scales
        p.scale(0.5, 0.5);
        p.setPen(pen);
        p.drawLine(10, 10, 100, 10);
    }));
    QVERIFY(emf.ok);
    QCOMPARE(emf.OfType(EMR_CREATEPEN).size() + emf.OfType(EMR_EXTCREATEPEN).size(), 1);
    const QList<Record> pens = emf.OfType(record);
    QCOMPARE(pens.size(), 1);
    const Record& r = pens.first();
    const std::uint32_t color = 0x0000FF; // red, as 0x00BBGGRR
    if (record == EMR_CREATEPEN) {
        QCOMPARE(r.U32(12), style);
        QCOMPARE(r.I32(16), width);
        QCOMPARE(r.U32(24), color);
        // Drawn in whole pixels: one logical unit each.
        const QList<Record> world = emf.OfType(EMR_SETWORLDTRANSFORM);
        QCOMPARE(world.size(), 1);
        QCOMPARE(world.first().F32(8), 16.f);
    } else {
        QCOMPARE(r.U32(28), style);
        QCOMPARE(r.I32(32), width);
        QCOMPARE(r.U32(36), BS_SOLID);
        QCOMPARE(r.U32(40), color);
        QCOMPARE(r.U32(48), 0u); // no style entries: dashes are lines of their own
    }
    // The pieces of line follow the screen's pattern from the line's start.
    QList<QLineF> expected;
    for (int x = 10, i = 0; x < 100; i += 2) {
        const int on = pattern.isEmpty() ? 90 : pattern[i % pattern.size()];
        expected.append(QLineF(x, 10, std::min(x + on, 100), 10));
        x += on + (pattern.isEmpty() ? 0 : pattern[(i + 1) % pattern.size()]);
    }
    QCOMPARE(LinePieces(emf, record == EMR_CREATEPEN ? 1 : 16), expected);
}

void TestEmfDevice::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("strikeOut");
    QTest::newRow("title") << QStringLiteral("Plotmere Graph") << 10 << false << false << false << false;
    QTest::newRow("Japanese bold") << QStringLiteral("電圧と時間") << 12 << true << false << false << false;
    QTest::newRow("italic underline") << QStringLiteral("y = 0.5x") << 9 << false << true << true << false;
    QTest::newRow("strike-out") << QStringLiteral("abc") << 20 << false << false << false << true;
}

void TestEmfDevice::text()
{
    QFETCH(QString, text);
    QFETCH(int, pointSize);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(bool, underline);
    QFETCH(bool, strikeOut);
    QFont font(QStringLiteral("Noto Sans CJK JP"), pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    const Emf emf = Parse(Paint([&](QPainter& p) {
        p.setFont(QFont(font, p.device()));
        p.setPen(QColor(0, 0, 255));
        p.drawText(QPointF(10, 40), text);
    }));
    QVERIFY(emf.ok);
    const QList<Record> fonts = emf.OfType(EMR_EXTCREATEFONTINDIRECTW);
    QVERIFY(!fonts.isEmpty());
    const Record& f = fonts.first();
    QCOMPARE(f.bytes.size(), 332); // the record as Windows writes it
    QCOMPARE(f.I32(12), -int(std::lround(pointSize * 96.0 / 72.0 * 16))); // em height, 16 units a pixel
    QCOMPARE(f.U32(28), std::uint32_t(bold ? 700 : 400));
    QCOMPARE(bool(f.U8(32)), italic);
    QCOMPARE(bool(f.U8(33)), underline);
    QCOMPARE(bool(f.U8(34)), strikeOut);
    QCOMPARE(f.Utf16(40, 32).section(QChar(0), 0, 0), QStringLiteral("Noto Sans CJK JP"));
    QCOMPARE(emf.OfType(EMR_SETTEXTCOLOR).value(0).U32(8), 0xFF0000u);

    // The text records together carry the string, each with one advance per
    // UTF-16 unit that add up to Qt's own width of the text.
    QString written;
    std::int64_t advance = 0;
    for (const Record& t : emf.OfType(EMR_EXTTEXTOUTW)) {
        const int n = int(t.U32(44));
        const int offString = int(t.U32(48));
        const int offDx = int(t.U32(72));
        QCOMPARE(offString, 76);
        QVERIFY(offDx >= offString + 2 * n && offDx + 4 * n <= t.bytes.size());
        written += t.Utf16(offString, n);
        for (int i = 0; i < n; ++i)
            advance += t.I32(offDx + 4 * i);
    }
    QCOMPARE(written, text);
    const double qtWidth = QFontMetricsF(font).horizontalAdvance(text) * 16;
    QVERIFY2(std::abs(advance - qtWidth) <= 0.1 * qtWidth, qPrintable(QStringLiteral("%1 vs %2").arg(advance).arg(qtWidth)));
    // Underline and strike-out come from the font record, not drawn again.
    QVERIFY(emf.OfType(EMR_POLYLINE16).isEmpty());
    QVERIFY(emf.OfType(EMR_ALPHABLEND).isEmpty());
}

void TestEmfDevice::translucentFill()
{
    // The chart's shadow: silver at half transparency.
    const Emf emf = Parse(Paint([](QPainter& p) { p.fillRect(QRect(10, 10, 100, 50), QColor(192, 192, 192, 128)); }));
    QVERIFY(emf.ok);
    const QList<Record> blends = emf.OfType(EMR_ALPHABLEND);
    QCOMPARE(blends.size(), 1);
    const Record& b = blends.first();
    QCOMPARE(b.I32(24), 160); // destination in logical units
    QCOMPARE(b.I32(28), 160);
    QCOMPARE(b.I32(32), 1600);
    QCOMPARE(b.I32(36), 800);
    QCOMPARE(b.U8(40), AC_SRC_OVER);
    QCOMPARE(b.U8(42), std::uint8_t(128)); // the colour's alpha as constant alpha
    QCOMPARE(b.U8(43), std::uint8_t(0));   // an opaque pixel: no per-pixel alpha
    QCOMPARE(b.I32(100), 1);               // one source pixel
    QCOMPARE(b.I32(104), 1);
    const int offBmi = int(b.U32(84)), offBits = int(b.U32(92));
    QCOMPARE(b.I32(offBmi + 4), 1);
    QCOMPARE(b.U32(offBits) & 0xFFFFFFu, 0xC0C0C0u);
    QVERIFY(emf.OfType(EMR_RECTANGLE).isEmpty());
}

void TestEmfDevice::image_data()
{
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("expected"); // pixels stored: never more than covered
    QTest::newRow("opaque picture") << false << QSize(7, 5) << QSize(7, 5);
    QTest::newRow("picture with alpha") << true << QSize(7, 5) << QSize(7, 5);
    QTest::newRow("huge picture shrinks to its area") << false << QSize(2000, 1500) << QSize(40, 30);
}

void TestEmfDevice::image()
{
    QFETCH(bool, alpha);
    QFETCH(QSize, source);
    QFETCH(QSize, expected);
    QImage image(source, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(alpha ? QColor(255, 0, 0, 100) : QColor(10, 20, 30));
    image.setPixel(0, 0, qRgba(1, 2, 3, 255));
    const Emf emf = Parse(Paint([&](QPainter& p) { p.drawImage(QRectF(20, 10, 40, 30), image); }));
    QVERIFY(emf.ok);
    const std::uint32_t type = alpha ? EMR_ALPHABLEND : EMR_STRETCHDIBITS;
    QCOMPARE(emf.OfType(type).size(), 1);
    QCOMPARE(emf.OfType(alpha ? EMR_STRETCHDIBITS : EMR_ALPHABLEND).size(), 0);
    const Record r = emf.OfType(type).first();
    const int offBmi = int(r.U32(alpha ? 84 : 48)), offBits = int(r.U32(alpha ? 92 : 56));
    const std::uint32_t cbBits = r.U32(alpha ? 96 : 60);
    QCOMPARE(r.U32(offBmi), kBitmapInfoHeaderSize);
    QCOMPARE(r.I32(offBmi + 4), expected.width());
    QCOMPARE(r.I32(offBmi + 8), expected.height()); // bottom-up
    const int bits = r.U16(offBmi + 14);
    QCOMPARE(bits, alpha ? 32 : 24);
    const int stride = ((expected.width() * bits / 8) + 3) & ~3;
    QCOMPARE(cbBits, std::uint32_t(stride * expected.height()));
    QVERIFY(offBits + qint64(cbBits) <= r.bytes.size());
    if (alpha) {
        QCOMPARE(r.U8(43), AC_SRC_ALPHA);
        // Premultiplied, as the blend requires: red 255 at alpha 100.
        const std::uint32_t px = r.U32(offBits + 4);
        QCOMPARE(px >> 24, 100u);
        QVERIFY(std::abs(int((px >> 16) & 0xFF) - 100) <= 1);
    } else {
        // The top-left source pixel is the first of the last row stored.
        if (expected == source) {
            const int at = offBits + stride * (expected.height() - 1);
            QCOMPARE(r.U8(at), std::uint8_t(3));
            QCOMPARE(r.U8(at + 1), std::uint8_t(2));
            QCOMPARE(r.U8(at + 2), std::uint8_t(1));
        }
        QCOMPARE(r.I32(72), 40 * 16); // destination size in logical units
        QCOMPARE(r.I32(76), 30 * 16);
    }
}

void TestEmfDevice::markerRuns_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<int>("ellipses");
    auto marker = [](QPainter& p, double x, double y) {
        QPainterPath path;
        path.addEllipse(QRectF(-4, -4, 9, 9));
        p.drawPath(path.translated(x, y));
    };
    QTest::newRow("same place a thousand times") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        for (int i = 0; i < 1000; ++i)
            marker(p, 50, 50);
    }) << 1;
    QTest::newRow("distinct places") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        for (int i = 0; i < 100; ++i)
            marker(p, i, 50);
    }) << 100;
    QTest::newRow("a quarter scale folds four places into one") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        p.scale(0.25, 0.25);
        for (int i = 0; i < 400; ++i)
            marker(p, i, 200); // 0 to 99.75 pixels: rounded, pixels 0 to 100
    }) << 101;
    QTest::newRow("moved by the transform instead of the path") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        for (int i = 0; i < 50; ++i) {
            p.resetTransform();
            p.translate(10 + (i % 5), 10);
            marker(p, 0, 0);
        }
    }) << 5;
    QTest::newRow("something drawn between starts a new run") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        marker(p, 50, 50);
        p.drawLine(0, 0, 100, 100);
        marker(p, 50, 50);
    }) << 2;
    QTest::newRow("another colour starts a new run") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        marker(p, 50, 50);
        p.setBrush(Qt::red);
        marker(p, 50, 50);
    }) << 2;
    QTest::newRow("large shapes are never merged") << Draw([=](QPainter& p) {
        p.setBrush(Qt::blue);
        p.drawEllipse(QRectF(0, 0, 150, 90));
        p.drawEllipse(QRectF(0, 0, 150, 90));
    }) << 2;
}

void TestEmfDevice::markerRuns()
{
    QFETCH(Draw, draw);
    QFETCH(int, ellipses);
    const Emf emf = Parse(Paint(draw));
    QVERIFY(emf.ok);
    QCOMPARE(int(emf.OfType(EMR_ELLIPSE).size()), ellipses);
}

void TestEmfDevice::chartMarkersBoundedByArea()
{
    // 10^5 points in a chart, drawn once straight and once at half scale
    // onto a device of half the size: no more markers than device pixels.
    TChartModel chart;
    auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    QList<double> xs(100000), ys(100000);
    for (qsizetype i = 0; i < xs.size(); ++i) {
        xs[i] = double(i % 1000);
        ys[i] = double((i * 7919) % 1000);
    }
    points->AddXYs(xs, ys);
    for (const double scale : {1.0, 0.5}) {
        const QSize size(int(400 * scale), int(300 * scale));
        EmfDevice device(size);
        {
            QPainter p(&device);
            p.scale(scale, scale);
            RenderChart(chart, p, QRect(0, 0, 400, 300));
        }
        const Emf emf = Parse(device.Data());
        QVERIFY(emf.ok);
        const qsizetype markers = emf.OfType(EMR_ELLIPSE).size();
        QVERIFY(markers > 100);
        QVERIFY2(markers <= qsizetype(size.width()) * size.height() / 2,
                 qPrintable(QStringLiteral("%1 markers at scale %2").arg(markers).arg(scale)));
        QVERIFY(device.Data().size() < 64 * qsizetype(size.width()) * size.height());
    }
}

void TestEmfDevice::defaultChart_data()
{
    QTest::addColumn<bool>("styled");
    QTest::newRow("as it starts") << false;
    QTest::newRow("names, shadow, border, picture") << true;
}

void TestEmfDevice::defaultChart()
{
    QFETCH(bool, styled);
    TChartModel chart;
    auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    auto* line = chart.AddSeries<TLineSeries>(QStringLiteral("Series2"));
    if (styled) {
        points->AddXY(1, 2, QString(), clSeriesColor);
        points->AddXY(3, 5, QString(), clSeriesColor);
        line->AddXY(1, 2, QString(), clSeriesColor);
        line->AddXY(3, 5, QString(), clSeriesColor);
        chart.LeftAxis().Title().SetCaption(QStringLiteral("電圧"));
        chart.BottomAxis().Title().SetCaption(QStringLiteral("時間"));
        chart.Shadow().SetVisible(true);
        chart.Border().SetVisible(true);
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::yellow);
        chart.Walls().Back().Picture().SetImage(picture);
    }
    EmfDevice device(QSize(749, 527));
    {
        QPainter p(&device);
        RenderChart(chart, p, QRect(0, 0, 749, 527));
    }
    const Emf emf = Parse(device.Data());
    QVERIFY(emf.ok);
    QCOMPARE(emf.Header().I32(8), 0);
    QCOMPARE(emf.Header().I32(16), 748);
    QCOMPARE(emf.Header().I32(20), 526);
    QStringList texts;
    for (const Record& t : emf.OfType(EMR_EXTTEXTOUTW))
        texts << t.Utf16(int(t.U32(48)), int(t.U32(44)));
    const QString all = texts.join(QString());
    QVERIFY(all.contains(QStringLiteral("Plotmere")));
    QVERIFY(all.contains(QStringLiteral("Sub Title")) != styled || styled);
    if (styled) {
        QVERIFY(all.contains(QStringLiteral("電圧")));
        QVERIFY(!emf.OfType(EMR_SETWORLDTRANSFORM).isEmpty()); // the rotated left axis name
        QCOMPARE(emf.OfType(EMR_ALPHABLEND).size(), 1);        // the shadow
        QCOMPARE(emf.OfType(EMR_STRETCHDIBITS).size(), 1);     // the picture
        QCOMPARE(emf.OfType(EMR_ELLIPSE).size(), 2);           // the markers
    }
}

void TestEmfDevice::chartPens_data()
{
    // A chart's lines by their colour: the pen each gets, and the pieces its
    // first line is drawn in (device pixels on, off; empty: one piece).
    QTest::addColumn<std::uint32_t>("color"); // 0x00BBGGRR
    QTest::addColumn<std::uint32_t>("record");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("pattern");
    QTest::newRow("grid: one pixel, dotted 1 on 2 off") << 0xA0A0A0u << std::uint32_t(EMR_CREATEPEN) << 0
                                                        << QList<int>{1, 2};
    QTest::newRow("plot frame: one pixel") << 0x808080u << std::uint32_t(EMR_CREATEPEN) << 0 << QList<int>{};
    QTest::newRow("axes and ticks: one pixel, black") << 0x000000u << std::uint32_t(EMR_CREATEPEN) << 0
                                                      << QList<int>{};
    QTest::newRow("dashed 2px series line: dashes of 8 on 4 off, flat")
        << 0x00FF00u << std::uint32_t(EMR_EXTCREATEPEN) << 32 << QList<int>{8, 4};
}

void TestEmfDevice::chartPens()
{
    QFETCH(std::uint32_t, color);
    QFETCH(std::uint32_t, record);
    QFETCH(int, width);
    QFETCH(QList<int>, pattern);
    TChartModel chart;
    auto* line = chart.AddSeries<TLineSeries>(QStringLiteral("Series1"));
    line->AddXY(0, 0, QString(), clSeriesColor);
    line->AddXY(100, 0, QString(), clSeriesColor);
    line->SetSeriesColor(0x00FF00);
    line->LinePen().SetWidth(2);
    line->LinePen().SetStyle(psDash);
    EmfDevice device(QSize(749, 527));
    {
        QPainter p(&device);
        RenderChart(chart, p, QRect(0, 0, 749, 527));
    }
    const Emf emf = Parse(device.Data());
    QVERIFY(emf.ok);
    // The pen of that colour, and the first line drawn after it is selected.
    std::uint32_t handle = 0;
    int pens = 0;
    Emf drawn;
    for (const Record& r : emf.records) {
        const bool plain = r.type == EMR_CREATEPEN;
        if ((plain || r.type == EMR_EXTCREATEPEN) && r.U32(plain ? 24 : 40) == color) {
            ++pens;
            QCOMPARE(r.type, record);
            QCOMPARE(r.I32(plain ? 16 : 32), width);
            QCOMPARE(r.U32(plain ? 12 : 28) & PS_STYLE_MASK, PS_SOLID);
            if (handle == 0)
                handle = r.U32(8);
        } else if (r.type == EMR_SELECTOBJECT && handle != 0 && r.U32(8) == handle) {
            handle = ~0u; // selected: the next line is this pen's
        } else if (handle == ~0u && (r.type == EMR_POLYLINE16 || r.type == EMR_POLYPOLYLINE16)) {
            drawn.records.append(r);
            break;
        }
    }
    QCOMPARE(pens, 1);
    const QList<QLineF> pieces = LinePieces(drawn, record == EMR_CREATEPEN ? 1 : 16);
    QVERIFY(!pieces.isEmpty());
    if (pattern.isEmpty()) {
        QVERIFY(pieces.size() <= 2); // a line or two (the axes are two lines)
        return;
    }
    // Along the first line: each piece `on` long, the next `on + off` on.
    QVERIFY(pieces.size() > 8);
    for (int i = 0; i < 8; ++i) {
        // Within the rounding of each end to a sixteenth of a pixel.
        const double on = pattern[(2 * i) % pattern.size()], off = pattern[(2 * i + 1) % pattern.size()];
        QVERIFY2(std::fabs(pieces[i].length() - on) <= 0.125, qPrintable(QString::number(pieces[i].length())));
        QVERIFY(std::fabs(QLineF(pieces[i].p1(), pieces[i + 1].p1()).length() - (on + off)) <= 0.125);
    }
}

void TestEmfDevice::dataOnlyAfterPainting()
{
    EmfDevice device(QSize(10, 10));
    QVERIFY(device.Data().isEmpty());
    QByteArray first;
    {
        QPainter p(&device);
        p.fillRect(QRect(0, 0, 5, 5), Qt::red);
        QVERIFY(device.Data().isEmpty()); // not while a painter is active
    }
    first = device.Data();
    QVERIFY(Parse(first).ok);
    {
        QPainter p(&device); // a second painter starts a new file
    }
    const Emf second = Parse(device.Data());
    QVERIFY(second.ok);
    QVERIFY(second.OfType(EMR_RECTANGLE).isEmpty());
    QCOMPARE(Parse(first).OfType(EMR_RECTANGLE).size(), 1);
}

void TestEmfDevice::secondPainterStartsClean_data()
{
    // A first painter that leaves every piece of painter state it can set
    // away from its default; the second painter draws the same thing each
    // time and must write the file a fresh device writes.
    QTest::addColumn<Draw>("first");
    QTest::newRow("brush origin") << Draw([](QPainter& p) { p.setBrushOrigin(7, 3); });
    QTest::newRow("pen, brush, background, opacity, clip, transform") << Draw([](QPainter& p) {
        p.setPen(QPen(Qt::red, 3, Qt::DashLine));
        p.setBrush(QBrush(Qt::green, Qt::CrossPattern));
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::yellow);
        p.setOpacity(0.5);
        p.setClipRect(QRect(5, 5, 20, 20));
        p.rotate(30);
        p.setFont(QFont(QStringLiteral("Serif"), 30));
        p.drawText(QPointF(10, 10), QStringLiteral("first"));
        p.drawRect(QRectF(1, 1, 8, 8));
    });
}

void TestEmfDevice::secondPainterStartsClean()
{
    QFETCH(Draw, first);
    const Draw second = [](QPainter& p) {
        QImage tile(4, 4, QImage::Format_RGB32);
        tile.fill(Qt::blue);
        tile.setPixel(0, 0, qRgb(255, 0, 0));
        p.fillRect(QRectF(2, 2, 30, 20), QBrush(tile)); // a texture: drawn as a bitmap from the origin
        p.setPen(QPen(Qt::black, 0, Qt::DotLine));
        p.drawLine(0, 50, 100, 50);
        p.drawText(QPointF(10, 80), QStringLiteral("second"));
        p.drawEllipse(QRectF(40, 40, 6, 6));
    };
    EmfDevice reused(QSize(200, 100));
    {
        QPainter p(&reused);
        first(p);
        second(p);
    }
    {
        QPainter p(&reused);
        second(p);
    }
    QCOMPARE(reused.Data(), Paint(second));
}

QTEST_MAIN(TestEmfDevice)
#include "tst_EmfDevice.moc"
