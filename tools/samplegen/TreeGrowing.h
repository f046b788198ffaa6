// Grows quantization trees the way the training program does: the leaf of
// largest distortion is split in two, again and again, until the tree has
// the wanted number of leaves.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tree/QuantizationTree.h"

namespace zortan::samplegen {

struct TrainingEvent {
    std::array<int16_t, kComponents> components{};
    std::array<uint8_t, 3> readings{};  // category readings of cath1..cath3
};

enum class DividingMethod { CART = 0, Centroids = 1 };

// Fills `tree.nodeHeap`, `centroidsNb`, `HeapTop`, `groupTable` and
// `trainingEventsNb` from the events, using their first `components`
// components:
// - split t (t = 1, 2, ...) turns the leaf of largest distortion (sum of
//   squared distances to its mean; the lowest node index among equals) into
//   a first son at node 2t-1, which keeps its father's code, and a second son
//   at node 2t whose code is t, the tree size index of the split;
// - Centroids: the two sons come from a two-means clustering of the leaf's
//   events, and an event goes to the nearer son (the second on a tie);
// - CART: the split is the single-component threshold that leaves the least
//   distortion in the two sons; events below it go to the first son, and the
//   threshold replaces the father's centroid[splitComponent];
// - every node holds the mean of its events as centroid and the most
//   frequent reading of each category (the lowest among equals);
// - groupTable[c] counts the events of the leaf with code c; its last entry
//   holds all events.
// Fewer leaves result when no leaf can be split any more.
void growTree(QuantizationTree& tree, const std::vector<TrainingEvent>& events,
              DividingMethod method, int components, int leaves);

}  // namespace zortan::samplegen
