// Grows a quantization tree from training events, so that the coder's walk
// takes every training event to the leaf the training gave it.
//
// Split t (t = 1 .. K-1) turns a leaf into a first son at node 2t-1, which
// keeps its father's code, and a second son at node 2t whose code is t: the
// tree cut at K clusters has leaves coded 0..K-1. The leaf split next is the
// one whose split lowers the `nextSplit` measure most; how a leaf is split is
// chosen by the `splitBy` measure:
// - Centroids: the sons' centroids are the means of their events and an
//   event goes to the nearer (the second on a tie), as the coder decides it.
//   Two-means runs from deterministic starts until the assignment no longer
//   changes: the means of the halves either side of the leaf's principal
//   axis (estimated on at most 8192 of its events, evenly spread), or its
//   farthest pair when a half is empty; with a supervising category also the
//   farthest pair and the most frequent reading against the others, the
//   start whose sons give the best `splitBy` measure kept. A start is first
//   refined on an evenly spread sample of at most 4096 of a larger leaf's
//   events.
// - CART: one component against a threshold halfway between two adjacent
//   values; events below it go to the first son. The best threshold over
//   every considered component of the constrained set, by `splitBy`.
// The measures: distortion, the sum of squared distances of the events to
// their node's centroid; recognition error, the events whose reading of the
// supervising category is not their node's most frequent; info radius, the
// Jensen-Shannon divergence (bits) between the sons' reading distributions
// weighted by their events, times the leaf's events (a gain, so "lowers"
// means "raises" there). Ties go to the lower node index, a recognition
// error's ties to the larger info radius, an info radius's to the larger
// distortion gain.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Analysis.h"
#include "tree/QuantizationTree.h"

namespace zortan::train {

// The training refuses its input or its choices; what() says why.
class TrainingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The largest tree the file's 16-bit signed node indices hold.
constexpr int kLargestClusters = 16384;

enum class Rule { CART = 0, Centroids = 1 };  // the tree file's dividing method
enum class Measure { Distortion = 0, RecognitionError = 1, InfoRadius = 2 };

struct TrainingOptions {
    int clusters = 0;  // leaves wanted, 1..kLargestClusters
    Rule rule = Rule::Centroids;
    Measure nextSplit = Measure::Distortion;
    Measure splitBy = Measure::Distortion;
    int supervisedBy = 0;  // category 1..3 that recognition error and info radius measure
    // The considered components (the vectors' first `components`) and the
    // constrained set among them that distances and thresholds take.
    int32_t components = 0;
    Set256 constrained;
    int jobs = 1;  // threads; the tree is the same for any number
    // Grow with the readable two-means and CART scan that the fast ones are
    // tested against (the same tree where the events' components are
    // integers).
    bool reference = false;
};

// The events as the coder sees them: the reals its distances read and the
// 16-bit form its CART rule reads (time-averaged when the tree averages),
// and the three qualifiers.
struct TrainingEvents {
    std::vector<ComponentVector> reals;
    std::vector<std::array<int16_t, kComponents>> coded;
    std::vector<std::array<char, 3>> cath;
    size_t size() const { return reals.size(); }
};

struct GrownTree {
    // The node heap, centroidsNb, HeapTop, consideredComponentsNb,
    // constrainedSet, the three categories (sets, lists, readings; active
    // as given), groupTable (events of the leaf coded c; the last entry all
    // events), trainingEventsNb and the training choices.
    QuantizationTree tree;
    std::vector<int32_t> leafOf;  // the full tree's leaf of each event
    std::vector<int32_t> father;  // of each node; -1 for the root
};

// The category value lists of the events (each set's characters in
// ascending code), with `active` as given.
std::array<Category, 3> CategoriesOf(const std::vector<std::array<char, 3>>& cath,
                                     const std::array<bool, 3>& active);

// Grows the tree; refuses with a TrainingError what cannot be grown: no
// events, a number of clusters outside 1..kLargestClusters or above what the
// events allow (the message says how many leaves they give), components
// outside 1..129, a supervised measure without a category.
GrownTree GrowTree(const TrainingEvents& events, const TrainingOptions& options,
                   const std::array<bool, 3>& activeCategories = {true, true, true});

// The node of the tree cut at `clusters` that an event of leaf `leaf` falls
// into: the leaf's first ancestor (or itself) made by a split below
// `clusters`.
int32_t NodeAtClusters(const GrownTree& grown, int32_t leaf, int clusters);

}  // namespace zortan::train
