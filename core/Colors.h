#pragma once
// Colour values as the program stores and exchanges them: 0x00BBGGRR for a
// plain colour (red in the low byte), 0xFF in the high byte for a system
// colour with its index in the low byte, and clSeriesColor for "the colour of
// the owning series".

#include <QColor>
#include <cstdint>

using TColor = std::int32_t;

constexpr TColor RGBColor(int r, int g, int b)
{
    return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clSilver = RGBColor(192, 192, 192);
constexpr TColor clSeriesColor = TColor(0x20000000);
constexpr TColor clNone = TColor(0x1FFFFFFF);
constexpr TColor clBtnFace = TColor(0xFF00000F);
constexpr TColor clWindowText = TColor(0xFF000008);
constexpr TColor clWindow = TColor(0xFF000005);

// The colour to paint with. System colours map to the running style's
// palette; the series-colour value has no meaning on its own and maps to
// black (callers resolve it against their series first).
QColor ToQColor(TColor c);
// The plain colour value of a QColor (alpha dropped).
TColor FromQColor(const QColor& c);
