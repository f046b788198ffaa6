// The dot product of an event's single-precision components with a
// direction, which the training's split decisions read: the readable loop,
// and builds of it for wider vector units chosen for the processor. Each
// build rounds its own way; the decisions allow for any of them (they are
// certain only beyond a bound larger than every build's rounding), so the
// tree grown is the same whichever runs.
#pragma once

#include <cstddef>

#include "base/Dispatch.h"

namespace zortan::train {

using NarrowDot = double (*)(const float* a, const double* b, size_t n);

// Four running sums in a fixed order: the readable version.
double narrowDotPortable(const float* a, const double* b, size_t n);

// The build for `set` (which must run here), the portable one where there
// is none.
NarrowDot narrowDotFor(fast::InstructionSet set = fast::chosenInstructionSet());

}  // namespace zortan::train
