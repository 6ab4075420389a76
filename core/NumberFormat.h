#pragma once
// The user's regional number settings. Taken from the system once at start
// and passed explicitly wherever numbers are read or written, so tests can
// run under another locale without touching global state.

#include <QChar>
#include <QString>

struct NumberFormat {
    QChar decimalSeparator = u'.';
    QChar thousandsSeparator = u',';

    static NumberFormat System();
    // The format the program runs with; System() unless a test replaced it.
    static const NumberFormat& Current();
    static void SetCurrent(const NumberFormat& f);
};

// "#,##0" and "#,##0.###" style patterns: rounded to `maxDecimals` places
// (half away from zero), trailing zeros dropped, thousands grouped by three.
QString FormatGrouped(double value, int maxDecimals, const NumberFormat& f);
// "%.Nf": fixed point with exactly `decimals` places and no grouping; a
// negative value (negative zero included) keeps its "-" even when it rounds
// to zero, as "%.3f" writes -0.0004 as "-0.000".
QString FormatFixed(double value, int decimals, const NumberFormat& f);
