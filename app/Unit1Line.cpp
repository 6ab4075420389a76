// The line tab: colour, width, style and visibility of the regression line,
// colour, size and shape of the markers, and the XY swap.

#include "Chart.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {

// Width and size fields: whole numbers from 1 to 100. They carry no caption
// of their own, so assistive tools get a name that says what they set.
TSpinEdit* MakeSizeField(QWidget* page, const char* name, int value, const QString& accessibleName)
{
    auto* s = new TSpinEdit(page);
    s->setObjectName(QString::fromLatin1(name));
    s->SetMinValue(1);
    s->SetMaxValue(100);
    s->SetValue(value);
    s->setAccessibleName(accessibleName);
    return s;
}

} // namespace

void TForm1::CreateLineTab()
{
    QWidget* page = TabSheet2;

    SeriesColorBtn = MakeButton(page, "SeriesColorBtn", QStringLiteral("ライン色"));
    PlaceControl(SeriesColorBtn, 16, 22, 75, 25);
    Bind(SeriesColorBtn, &QPushButton::clicked, &TForm1::SeriesColorBtnClick);

    SeriesSize = MakeSizeField(page, "SeriesSize", 1, QStringLiteral("ライン幅"));
    PlaceControl(SeriesSize, 97, 24, 41, 22);
    Bind(SeriesSize, &TSpinEdit::Change, &TForm1::SeriesSizeChange);

    SeriesStyle = new TRadioGroup(page, QStringLiteral("ラインスタイル"),
                                  {QStringLiteral("Solid"), QStringLiteral("Dash"), QStringLiteral("Dot"),
                                   QStringLiteral("DashDot"), QStringLiteral("DashDotDot")});
    SeriesStyle->setObjectName(QStringLiteral("SeriesStyle"));
    PlaceControl(SeriesStyle, 16, 69, 137, 105);
    SeriesStyle->SetItemIndex(0);
    Bind(SeriesStyle, &TRadioGroup::Click, &TForm1::SeriesStyleClick);

    LineVisibleCheck = MakeCheckBox(page, "LineVisibleCheck", QStringLiteral("ラインを表示する"));
    PlaceControl(LineVisibleCheck, 24, 180, 113, 17);
    LineVisibleCheck->setChecked(true);
    Bind(LineVisibleCheck, &QCheckBox::clicked, &TForm1::LineVisibleCheckClick);

    MarkerColorBtn = MakeButton(page, "MarkerColorBtn", QStringLiteral("マーカー色"));
    PlaceControl(MarkerColorBtn, 16, 214, 75, 25);
    Bind(MarkerColorBtn, &QPushButton::clicked, &TForm1::MarkerColorBtnClick);

    MarkerSize = MakeSizeField(page, "MarkerSize", 4, QStringLiteral("マーカーサイズ"));
    PlaceControl(MarkerSize, 97, 216, 40, 22);
    Bind(MarkerSize, &TSpinEdit::Change, &TForm1::MarkerSizeChange);

    MarkerStyle = new TRadioGroup(page, QStringLiteral("マーカースタイル"),
                                  {QStringLiteral("Rectangle"), QStringLiteral("Circle"), QStringLiteral("Triangle"),
                                   QStringLiteral("Diamond")});
    MarkerStyle->setObjectName(QStringLiteral("MarkerStyle"));
    PlaceControl(MarkerStyle, 16, 260, 129, 102);
    MarkerStyle->SetItemIndex(1);
    Bind(MarkerStyle, &TRadioGroup::Click, &TForm1::MarkerStyleClick);

    Label1 = new QLabel(QStringLiteral("XY軸データ入れ替え"), page);
    Label1->setObjectName(QStringLiteral("Label1"));
    // The label sizes itself to its caption, so a face wider than the one
    // the design was measured with does not cut the caption off.
    const QSize labelSize = Label1->sizeHint().expandedTo(QSize(96, 13));
    PlaceControl(Label1, 24, 368, labelSize.width(), labelSize.height());
    ToggleSwitch1 = new TToggleSwitch(page);
    ToggleSwitch1->setObjectName(QStringLiteral("ToggleSwitch1"));
    PlaceControl(ToggleSwitch1, 64, 395, 74, 20);
    ToggleSwitch1->setAccessibleName(Label1->text());
    Label1->setBuddy(ToggleSwitch1);
    Bind(ToggleSwitch1, &QAbstractButton::clicked, &TForm1::ToggleSwitch1Click);
}

// The colour dialog opens on the colour last confirmed by any colour button.
void TForm1::SeriesColorBtnClick(QObject*)
{
    if (ColorDialog1->Execute())
        Series2->SetSeriesColor(ColorDialog1->Color());
}

// Takes the typed value at once, before the field clamps it on leaving; the
// series ignores a negative width.
void TForm1::SeriesSizeChange(QObject*) { Series2->LinePen().SetWidth(SeriesSize->Value()); }

void TForm1::SeriesStyleClick(QObject*)
{
    switch (SeriesStyle->ItemIndex()) {
    case 0: Series2->LinePen().SetStyle(psSolid); break;
    case 1: Series2->LinePen().SetStyle(psDash); break;
    case 2: Series2->LinePen().SetStyle(psDot); break;
    case 3: Series2->LinePen().SetStyle(psDashDot); break;
    case 4: Series2->LinePen().SetStyle(psDashDotDot); break;
    default: break; // nothing selected: the line keeps its style
    }
}

// A hidden line keeps its points; a plot meanwhile fills it and leaves it
// hidden.
void TForm1::LineVisibleCheckClick(QObject*) { Series2->SetActive(LineVisibleCheck->isChecked()); }

void TForm1::MarkerColorBtnClick(QObject*)
{
    if (ColorDialog1->Execute())
        Series1->SetSeriesColor(ColorDialog1->Color());
}

// The series takes a size below 1 as 1.
void TForm1::MarkerSizeChange(QObject*) { Series1->Pointer().SetSize(MarkerSize->Value()); }

void TForm1::MarkerStyleClick(QObject*)
{
    switch (MarkerStyle->ItemIndex()) {
    case 0: Series1->Pointer().SetStyle(psRectangle); break;
    case 1: Series1->Pointer().SetStyle(psCircle); break;
    case 2: Series1->Pointer().SetStyle(psTriangle); break;
    case 3: Series1->Pointer().SetStyle(psDiamond); break;
    default: break; // nothing selected: the markers keep their shape
    }
}

// The plot reads the switch's new state; with fewer than two lines it does
// nothing and only the switch changes.
void TForm1::ToggleSwitch1Click(QObject*)
{
    PlotDataReportingFailure();
}
