// Codebooks and events for the benchmarks: balanced trees whose centroids
// spread out as a grown codebook's do, and events drawn near their leaves.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "core/EventRecord.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/QuantizationTree.h"

namespace zortan::bench {

// A balanced tree of `leaves` leaves over all 129 components, laid out as the
// fixtures lay out trees. Each split puts its two sons on either side of the
// father along a random direction, a little closer at each depth, so a walk
// meets clear decisions near the root and closer ones further down.
fixtures::TreeFileContents codebookTree(int leaves, uint32_t seed);

// A balanced tree of `leaves` leaves whose centroids are all at the same or
// nearly the same distance from `centre` (integers in one binade): each is
// `centre` minus the same differences in a shuffled order, one of them
// moved by a few units in the last place. Events at `centre` meet close
// calls at every split.
fixtures::TreeFileContents closeCallTree(int leaves, const ComponentVector& centre, uint32_t seed);

// The nodes of `tree` that are leaves of its full tree.
std::vector<int> leavesOf(const QuantizationTree& tree);

// One event near a random leaf: the leaf's centroid plus noise, rounded to
// the 16-bit components, whose reals are the same values; qualifiers drawn
// from the categories' value lists.
EventRecord eventNear(const QuantizationTree& tree, const std::vector<int>& leaves,
                      std::mt19937& random);

std::vector<EventRecord> eventsNear(const QuantizationTree& tree, int count, uint32_t seed);

// The coder's arrays sized as the tree reader sizes them, with EuclidDist.
CoderState coderFor(const QuantizationTree& tree);

}  // namespace zortan::bench
