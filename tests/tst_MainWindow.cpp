// The main window as a user meets it: layout, tool bar, tabs, status bar,
// drops, and the default error reporting.

#include "Chart.h"
#include "CommandLine.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "FakeServices.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMap>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

// What a control shows as its text.
QString Shown(const QWidget* control)
{
    if (auto* spin = qobject_cast<const TSpinEdit*>(control))
        return spin->Text();
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* list = qobject_cast<const QComboBox*>(control))
        return list->currentText();
    if (auto* memo = qobject_cast<const QPlainTextEdit*>(control))
        return memo->toPlainText();
    return QString();
}

// A file dragged from the file manager, which offers it as a file and as its
// path in text, dropped at `at` (window coordinates) onto the widget the
// platform hands drags to there: the one under the pointer that takes drops,
// else its nearest ancestor that does.
void DropFileAt(TForm1& w, const QPoint& at, const QString& path)
{
    QWidget* target = w.childAt(at);
    while (target && !target->acceptDrops())
        target = target->parentWidget();
    QVERIFY(target);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path);
    const QPoint local = target->mapFrom(&w, at);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDragMoveEvent move(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QVERIFY(move.isAccepted());
    QDropEvent drop(QPointF(local), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

const QByteArray kTable = "X1,Y1\n100,101\n101,102\n103,103\n";

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startLayout()
    {
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Plotmere"));
        QCOMPARE(w.size(), QSize(936, 593));
        QCOMPARE(w.pos(), QPoint(0, 0));
        QCOMPARE(w.ToolBar1->geometry(), QRect(0, 0, 936, 47));
        QCOMPARE(w.StatusBar1->geometry(), QRect(0, 574, 936, 19));
        QCOMPARE(w.Chart1->mapTo(&w, QPoint(0, 0)), QPoint(0, 47));
        QCOMPARE(w.Chart1->size(), QSize(749, 527));
        QCOMPARE(w.PageControl1->mapTo(&w, QPoint(0, 0)), QPoint(752, 47));
        QCOMPARE(w.PageControl1->size(), QSize(184, 527));
        QCOMPARE(w.Splitter1->handleWidth(), 3);
        QVERIFY(w.StatusBar1->SimpleText().isEmpty());
        QCOMPARE(w.PageControl1->TabIndex(), 0);
        QVERIFY2(w.PageControl1->TabRows() >= 2, "tab captions should wrap in 184 pixels");
        QVERIFY(w.AutoSize->isChecked());
        QCOMPARE(w.ToggleSwitch1->State(), tssOff);
        QVERIFY(w.acceptDrops());
    }

    void pagesInOrder()
    {
        FormFixture f;
        const QStringList names{"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet5"};
        const QStringList captions{"チャート", "ライン", "スケール", "フォーム・使用例"};
        QCOMPARE(f.form->PageControl1->PageCount(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(f.form->PageControl1->Page(i)->objectName(), names[i]);
            QCOMPARE(f.form->PageControl1->TabCaption(i), captions[i]);
            QVERIFY(f.form->findChild<QWidget*>(names[i]));
        }
    }

    void selectedTabRowSitsOnThePage_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("チャート") << 0;
        QTest::newRow("ライン") << 1;
        QTest::newRow("スケール") << 2;
        QTest::newRow("フォーム・使用例") << 3;
    }
    void selectedTabRowSitsOnThePage()
    {
        QFETCH(int, index);
        FormFixture f;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        TPageControl& pc = *f.form->PageControl1;
        const QStringList names{"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet5"};
        pc.SetTabIndex(index);
        QCOMPARE(pc.TabIndex(), index);
        QVERIFY(pc.Page(index)->isVisibleTo(&pc));
        // The page's scroll area fills the frame the pages are shown in.
        const QWidget* page = pc.PageScroller(index)->parentWidget();
        QList<const QWidget*> tabs;
        for (const QString& n : names)
            tabs << pc.findChild<QWidget*>(n + QStringLiteral("Tab"));
        // The selected tab touches the page; the rows fill the width and no
        // caption is cut.
        QCOMPARE(tabs[index]->geometry().bottom() + 1, page->geometry().top());
        QMap<int, int> rowRight;
        for (const QWidget* t : tabs) {
            QVERIFY(t->width() >= t->sizeHint().width());
            rowRight[t->y()] = std::max(rowRight.value(t->y()), t->geometry().right() + 1);
        }
        QCOMPARE(rowRight.size(), pc.TabRows());
        for (int right : rowRight)
            QCOMPARE(right, pc.width());
    }

    void toolBarButtons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("hint");
        QTest::newRow("open") << "OpenBtn" << 0 << "データを開く";
        QTest::newRow("paste") << "PasteBtn" << 34 << "データー貼り付け";
        QTest::newRow("copy emf") << "CopyEMFBtn" << 76 << "グラフをEMFでコピー";
        QTest::newRow("save emf") << "SaveEMFBtn" << 110 << "グラフをEMFで保存";
        QTest::newRow("copy bmp") << "CopyBmpBtn" << 152 << "グラフをBMPでコピー";
        QTest::newRow("save bmp") << "SaveBmpBtn" << 186 << "グラフをBMPで保存";
    }
    void toolBarButtons()
    {
        QFETCH(QString, name);
        QFETCH(int, x);
        QFETCH(QString, hint);
        FormFixture f;
        auto* b = f.form->findChild<QToolButton*>(name);
        QVERIFY(b);
        QCOMPARE(b->geometry(), QRect(x, 0, 34, 35));
        QCOMPARE(b->toolTip(), hint);
        QCOMPARE(b->accessibleName(), hint);
        QVERIFY(!b->icon().isNull());
    }

    void separatorsAndNonVisualComponents()
    {
        FormFixture f;
        QCOMPARE(f.form->ToolButton1->geometry().left(), 68);
        QCOMPARE(f.form->ToolButton1->geometry().width(), 8);
        QCOMPARE(f.form->ToolButton2->geometry().left(), 144);
        for (const char* name : {"FileOpenDialog1", "SavePictureDialog1", "OpenPictureDialog1", "FontDialog1",
                                 "ColorDialog1", "ImageList1"})
            QVERIFY2(f.form->findChild<QObject*>(QString::fromLatin1(name)), name);
        QCOMPARE(f.form->ImageList1->Count(), 1);
        QCOMPARE(f.form->ImageList1->Image(0).deviceIndependentSize(), QSizeF(16, 16));
    }

    void widthChangesGoToTheChart()
    {
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(1236, 593);
        QTRY_COMPARE(w.Chart1->width(), 1049);
        QCOMPARE(w.PageControl1->width(), 184);
        // Dragging the splitter moves width between the two.
        w.Splitter1->setSizes({949, 284});
        QCOMPARE(w.PageControl1->width(), 284);
        QCOMPARE(w.Chart1->width(), 949);
    }

    void applicationTitleAndFullStop_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << "/usr/bin/plotmere" << "plotmere";
        QTest::newRow("upper case rest") << "/opt/PlotMere.Bin.exe" << "Plotmere";
        QTest::newRow("leading dot") << "/x/.hidden" << "";
    }
    void applicationTitleAndFullStop()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(ApplicationTitle(path), title);
    }

    void fullStopRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "abc" << "abc.";
        QTest::newRow("already a full stop") << "abc." << "abc.";
        QTest::newRow("ideographic full stop") << "できません。" << "できません。.";
        QTest::newRow("comma is below the full stop") << "a," << "a,";
        QTest::newRow("space is below the full stop") << "a " << "a ";
        QTest::newRow("empty") << "" << "";
    }
    void fullStopRule()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(WithFullStop(message), shown);
    }

    void uncaughtErrorsShowTheErrorBoxAndCarryOn()
    {
        FakeMessages messages;
        bool after = false;
        RunReportingErrors(messages, nullptr, [] { throw AxisException(QStringLiteral("Axis increment must be >= 0")); });
        RunReportingErrors(messages, nullptr, [&] { after = true; });
        QVERIFY(after);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, QStringLiteral("Axis increment must be >= 0."));
        QCOMPARE(messages.shown[0].caption, ApplicationTitle());
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
    }

    // A file dropped on any control is loaded; none takes its path as text.
    void fileDroppedAnywhereIsLoaded_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("tab");
        QTest::newRow("chart") << "Chart1" << 0;
        QTest::newRow("title entry field") << "TitleEditBtn" << 0;
        QTest::newRow("axis name entry field") << "XAxisEdit" << 0;
        QTest::newRow("line width spin field") << "SeriesSize" << 1;
        QTest::newRow("marker size spin field") << "MarkerSize" << 1;
        QTest::newRow("disabled scale entry field") << "XMaxValue" << 2;
        QTest::newRow("style list") << "StyleSelecter" << 3;
        QTest::newRow("zoom list") << "ScaleComboBox" << 3;
        QTest::newRow("usage notes") << "Memo2" << 3;
        QTest::newRow("status bar") << "StatusBar1" << 0;
    }
    void fileDroppedAnywhereIsLoaded()
    {
        QFETCH(QString, control);
        QFETCH(int, tab);
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.PageControl1->SetTabIndex(tab);
        QWidget* c = w.findChild<QWidget*>(control);
        QVERIFY(c && c->isVisible());
        const QString before = Shown(c);
        const QString path = f.sandbox.dir.filePath("t.csv");
        testfiles::WriteBytes(path, kTable);
        DropFileAt(w, c->mapTo(&w, c->rect().center()), path);
        QTRY_COMPARE(w.Series1->Count(), 3);
        QCOMPARE(Shown(c), before);
        QVERIFY(f.messages->shown.isEmpty());
    }

    // A load queued while the window was open (a drop, a table named at
    // start) and run after it closed finds the table list freed: it does
    // nothing (the sanitizer build reports a use of freed data).
    void queuedLoadAfterCloseDoesNothing_data()
    {
        QTest::addColumn<bool>("dropped"); // else named at start
        QTest::newRow("dropped file") << true;
        QTest::newRow("table named at start") << false;
    }
    void queuedLoadAfterCloseDoesNothing()
    {
        QFETCH(bool, dropped);
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString path = f.sandbox.dir.filePath("t.csv");
        testfiles::WriteBytes(path, kTable);
        if (dropped)
            DropFileAt(w, w.Chart1->mapTo(&w, w.Chart1->rect().center()), path);
        else
            LoadTableAtStart(w, path);
        QCOMPARE(w.Series1->Count(), 0); // not loaded yet
        QVERIFY(w.close());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(w.Series1->Count(), 0);
        QVERIFY(f.messages->shown.isEmpty());
    }

    void chartAccessibleName()
    {
        FormFixture f;
        QCOMPARE(f.form->Chart1->accessibleName(), QStringLiteral("Plotmere Graph"));
        QCOMPARE(f.form->Chart1->accessibleDescription(), QStringLiteral("Sub Title"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
