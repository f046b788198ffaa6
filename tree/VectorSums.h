// Double-precision sums over component vectors in the processor's widest
// vector unit (chosen once, at run time).
#pragma once

#include <array>

#include "tree/QuantizationTree.h"

namespace zortan {

// The double sums of squares of (e - a) and (e - b) over components 0..n-1,
// each difference times `w` when `w` is given.
using PairSums = void (*)(const double* e, const double* a, const double* b, const double* w, int n,
                          double& sumA, double& sumB);
PairSums bestPairSums();

// The dot products of `x` with `w[0]`..`w[count-1]` (count 1 to 3) over all
// kPaddedComponents entries, into `dots`.
using PaddedDots = void (*)(const double* x, const double* const* w, int count, double* dots);
PaddedDots bestPaddedDots();

// The dot products of each `x[j]` with `w[j]` (j below count, any count) over
// all kPaddedComponents entries, into `dots`.
using PairedDots = void (*)(const double* const* x, const double* const* w, int count,
                            double* dots);
PairedDots bestPairedDots();

}  // namespace zortan
