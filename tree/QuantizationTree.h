// The in-memory codebook: the quantization tree read from a tree file, the
// training settings recorded with it, and the per-tree-size working arrays
// that coding fills.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/Analysis.h"

namespace zortan {

// Value names of the training settings (0-based index, -1 for no choice).
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

using TcharList = std::vector<char>;

// One categorical variable of the tree: the characters it takes, whether it
// is coded, how many values the training file declared, and the value list
// (reading i is the i-th member of the set in ascending character code).
struct Category {
    Set256 set;
    uint8_t active = 0;
    int16_t nbr = 0;
    TcharList list;
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
    // The three categorical variables cath1, cath2, cath3 as the tree file
    // gives them (its value sets, active flags, value counts and lists).
    std::array<Category, 3> cath;
    std::vector<int32_t> groupTable;
    int64_t excludeSetCard = 0;
    std::vector<TreeNode> nodeHeap;
    AnalysisSettings training;
    TreeTrainingSettings treeTraining;

    // Number of tree sizes the working arrays cover: tree size index t
    // stands for the tree of t+1 clusters.
    int treeSizesNb() const { return HeapTop / 2 + 1; }
};

// Extended-precision distance between two component vectors; what it has
// to tell goes to `remarks`.
using DistanceFunction = long double (*)(const QuantizationTree& tree, const ComponentVector& a,
                                         const ComponentVector& b,
                                         std::vector<std::string>& remarks);

// Per-tree-size working arrays and running counts of the coder.
struct CoderState {
    std::vector<ErrorFlags> BoolErrorVector;                           // treeSizesNb
    TErrorRecordArray errorRecords1, errorRecords2;                    // treeSizesNb
    TwordArray nodePath1, nodePath2;                                   // HeapTop+1
    std::vector<uint32_t> groupDiff, cath1Diff, cath2Diff, cath3Diff;  // HeapTop+1
    uint32_t cath1ErrorCount = 0, cath2ErrorCount = 0, cath3ErrorCount = 0;
    DistanceFunction distanceFunction = nullptr;
    // What the coder has to tell the user, in order, for the caller to show
    // and clear: the walk went on after each.
    std::vector<std::string> remarks;
};

}  // namespace zortan
