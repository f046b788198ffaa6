// The loops of the frame analysis's fast way, each written once and built
// for the instruction sets of base/Dispatch.h; the analyser takes the build
// for the processor it runs on. The logarithms of the wide build are glibc's
// vector logarithm (libmvec, at most 4 ulp from the C library's), where the
// build found it; every other build takes the C library's std::log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Dispatch.h"

namespace zortan::analysis {

inline constexpr size_t kMultiplyColumns = 16;

struct FrameKernels {
    // x[n] = (frame[n] - a frame[n-1]) w[n], frame[-1] being `previous`.
    void (*emphasise)(const int16_t* frame, int16_t previous, double a, const double* window,
                      double* x, size_t n);
    // out[k] = ln(in[k] + 1).
    void (*logPlusOne)(const double* in, double* out, size_t n);
    // out[k] = in[k] * scale rounded to the nearest (halves to even) and
    // clamped to -32767..32767; returns how many were clamped.
    size_t (*toComponents)(const double* in, double scale, int16_t* out, size_t n);
    // out[j] = sum over i < width of w[j width + i] power[first[j] + i],
    // j < bands, width a multiple of four.
    void (*bandSums)(const double* power, const int* first, const double* w, size_t width,
                     size_t bands, double* out);
    // out[c] = sum over r < rows of v[r] M[r][c], c < cols, a multiple of
    // kMultiplyColumns; m holds M in blocks of kMultiplyColumns columns, each
    // block row by row (M[r][c] at MatrixIndex(rows, r, c)). In floats: a
    // matrix of 129 lines then stays in the first level of cache.
    void (*multiply)(const float* m, const float* v, size_t rows, size_t cols, float* out);
};

inline constexpr size_t MatrixIndex(size_t rows, size_t r, size_t c) {
    return (c / kMultiplyColumns * rows + r) * kMultiplyColumns + c % kMultiplyColumns;
}

// The build of the kernels for `set` (the baseline's where the build has no
// other); the analyser takes fast::chosenInstructionSet()'s.
const FrameKernels& FrameKernelsFor(fast::InstructionSet set);

// Whether the build of `set` takes the vector logarithm.
bool HasVectorLog(fast::InstructionSet set);

}  // namespace zortan::analysis
