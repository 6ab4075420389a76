#include "StableOrder.h"

#include "Parallel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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

// The double a key stands for.
inline double KeyValue(std::uint64_t k)
{
    const std::uint64_t b = (k >> 63) ? (k & ~(std::uint64_t(1) << 63)) : ~k;
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
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

namespace {

// Runs f(part) for part 0 and 1 of a two-way split, on two threads when the
// work is large enough to pay for one (and a second thread can be had).
template <class F>
void TwoWays(std::size_t n, F f)
{
    if (n < 200000) {
        f(0);
        f(1);
        return;
    }
    InParallel([&] { f(0); }, [&] { f(1); });
}

} // namespace

std::vector<std::uint32_t> StableAscendingOrder(const double* x, std::size_t n)
{
    if (n < 2)
        return {};
    const std::size_t half = n / 2;
    const std::size_t begin[2] = {0, half}, end[2] = {half, n};

    // Range of the keys and whether they are in order already.
    std::uint64_t lo[2], hi[2];
    bool ordered[2];
    TwoWays(n, [&](int part) {
        std::uint64_t a = ~std::uint64_t(0), b = 0, prev = 0;
        bool ok = true;
        for (std::size_t i = begin[part]; i < end[part]; ++i) {
            const std::uint64_t k = Key(x[i]);
            ok &= k >= prev;
            prev = k;
            a = std::min(a, k);
            b = std::max(b, k);
        }
        lo[part] = a;
        hi[part] = b;
        ordered[part] = ok;
    });
    if (ordered[0] && ordered[1] && Key(x[half - 1]) <= Key(x[half]))
        return {};
    const std::uint64_t minKey = std::min(lo[0], lo[1]);
    const std::uint64_t maxKey = std::max(hi[0], hi[1]);

    // Distribute the indices into buckets that split the value range
    // evenly (by the top bits of the key when the range is not finite).
    // Each half walks its indices in order and the first half's go first in
    // every bucket, so each bucket's indices stay ascending: the
    // distribution is stable and only the buckets need sorting.
    // A range of a few denormals has more buckets per unit than a double
    // holds, so it goes by the keys too.
    const double vmin = KeyValue(minKey), vmax = KeyValue(maxKey);
    const std::size_t linearBuckets = std::size_t(1) << 16;
    const double linearScale = double(linearBuckets) / (vmax - vmin);
    const bool linear = std::isfinite(vmin) && std::isfinite(vmax) && std::isfinite(vmax - vmin)
        && std::isfinite(linearScale);
    const double scale = linear ? linearScale : 0.0;
    const std::uint64_t range = maxKey - minKey;
    const int shift = std::max(0, (64 - std::countl_zero(range)) - 16);
    const std::size_t buckets = linear ? linearBuckets : std::size_t(range >> shift) + 1;
    auto bucketOf = [&](double v) -> std::size_t {
        if (linear)
            return std::min(linearBuckets - 1, std::size_t((v - vmin) * scale));
        return std::size_t((Key(v) - minKey) >> shift);
    };
    std::vector<std::uint32_t> counts[2];
    TwoWays(n, [&](int part) {
        std::vector<std::uint32_t>& c = counts[part];
        c.assign(buckets, 0);
        for (std::size_t i = begin[part]; i < end[part]; ++i)
            ++c[bucketOf(x[i])];
    });
    std::vector<std::uint32_t> start(buckets + 1, 0);
    for (std::size_t b = 0; b < buckets; ++b)
        start[b + 1] = start[b] + counts[0][b] + counts[1][b];
    // counts[] become each half's next free slot per bucket.
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::uint32_t first = counts[0][b];
        counts[0][b] = start[b];
        counts[1][b] = start[b] + first;
    }
    std::vector<std::uint32_t> order(n);
    TwoWays(n, [&](int part) {
        std::vector<std::uint32_t>& fill = counts[part];
        for (std::size_t i = begin[part]; i < end[part]; ++i)
            order[fill[bucketOf(x[i])]++] = std::uint32_t(i);
    });

    // Sort the buckets, split where half of the points lie.
    const std::size_t mid = std::size_t(
        std::upper_bound(start.begin(), start.end(), std::uint32_t(n / 2)) - start.begin() - 1);
    TwoWays(n, [&](int part) {
        std::vector<KeyIndex> scratch;
        const std::size_t b0 = part == 0 ? 0 : mid, b1 = part == 0 ? mid : buckets;
        for (std::size_t b = b0; b < b1; ++b)
            SortBucket(x, order.data() + start[b], order.data() + start[b + 1], scratch);
    });
    return order;
}
