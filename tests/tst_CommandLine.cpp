// A table named at start (on the command line, or by the desktop entry's
// %f): which argument is taken, that it loads through the real window once
// the window is up, that a bad one is reported exactly as the same file
// dropped on the window, and that the shipped example tables plot.

#include "Chart.h"
#include "CommandLine.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "FakeServices.h"
#include "NumberFormat.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

// What a user sees of a load: the messages shown and the points plotted.
struct Outcome {
    QList<ShownMessage> messages;
    int points = 0;
    QString status;
};

Outcome Seen(FormFixture& f)
{
    return {f.messages->shown, int(f.form->Series1->Count()), f.form->StatusBar1->SimpleText()};
}

// Lets queued work run until the form has shown a message or plotted.
void Settle(FormFixture& f)
{
    QTest::qWait(0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.messages->shown.isEmpty() || f.form->Series1->Count() > 0, 2000);
}

// A drag from the file manager entering the chart and dropping there.
void Drop(TForm1& form, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(100, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.Chart1, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.Chart1, &drop);
}

QString Absolute(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void takesTheFirstNonOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString exe = QStringLiteral("/usr/bin/plotmere");
        QTest::newRow("none") << QStringList{exe} << QString();
        QTest::newRow("no program name") << QStringList{} << QString();
        QTest::newRow("a path") << QStringList{exe, QStringLiteral("/data/a.csv")} << QStringLiteral("/data/a.csv");
        QTest::newRow("relative") << QStringList{exe, QStringLiteral("a.csv")} << Absolute(QStringLiteral("a.csv"));
        QTest::newRow("first of two") << QStringList{exe, QStringLiteral("/d/a.csv"), QStringLiteral("/d/b.csv")}
                                      << QStringLiteral("/d/a.csv");
        QTest::newRow("options passed over")
            << QStringList{exe, QStringLiteral("--verbose"), QStringLiteral("-x"), QStringLiteral("/d/a.tsv")}
            << QStringLiteral("/d/a.tsv");
        QTest::newRow("only options") << QStringList{exe, QStringLiteral("-h"), QStringLiteral("--")} << QString();
        QTest::newRow("after --, a dash is a name")
            << QStringList{exe, QStringLiteral("--"), QStringLiteral("-odd.csv")} << Absolute(QStringLiteral("-odd.csv"));
        QTest::newRow("a lone dash is no file") << QStringList{exe, QStringLiteral("-"), QStringLiteral("/d/a.csv")}
                                                << QStringLiteral("/d/a.csv");
        QTest::newRow("empty argument passed over") << QStringList{exe, QString(), QStringLiteral("/d/a.csv")}
                                                    << QStringLiteral("/d/a.csv");
        QTest::newRow("file URL") << QStringList{exe, QStringLiteral("file:///d/x%20y.csv")}
                                  << QStringLiteral("/d/x y.csv");
        QTest::newRow("spaces and Japanese")
            << QStringList{exe, QStringLiteral("/home/u/測定 データ.csv")} << QStringLiteral("/home/u/測定 データ.csv");
    }
    void takesTheFirstNonOption()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(TablePathArgument(arguments), expected);
    }

    void loadsAfterTheWindowIsShown()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.csv"));
        testfiles::WriteBytes(path, "X1,Y1\n100,101\n101,102\n103,103\n");
        FormFixture f;
        f.form->show();
        LoadTableAtStart(*f.form, path);
        // Queued: nothing happens before the event loop runs.
        QCOMPARE(f.form->Series1->Count(), 0);
        Settle(f);
        QCOMPARE(f.form->Series1->Count(), 3);
        QCOMPARE(f.form->Chart1->BottomAxis().Title().Caption(), QStringLiteral("X1"));
        QVERIFY(!f.form->StatusBar1->SimpleText().isEmpty());
        QVERIFY(f.messages->shown.isEmpty());
    }

    void windowGoneFirstIsNoCrash()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.csv"));
        testfiles::WriteBytes(path, "1,2\n3,4\n");
        {
            FormFixture f;
            LoadTableAtStart(*f.form, path);
        }
        QTest::qWait(10);
    }

    void sameAsADroppedFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty with `makeDir`: a folder of that name
        QTest::addColumn<bool>("makeDir");
        QTest::addColumn<bool>("plots");
        // The program's own plot error box, or else the default error
        // reporting naming the file.
        QTest::addColumn<bool>("plotError");
        QTest::newRow("good") << QStringLiteral("good.csv") << QByteArray("1,2\n2,4\n3,7\n") << false << true << false;
        QTest::newRow("missing") << QStringLiteral("nothing-here.csv") << QByteArray() << false << false << false;
        QTest::newRow("a folder") << QStringLiteral("folder.csv") << QByteArray() << true << false << false;
        QTest::newRow("no numbers") << QStringLiteral("words.csv") << QByteArray("a,b\nc,d\ne,f\n") << false << false
                                    << true;
        QTest::newRow("binary") << QStringLiteral("noise.csv") << QByteArray("\x00\x01\xff,\xfe\n\x00\n", 9) << false
                                << false << true;
    }
    void sameAsADroppedFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, makeDir);
        QFETCH(bool, plots);
        QFETCH(bool, plotError);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (makeDir)
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (!bytes.isEmpty())
            testfiles::WriteBytes(path, bytes);

        FormFixture started;
        started.form->show();
        LoadTableAtStart(*started.form, path);
        Settle(started);

        FormFixture dropped;
        dropped.form->show();
        Drop(*dropped.form, path);
        Settle(dropped);

        const Outcome a = Seen(started), b = Seen(dropped);
        QCOMPARE(a.points > 0, plots);
        QCOMPARE(a.points, b.points);
        QCOMPARE(a.status, b.status);
        QCOMPARE(a.messages.size(), b.messages.size());
        QCOMPARE(a.messages.size(), plots ? 0 : 1);
        for (qsizetype i = 0; i < a.messages.size(); ++i) {
            QCOMPARE(a.messages[i].caption, b.messages[i].caption);
            QCOMPARE(a.messages[i].text, b.messages[i].text);
            QCOMPARE(a.messages[i].icon, b.messages[i].icon);
        }
        if (!plots && plotError)
            QCOMPARE(a.messages[0].caption, QStringLiteral("情報"));
        else if (!plots)
            QVERIFY2(a.messages[0].caption == ApplicationTitle() && a.messages[0].text.contains(name),
                     qPrintable(a.messages[0].caption + u' ' + a.messages[0].text));
    }

    void examplesPlot_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QChar>("decimal");
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("xName");
        QTest::addColumn<QString>("yName");
        QTest::newRow("comma, header") << "comma-header.csv" << QChar(u'.') << 3 << "X1" << "Y1";
        QTest::newRow("comma, no header") << "comma-no-header.csv" << QChar(u'.') << 8 << "" << "";
        QTest::newRow("tab, header") << "tab-header.tsv" << QChar(u'.') << 9 << "経過時間[s]" << "温度[℃]";
        QTest::newRow("tab, no header") << "tab-no-header.tsv" << QChar(u'.') << 7 << "" << "";
        QTest::newRow("CP932 header") << "cp932-header.csv" << QChar(u'.') << 6 << "電圧[V]" << "電流[A]";
        QTest::newRow("comma decimal") << "comma-decimal.tsv" << QChar(u',') << 6 << "Länge [mm]" << "Kraft [N]";
    }
    void examplesPlot()
    {
        QFETCH(QString, file);
        QFETCH(QChar, decimal);
        QFETCH(int, points);
        QFETCH(QString, xName);
        QFETCH(QString, yName);
        const NumberFormat before = NumberFormat::Current();
        NumberFormat nf;
        nf.decimalSeparator = decimal;
        nf.thousandsSeparator = decimal == u',' ? u'.' : u',';
        NumberFormat::SetCurrent(nf);
        FormFixture f;
        f.form->show();
        // Without a header row the axes keep the names they had.
        if (xName.isEmpty())
            xName = f.form->Chart1->BottomAxis().Title().Caption();
        if (yName.isEmpty())
            yName = f.form->Chart1->LeftAxis().Title().Caption();
        LoadTableAtStart(*f.form, QStringLiteral(PLOTMERE_EXAMPLES_DIR "/") + file);
        Settle(f);
        NumberFormat::SetCurrent(before);
        QVERIFY2(f.messages->shown.isEmpty(), qPrintable(f.messages->shown.value(0).text));
        QCOMPARE(f.form->Series1->Count(), points);
        QCOMPARE(f.form->Chart1->BottomAxis().Title().Caption(), xName);
        QCOMPARE(f.form->Chart1->LeftAxis().Title().Caption(), yName);
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
