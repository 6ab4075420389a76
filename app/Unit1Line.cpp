// The line tab: colour, width, style and visibility of the regression line,
// colour, size and shape of the markers, and the XY swap.

#include "Controls.h"
#include "Unit1.h"

#include <QLabel>

void TForm1::CreateLineTab()
{
    Label1 = new QLabel(QStringLiteral("XY軸データ入れ替え"), TabSheet2);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceControl(Label1, 24, 368, 96, 13);
    ToggleSwitch1 = new TToggleSwitch(TabSheet2);
    ToggleSwitch1->setObjectName(QStringLiteral("ToggleSwitch1"));
    PlaceControl(ToggleSwitch1, 64, 395, 74, 20);
    ToggleSwitch1->setAccessibleName(Label1->text());
    Label1->setBuddy(ToggleSwitch1);
    Bind(ToggleSwitch1, &QAbstractButton::clicked, &TForm1::ToggleSwitch1Click);
}

void TForm1::SeriesColorBtnClick(QObject*) {}
void TForm1::SeriesSizeChange(QObject*) {}
void TForm1::SeriesStyleClick(QObject*) {}
void TForm1::LineVisibleCheckClick(QObject*) {}
void TForm1::MarkerColorBtnClick(QObject*) {}
void TForm1::MarkerSizeChange(QObject*) {}
void TForm1::MarkerStyleClick(QObject*) {}

void TForm1::ToggleSwitch1Click(QObject*)
{
    PlotDataReportingFailure();
}
