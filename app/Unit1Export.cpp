// The export buttons: the chart as an enhanced metafile or a bitmap, to a
// file or to the clipboard.

#include "Unit1.h"

void TForm1::CopyEMFClick(QObject*) {}
void TForm1::SaveEMFClick(QObject*) {}
void TForm1::CopyBMPClick(QObject*) {}
void TForm1::SaveBMPClick(QObject*) {}
