#include "train/NarrowDot.h"

#include <cstring>

namespace zortan::train {

double narrowDotPortable(const float* a, const double* b, size_t n) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i) s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

#ifdef ZORTAN_WIDE_KERNELS
namespace {

template <int Lanes>
struct LanesOf {
    typedef double doubles __attribute__((vector_size(Lanes * 8)));
    typedef float singles __attribute__((vector_size(Lanes * 4)));
};

// Two accumulators of `Lanes` doubles; the singles widened as they load.
template <int Lanes>
[[gnu::always_inline]] inline double wideDot(const float* a, const double* b, size_t n) {
    using D = typename LanesOf<Lanes>::doubles;
    using F = typename LanesOf<Lanes>::singles;
    D acc0 = {}, acc1 = {};
    size_t i = 0;
    for (; i + 2 * Lanes <= n; i += 2 * Lanes) {
        F fa, fb;
        D da, db;
        std::memcpy(&fa, a + i, sizeof fa);
        std::memcpy(&fb, a + i + Lanes, sizeof fb);
        std::memcpy(&da, b + i, sizeof da);
        std::memcpy(&db, b + i + Lanes, sizeof db);
        acc0 += __builtin_convertvector(fa, D) * da;
        acc1 += __builtin_convertvector(fb, D) * db;
    }
    acc0 += acc1;
    double lanes[Lanes];
    std::memcpy(lanes, &acc0, sizeof lanes);
    double s = 0.0;
    for (int j = 0; j < Lanes; ++j) s += lanes[j];
    for (; i < n; ++i) s += a[i] * b[i];
    return s;
}

ZORTAN_TARGET_X86_64_V3 double narrowDotV3(const float* a, const double* b, size_t n) {
    return wideDot<4>(a, b, n);
}

ZORTAN_TARGET_X86_64_V4 double narrowDotV4(const float* a, const double* b, size_t n) {
    return wideDot<8>(a, b, n);
}

}  // namespace
#endif

NarrowDot narrowDotFor(fast::InstructionSet set) {
#ifdef ZORTAN_WIDE_KERNELS
    if (set == fast::InstructionSet::X86_64_V4) return narrowDotV4;
    if (set == fast::InstructionSet::X86_64_V3) return narrowDotV3;
#endif
    (void)set;
    return narrowDotPortable;
}

}  // namespace zortan::train
