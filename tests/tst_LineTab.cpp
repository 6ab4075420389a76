// The line tab driven as a user drives it: its controls, the width and size
// fields with their typing and clamping, line and marker styles, colours,
// hiding the line, and the XY swap with and without a table.

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "Dialogs.h"
#include "FakeServices.h"
#include "FormProbe.h"
#include "Unit1.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clGreen = RGBColor(0, 160, 0);

const QString kTable = QStringLiteral("X1,Y1\n100,101\n101,102\n103,103\n");

// The main window on screen with the line tab selected.
struct Window {
    FormFixture f;
    TForm1& form = *f.form;
    Window()
    {
        form.show();
        form.activateWindow();
        form.PageControl1->SetTabIndex(1);
    }
    bool Active() { return QTest::qWaitForWindowActive(&form); }
    void Paste(const QString& text)
    {
        f.clipboard->text = text;
        form.PasteBtn->click();
    }
    TSpinEdit* Spin(const QString& name) { return form.findChild<TSpinEdit*>(name); }
};

// The value the field's handler last gave the chart.
int Applied(TForm1& form, const TSpinEdit* field)
{
    if (field == form.SeriesSize)
        return form.Series2->LinePen().Width();
    return form.Series1->Pointer().HorizSize();
}

// Replaces the field's text by typing, as a user does after selecting it.
void TypeInto(TSpinEdit* field, const QString& typed)
{
    field->setFocus();
    field->selectAll();
    if (typed.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, typed);
}

QRect ArrowRect(TSpinEdit* field, QStyle::SubControl arrow)
{
    QStyleOptionSpinBox opt;
    opt.initFrom(field);
    opt.frame = true;
    opt.buttonSymbols = field->buttonSymbols();
    opt.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField | QStyle::SC_SpinBoxUp
                      | QStyle::SC_SpinBoxDown;
    return field->style()->subControlRect(QStyle::CC_SpinBox, &opt, arrow, field);
}

// Pixels of `color` in the rendered chart.
int CountPixels(const TChart& chart, QColor color)
{
    const QImage img = chart.RenderImage(Qt::white).convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == color;
    return n;
}

} // namespace

class TestLineTab : public QObject {
    Q_OBJECT
private slots:
    void controlsAtTheirPlacesWithTheirTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("accessibleName");
        QTest::newRow("SeriesColorBtn") << "SeriesColorBtn" << QRect(16, 22, 75, 25) << "ライン色";
        QTest::newRow("SeriesSize") << "SeriesSize" << QRect(97, 24, 41, 22) << "ライン幅";
        QTest::newRow("SeriesStyle") << "SeriesStyle" << QRect(16, 69, 137, 105) << "ラインスタイル";
        QTest::newRow("LineVisibleCheck") << "LineVisibleCheck" << QRect(24, 180, 113, 17) << "ラインを表示する";
        QTest::newRow("MarkerColorBtn") << "MarkerColorBtn" << QRect(16, 214, 75, 25) << "マーカー色";
        QTest::newRow("MarkerSize") << "MarkerSize" << QRect(97, 216, 40, 22) << "マーカーサイズ";
        QTest::newRow("MarkerStyle") << "MarkerStyle" << QRect(16, 260, 129, 102) << "マーカースタイル";
        // At least its design size; wider where the face needs it.
        QTest::newRow("Label1") << "Label1" << QRect(24, 368, 96, 13) << "XY軸データ入れ替え";
        QTest::newRow("ToggleSwitch1") << "ToggleSwitch1" << QRect(64, 395, 74, 20) << "XY軸データ入れ替え";
    }
    void controlsAtTheirPlacesWithTheirTexts()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, accessibleName);
        Window w;
        auto* control = w.form.TabSheet2->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), w.form.TabSheet2);
        if (qobject_cast<QLabel*>(control)) {
            QCOMPARE(DesignGeometry(control).topLeft(), geometry.topLeft());
            QVERIFY(DesignGeometry(control).width() >= geometry.width());
            QVERIFY(DesignGeometry(control).height() >= geometry.height());
        } else {
            QCOMPARE(DesignGeometry(control), geometry);
        }
        QCOMPARE(control->geometry(), DesignGeometry(control));
        QVERIFY(w.form.TabSheet2->rect().contains(control->geometry()));
        QVERIFY(control->isVisible());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), accessibleName);
        // Captions fit their controls: nothing is cut off at design size.
        const QFontMetrics fm(control->font());
        if (auto* b = qobject_cast<QPushButton*>(control))
            QVERIFY2(fm.horizontalAdvance(b->text()) + 8 <= b->width(), qPrintable(b->text()));
        else if (auto* c = qobject_cast<QCheckBox*>(control))
            QVERIFY2(fm.horizontalAdvance(c->text()) + 18 <= c->width(), qPrintable(c->text()));
        else if (auto* l = qobject_cast<QLabel*>(control))
            QVERIFY2(fm.horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
        else if (auto* g = qobject_cast<TRadioGroup*>(control))
            for (int i = 0; i < g->Count(); ++i) {
                QRadioButton* r = g->Button(i);
                QVERIFY(g->rect().contains(r->geometry()));
                QVERIFY2(fm.horizontalAdvance(r->text()) + 18 <= r->width(), qPrintable(r->text()));
            }
    }

    void startStatesDescribeTheChart()
    {
        Window w;
        TForm1& f = w.form;
        QCOMPARE(f.SeriesSize->Value(), 1);
        QCOMPARE(f.SeriesSize->Text(), QStringLiteral("1"));
        QCOMPARE(f.MarkerSize->Value(), 4);
        QCOMPARE(f.SeriesSize->MinValue(), 1);
        QCOMPARE(f.SeriesSize->MaxValue(), 100);
        QCOMPARE(f.MarkerSize->MinValue(), 1);
        QCOMPARE(f.MarkerSize->MaxValue(), 100);
        QCOMPARE(f.SeriesStyle->Count(), 5);
        const QStringList lineItems{"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(f.SeriesStyle->Item(i), lineItems[i]);
        const QStringList markerItems{"Rectangle", "Circle", "Triangle", "Diamond"};
        QCOMPARE(f.MarkerStyle->Count(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.MarkerStyle->Item(i), markerItems[i]);
        QCOMPARE(f.SeriesStyle->ItemIndex(), 0);
        QCOMPARE(f.MarkerStyle->ItemIndex(), 1);
        QVERIFY(f.LineVisibleCheck->isChecked());
        QCOMPARE(f.ToggleSwitch1->State(), tssOff);
        QCOMPARE(f.ToggleSwitch1->StateCaption(), QStringLiteral("オフ"));
        QCOMPARE(f.Label1->buddy(), f.ToggleSwitch1);
        // ... and they are what the chart starts with.
        QCOMPARE(f.Series2->LinePen().Width(), 1);
        QCOMPARE(f.Series2->LinePen().Style(), psSolid);
        QVERIFY(f.Series2->Active());
        QCOMPARE(f.Series1->Pointer().HorizSize(), 4);
        QCOMPARE(f.Series1->Pointer().Style(), psCircle);
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    // Typing reports every change at once and is not clamped; leaving the
    // field clamps to 1..100 and reports again.
    void typingThenLeaving_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("whileTyping");
        QTest::addColumn<QString>("textAfterLeaving");
        QTest::addColumn<int>("afterLeaving");
        QTest::newRow("width 250") << "SeriesSize" << "250" << 250 << "100" << 100;
        QTest::newRow("width 0 is drawn as typed") << "SeriesSize" << "0" << 0 << "1" << 1;
        QTest::newRow("width 37") << "SeriesSize" << "37" << 37 << "37" << 37;
        QTest::newRow("width cleared") << "SeriesSize" << "" << 1 << "" << 1;
        QTest::newRow("width lone sign") << "SeriesSize" << "-" << 1 << "-" << 1;
        QTest::newRow("marker 250") << "MarkerSize" << "250" << 250 << "100" << 100;
        QTest::newRow("marker cleared") << "MarkerSize" << "" << 1 << "" << 1;
        QTest::newRow("marker 0 is taken as 1") << "MarkerSize" << "0" << 1 << "1" << 1;
        QTest::newRow("marker -7") << "MarkerSize" << "-7" << 1 << "1" << 1;
        QTest::newRow("marker beyond int") << "MarkerSize" << "99999999999" << 1 << "99999999999" << 1;
        QTest::newRow("width 1.5 is no whole number") << "SeriesSize" << "1.5" << 1 << "1.5" << 1;
        QTest::newRow("marker 2.0 is no whole number") << "MarkerSize" << "2.0" << 1 << "2.0" << 1;
        QTest::newRow("letters are no whole number") << "MarkerSize" << "1x2" << 1 << "1x2" << 1;
    }
    void typingThenLeaving()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(int, whileTyping);
        QFETCH(QString, textAfterLeaving);
        QFETCH(int, afterLeaving);
        Window w;
        QVERIFY(w.Active());
        TSpinEdit* spin = w.Spin(field);
        QSignalSpy changes(spin, &TSpinEdit::Change);
        TypeInto(spin, typed);
        QVERIFY(spin->hasFocus());
        QCOMPARE(spin->Text(), typed);
        QCOMPARE(Applied(w.form, spin), whileTyping);
        const qsizetype typedReports = changes.size();
        QCOMPARE(typedReports, qsizetype(std::max<qsizetype>(1, typed.size())));

        w.form.LineVisibleCheck->setFocus();
        QVERIFY(!spin->hasFocus());
        QCOMPARE(spin->Text(), textAfterLeaving);
        QCOMPARE(Applied(w.form, spin), afterLeaving);
        QCOMPARE(changes.size(), typedReports + (textAfterLeaving != typed ? 1 : 0));
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    // Pasted text is taken whole, whatever it holds, and read as typed text
    // is: what is no whole number reads as 1.
    void pastedTextIsTakenWhole_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<int>("width");
        QTest::newRow("letters") << "abc" << 1;
        QTest::newRow("a decimal") << "2.5" << 1;
        QTest::newRow("a whole number") << "42" << 42;
        QTest::newRow("beyond the range, clamped only on leaving") << "300" << 300;
    }
    void pastedTextIsTakenWhole()
    {
        QFETCH(QString, pasted);
        QFETCH(int, width);
        Window w;
        QVERIFY(w.Active());
        TSpinEdit* spin = w.form.SeriesSize;
        spin->setFocus();
        spin->selectAll();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(spin, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(spin->Text(), pasted);
        QCOMPARE(w.form.Series2->LinePen().Width(), width);
    }

    // The window going inactive (another window in front, a dialog opened
    // from the tool bar) leaves the focus in the field: nothing is clamped
    // until the focus moves to another control.
    void windowGoingInactiveDoesNotClamp_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("clamped");
        QTest::newRow("width above the range") << "SeriesSize" << "250" << "100";
        QTest::newRow("marker below the range") << "MarkerSize" << "0" << "1";
    }
    void windowGoingInactiveDoesNotClamp()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, clamped);
        Window w;
        QVERIFY(w.Active());
        TSpinEdit* spin = w.Spin(field);
        TypeInto(spin, typed);
        QWidget other;
        other.setGeometry(300, 300, 200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(spin->Text(), typed);
        w.form.activateWindow();
        QVERIFY(w.Active());
        QCOMPARE(QApplication::focusWidget(), spin->focusProxy() ? spin->focusProxy() : spin);
        QCOMPARE(spin->Text(), typed);
        w.form.LineVisibleCheck->setFocus();
        QCOMPARE(spin->Text(), clamped);
    }

    // Closing the window while a field holds an out-of-range value: the field
    // clamps as it loses the focus, which must not reach the window being
    // destroyed (the sanitizer build reports it if it does).
    void destroyedWithAFieldOutOfRange()
    {
        auto w = std::make_unique<Window>();
        QVERIFY(w->Active());
        TypeInto(w->form.SeriesSize, QStringLiteral("250"));
        QCOMPARE(w->form.Series2->LinePen().Width(), 250);
        w.reset();
    }

    // A negative width from the field leaves the line as it was.
    void negativeWidthKeepsTheLine()
    {
        Window w;
        w.form.SeriesSize->SetText(QStringLiteral("6"));
        QCOMPARE(w.form.Series2->LinePen().Width(), 6);
        w.form.SeriesSize->SetText(QStringLiteral("-3"));
        QCOMPARE(w.form.Series2->LinePen().Width(), 6);
    }

    // The up and down buttons step by one and stop at the bounds; from text
    // outside the range a step lands on the nearest bound.
    void upAndDown_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<bool>("byMouse");
        QTest::addColumn<QString>("text");
        QTest::newRow("up at 100 stays") << "100" << true << true << "100";
        QTest::newRow("up key at 100 stays") << "100" << true << false << "100";
        QTest::newRow("down at 1 stays") << "1" << false << true << "1";
        QTest::newRow("up from 50") << "50" << true << true << "51";
        QTest::newRow("down from 50") << "50" << false << true << "49";
        QTest::newRow("down key from 50") << "50" << false << false << "49";
        QTest::newRow("down from 250") << "250" << false << true << "100";
        QTest::newRow("up from 250") << "250" << true << false << "100";
        QTest::newRow("up from empty") << "" << true << true << "2";
    }
    void upAndDown()
    {
        QFETCH(QString, start);
        QFETCH(bool, up);
        QFETCH(bool, byMouse);
        QFETCH(QString, text);
        Window w;
        QVERIFY(w.Active());
        TSpinEdit* spin = w.form.SeriesSize;
        spin->SetText(start);
        spin->setFocus();
        QSignalSpy changes(spin, &TSpinEdit::Change);
        if (byMouse)
            QTest::mouseClick(spin, Qt::LeftButton, {},
                              ArrowRect(spin, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown).center());
        else
            QTest::keyClick(spin, up ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(spin->Text(), text);
        QCOMPARE(changes.size(), text != start ? 1 : 0);
        QCOMPARE(w.form.Series2->LinePen().Width(), spin->Value());
    }

    // Values set from code are brought into the range; assistive tools read
    // the value and the range.
    void valueFromCodeAndForAssistiveTools()
    {
        Window w;
        TSpinEdit* spin = w.form.MarkerSize;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(spin);
        QVERIFY(a && a->valueInterface());
        spin->SetValue(100);
        QCOMPARE(a->valueInterface()->currentValue().toInt(), 100);
        QCOMPARE(a->valueInterface()->maximumValue().toInt(), 100);
        QCOMPARE(a->valueInterface()->minimumValue().toInt(), 1);
        spin->SetValue(500); // from code the range holds at once
        QCOMPARE(spin->Text(), QStringLiteral("100"));
        spin->SetValue(-4);
        QCOMPARE(spin->Text(), QStringLiteral("1"));
    }

    void lineAndMarkerStyles_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("style");
        QTest::newRow("Dash") << "SeriesStyle" << 1 << int(psDash);
        QTest::newRow("Dot") << "SeriesStyle" << 2 << int(psDot);
        QTest::newRow("DashDot") << "SeriesStyle" << 3 << int(psDashDot);
        QTest::newRow("DashDotDot") << "SeriesStyle" << 4 << int(psDashDotDot);
        QTest::newRow("Rectangle") << "MarkerStyle" << 0 << int(psRectangle);
        QTest::newRow("Triangle") << "MarkerStyle" << 2 << int(psTriangle);
        QTest::newRow("Diamond") << "MarkerStyle" << 3 << int(psDiamond);
    }
    void lineAndMarkerStyles()
    {
        QFETCH(QString, group);
        QFETCH(int, item);
        QFETCH(int, style);
        Window w;
        w.Paste(kTable);
        auto* g = w.form.findChild<TRadioGroup*>(group);
        const bool line = g == w.form.SeriesStyle;
        auto current = [&] {
            return line ? int(w.form.Series2->LinePen().Style()) : int(w.form.Series1->Pointer().Style());
        };
        const QImage before = w.form.Chart1->RenderImage(Qt::white);
        QRadioButton* button = g->Button(item);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2)); // on the circle
        QCOMPARE(g->ItemIndex(), item);
        QCOMPARE(current(), style);
        QVERIFY2(w.form.Chart1->RenderImage(Qt::white) != before, "the chart should look different");

        // Selected from code, or with nothing selected, nothing changes.
        g->SetItemIndex(line ? 0 : 1);
        QCOMPARE(current(), style);
        g->SetItemIndex(-1);
        QCOMPARE(g->ItemIndex(), -1);
        QMetaObject::invokeMethod(&w.form, line ? "SeriesStyleClick" : "MarkerStyleClick", Q_ARG(QObject*, g));
        QCOMPARE(current(), style);
    }

    void colourButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("line");
        QTest::newRow("line colour") << "SeriesColorBtn" << true;
        QTest::newRow("marker colour") << "MarkerColorBtn" << false;
    }
    void colourButtons()
    {
        QFETCH(QString, button);
        QFETCH(bool, line);
        Window w;
        w.Paste(kTable);
        TChartSeries* series = line ? static_cast<TChartSeries*>(w.form.Series2) : w.form.Series1;
        TChartSeries* other = line ? static_cast<TChartSeries*>(w.form.Series1) : w.form.Series2;
        const TColor start = series->SeriesColor();
        const TColor otherStart = other->SeriesColor();
        auto* b = w.form.findChild<QPushButton*>(button);

        QTest::mouseClick(b, Qt::LeftButton); // cancelled
        QCOMPARE(series->SeriesColor(), start);
        QCOMPARE(w.f.dialogs->presetColor, clBlack);

        w.f.dialogs->colorAnswer = clRed;
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(series->SeriesColor(), clRed);
        QCOMPARE(other->SeriesColor(), otherStart);
        QVERIFY(CountPixels(*w.form.Chart1, Qt::red) > 0);

        // The dialog opens on the last confirmed colour, from any button.
        w.f.dialogs->colorAnswer.reset();
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(w.f.dialogs->presetColor, clRed);
        QCOMPARE(series->SeriesColor(), clRed);
        w.f.dialogs->colorAnswer = clGreen;
        QTest::mouseClick(w.form.ChartColorBtn, Qt::LeftButton);
        w.f.dialogs->colorAnswer.reset();
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(w.f.dialogs->presetColor, clGreen);
        QCOMPARE(series->SeriesColor(), clRed);
    }

    // Hiding the line keeps its points; a new table fills it while hidden,
    // and showing it again draws the new table's line.
    void hiddenLineFollowsANewTable()
    {
        Window w;
        w.f.dialogs->colorAnswer = clRed;
        QTest::mouseClick(w.form.SeriesColorBtn, Qt::LeftButton);
        w.Paste(kTable);
        QVERIFY(CountPixels(*w.form.Chart1, Qt::red) > 0);

        QTest::mouseClick(w.form.LineVisibleCheck, Qt::LeftButton);
        QVERIFY(!w.form.LineVisibleCheck->isChecked());
        QVERIFY(!w.form.Series2->Active());
        QCOMPARE(w.form.Series2->Count(), 2);
        QCOMPARE(CountPixels(*w.form.Chart1, Qt::red), 0);

        w.Paste(QStringLiteral("1,10\n2,8\n3,6\n4,4\n"));
        QVERIFY(w.f.messages->shown.isEmpty());
        QVERIFY(!w.form.Series2->Active());
        QCOMPARE(w.form.Series2->Count(), 2);
        // The new line falls with slope -2 from half a margin before 1.
        QCOMPARE(w.form.Series2->XValue(0), 0.625);
        QCOMPARE(w.form.Series2->YValue(0), 10.75);
        QCOMPARE(CountPixels(*w.form.Chart1, Qt::red), 0);

        QTest::mouseClick(w.form.LineVisibleCheck, Qt::LeftButton);
        QVERIFY(w.form.Series2->Active());
        QVERIFY(CountPixels(*w.form.Chart1, Qt::red) > 0);
        QCOMPARE(w.form.Series2->XValue(1), 4.375);
        QCOMPARE(w.form.Series2->YValue(1), 3.25);
    }

    // With a table, the switch re-plots with the columns exchanged and the
    // axis names swapped; without one it changes only itself.
    void swap()
    {
        Window w;
        TForm1Probe probe(w.form);
        w.Paste(kTable);
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("X1"));
        QTest::mouseClick(w.form.ToggleSwitch1, Qt::LeftButton);
        QCOMPARE(w.form.ToggleSwitch1->State(), tssOn);
        QCOMPARE(w.form.ToggleSwitch1->StateCaption(), QStringLiteral("オン"));
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("Y1"));
        QCOMPARE(w.form.Chart1->LeftAxis().Title().Caption(), QStringLiteral("X1"));
        QCOMPARE(probe.xdata(), (QList<double>{101, 102, 103}));
        QCOMPARE(probe.ydata(), (QList<double>{100, 101, 103}));
        QCOMPARE(w.form.Chart1->BottomAxis().Minimum(), 100.5);
        QCOMPARE(w.form.Chart1->BottomAxis().Maximum(), 103.5);
        QCOMPARE(w.form.Chart1->SubTitle().Text().Count(), 1);
        QVERIFY(w.f.messages->shown.isEmpty());

        QTest::keyClick(w.form.ToggleSwitch1, Qt::Key_Space); // and back, from the keyboard
        QCOMPARE(w.form.ToggleSwitch1->State(), tssOff);
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("X1"));
        QCOMPARE(probe.xdata(), (QList<double>{100, 101, 103}));
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    void swapWithoutATable()
    {
        Window w;
        const QImage before = w.form.Chart1->RenderImage(Qt::white);
        QTest::mouseClick(w.form.ToggleSwitch1, Qt::LeftButton);
        QCOMPARE(w.form.ToggleSwitch1->State(), tssOn);
        QCOMPARE(w.form.Chart1->SubTitle().Text().Text(), QStringLiteral("Sub Title"));
        QVERIFY(w.form.Chart1->BottomAxis().Title().Caption().isEmpty());
        QCOMPARE(w.form.Series1->Count(), 0);
        QVERIFY(w.form.Chart1->BottomAxis().Automatic());
        QCOMPARE(w.form.Chart1->RenderImage(Qt::white), before);
        QVERIFY(w.f.messages->shown.isEmpty());
        // A table loaded now is read swapped.
        w.Paste(kTable);
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("Y1"));
    }

    // A plot failing on the swap shows the error message box once more and
    // nothing is rolled back: the switch stays flipped and the swapped
    // points stay plotted.
    void swapFailureShowsTheErrorBox()
    {
        Window w;
        TForm1Probe probe(w.form);
        w.Paste(QStringLiteral("1,5\n1,6\n1,7\n")); // no line fits equal X values
        QCOMPARE(w.f.messages->shown.size(), 1);
        QTest::mouseClick(w.form.ToggleSwitch1, Qt::LeftButton);
        QCOMPARE(w.f.messages->shown.size(), 2);
        QCOMPARE(w.f.messages->shown[1].caption, QStringLiteral("情報"));
        QCOMPARE(w.f.messages->shown[1].text, QStringLiteral("エラーが発生しました データを確認してください"));
        QCOMPARE(w.f.messages->shown[1].icon, MessageIcon::Error);
        QCOMPARE(w.form.ToggleSwitch1->State(), tssOn);
        QCOMPARE(probe.xdata(), (QList<double>{5, 6, 7}));
        QCOMPARE(w.form.Series1->Count(), 3);
        QCOMPARE(w.form.Series2->Count(), 0);
        QCOMPARE(w.form.Chart1->SubTitle().Text().Count(), 0);
    }

    void switchStateFromCodeIsNoClick()
    {
        Window w;
        w.Paste(kTable);
        QSignalSpy clicks(w.form.ToggleSwitch1, &QAbstractButton::clicked);
        w.form.ToggleSwitch1->SetState(tssOn);
        QCOMPARE(clicks.size(), 0);
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("X1"));
        QCOMPARE(w.form.ToggleSwitch1->StateCaption(), QStringLiteral("オン"));
    }

    // Sizes typed far beyond the range draw until the field is left: a marker
    // that large covers the plot, and nothing fails or runs out of memory.
    void hugeTypedSizesStillDraw_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("eight digits") << "99999999";
        QTest::newRow("largest int") << "2147483647";
    }
    void hugeTypedSizesStillDraw()
    {
        QFETCH(QString, typed);
        Window w;
        QVERIFY(w.Active());
        QString table;
        for (int i = 0; i < 100; ++i)
            table += QStringLiteral("%1,%2\n").arg(i).arg(i % 7);
        w.Paste(table);
        TypeInto(w.form.SeriesSize, typed);
        QCOMPARE(w.form.Series2->LinePen().Width(), typed.toInt());
        {
            // A line that wide covers the plot around it.
            const QImage img = w.form.Chart1->RenderImage(Qt::white);
            const QRect plot = ComputeChartLayout(w.form.Chart1->Model(), img.rect()).plot;
            QVERIFY(CountPixels(*w.form.Chart1, QColor(243, 156, 53)) > plot.width() * plot.height() / 2);
        }
        TypeInto(w.form.MarkerSize, typed);
        QCOMPARE(w.form.Series1->Pointer().HorizSize(), typed.toInt());
        const QImage img = w.form.Chart1->RenderImage(Qt::white);
        const QRect plot = ComputeChartLayout(w.form.Chart1->Model(), img.rect()).plot;
        QCOMPARE(img.pixelColor(plot.center()), QColor(68, 102, 163));
        QVERIFY(!w.form.grab().isNull());
        // Automatic axes leave room for half a marker at their ends.
        w.form.AutoSize->click();
        w.form.AutoSize->click();
        QVERIFY(w.form.Chart1->BottomAxis().Automatic());
        QVERIFY(w.form.MarkerSize->hasFocus());
        QVERIFY(!w.form.Chart1->RenderImage(Qt::white).isNull());
        const double min = w.form.Chart1->BottomAxis().Minimum(), max = w.form.Chart1->BottomAxis().Maximum();
        QVERIFY(std::isfinite(min) && std::isfinite(max) && min <= 0 && max >= 99);
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    void switchAsAssistiveToolsSeeIt()
    {
        Window w;
        w.Paste(kTable);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w.form.ToggleSwitch1);
        QVERIFY(a);
        QVERIFY(a->role() == QAccessible::CheckBox || a->role() == QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("XY軸データ入れ替え"));
        QVERIFY(a->state().checkable);
        QVERIFY(!a->state().checked);
        QCOMPARE(a->text(QAccessible::Value), QStringLiteral("オフ"));
        QAccessibleActionInterface* act = a->actionInterface();
        QVERIFY(act);
        QVERIFY(act->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        act->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(a->state().checked);
        QCOMPARE(a->text(QAccessible::Value), QStringLiteral("オン"));
        // Toggled by the tool, the table is re-plotted like a click does.
        QCOMPARE(w.form.Chart1->BottomAxis().Title().Caption(), QStringLiteral("Y1"));
        // The label points to the switch.
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(w.form.Label1);
        QCOMPARE(label->text(QAccessible::Name), QStringLiteral("XY軸データ入れ替え"));
    }
};

QTEST_MAIN(TestLineTab)
#include "tst_LineTab.moc"
