// The tree made ready for a coding run: a walk step per node with the walk's
// checks made once and, for the centroid rule, splits decided by one dot
// product against a rounding bound; and the decisions of whole walks made
// with them ahead of the walks, a group of events at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Dispatch.h"
#include "tree/QuantizationTree.h"
#include "tree/fast/DotProducts.h"

namespace zortan::fast {

// One split of the centroid rule made ready. The event x is nearer the first
// son (centroid a) than the second (b) when |x-a|^2 < |x-b|^2, that is when
// 2 w.(x-r) - c > 0 with w = a - b, c = |a-r|^2 - |b-r|^2 over the
// components that count and r a reference point: one dot product instead of
// two distances. The test is trusted when it clears its rounding bound,
// which with n = |x-r| is squareFactor*n^2 + slope*n + base.
struct PreparedSplit {
    double c = 0.0;
    double slope = 0.0, base = 0.0;
    int32_t vector = -1;  // its w in PreparedTree::vectors; -1: not prepared
};
struct alignas(64) SplitVector {
    PaddedVector w{};  // 0 where a component does not count
};

// What one level of a walk reads at a node, in one cache line.
struct alignas(64) WalkStep {
    PreparedSplit split;
    int16_t son = 0;
    int16_t brother = 0;      // the son's brother
    uint16_t splitLevel = 0;  // the brother's code
    // Every check of a walk passes here, whatever the event: the sons are
    // nodes of the heap, the split level lies within the working arrays and
    // the readings of the active categories within their lists.
    bool clean = false;
    std::array<int16_t, 3> readings{};  // the category characters, -1 beyond the lists
};

struct PreparedTree {
    std::vector<WalkStep> steps;  // by node
    // The splits, for the centroid rule with EuclidDist, and the components
    // they count.
    bool splitsValid = false;
    int32_t keyConsideredComponentsNb = 0;
    Set256 keyConstrainedSet;
    PaddedVector counts{};     // 1 where a component counts, else 0
    PaddedVector reference{};  // r: the root's centroid where it counts, else 0
    double squareFactor = 0.0;
    std::vector<SplitVector> vectors;
};

PreparedTree PrepareTree(const QuantizationTree& tree, const CoderState& coder);

// Whether the splits count the components the tree counts now.
bool SplitsUsable(const QuantizationTree& tree, const PreparedTree& prepared);

// The splits of one event's walk from the root: bit j is the decision at
// depth j, 1 for the first son. The first `depth` are decided; 0 decides
// nothing.
struct Decisions {
    uint64_t firstSon = 0;
    uint8_t depth = 0;
};

// The decisions of the prepared splits along the walks from the root of
// `count` events with these reals, each as far as the splits decide and the
// steps are clean (at most 64), into decisions[0..count), by the kernels
// built for `set` (which must run here). Reads only `prepared`, so that
// another thread may run it.
void DecideAhead(const PreparedTree& prepared, const ComponentVector* reals, size_t count,
                 Decisions* decisions, InstructionSet set = chosenInstructionSet());

// The same for the reals *reals[0..count), wherever they are; the build for
// one instruction set, taken once by a coder that decides many groups.
using DecideAheadOf = void (*)(const PreparedTree& prepared, const ComponentVector* const* reals,
                               size_t count, Decisions* decisions);
DecideAheadOf decideAheadFor(InstructionSet set);

}  // namespace zortan::fast
