// Dot products of padded component vectors in the processor's widest vector
// unit, chosen once, at run time.
#pragma once

#include <array>

#include "tree/QuantizationTree.h"

namespace zortan::fast {

// Components padded with zeros to whole vectors of the widest vector unit.
constexpr int kPaddedComponents = 136;
using PaddedVector = std::array<double, kPaddedComponents>;
static_assert(kPaddedComponents >= kComponents);

// The dot products of each `x[j]` with `w[j]` (j below count) over all
// kPaddedComponents entries, into `dots`.
using PairedDots = void (*)(const double* const* x, const double* const* w, int count,
                            double* dots);
PairedDots bestPairedDots();

}  // namespace zortan::fast
