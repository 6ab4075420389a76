#pragma once
// Font faces for the chart's texts. The chart names a face; where that face
// is missing, a Japanese-capable sans face takes its place so Japanese text
// always shows real glyphs.

#include <QFont>
#include <QString>

// The face the chart's titles and labels start with.
QString DefaultChartFontName();
// A font for the named face with the fallback chain behind it.
QFont ChartFontFace(const QString& name);
