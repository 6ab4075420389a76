// Loading and plotting through the real main window: the three loaders, the
// outcomes and failure states of a plot, magnification and the regression
// line, as the user sees them on the chart and in the status bar.

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "ExactDouble.h"
#include "WindowFixture.h"
#include "FormProbe.h"
#include "Magnification.h"
#include "NumberFormat.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QDir>
#include <QProcess>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <clocale>

namespace {

const QString kErrorText = QStringLiteral("エラーが発生しました データを確認してください");
const QString kStatusPlain = QStringLiteral("倍率 X= 1　単位 [  ]   Y= 1　単位 [  ]");

struct Window : WindowFixture {
    TForm1Probe probe{*form};

    QString Write(const QByteArray& bytes, const QString& name = QStringLiteral("table.csv"))
    {
        return WriteFile(name, bytes);
    }
    TChart& chart() { return *form->Chart1; }
    QStringList Subtitle() { return chart().SubTitle().Text().Lines(); }
    QList<QPair<double, double>> Points(const TChartSeries& s)
    {
        QList<QPair<double, double>> out;
        for (qsizetype i = 0; i < s.Count(); ++i)
            out.append({s.XValue(i), s.YValue(i)});
        return out;
    }
    int ErrorBoxes()
    {
        int n = 0;
        for (const ShownMessage& m : messages->shown)
            n += m.caption == QStringLiteral("情報") && m.text == kErrorText && m.icon == MessageIcon::Error;
        return n;
    }
};

// A drag entering the chart and dropping there, as the file manager does it.
void DropOn(TForm1* form, QMimeData* data)
{
    QWidget* target = form->Chart1;
    const QPoint at(100, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

// The drop ends at once; the load comes as the next event.
void DropAndLoad(TForm1* form, QMimeData* data)
{
    const qsizetype before = form->Series1->Count();
    DropOn(form, data);
    QCOMPARE(form->Series1->Count(), before); // not loaded yet
    QCoreApplication::processEvents();
}

bool Close(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); }

// Puts the C library's numbers into a comma-decimal locale, as the GUI
// toolkit does at start from the user's environment. Builds one (once per
// run) when none is installed. Returns the previous setting, or an empty
// string when no such locale can be had.
QByteArray UseCommaDecimalCLocale()
{
    const QByteArray previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name))
            return previous;
    static QTemporaryDir scratch;
    static const bool built = [] {
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                                      QStringLiteral("UTF-8"), scratch.filePath(QStringLiteral("de_DE.UTF-8"))});
        return localedef.waitForFinished(60000) && localedef.exitStatus() == QProcess::NormalExit
            && localedef.exitCode() == 0;
    }();
    if (!built)
        return {};
    qputenv("LOCPATH", QFile::encodeName(scratch.path()));
    const bool ok = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    qunsetenv("LOCPATH");
    return ok ? previous : QByteArray();
}

} // namespace

class TestPlotData : public QObject {
    Q_OBJECT
private slots:
    void init() { NumberFormat::SetCurrent(NumberFormat{u'.', u','}); }

    // Lines that are no data row are told beside the status text, which
    // stays as it is: how many, and for the first few where and why.
    void skippedLinesAreTold_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QStringList>("reasons");
        QTest::newRow("every line used: no notice") << QByteArray("X,Y\n1,2\n3,4\n") << QString() << QStringList{};
        QTest::newRow("thousands separator in a quoted field")
            << QByteArray("X,Y\n1,2\n\"2,250.75\",3\n4,5\n") << QStringLiteral("1 行を読み飛ばしました")
            << QStringList{QStringLiteral("3 行目: 1 列目「2,250.75」に桁区切り記号があります")};
        QTest::newRow("text cell and empty field, blank lines counted")
            << QByteArray("1\t2\n\nabc\t3\n5\t\n7\t8\n") << QStringLiteral("2 行を読み飛ばしました")
            << QStringList{QStringLiteral("3 行目: 1 列目「abc」が数値ではありません"), QStringLiteral("4 行目: 2 列目が空です")};
        QTest::newRow("three fields") << QByteArray("1,2\n3,4,5\n6,7\n") << QStringLiteral("1 行を読み飛ばしました")
                                      << QStringList{QStringLiteral("2 行目: 項目が 3 個あります (使えるのは 2 個の行だけです)")};
        QTest::newRow("more than are listed")
            << QByteArray("1,2\n1,a\n1,b\n1,c\n1,d\n1,e\n1,f\n1,g\n3,4\n") << QStringLiteral("7 行を読み飛ばしました")
            << QStringList{QStringLiteral("2 行目: 2 列目「a」が数値ではありません"),
                           QStringLiteral("6 行目: 2 列目「e」が数値ではありません"), QStringLiteral("ほか 2 行")};
    }
    void skippedLinesAreTold()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, notice);
        QFETCH(QStringList, reasons);
        Window w;
        w.form->show();
        w.Open(table);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->StatusBar1->SimpleText(), kStatusPlain);
        QLabel* shown = w.form->SkippedLinesNotice;
        QCOMPARE(shown->isVisible(), !notice.isEmpty());
        if (!notice.isEmpty()) {
            QCOMPARE(shown->text(), notice);
            const QStringList tip = shown->toolTip().split(u'\n');
            for (const QString& reason : reasons)
                QVERIFY2(tip.contains(reason), qPrintable(shown->toolTip()));
            // The first five at most.
            const qsizetype listed = tip.filter(QStringLiteral(" 行目: ")).size();
            QCOMPARE(listed, std::min<qsizetype>(5, notice.section(u' ', 0, 0).toInt()));
            // Assistive tools find it in the status bar, by its text, with
            // the reasons as its description.
            QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.form->StatusBar1);
            QCOMPARE(bar->text(QAccessible::Name), kStatusPlain);
            QCOMPARE(bar->childCount(), 1);
            QCOMPARE(bar->child(0)->object(), shown);
            QCOMPARE(bar->child(0)->text(QAccessible::Name), notice);
            QCOMPARE(bar->child(0)->text(QAccessible::Description), shown->toolTip());
        }
        // A table whose every line is used takes the notice away.
        w.Open("1,2\n3,4\n");
        QVERIFY(!shown->isVisible());
    }

    void typicalRoad()
    {
        Window w;
        w.Open("X1,Y1\r\n100,101\r\n101,102\r\n103,103\r\n");
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("X1"));
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), QStringLiteral("Y1"));
        QCOMPARE(w.probe.DataList().Count(), 3);
        QCOMPARE(w.probe.DataList().Line(0), QStringLiteral("100,101"));
        QCOMPARE(w.form->StatusBar1->SimpleText(), kStatusPlain);
        const QList<QPair<double, double>> points{{100, 101}, {101, 102}, {103, 103}};
        QCOMPARE(w.Points(*w.form->Series1), points);
        QVERIFY(!w.chart().BottomAxis().Automatic());
        QCOMPARE_EXACT(w.chart().BottomAxis().Minimum(), 99.25);
        QCOMPARE_EXACT(w.chart().BottomAxis().Maximum(), 103.75);
        QCOMPARE_EXACT(w.chart().LeftAxis().Minimum(), 100.5);
        QCOMPARE_EXACT(w.chart().LeftAxis().Maximum(), 103.5);
        QCOMPARE(w.Subtitle(), QStringList{QStringLiteral("回帰直線 Y =0.643X + 36.857   相関係数= 0.982")});
        QCOMPARE(w.form->Series2->Count(), 2);
        QCOMPARE_EXACT(w.form->Series2->XValue(0), 99.625);
        QCOMPARE_EXACT(w.form->Series2->XValue(1), 103.375);
        QVERIFY(Close(w.form->Series2->YValue(0), w.probe.aresult() * 99.625 + w.probe.bresult()));
        QVERIFY(w.chart().accessibleDescription().contains(QStringLiteral("相関係数= 0.982")));

        // The swap switch plots the columns the other way round.
        w.form->ToggleSwitch1->click();
        QCOMPARE(w.form->ToggleSwitch1->State(), tssOn);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("Y1"));
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), QStringLiteral("X1"));
        const QList<QPair<double, double>> swapped{{101, 100}, {102, 101}, {103, 103}};
        QCOMPARE(w.Points(*w.form->Series1), swapped);
        QCOMPARE(w.probe.DataList().Count(), 3);
        QCOMPARE(w.messages->shown.size(), 0);
    }

    // A plot shares the columns with Series1 instead of copying them, and
    // sorts nothing on its way to the picture.
    void plottedColumnsAreShared()
    {
        Window w;
        w.Open("x,y\n5,1\n3,2\n4,3\n1,5\n");
        const double* firstColumn = w.probe.xdata().constData();
        for (int run = 0; run < 2; ++run) {
            const TChartSeries& s = *w.form->Series1;
            // A re-plot of the same lines writes into the same columns.
            QCOMPARE(w.probe.xdata().constData(), firstColumn);
            QCOMPARE(s.Count(), 4);
            QCOMPARE(s.RawX().constData(), w.probe.xdata().constData());
            QCOMPARE(s.RawY().constData(), w.probe.ydata().constData());
            QVERIFY(!s.OrderKnown());
            QCOMPARE(w.Subtitle().size(), 1);
            w.form->ToggleSwitch1->click(); // a re-plot of the same lines
        }
    }

    void workedRegressions_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("line");
        QTest::newRow("rising") << QByteArray("1,2\n2,4\n3,6") << "回帰直線 Y =2.000X + 0.000   相関係数= 1.000";
        QTest::newRow("falling") << QByteArray("1,4\n2,3\n3,2") << "回帰直線 Y =-1.000X + 5.000   相関係数= -1.000";
        QTest::newRow("negative intercept") << QByteArray("1,0\n2,1\n3,2")
                                            << "回帰直線 Y =1.000X - 1.000   相関係数= 1.000";
        QTest::newRow("two rows") << QByteArray("1,5\n3,1") << "回帰直線 Y =-2.000X + 7.000   相関係数= -1.000";
        QTest::newRow("slope rounding to zero") << QByteArray("1,5\n2,4.9996\n3,4.9992")
                                                << "回帰直線 Y =-0.000X + 5.000   相関係数= -1.000";
    }
    void workedRegressions()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, line);
        Window w;
        w.Open(table);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.Subtitle(), QStringList{line});
    }

    void lineReachesHalfAMarginBeyondTheData()
    {
        Window w;
        QByteArray table;
        for (int x = 10; x <= 20; ++x)
            table += QByteArray::number(x) + "," + QByteArray::number(x * x) + "\n";
        w.Open(table);
        QCOMPARE_EXACT(w.form->Series2->XValue(0), 8.75);
        QCOMPARE_EXACT(w.form->Series2->XValue(1), 21.25);
        QCOMPARE_EXACT(w.chart().BottomAxis().Minimum(), 7.5);
        QCOMPARE_EXACT(w.chart().BottomAxis().Maximum(), 22.5);
    }

    // Far from zero the regression line still runs through the data: its
    // end points are not the sum of a huge slope term and a huge intercept,
    // whose rounding would move the line by a tenth of the data's range.
    void lineFollowsTheFitFarFromZero_data()
    {
        QTest::addColumn<double>("offset");
        QTest::newRow("near zero") << 0.0;
        QTest::newRow("1e17") << 1e17;
        QTest::newRow("-1e17") << -1e17;
        QTest::newRow("1e20") << 1e20;
    }
    void lineFollowsTheFitFarFromZero()
    {
        QFETCH(double, offset);
        // X one ulp apart (16 near 1e17), Y = k / 3 on a straight line.
        const double unit = offset == 0.0 ? 1.0 : std::nextafter(offset, HUGE_VAL) - offset;
        QString table;
        for (int k = 0; k <= 10; ++k)
            table += QString::number(offset + k * unit, 'g', 17) + u',' + QString::number(k / 3.0, 'g', 17) + u'\n';
        Window w;
        w.clipboard->text = table;
        w.form->PasteBtn->click();
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->Series2->Count(), 2);
        for (int i = 0; i < 2; ++i) {
            const double x = w.form->Series2->XValue(i);
            const double k = (x - offset) / unit; // exact: x and offset are close
            const double expected = k / 3.0;
            QVERIFY2(qAbs(w.form->Series2->YValue(i) - expected) < 1e-9,
                     qPrintable(QStringLiteral("end %1 at %2, not %3").arg(i).arg(w.form->Series2->YValue(i)).arg(expected)));
        }
    }

    // What each kind of table leaves behind.
    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<int>("errorBoxes");
        QTest::addColumn<bool>("statusSet");
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("axesManual");
        QTest::addColumn<int>("lineLeft"); // lines left in DataList
        QTest::newRow("two blank lines") << QByteArray("\n\n") << 1 << false << 0 << false << 0;
        QTest::newRow("tab table with a comma line")
            << QByteArray("a\tb\n1\t2\n3,4\n") << 1 << false << 0 << false << 2;
        QTest::newRow("header and no data row") << QByteArray("a,b\nx,y\n1,\n") << 1 << true << 0 << false << 2;
        QTest::newRow("single data row") << QByteArray("X,Y\n5,7\n") << 1 << true << 1 << true << 1;
        QTest::newRow("all X equal") << QByteArray("2,1\n2,5\n2,3\n") << 1 << true << 3 << true << 3;
        QTest::newRow("three fields are not plotted")
            << QByteArray("1,2\n2,3,\n3,5\n4,1\n") << 0 << true << 3 << true << 4;
        QTest::newRow("blank lines anywhere") << QByteArray("\n1,2\n\n\n2,4\n3,7\n\n\n") << 0 << true << 3 << true << 3;
        // With a full-stop decimal separator "1,5" is no number, so the line is a header.
        QTest::newRow("quoted field with a comma")
            << QByteArray("\"1,5\",2\n3,4\n5,1\n") << 0 << true << 2 << true << 2;
    }
    void outcomes()
    {
        QFETCH(QByteArray, table);
        QFETCH(int, errorBoxes);
        QFETCH(bool, statusSet);
        QFETCH(int, points);
        QFETCH(bool, axesManual);
        QFETCH(int, lineLeft);
        Window w;
        w.form->StatusBar1->SetSimpleText(QStringLiteral("before"));
        w.Open(table);
        QCOMPARE(w.ErrorBoxes(), errorBoxes);
        QCOMPARE(w.messages->shown.size(), errorBoxes);
        QCOMPARE(w.form->StatusBar1->SimpleText() != QStringLiteral("before"), statusSet);
        QCOMPARE(w.form->Series1->Count(), points);
        QCOMPARE(!w.chart().BottomAxis().Automatic(), axesManual);
        QCOMPARE(!w.chart().LeftAxis().Automatic(), axesManual);
        QCOMPARE(w.probe.DataList().Count(), lineLeft);
        if (errorBoxes) {
            QCOMPARE(w.form->Series2->Count(), 0);
            QVERIFY(w.Subtitle().isEmpty());
        }
    }

    // A run that fails before its points step (only blank lines, or a line
    // of one field in the magnitude scan) leaves the previous table's
    // columns and regression as they were; one that fails later has
    // rebuilt the columns from the new table.
    void failedRunKeepsColumnsUntilThePointsStep_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("kept");
        QTest::newRow("only blank lines") << "\n\n" << true;
        QTest::newRow("a line of one field") << "a\tb\n1\t2\n3,4\n" << true;
        QTest::newRow("no data row") << "a,b\nx,y\n" << false;
        QTest::newRow("single row fails in the regression") << "9,8\n\n" << false;
    }
    void failedRunKeepsColumnsUntilThePointsStep()
    {
        QFETCH(QString, second);
        QFETCH(bool, kept);
        Window w;
        w.Open("1,2\n2,4\n3,7\n");
        const QList<double> xs = w.probe.xdata(), ys = w.probe.ydata();
        const double a = w.probe.aresult(), b = w.probe.bresult();
        QCOMPARE(xs, (QList<double>{1, 2, 3}));
        w.clipboard->text = second;
        w.form->PasteBtn->click();
        QCOMPARE(w.ErrorBoxes(), 1);
        if (kept) {
            QCOMPARE(w.probe.xdata(), xs);
            QCOMPARE(w.probe.ydata(), ys);
        } else {
            QVERIFY(w.probe.xdata() != xs);
            QCOMPARE(w.probe.xdata().size(), w.probe.ydata().size());
        }
        QCOMPARE(w.probe.aresult(), a);
        QCOMPARE(w.probe.bresult(), b);
    }

    void quotedFieldIsOneNumberField()
    {
        // "1,5" with a comma decimal separator is the number 1.5.
        NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        Window w;
        w.Open("\"1,5\",2\n\"2,5\",4\n\"4,5\",8\n");
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->Series1->XValue(0), 1.5);
        QCOMPARE(w.Subtitle(), QStringList{QStringLiteral("回帰直線 Y =2,000X - 1,000   相関係数= 1,000")});
    }

    void commaDecimalTabTable()
    {
        NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        Window w;
        w.Open("時間\t電圧\n0,5\t1,25\n1,5\t2,25\n2,5\t3,25e0\n");
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("時間"));
        QCOMPARE(w.form->Series1->Count(), 3);
        QCOMPARE(w.form->Series1->YValue(2), 3.25);
        QCOMPARE(w.Subtitle(), QStringList{QStringLiteral("回帰直線 Y =1,000X + 0,750   相関係数= 1,000")});
    }

    // The texts follow the program's own number format, whatever the C
    // library's locale says.
    void textsIgnoreTheCLibraryLocale_data()
    {
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("typical road, comma decimal")
            << true << QByteArray("X1,Y1\n100,101\n101,102\n103,103\n") << kStatusPlain
            << "回帰直線 Y =0,643X + 36,857   相関係数= 0,982";
        QTest::newRow("typical road, full stop") << false << QByteArray("X1,Y1\n100,101\n101,102\n103,103\n")
                                                 << kStatusPlain << "回帰直線 Y =0.643X + 36.857   相関係数= 0.982";
        QTest::newRow("nano, comma decimal") << true << QByteArray("2,5e-8\t1e6\n1e-8\t2e6\n")
                                             << "倍率 X= 1.000.000.000　単位 [ n ]   Y= 0　単位 [ M ]"
                                             << "回帰直線 Y =-0,067X + 2,667   相関係数= -1,000";
        QTest::newRow("kilo, full stop") << false << QByteArray("5000,1\n6000,2\n")
                                         << "倍率 X= 0　単位 [ K ]   Y= 1　単位 [  ]"
                                         << "回帰直線 Y =1.000X - 4.000   相関係数= 1.000";
    }
    void textsIgnoreTheCLibraryLocale()
    {
        QFETCH(bool, commaDecimal);
        QFETCH(QByteArray, table);
        QFETCH(QString, status);
        QFETCH(QString, subtitle);
        const QByteArray previous = UseCommaDecimalCLocale();
        if (previous.isEmpty())
            QSKIP("no comma-decimal C library locale available");
        struct Restore {
            QByteArray name;
            ~Restore() { std::setlocale(LC_NUMERIC, name.constData()); }
        } restore{previous};
        if (commaDecimal)
            NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        Window w;
        w.Open(table);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->StatusBar1->SimpleText(), status);
        QCOMPARE(w.Subtitle(), QStringList{subtitle});
        QCOMPARE(FormatScientific15(-0.005, NumberFormat::Current()),
                 commaDecimal ? QStringLiteral("-5,00000000000000E-003") : QStringLiteral("-5.00000000000000E-003"));
    }

    void singleRowLeavesZeroWidthAxes()
    {
        Window w;
        w.probe.aresult() = 11;
        w.probe.bresult() = 22;
        w.Open("X,Y\n5,7\n");
        QCOMPARE(w.chart().BottomAxis().Minimum(), 5.0);
        QCOMPARE(w.chart().BottomAxis().Maximum(), 5.0);
        QCOMPARE(w.chart().LeftAxis().Minimum(), 7.0);
        QCOMPARE(w.chart().LeftAxis().Maximum(), 7.0);
        QCOMPARE(w.probe.aresult(), 11.0); // n = 1 keeps the previous results
        QCOMPARE(w.probe.bresult(), 22.0);
    }

    void allYEqualStoresSlopeAndIntercept()
    {
        Window w;
        w.Open("1,4\n2,4\n3,4\n");
        QCOMPARE(w.ErrorBoxes(), 1);
        QCOMPARE(w.probe.aresult(), 0.0);
        QCOMPARE(w.probe.bresult(), 4.0);
        QVERIFY(w.Subtitle().isEmpty());
    }

    void fewerThanTwoLinesChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("one data line") << QByteArray("1,2\n");
        QTest::newRow("one line without break") << QByteArray("9,9");
    }
    void fewerThanTwoLinesChangesNothing()
    {
        QFETCH(QByteArray, table);
        Window w;
        w.Open("a,b\n1,2\n2,3\n4,4\n");
        const QString status = w.form->StatusBar1->SimpleText();
        const QStringList subtitle = w.Subtitle();
        w.probe.xmag() = 5;
        w.Open(table);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->StatusBar1->SimpleText(), status);
        QCOMPARE(w.Subtitle(), subtitle);
        QCOMPARE(w.form->Series1->Count(), 3);
        QCOMPARE(w.probe.xmag(), 1.0); // the load itself resets the magnifications
        QCOMPARE(w.probe.DataList().Count(), table.isEmpty() ? 0 : 1);
    }

    void namesStayWithoutANewHeader()
    {
        Window w;
        w.Open("長さ,重さ\n1,2\n2,3\n4,4\n");
        w.Open("1,2\n2,3\n4,5\n");
        QCOMPARE(w.probe.xname(), QStringLiteral("長さ"));
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("長さ"));
        w.Open("p,q,r\n1,2\n2,3\n"); // three non-number fields make a header
        QCOMPARE(w.probe.xname(), QStringLiteral("p"));
        QCOMPARE(w.probe.yname(), QStringLiteral("q"));
    }

    void secondTableBelowTheFirst()
    {
        Window w;
        w.Open("100,100\n200,300\n");
        w.Open("-20,-30\n-10,-20\n-15,-26\n");
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.chart().BottomAxis().Minimum(), -22.5);
        QCOMPARE(w.chart().BottomAxis().Maximum(), -7.5);
    }

    void magnificationAndStatus_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("firstX");
        QTest::newRow("kilo") << QByteArray("5000,1\n6000,2\n") << "倍率 X= 0　単位 [ K ]   Y= 1　単位 [  ]" << 5.0;
        QTest::newRow("milli from the largest magnitude")
            << QByteArray("0.002,1\n-0.005,2\n0.001,3\n") << "倍率 X= 1,000　単位 [ m ]   Y= 1　単位 [  ]" << -5.0;
        QTest::newRow("nano") << QByteArray("2.5e-8,1e6\n1e-8,2e6\n")
                              << "倍率 X= 1,000,000,000　単位 [ n ]   Y= 0　単位 [ M ]" << 9.999999999999999;
    }
    void magnificationAndStatus()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, status);
        QFETCH(double, firstX);
        Window w;
        w.Open(table);
        QCOMPARE(w.form->StatusBar1->SimpleText(), status);
        // x times the magnification, exactly: 1e-8 times 999999999.9999999
        // is 9.999999999999998, where a magnification of 1e9 gives 10.
        QCOMPARE_EXACT(w.form->Series1->XValue(0), firstX);
    }

    void autoSizeOffPlotsUnscaledKeepingPrefixes()
    {
        Window w;
        w.Open("5000,1\n6000,2\n");
        w.form->AutoSize->setChecked(false);
        w.Open("7000,1\n8000,3\n");
        QCOMPARE(w.probe.xmag(), 1.0);
        QCOMPARE(w.probe.xtani(), QStringLiteral("K"));
        QCOMPARE(w.form->Series1->XValue(0), 7000.0);
        QCOMPARE(w.form->StatusBar1->SimpleText(), QStringLiteral("倍率 X= 1　単位 [ K ]   Y= 1　単位 [  ]"));
    }

    void swapChoosesPrefixFromTheShownColumn()
    {
        Window w;
        w.Open("1,5000\n2,6000\n");
        w.form->ToggleSwitch1->click();
        QCOMPARE(w.probe.xtani(), QStringLiteral("K"));
        QCOMPARE(w.probe.ytani(), QString());
    }

    void encodingsGiveTheSameNames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray body = "\r\n1,2\r\n2,3\r\n3,5\r\n";
        QTest::newRow("utf-8") << QByteArray("時間,電圧") + body;
        QTest::newRow("utf-8 with mark") << QByteArray("\xEF\xBB\xBF") + QByteArray("時間,電圧") + body;
        QTest::newRow("cp932") << QByteArray("\x8E\x9E\x8A\xD4,\x93\x64\x88\xB3") + body;
        QString text = QStringLiteral("時間,電圧") + QString::fromLatin1(body);
        QByteArray le("\xFF\xFE"), be("\xFE\xFF");
        for (QChar c : text) {
            le += char(c.unicode() & 0xFF);
            le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8);
            be += char(c.unicode() & 0xFF);
        }
        QTest::newRow("utf-16 le") << le;
        QTest::newRow("utf-16 be") << be;
    }
    void encodingsGiveTheSameNames()
    {
        QFETCH(QByteArray, bytes);
        Window w;
        w.Open(bytes);
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("時間"));
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), QStringLiteral("電圧"));
        QCOMPARE(w.form->Series1->Count(), 3);
    }

    void openCancelledChangesNothing()
    {
        Window w;
        w.Open("1,2\n2,3\n");
        w.probe.xmag() = 3;
        w.form->OpenBtn->click(); // no answer queued: the user cancels
        QCOMPARE(w.dialogs->openCalls, 2);
        QCOMPARE(w.probe.xmag(), 3.0);
        QCOMPARE(w.probe.DataList().Count(), 2);
    }

    void unreadableFileGoesToTheDefaultReporting()
    {
        Window w;
        w.Open("1,2\n2,3\n4,4\n");
        w.dialogs->openAnswers << w.dir.filePath(QStringLiteral("missing.csv"));
        w.form->OpenBtn->click();
        QCOMPARE(w.messages->shown.size(), 1);
        QCOMPARE(w.messages->shown[0].caption, ApplicationTitle());
        QVERIFY(w.messages->shown[0].text.contains(QStringLiteral("missing.csv")));
        QCOMPARE(w.probe.DataList().Count(), 0);
        QCOMPARE(w.form->Series1->Count(), 3); // the chart keeps what it showed
    }

    // A long plot shows the wait cursor and a note in the status bar while
    // it runs; afterwards the cursor is back and the status bar shows what
    // the plot wrote, or what it showed before when the plot did not get that
    // far. The error message box comes after the cursor is back.
    void longPlotShowsThatItIsBusy_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("badLastLine");
        QTest::addColumn<bool>("busy");
        QTest::newRow("small table") << 1000 << false << false;
        QTest::newRow("large table") << 1600000 << false << true;
        QTest::newRow("large table failing in the scan") << 1600000 << true << true;
    }
    void longPlotShowsThatItIsBusy()
    {
        QFETCH(int, rows);
        QFETCH(bool, badLastLine);
        QFETCH(bool, busy);
        struct CursorAwareMessages : FakeMessages {
            bool cursorWhenShown = false;
            void ShowMessage(QWidget* w, const QString& c, const QString& t, MessageIcon i) override
            {
                cursorWhenShown = QGuiApplication::overrideCursor() != nullptr;
                FakeMessages::ShowMessage(w, c, t, i);
            }
        };
        auto messages = std::make_shared<CursorAwareMessages>();
        auto dialogs = std::make_shared<FakeDialogs>();
        TForm1 form(FormServices{dialogs, messages, std::make_shared<FakeClipboard>()});
        form.StatusBar1->SetSimpleText(QStringLiteral("before"));
        QByteArray text = "x,y\n";
        text.reserve(rows * 8);
        for (int i = 0; i < rows; ++i)
            text += QByteArray::number(i % 1000) + ',' + QByteArray::number(i % 7) + '\n';
        if (badLastLine)
            text += "5\n";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        // What the window shows while the plot runs, seen from the chart's
        // first change.
        QString during;
        bool cursorDuring = false;
        const QMetaObject::Connection watch = QObject::connect(&form.Chart1->Model(), &TChartModel::Changed, [&] {
            if (during.isNull()) {
                during = form.StatusBar1->SimpleText();
                cursorDuring = QGuiApplication::overrideCursor()
                    && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            }
        });
        dialogs->openAnswers << path;
        form.OpenBtn->click();
        QObject::disconnect(watch);
        QCOMPARE(cursorDuring, busy);
        QCOMPARE(during == QStringLiteral("データを処理しています…"), busy);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(messages->shown.size(), badLastLine ? 1 : 0);
        QVERIFY(!messages->cursorWhenShown);
        QCOMPARE(form.StatusBar1->SimpleText(), badLastLine ? QStringLiteral("before") : kStatusPlain);

        // A re-plot of the same lines shows it too.
        if (!badLastLine) {
            during = QString();
            const QMetaObject::Connection again = QObject::connect(
                &form.Chart1->Model(), &TChartModel::Changed, [&] {
                    if (during.isNull())
                        during = form.StatusBar1->SimpleText();
                });
            form.ToggleSwitch1->click();
            QObject::disconnect(again);
            QCOMPARE(during == QStringLiteral("データを処理しています…"), busy);
            QCOMPARE(form.StatusBar1->SimpleText(), kStatusPlain);
            QVERIFY(!QGuiApplication::overrideCursor());
        }
    }

    void drops()
    {
        Window w;
        const QString first = w.Write("1,2\n2,4\n3,6\n", QStringLiteral("first.csv"));
        const QString second = w.Write("1,1\n2,1\n", QStringLiteral("second.csv"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
        DropAndLoad(w.form.get(), &data);
        QCOMPARE(w.form->Series1->Count(), 3);
        QCOMPARE(w.Subtitle(), QStringList{QStringLiteral("回帰直線 Y =2.000X + 0.000   相関係数= 1.000")});

        // A long path is opened whole.
        QString deep = w.dir.path();
        while (deep.size() < 300)
            deep += QStringLiteral("/folder_with_a_long_name");
        QVERIFY(QDir().mkpath(deep));
        QFile::copy(first, deep + QStringLiteral("/t.csv"));
        w.form->WMDropFiles({deep + QStringLiteral("/t.csv")});
        QCOMPARE(w.messages->shown.size(), 0);

        // A folder cannot be read as a table.
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(w.dir.path())});
        DropAndLoad(w.form.get(), &folder);
        QCOMPARE(w.messages->shown.size(), 1);
        QCOMPARE(w.messages->shown[0].caption, ApplicationTitle());
        QCOMPARE(w.probe.DataList().Count(), 0);
    }

    void paste()
    {
        Window w;
        w.clipboard->text = QStringLiteral("x\ty\r\n1\t3\r\n2\t5\r4\t9\n");
        w.form->PasteBtn->click();
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(w.form->Series1->Count(), 3);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("x"));

        w.probe.xmag() = 7;
        w.clipboard->busy = true;
        w.form->PasteBtn->click();
        QCOMPARE(w.messages->shown.size(), 1);
        QCOMPARE(w.messages->shown[0].caption, ApplicationTitle());
        QCOMPARE(w.probe.DataList().Count(), 0);
        QCOMPARE(w.probe.xmag(), 7.0);

        w.clipboard->busy = false;
        w.clipboard->text.clear();
        w.form->PasteBtn->click(); // no text: nothing to plot, nothing shown
        QCOMPARE(w.messages->shown.size(), 1);
    }

    // Tables near the limits of a double: the chart draws in bounded time,
    // keeps its plot area, labels each axis with distinct ascending values
    // that lie on the axis, and shows the points inside the plot area.
    void extremeTablesDraw_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("Y steps beyond 2^53")
            << "1,1000000000000000000\n2,1000000000000001024\n3,1000000000000000512\n";
        QTest::newRow("X steps beyond 2^53")
            << "1000000000000000000,1\n1000000000000001024,2\n1000000000000000512,3\n";
        QTest::newRow("one ulp at 1e18") << "1e18,1\n1000000000000000128,2\n";
        QTest::newRow("1e308-sized") << "1e308,1\n1.2e308,2\n1.1e308,3\n";
        QTest::newRow("1e308-sized Y") << "1,1e308\n2,1.2e308\n3,1.1e308\n";
        QTest::newRow("axis wider than a double reaches") << "-7e307,1\n7e307,2\n0,3\n";
        QTest::newRow("the largest double") << "1.7976931348623157e308,1\n1.7976931348623157e308,2\n";
        QTest::newRow("the most negative double")
            << "-1.7976931348623157e308,-1.7976931348623157e308\n-1.7976931348623157e308,-1.7976931348623157e308\n";
        QTest::newRow("denormal X") << "5e-324,1\n1e-323,2\n1.5e-323,3\n";
        QTest::newRow("denormal Y") << "1,5e-324\n2,1e-323\n3,1.5e-323\n";
        QTest::newRow("smallest normals") << "2.2250738585072014e-308,1\n4.450147717014403e-308,2\n";
        QTest::newRow("a span of one ulp") << "1,1\n1.0000000000000002,2\n";
        QTest::newRow("a span of one ulp at 1e300") << "1e300,1\n1.0000000000000002e300,2\n";
        // Fails at the margins, so the axes stay automatic around the points.
        QTest::newRow("automatic axes wider than a double reaches") << "1e308,1\n-1e308,2\n0,3\n";
    }
    void extremeTablesDraw()
    {
        QFETCH(QString, table);
        Window w;
        w.clipboard->text = table;
        w.form->PasteBtn->click(); // plotted, or failed in the regression after plotting
        QVERIFY(w.form->Series1->Count() > 0);
        const QRect rect(0, 0, 749, 527);
        QImage img(rect.size(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            RenderChart(w.chart().Model(), p, rect);
        }
        const ChartLayout L = ComputeChartLayout(w.chart().Model(), rect);
        QVERIFY(std::isfinite(L.xLo) && std::isfinite(L.xHi) && std::isfinite(L.yLo) && std::isfinite(L.yHi));
        QVERIFY2(L.plot.width() > rect.width() / 2 && L.plot.height() > rect.height() / 2,
                 qPrintable(QStringLiteral("plot area %1 x %2").arg(L.plot.width()).arg(L.plot.height())));
        // Positions worked out in long double, whose range is wider than a
        // double's, so even a span beyond the largest double has a width.
        auto checkTicks = [](const AxisTicks& t, double lo, double hi, const char* axis) {
            for (qsizetype i = 0; i < t.values.size(); ++i) {
                const long double at = ((long double)t.values[i] - lo) / ((long double)hi - lo);
                QVERIFY2(at >= -1e-9L && at <= 1 + 1e-9L, qPrintable(QStringLiteral("%1 label %2 off the axis")
                                                                          .arg(QLatin1String(axis), t.texts[i])));
                if (i > 0) {
                    QVERIFY2(t.values[i] > t.values[i - 1], axis);
                    QVERIFY2(t.texts[i] != t.texts[i - 1], qPrintable(t.texts[i]));
                }
            }
        };
        checkTicks(L.xTicks, L.xLo, L.xHi, "bottom");
        checkTicks(L.yTicks, L.yLo, L.yHi, "left");
        // Every point has its marker where the axes put it.
        const TChartSeries& s = *w.form->Series1;
        const auto isMarker = [&](int x, int y) {
            const QColor c = img.pixelColor(x, y);
            return qAbs(c.red() - 68) < 25 && qAbs(c.green() - 102) < 25 && qAbs(c.blue() - 163) < 25;
        };
        for (qsizetype i = 0; i < s.Count(); ++i) {
            const long double fx = ((long double)s.XValue(i) - L.xLo) / ((long double)L.xHi - L.xLo);
            const long double fy = ((long double)s.YValue(i) - L.yLo) / ((long double)L.yHi - L.yLo);
            QVERIFY2(fx >= 0 && fx <= 1 && fy >= 0 && fy <= 1, "a point outside the axes' range");
            const int px = int(std::lround(double(L.plot.left() + fx * L.plot.width())));
            const int py = int(std::lround(double(L.plot.bottom() + 1 - fy * L.plot.height())));
            bool found = false;
            for (int dy = -2; dy <= 2 && !found; ++dy)
                for (int dx = -2; dx <= 2 && !found; ++dx)
                    found = isMarker(px + dx, py + dy);
            QVERIFY2(found, qPrintable(QStringLiteral("no marker at (%1, %2) for point %3").arg(px).arg(py).arg(i)));
        }
    }

    void hugeValuesRaiseInsteadOfInfinity()
    {
        Window w;
        w.Open("1e308,1\n-1e308,2\n0,3\n");
        QCOMPARE(w.ErrorBoxes(), 1);
        QVERIFY(w.Subtitle().isEmpty());
    }

    void calcMagnificationTable_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("tani");
        QTest::addColumn<double>("mag");
        QTest::newRow("1234.5") << 1234.5 << "K" << 0.001;
        QTest::newRow("-1234.5") << -1234.5 << "K" << 0.001;
        QTest::newRow("0") << 0.0 << "" << 1.0;
        QTest::newRow("rounds up to 1000") << 999.9999999999999 << "K" << 0.001;
        QTest::newRow("999.99") << 999.99 << "" << 1.0;
        QTest::newRow("5e15") << 5e15 << "T" << 1e-12;
        QTest::newRow("1e16") << 1e16 << "" << 1.0;
        QTest::newRow("1e-12") << 1e-12 << "p" << 1e12;
        QTest::newRow("9.99e-13") << 9.99e-13 << "" << 1.0;
        QTest::newRow("no number") << -1.0e50 << "" << 1.0;
        QTest::newRow("2.5e-8") << 2.5e-8 << "n" << 999999999.9999999;
    }
    void calcMagnificationTable()
    {
        QFETCH(double, value);
        QFETCH(QString, tani);
        QFETCH(double, mag);
        Window w;
        double m = -7;
        QString t = QStringLiteral("?");
        w.probe.CalcMagnification(m, t, value);
        QCOMPARE(t, tani);
        QCOMPARE_EXACT(m, mag);
    }
};

QTEST_MAIN(TestPlotData)
#include "tst_PlotData.moc"
