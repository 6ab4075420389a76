// The usage tab through the real main window: its controls and notes, the
// style list and the styles themselves, and the zoom.

#include "Chart.h"
#include "ComboBox.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "FakeServices.h"
#include "StyleManager.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <climits>
#include <cmath>

namespace {

TComboBox* List(QComboBox* box)
{
    return static_cast<TComboBox*>(box);
}

QStringList Entries(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// What the user does to a list: step to the next entry with the arrow key,
// or type into its text field.
void StepDown(QComboBox* box)
{
    QTest::keyClick(box, Qt::Key_Down);
}

void Type(QComboBox* box, const QString& text)
{
    QTest::keyClicks(box->lineEdit(), text);
}

// Picks an entry from the opened list, as the user does with the mouse.
void PickFromList(QComboBox* box, int index)
{
    box->showPopup();
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

// Steps to an entry as the user does from the keyboard, entry by entry.
void Pick(QComboBox* box, int index)
{
    for (int guard = 0; box->currentIndex() != index && guard < 10; ++guard)
        QTest::keyClick(box, box->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(box->currentIndex(), index);
}

// Every control of the window with its font, and its geometry when it is a
// component of the window (a named one), to compare the whole window before
// and after a zoom. The insides of Qt's own composite controls are laid out
// by them when they are shown, and not compared.
struct ControlState {
    QRect geometry;
    QFont font;
    QSize iconSize;
    bool operator==(const ControlState&) const = default;
};

QMap<QString, ControlState> Controls(QWidget* form)
{
    QMap<QString, ControlState> out;
    const std::function<void(QWidget*, const QString&)> walk = [&](QWidget* w, const QString& path) {
        const auto* b = qobject_cast<QAbstractButton*>(w);
        const bool component = !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
        out.insert(path, {component ? w->geometry() : QRect(), w->font(), b ? b->iconSize() : QSize()});
        int n = 0;
        for (QObject* c : w->children()) {
            auto* cw = qobject_cast<QWidget*>(c);
            if (!cw || cw->isWindow())
                continue;
            const QString name = cw->objectName().isEmpty() ? QString::fromLatin1(cw->metaObject()->className()) : cw->objectName();
            walk(cw, path + u'/' + name + u'#' + QString::number(n++));
        }
    };
    walk(form, form->objectName());
    return out;
}

int Scaled(int v, double f)
{
    return int(std::lround(v * f));
}

QString NotFound(const QString& name)
{
    return QStringLiteral("スタイル '%1' が見つかりません").arg(name);
}

} // namespace

class tst_UsageTab : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        // The style is the whole program's; every test starts in the
        // platform's own.
        QVERIFY(TStyleManager::TrySetStyle(TStyleManager::SystemStyleName(), false));
    }

    void layoutOfTheTab()
    {
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.PageControl1->SetTabIndex(3);
        QTRY_VERIFY(w.Memo2->isVisible());
        QCOMPARE(w.Panel1->parentWidget(), w.TabSheet5);
        QCOMPARE(w.Panel1->geometry(), QRect(0, 0, w.TabSheet5->width(), 145));
        QCOMPARE(w.Panel1->frameShadow(), QFrame::Raised);
        QCOMPARE(w.StyleSelecter->parentWidget(), w.Panel1);
        QCOMPARE(w.StyleSelecter->geometry(), QRect(16, 19, 121, 21));
        QCOMPARE(w.Label3->text(), QStringLiteral("拡大縮小"));
        QCOMPARE(w.Label3->pos(), QPoint(16, 48));
        QCOMPARE(w.ScaleComboBox->geometry(), QRect(16, 72, 121, 21));
        QCOMPARE(w.Label2->pos(), QPoint(48, 113));
        QVERIFY2(w.Label2->geometry().right() < w.Panel1->width(), "the version line should fit the panel");
        QVERIFY(w.StyleSelecter->isEditable());
        QVERIFY(w.ScaleComboBox->isEditable());

        // The notes fill the page under the panel, with a vertical bar.
        QCOMPARE(w.Memo2->geometry(), QRect(0, 145, w.TabSheet5->width(), w.TabSheet5->height() - 145));
        QCOMPARE(w.Memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        // In keyboard order the zoom list comes before the style list.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.ScaleComboBox->setFocus();
        QTRY_VERIFY(w.ScaleComboBox->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(w.StyleSelecter->hasFocus());
        QCOMPARE(w.ScaleComboBox->accessibleName(), QStringLiteral("拡大縮小"));
    }

    void versionLine()
    {
        FormFixture f;
        const QString text = f.form->Label2->text();
        QVERIFY(text.startsWith(QStringLiteral("Ver 2.0    ")));
        QVERIFY2(text.size() > 11 && text[11] != u' ', "four spaces, then the credit");
    }

    void usageNotes()
    {
        FormFixture f;
        const QStringList expected{
            "1. データフォーマット", "タブか半角カンマで区切られた", "テキストが対象です。",
            " X軸データ,Y軸データ", "   [ データ例 ]", "    X1,Y1 ", "    100,101", "    101,102", "    103,103",
            "", "1行目に文字があるとXY軸名に", "適用されますが無くても後から", "設定できます。",
            "例ではX軸名がX1、Y軸名がY1", "となります。", "データはファイルから入力の他に",
            "、表計算ソフトなどからデータ領", "域をコピーして表示できます。", "", "2.スケール",
            "\u3000データに応じて見やすいように", "自動で倍率を設定し、適用さ", "れた倍率はステータスバーに表",
            "示されます。", "\u3000マニュアルで設定する場合は", "スケール項目から、AutoSizeの",
            "チェックボックスを外して設定でき", "ます。"};
        const QStringList lines = f.form->Memo2->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 28);
        QCOMPARE(lines, expected);
        QCOMPARE(lines[20].front(), QChar(0x3000));

        // The user may edit the notes; nothing of that is kept.
        QVERIFY(!f.form->Memo2->isReadOnly());
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        f.form->PageControl1->SetTabIndex(3);
        f.form->Memo2->setFocus();
        QTest::keyClicks(f.form->Memo2, QStringLiteral("my note"));
        QVERIFY(f.form->Memo2->toPlainText().contains(QStringLiteral("my note")));
        f.form->close();
        FormFixture again;
        QCOMPARE(again.form->Memo2->toPlainText().split(u'\n'), expected);
    }

    void styleListAtStart()
    {
        FormFixture f;
        QCOMPARE(Entries(f.form->StyleSelecter), QStringList({"Auric", "Glow", "Turquoise Gray", "Windows"}));
        QCOMPARE(f.form->StyleSelecter->currentText(), QStringLiteral("Windows"));
        QCOMPARE(List(f.form->StyleSelecter)->ItemIndex(), 3);
        QCOMPARE(TStyleManager::ActiveStyle().Name(), QStringLiteral("Windows"));
        QCOMPARE(TStyleManager::StyleNames().first(), QStringLiteral("Windows"));
    }

    // What the user does to the style list, and what it leads to.
    void styleList_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<std::function<void(QComboBox*)>>("action");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("picked from the list") << "Windows" << std::function<void(QComboBox*)>([](QComboBox* b) {
            PickFromList(b, 1);
        }) << "Glow" << QStringList();
        QTest::newRow("the entry in force") << "Glow" << std::function<void(QComboBox*)>([](QComboBox* b) {
            PickFromList(b, 1);
        }) << "Glow" << QStringList();
        QTest::newRow("arrow key") << "Auric" << std::function<void(QComboBox*)>(StepDown) << "Glow" << QStringList();
        QTest::newRow("typed start of an entry") << "Windows" << std::function<void(QComboBox*)>([](QComboBox* b) {
            b->lineEdit()->selectAll();
            Type(b, "tu");
        })
                                                 << "Turquoise Gray" << QStringList();
        QTest::newRow("typed text of no entry") << "Auric"
                                                << std::function<void(QComboBox*)>([](QComboBox* b) { Type(b, "x"); })
                                                << "Auric" << QStringList{NotFound(QString())};
        QTest::newRow("text deleted") << "Glow" << std::function<void(QComboBox*)>([](QComboBox* b) {
            b->lineEdit()->selectAll();
            QTest::keyClick(b->lineEdit(), Qt::Key_Backspace);
        }) << "Glow" << QStringList{NotFound(QString())};
        QTest::newRow("selected from code") << "Windows" << std::function<void(QComboBox*)>([](QComboBox* b) {
            List(b)->SetItemIndex(0);
        }) << "Windows" << QStringList();
    }
    void styleList()
    {
        QFETCH(QString, start);
        QFETCH(std::function<void(QComboBox*)>, action);
        QFETCH(QString, style);
        QFETCH(QStringList, messages);
        FormFixture f;
        TForm1& w = *f.form;
        QVERIFY(TStyleManager::TrySetStyle(start, false));
        List(w.StyleSelecter)->SetItemIndex(w.StyleSelecter->findText(start));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        action(w.StyleSelecter);
        QCOMPARE(TStyleManager::ActiveStyle().Name(), style);
        QStringList shown;
        for (const ShownMessage& m : f.messages->shown) {
            shown << m.text;
            QCOMPARE(m.icon, MessageIcon::Error);
        }
        QCOMPARE(shown, messages);
    }

    void trySetStyle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("active");
        QTest::newRow("exact") << "Turquoise Gray" << true << true << "Turquoise Gray";
        QTest::newRow("other letter case") << "tURQUOISE gRAY" << true << true << "Turquoise Gray";
        QTest::newRow("platform's own") << "WINDOWS" << true << true << "Windows";
        QTest::newRow("unknown, with dialog") << "Carbon" << true << false << "Windows";
        QTest::newRow("unknown, quietly") << "Carbon" << false << false << "Windows";
        QTest::newRow("empty") << "" << true << false << "Windows";
        QTest::newRow("a prefix is not a name") << "Glo" << true << false << "Windows";
        QTest::newRow("percent signs stay as given") << "%1 %2" << true << false << "Windows";
    }
    void trySetStyle()
    {
        QFETCH(QString, name);
        QFETCH(bool, dialog);
        QFETCH(bool, found);
        QFETCH(QString, active);
        FormFixture f;
        QCOMPARE(TStyleManager::TrySetStyle(name, dialog), found);
        QCOMPARE(TStyleManager::ActiveStyle().Name(), active);
        if (!found && dialog) {
            QCOMPARE(f.messages->shown.size(), 1);
            QCOMPARE(f.messages->shown[0].text, NotFound(name));
        } else {
            QVERIFY(f.messages->shown.isEmpty());
        }
    }

    // Each style is a complete palette in force across the program, the
    // chart's surroundings (a system colour) and the tool bar's pictures
    // included, and the platform's own style comes back exactly.
    void stylesReachEveryPart_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : {"Auric", "Glow", "Turquoise Gray"})
            QTest::newRow(n) << n;
    }
    void stylesReachEveryPart()
    {
        QFETCH(QString, name);
        const QPalette platform = QApplication::palette();
        const std::optional<TStyleFile> style = TStyleManager::Style(name);
        QVERIFY(style);
        QVERIFY(!style->styleSheet.isEmpty());
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        int changes = 0;
        connect(&TStyleManager::Instance(), &TStyleManager::StyleChanged, &w, [&] { ++changes; });
        QVERIFY(TStyleManager::TrySetStyle(name, true));
        QCOMPARE(changes, 1);
        QVERIFY(TStyleManager::TrySetStyle(name, true)); // already in force: nothing happens
        QCOMPARE(changes, 1);
        QCOMPARE(QApplication::palette().color(QPalette::Window), style->palette.color(QPalette::Window));
        QCOMPARE(qApp->styleSheet(), style->styleSheet);

        // The chart's outer colour is the style's window colour.
        const QColor window = style->palette.color(QPalette::Window);
        QTRY_COMPARE(w.Chart1->grab().toImage().pixelColor(12, 12), window);

        // The tool bar's pictures are drawn in the tool buttons' text colour.
        const QColor ink = w.OpenBtn->palette().color(QPalette::ButtonText);
        const QImage icon = w.OpenBtn->icon().pixmap(QSize(24, 24)).toImage();
        bool inked = false;
        for (int y = 0; y < icon.height() && !inked; ++y)
            for (int x = 0; x < icon.width() && !inked; ++x)
                inked = icon.pixelColor(x, y).alpha() == 255 && icon.pixelColor(x, y).rgb() == ink.rgb();
        QVERIFY2(inked, "the icon should be drawn in the style's colour");

        // Texts stay readable on the style's surfaces.
        const auto luminance = [](const QColor& c) {
            const auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        };
        const auto contrast = [&](const QColor& a, const QColor& b) {
            const double la = luminance(a), lb = luminance(b);
            return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
        };
        const QPalette& p = style->palette;
        QVERIFY(contrast(p.color(QPalette::WindowText), p.color(QPalette::Window)) >= 7);
        QVERIFY(contrast(p.color(QPalette::Text), p.color(QPalette::Base)) >= 7);
        QVERIFY(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)) >= 4.5);
        QVERIFY(contrast(p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)) >= 3);
        // The chart's own texts are black on the chart's outer colour.
        QVERIFY(contrast(Qt::black, p.color(QPalette::Window)) >= 7);

        QVERIFY(TStyleManager::TrySetStyle("windows", true));
        QCOMPARE(QApplication::palette(), platform);
        QVERIFY(qApp->styleSheet().isEmpty());
        QTRY_COMPARE(w.Chart1->grab().toImage().pixelColor(12, 12), platform.color(QPalette::Window));
        QVERIFY(f.messages->shown.isEmpty());
    }

    void styleFilesAreChecked_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("accepted");
        QByteArray palette = "[Palette]\n";
        for (const char* role : {"Window", "WindowText", "Base", "AlternateBase", "Text", "PlaceholderText", "Button",
                                 "ButtonText", "BrightText", "Light", "Midlight", "Mid", "Dark", "Shadow", "Highlight",
                                 "HighlightedText", "Link", "LinkVisited", "ToolTipBase", "ToolTipText"})
            palette += QByteArray(role) + " #102030 #405060\n";
        const QByteArray sheet = "[StyleSheet]\nQWidget { color: red; }\n";
        QTest::newRow("complete") << "PLOTMERE STYLE 1\nName: Slate\n" + palette + sheet << true;
        QTest::newRow("other header") << "VCL_STYLE 2.0\nName: Slate\n" + palette + sheet << false;
        QTest::newRow("no name") << "PLOTMERE STYLE 1\n" + palette + sheet << false;
        QTest::newRow("a role missing") << "PLOTMERE STYLE 1\nName: Slate\n" + QByteArray(palette).replace("Link #102030 #405060\n", "") + sheet
                                        << false;
        QTest::newRow("unknown role") << "PLOTMERE STYLE 1\nName: Slate\n" + palette + "Glitter #fff\n" + sheet << false;
        QTest::newRow("bad colour") << "PLOTMERE STYLE 1\nName: Slate\n" + QByteArray(palette).replace("#102030", "#1020") + sheet
                                    << false;
        QTest::newRow("no style sheet") << "PLOTMERE STYLE 1\nName: Slate\n" + palette << false;
        QTest::newRow("empty style sheet") << "PLOTMERE STYLE 1\nName: Slate\n" + palette + "[StyleSheet]\n  \n" << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }
    void styleFilesAreChecked()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, accepted);
        QString error;
        const std::optional<TStyleFile> style = TStyleManager::ParseStyleFile(file, &error);
        QCOMPARE(bool(style), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        if (style) {
            QCOMPARE(style->name, QStringLiteral("Slate"));
            QCOMPARE(style->palette.color(QPalette::Active, QPalette::Link), QColor("#102030"));
            QCOMPARE(style->palette.color(QPalette::Disabled, QPalette::Link), QColor("#405060"));
            QCOMPARE(style->styleSheet, QStringLiteral("QWidget { color: red; }"));
        }
    }

    void droppedFilesAfterStyleChange_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : {"Auric", "Glow", "Turquoise Gray", "Windows"})
            QTest::newRow(n) << n;
    }
    void droppedFilesAfterStyleChange()
    {
        QFETCH(QString, name);
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(TStyleManager::TrySetStyle(name == "Windows" ? "Glow" : name, false));
        QVERIFY(TStyleManager::TrySetStyle(name, false));
        const QString path = f.sandbox.dir.filePath("t.csv");
        testfiles::WriteBytes(path, "X1,Y1\n100,101\n101,102\n103,103\n");
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(100, 100);
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.Chart1, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.Chart1, &drop);
        QVERIFY(drop.isAccepted());
        // The drop returns at once; the table is loaded from the event loop.
        QTRY_COMPARE(w.Series1->Count(), 3);
        QVERIFY(!w.StatusBar1->SimpleText().isEmpty());
        delete data;
    }

    void zoomList()
    {
        FormFixture f;
        TForm1& w = *f.form;
        QCOMPARE(Entries(w.ScaleComboBox), QStringList({"100%", "125%", "150%", "175%", "200%"}));
        QCOMPARE(w.ScaleComboBox->currentText(), QStringLiteral("100%"));
        QCOMPARE(w.PixelsPerInch(), 96);
    }

    // What the user does to the zoom list, and the density that results
    // (0: the screen's own, unchanged).
    void zoomListActions_data()
    {
        QTest::addColumn<std::function<void(QComboBox*)>>("action");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("ppi");
        using Action = std::function<void(QComboBox*)>;
        QTest::newRow("picked 125%") << Action([](QComboBox* b) { PickFromList(b, 1); }) << 1 << 120;
        QTest::newRow("picked 200%") << Action([](QComboBox* b) { PickFromList(b, 4); }) << 4 << 192;
        QTest::newRow("picked 100%") << Action([](QComboBox* b) { PickFromList(b, 0); }) << 0 << 96;
        QTest::newRow("typed 17") << Action([](QComboBox* b) {
            b->lineEdit()->selectAll();
            Type(b, "17");
        }) << 3 << 168;
        QTest::newRow("typed text of no entry") << Action([](QComboBox* b) {
            b->lineEdit()->selectAll();
            Type(b, "3");
        }) << -1 << 0;
        QTest::newRow("typed 100% over 100%") << Action([](QComboBox* b) {
            b->lineEdit()->selectAll();
            Type(b, "100%");
        }) << 0 << 96;
        QTest::newRow("selected from code") << Action([](QComboBox* b) { List(b)->SetItemIndex(2); }) << 2 << 0;
        QTest::newRow("out of range from code") << Action([](QComboBox* b) { List(b)->SetItemIndex(7); }) << -1 << 0;
    }
    void zoomListActions()
    {
        QFETCH(std::function<void(QComboBox*)>, action);
        QFETCH(int, index);
        QFETCH(int, ppi);
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int screen = w.PixelsPerInch();
        action(w.ScaleComboBox);
        QCOMPARE(List(w.ScaleComboBox)->ItemIndex(), index);
        QCOMPARE(w.PixelsPerInch(), ppi ? ppi : screen);
        if (!ppi)
            QCOMPARE(w.size(), QSize(936, 593));
        QVERIFY(f.messages->shown.isEmpty());
    }

    // Every control, the ones other tabs place too, is laid out from its
    // design values at each zoom, and back at 100% the whole window is
    // exactly as designed.
    void zoomRoundTrip_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("styleBefore"); // in force before the zoom
        QTest::addColumn<QString>("styleWhile");  // chosen while zoomed
        for (int i = 1; i <= 4; ++i) {
            const QString entry = QStringLiteral("%1%").arg(100 + 25 * i);
            QTest::newRow(qPrintable(entry + ", shown")) << i << true << "" << "";
            QTest::newRow(qPrintable(entry + ", hidden")) << i << false << "" << "";
        }
        // Under a style sheet Qt pins inherited font sizes as it polishes.
        QTest::newRow("150%, in a style") << 2 << true << "Glow" << "";
        QTest::newRow("200%, style chosen while zoomed") << 4 << true << "" << "Auric";
        QTest::newRow("125%, hidden, style changed while zoomed") << 1 << false << "Turquoise Gray" << "Windows";
    }
    void zoomRoundTrip()
    {
        QFETCH(int, index);
        QFETCH(bool, shown);
        QFETCH(QString, styleBefore);
        QFETCH(QString, styleWhile);
        FormFixture f;
        TForm1& w = *f.form;
        if (!styleBefore.isEmpty())
            QVERIFY(TStyleManager::TrySetStyle(styleBefore, false));
        // Captions are fitted to the new style's paddings on the event loop.
        QCoreApplication::processEvents();
        // A control of another tab, placed after the window was built.
        auto* extra = new QPushButton(QStringLiteral("extra"), w.TabSheet1);
        extra->setObjectName("Extra");
        PlaceControl(extra, 10, 200, 75, 25);
        QFont bold = extra->font();
        bold.setBold(true);
        bold.setPointSize(10);
        extra->setFont(bold);
        if (shown) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        const auto design = Controls(&w);
        const double factor = (96 + 24 * index) / 96.0;
        Pick(w.ScaleComboBox, index);
        if (!styleWhile.isEmpty())
            QVERIFY(TStyleManager::TrySetStyle(styleWhile, false));
        QCOMPARE(w.PixelsPerInch(), 96 + 24 * index);
        QCOMPARE(w.size(), QSize(Scaled(936, factor), Scaled(593, factor)).boundedTo(f.ScreenRoom()));
        QCOMPARE(w.ToolBar1->height(), Scaled(47, factor));
        QCOMPARE(w.StatusBar1->height(), Scaled(19, factor));
        QCOMPARE(w.Splitter1->handleWidth(), Scaled(3, factor));
        QCOMPARE(w.Splitter1->sizes().value(1), Scaled(184, factor));
        QCOMPARE(w.SaveBmpBtn->geometry(), QRect(Scaled(186, factor), 0, Scaled(220, factor) - Scaled(186, factor),
                                                 Scaled(35, factor)));
        QCOMPARE(w.OpenBtn->iconSize(), QSize(Scaled(24, factor), Scaled(24, factor)));
        QCOMPARE(w.StyleSelecter->geometry(), QRect(Scaled(16, factor), Scaled(19, factor),
                                                    Scaled(137, factor) - Scaled(16, factor),
                                                    Scaled(40, factor) - Scaled(19, factor)));
        QCOMPARE(w.Panel1->height(), Scaled(145, factor));
        QCOMPARE(extra->geometry(), QRect(Scaled(10, factor), Scaled(200, factor),
                                          Scaled(85, factor) - Scaled(10, factor), Scaled(225, factor) - Scaled(200, factor)));
        QCOMPARE(extra->font().pointSizeF(), 10 * factor);
        QVERIFY(extra->font().bold());
        QCOMPARE(w.font().pointSizeF(), 8 * factor);
        QCOMPARE(w.Memo2->font().pointSizeF(), 8 * factor);
        QCOMPARE(w.Label2->font().pointSizeF(), 8 * factor);
        QCOMPARE(w.StatusBar1->findChild<QLabel*>()->font().pointSizeF(), 8 * factor);
        // The chart's texts grow with the controls: its title takes more room.
        QCOMPARE(w.Chart1->Model().TextScale(), factor);
        const QRect chartRect(QPoint(0, 0), w.Chart1->size());
        TChartModel designTexts;
        QVERIFY(ComputeChartLayout(w.Chart1->Model(), chartRect).plot.top() >
                ComputeChartLayout(designTexts, chartRect).plot.top());

        // The same entry again changes nothing.
        if (shown) {
            const auto zoomed = Controls(&w);
            PickFromList(w.ScaleComboBox, index);
            QCOMPARE(Controls(&w), zoomed);
        }

        Pick(w.ScaleComboBox, 0);
        QCOMPARE(w.PixelsPerInch(), 96);
        QCOMPARE(w.Chart1->Model().TextScale(), 1.0);
        // The style's own frames differ; compare in the style the design was
        // taken in.
        if (!styleWhile.isEmpty())
            QVERIFY(TStyleManager::TrySetStyle(styleBefore.isEmpty() ? "Windows" : styleBefore, false));
        QCoreApplication::processEvents(); // the side tabs' new layout is a posted request
        QCOMPARE(w.size(), QSize(936, 593));
        QCOMPARE(w.Splitter1->sizes().value(1), 184);
        const auto back = Controls(&w);
        for (auto it = design.begin(); it != design.end(); ++it) {
            if (!back.contains(it.key()))
                continue; // made while zoomed, such as a list's pop-up parts
            if (!shown && it.key().count(u'/') <= 2)
                continue; // a hidden window's layout of its main parts waits for it to be shown
            QVERIFY2(back[it.key()] == it.value(), qPrintable(it.key()));
        }
        // Whatever was placed is back at its design place, a control whose
        // caption needs more room than its design width only wider.
        for (QWidget* c : w.findChildren<QWidget*>())
            if (const QRect d = DesignGeometry(c); d.isValid())
                QVERIFY2(c->geometry() == d
                             || (c->pos() == d.topLeft() && c->height() == d.height() && c->width() > d.width()
                                 && !c->property("text").toString().isEmpty()),
                         qPrintable(c->objectName()));
        // The lists' insides follow once they are shown.
        w.show();
        w.PageControl1->SetTabIndex(3);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.ScaleComboBox->lineEdit()->geometry().right() < w.ScaleComboBox->width());
    }

    // The window starts at the screen's own density, and the zoom list's
    // densities are absolute: "100%" is 96 pixels per inch on any screen.
    // CTest also runs this with QT_SCALE_FACTOR=1.5 and 2.
    void screenDensity()
    {
        FormFixture f;
        TForm1& w = *f.form;
        const double dpr = w.devicePixelRatioF();
        const int screen = int(std::lround(96 * dpr));
        QCOMPARE(w.PixelsPerInch(), screen);
        QCOMPARE(w.size(), QSize(936, 593)); // logical pixels: the platform scales them
        const int entry = w.ScaleComboBox->findText(QStringLiteral("%1%").arg(int(std::lround(100 * dpr))));
        QCOMPARE(List(w.ScaleComboBox)->ItemIndex(), std::max(entry, 0));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i : {0, 2, 4}) {
            PickFromList(w.ScaleComboBox, i);
            const int ppi = 96 + 24 * i;
            QCOMPARE(w.PixelsPerInch(), ppi);
            // In device pixels the window is its design size times ppi / 96,
            // as far as the screen has room for a window grown by the zoom.
            const QSize device = w.size() * dpr;
            const QSize room = ppi > screen ? f.ScreenRoom() * dpr : QSize(INT_MAX, INT_MAX);
            const double wide = std::min(936.0 * ppi / 96, double(room.width()));
            const double high = std::min(593.0 * ppi / 96, double(room.height()));
            QVERIFY2(std::abs(device.width() - wide) <= dpr, qPrintable(QString::number(device.width())));
            QVERIFY2(std::abs(device.height() - high) <= dpr, qPrintable(QString::number(device.height())));
        }
    }

    // The sizes the user gave stay the user's across zooms: a resized window
    // and dragged side tabs are zoomed from what the user made of them.
    void zoomKeepsTheUsersSizes()
    {
        FormFixture f;
        TForm1& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(1000, 700);
        QTRY_COMPARE(w.size(), QSize(1000, 700));
        QSplitterHandle* handle = w.Splitter1->handle(1);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip - QPoint(40, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(40, 0));
        const int side = w.Splitter1->sizes().value(1);
        QVERIFY(side > 184);
        Pick(w.ScaleComboBox, 2);
        QCOMPARE(w.size(), QSize(1500, 1050).boundedTo(f.ScreenRoom()));
        QCOMPARE(w.Splitter1->sizes().value(1), Scaled(side, 1.5));
        Pick(w.ScaleComboBox, 0);
        QCOMPARE(w.size(), QSize(1000, 700));
        QCOMPARE(w.Splitter1->sizes().value(1), side);
        // Widening the window still widens the chart alone.
        w.resize(1100, 700);
        QTRY_COMPARE(w.Splitter1->sizes().value(1), side);
    }
};

QTEST_MAIN(tst_UsageTab)
#include "tst_UsageTab.moc"
