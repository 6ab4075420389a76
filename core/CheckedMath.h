#pragma once
// Arithmetic on doubles that raises instead of producing infinities or NaNs.
// The statistics and the plotting pipeline rely on a fault stopping the run
// at the step that causes it.

#include "Exceptions.h"

#include <cmath>

namespace checked {

inline const QString kZeroDivide = QStringLiteral("浮動小数点数による 0 除算");
inline const QString kOverflow = QStringLiteral("浮動小数点オーバーフロー");
inline const QString kInvalidOp = QStringLiteral("無効な浮動小数点演算");

// A finite result passes; anything else becomes the matching error.
inline double Check(double r)
{
    if (std::isfinite(r)) [[likely]]
        return r;
    if (std::isnan(r))
        throw EInvalidOp(kInvalidOp);
    throw EOverflow(kOverflow);
}

inline double Div(double a, double b)
{
    if (b == 0.0) [[unlikely]] {
        if (a == 0.0 || std::isnan(a))
            throw EInvalidOp(kInvalidOp);
        throw EZeroDivide(kZeroDivide);
    }
    return Check(a / b);
}

inline double Mul(double a, double b) { return Check(a * b); }
inline double Add(double a, double b) { return Check(a + b); }
inline double Sub(double a, double b) { return Check(a - b); }
inline double Sqrt(double a)
{
    if (a < 0.0)
        throw EInvalidOp(kInvalidOp);
    return Check(std::sqrt(a));
}

} // namespace checked
