#include "analysis/FrameKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef ZORTAN_WIDE_KERNELS
#include <immintrin.h>
#endif
#if defined(ZORTAN_WIDE_KERNELS) && defined(ZORTAN_HAVE_MVEC)
// glibc's vector logarithm of four doubles (the x86-64 vector ABI's name for
// log's AVX2 build).
extern "C" __m256d _ZGVdN4v_log(__m256d x);
// ... and its AVX-512 build, of eight.
extern "C" __m512d _ZGVeN8v_log(__m512d x);
#define ZORTAN_VECTOR_LOG 1
#endif

namespace zortan::analysis {

namespace {

[[gnu::always_inline]] inline void emphasiseBody(const int16_t* frame, int16_t previous, double a,
                                                 const double* window, double* x, size_t n) {
    x[0] = (frame[0] - a * previous) * window[0];
    for (size_t i = 1; i < n; ++i) x[i] = (frame[i] - a * frame[i - 1]) * window[i];
}

[[gnu::always_inline]] inline size_t toComponentsBody(const double* in, double scale, int16_t* out,
                                                      size_t n) {
    int32_t clamped = 0;
    for (size_t k = 0; k < n; ++k) {
        const double v = std::nearbyint(in[k] * scale);
        const double c = std::min(std::max(v, -32767.0), 32767.0);
        clamped += c != v;
        out[k] = static_cast<int16_t>(static_cast<int32_t>(c));
    }
    return static_cast<size_t>(clamped);
}

typedef double Four __attribute__((vector_size(32)));
typedef float Eight __attribute__((vector_size(32)));

// Sixteen columns at a time, their sums kept in registers over the rows: two
// vectors of eight floats for the even rows, two for the odd ones, so that
// the next row need not wait for the last one's sum (GNU vectors: two
// registers each in the baseline build).
[[gnu::always_inline]] inline void multiplyBody(const float* m, const float* v, size_t rows,
                                                size_t cols, float* out) {
    static_assert(kMultiplyColumns == 16);
    for (size_t c = 0; c < cols; c += kMultiplyColumns) {
        const float* block = m + c * rows;
        Eight evenLow{}, evenHigh{}, oddLow{}, oddHigh{};
        const auto add = [&](size_t r, Eight& low, Eight& high) {
            Eight a, b;
            std::memcpy(&a, block + r * kMultiplyColumns, sizeof a);
            std::memcpy(&b, block + r * kMultiplyColumns + 8, sizeof b);
            low += v[r] * a;
            high += v[r] * b;
        };
        size_t r = 0;
        for (; r + 2 <= rows; r += 2) {
            add(r, evenLow, evenHigh);
            add(r + 1, oddLow, oddHigh);
        }
        if (r < rows) add(r, evenLow, evenHigh);
        const Eight low = evenLow + oddLow, high = evenHigh + oddHigh;
        std::memcpy(out + c, &low, sizeof low);
        std::memcpy(out + c + 8, &high, sizeof high);
    }
}

[[gnu::always_inline]] inline void bandSumsBody(const double* power, const int* first,
                                                const double* w, size_t width, size_t bands,
                                                double* out) {
    for (size_t j = 0; j < bands; ++j) {
        const double* p = power + first[j];
        const double* weights = w + j * width;
        Four sum{};
        for (size_t i = 0; i < width; i += 4) {
            Four a, b;
            std::memcpy(&a, p + i, sizeof a);
            std::memcpy(&b, weights + i, sizeof b);
            sum += a * b;
        }
        out[j] = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }
}

void logPlusOneBaseline(const double* in, double* out, size_t n) {
    for (size_t k = 0; k < n; ++k) out[k] = std::log(in[k] + 1.0);
}
void emphasiseBaseline(const int16_t* frame, int16_t previous, double a, const double* window,
                       double* x, size_t n) {
    emphasiseBody(frame, previous, a, window, x, n);
}
size_t toComponentsBaseline(const double* in, double scale, int16_t* out, size_t n) {
    return toComponentsBody(in, scale, out, n);
}
void bandSumsBaseline(const double* power, const int* first, const double* w, size_t width,
                      size_t bands, double* out) {
    bandSumsBody(power, first, w, width, bands, out);
}
void multiplyBaseline(const float* m, const float* v, size_t rows, size_t cols, float* out) {
    multiplyBody(m, v, rows, cols, out);
}
constexpr FrameKernels kBaseline{&emphasiseBaseline, &logPlusOneBaseline, &toComponentsBaseline,
                                 &bandSumsBaseline, &multiplyBaseline};

#ifdef ZORTAN_WIDE_KERNELS
#ifdef ZORTAN_VECTOR_LOG
ZORTAN_TARGET_X86_64_V3 void logPlusOneX86_64_V3(const double* in, double* out, size_t n) {
    const __m256d one = _mm256_set1_pd(1.0);
    size_t k = 0;
    for (; k + 4 <= n; k += 4)
        _mm256_storeu_pd(out + k, _ZGVdN4v_log(_mm256_add_pd(_mm256_loadu_pd(in + k), one)));
    for (; k < n; ++k) out[k] = std::log(in[k] + 1.0);
}
ZORTAN_TARGET_X86_64_V4 void logPlusOneX86_64_V4(const double* in, double* out, size_t n) {
    const __m512d one = _mm512_set1_pd(1.0);
    size_t k = 0;
    for (; k + 8 <= n; k += 8)
        _mm512_storeu_pd(out + k, _ZGVeN8v_log(_mm512_add_pd(_mm512_loadu_pd(in + k), one)));
    logPlusOneX86_64_V3(in + k, out + k, n - k);
}
#else
constexpr auto logPlusOneX86_64_V3 = &logPlusOneBaseline;
constexpr auto logPlusOneX86_64_V4 = &logPlusOneBaseline;
#endif
ZORTAN_TARGET_X86_64_V3 void emphasiseX86_64_V3(const int16_t* frame, int16_t previous, double a,
                                                const double* window, double* x, size_t n) {
    emphasiseBody(frame, previous, a, window, x, n);
}
// Eight components at a time: the compiler's own vectors of this loop
// shuffle more than they compute.
ZORTAN_TARGET_X86_64_V3 size_t toComponentsX86_64_V3(const double* in, double scale, int16_t* out,
                                                     size_t n) {
    const __m256d factor = _mm256_set1_pd(scale), low = _mm256_set1_pd(-32767.0),
                  high = _mm256_set1_pd(32767.0);
    size_t clamped = 0, k = 0;
    for (; k + 8 <= n; k += 8) {
        __m128i halves[2];
        for (size_t h = 0; h < 2; ++h) {
            const __m256d v =
                _mm256_round_pd(_mm256_mul_pd(_mm256_loadu_pd(in + k + 4 * h), factor),
                                _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
            const __m256d c = _mm256_min_pd(_mm256_max_pd(v, low), high);
            const int moved = _mm256_movemask_pd(_mm256_cmp_pd(c, v, _CMP_NEQ_UQ));
            clamped += static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(moved)));
            halves[h] = _mm256_cvtpd_epi32(c);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                         _mm_packs_epi32(halves[0], halves[1]));
    }
    return clamped + toComponentsBody(in + k, scale, out + k, n - k);
}
ZORTAN_TARGET_X86_64_V3 void bandSumsX86_64_V3(const double* power, const int* first,
                                               const double* w, size_t width, size_t bands,
                                               double* out) {
    bandSumsBody(power, first, w, width, bands, out);
}
ZORTAN_TARGET_X86_64_V3 void multiplyX86_64_V3(const float* m, const float* v, size_t rows,
                                               size_t cols, float* out) {
    multiplyBody(m, v, rows, cols, out);
}
constexpr FrameKernels kX86_64_V3{&emphasiseX86_64_V3, logPlusOneX86_64_V3, &toComponentsX86_64_V3,
                                  &bandSumsX86_64_V3, &multiplyX86_64_V3};
// The 64-byte build differs in its logarithms alone: the other loops, on 129
// lines, gain nothing from wider vectors.
constexpr FrameKernels kX86_64_V4{&emphasiseX86_64_V3, logPlusOneX86_64_V4, &toComponentsX86_64_V3,
                                  &bandSumsX86_64_V3, &multiplyX86_64_V3};
#endif

}  // namespace

const FrameKernels& FrameKernelsFor(fast::InstructionSet set) {
#ifdef ZORTAN_WIDE_KERNELS
    if (set == fast::InstructionSet::X86_64_V4) return kX86_64_V4;
    if (set == fast::InstructionSet::X86_64_V3) return kX86_64_V3;
#endif
    static_cast<void>(set);
    return kBaseline;
}

bool HasVectorLog(fast::InstructionSet set) {
#ifdef ZORTAN_VECTOR_LOG
    return set != fast::InstructionSet::Baseline;
#else
    static_cast<void>(set);
    return false;
#endif
}

}  // namespace zortan::analysis
