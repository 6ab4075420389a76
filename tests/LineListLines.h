#pragma once
// The lines of a line list as strings, for comparing in tests.

#include "LineList.h"

#include <QStringList>

inline QStringList AllLines(const LineList& l)
{
    QStringList out;
    for (qsizetype i = 0; i < l.Count(); ++i)
        out << l.Line(i);
    return out;
}
