// In-memory quantization trees of chosen shapes, and coder arrays sized for
// them as the tree reader sizes them.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "tree/QuantizationTree.h"
#include "tree/TreeCoding.h"
#include "tree/TreeReader.h"

namespace zortan::testing {

// A vector whose leading components are `values`, the rest 0.
inline ComponentVector vec(std::initializer_list<double> values) {
    ComponentVector v{};
    size_t i = 0;
    for (double x : values) v[i++] = x;
    return v;
}

struct SonPair {
    int first = 0;
    int second = 0;
};

// Grows a tree the way the training program does: a split turns a leaf into
// two new nodes appended to the heap; the first son keeps its father's code,
// the second son's code is the split's tree size index (its level).
class TreeBuilder {
  public:
    QuantizationTree tree;

    // The root alone; every component counts, the centroid rule decides.
    TreeBuilder() {
        tree.nodeHeap.resize(1);
        tree.consideredComponentsNb = kComponents;
        for (unsigned i = 0; i < kComponents; ++i) tree.constrainedSet.insert(i);
        tree.treeTraining.setsDividingMethod = 1;
        refreshSizes();
    }

    SonPair split(int father, int level) {
        const SonPair sons{static_cast<int>(tree.nodeHeap.size()),
                           static_cast<int>(tree.nodeHeap.size()) + 1};
        TreeNode first, second;
        first.code = tree.nodeHeap.at(father).code;
        first.brother = static_cast<int16_t>(sons.second);
        second.code = static_cast<uint16_t>(level);
        tree.nodeHeap.push_back(first);
        tree.nodeHeap.push_back(second);
        tree.nodeHeap.at(father).son = static_cast<int16_t>(sons.first);
        refreshSizes();
        return sons;
    }

    TreeNode& node(int index) { return tree.nodeHeap.at(index); }

    // Value list of category `c` (1..3), as the reader stores it: the list of
    // category 1 has one extra entry, character 0.
    void setCategory(int c, const std::string& values, bool active) {
        TcharList list(values.begin(), values.end());
        const auto last = static_cast<int16_t>(values.size()) - 1;
        const uint8_t flag = active ? 1 : 0;
        if (c == 1) list.push_back('\0');
        TcharList& target = c == 1 ? tree.cath1List : c == 2 ? tree.cath2List : tree.cath3List;
        int16_t& nbr = c == 1 ? tree.cath1Nbr : c == 2 ? tree.cath2Nbr : tree.cath3Nbr;
        uint8_t& on = c == 1 ? tree.cath1Active : c == 2 ? tree.cath2Active : tree.cath3Active;
        target = list;
        nbr = static_cast<int16_t>(last);
        on = flag;
    }

  private:
    void refreshSizes() {
        tree.HeapTop = static_cast<uint16_t>(tree.nodeHeap.size() - 1);
        tree.centroidsNb = static_cast<uint16_t>((tree.nodeHeap.size() + 1) / 2);
    }
};

// A balanced tree of `leaves` leaves: the splits take the leaves in the order
// they were made, level 1, 2, ... `centroids`, when given, holds the centroid
// of every node by node index (2*leaves-1 entries).
inline TreeBuilder balancedTree(int leaves, const std::vector<ComponentVector>& centroids = {}) {
    TreeBuilder b;
    std::deque<int> open{0};
    for (int level = 1; level < leaves; ++level) {
        const int father = open.front();
        open.pop_front();
        const SonPair sons = b.split(father, level);
        open.push_back(sons.first);
        open.push_back(sons.second);
    }
    for (size_t i = 0; i < centroids.size() && i < b.tree.nodeHeap.size(); ++i)
        b.tree.nodeHeap[i].centroid = centroids[i];
    return b;
}

// The coder's arrays sized for `tree` as the tree reader sizes them, all zero,
// with EuclidDist as the distance.
inline CoderState coderFor(const QuantizationTree& tree) {
    CoderState coder;
    SizeCoderArrays(tree, coder);
    coder.distanceFunction = &EuclidDist;
    return coder;
}

}  // namespace zortan::testing
