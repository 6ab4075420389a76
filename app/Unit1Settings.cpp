// The window settings kept between runs: position, size, zoom entry and
// visual style.

#include "Unit1.h"

void TForm1::LoadSettings()
{
    // Window settings are restored once the settings round trip exists.
}

void TForm1::SaveSettings()
{
    // Window settings are saved once the settings round trip exists.
}
