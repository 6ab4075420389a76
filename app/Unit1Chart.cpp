// The chart tab: title text and fonts, title position, axis names and their
// font, outer and inner colours, the background picture, border and shadow.

#include "Unit1.h"

void TForm1::CreateChartTab() {}

void TForm1::TitleEditBtnButtonClick(QObject*) {}
void TForm1::TitleFontBtnClick(QObject*) {}
void TForm1::SuBTitleFontBtnClick(QObject*) {}
void TForm1::ChartTitleAlignmentClick(QObject*) {}
void TForm1::XAxisEditButtonClick(QObject*) {}
void TForm1::YAxisEditButtonClick(QObject*) {}
void TForm1::AxisFontClick(QObject*) {}
void TForm1::ChartColorBtnClick(QObject*) {}
void TForm1::WallColorBtnClick(QObject*) {}
void TForm1::WallPictureBtnClick(QObject*) {}
void TForm1::BorderCheckClick(QObject*) {}
void TForm1::ChartShadowClick(QObject*) {}
