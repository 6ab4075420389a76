#include "StableOrder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

namespace {

// A key whose unsigned order is the numeric order of the double. Zero of
// either sign maps to one key, so -0.0 and 0.0 count as equal; NaNs land
// after +infinity.
inline std::uint64_t Key(double v)
{
    if (v == 0.0)
        v = 0.0;
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    if (v != v)
        return ~std::uint64_t(0);
    return (b >> 63) ? ~b : (b | (std::uint64_t(1) << 63));
}

struct KeyIndex {
    std::uint64_t key;
    std::uint32_t index;
};

// Sorts one bucket of indices (already in ascending index order) by key.
void SortBucket(const double* x, std::uint32_t* first, std::uint32_t* last, std::vector<KeyIndex>& scratch)
{
    const std::size_t n = std::size_t(last - first);
    if (n < 2)
        return;
    bool ordered = true;
    std::uint64_t prev = Key(x[first[0]]);
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint64_t k = Key(x[first[i]]);
        if (k < prev) {
            ordered = false;
            break;
        }
        prev = k;
    }
    if (ordered)
        return;
    scratch.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        scratch[i] = {Key(x[first[i]]), first[i]};
    std::sort(scratch.begin(), scratch.end(), [](const KeyIndex& a, const KeyIndex& b) {
        return a.key < b.key || (a.key == b.key && a.index < b.index);
    });
    for (std::size_t i = 0; i < n; ++i)
        first[i] = scratch[i].index;
}

} // namespace

std::vector<std::uint32_t> StableAscendingOrder(const double* x, std::size_t n)
{
    if (n < 2)
        return {};
    std::uint64_t minKey = Key(x[0]), maxKey = minKey, prev = minKey;
    bool ordered = true;
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint64_t k = Key(x[i]);
        ordered &= k >= prev;
        prev = k;
        minKey = std::min(minKey, k);
        maxKey = std::max(maxKey, k);
    }
    if (ordered)
        return {};

    // Distribute the indices into buckets by the top bits of (key - min);
    // walking in index order keeps each bucket's indices ascending, so the
    // distribution is stable and only the buckets need sorting.
    const std::uint64_t range = maxKey - minKey;
    const int bucketBits = 16;
    const int rangeBits = 64 - std::countl_zero(range);
    const int shift = std::max(0, rangeBits - bucketBits);
    const std::size_t buckets = std::size_t(range >> shift) + 1;
    std::vector<std::uint32_t> start(buckets + 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        ++start[std::size_t((Key(x[i]) - minKey) >> shift) + 1];
    for (std::size_t b = 0; b < buckets; ++b)
        start[b + 1] += start[b];
    std::vector<std::uint32_t> order(n);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i)
            order[fill[std::size_t((Key(x[i]) - minKey) >> shift)]++] = std::uint32_t(i);
    }

    // Sort the buckets, the two halves of the bucket range on two threads
    // when the table is large enough to pay for a thread.
    auto sortRange = [&](std::size_t b0, std::size_t b1) {
        std::vector<KeyIndex> scratch;
        for (std::size_t b = b0; b < b1; ++b)
            SortBucket(x, order.data() + start[b], order.data() + start[b + 1], scratch);
    };
    if (n >= 200000) {
        // Split where half of the points lie, not half of the buckets.
        const std::size_t mid = std::size_t(
            std::upper_bound(start.begin(), start.end(), std::uint32_t(n / 2)) - start.begin() - 1);
        std::thread other(sortRange, mid, buckets);
        sortRange(0, mid);
        other.join();
    } else {
        sortRange(0, buckets);
    }
    return order;
}
