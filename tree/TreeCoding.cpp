#include "tree/TreeCoding.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/Format.h"
#include "platform/Errors.h"

namespace zortan {

namespace {

// The node at `index`; an index outside 0..HeapTop is a range error.
const TreeNode& nodeAt(const QuantizationTree& tree, long long index) {
    if (index < 0 || index > tree.HeapTop ||
        static_cast<unsigned long long>(index) >= tree.nodeHeap.size())
        throw RangeError();
    return tree.nodeHeap[static_cast<size_t>(index)];
}

// The last tree size index the working arrays cover.
int lastSizeIndex(const QuantizationTree& tree) {
    return tree.HeapTop / 2;
}

// Raises the gap filler's program error when `t` is beyond the last tree
// size index.
void checkGapIndex(const QuantizationTree& tree, const char* procedure, int t) {
    if (t <= lastSizeIndex(tree)) return;
    throw CoderHalt{
        std::string("Program error occured in  procedure \"") + procedure +
        "\".\r\nIndex for the \"BoolErrorVector\" array is too high\r\nIt should be <=" +
        std::to_string(lastSizeIndex(tree)) + ", but it achieves " + std::to_string(t) +
        ".\r\nTurn to the author, the program will be halted now."};
}

[[noreturn]] void sonBeyondTree(const QuantizationTree& tree, int k, int s) {
    throw WalkBeyondTree(
        "An error in proc. \"EncodeIter\" occured!\r\nindex k> HeapTop+1, the k is beyond the tree "
        "node index scope.\r\nk=" +
        std::to_string(s) + "\r\nHeapTop+1=" + std::to_string(tree.HeapTop) + "\r\ncentroidsNb=" +
        std::to_string(tree.centroidsNb) + "\r\nstartNodeIndex=" + std::to_string(k) +
        "\r\nnodeHeap[startNodeIndex].son=" + std::to_string(s) +
        "\r\nThe \"heapTop\" should be HeapTop:=2*(centroidsNb-1)!\r\nProbably bad tree "
        "construction; turn to the author.");
}

// 1 when the node's reading of a category, looked up in the category's
// list, differs from the given character; a reading beyond the list is a
// range error.
uint8_t disagrees(const TcharList& list, uint8_t reading, char given) {
    return checkedAt(list, reading) != given ? 1 : 0;
}

}  // namespace

long double EuclidDist(const QuantizationTree& tree, const ComponentVector& a,
                       const ComponentVector& b, std::vector<std::string>& remarks) {
    const int n = std::clamp(tree.consideredComponentsNb, 0, kComponents);
    long double sum = 0.0L;
    for (int i = 0; i < n; ++i) {
        if (!tree.constrainedSet.contains(static_cast<unsigned>(i))) continue;
        const double d = a[static_cast<size_t>(i)] - b[static_cast<size_t>(i)];
        sum += static_cast<long double>(d) * d;
        if (!(sum >= 0.0L))
            remarks.push_back("function EuclidDist, summ of squares<0!; =" + formatFixed(sum, 2) +
                              " i=" + std::to_string(i));
    }
    return sum >= 0.0L ? std::sqrt(sum) : 0.0L;
}

void fillGapTranscrErr(const QuantizationTree& tree, CoderState& coder, int from, int to) {
    for (int t = from + 1; t < to; ++t) {
        checkGapIndex(tree, "fillGapTranscrErr", t);
        checkedAt(coder.BoolErrorVector, t) = checkedAt(coder.BoolErrorVector, from);
    }
}

void PathFillGap(const QuantizationTree& tree, TwordArray& path, int from, int to) {
    for (int t = from + 1; t < to; ++t) {
        checkGapIndex(tree, "PathFillGap", t);
        checkedAt(path, t) = checkedAt(path, from);
    }
}

uint16_t EncodeIter(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                    const EventRecord& event, TwordArray& path, int startNode) {
    // The root alone carries no reading that is compared: every event counts
    // as an error in every category at tree size 1.
    checkedAt(coder.BoolErrorVector, 0) = ErrorFlags{1, 1, 1};
    const bool cartRule = tree.treeTraining.setsDividingMethod == 0;
    const DistanceFunction distance =
        coder.distanceFunction != nullptr ? coder.distanceFunction : &EuclidDist;

    int k = startNode;
    int level = 0;
    // A grown tree takes fewer splits than it has nodes; more means the sons
    // lead round in a circle.
    for (int taken = 0;; ++taken) {
        const TreeNode& node = nodeAt(tree, k);
        const int s = node.son;
        if (s > tree.HeapTop + 1) sonBeyondTree(tree, k, s);
        if (s <= 0) break;
        if (taken >= tree.HeapTop) throw RangeError();
        const TreeNode& first = nodeAt(tree, s);
        const int b = first.brother;
        const TreeNode& second = nodeAt(tree, b);
        const int splitLevel = second.code;
        if (splitLevel >= K) break;  // the split is not part of the K-cluster tree

        // Equality goes to the second son under both rules.
        bool takeFirst;
        if (cartRule) {
            const int f = node.splitComponent;
            takeFirst = checkedAt(event.components, f) < checkedAt(node.centroid, f);
        } else {
            takeFirst = distance(tree, event.reals, first.centroid, coder.remarks) <
                        distance(tree, event.reals, second.centroid, coder.remarks);
        }

        const int oldLevel = level;
        k = takeFirst ? s : b;
        level = splitLevel;
        // A second son's code beyond the working arrays marks a malformed tree:
        // refuse it before anything is written there.
        checkGapIndex(tree, "fillGapTranscrErr", level);
        checkedAt(path, level) = fitOrRangeError<uint16_t>(k);
        const TreeNode& reached = takeFirst ? first : second;
        // Flags of an inactive category keep what the entry held.
        ErrorFlags flags = checkedAt(coder.BoolErrorVector, level);
        if (tree.cath[0].active != 0)
            flags.cath1 = disagrees(tree.cath[0].list, reached.treeCath1, event.cath1);
        if (tree.cath[1].active != 0)
            flags.cath2 = disagrees(tree.cath[1].list, reached.treeCath2, event.cath2);
        if (tree.cath[2].active != 0)
            flags.cath3 = disagrees(tree.cath[2].list, reached.treeCath3, event.cath3);
        coder.BoolErrorVector[static_cast<size_t>(level)] = flags;
        fillGapTranscrErr(tree, coder, oldLevel, level);
        PathFillGap(tree, path, oldLevel, level);
    }

    const TreeNode& leaf = nodeAt(tree, k);
    if (tree.cath[0].active != 0)
        coder.cath1ErrorCount += disagrees(tree.cath[0].list, leaf.treeCath1, event.cath1);
    if (tree.cath[1].active != 0)
        coder.cath2ErrorCount += disagrees(tree.cath[1].list, leaf.treeCath2, event.cath2);
    if (tree.cath[2].active != 0)
        coder.cath3ErrorCount += disagrees(tree.cath[2].list, leaf.treeCath3, event.cath3);
    // The tree sizes above the leaf's level up to K-1 keep the leaf.
    fillGapTranscrErr(tree, coder, level, K);
    PathFillGap(tree, path, level, K);
    return fitOrRangeError<uint16_t>(k);
}

EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                         const EventRecord& event, TwordArray& path, TErrorRecordArray& errors) {
    const TreeNode& leaf = nodeAt(tree, EncodeIter(tree, coder, K, event, path, 0));
    for (int t = 0; t < K; ++t)
        addErrorFlags(checkedAt(errors, t), checkedAt(coder.BoolErrorVector, t));
    return EncodeResult{leaf.code, leaf.treeCath1, leaf.treeCath2, leaf.treeCath3};
}

}  // namespace zortan
