// The main window as assistive tools read it (the accessibility tree, walked
// through QAccessible with every side tab selected in turn) and as a user
// drives it from the keyboard alone.

#include "Chart.h"
#include "Controls.h"
#include "FakeServices.h"
#include "FontColorDialog.h"
#include "Unit1.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSplitterHandle>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace {

const QString kTable = QStringLiteral("X1,Y1\n100,101\n101,102\n103,103\n");

// Accessibility events raised while a test runs: what was told, about what.
QList<QPair<QObject*, QAccessible::Event>> g_events;
void RecordEvent(QAccessibleEvent* event) { g_events.append({event->object(), event->type()}); }

struct Window {
    FormFixture f;
    TForm1& form = *f.form;
    Window()
    {
        form.show();
        form.activateWindow();
    }
    bool Active() { return QTest::qWaitForWindowActive(&form); }
    void Paste(const QString& text)
    {
        f.clipboard->text = text;
        form.PasteBtn->click();
        // A load may finish on the event loop.
        QTRY_VERIFY(form.Series1->Count() > 0);
    }
};

QAccessibleInterface* Iface(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

// Roles that mean "the user operates this": each needs a name.
bool IsOperableRole(QAccessible::Role r)
{
    switch (r) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::PageTab:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Link:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

// The role a widget of this kind must have; none for containers and
// decorations whose role the walk does not fix.
std::optional<QAccessible::Role> ExpectedRole(const QObject* o)
{
    if (qobject_cast<const TToggleSwitch*>(o))
        return QAccessible::CheckBox;
    if (o->inherits("TTabButton"))
        return QAccessible::PageTab;
    if (qobject_cast<const QCheckBox*>(o))
        return QAccessible::CheckBox;
    if (qobject_cast<const QRadioButton*>(o))
        return QAccessible::RadioButton;
    if (qobject_cast<const QToolButton*>(o) || qobject_cast<const QPushButton*>(o))
        return QAccessible::PushButton;
    if (qobject_cast<const QAbstractSpinBox*>(o))
        return QAccessible::SpinBox;
    if (qobject_cast<const QComboBox*>(o))
        return QAccessible::ComboBox;
    if (qobject_cast<const QLineEdit*>(o) || qobject_cast<const QPlainTextEdit*>(o))
        return QAccessible::EditableText;
    if (qobject_cast<const TPageControl*>(o))
        return QAccessible::PageTabList;
    if (qobject_cast<const TToolBar*>(o))
        return QAccessible::ToolBar;
    if (qobject_cast<const TStatusBar*>(o))
        return QAccessible::StatusBar;
    if (qobject_cast<const TChart*>(o))
        return QAccessible::Graphic;
    if (qobject_cast<const QScrollBar*>(o))
        return QAccessible::ScrollBar;
    if (qobject_cast<const QSplitterHandle*>(o))
        return QAccessible::Separator;
    if (const auto* frame = qobject_cast<const QFrame*>(o);
        frame && QByteArray(o->metaObject()->className()) == "QFrame")
        return frame->frameShape() == QFrame::VLine || frame->frameShape() == QFrame::HLine ? QAccessible::Separator
                                                                                             : QAccessible::Pane;
    return std::nullopt;
}

QString Describe(QAccessibleInterface* a)
{
    QObject* o = a->object();
    return QStringLiteral("%1 '%2' (role %3)")
        .arg(o ? (o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) : o->objectName())
               : QStringLiteral("virtual child"),
             a->text(QAccessible::Name))
        .arg(int(a->role()));
}

// Walks the tree below `root`, collecting every fault and every object met.
struct TreeWalk {
    QStringList faults;
    QSet<QObject*> met;
    int depthLimit = 40;

    void Walk(QAccessibleInterface* a, bool insideCombo, int depth)
    {
        if (depth > depthLimit) {
            faults << QStringLiteral("tree deeper than %1 at %2").arg(depthLimit).arg(Describe(a));
            return;
        }
        QObject* o = a->object();
        if (o)
            met.insert(o);
        const QAccessible::Role role = a->role();
        if (role == QAccessible::Border)
            faults << Describe(a) + QStringLiteral(": a border, which assistive tools read as a window frame");
        if (role == QAccessible::Window && depth > 0)
            faults << Describe(a) + QStringLiteral(": a window role inside the window");
        if (o && o->isWidgetType()) {
            if (const auto expected = ExpectedRole(o); expected && *expected != role)
                faults << Describe(a) + QStringLiteral(": role should be %1").arg(int(*expected));
        }
        // The inside of a combo box (its list and its text field) is Qt's
        // own and named by the box.
        if (IsOperableRole(role) && !insideCombo && a->text(QAccessible::Name).trimmed().isEmpty())
            faults << Describe(a) + QStringLiteral(": operable but unnamed");
        for (int i = 0; i < a->childCount(); ++i) {
            QAccessibleInterface* c = a->child(i);
            if (!c) {
                faults << Describe(a) + QStringLiteral(": child %1 missing").arg(i);
                continue;
            }
            QAccessibleInterface* back = c->parent();
            if (!back || back->object() != a->object())
                faults << Describe(c) + QStringLiteral(": its parent is not ") + Describe(a);
            else if (a->indexOfChild(c) != i)
                faults << Describe(c) + QStringLiteral(": index %1 reads as %2").arg(i).arg(a->indexOfChild(c));
            Walk(c, insideCombo || role == QAccessible::ComboBox, depth + 1);
        }
    }
};

// Short names for the focus order: an entry field's apply button is the
// field's name with ".apply", a radio button its group's with ".radio".
QString FocusName(QWidget* w)
{
    if (!w)
        return QStringLiteral("(none)");
    if (auto* edit = qobject_cast<TButtonedEdit*>(w->parentWidget()); edit && edit->RightButtonWidget() == w)
        return edit->objectName() + QStringLiteral(".apply");
    if (qobject_cast<QRadioButton*>(w) && w->parentWidget())
        return w->parentWidget()->objectName() + QStringLiteral(".radio");
    return w->objectName();
}

// The focus's road with Tab from the first tool-bar button until it comes
// back there (or `limit` presses).
QStringList TabRoad(TForm1& form, Qt::Key key = Qt::Key_Tab, int limit = 60)
{
    form.OpenBtn->setFocus(Qt::TabFocusReason);
    QStringList road{FocusName(QApplication::focusWidget())};
    for (int i = 0; i < limit; ++i) {
        QTest::keyClick(QApplication::focusWidget(), key);
        if (QApplication::focusWidget() == form.OpenBtn)
            return road;
        road << FocusName(QApplication::focusWidget());
    }
    road << QStringLiteral("(no way back to OpenBtn)");
    return road;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As with a screen reader running: interfaces are made while the
        // controls are being built, and events are raised.
        QAccessible::setActive(true);
        QAccessible::installUpdateHandler(&RecordEvent);
    }
    void init() { g_events.clear(); }

    void wholeTreeTellsTheTruth_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("withTable");
        QTest::newRow("chart tab") << 0 << false;
        QTest::newRow("line tab") << 1 << false;
        QTest::newRow("scale tab") << 2 << false;
        QTest::newRow("usage tab") << 3 << false;
        QTest::newRow("chart tab, table plotted") << 0 << true;
        QTest::newRow("scale tab, manual scale") << 2 << true;
    }
    void wholeTreeTellsTheTruth()
    {
        QFETCH(int, tab);
        QFETCH(bool, withTable);
        Window w;
        if (withTable) {
            w.Paste(kTable);
            w.form.AutoSize->click();
        }
        w.form.PageControl1->SetTabIndex(tab);
        QCoreApplication::processEvents();

        QAccessibleInterface* root = Iface(&w.form);
        QVERIFY(root);
        TreeWalk walk;
        walk.Walk(root, false, 0);
        // Every control the user can reach on screen is in the tree.
        for (QWidget* c : w.form.findChildren<QWidget*>()) {
            // A spin box's text field is read as the spin box itself.
            if (qobject_cast<QLineEdit*>(c) && qobject_cast<QAbstractSpinBox*>(c->parentWidget()))
                continue;
            const bool operable = c->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(c);
            if (operable && c->isVisibleTo(&w.form) && !walk.met.contains(c))
                walk.faults << FocusName(c) + QStringLiteral(" (") + QString::fromLatin1(c->metaObject()->className()) +
                                   QStringLiteral("): shown but not in the tree");
        }
        if (!walk.faults.isEmpty())
            qWarning().noquote() << walk.faults.join(u'\n');
        QVERIFY2(walk.faults.isEmpty(), qPrintable(QStringLiteral("%1 faults").arg(walk.faults.size())));
        // The walk really went through the pages: the selected tab's controls
        // were met, with their names.
        QVERIFY(walk.met.contains(w.form.PageControl1->Page(tab)));
        QVERIFY(walk.met.contains(w.form.OpenBtn));
        QVERIFY(walk.met.contains(w.form.StatusBar1));
    }

    // On Linux a combo box's name is its current entry (Qt's choice); what
    // it is for comes from the label that names it.
    void zoomListIsLabelled()
    {
        Window w;
        QAccessibleInterface* zoom = Iface(w.form.ScaleComboBox);
        QCOMPARE(zoom->role(), QAccessible::ComboBox);
        bool labelled = false;
        for (const auto& [other, relation] : zoom->relations(QAccessible::Label))
            labelled = labelled
                || (other->object() == w.form.Label3 && other->text(QAccessible::Name) == QStringLiteral("拡大縮小"));
        QVERIFY(labelled);
    }

    void windowsAreNamedFramesOrDialogs()
    {
        Window w;
        QAccessibleInterface* a = Iface(&w.form);
        QCOMPARE(a->role(), QAccessible::Window);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Plotmere"));
        // The application lists the window among its top levels.
        QAccessibleInterface* app = Iface(qApp);
        QVERIFY(app);
        bool listed = false;
        for (int i = 0; i < app->childCount(); ++i)
            listed = listed || (app->child(i) && app->child(i)->object() == &w.form);
        QVERIFY(listed);
        QCOMPARE(a->parent() ? a->parent()->object() : nullptr, qApp);

        // Our own dialog is a dialog named by its title.
        TFontColorDialog dialog(&w.form);
        QAccessibleInterface* d = Iface(&dialog);
        QCOMPARE(d->role(), QAccessible::Dialog);
        QVERIFY(!dialog.windowTitle().isEmpty());
        QCOMPARE(d->text(QAccessible::Name), dialog.windowTitle());
    }

    void sideTabsAreAPageTabList_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::newRow("chart") << 0 << QStringLiteral("チャート");
        QTest::newRow("line") << 1 << QStringLiteral("ライン");
        QTest::newRow("scale") << 2 << QStringLiteral("スケール");
        QTest::newRow("usage") << 3 << QStringLiteral("フォーム・使用例");
    }
    void sideTabsAreAPageTabList()
    {
        QFETCH(int, index);
        QFETCH(QString, caption);
        Window w;
        TPageControl* pages = w.form.PageControl1;
        QAccessibleInterface* list = Iface(pages);
        QCOMPARE(list->role(), QAccessible::PageTabList);
        QCOMPARE(list->childCount(), 4);

        QAccessibleInterface* tab = list->child(index);
        QVERIFY(tab);
        QCOMPARE(tab->role(), QAccessible::PageTab);
        QCOMPARE(tab->text(QAccessible::Name), caption);
        QVERIFY(tab->state().selectable);
        QCOMPARE(bool(tab->state().selected), index == 0);
        QVERIFY(!tab->state().checkable);

        // The tab holds its page: a pane named by the caption.
        QCOMPARE(tab->childCount(), 1);
        QAccessibleInterface* page = tab->child(0);
        QCOMPARE(page->object(), pages->Page(index));
        QCOMPARE(page->role(), QAccessible::Pane);
        QCOMPARE(page->text(QAccessible::Name), caption);
        QCOMPARE(page->parent()->object(), tab->object());

        // Pressing the tab through its action selects it as a click does,
        // and tells assistive tools which tabs changed.
        QSignalSpy changed(pages, &TPageControl::TabChanged);
        QAccessibleActionInterface* act = tab->actionInterface();
        QVERIFY(act);
        QVERIFY(act->actionNames().contains(QAccessibleActionInterface::pressAction()));
        act->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(pages->TabIndex(), index);
        QVERIFY(tab->state().selected);
        QCOMPARE(changed.size(), 1);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(bool(list->child(i)->state().selected), i == index);
    }

    // Events reach assistive tools only where the platform has them on (not
    // offscreen); tools/atspi-check.sh runs these on a real bus.
    void changesAreTold()
    {
        if (!QAccessible::isActive())
            QSKIP("accessibility is not active on this platform (tools/atspi-check.sh runs this on AT-SPI)");
        Window w;
        TPageControl* pages = w.form.PageControl1;
        g_events.clear();
        pages->SetTabIndex(2);
        auto told = [](QObject* o, QAccessible::Event e) {
            for (const auto& [object, type] : g_events)
                if (object == o && type == e)
                    return true;
            return false;
        };
        QVERIFY(told(pages->Tab(2), QAccessible::StateChanged));
        QVERIFY(told(pages->Tab(0), QAccessible::StateChanged));
        g_events.clear();
        w.Paste(kTable);
        QVERIFY(told(w.form.StatusBar1, QAccessible::NameChanged));
    }

    void toolBarReadsAsOne()
    {
        Window w;
        QAccessibleInterface* bar = Iface(w.form.ToolBar1);
        QCOMPARE(bar->role(), QAccessible::ToolBar);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("ツールバー"));
        QStringList seen;
        for (int i = 0; i < bar->childCount(); ++i) {
            QAccessibleInterface* c = bar->child(i);
            seen << (c->role() == QAccessible::Separator ? QStringLiteral("|") : c->text(QAccessible::Name));
            if (c->role() != QAccessible::Separator)
                QCOMPARE(c->role(), QAccessible::PushButton);
        }
        QCOMPARE(seen, (QStringList{QStringLiteral("データを開く"), QStringLiteral("データー貼り付け"), QStringLiteral("|"),
                                    QStringLiteral("グラフをEMFでコピー"), QStringLiteral("グラフをEMFで保存"),
                                    QStringLiteral("|"), QStringLiteral("グラフをBMPでコピー"),
                                    QStringLiteral("グラフをBMPで保存")}));
        QCOMPARE(Iface(w.form.ToolButton1)->role(), QAccessible::Separator);
        QCOMPARE(Iface(w.form.ToolButton2)->role(), QAccessible::Separator);
    }

    void statusBarReadsAsItsText()
    {
        Window w;
        QAccessibleInterface* bar = Iface(w.form.StatusBar1);
        QCOMPARE(bar->role(), QAccessible::StatusBar);
        QCOMPARE(bar->childCount(), 0);
        QCOMPARE(bar->text(QAccessible::Name), QString());

        w.Paste(kTable);
        const QString text = w.form.StatusBar1->SimpleText();
        QVERIFY(!text.isEmpty());
        QCOMPARE(bar->text(QAccessible::Name), text);
        QCOMPARE(bar->text(QAccessible::Value), text);
        QAccessibleTextInterface* t = bar->textInterface();
        QVERIFY(t);
        QCOMPARE(t->characterCount(), int(text.size()));
        QCOMPARE(t->text(0, t->characterCount()), text);
        QCOMPARE(t->text(2, 5), text.mid(2, 3));
        QCOMPARE(t->text(-3, 10000), text);
        QCOMPARE(t->selectionCount(), 0);
    }

    void chartIsAPicture()
    {
        Window w;
        QAccessibleInterface* a = Iface(w.form.Chart1);
        QCOMPARE(a->role(), QAccessible::Graphic);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Plotmere Graph"));
        w.Paste(kTable);
        const QString description = a->text(QAccessible::Description);
        QVERIFY2(description.contains(QStringLiteral("相関係数")), qPrintable(description));
        QVERIFY(description.contains(QStringLiteral("X1")));
        QVERIFY(description.contains(QStringLiteral("Y1")));
        QAccessibleImageInterface* image = a->imageInterface();
        QVERIFY(image);
        QCOMPARE(image->imageDescription(), description);
        QCOMPARE(image->imageSize(), w.form.Chart1->size());
        // Without a title the picture still says what it is.
        w.form.Chart1->Title().Text().Clear();
        QVERIFY(!a->text(QAccessible::Name).isEmpty());
    }

    // --- keyboard ------------------------------------------------------------

    void tabOrderFollowsEachTab_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("manualScale");
        QTest::addColumn<QStringList>("road");
        // The chart is a stop of its own, so the keyboard reaches its menu.
        const QStringList start{QStringLiteral("OpenBtn"), QStringLiteral("Chart1")};
        QTest::newRow("chart") << 0 << false
                               << start + QStringList{"TabSheet1Tab",  "TitleEditBtn",     "TitleEditBtn.apply",
                                                      "TitleFontBtn",  "SuBTitleFontBtn",  "ChartTitleAlignment.radio",
                                                      "XAxisEdit",     "XAxisEdit.apply",  "YAxisEdit",
                                                      "YAxisEdit.apply", "AxisFont",       "ChartColorBtn",
                                                      "WallColorBtn",  "WallPictureBtn",   "BorderCheck",
                                                      "ChartShadow"};
        QTest::newRow("line") << 1 << false
                              << start + QStringList{"TabSheet2Tab", "SeriesColorBtn", "SeriesSize",
                                                     "SeriesStyle.radio", "LineVisibleCheck", "MarkerColorBtn",
                                                     "MarkerSize", "MarkerStyle.radio", "ToggleSwitch1"};
        QTest::newRow("scale, automatic") << 2 << false << start + QStringList{"TabSheet3Tab", "AutoSize"};
        QTest::newRow("scale, manual")
            << 2 << true
            << start + QStringList{"TabSheet3Tab",    "AutoSize",        "XMaxValue",       "XMaxValue.apply",
                                   "XMinValue",       "XMinValue.apply", "XIncValue",       "XIncValue.apply",
                                   "XmagValue",       "XmagValue.apply", "YMaxValue",       "YMaxValue.apply",
                                   "YMinValue",       "YMinValue.apply", "YIncValue",       "YIncValue.apply",
                                   "YmagValue",       "YmagValue.apply"};
        // The zoom list comes before the style list.
        QTest::newRow("usage") << 3 << false
                               << start + QStringList{"TabSheet5Tab", "ScaleComboBox", "StyleSelecter", "Memo2"};
    }
    void tabOrderFollowsEachTab()
    {
        QFETCH(int, tab);
        QFETCH(bool, manualScale);
        QFETCH(QStringList, road);
        Window w;
        QVERIFY(w.Active());
        if (manualScale)
            w.form.AutoSize->click();
        w.form.PageControl1->SetTabIndex(tab);
        QCOMPARE(TabRoad(w.form), road);
        // Shift+Tab goes the same road backwards.
        QStringList back = TabRoad(w.form, Qt::Key_Backtab);
        std::reverse(back.begin() + 1, back.end());
        QCOMPARE(back, road);
    }

    void toolBarArrowKeys()
    {
        Window w;
        QVERIFY(w.Active());
        TForm1& f = w.form;
        f.OpenBtn->setFocus(Qt::TabFocusReason);
        auto press = [&](Qt::Key key) {
            QTest::keyClick(QApplication::focusWidget(), key);
            return FocusName(QApplication::focusWidget());
        };
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("PasteBtn"));
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("CopyEMFBtn")); // over the separator
        QCOMPARE(press(Qt::Key_End), QStringLiteral("SaveBmpBtn"));
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("OpenBtn")); // round to the first
        QCOMPARE(press(Qt::Key_Left), QStringLiteral("SaveBmpBtn"));
        QCOMPARE(press(Qt::Key_Home), QStringLiteral("OpenBtn"));
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("PasteBtn"));
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("CopyEMFBtn"));
        // The bar is one stop: Tab leaves it, Shift+Tab comes back to the
        // button used last.
        QCOMPARE(press(Qt::Key_Tab), QStringLiteral("Chart1"));
        QCOMPARE(press(Qt::Key_Backtab), QStringLiteral("CopyEMFBtn"));
        int stops = 0;
        for (QToolButton* b : {f.OpenBtn, f.PasteBtn, f.CopyEMFBtn, f.SaveEMFBtn, f.CopyBmpBtn, f.SaveBmpBtn})
            stops += b->focusPolicy() != Qt::NoFocus;
        QCOMPARE(stops, 1);
        // A disabled button is passed over.
        f.SaveEMFBtn->setEnabled(false);
        QCOMPARE(press(Qt::Key_Right), QStringLiteral("CopyBmpBtn"));
    }

    void toolBarKeysPress_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }
    void toolBarKeysPress()
    {
        QFETCH(int, key);
        Window w;
        QVERIFY(w.Active());
        w.f.clipboard->text = kTable;
        w.form.OpenBtn->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w.form.OpenBtn, Qt::Key(key));
        QCOMPARE(w.f.dialogs->openCalls, 1);
        QTest::keyClick(w.form.OpenBtn, Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), w.form.PasteBtn);
        QTest::keyClick(w.form.PasteBtn, Qt::Key(key));
        QTRY_COMPARE(w.form.Series1->Count(), 3);
        QCOMPARE(w.f.dialogs->openCalls, 1);
    }

    void sideTabKeys()
    {
        Window w;
        QVERIFY(w.Active());
        TPageControl* pages = w.form.PageControl1;
        QSignalSpy changed(pages, &TPageControl::TabChanged);
        pages->Tab(0)->setFocus(Qt::TabFocusReason);
        auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), key, mods);
            return pages->TabIndex();
        };
        QCOMPARE(press(Qt::Key_Right), 1);
        QCOMPARE(QApplication::focusWidget(), pages->Tab(1));
        QVERIFY(pages->Page(1)->isVisible());
        QCOMPARE(press(Qt::Key_End), 3);
        QCOMPARE(press(Qt::Key_Right), 0); // round to the first
        QCOMPARE(press(Qt::Key_Left), 3);
        QCOMPARE(press(Qt::Key_Home), 0);
        QCOMPARE(changed.size(), 5);
        QCOMPARE(changed.last().at(0).toInt(), 0);
        // Ctrl+Tab from a control on the page selects the next tab, with
        // Shift the one before.
        w.form.TitleFontBtn->setFocus(Qt::TabFocusReason);
        QCOMPARE(press(Qt::Key_Tab, Qt::ControlModifier), 1);
        QCOMPARE(press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier), 0);
        QCOMPARE(changed.size(), 7);
    }

    void applyButtonFromTheKeyboard()
    {
        Window w;
        QVERIFY(w.Active());
        TButtonedEdit* edit = w.form.TitleEditBtn;
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, QStringLiteral("Spring"));
        QTest::keyClick(edit, Qt::Key_Return); // applies nothing
        QCOMPARE(w.form.Chart1->Title().Text().Lines(), QStringList{QStringLiteral("Plotmere Graph")});
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), edit->RightButtonWidget());
        QCOMPARE(Iface(edit->RightButtonWidget())->role(), QAccessible::PushButton);
        QTest::keyClick(edit->RightButtonWidget(), Qt::Key_Space);
        QCOMPARE(w.form.Chart1->Title().Text().Lines(), QStringList{QStringLiteral("Spring")});
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_Accessibility.moc"
