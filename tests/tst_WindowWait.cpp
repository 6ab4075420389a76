// Loading and plotting a big table on worker threads: the window gives the
// same results as when the steps run in place, keeps handling its own events
// meanwhile, drops the user's input, and closes only after the job.

#include "Chart.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "FakeServices.h"
#include "FormProbe.h"
#include "NumberFormat.h"
#include "WindowWait.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {

// Everything of the window that a load or a plot may change.
struct Outcome {
    QStringList messages;
    QString status, bottomTitle, leftTitle, xname, yname;
    QStringList subtitle;
    bool bottomAuto = false, leftAuto = false;
    double bottomMin = 0, bottomMax = 0, leftMin = 0, leftMax = 0;
    qsizetype lines = 0, points = 0, linePoints = 0;
    QList<double> xdata, ydata;
    bool operator==(const Outcome&) const = default;
};

Outcome Observe(TForm1& form, const FakeMessages& messages)
{
    TForm1Probe probe(form);
    TChart& chart = *form.Chart1;
    Outcome o;
    for (const ShownMessage& m : messages.shown)
        o.messages << m.caption + QLatin1Char('|') + m.text;
    o.status = form.StatusBar1->SimpleText();
    o.bottomTitle = chart.BottomAxis().Title().Caption();
    o.leftTitle = chart.LeftAxis().Title().Caption();
    o.xname = probe.xname();
    o.yname = probe.yname();
    o.subtitle = chart.SubTitle().Text().Lines();
    o.bottomAuto = chart.BottomAxis().Automatic();
    o.leftAuto = chart.LeftAxis().Automatic();
    o.bottomMin = chart.BottomAxis().Minimum();
    o.bottomMax = chart.BottomAxis().Maximum();
    o.leftMin = chart.LeftAxis().Minimum();
    o.leftMax = chart.LeftAxis().Maximum();
    o.lines = probe.DataList().Count();
    o.points = form.Series1->Count();
    o.linePoints = form.Series2->Count();
    o.xdata = probe.xdata();
    o.ydata = probe.ydata();
    return o;
}

QByteArray Rows(int n, const char* last = "")
{
    QByteArray text = "time,level\n";
    for (int i = 0; i < n; ++i)
        text += QByteArray::number(i * 0.25) + ',' + QByteArray::number((i * 37) % 101) + '\n';
    return text + last;
}

// Every load and plot on worker threads while in scope, or none.
struct LongWorkFrom {
    explicit LongWorkFrom(qint64 size) { unit1data_detail::SetLongWorkSizes(size, qsizetype(size)); }
    ~LongWorkFrom() { unit1data_detail::SetLongWorkSizes(qint64(32) << 20, 1500000); }
};
constexpr qint64 kNever = qint64(1) << 60;

struct Window : FormFixture {
    QString Write(const QByteArray& bytes, const QString& name)
    {
        const QString path = sandbox.dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the test table");
        return path;
    }
};

} // namespace

class TestWindowWait : public QObject {
    Q_OBJECT
private slots:
    void init() { NumberFormat::SetCurrent(NumberFormat{u'.', u','}); }
    void cleanup() { windowwait_detail::SetStepHook({}); }

    // Each row loads a table in place and on worker threads, then flips the
    // swap switch (a re-plot that rewrites the columns in place): every
    // result the window shows is the same either way.
    void threadedGivesTheSameResults_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("paste");
        QTest::newRow("header and data rows") << Rows(3000) << false;
        QTest::newRow("pasted") << Rows(3000) << true;
        QTest::newRow("a line of one field fails the scan") << Rows(3000, "7\n") << false;
        QTest::newRow("no data row") << QByteArray("a,b\n1,2,3\nx,y\n") << false;
        QTest::newRow("all X equal fails the fit") << QByteArray("x,y\n1,2\n1,3\n1,4\n") << false;
        QTest::newRow("a scaled value beyond a double") << QByteArray("x,y\n1e308,1\n2,2\n-1e308,3\n") << false;
    }
    void threadedGivesTheSameResults()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, paste);
        QList<Outcome> seen;
        for (const qint64 from : {kNever, qint64(0)}) {
            const LongWorkFrom sizes(from);
            Window w;
            if (paste) {
                w.clipboard->text = QString::fromUtf8(table);
                w.form->PasteBtn->click();
            } else {
                w.dialogs->openAnswers << w.Write(table, QStringLiteral("t.csv"));
                w.form->OpenBtn->click();
            }
            const Outcome loaded = Observe(*w.form, *w.messages);
            w.form->ToggleSwitch1->click();
            seen << loaded << Observe(*w.form, *w.messages);
            QVERIFY(!QGuiApplication::overrideCursor());
        }
        QCOMPARE(seen[0].messages, seen[2].messages);
        QVERIFY(seen[0] == seen[2]);
        QVERIFY(seen[1] == seen[3]);
    }

    // While a step runs the window handles its own events (here a timer),
    // shows that it is busy, and drops a click, a key and a drop; a request
    // to close it waits until the load and plot are over.
    void inputWaitsAndCloseFollows()
    {
        const LongWorkFrom sizes(0);
        Window w;
        w.form->show();
        const QString table = w.Write(Rows(2000), QStringLiteral("table.csv"));
        const QString other = w.Write("a,b\n5,1\n6,2\n7,4\n", QStringLiteral("other.csv"));
        w.clipboard->text = QStringLiteral("p,q\n1,1\n2,2\n3,3\n");

        QSemaphore release;
        bool first = true;
        windowwait_detail::SetStepHook([&] {
            if (std::exchange(first, false))
                release.acquire();
        });
        bool ranDuringWait = false, busyShown = false, closedDuringWait = true;
        QTimer::singleShot(0, w.form.get(), [&] {
            ranDuringWait = true;
            busyShown = QGuiApplication::overrideCursor() && w.form->StatusBar1->SimpleText().endsWith(u'…');
            QTest::mouseClick(w.form->PasteBtn, Qt::LeftButton);
            QTest::keyClick(w.form->Chart1, Qt::Key_V, Qt::ControlModifier);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(other)});
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w.form->Chart1, &enter);
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w.form->Chart1, &drop);
            closedDuringWait = w.form->close();
            release.release();
        });
        w.dialogs->openAnswers << table;
        w.form->OpenBtn->click();

        QVERIFY(ranDuringWait);
        QVERIFY(busyShown);
        QVERIFY(!closedDuringWait);
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.messages->shown.size(), 0);
        QCOMPARE(TForm1Probe(*w.form).xname(), QStringLiteral("time"));
        QCOMPARE(w.form->Series1->Count(), 2000);
        // The close comes as the next event; the click, the key and the drop
        // never come.
        QCoreApplication::processEvents();
        QTRY_VERIFY(!w.form->isVisible());
        QCOMPARE(TForm1Probe(*w.form).xname(), QStringLiteral("time"));
        QCOMPARE(w.dialogs->openCalls, 1);
    }

    // A close asked for during a re-plot that fails waits until the error
    // box, shown after the handler has ended, is answered.
    void closeWaitsForTheErrorBox()
    {
        const LongWorkFrom sizes(0);
        Window w;
        w.form->show();
        w.dialogs->openAnswers << w.Write(Rows(200), QStringLiteral("table.csv"));
        w.form->OpenBtn->click();
        w.form->AutoSize->click();
        w.form->XmagValue->SetText(QStringLiteral("1e308"));

        // Shows a modal box that, like a message box, runs events until
        // it is answered.
        struct ModalMessages : IMessageReporter {
            QWidget* window = nullptr;
            bool windowStayed = false;
            void ShowMessage(QWidget* owner, const QString&, const QString&, MessageIcon) override
            {
                QDialog box(owner);
                box.setModal(true);
                box.show();
                QTest::qWait(150);
                windowStayed = window->isVisible();
            }
        } messages;
        messages.window = w.form.get();

        QSemaphore release;
        windowwait_detail::SetStepHook([&] { release.acquire(); });
        QTimer::singleShot(0, w.form.get(), [&] {
            w.form->close();
            release.release(3);
        });
        RunReportingErrors(messages, w.form.get(), [&] { w.form->XmagValueButtonClick(w.form->XmagValue); });

        QVERIFY(messages.windowStayed);
        QTRY_VERIFY(!w.form->isVisible());
    }
};

QTEST_MAIN(TestWindowWait)
#include "tst_WindowWait.moc"
