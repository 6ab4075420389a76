#pragma once
// The automatic magnification of an axis: an engineering unit prefix and the
// factor that brings the axis's largest magnitude between 1 and 1000, and
// the status-bar text that reports both axes.

#include "NumberFormat.h"

#include <QString>

// `value` in scientific notation with 15 significant digits, the shape of
// "%e": optional minus, one digit, the decimal separator, 14 digits, "E",
// the exponent's sign and at least three digits ("1.23450000000000E+003").
QString FormatScientific15(double value, const NumberFormat& f);

// The decimal exponent of that rendering (rounding to 15 digits may carry
// into the next power of ten).
int DecimalExponent15(double value);

// The prefix and factor for an axis whose largest absolute value is `value`
// (-1.0e50 for an axis without numbers, which gives no prefix and 1).
// mag is 1 divided by the double nearest to 10^e for the prefix's exponent
// e, so "n" gives 999999999.9999999. Both outputs are always written.
void CalcMagnification(double value, double& mag, QString& tani);

// "倍率 X= <xmag>　単位 [ <xtani> ]   Y= <ymag>　単位 [ <ytani> ]" with the
// magnifications rounded to whole numbers and grouped by thousands.
QString MagnificationStatusText(double xmag, const QString& xtani, double ymag, const QString& ytani,
                                const NumberFormat& f);
