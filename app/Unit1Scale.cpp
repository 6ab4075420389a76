// The scale tab: automatic or manual axes, axis bounds and label steps, and
// magnifications entered by hand.

#include "Controls.h"
#include "Unit1.h"

#include <QCheckBox>

void TForm1::CreateScaleTab()
{
    AutoSize = new QCheckBox(QStringLiteral("AutoSize"), TabSheet3);
    AutoSize->setObjectName(QStringLiteral("AutoSize"));
    PlaceControl(AutoSize, 16, 18, 97, 17);
    AutoSize->setChecked(true);
}

void TForm1::AutoSizeClick(QObject*) {}
void TForm1::XMaxValueButtonClick(QObject*) {}
void TForm1::XMinValueButtonClick(QObject*) {}
void TForm1::XIncValueButtonClick(QObject*) {}
void TForm1::XmagValueButtonClick(QObject*) {}
void TForm1::YMaxValueButtonClick(QObject*) {}
void TForm1::YMinValueButtonClick(QObject*) {}
void TForm1::YIncValueButtonClick(QObject*) {}
void TForm1::YmagValueButtonClick(QObject*) {}
