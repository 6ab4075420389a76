// The scale tab driven as a user drives it: automatic and manual axes,
// bounds and label steps with their refusals, magnifications entered by
// hand, and what a later plot keeps of them.

#include "Chart.h"
#include "ChartRenderer.h"
#include "CheckedMath.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "WindowFixture.h"
#include "FormProbe.h"
#include "NumberFormat.h"
#include "Unit1.h"

#include <QAccessible>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>

namespace {

const QString kTable = QStringLiteral("X1,Y1\n100,101\n101,102\n103,103\n");

// The main window on screen with the scale tab selected.
struct Window {
    ShownWindow f;
    TForm1& form = *f.form;
    TForm1Probe probe{form};
    Window() { form.PageControl1->SetTabIndex(2); }
    void Paste(const QString& text) { f.Paste(text); }
    TChartAxis& Bottom() { return form.Chart1->BottomAxis(); }
    TChartAxis& Left() { return form.Chart1->LeftAxis(); }
    TButtonedEdit* Field(const QString& name) { return form.findChild<TButtonedEdit*>(name); }
    QList<TButtonedEdit*> Fields()
    {
        return {form.XMaxValue, form.XMinValue, form.XIncValue, form.XmagValue,
                form.YMaxValue, form.YMinValue, form.YIncValue, form.YmagValue};
    }
};

QToolButton* CheckMark(TButtonedEdit* edit)
{
    for (QToolButton* b : edit->findChildren<QToolButton*>())
        if (b->defaultAction() == edit->RightButton())
            return b;
    return nullptr;
}

// Types the text into the field and clicks its check mark.
void Enter(TButtonedEdit* edit, const QString& text)
{
    edit->clear();
    QTest::keyClicks(edit, text);
    QCOMPARE(edit->Text(), text);
    QToolButton* button = CheckMark(edit);
    QVERIFY2(button && button->isVisible(), "no visible check-mark button");
    QTest::mouseClick(button, Qt::LeftButton);
}

// The default error reporting's box for an error with this message.
ShownMessage DefaultError(const QString& message)
{
    return {ApplicationTitle(), WithFullStop(message), MessageIcon::Error};
}

bool operator==(const ShownMessage& a, const ShownMessage& b)
{
    return a.caption == b.caption && a.text == b.text && a.icon == b.icon;
}

QString StatusText(const QString& xmag, const QString& xtani, const QString& ymag, const QString& ytani)
{
    return QStringLiteral("倍率 X= %1　単位 [ %2 ]   Y= %3　単位 [ %4 ]").arg(xmag, xtani, ymag, ytani);
}

// Restores the number format a test changed.
struct NumberFormatScope {
    NumberFormat saved = NumberFormat::Current();
    ~NumberFormatScope() { NumberFormat::SetCurrent(saved); }
};

} // namespace

class TestScaleTab : public QObject {
    Q_OBJECT
private slots:
    void controlsAtTheirPlacesWithTheirTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("accessibleName");
        QTest::newRow("AutoSize") << "AutoSize" << QRect(16, 18, 97, 17) << "AutoSize";
        QTest::newRow("XMaxValue") << "XMaxValue" << QRect(27, 56, 121, 21) << "X軸\u3000最大値";
        QTest::newRow("XMinValue") << "XMinValue" << QRect(27, 83, 121, 21) << "X軸\u3000最小値";
        QTest::newRow("XIncValue") << "XIncValue" << QRect(27, 110, 121, 21) << "X軸\u3000刻み幅";
        QTest::newRow("XmagValue") << "XmagValue" << QRect(27, 137, 121, 21) << "X軸倍率";
        QTest::newRow("YMaxValue") << "YMaxValue" << QRect(27, 182, 121, 21) << "Y軸\u3000最大値";
        QTest::newRow("YMinValue") << "YMinValue" << QRect(27, 212, 121, 21) << "Y軸\u3000最小値";
        QTest::newRow("YIncValue") << "YIncValue" << QRect(27, 239, 121, 21) << "Y軸\u3000刻み幅";
        QTest::newRow("YmagValue") << "YmagValue" << QRect(27, 266, 121, 21) << "Y軸倍率";
    }
    void controlsAtTheirPlacesWithTheirTexts()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, accessibleName);
        Window w;
        auto* control = w.form.TabSheet3->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), w.form.TabSheet3);
        QCOMPARE(DesignGeometry(control), geometry);
        QCOMPARE(control->geometry(), geometry);
        QVERIFY(control->isVisible());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), accessibleName);
        if (auto* edit = qobject_cast<TButtonedEdit*>(control)) {
            QVERIFY(edit->Text().isEmpty());
            QVERIFY(!edit->isEnabled());
            QCOMPARE(edit->TextHint(), accessibleName);
            const QPixmap mark = w.form.ImageList1->Image(0);
            QCOMPARE(edit->RightButton()->icon().pixmap(QSize(16, 16), mark.devicePixelRatio()).toImage(),
                     mark.toImage());
            QToolButton* button = CheckMark(edit);
            QVERIFY(button && button->isVisible());
            QVERIFY(edit->rect().contains(button->geometry()));
        } else {
            auto* check = qobject_cast<QCheckBox*>(control);
            QVERIFY(check);
            QCOMPARE(check->text(), accessibleName);
            QVERIFY(check->isChecked());
            QVERIFY(QFontMetrics(check->font()).horizontalAdvance(check->text()) + 18 <= check->width());
        }
    }

    // The box and the two axes stay in step; a plot leaves the axes manual
    // even while the box is ticked, until it is unticked and ticked again.
    void autoSizeSwitchesAxesAndFields()
    {
        Window w;
        QVERIFY(w.Bottom().Automatic());
        QVERIFY(w.Left().Automatic());
        // Locked fields: their check marks cannot be clicked.
        w.form.XMaxValue->SetText(QStringLiteral("5"));
        QTest::mouseClick(CheckMark(w.form.XMaxValue), Qt::LeftButton);
        QVERIFY(w.Bottom().Automatic());
        QVERIFY(w.f.messages->shown.isEmpty());

        w.Paste(kTable);
        QVERIFY(w.form.AutoSize->isChecked());
        QVERIFY(!w.Bottom().Automatic());
        QVERIFY(!w.Left().Automatic());
        for (TButtonedEdit* e : w.Fields())
            QVERIFY(!e->isEnabled());

        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        QVERIFY(!w.form.AutoSize->isChecked());
        QVERIFY(!w.Bottom().Automatic());
        QCOMPARE(w.Bottom().Minimum(), 99.25);
        QCOMPARE(w.Bottom().Maximum(), 103.75);
        for (TButtonedEdit* e : w.Fields())
            QVERIFY(e->isEnabled());

        // Ticked: both axes follow the data again, without a new plot.
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        QVERIFY(w.Bottom().Automatic());
        QVERIFY(w.Left().Automatic());
        for (TButtonedEdit* e : w.Fields())
            QVERIFY(!e->isEnabled());
        QCOMPARE(w.form.XMaxValue->Text(), QStringLiteral("5")); // locked fields keep their text
        w.form.Chart1->RenderImage(Qt::white);
        const double autoMin = w.Bottom().Minimum(), autoMax = w.Bottom().Maximum();
        const double autoLeftMax = w.Left().Maximum();
        QVERIFY(autoMin <= 99.625 && autoMax >= 103.375); // the data and the regression line
        QVERIFY(autoMin != 99.25 || autoMax != 103.75);

        // Unticked: the axes stay at the range they showed last.
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        QVERIFY(!w.Bottom().Automatic());
        QVERIFY(!w.Left().Automatic());
        QCOMPARE(w.Bottom().Minimum(), autoMin);
        QCOMPARE(w.Bottom().Maximum(), autoMax);
        QCOMPARE(w.Left().Maximum(), autoLeftMax);
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    // Starting from a bottom and a left axis showing 0 to 100, each row
    // enters texts in turn and checks both axes and the errors reported.
    void boundsAndSteps_data()
    {
        QTest::addColumn<QStringList>("entries"); // "Field=text"
        QTest::addColumn<bool>("commaDecimal");
        QTest::addColumn<QList<double>>("bottom"); // min, max, increment
        QTest::addColumn<QList<double>>("left");
        QTest::addColumn<QStringList>("errors");
        const QList<double> full{0, 100, 0};
        const QString maxRefused = QStringLiteral("Axis Maximum Value must be >= Minimum");
        const QString minRefused = QStringLiteral("Axis Minimum Value must be <= Maximum");
        const QString incRefused = QStringLiteral("Axis increment must be >= 0");
        QTest::newRow("minimum 50") << QStringList{"XMinValue=50"} << false << QList<double>{50, 100, 0} << full
                                    << QStringList{};
        QTest::newRow("50 then maximum 40 refused")
            << QStringList{"XMinValue=50", "XMaxValue=40"} << false << QList<double>{50, 100, 0} << full
            << QStringList{maxRefused};
        QTest::newRow("abc does nothing") << QStringList{"XMaxValue=abc"} << false << full << full << QStringList{};
        QTest::newRow("empty does nothing") << QStringList{"XMinValue="} << false << full << full << QStringList{};
        QTest::newRow("minimum above maximum refused")
            << QStringList{"XMinValue=101"} << false << full << full << QStringList{minRefused};
        QTest::newRow("minimum equal to maximum") << QStringList{"XMinValue=100"} << false
                                                  << QList<double>{100, 100, 0} << full << QStringList{};
        QTest::newRow("increment 2") << QStringList{"XIncValue=2"} << false << QList<double>{0, 100, 2} << full
                                     << QStringList{};
        QTest::newRow("increment 2 then 0") << QStringList{"XIncValue=2", "XIncValue=0"} << false << full << full
                                            << QStringList{};
        QTest::newRow("negative increment refused")
            << QStringList{"XIncValue=2", "XIncValue=-1"} << false << QList<double>{0, 100, 2} << full
            << QStringList{incRefused};
        QTest::newRow("blanks, sign and exponent") << QStringList{"XMaxValue= +1.5e2 "} << false
                                                   << QList<double>{0, 150, 0} << full << QStringList{};
        QTest::newRow("thousands separator is no number")
            << QStringList{"XMaxValue=1,000"} << false << full << full << QStringList{};
        QTest::newRow("beyond a double is no number")
            << QStringList{"XMaxValue=1e999"} << false << full << full << QStringList{};
        QTest::newRow("comma decimal") << QStringList{"XIncValue=2,5", "XMaxValue=1.5"} << true
                                       << QList<double>{0, 100, 2.5} << full << QStringList{};
        QTest::newRow("left axis bounds") << QStringList{"YMaxValue=60", "YMinValue=70", "YMinValue=-5"} << false
                                          << full << QList<double>{-5, 60, 0} << QStringList{minRefused};
        QTest::newRow("left axis step") << QStringList{"YIncValue=12.5", "YIncValue=-0.1"} << false << full
                                        << QList<double>{0, 100, 12.5} << QStringList{incRefused};
        QTest::newRow("left maximum refused") << QStringList{"YMinValue=10", "YMaxValue=9.99"} << false << full
                                              << QList<double>{10, 100, 0} << QStringList{maxRefused};
    }
    void boundsAndSteps()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, commaDecimal);
        QFETCH(QList<double>, bottom);
        QFETCH(QList<double>, left);
        QFETCH(QStringList, errors);
        NumberFormatScope scope;
        Window w;
        w.Paste(QStringLiteral("20,20\n80,80\n"));
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        for (const char* field : {"XMinValue", "XMaxValue", "YMinValue", "YMaxValue"})
            Enter(w.Field(QString::fromLatin1(field)), QString::fromLatin1(field).contains("Min") ? "0" : "100");
        QCOMPARE(w.Bottom().Minimum(), 0.0);
        QCOMPARE(w.Bottom().Maximum(), 100.0);
        QCOMPARE(w.Left().Minimum(), 0.0);
        QCOMPARE(w.Left().Maximum(), 100.0);
        QVERIFY(w.f.messages->shown.isEmpty());

        if (commaDecimal)
            NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        for (const QString& entry : entries) {
            const qsizetype eq = entry.indexOf(u'=');
            Enter(w.Field(entry.left(eq)), entry.mid(eq + 1));
        }
        QCOMPARE(w.Bottom().Minimum(), bottom[0]);
        QCOMPARE(w.Bottom().Maximum(), bottom[1]);
        QCOMPARE(w.Bottom().Increment(), bottom[2]);
        QCOMPARE(w.Left().Minimum(), left[0]);
        QCOMPARE(w.Left().Maximum(), left[1]);
        QCOMPARE(w.Left().Increment(), left[2]);
        QVERIFY(!w.Bottom().Automatic());
        QVERIFY(!w.Left().Automatic());
        QCOMPARE(w.f.messages->shown.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i)
            QVERIFY2(w.f.messages->shown[i] == DefaultError(errors[i]), qPrintable(w.f.messages->shown[i].text));
        // Fields are never filled in or cleared by the program.
        const QString last = entries.constLast();
        QCOMPARE(w.Field(last.left(last.indexOf(u'=')))->Text(), last.mid(last.indexOf(u'=') + 1));
    }

    // A label step of 2 puts the labels 2 apart; 0 gives the axis its own
    // step back.
    void labelStepIsDrawn()
    {
        Window w;
        w.Paste(QStringLiteral("0,0\n10,10\n"));
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        Enter(w.form.XMinValue, QStringLiteral("0"));
        Enter(w.form.XMaxValue, QStringLiteral("10"));
        const QRect rect(QPoint(0, 0), w.form.Chart1->size());
        const double ownStep = ComputeChartLayout(w.form.Chart1->Model(), rect).xTicks.step;
        QVERIFY(ownStep > 0 && ownStep != 2);
        Enter(w.form.XIncValue, QStringLiteral("2"));
        const AxisTicks ticks = ComputeChartLayout(w.form.Chart1->Model(), rect).xTicks;
        QCOMPARE(ticks.step, 2.0);
        QCOMPARE(ticks.values, (QList<double>{0, 2, 4, 6, 8, 10}));
        Enter(w.form.XIncValue, QStringLiteral("0"));
        QCOMPARE(ComputeChartLayout(w.form.Chart1->Model(), rect).xTicks.step, ownStep);
    }

    // A magnification entered by hand re-plots the table with it, whatever
    // the number; a failing plot goes to the default error reporting after
    // the points are plotted.
    void magnification_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<QList<double>>("ys");
        QTest::addColumn<QList<double>>("bottom"); // min, max
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("fails");
        const QList<double> rawX{100, 101, 103}, rawY{101, 102, 103};
        QTest::newRow("X 1000") << "XmagValue" << "1000" << QList<double>{100000, 101000, 103000} << rawY
                                << QList<double>{99250, 103750} << StatusText("1,000", "", "1", "") << false;
        QTest::newRow("X -2") << "XmagValue" << "-2" << QList<double>{-200, -202, -206} << rawY
                              << QList<double>{-207.5, -198.5} << StatusText("-2", "", "1", "") << false;
        QTest::newRow("X 0") << "XmagValue" << "0" << QList<double>{0, 0, 0} << rawY << QList<double>{0, 0}
                             << StatusText("0", "", "1", "") << true;
        QTest::newRow("Y 0.5") << "YmagValue" << "0.5" << rawX << QList<double>{50.5, 51, 51.5}
                               << QList<double>{99.25, 103.75} << StatusText("1", "", "1", "") << false;
        QTest::newRow("Y 0") << "YmagValue" << "0" << rawX << QList<double>{0, 0, 0} << QList<double>{99.25, 103.75}
                             << StatusText("1", "", "0", "") << true;
        QTest::newRow("X abc") << "XmagValue" << "abc" << rawX << rawY << QList<double>{99.25, 103.75}
                               << StatusText("1", "", "1", "") << false;
    }
    void magnification()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QList<double>, xs);
        QFETCH(QList<double>, ys);
        QFETCH(QList<double>, bottom);
        QFETCH(QString, status);
        QFETCH(bool, fails);
        Window w;
        w.Paste(kTable);
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        Enter(w.Field(field), text);
        QCOMPARE(w.probe.xdata(), xs);
        QCOMPARE(w.probe.ydata(), ys);
        QCOMPARE(w.form.Series1->Count(), 3);
        QCOMPARE(w.Bottom().Minimum(), bottom[0]);
        QCOMPARE(w.Bottom().Maximum(), bottom[1]);
        QVERIFY(!w.Bottom().Automatic());
        QCOMPARE(w.form.StatusBar1->SimpleText(), status);
        if (fails) {
            QCOMPARE(w.f.messages->shown.size(), 1);
            const ShownMessage& m = w.f.messages->shown[0];
            QVERIFY2(m == DefaultError(checked::kZeroDivide) || m == DefaultError(checked::kInvalidOp), qPrintable(m.text));
            QCOMPARE(w.form.Series2->Count(), 0);
            QCOMPARE(w.form.Chart1->SubTitle().Text().Count(), 0);
        } else {
            QVERIFY(w.f.messages->shown.isEmpty());
            QCOMPARE(w.form.Series2->Count(), 2);
            QCOMPARE(w.form.Chart1->SubTitle().Text().Count(), 1);
        }
        // A load puts both magnifications back to 1; the field keeps its text.
        w.Paste(kTable);
        QCOMPARE(w.probe.xmag(), 1.0);
        QCOMPARE(w.probe.ymag(), 1.0);
        QCOMPARE(w.probe.xdata(), (QList<double>{100, 101, 103}));
        QCOMPARE(w.Field(field)->Text(), text);
    }

    // With the box unticked the typed magnification replaces the automatic
    // one, while the prefix of the last automatic run stays.
    void typedMagnificationKeepsThePrefix()
    {
        Window w;
        w.Paste(QStringLiteral("5000,1\n6000,2\n7000,4\n"));
        QCOMPARE(w.probe.xtani(), QStringLiteral("K"));
        QCOMPARE(w.probe.xdata(), (QList<double>{5, 6, 7}));
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        Enter(w.form.XmagValue, QStringLiteral("1"));
        QCOMPARE(w.probe.xdata(), (QList<double>{5000, 6000, 7000}));
        QCOMPARE(w.probe.xtani(), QStringLiteral("K"));
        QCOMPARE(w.form.StatusBar1->SimpleText(), StatusText("1", "K", "1", ""));
        QVERIFY(w.f.messages->shown.isEmpty());
    }

    // A re-plot, from the swap switch or a magnification, fits both axes
    // around the data again and leaves them manual; label steps, the box and
    // the fields' texts stay as the user left them.
    void replotRefitsBoundsAndKeepsSteps_data()
    {
        QTest::addColumn<bool>("bySwap");
        QTest::addColumn<QList<double>>("bottom");
        QTest::addColumn<QList<double>>("left");
        QTest::newRow("swap") << true << QList<double>{100.5, 103.5} << QList<double>{99.25, 103.75};
        QTest::newRow("magnification") << false << QList<double>{99.25, 103.75} << QList<double>{201, 207};
    }
    void replotRefitsBoundsAndKeepsSteps()
    {
        QFETCH(bool, bySwap);
        QFETCH(QList<double>, bottom);
        QFETCH(QList<double>, left);
        Window w;
        w.Paste(kTable);
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        Enter(w.form.XMaxValue, QStringLiteral("200"));
        Enter(w.form.XMinValue, QStringLiteral("0"));
        Enter(w.form.XIncValue, QStringLiteral("5"));
        Enter(w.form.YIncValue, QStringLiteral("0.5"));
        QCOMPARE(w.Bottom().Minimum(), 0.0);
        QCOMPARE(w.Bottom().Maximum(), 200.0);

        if (bySwap)
            QTest::mouseClick(w.form.ToggleSwitch1, Qt::LeftButton);
        else
            Enter(w.form.YmagValue, QStringLiteral("2"));
        QVERIFY(w.f.messages->shown.isEmpty());
        QCOMPARE(w.Bottom().Minimum(), bottom[0]);
        QCOMPARE(w.Bottom().Maximum(), bottom[1]);
        QCOMPARE(w.Left().Minimum(), left[0]);
        QCOMPARE(w.Left().Maximum(), left[1]);
        QVERIFY(!w.Bottom().Automatic());
        QVERIFY(!w.Left().Automatic());
        QCOMPARE(w.Bottom().Increment(), 5.0);
        QCOMPARE(w.Left().Increment(), 0.5);
        QVERIFY(!w.form.AutoSize->isChecked());
        QCOMPARE(w.form.XMaxValue->Text(), QStringLiteral("200"));
        QCOMPARE(w.form.XMinValue->Text(), QStringLiteral("0"));
        for (TButtonedEdit* e : w.Fields())
            QVERIFY(e->isEnabled());
        // The typed bounds can be applied again from their fields.
        QTest::mouseClick(CheckMark(w.form.XMaxValue), Qt::LeftButton);
        QTest::mouseClick(CheckMark(w.form.XMinValue), Qt::LeftButton);
        QCOMPARE(w.Bottom().Minimum(), 0.0);
        QCOMPARE(w.Bottom().Maximum(), 200.0);
    }

    // Typing and Enter apply nothing; only the check mark does.
    void onlyTheCheckMarkApplies()
    {
        Window w;
        w.Paste(kTable);
        QTest::mouseClick(w.form.AutoSize, Qt::LeftButton);
        w.form.XMaxValue->setFocus();
        QTest::keyClicks(w.form.XMaxValue, QStringLiteral("500"));
        QTest::keyClick(w.form.XMaxValue, Qt::Key_Return);
        w.form.XMinValue->setFocus();
        QCOMPARE(w.Bottom().Maximum(), 103.75);
        QTest::mouseClick(CheckMark(w.form.XMaxValue), Qt::LeftButton);
        QCOMPARE(w.Bottom().Maximum(), 500.0);
    }
};

QTEST_MAIN(TestScaleTab)
#include "tst_ScaleTab.moc"
