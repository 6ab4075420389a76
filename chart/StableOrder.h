#pragma once
// The order that sorts values ascending while keeping equal values in their
// original order (a stable sort), computed without moving the values.

#include <cstddef>
#include <cstdint>
#include <vector>

// Returns the permutation p with x[p[0]] <= x[p[1]] <= ... and, for equal
// values, p ascending. Returns an empty vector when x is already in order,
// which is the common case for measured tables and costs one pass.
// NaN values sort after every number.
std::vector<std::uint32_t> StableAscendingOrder(const double* x, std::size_t n);
