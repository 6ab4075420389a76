// Hostile and huge inputs through the real main window: texts holding
// U+0000 pasted and opened, a folder, FIFOs, a device, one enormous line,
// millions of empty lines, millions of identical points and a file that
// shrinks while its lines are in use. Each ends in the error message box or
// a clear error, the window does not hang, and a good table loads after it.
//
// The largest inputs (a 200 MB line of digits, 10^8 empty lines, 10^7
// points) run only with PLOTMERE_BIG_INPUTS=1; smaller ones of the same
// kind run always.

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "WindowFixture.h"
#include "FormProbe.h"
#include "NumberFormat.h"
#include "TableFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cerrno>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::WriteBytes;

namespace {

const QString kErrorText = QStringLiteral("エラーが発生しました データを確認してください");
const QString kNotRegular = QStringLiteral("通常のファイルではありません");

bool BigInputs()
{
    return qEnvironmentVariableIntValue("PLOTMERE_BIG_INPUTS") == 1;
}

struct Window : WindowFixture {
    TForm1Probe probe{*form};

    // Opens `path` through the open button, as the user does.
    qint64 Open(const QString& path)
    {
        messages->shown.clear();
        dialogs->openAnswers << path;
        QElapsedTimer t;
        t.start();
        form->OpenBtn->click();
        return t.elapsed();
    }
    void Paste(const QString& text)
    {
        messages->shown.clear();
        WindowFixture::Paste(text);
    }
    QStringList Lines()
    {
        QStringList out;
        for (qsizetype i = 0; i < probe.DataList().Count(); ++i)
            out << probe.DataList().Line(i);
        return out;
    }
    bool ShowedErrorBox() const
    {
        return messages->shown.size() == 1 && messages->shown[0].caption == QStringLiteral("情報")
            && messages->shown[0].text == kErrorText && messages->shown[0].icon == MessageIcon::Error;
    }
    // The chart draws what it holds (and the drawing ends).
    bool Draws()
    {
        QImage blank(400, 300, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::white);
        QImage image = blank;
        QPainter painter(&image);
        RenderChart(form->Chart1->Model(), painter, image.rect());
        painter.end();
        return image != blank;
    }
};

// A file of `prefix` followed by `size` bytes in total, the rest a hole
// that reads as NUL bytes and takes no room on disk.
void WriteSparse(const QString& path, const QByteArray& prefix, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(prefix), prefix.size());
    QVERIFY(f.resize(size));
}

// `count` copies of `piece` after `prefix`, written in large blocks.
void WriteRepeated(const QString& path, const QByteArray& prefix, const QByteArray& piece, qint64 count)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(prefix), prefix.size());
    const qint64 perBlock = std::max<qint64>(1, (qint64(1) << 22) / piece.size());
    const QByteArray block = piece.repeated(qsizetype(perBlock));
    for (qint64 left = count; left > 0; left -= perBlock) {
        const QByteArray& part = left >= perBlock ? block : piece.repeated(qsizetype(left));
        QCOMPARE(f.write(part), part.size());
    }
}

enum class Outcome { ErrorBox, OpenError };

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestHostileInputs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // After a hostile input the window still works: a good table loads.
    void ExpectUsable(Window& w)
    {
        const QString good = m_dir.filePath(QStringLiteral("good.csv"));
        WriteBytes(good, "X1,Y1\n100,101\n101,102\n103,103\n");
        w.form->ToggleSwitch1->SetState(tssOff);
        w.Open(good);
        QVERIFY2(w.messages->shown.isEmpty(), qPrintable(w.messages->shown.value(0).text));
        QCOMPARE(w.probe.xdata(), (QList<double>{100, 101, 103}));
        QCOMPARE(w.form->Series1->Count(), 3);
        QCOMPARE(w.form->Chart1->SubTitle().Text().Count(), 1);
        QVERIFY(w.Draws());
    }

private slots:
    void init() { NumberFormat::SetCurrent(NumberFormat{u'.', u','}); }

    // The same text pasted and opened as a file gives the same lines and
    // the same plot, U+0000 included.
    void pasteAndFileAgree_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("plotted");
        QTest::newRow("a line of U+0000") << QByteArray("x,y\n1,2\n\0\n3,4\n5,7\n", 18) << 4 << false;
        QTest::newRow("U+0000 in a field") << QByteArray("x,y\n1\0,2\n3,4\n5,7\n", 17) << 3 << true;
        QTest::newRow("U+0000 after the last break") << QByteArray("1,2\n3,4\n\0", 9) << 3 << false;
        QTest::newRow("U+0000 after a CR") << QByteArray("1,2\r\0\r\n3,5\n6,6\n", 15) << 4 << false;
        QTest::newRow("only U+0000") << QByteArray("\0\0\n\0", 4) << 2 << false;
    }
    void pasteAndFileAgree()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lines);
        QFETCH(bool, plotted);
        Window w;
        w.Paste(QString::fromUtf8(bytes));
        const QStringList pasted = w.Lines();
        const QList<double> px = w.probe.xdata(), py = w.probe.ydata();
        const bool pastedBox = w.ShowedErrorBox();

        const QString path = m_dir.filePath(QStringLiteral("nul.csv"));
        WriteBytes(path, bytes);
        w.Open(path);
        QCOMPARE(pasted, w.Lines());
        QCOMPARE(px, w.probe.xdata());
        QCOMPARE(py, w.probe.ydata());
        QCOMPARE(pastedBox, w.ShowedErrorBox());
        // What the table itself gives: the lines after the header and
        // blank lines went, and a plot or the error box.
        QCOMPARE(w.Lines().size(), lines);
        QCOMPARE(w.ShowedErrorBox(), !plotted);
    }

    void hostileFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("big");
        QTest::newRow("a folder") << "folder" << Outcome::OpenError << QString::fromLocal8Bit(std::strerror(EISDIR)) << false;
        QTest::newRow("a FIFO without writer") << "fifo" << Outcome::OpenError << kNotRegular << false;
        QTest::newRow("a FIFO with a silent writer") << "silent fifo" << Outcome::OpenError << kNotRegular << false;
        QTest::newRow("/dev/zero") << "zero" << Outcome::OpenError << kNotRegular << false;
        // After the header and one point, a line of the digit 3, a comma and
        // 200 MB more: NUL bytes (a hole in the file), or digits too many for
        // a double. Neither makes a second data row, so the fit fails.
        QTest::newRow("one 200 MB line of NULs") << "long nul line" << Outcome::ErrorBox << QString() << false;
        QTest::newRow("one 200 MB line of digits") << "long digit line" << Outcome::ErrorBox << QString() << true;
        QTest::newRow("10^7 empty lines") << "empty 7" << Outcome::ErrorBox << QString() << false;
        QTest::newRow("10^8 empty lines") << "empty 8" << Outcome::ErrorBox << QString() << true;
        // All X equal: the points are plotted, the fit fails.
        QTest::newRow("10^6 identical points") << "same 6" << Outcome::ErrorBox << QString() << false;
        QTest::newRow("10^7 identical points") << "same 7" << Outcome::ErrorBox << QString() << true;
    }
    void hostileFiles()
    {
        QFETCH(QString, kind);
        QFETCH(Outcome, outcome);
        QFETCH(QString, reason);
        QFETCH(bool, big);
        if (big && !BigInputs())
            QSKIP("a big input: set PLOTMERE_BIG_INPUTS=1 to run it");

        QString path = m_dir.filePath(kind);
        int writerFd = -1;
        qint64 points = -1;
        constexpr qint64 kLong = qint64(200) << 20;
        if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir(m_dir.path()).mkpath(kind));
        } else if (kind.endsWith(QStringLiteral("fifo"))) {
            QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            if (kind.startsWith(QStringLiteral("silent"))) {
                writerFd = open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
                QVERIFY(writerFd >= 0);
            }
        } else if (kind == QStringLiteral("zero")) {
            path = QStringLiteral("/dev/zero");
        } else if (kind == QStringLiteral("long nul line")) {
            WriteSparse(path, "x,y\n1,2\n3,", kLong);
            points = 1;
        } else if (kind == QStringLiteral("long digit line")) {
            WriteRepeated(path, "x,y\n1,2\n3,", "7", kLong);
            points = 1;
        } else if (kind.startsWith(QStringLiteral("empty"))) {
            WriteRepeated(path, QByteArray(), "\n", kind.endsWith(u'7') ? 10000000 : 100000000);
        } else if (kind.startsWith(QStringLiteral("same"))) {
            points = kind.endsWith(u'6') ? 1000000 : 10000000;
            WriteRepeated(path, "x,y\n", "1,1\n", points);
        }
        const auto closeWriter = qScopeGuard([&] {
            if (writerFd >= 0)
                close(writerFd);
        });

        Window w;
        const qint64 ms = w.Open(path);
        qInfo("%s: %lld ms", qPrintable(kind), ms);
        QCOMPARE(w.messages->shown.size(), 1);
        const ShownMessage m = w.messages->shown.first();
        if (outcome == Outcome::ErrorBox) {
            QVERIFY2(w.ShowedErrorBox(), qPrintable(m.text));
        } else {
            // The default error reporting, naming the file and the cause.
            QCOMPARE(m.caption, ApplicationTitle());
            QCOMPARE(m.icon, MessageIcon::Error);
            QVERIFY2(m.text.contains(u'"' + path + u'"'), qPrintable(m.text));
            QVERIFY2(m.text.contains(reason), qPrintable(m.text));
            QVERIFY(w.probe.DataList().IsEmpty());
        }
        if (points >= 0) {
            QCOMPARE(w.form->Series1->Count(), points);
            QVERIFY(w.Draws());
        }
        ExpectUsable(w);
    }

    // A table whose file is cut short while its lines are in use: the next
    // plot (the swap) still sees the lines as they were read.
    void fileShrinksWhileInUse()
    {
        constexpr int kRows = 300000; // mapped: well above the size at which files are
        QByteArray bytes = "x,y\n";
        for (int i = 0; i < kRows; ++i)
            bytes += QByteArray::number(i) + ',' + QByteArray::number(2 * i + 1) + '\n';
        const QString path = m_dir.filePath(QStringLiteral("shrinking.csv"));
        WriteBytes(path, bytes);
        Window w;
        w.Open(path);
        QVERIFY(w.messages->shown.isEmpty());
        QCOMPARE(w.probe.xdata().size(), kRows);
        if (!tablefile_detail::LastReadWasMapped())
            qInfo("the file was read, not mapped: leases are not available here");
        const QList<double> xs = w.probe.xdata(), ys = w.probe.ydata();

        QVERIFY(truncate(QFile::encodeName(path).constData(), 10) == 0);
        w.messages->shown.clear();
        w.form->ToggleSwitch1->click();
        QVERIFY2(w.messages->shown.isEmpty(), qPrintable(w.messages->shown.value(0).text));
        QCOMPARE(w.probe.xdata(), ys);
        QCOMPARE(w.probe.ydata(), xs);
        QVERIFY(w.Draws());
        ExpectUsable(w);
    }
};

QTEST_MAIN(TestHostileInputs)
#include "tst_HostileInputs.moc"
