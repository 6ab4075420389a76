// The scale tab: automatic or manual axes, axis bounds and label steps, and
// magnifications entered by hand.

#include "Chart.h"
#include "Controls.h"
#include "Icons.h"
#include "NumberFormat.h"
#include "TableFormat.h"
#include "Unit1.h"

#include <QCheckBox>

#include <optional>

namespace {

// An entry field's text by the table format's number rule; empty when it is
// not a number.
std::optional<double> FieldNumber(const TButtonedEdit* field)
{
    return ParseNumber(QStringView(field->Text()), NumberFormat::Current());
}

} // namespace

void TForm1::CreateScaleTab()
{
    QWidget* page = TabSheet3;

    AutoSize = MakeCheckBox(page, "AutoSize", QStringLiteral("AutoSize"));
    PlaceControl(AutoSize, 16, 18, 97, 17);
    AutoSize->setChecked(true);
    Bind(AutoSize, &QCheckBox::clicked, &TForm1::AutoSizeClick);

    // Each field applies its text only through the check mark at its right
    // end; it stays locked while the axes are automatic.
    const QIcon checkMark = MakeCheckMarkIcon();
    auto makeField = [&](TButtonedEdit*& field, const char* name, const QString& hint, int top,
                         void (TForm1::*handler)(QObject*)) {
        field = MakeEdit(page, name, hint, checkMark);
        PlaceControl(field, 27, top, 121, 21);
        field->setEnabled(false);
        Bind(field, &TButtonedEdit::RightButtonClick, handler);
    };
    // The gap in the hints is the ideographic space.
    makeField(XMaxValue, "XMaxValue", QStringLiteral("X軸　最大値"), 56, &TForm1::XMaxValueButtonClick);
    makeField(XMinValue, "XMinValue", QStringLiteral("X軸　最小値"), 83, &TForm1::XMinValueButtonClick);
    makeField(XIncValue, "XIncValue", QStringLiteral("X軸　刻み幅"), 110, &TForm1::XIncValueButtonClick);
    makeField(XmagValue, "XmagValue", QStringLiteral("X軸倍率"), 137, &TForm1::XmagValueButtonClick);
    makeField(YMaxValue, "YMaxValue", QStringLiteral("Y軸　最大値"), 182, &TForm1::YMaxValueButtonClick);
    makeField(YMinValue, "YMinValue", QStringLiteral("Y軸　最小値"), 212, &TForm1::YMinValueButtonClick);
    makeField(YIncValue, "YIncValue", QStringLiteral("Y軸　刻み幅"), 239, &TForm1::YIncValueButtonClick);
    makeField(YmagValue, "YmagValue", QStringLiteral("Y軸倍率"), 266, &TForm1::YmagValueButtonClick);
}

// Ticking lets both axes follow the data again without a new plot; unticking
// fixes them at the range they showed last. The fields are usable exactly
// while the box is unticked.
void TForm1::AutoSizeClick(QObject*)
{
    const bool automatic = AutoSize->isChecked();
    Chart1->LeftAxis().SetAutomatic(automatic);
    Chart1->BottomAxis().SetAutomatic(automatic);
    for (TButtonedEdit* field :
         {XMaxValue, XMinValue, XIncValue, XmagValue, YMaxValue, YMinValue, YIncValue, YmagValue})
        field->setEnabled(!automatic);
}

// Bounds and label steps: text that is not a number changes nothing; a bound
// crossing the other one or a negative step is refused by the axis, and the
// refusal reaches the default error reporting.
void TForm1::XMaxValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(XMaxValue))
        Chart1->BottomAxis().SetMaximum(*v);
}

void TForm1::XMinValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(XMinValue))
        Chart1->BottomAxis().SetMinimum(*v);
}

void TForm1::XIncValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(XIncValue))
        Chart1->BottomAxis().SetIncrement(*v);
}

void TForm1::YMaxValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(YMaxValue))
        Chart1->LeftAxis().SetMaximum(*v);
}

void TForm1::YMinValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(YMinValue))
        Chart1->LeftAxis().SetMinimum(*v);
}

void TForm1::YIncValueButtonClick(QObject*)
{
    if (const std::optional<double> v = FieldNumber(YIncValue))
        Chart1->LeftAxis().SetIncrement(*v);
}

// Magnifications: any number is taken, 0 and negative ones too, and the
// table is plotted again with it. A failing plot is not caught here: it goes
// to the default error reporting, and what it did before failing stays.
void TForm1::XmagValueButtonClick(QObject*)
{
    const std::optional<double> v = FieldNumber(XmagValue);
    if (!v)
        return;
    xmag = *v;
    PlotData();
}

void TForm1::YmagValueButtonClick(QObject*)
{
    const std::optional<double> v = FieldNumber(YmagValue);
    if (!v)
        return;
    ymag = *v;
    PlotData();
}
