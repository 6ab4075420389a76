#pragma once
// Doubles compared bit for bit, where a rule fixes the exact result.
// QCOMPARE on doubles allows a relative difference of about 1e-12, so it
// cannot tell 999999999.9999999 from 1e9.

#include <QByteArray>
#include <QTest>

#include <bit>
#include <cstdint>

namespace exactdouble {

inline bool SameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline QByteArray Describe(double actual, double expected)
{
    return "actual " + QByteArray::number(actual, 'g', 17) + ", expected " + QByteArray::number(expected, 'g', 17);
}

} // namespace exactdouble

#define QCOMPARE_EXACT(actual, expected)                                                                        \
    do {                                                                                                        \
        const double actual_ = (actual);                                                                        \
        const double expected_ = (expected);                                                                    \
        QVERIFY2(exactdouble::SameBits(actual_, expected_),                                                    \
                 (#actual ": " + exactdouble::Describe(actual_, expected_)).constData());                       \
    } while (false)
