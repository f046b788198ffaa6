// The in-memory codebook: the quantization tree read from a tree file, the
// training settings recorded with it, and the per-tree-size working arrays
// that coding fills.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace zortan {

class Ui;

constexpr int kComponents = 129;  // vector components, indices 0..128
using ComponentVector = std::array<double, kComponents>;

// Value names of the settings (0-based index, -1 for no choice).
inline const std::array<const char*, 5> kFeatureKindNames = {
    "rare power spectr. (ps)", "cepstr.  smooth. ps", "mel smoothed ps", "cepstrum",
    "mel cepstrum"};
inline const std::array<const char*, 5> kFilterNames = {"no", "300", "1000", "4000", "summ"};
inline const std::array<const char*, 2> kScalingConstantsNames = {"like for no filtering",
                                                                  "like for filtered"};
inline const std::array<const char*, 5> kWindowShapeNames = {"Rectangle", "Gauss", "Keiser-Bessel",
                                                             "Blackman-Harris", "FlatTop"};
inline const std::array<const char*, 2> kSetsDividingMethodNames = {"CART", "Centroids"};
inline const std::array<const char*, 4> kSetChoiceCriterionNames = {
    "Distortion |Cohr.", "Recogn. err.", "Info Radius", "CART-like"};
inline const std::array<const char*, 3> kFeaturesChoiceCriterionNames = {
    "Distortion", "Recogn. Error", "Info Radius"};
inline const std::array<const char*, 2> kTrainingNames = {"unsupervised", "supervised"};

// A set of 256 members (characters or component numbers), bit i = member i.
struct Set256 {
    std::array<uint64_t, 4> words{};
    bool contains(unsigned member) const {
        return member < 256 && ((words[member >> 6] >> (member & 63)) & 1u) != 0;
    }
    void insert(unsigned member) { words[member >> 6] |= uint64_t{1} << (member & 63); }
};

// How the signal of one data source was analysed.
struct AnalysisSettings {
    int featureKind = -1;
    int filter = -1;
    int scalingConstants = -1;
    int windowShape = -1;
    bool preemphasis = false;
    bool preemphasisIndeterminate = false;  // shown greyed: a text table says nothing of it
    int16_t lifterThreshold = 0;
    double frameStep = 0.0;  // ms
    double rate = 0.0;       // Hz
    int64_t fftWindowWidth = 0;
    bool averaging = false;
    int32_t averagingFrames = 0;
    bool eventsStandardisation = false;
    double scalingFactor = 1.0;
};

// How the training program grew the tree.
struct TreeTrainingSettings {
    int setsDividingMethod = -1;  // 0 CART, 1 Centroids
    int setChoiceCriterion = -1;
    int featuresChoiceCriterion = -1;
    int setChoiceClassifier = -1;
    int featuresChoiceClassifier = -1;
    int setChoiceTraining = -1;
    int featuresChoiceTraining = -1;
    bool cartLike = false;
    // Value names of the two classifier choices: the category labels cut
    // to 7 characters.
    std::array<std::string, 3> classifierNames{"cath1", "cath2", "cath3"};
    int32_t averagingWindowShape = 0;  // 0 = rectangle
    int32_t averagingWindowMs = 0;
};

struct TreeNode {
    int16_t son = 0;
    int16_t brother = 0;
    uint16_t code = 0;
    uint8_t treeCath1 = 0;
    uint8_t treeCath2 = 0;
    uint8_t treeCath3 = 0;
    ComponentVector centroid{};
    uint8_t splitComponent = 0;
};

using TcharList = std::vector<char>;
using TwordArray = std::vector<uint16_t>;

struct TErrorRecord {
    uint32_t cath1 = 0;
    uint32_t cath2 = 0;
    uint32_t cath3 = 0;
};
using TErrorRecordArray = std::vector<TErrorRecord>;

struct ErrorFlags {
    uint8_t cath1 = 0;
    uint8_t cath2 = 0;
    uint8_t cath3 = 0;
};

struct QuantizationTree {
    std::string treeHeading;
    std::string teachingText;
    uint16_t centroidsNb = 0;
    uint16_t HeapTop = 0;
    int64_t trainingEventsNb = 0;
    int32_t consideredComponentsNb = std::numeric_limits<int32_t>::max();
    Set256 constrainedSet;
    std::string featuresSetText;
    Set256 cath1Set, cath2Set, cath3Set;
    uint8_t cath1Active = 0, cath2Active = 0, cath3Active = 0;
    int16_t cath1Nbr = 0, cath2Nbr = 0, cath3Nbr = 0;
    TcharList cath1List, cath2List, cath3List;
    std::vector<int32_t> groupTable;
    int64_t excludeSetCard = 0;
    std::vector<TreeNode> nodeHeap;
    AnalysisSettings training;
    TreeTrainingSettings treeTraining;

    // Number of tree sizes the working arrays cover: tree size index t
    // stands for the tree of t+1 clusters.
    int treeSizesNb() const { return HeapTop / 2 + 1; }
};

// Extended-precision distance between two component vectors.
using DistanceFunction = long double (*)(const QuantizationTree& tree, const ComponentVector& a,
                                         const ComponentVector& b, Ui& ui);

// The components the centroid rule measures, derived from the tree's
// consideredComponentsNb and constrainedSet. The coder checks the key at
// every walk and rebuilds the rest when it differs, so nobody else has to
// refresh it.
struct ConsideredComponents {
    bool valid = false;
    int32_t keyConsideredComponentsNb = 0;
    Set256 keyConstrainedSet;
    int leading = 0;           // components 0..leading-1 may count (at most 129)
    bool allInSet = false;     // each of them is in the set
    ComponentVector weight{};  // 1 for a component that counts, else 0
};

// Components padded with zeros to whole vectors of the widest vector unit.
constexpr int kPaddedComponents = 136;
using PaddedVector = std::array<double, kPaddedComponents>;

// One split of the centroid rule made ready for a coding run. The event x is
// nearer the first son (centroid a) than the second (b) when
// |x-a|^2 < |x-b|^2, that is when 2 w.(x-r) - c > 0 with w = a - b,
// c = |a-r|^2 - |b-r|^2 over the components that count and r a reference
// point: one dot product instead of two distances. The test is trusted when
// it clears its rounding bound, which with n = |x-r| is
// squareFactor*n^2 + slope*n + base.
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

// The tree made ready by PrepareTree for one coding run: a walk step per
// node and, for the centroid rule, the prepared splits. The coder uses them
// only while the tree has the same node heap (the splits also only with the
// same components counted); reading another tree drops them. Other changes
// to a prepared tree are not noticed.
struct PreparedTree {
    bool valid = false;
    const TreeNode* heap = nullptr;
    size_t heapSize = 0;
    int heapTop = 0;
    std::vector<WalkStep> steps;  // by node

    bool splitsValid = false;
    int32_t keyConsideredComponentsNb = 0;
    Set256 keyConstrainedSet;
    PaddedVector counts{};     // 1 where a component counts, else 0
    PaddedVector reference{};  // r: the root's centroid where it counts, else 0
    double squareFactor = 0.0;
    std::vector<SplitVector> vectors;
};

// The splits of one event's walk from the root, decided ahead of the coder
// by the prepared splits alone: bit j is the decision at depth j, 1 for the
// first son. The first `depth` are decided; 0 decides nothing.
struct AheadDecisions {
    uint64_t firstSon = 0;
    uint8_t depth = 0;
};

// Per-tree-size working arrays and running counts of the coder.
struct CoderState {
    std::vector<ErrorFlags> BoolErrorVector;         // treeSizesNb
    TErrorRecordArray errorRecords1, errorRecords2;  // treeSizesNb
    // What a coding run has yet to add to errorRecords1 and 2, kept as
    // differences between neighbouring tree sizes (see SettleErrorCounts).
    TErrorRecordArray pendingSteps1, pendingSteps2;                    // treeSizesNb+1
    TwordArray nodePath1, nodePath2;                                   // HeapTop+1
    std::vector<uint32_t> groupDiff, cath1Diff, cath2Diff, cath3Diff;  // HeapTop+1
    uint32_t cath1ErrorCount = 0, cath2ErrorCount = 0, cath3ErrorCount = 0;
    DistanceFunction distanceFunction = nullptr;
    ConsideredComponents considered;
    PreparedTree prepared;
    // For the event about to be coded; the next walk takes it.
    AheadDecisions ahead;
};

}  // namespace zortan
