#include "tree/VectorSums.h"

#include <cstring>

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__) && \
    defined(__ELF__)
#define ZORTAN_WIDE_KERNELS 1
#endif

namespace zortan {

namespace {

#if defined(__GNUC__)
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

// The sums in vectors of `Bytes` bytes, two per sum: instantiated for the
// baseline and, on x86-64, inside functions built for wider vector units.
template <int Bytes>
[[gnu::always_inline]] inline void vectorSums(const double* e, const double* a, const double* b,
                                              const double* w, int n, double& sumA, double& sumB) {
    using V = Lanes<Bytes>;
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    V a0{}, a1{}, b0{}, b1{}, e0, e1, x0, x1, w0, w1;
    int i = 0;
    for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
        load<Bytes>(e0, e + i);
        load<Bytes>(e1, e + i + kLanes);
        load<Bytes>(x0, a + i);
        load<Bytes>(x1, a + i + kLanes);
        V da0 = e0 - x0, da1 = e1 - x1;
        load<Bytes>(x0, b + i);
        load<Bytes>(x1, b + i + kLanes);
        V db0 = e0 - x0, db1 = e1 - x1;
        if (w != nullptr) {
            load<Bytes>(w0, w + i);
            load<Bytes>(w1, w + i + kLanes);
            da0 *= w0;
            da1 *= w1;
            db0 *= w0;
            db1 *= w1;
        }
        a0 += da0 * da0;
        a1 += da1 * da1;
        b0 += db0 * db0;
        b1 += db1 * db1;
    }
    double sa = lanesSum<Bytes>(a0 + a1), sb = lanesSum<Bytes>(b0 + b1);
    for (; i < n; ++i) {
        const double m = w == nullptr ? 1.0 : w[i];
        const double da = (e[i] - a[i]) * m, db = (e[i] - b[i]) * m;
        sa += da * da;
        sb += db * db;
    }
    sumA = sa;
    sumB = sb;
}

// `Count` dot products at once, two accumulators each, so that the additions
// of one product do not wait for each other: of x[0] with each w[j] when
// OneX, else of each pair x[j], w[j].
template <int Bytes, int Count, bool OneX>
[[gnu::always_inline]] inline void vectorDots(const double* const* x, const double* const* w,
                                              double* dots) {
    using V = Lanes<Bytes>;
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    static_assert(kPaddedComponents % kLanes == 0);
    V acc[Count][2] = {};
    V x0, x1, y;
    int i = 0;
    for (; i + 2 * kLanes <= kPaddedComponents; i += 2 * kLanes) {
        if constexpr (OneX) {
            load<Bytes>(x0, x[0] + i);
            load<Bytes>(x1, x[0] + i + kLanes);
        }
        for (int j = 0; j < Count; ++j) {
            if constexpr (!OneX) {
                load<Bytes>(x0, x[j] + i);
                load<Bytes>(x1, x[j] + i + kLanes);
            }
            load<Bytes>(y, w[j] + i);
            acc[j][0] += x0 * y;
            load<Bytes>(y, w[j] + i + kLanes);
            acc[j][1] += x1 * y;
        }
    }
    if (i < kPaddedComponents) {
        if constexpr (OneX) load<Bytes>(x0, x[0] + i);
        for (int j = 0; j < Count; ++j) {
            if constexpr (!OneX) load<Bytes>(x0, x[j] + i);
            load<Bytes>(y, w[j] + i);
            acc[j][0] += x0 * y;
        }
    }
    for (int j = 0; j < Count; ++j) dots[j] = lanesSum<Bytes>(acc[j][0] + acc[j][1]);
}

template <int Bytes>
[[gnu::always_inline]] inline void paddedDots(const double* x, const double* const* w, int count,
                                              double* dots) {
    const double* const one[1] = {x};
    if (count >= 3)
        vectorDots<Bytes, 3, true>(one, w, dots);
    else if (count == 2)
        vectorDots<Bytes, 2, true>(one, w, dots);
    else
        vectorDots<Bytes, 1, true>(one, w, dots);
}

// Four pairs at a time: their products overlap, the loads of eight
// accumulators and their vectors still fit the registers.
template <int Bytes>
[[gnu::always_inline]] inline void pairedDots(const double* const* x, const double* const* w,
                                              int count, double* dots) {
    int j = 0;
    for (; j + 4 <= count; j += 4) vectorDots<Bytes, 4, false>(x + j, w + j, dots + j);
    switch (count - j) {
        case 3:
            vectorDots<Bytes, 3, false>(x + j, w + j, dots + j);
            break;
        case 2:
            vectorDots<Bytes, 2, false>(x + j, w + j, dots + j);
            break;
        case 1:
            vectorDots<Bytes, 1, false>(x + j, w + j, dots + j);
            break;
        default:
            break;
    }
}

void baselineSums(const double* e, const double* a, const double* b, const double* w, int n,
                  double& sumA, double& sumB) {
    vectorSums<16>(e, a, b, w, n, sumA, sumB);
}
void baselineDots(const double* x, const double* const* w, int count, double* dots) {
    paddedDots<16>(x, w, count, dots);
}
void baselinePairedDots(const double* const* x, const double* const* w, int count, double* dots) {
    pairedDots<16>(x, w, count, dots);
}
#else
void baselineSums(const double* e, const double* a, const double* b, const double* w, int n,
                  double& sumA, double& sumB) {
    double sa[4] = {}, sb[4] = {};
    for (int i = 0; i < n; ++i) {
        const double m = w == nullptr ? 1.0 : w[i];
        const double da = (e[i] - a[i]) * m, db = (e[i] - b[i]) * m;
        sa[i & 3] += da * da;
        sb[i & 3] += db * db;
    }
    sumA = (sa[0] + sa[1]) + (sa[2] + sa[3]);
    sumB = (sb[0] + sb[1]) + (sb[2] + sb[3]);
}
void baselineDots(const double* x, const double* const* w, int count, double* dots) {
    for (int j = 0; j < count && j < 3; ++j) {
        double s[4] = {};
        for (int i = 0; i < kPaddedComponents; ++i) s[i & 3] += x[i] * w[j][i];
        dots[j] = (s[0] + s[1]) + (s[2] + s[3]);
    }
}
void baselinePairedDots(const double* const* x, const double* const* w, int count, double* dots) {
    for (int j = 0; j < count; ++j) baselineDots(x[j], w + j, 1, dots + j);
}
#endif

#ifdef ZORTAN_WIDE_KERNELS
[[gnu::target("arch=x86-64-v3")]] void sums256(const double* e, const double* a, const double* b,
                                               const double* w, int n, double& sumA, double& sumB) {
    vectorSums<32>(e, a, b, w, n, sumA, sumB);
}
[[gnu::target("arch=x86-64-v4")]] void sums512(const double* e, const double* a, const double* b,
                                               const double* w, int n, double& sumA, double& sumB) {
    vectorSums<64>(e, a, b, w, n, sumA, sumB);
}
[[gnu::target("arch=x86-64-v3")]] void dots256(const double* x, const double* const* w, int count,
                                               double* dots) {
    paddedDots<32>(x, w, count, dots);
}
[[gnu::target("arch=x86-64-v4")]] void dots512(const double* x, const double* const* w, int count,
                                               double* dots) {
    paddedDots<64>(x, w, count, dots);
}
[[gnu::target("arch=x86-64-v3")]] void pairedDots256(const double* const* x, const double* const* w,
                                                     int count, double* dots) {
    pairedDots<32>(x, w, count, dots);
}
[[gnu::target("arch=x86-64-v4")]] void pairedDots512(const double* const* x, const double* const* w,
                                                     int count, double* dots) {
    pairedDots<64>(x, w, count, dots);
}
#endif

}  // namespace

// The processor's features are read once, by the runtime, before the
// program starts.
PairSums bestPairSums() {
#ifdef ZORTAN_WIDE_KERNELS
    if (__builtin_cpu_supports("x86-64-v4")) return &sums512;
    if (__builtin_cpu_supports("x86-64-v3")) return &sums256;
#endif
    return &baselineSums;
}

PaddedDots bestPaddedDots() {
#ifdef ZORTAN_WIDE_KERNELS
    if (__builtin_cpu_supports("x86-64-v4")) return &dots512;
    if (__builtin_cpu_supports("x86-64-v3")) return &dots256;
#endif
    return &baselineDots;
}

PairedDots bestPairedDots() {
#ifdef ZORTAN_WIDE_KERNELS
    if (__builtin_cpu_supports("x86-64-v4")) return &pairedDots512;
    if (__builtin_cpu_supports("x86-64-v3")) return &pairedDots256;
#endif
    return &baselinePairedDots;
}

}  // namespace zortan
