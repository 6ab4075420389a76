// The usage tab: the visual style and zoom of the window, the version line
// and the usage notes.

#include "Unit1.h"

void TForm1::CreateFormTab() {}

void TForm1::FillStyleList()
{
    // The style list arrives with the style selection; nothing to list yet.
}

void TForm1::StyleSelecterChange(QObject*) {}
void TForm1::ScaleComboBoxChange(QObject*) {}
