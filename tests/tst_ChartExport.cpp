// The chart's export buttons driven through the real window with the fake
// dialogs and clipboard: what the save dialog is given and proposes, the
// files written (read back by a BMP reader of this file and by Qt's), the
// clipboard's single picture, the current styling in the picture, and the
// failures that reach the default error reporting.

#include "Chart.h"
#include "ChartExport.h"
#include "ChartModel.h"
#include "ChartRenderer.h"
#include "Dialogs.h"
#include "ErrorReporting.h"
#include "WindowFixture.h"
#include "Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QtEndian>
#include <QtMath>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QSet>
#include <QSvgRenderer>
#include <QPainter>
#include <QXmlStreamReader>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

namespace {

quint32 U32(const QByteArray& b, qsizetype off)
{
    return off + 4 <= b.size() ? qFromLittleEndian<quint32>(b.constData() + off) : 0xDEADBEEF;
}
quint16 U16(const QByteArray& b, qsizetype off)
{
    return off + 2 <= b.size() ? qFromLittleEndian<quint16>(b.constData() + off) : 0xBEEF;
}

// A Windows BMP read field by field; `error` names the first fault found.
struct Bmp {
    QString error;
    quint32 fileSize = 0, offBits = 0, headerSize = 0, compression = 0, imageSize = 0, xPerMetre = 0,
            colorsUsed = 0;
    qint32 width = 0, height = 0;
    quint16 planes = 0, bits = 0;
    QList<quint32> masks;
    QList<QRgb> palette;
    QImage pixels;      // decoded, RGB32
    bool opaque = true; // the unused fourth byte of 32-bit pixels is 0xFF
};

Bmp ReadBmp(const QByteArray& b)
{
    Bmp m;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        m.error = QStringLiteral("no BM file header");
        return m;
    }
    m.fileSize = U32(b, 2);
    m.offBits = U32(b, 10);
    m.headerSize = U32(b, 14);
    m.width = qint32(U32(b, 18));
    m.height = qint32(U32(b, 22));
    m.planes = U16(b, 26);
    m.bits = U16(b, 28);
    m.compression = U32(b, 30);
    m.imageSize = U32(b, 34);
    m.xPerMetre = U32(b, 38);
    m.colorsUsed = U32(b, 46);
    if (m.fileSize != quint32(b.size()) || m.headerSize != 40 || m.planes != 1 || m.width <= 0 || m.height <= 0) {
        m.error = QStringLiteral("inconsistent headers");
        return m;
    }
    qsizetype at = 54;
    if (m.compression == 3) {
        for (int i = 0; i < 3; ++i, at += 4)
            m.masks << U32(b, at);
    }
    if (m.bits <= 8) {
        const qsizetype n = m.colorsUsed ? m.colorsUsed : (1u << m.bits);
        if (n > (1 << m.bits) || at + 4 * n > b.size()) {
            m.error = QStringLiteral("bad palette");
            return m;
        }
        for (qsizetype i = 0; i < n; ++i, at += 4)
            m.palette << qRgb(uchar(b[at + 2]), uchar(b[at + 1]), uchar(b[at]));
    }
    const qint64 stride = (qint64(m.width) * m.bits + 31) / 32 * 4;
    if (m.offBits != at || qint64(m.offBits) + stride * m.height != b.size() || m.imageSize != stride * m.height) {
        m.error = QStringLiteral("pixel array misplaced");
        return m;
    }
    m.pixels = QImage(m.width, m.height, QImage::Format_RGB32);
    for (int fileRow = 0; fileRow < m.height; ++fileRow) {
        const uchar* row = reinterpret_cast<const uchar*>(b.constData()) + m.offBits + fileRow * stride;
        QRgb* out = reinterpret_cast<QRgb*>(m.pixels.scanLine(m.height - 1 - fileRow));
        for (int x = 0; x < m.width; ++x) {
            switch (m.bits) {
            case 32:
                out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                m.opaque = m.opaque && row[4 * x + 3] == 0xFF;
                break;
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            case 16: {
                const quint16 v = quint16(row[2 * x] | row[2 * x + 1] << 8);
                const int r = (v >> 11) & 31, g = (v >> 5) & 63, bl = v & 31;
                out[x] = qRgb(r << 3 | r >> 2, g << 2 | g >> 4, bl << 3 | bl >> 2);
                break;
            }
            default: {
                const int perByte = 8 / m.bits;
                const int index = (row[x / perByte] >> (8 - m.bits * (x % perByte + 1))) & ((1 << m.bits) - 1);
                if (index >= m.palette.size()) {
                    m.error = QStringLiteral("index beyond the palette");
                    return m;
                }
                out[x] = m.palette[index];
            }
            }
        }
        // The padding at the row's end is zero.
        const qint64 used = (qint64(m.width) * m.bits + 7) / 8;
        for (qint64 i = used; i < stride; ++i)
            if (row[i] != 0)
                m.error = QStringLiteral("padding not zero");
        if (m.bits < 8 && (m.width * m.bits) % 8 != 0) {
            const int spare = 8 - (m.width * m.bits) % 8;
            if ((row[used - 1] & ((1 << spare) - 1)) != 0)
                m.error = QStringLiteral("bits after the last pixel not zero");
        }
    }
    return m;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// An enhanced metafile's header: the signature, the size it states and the
// frame, and whether the last record ends the file.
struct EmfHead {
    bool ok = false;
    int frameRight = 0, frameBottom = 0;
};

EmfHead ReadEmfHead(const QByteArray& b)
{
    EmfHead h;
    if (U32(b, 0) != 1 || U32(b, 40) != 0x464D4520 || U32(b, 48) != quint32(b.size()))
        return h;
    // Walk the records to the end-of-file record.
    qsizetype at = 0;
    quint32 last = 0;
    while (at + 8 <= b.size()) {
        const quint32 size = U32(b, at + 4);
        if (size < 8 || size % 4 || at + size > b.size())
            return h;
        last = U32(b, at);
        at += size;
    }
    h.ok = at == b.size() && last == 14;
    h.frameRight = qint32(U32(b, 32));
    h.frameBottom = qint32(U32(b, 36));
    return h;
}

bool IsEmf(const QByteArray& b)
{
    return ReadEmfHead(b).ok;
}

QImage Rgb32(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// Pixels of `a` and `b` inside `area` that differ.
qsizetype Differing(const QImage& a, const QImage& b, const QRect& area)
{
    qsizetype n = 0;
    const QImage x = Rgb32(a), y = Rgb32(b);
    for (int j = area.top(); j <= area.bottom(); ++j)
        for (int i = area.left(); i <= area.right(); ++i)
            if (x.pixel(i, j) != y.pixel(i, j))
                ++n;
    return n;
}

QString Reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString CreateErrorText(const QString& path, int err)
{
    return WithFullStop(QStringLiteral("ファイル \"%1\" を作成できません。%2").arg(path, Reason(err)));
}

QStringList Listing(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The record types of an enhanced metafile, in order.
QList<quint32> EmfRecordTypes(const QByteArray& b)
{
    QList<quint32> types;
    for (qsizetype at = 0; at + 8 <= b.size();) {
        const quint32 size = U32(b, at + 4);
        if (size < 8)
            break;
        types << U32(b, at);
        at += size;
    }
    return types;
}

// What a PDF's text is made of: the characters its fonts map the glyphs
// they draw to (their ToUnicode maps), and how many glyphs drawn have no
// character, so their text could not be found or copied.
struct PdfGlyphs {
    QString characters;
    int unmapped = 0;
};

PdfGlyphs ReadPdfGlyphs(const QByteArray& pdf)
{
    QSet<quint16> used;
    QHash<quint16, QString> mapped;
    static const QRegularExpression streamStart(QStringLiteral("<<([^>]*)>>\\s*stream\\r?\\n"));
    static const QRegularExpression hexRun(QStringLiteral("<([0-9A-Fa-f]+)>\\s*T[jJ]"));
    static const QRegularExpression range(
        QStringLiteral("<([0-9A-Fa-f]{4})>\\s*<([0-9A-Fa-f]{4})>\\s*(?:<([0-9A-Fa-f]+)>|\\[([^\\]]*)\\])"));
    const QString latin = QString::fromLatin1(pdf);
    for (const QRegularExpressionMatch& m : streamStart.globalMatch(latin)) {
        const qsizetype begin = m.capturedEnd();
        const qsizetype end = pdf.indexOf("endstream", begin);
        if (end < 0)
            break;
        QByteArray body = pdf.mid(begin, end - begin);
        if (m.captured(1).contains(QStringLiteral("/FlateDecode"))) {
            QByteArray packed(4, '\0');
            qToBigEndian<quint32>(quint32(std::min<qsizetype>(body.size() * 64 + 4096, 1 << 24)), packed.data());
            body = qUncompress(packed + body);
        }
        const QString text = QString::fromLatin1(body);
        if (text.contains(QStringLiteral("beginbfrange")) || text.contains(QStringLiteral("beginbfchar"))) {
            for (const QRegularExpressionMatch& r : range.globalMatch(text)) {
                const quint16 first = r.captured(1).toUShort(nullptr, 16), last = r.captured(2).toUShort(nullptr, 16);
                QStringList targets = r.captured(4).split(u'>', Qt::SkipEmptyParts);
                for (quint32 g = first; g <= last; ++g) {
                    const QString hex = r.captured(3).isEmpty() ? targets.value(qsizetype(g - first)).trimmed().mid(1)
                                                               : QString::number(r.captured(3).toUInt(nullptr, 16) + (g - first), 16);
                    const char16_t c = char16_t(hex.toUShort(nullptr, 16));
                    if (c != 0)
                        mapped.insert(quint16(g), QString(QChar(c)));
                }
            }
        } else {
            for (const QRegularExpressionMatch& t : hexRun.globalMatch(text)) {
                const QString hex = t.captured(1);
                for (qsizetype i = 0; i + 4 <= hex.size(); i += 4)
                    used.insert(hex.mid(i, 4).toUShort(nullptr, 16));
            }
        }
    }
    PdfGlyphs glyphs;
    for (quint16 g : used) {
        if (mapped.contains(g))
            glyphs.characters += mapped.value(g);
        else
            ++glyphs.unmapped;
    }
    return glyphs;
}

// The texts of an SVG document's text elements, or an error when it does not
// parse as XML with an <svg> root.
QStringList SvgTexts(const QByteArray& svg, QString* error)
{
    QStringList texts;
    QXmlStreamReader xml(svg);
    bool root = true;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (root && xml.name() != QStringLiteral("svg"))
            *error = QStringLiteral("root is not svg");
        root = false;
        if (xml.name() == QStringLiteral("text"))
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    }
    if (xml.hasError())
        *error = xml.errorString();
    return texts;
}

using Styling = std::function<void(TChart&)>;

struct Window : ShownWindow {
    TChart& chart() { return *form->Chart1; }
    QString Path(const QString& name) const { return dir.filePath(name); }

    void Plot()
    {
        Paste(QStringLiteral("時間,電圧\n1,2\n2,4.5\n3,5.5\n4,8.5\n5,9\n"));
        QCOMPARE(messages->shown.size(), 0);
    }
    // A save button answered with `name` (a name in the test's folder, or a
    // full path).
    void Save(bool bitmap, const QString& name)
    {
        dialogs->saveAnswers << (QDir::isAbsolutePath(name) ? name : Path(name));
        (bitmap ? form->SaveBmpBtn : form->SaveEMFBtn)->click();
    }
    QImage Grab() { return Rgb32(chart().grab().toImage()); }
    QRect Panel() { return ComputeChartLayout(chart().Model(), chart().rect()).panel; }
    void Resize(int dw)
    {
        form->resize(form->width() + dw, form->height());
        QTest::qWait(0);
        QApplication::processEvents();
    }
};

int ScreenBits()
{
    return BitmapBitsForDepth(QGuiApplication::primaryScreen()->depth());
}

} // namespace

Q_DECLARE_METATYPE(Styling)

class TestChartExport : public QObject {
    Q_OBJECT

private slots:
    // The rule the real save dialog applies to the name the user confirmed.
    void defaultExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "/tmp/graph" << "BMP" << "/tmp/graph.BMP";
        QTest::newRow("dotted folder, no extension") << "/tmp/v1.2/graph" << "EMF" << "/tmp/v1.2/graph.EMF";
        QTest::newRow("own extension kept") << "/tmp/graph.bmp" << "EMF" << "/tmp/graph.bmp";
        QTest::newRow("any extension kept") << "/tmp/graph.png" << "BMP" << "/tmp/graph.png";
        QTest::newRow("last of two kept") << "/tmp/graph.tar.gz" << "BMP" << "/tmp/graph.tar.gz";
        QTest::newRow("trailing full stop on purpose") << "/tmp/graph." << "BMP" << "/tmp/graph.";
        QTest::newRow("no default extension") << "/tmp/graph" << "" << "/tmp/graph";
    }
    void defaultExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, ext);
        QFETCH(QString, expected);
        QCOMPARE(WithDefaultExtension(typed, ext), expected);
    }

    // Each save button presets the dialog, writes its format under the name
    // the dialog hands back, at the chart's size, and leaves the chart and
    // the screen as they were.
    void saveButtons_data()
    {
        QTest::addColumn<bool>("bitmap");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("BMP without extension") << true << "graph" << "graph.BMP";
        QTest::newRow("BMP with extension") << true << "graph.bmp" << "graph.bmp";
        QTest::newRow("EMF without extension") << false << "graph" << "graph.EMF";
        QTest::newRow("EMF with extension") << false << "chart.emf" << "chart.emf";
        QTest::newRow("Japanese name") << true << "グラフ 1" << "グラフ 1.BMP";
    }
    void saveButtons()
    {
        QFETCH(bool, bitmap);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        Window w;
        w.Plot();
        const QImage before = w.Grab();
        QSignalSpy changes(&w.chart().Model(), &TChartModel::Changed);

        w.Save(bitmap, typed);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.dialogs->lastFilter, bitmap ? QStringLiteral("BMP(*.bmp)|*.bmp") : QStringLiteral("EMF(*.emf)|*.emf"));
        QCOMPARE(w.dialogs->lastDefaultExt, bitmap ? QStringLiteral("BMP") : QStringLiteral("EMF"));
        QCOMPARE(w.form->SavePictureDialog1->FileName(), w.Path(written));
        QCOMPARE(Listing(w.dir.path()), QStringList{written});

        const QByteArray bytes = ReadAll(w.Path(written));
        const QSize size = w.chart().size();
        if (bitmap) {
            QVERIFY(bytes.startsWith("BM"));
            const Bmp bmp = ReadBmp(bytes);
            QVERIFY2(bmp.error.isEmpty(), qPrintable(bmp.error));
            QCOMPARE(QSize(bmp.width, bmp.height), size);
            QCOMPARE(int(bmp.bits), ScreenBits());
            QCOMPARE(bmp.xPerMetre, quint32(std::lround(w.chart().logicalDpiX() / 0.0254)));
            // Qt's own BMP reader sees the same picture.
            QCOMPARE(Rgb32(QImage::fromData(bytes, "BMP")), bmp.pixels);
        } else {
            const EmfHead head = ReadEmfHead(bytes);
            QVERIFY(head.ok);
            const int dpi = w.chart().logicalDpiY();
            QCOMPARE(head.frameRight, int(std::lround(size.width() * 2540.0 / dpi)) - 1);
            QCOMPARE(head.frameBottom, int(std::lround(size.height() * 2540.0 / dpi)) - 1);
        }
        QCOMPARE(changes.size(), 0);
        QCOMPARE(w.Grab(), before);
    }

    // A cancelled dialog writes nothing and forgets nothing.
    void cancelledSave_data()
    {
        QTest::addColumn<bool>("bitmap");
        QTest::newRow("BMP") << true;
        QTest::newRow("EMF") << false;
    }
    void cancelledSave()
    {
        QFETCH(bool, bitmap);
        Window w;
        w.Save(true, QStringLiteral("first.bmp"));
        const QByteArray first = ReadAll(w.Path(QStringLiteral("first.bmp")));
        (bitmap ? w.form->SaveBmpBtn : w.form->SaveEMFBtn)->click(); // no answer: cancelled
        QCOMPARE(w.dialogs->saveCalls, 2);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(Listing(w.dir.path()), QStringList{QStringLiteral("first.bmp")});
        QCOMPARE(ReadAll(w.Path(QStringLiteral("first.bmp"))), first);
        QCOMPARE(w.form->SavePictureDialog1->FileName(), w.Path(QStringLiteral("first.bmp")));
    }

    // An existing file of the chosen name is replaced without a question.
    void replaceWithoutAsking_data()
    {
        QTest::addColumn<bool>("bitmap");
        QTest::newRow("BMP") << true;
        QTest::newRow("EMF") << false;
    }
    void replaceWithoutAsking()
    {
        QFETCH(bool, bitmap);
        Window w;
        w.Plot();
        const QString name = bitmap ? QStringLiteral("graph.bmp") : QStringLiteral("graph.emf");
        QVERIFY(WriteAll(w.Path(name), "an older file of that name"));
        w.Save(bitmap, name);
        const QByteArray first = ReadAll(w.Path(name));
        QVERIFY(bitmap ? ReadBmp(first).error.isEmpty() : IsEmf(first));

        w.Resize(60); // a different picture for the second save
        w.Save(bitmap, name);
        const QByteArray second = ReadAll(w.Path(name));
        QVERIFY(second != first);
        QVERIFY(bitmap ? ReadBmp(second).width == w.chart().width() : IsEmf(second));
        QCOMPARE(w.dialogs->saveCalls, 2); // one dialog per click, no confirmation
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(Listing(w.dir.path()), QStringList{name});
    }

    // Either save button proposes the path confirmed last by either; the
    // name's extension does not decide the format.
    void pathProposedByBothButtons_data()
    {
        QTest::addColumn<bool>("firstBitmap");
        QTest::newRow("BMP, then EMF under graph.bmp") << true;
        QTest::newRow("EMF, then BMP under graph.emf") << false;
    }
    void pathProposedByBothButtons()
    {
        QFETCH(bool, firstBitmap);
        Window w;
        w.Plot();
        const QString path = w.Path(firstBitmap ? QStringLiteral("graph.bmp") : QStringLiteral("graph.emf"));
        QCOMPARE(w.dialogs->proposed, QString());
        w.Save(firstBitmap, path);
        w.Save(!firstBitmap, path); // confirming what was proposed
        QCOMPARE(w.dialogs->proposed, path);
        const QByteArray bytes = ReadAll(path);
        QVERIFY(firstBitmap ? IsEmf(bytes) : bytes.startsWith("BM"));
        (firstBitmap ? w.form->SaveBmpBtn : w.form->SaveEMFBtn)->click(); // cancelled
        QCOMPARE(w.dialogs->proposed, path);
        QCOMPARE(Listing(w.dir.path()).size(), 1);
    }

    // Nothing is scaled: a wider window gives a wider picture, by as much
    // as the chart grew, in every export.
    void widerWindowWiderImage_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("bitmap copy") << 0;
        QTest::newRow("bitmap file") << 1;
        QTest::newRow("metafile copy") << 2;
        QTest::newRow("metafile file") << 3;
    }
    void widerWindowWiderImage()
    {
        QFETCH(int, kind);
        Window w;
        w.Plot();
        const auto exportWidth = [&]() -> int {
            switch (kind) {
            case 0:
                w.form->CopyBmpBtn->click();
                return w.clipboard->image.width();
            case 1:
                w.Save(true, QStringLiteral("g.bmp"));
                return ReadBmp(ReadAll(w.Path(QStringLiteral("g.bmp")))).width;
            default: {
                QByteArray bytes;
                if (kind == 2) {
                    w.form->CopyEMFBtn->click();
                    bytes = w.clipboard->data;
                } else {
                    w.Save(false, QStringLiteral("g.emf"));
                    bytes = ReadAll(w.Path(QStringLiteral("g.emf")));
                }
                const EmfHead head = ReadEmfHead(bytes);
                // Back from hundredths of a millimetre to pixels.
                return head.ok ? int(std::lround((head.frameRight + 1) * w.chart().logicalDpiX() / 2540.0)) : -1;
            }
            }
        };
        const int chartBefore = w.chart().width();
        const int before = exportWidth();
        QCOMPARE(before, chartBefore);
        w.Resize(150);
        const int grown = w.chart().width() - chartBefore;
        QVERIFY2(grown > 100, "the chart should take up the window's growth");
        QCOMPARE(exportWidth() - before, grown);
        QCOMPARE(w.messages->shown.size(), 0);
    }

    // Every copy leaves exactly one picture: the bitmap, or the metafile's
    // bytes under each of its types.
    void clipboardHoldsOnePicture()
    {
        Window w;
        w.Plot();
        w.clipboard->text = QStringLiteral("a table copied elsewhere");
        w.form->CopyEMFBtn->click();
        QCOMPARE(w.clipboard->sets, 1);
        QCOMPARE(w.clipboard->mimes, (QStringList{"image/x-emf", "image/emf",
                                                  "application/x-openoffice-emf;windows_formatname=\"Image EMF\"",
                                                  "image/svg+xml"}));
        QVERIFY(IsEmf(w.clipboard->data));
        QVERIFY(w.clipboard->image.isNull());
        QVERIFY(w.clipboard->text.isEmpty());

        w.form->CopyBmpBtn->click();
        QCOMPARE(w.clipboard->sets, 2);
        // The bitmap, and the same picture as PNG; no metafile.
        QCOMPARE(w.clipboard->mimes, QStringList{"image/png"});
        QCOMPARE(Rgb32(QImage::fromData(w.clipboard->Form("image/png"), "PNG")), Rgb32(w.clipboard->image));
        QCOMPARE(w.clipboard->image.size(), w.chart().size());
        // At the screen's depth, and what the file export shows inside the
        // panel.
        QCOMPARE(w.clipboard->image.depth(), ScreenBits());
        w.Save(true, QStringLiteral("g.bmp"));
        const Bmp file = ReadBmp(ReadAll(w.Path(QStringLiteral("g.bmp"))));
        QCOMPARE(Differing(file.pixels, w.clipboard->image, w.Panel()), 0);

        w.form->CopyEMFBtn->click();
        QVERIFY(w.clipboard->image.isNull());
        QVERIFY(IsEmf(w.clipboard->data));
        QCOMPARE(w.messages->shown.size(), 0);
    }

    // The system clipboard (the platform's own, offscreen here) is given
    // one picture at a time too.
    void systemClipboardHoldsOnePicture()
    {
        const std::shared_ptr<IClipboard> real = FormServices::Real().clipboard;
        const QByteArray bytes("EMF bytes stand-in");
        real->SetPicture({QImage(), {{EmfMimeTypes(), bytes}}});
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        for (const QString& type : EmfMimeTypes())
            QCOMPARE(data->data(type), bytes);
        QVERIFY(!data->hasImage());

        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(qRgb(10, 200, 30));
        real->SetPicture({image, {}});
        data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data && data->hasImage());
        QCOMPARE(Rgb32(qvariant_cast<QImage>(data->imageData())), image);
        for (const QString& type : EmfMimeTypes())
            QVERIFY(!data->hasFormat(type));
        QCOMPARE(real->Text(), QString());
    }

    // What the user sees is what is exported: inside the chart's panel, the
    // file's picture is the screen's pixel for pixel, with whatever styling
    // is current, and the styling shows (the picture changed).
    void exportShowsStyling_data()
    {
        QTest::addColumn<bool>("plot");
        QTest::addColumn<Styling>("style");
        QTest::newRow("empty chart") << false << Styling();
        QTest::newRow("data") << true << Styling();
        QTest::newRow("title text and font") << true << Styling([](TChart& c) {
            c.Title().Text().Clear();
            c.Title().Text().Add(QStringLiteral("測定結果"));
            c.Title().Font().SetSize(18);
            c.Title().Font().SetStyle(fsBold | fsItalic);
            c.Title().Font().SetColor(RGBColor(200, 0, 0));
        });
        QTest::newRow("subtitle font") << true << Styling([](TChart& c) {
            c.SubTitle().Font().SetSize(14);
            c.SubTitle().Font().SetColor(RGBColor(0, 120, 0));
        });
        QTest::newRow("axis names") << true << Styling([](TChart& c) {
            c.BottomAxis().Title().SetCaption(QStringLiteral("時間 (s)"));
            c.LeftAxis().Title().SetCaption(QStringLiteral("電圧 V"));
        });
        QTest::newRow("chart and wall colours") << true << Styling([](TChart& c) {
            c.SetColor(RGBColor(250, 240, 200));
            c.Walls().Back().SetTransparent(false);
            c.Walls().Back().SetColor(RGBColor(210, 230, 255));
        });
        QTest::newRow("border") << true << Styling([](TChart& c) { c.Border().SetVisible(!c.Border().Visible()); });
        QTest::newRow("shadow") << true << Styling([](TChart& c) { c.Shadow().SetVisible(!c.Shadow().Visible()); });
        QTest::newRow("background picture") << true << Styling([](TChart& c) {
            QImage picture(40, 30, QImage::Format_RGB32);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    picture.setPixel(x, y, qRgb(6 * x, 255 - 8 * y, 128));
            c.Walls().Back().Picture().SetImage(picture);
        });
        QTest::newRow("series colours and styles") << true << Styling([](TChart& c) {
            c.Series(0)->SetSeriesColor(RGBColor(0, 160, 80));
            c.Series(0)->Pointer().SetStyle(psTriangle);
            c.Series(1)->LinePen().SetWidth(4);
        });
    }
    void exportShowsStyling()
    {
        QFETCH(bool, plot);
        QFETCH(Styling, style);
        Window w;
        if (plot)
            w.Plot();
        w.Save(true, QStringLiteral("before.bmp"));
        if (style) {
            style(w.chart());
            QApplication::processEvents();
        }
        w.Save(true, QStringLiteral("after.bmp"));
        const Bmp before = ReadBmp(ReadAll(w.Path(QStringLiteral("before.bmp"))));
        const Bmp after = ReadBmp(ReadAll(w.Path(QStringLiteral("after.bmp"))));
        QVERIFY2(after.error.isEmpty(), qPrintable(after.error));
        QCOMPARE(after.pixels.size(), w.chart().size());
        const QImage screen = w.Grab();
        QCOMPARE(Differing(after.pixels, screen, w.Panel()), 0);
        if (style)
            QVERIFY2(Differing(before.pixels, after.pixels, after.pixels.rect()) > 0, "the styling should show");

        // The same picture on the clipboard. The corners and strips that the
        // shadow leaves free show the window as on the screen, whatever
        // background the export asked for (white for the file, the chart's
        // colour for the clipboard).
        w.form->CopyBmpBtn->click();
        QCOMPARE(Differing(after.pixels, w.clipboard->image, after.pixels.rect()), 0);
        QCOMPARE(Differing(after.pixels, screen, after.pixels.rect()), 0);
        if (w.chart().Shadow().Visible()) {
            const QPoint corner(w.chart().width() - 1, 0);
            QVERIFY(!w.Panel().contains(corner));
            QCOMPARE(after.pixels.pixel(corner), w.chart().palette().color(QPalette::Window).rgb());
        }
    }

    // Bitmaps have the device pixels the screen paints: run once as is and
    // once on a screen that Qt scales by 2 (PLOTMERE_EXPECT_RATIO tells the
    // scaled run to insist on it).
    void devicePixels()
    {
        Window w;
        w.Plot();
        const double ratio = w.chart().devicePixelRatioF();
        if (qEnvironmentVariableIsSet("PLOTMERE_EXPECT_RATIO"))
            QCOMPARE(ratio, qEnvironmentVariable("PLOTMERE_EXPECT_RATIO").toDouble());
        const QSize device(qCeil(w.chart().width() * ratio), qCeil(w.chart().height() * ratio));
        w.form->CopyBmpBtn->click();
        QCOMPARE(w.clipboard->image.size(), device);
        QCOMPARE(QImage::fromData(w.clipboard->Form("image/png"), "PNG").size(), device);
        w.Save(true, QStringLiteral("g.bmp"));
        const Bmp bmp = ReadBmp(ReadAll(w.Path(QStringLiteral("g.bmp"))));
        QCOMPARE(QSize(bmp.width, bmp.height), device);
        // What the screen shows, pixel for pixel.
        const QImage screen = Rgb32(w.chart().grab().toImage());
        QCOMPARE(screen.size(), device);
        QCOMPARE(Differing(bmp.pixels, screen, screen.rect()), 0);
    }

    // With the shadow on, the metafile shows the screen's opaque strips as
    // shapes: a chart without a picture holds no bitmap record at all.
    void metafileWithoutRasterRecords_data()
    {
        QTest::addColumn<bool>("shadow");
        QTest::newRow("plain") << false;
        QTest::newRow("shadow") << true;
    }
    void metafileWithoutRasterRecords()
    {
        QFETCH(bool, shadow);
        Window w;
        w.Plot();
        w.chart().Shadow().SetVisible(shadow);
        w.chart().Border().SetVisible(true);
        const QList<quint32> types = EmfRecordTypes(w.chart().ExportMetafile());
        QVERIFY(types.size() > 20);
        // BITBLT, STRETCHBLT, MASKBLT, PLGBLT, SETDIBITSTODEVICE,
        // STRETCHDIBITS, ALPHABLEND, TRANSPARENTBLT.
        for (quint32 raster : {76u, 77u, 78u, 79u, 80u, 81u, 114u, 116u})
            QVERIFY2(!types.contains(raster), qPrintable(QString::number(raster)));
    }

    // The EMF copy offers the same chart as SVG (texts as text), for
    // programs without a metafile reader.
    void metafileCopyForms()
    {
        Window w;
        w.Plot();
        w.chart().Shadow().SetVisible(true);
        w.form->CopyEMFBtn->click();
        // No PNG: an office program offered one would paste it instead.
        QCOMPARE(w.clipboard->mimes.mid(3), QStringList{"image/svg+xml"});
        QVERIFY(IsEmf(w.clipboard->Form("image/x-emf")));
        QVERIFY(w.clipboard->image.isNull());
        QString error;
        const QStringList texts = SvgTexts(w.clipboard->Form("image/svg+xml"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(texts.contains(QStringLiteral("Plotmere Graph")));
        QVERIFY(texts.contains(QStringLiteral("時間")));

        // Scattered over the whole plot, a few hundred thousand points make
        // a metafile over 1 MB: the copy stays quick without the SVG.
        QList<double> xs, ys;
        QRandomGenerator rng(5);
        for (int i = 0; i < 300000; ++i) {
            xs << 1 + 4 * rng.generateDouble(); // within the plotted axes
            ys << 2 + 7 * rng.generateDouble();
        }
        w.form->Series1->AddXYs(xs, ys);
        w.form->CopyEMFBtn->click();
        QVERIFY(w.clipboard->Form("image/x-emf").size() > (1 << 20));
        QCOMPARE(w.clipboard->mimes.mid(3), QStringList());
    }

    // The SVG draws the one-pixel lines through the pixels' centres with the
    // screen's dot pattern: along every dotted grid column of the screen,
    // the SVG drawn by an SVG reader gives the same pixels.
    void svgKeepsThePixelGrid()
    {
        Window w;
        w.Plot();
        const QImage screen = w.Grab();
        QImage drawn(screen.size(), QImage::Format_RGB32);
        drawn.fill(w.chart().palette().color(QPalette::Window));
        {
            QSvgRenderer svg(ChartSvg(w.chart().Model(), w.chart().Canvas()));
            QVERIFY(svg.isValid());
            QPainter p(&drawn);
            svg.render(&p, QRectF(QPointF(0, 0), QSizeF(screen.size())));
        }
        const QRect plot = ComputeChartLayout(w.chart().Model(), w.chart().rect()).plot;
        const QRgb grid = qRgb(160, 160, 160);
        int columns = 0;
        for (int x = plot.left() + 1; x < plot.right(); ++x) {
            int dots = 0, differ = 0;
            for (int y = plot.top() + 1; y < plot.bottom(); ++y) {
                dots += screen.pixel(x, y) == grid;
                const QRgb a = screen.pixel(x, y), b = drawn.pixel(x, y);
                differ += std::abs(qRed(a) - qRed(b)) > 48 || std::abs(qGreen(a) - qGreen(b)) > 48
                    || std::abs(qBlue(a) - qBlue(b)) > 48;
            }
            if (dots < plot.height() / 4)
                continue; // not a grid column
            ++columns;
            QVERIFY2(differ <= plot.height() / 50, qPrintable(QStringLiteral("column %1: %2 pixels").arg(x).arg(differ)));
        }
        QVERIFY(columns >= 3);
    }

    // The chart's menu: from a right click, the Menu key and Shift+F10; its
    // saves ask through their own dialog and write each format.
    void chartMenuOpens_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("right click") << 0;
        QTest::newRow("Menu key") << 1;
        QTest::newRow("Shift+F10") << 2;
    }
    void chartMenuOpens()
    {
        QFETCH(int, how);
        Window w;
        QVERIFY(w.chart().focusPolicy() & Qt::TabFocus);
        w.chart().setFocus();
        if (how == 0) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), w.chart().mapToGlobal(QPoint(20, 20)));
            QApplication::sendEvent(&w.chart(), &event);
        } else if (how == 1) {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
            QApplication::sendEvent(&w.chart(), &event);
        } else {
            QTest::keyClick(&w.chart(), Qt::Key_F10, Qt::ShiftModifier);
        }
        QTRY_VERIFY(w.form->ChartMenu->isVisible());
        w.form->ChartMenu->close();
    }

    void chartMenuSaves_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("written");
        QTest::newRow("PNG") << "SavePngAction" << "g.png";
        QTest::newRow("SVG") << "SaveSvgAction" << "g.svg";
        QTest::newRow("PDF") << "SavePdfAction" << "g.pdf";
    }
    void chartMenuSaves()
    {
        QFETCH(QString, action);
        QFETCH(QString, written);
        Window w;
        w.Plot();
        w.chart().Title().Text().Clear();
        w.chart().Title().Text().Add(QStringLiteral("測定結果 2026"));
        w.dialogs->saveFileAnswers << w.Path(QStringLiteral("g"));
        w.form->findChild<QAction*>(action)->trigger();
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.dialogs->saveFileCalls, 1);
        QCOMPARE(w.dialogs->saveCalls, 0); // the tool bar's dialog is not used
        QCOMPARE(Listing(w.dir.path()), QStringList{written});
        const QByteArray bytes = ReadAll(w.Path(written));
        if (written.endsWith(QStringLiteral("png"))) {
            QCOMPARE(Differing(QImage::fromData(bytes, "PNG"), w.Grab(), w.Grab().rect()), 0);
        } else if (written.endsWith(QStringLiteral("svg"))) {
            QString error;
            QVERIFY(SvgTexts(bytes, &error).contains(QStringLiteral("測定結果 2026")));
            QVERIFY2(error.isEmpty(), qPrintable(error));
        } else {
            QVERIFY(bytes.startsWith("%PDF-"));
            const PdfGlyphs glyphs = ReadPdfGlyphs(bytes);
            for (QChar c : QStringLiteral("測定結果2026時間電圧回帰直線相関係数Y=.X+"))
                QVERIFY2(glyphs.characters.contains(c), qPrintable(QString(c)));
            QCOMPARE(glyphs.unmapped, 0);
        }
        // Cancelling writes nothing.
        QFile::remove(w.Path(written));
        w.form->findChild<QAction*>(action)->trigger();
        QCOMPARE(Listing(w.dir.path()), QStringList());
    }

    // Copy as PNG: the screen's picture as a bitmap and as PNG bytes; the
    // fit's numbers only once a line is fitted.
    void chartMenuCopies()
    {
        Window w;
        QVERIFY(!w.form->ChartMenu->isVisible());
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QApplication::sendEvent(&w.chart(), &event);
        QVERIFY(!w.form->CopyFitAction->isEnabled());
        w.form->ChartMenu->close();
        w.Plot();
        QApplication::sendEvent(&w.chart(), &event);
        QVERIFY(w.form->CopyFitAction->isEnabled());
        w.form->ChartMenu->close();

        w.form->CopyPngAction->trigger();
        QCOMPARE(w.clipboard->mimes, QStringList{"image/png"});
        QCOMPARE(Differing(w.clipboard->image, w.Grab(), w.Grab().rect()), 0);
        w.form->CopyFitAction->trigger();
        QVERIFY(w.clipboard->image.isNull());
        QVERIFY2(w.clipboard->text.startsWith(QStringLiteral("n\t5\n傾き\t1.8\n切片\t0.5\n")),
                 qPrintable(w.clipboard->text));
        QCOMPARE(w.messages->shown.size(), 0);
    }

    // With no data the picture is the chart as it starts: the title and the
    // subtitle "Sub Title" are in it.
    void emptyChartShowsItsTitles()
    {
        Window w;
        QCOMPARE(w.chart().SubTitle().Text().Lines(), QStringList{QStringLiteral("Sub Title")});
        w.Save(true, QStringLiteral("empty.bmp"));
        const QImage empty = ReadBmp(ReadAll(w.Path(QStringLiteral("empty.bmp")))).pixels;
        const ChartLayout layout = ComputeChartLayout(w.chart().Model(), w.chart().rect());
        const QRect aboveThePlot(layout.panel.left(), layout.panel.top(), layout.panel.width(),
                                 layout.plot.top() - layout.panel.top());
        for (TChartTitle* t : {&w.chart().SubTitle(), &w.chart().Title()}) {
            const QStringList lines = t->Text().Lines();
            t->Text().Clear();
            w.Save(true, QStringLiteral("without.bmp"));
            const QImage without = ReadBmp(ReadAll(w.Path(QStringLiteral("without.bmp")))).pixels;
            QVERIFY2(Differing(empty, without, aboveThePlot) > 20, "the title's text should be in the picture");
            for (const QString& line : lines)
                t->Text().Add(line);
        }
    }

    // A file that cannot be created: the default error reporting names the
    // path and the system's reason, and nothing is left behind; an existing
    // file of that name stays as it was.
    void unwritable_data()
    {
        QTest::addColumn<bool>("bitmap");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("err");
        for (bool bitmap : {true, false}) {
            const char* kind = bitmap ? "BMP: " : "EMF: ";
            QTest::addRow("%sfolder missing", kind) << bitmap << "missing/graph.bmp" << ENOENT;
            QTest::addRow("%sfolder is a file", kind) << bitmap << "plain.txt/graph.bmp" << ENOTDIR;
            QTest::addRow("%sname is a folder", kind) << bitmap << "folder.bmp" << EISDIR;
            QTest::addRow("%sdisk full midway", kind) << bitmap << "kept.bmp" << EFBIG;
        }
    }
    void unwritable()
    {
        QFETCH(bool, bitmap);
        QFETCH(QString, name);
        QFETCH(int, err);
        Window w;
        w.Plot();
        QVERIFY(WriteAll(w.Path(QStringLiteral("plain.txt")), "a file, not a folder"));
        QVERIFY(WriteAll(w.Path(QStringLiteral("kept.bmp")), "the file saved before"));
        QVERIFY(QDir(w.dir.path()).mkdir(QStringLiteral("folder.bmp")));
        const QStringList listing = Listing(w.dir.path());

        // A write that fails after the first few kilobytes, as on a full
        // disk: the process may not grow a file beyond 512 bytes.
        struct rlimit saved {};
        const bool limit = err == EFBIG;
        if (limit) {
            std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            struct rlimit small = saved;
            small.rlim_cur = 512;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        w.Save(bitmap, name);
        if (limit)
            setrlimit(RLIMIT_FSIZE, &saved);

        QCOMPARE(w.messages->shown.size(), 1);
        QCOMPARE(w.messages->shown[0].caption, ApplicationTitle());
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Error);
        QCOMPARE(w.messages->shown[0].text, CreateErrorText(w.Path(name), err));
        QCOMPARE(Listing(w.dir.path()), listing);
        QCOMPARE(ReadAll(w.Path(QStringLiteral("kept.bmp"))), QByteArray("the file saved before"));
        QCOMPARE(Listing(w.Path(QStringLiteral("folder.bmp"))), QStringList());
        // The path stays proposed for the next try.
        QCOMPARE(w.form->SavePictureDialog1->FileName(), w.Path(name));
    }

    // A clipboard held elsewhere: the default error reporting says so and
    // the clipboard keeps what it had.
    void busyClipboard_data()
    {
        QTest::addColumn<bool>("bitmap");
        QTest::newRow("BMP") << true;
        QTest::newRow("EMF") << false;
    }
    void busyClipboard()
    {
        QFETCH(bool, bitmap);
        Window w;
        w.Plot();
        w.form->CopyEMFBtn->click();
        const QByteArray held = w.clipboard->data;
        w.clipboard->busy = true;
        (bitmap ? w.form->CopyBmpBtn : w.form->CopyEMFBtn)->click();
        QCOMPARE(w.messages->shown.size(), 1);
        QCOMPARE(w.messages->shown[0].caption, ApplicationTitle());
        QCOMPARE(w.messages->shown[0].text, QStringLiteral("クリップボード (busy) を開けません."));
        QCOMPARE(w.clipboard->sets, 1);
        QCOMPARE(w.clipboard->data, held);
        w.clipboard->busy = false;
        (bitmap ? w.form->CopyBmpBtn : w.form->CopyEMFBtn)->click();
        QCOMPARE(w.clipboard->sets, 2);
        QCOMPARE(w.messages->shown.size(), 1);
    }

    void bitsForScreenDepth_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("bits");
        for (auto [depth, bits] : {std::pair{32, 32}, {30, 32}, {48, 32}, {24, 24}, {18, 24}, {16, 16}, {15, 16},
                                   {8, 8}, {6, 8}, {4, 4}, {2, 4}, {1, 1}, {0, 1}})
            QTest::addRow("%d", depth) << depth << bits;
    }
    void bitsForScreenDepth()
    {
        QFETCH(int, depth);
        QFETCH(int, bits);
        QCOMPARE(BitmapBitsForDepth(depth), bits);
    }

    // The BMP file at every depth a screen can have: the headers, the masks
    // or palette, rows bottom-up padded to four bytes (odd widths), and
    // pixels as the chart drew them, as close as the depth allows; Qt's BMP
    // reader sees the same picture.
    void bitmapDepths_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QSize>("size");
        for (int bits : {32, 24, 16, 8, 4, 1}) {
            QTest::addRow("%d bits, 749 x 527", bits) << bits << QSize(749, 527);
            QTest::addRow("%d bits, 203 x 157", bits) << bits << QSize(203, 157);
            QTest::addRow("%d bits, 1 x 1", bits) << bits << QSize(1, 1);
        }
        QTest::newRow("empty size is 1 x 1") << 24 << QSize(0, 0);
    }
    void bitmapDepths()
    {
        QFETCH(int, bits);
        QFETCH(QSize, size);
        TChartModel chart;
        auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
        chart.AddSeries<TLineSeries>(QStringLiteral("Series2"));
        for (int i = 0; i < 50; ++i)
            points->AddXY(i, (i * 37) % 50);
        chart.Walls().Back().SetTransparent(false);
        chart.Walls().Back().SetColor(RGBColor(200, 220, 255));
        chart.SetColor(RGBColor(255, 250, 230));

        const QImage truth = ChartBitmap(chart, size, Qt::white, 32);
        const QImage image = ChartBitmap(chart, size, Qt::white, bits);
        const QByteArray bytes = EncodeBmp(image, bits, 96);
        const Bmp bmp = ReadBmp(bytes);
        QVERIFY2(bmp.error.isEmpty(), qPrintable(bmp.error));
        const QSize expected = size.expandedTo(QSize(1, 1));
        QCOMPARE(QSize(bmp.width, bmp.height), expected);
        QCOMPARE(int(bmp.bits), bits);
        QCOMPARE(bmp.compression, quint32(bits == 16 ? 3 : 0));
        QCOMPARE(bmp.xPerMetre, 3780u);
        if (bits == 16)
            QCOMPARE(bmp.masks, (QList<quint32>{0xF800, 0x07E0, 0x001F}));
        QCOMPARE(int(bmp.colorsUsed), bmp.palette.size());
        QVERIFY(bmp.palette.size() <= (bits <= 8 ? 1 << bits : 0));
        QVERIFY(bmp.opaque);
        const QImage theirs = Rgb32(QImage::fromData(bytes, "BMP"));
        QCOMPARE(theirs.size(), expected);

        // How far a pixel may be from the true colour at this depth.
        const int tolerance = bits >= 24 ? 0 : bits == 16 ? 8 : 255;
        // Qt widens 5 and 6 bits to 8 by shifting; this file's reader
        // repeats the high bits in the low ones, as the format's readers do.
        const int readerTolerance = bits == 16 ? 7 : 0;
        qsizetype exact = 0, readersDisagree = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) {
                const QRgb t = truth.pixel(x, y), p = bmp.pixels.pixel(x, y);
                const int d = std::max({qAbs(qRed(t) - qRed(p)), qAbs(qGreen(t) - qGreen(p)), qAbs(qBlue(t) - qBlue(p))});
                if (d > tolerance)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 off by %3").arg(x).arg(y).arg(d)));
                exact += d == 0;
                const QRgb q = theirs.pixel(x, y);
                if (std::max({qAbs(qRed(q) - qRed(p)), qAbs(qGreen(q) - qGreen(p)), qAbs(qBlue(q) - qBlue(p))}) >
                    readerTolerance)
                    ++readersDisagree;
                if (bits == 1) {
                    const int brightness = (299 * qRed(t) + 587 * qGreen(t) + 114 * qBlue(t)) / 1000;
                    QCOMPARE(p, brightness >= 128 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
                }
            }
        QCOMPARE(readersDisagree, 0);
        const double share = double(exact) / (expected.width() * expected.height());
        if (bits >= 24)
            QCOMPARE(share, 1.0);
        // A palette keeps the colours the picture shows most exactly: the
        // panel, the wall, the points and the text.
        if ((bits == 8 || bits == 4) && expected.width() > 1)
            QVERIFY2(share > (bits == 8 ? 0.97 : 0.85), qPrintable(QString::number(share)));
        if (bits <= 8 && expected.width() > 100) {
            const ChartLayout layout = ComputeChartLayout(chart, QRect(QPoint(0, 0), expected));
            QList<QPoint> flat{layout.panel.topLeft() + QPoint(3, 3)};
            if (bits == 8)
                flat << layout.plot.topLeft() + QPoint(layout.plot.width() / 3, 5);
            for (const QPoint at : flat)
                if (bits > 1)
                    QCOMPARE(bmp.pixels.pixel(at), truth.pixel(at));
        }
    }
};

QTEST_MAIN(TestChartExport)
#include "tst_ChartExport.moc"
