// Quantization trees grown split by split in memory, and coder arrays for them.
#pragma once

#include <deque>
#include <string>
#include <tuple>

#include "tree/QuantizationTree.h"
#include "tree/TreeCoding.h"
#include "tree/TreeReader.h"

namespace zortan::testing {

struct SonPair {
    int first = 0, second = 0;
};

// The root alone, every component counting, the centroid rule deciding. A
// split appends two sons as the training program does: the first keeps its
// father's code, the second's is the split's level.
struct TreeBuilder {
    QuantizationTree tree;

    TreeBuilder() {
        tree.nodeHeap.resize(1);
        tree.consideredComponentsNb = kComponents;
        for (unsigned i = 0; i < kComponents; ++i) tree.constrainedSet.insert(i);
        tree.treeTraining.setsDividingMethod = 1;
        tree.centroidsNb = 1;
    }
    TreeNode& node(int index) { return tree.nodeHeap.at(size_t(index)); }
    SonPair split(int father, int level) {
        const int first = int(tree.nodeHeap.size());
        tree.nodeHeap.resize(size_t(first) + 2);
        node(first).code = node(father).code;
        node(first).brother = int16_t(first + 1);
        node(first + 1).code = uint16_t(level);
        node(father).son = int16_t(first);
        tree.HeapTop = uint16_t(first + 1), tree.centroidsNb = uint16_t((first + 3) / 2);
        return {first, first + 1};
    }
    // Category `c` (1..3) as the reader stores it: list 1 has an extra entry, 0.
    void setCategory(int c, const std::string& values, bool active) {
        const auto [list, nbr, on] =
            c == 1   ? std::tie(tree.cath[0].list, tree.cath[0].nbr, tree.cath[0].active)
            : c == 2 ? std::tie(tree.cath[1].list, tree.cath[1].nbr, tree.cath[1].active)
                     : std::tie(tree.cath[2].list, tree.cath[2].nbr, tree.cath[2].active);
        list.assign(values.begin(), values.end());
        if (c == 1) list.push_back('\0');
        nbr = int16_t(values.size() - 1), on = active ? 1 : 0;
    }
};

// A balanced tree: the splits take the leaves in the order they were made.
inline TreeBuilder balancedTree(int leaves) {
    TreeBuilder b;
    std::deque<int> open{0};
    for (int level = 1; level < leaves; ++level, open.pop_front()) {
        const SonPair sons = b.split(open.front(), level);
        open.insert(open.end(), {sons.first, sons.second});
    }
    return b;
}

// The coder's arrays sized as the tree reader sizes them, with EuclidDist.
inline CoderState coderFor(const QuantizationTree& tree) {
    CoderState coder;
    SizeCoderArrays(tree, coder);
    coder.distanceFunction = &EuclidDist;
    return coder;
}

}  // namespace zortan::testing
