// Dot products of padded component vectors, written once for any vector
// width: each build of a caller (base/Dispatch.h) inlines them for the
// width of its own instruction set.
#pragma once

#include <array>
#include <cstring>

#include "tree/QuantizationTree.h"

namespace zortan::fast {

// Components padded with zeros to whole vectors of the widest vector unit.
constexpr int kPaddedComponents = 136;
using PaddedVector = std::array<double, kPaddedComponents>;
static_assert(kPaddedComponents >= kComponents);

// The portable version, and the one other compilers build: four partial
// sums per product, so that its additions do not wait for each other.
inline void portablePairedDots(const double* const* x, const double* const* w, int count,
                               double* dots) {
    for (int j = 0; j < count; ++j) {
        double s[4] = {};
        for (int i = 0; i < kPaddedComponents; ++i) s[i & 3] += x[j][i] * w[j][i];
        dots[j] = (s[0] + s[1]) + (s[2] + s[3]);
    }
}

#if defined(__GNUC__)
namespace vectors {

template <int Bytes>
struct LanesOf {
    typedef double type __attribute__((vector_size(Bytes)));
};

template <int Bytes>
using Lanes = typename LanesOf<Bytes>::type;

template <int Bytes>
[[gnu::always_inline]] inline void load(Lanes<Bytes>& v, const double* p) {
    std::memcpy(&v, p, sizeof v);
}

// The lanes of `v` added pairwise, halves onto halves.
template <int Bytes>
[[gnu::always_inline]] inline double lanesSum(const Lanes<Bytes>& v) {
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    double l[kLanes];
    std::memcpy(l, &v, sizeof l);
    for (int width = kLanes / 2; width > 0; width /= 2)
        for (int j = 0; j < width; ++j) l[j] += l[j + width];
    return l[0];
}

// `Count` dot products of the pairs x[j], w[j] at once, two accumulators
// each, so that the additions of one product do not wait for each other.
template <int Bytes, int Count>
[[gnu::always_inline]] inline void vectorDots(const double* const* x, const double* const* w,
                                              double* dots) {
    using V = Lanes<Bytes>;
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    static_assert(kPaddedComponents % kLanes == 0);
    V acc[Count][2] = {};
    V x0, x1, y;
    int i = 0;
    for (; i + 2 * kLanes <= kPaddedComponents; i += 2 * kLanes)
        for (int j = 0; j < Count; ++j) {
            load<Bytes>(x0, x[j] + i);
            load<Bytes>(x1, x[j] + i + kLanes);
            load<Bytes>(y, w[j] + i);
            acc[j][0] += x0 * y;
            load<Bytes>(y, w[j] + i + kLanes);
            acc[j][1] += x1 * y;
        }
    if (i < kPaddedComponents)
        for (int j = 0; j < Count; ++j) {
            load<Bytes>(x0, x[j] + i);
            load<Bytes>(y, w[j] + i);
            acc[j][0] += x0 * y;
        }
    for (int j = 0; j < Count; ++j) dots[j] = lanesSum<Bytes>(acc[j][0] + acc[j][1]);
}

}  // namespace vectors
#endif

// The dot products of each x[j] with w[j] (j below count) over all
// kPaddedComponents entries, into `dots`, in vectors of `Bytes` bytes.
// Four pairs at a time: their products overlap, and the eight accumulators
// with their vectors still fit the registers.
template <int Bytes>
[[gnu::always_inline]] inline void pairedDots(const double* const* x, const double* const* w,
                                              int count, double* dots) {
#if defined(__GNUC__)
    using vectors::vectorDots;
    int j = 0;
    for (; j + 4 <= count; j += 4) vectorDots<Bytes, 4>(x + j, w + j, dots + j);
    switch (count - j) {
        case 3:
            vectorDots<Bytes, 3>(x + j, w + j, dots + j);
            break;
        case 2:
            vectorDots<Bytes, 2>(x + j, w + j, dots + j);
            break;
        case 1:
            vectorDots<Bytes, 1>(x + j, w + j, dots + j);
            break;
        default:
            break;
    }
#else
    portablePairedDots(x, w, count, dots);
#endif
}

}  // namespace zortan::fast
