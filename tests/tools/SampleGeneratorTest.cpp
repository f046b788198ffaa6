#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "support/ScriptedUi.h"
#include "support/TreeBuilders.h"
#include "tools/samplegen/Synthesis.h"
#include "tools/samplegen/TreeGrowing.h"
#include "tree/TreeCoding.h"

namespace zortan {
namespace {

using samplegen::DividingMethod;
using samplegen::TrainingEvent;

// The committed samples are compared with what the generator writes by the
// SamplesAreReproducible test; these check what a regenerated sample relies
// on. Three groups of two-component events, each group with its own category
// value, plus a little spread within each group.
std::vector<TrainingEvent> threeGroups() {
    const int centres[3][2] = {{-900, 100}, {0, 800}, {700, -600}};
    std::vector<TrainingEvent> events;
    samplegen::Prng rng(7);
    for (int i = 0; i < 90; ++i) {
        TrainingEvent e;
        const int g = i % 3;
        e.components[0] = static_cast<int16_t>(centres[g][0] + rng.below(61) - 30);
        e.components[1] = static_cast<int16_t>(centres[g][1] + rng.below(61) - 30);
        e.components[2] = static_cast<int16_t>(rng.below(20000));  // beyond the considered two
        e.readings = {static_cast<uint8_t>(g), static_cast<uint8_t>(i % 2), 0};
        events.push_back(e);
    }
    return events;
}

TEST(SampleGenerator, GrownTreesCodeTheirTrainingEvents) {
    const std::vector<TrainingEvent> events = threeGroups();
    for (DividingMethod method : {DividingMethod::Centroids, DividingMethod::CART}) {
        testing::TreeBuilder b;
        QuantizationTree& tree = b.tree;
        samplegen::growTree(tree, events, method, 2, 6);
        tree.consideredComponentsNb = 2;
        tree.treeTraining.setsDividingMethod = static_cast<int>(method);
        b.setCategory(1, "abc", true);
        b.setCategory(2, "xy", false);
        b.setCategory(3, "z", false);
        SCOPED_TRACE(static_cast<int>(method));

        // Split t makes nodes 2t-1 and 2t; the second son's code is t.
        ASSERT_EQ(tree.centroidsNb, 6);
        ASSERT_EQ(tree.HeapTop, 10);
        std::set<int> leafCodes;
        for (const TreeNode& n : tree.nodeHeap) {
            if (n.son <= 0) {
                leafCodes.insert(n.code);
                continue;
            }
            const TreeNode &first = tree.nodeHeap[n.son], &second = tree.nodeHeap[n.son + 1];
            EXPECT_TRUE(first.code == n.code && first.brother == n.son + 1 &&
                        second.code == (n.son + 1) / 2);
        }
        EXPECT_EQ(leafCodes, (std::set<int>{0, 1, 2, 3, 4, 5}));
        EXPECT_EQ(tree.groupTable.back(), 90);

        // The coder sends every training event to the leaf that counted it,
        // and three clusters already separate the groups.
        CoderState coder = testing::coderFor(tree);
        testing::ScriptedUi ui;
        std::vector<int32_t> perCode(6);
        for (const TrainingEvent& t : events) {
            EventRecord e;
            e.components = t.components;
            for (size_t i = 0; i < kComponents; ++i) e.reals[i] = e.components[i];
            e.cath1 = "abc"[t.readings[0]];
            ++perCode[EncodeEvent(tree, coder, 6, e, coder.nodePath1, coder.errorRecords1, ui)
                          .code];
        }
        for (int c = 0; c < 6; ++c) EXPECT_EQ(perCode[c], tree.groupTable[c]) << c;
        EXPECT_EQ(coder.cath1ErrorCount, 0u);
        EXPECT_EQ(coder.errorRecords1[2].cath1, 0u);
        EXPECT_GT(coder.errorRecords1[1].cath1, 0u);
    }
}

TEST(SampleGenerator, IdenticalEventsStopTheGrowth) {
    std::vector<TrainingEvent> events(5);
    events[4].components[0] = 10;
    QuantizationTree tree;
    samplegen::growTree(tree, events, DividingMethod::CART, 3, 8);
    EXPECT_EQ(tree.HeapTop, 2);
    EXPECT_EQ(tree.nodeHeap[0].splitComponent, 0);
    EXPECT_DOUBLE_EQ(tree.nodeHeap[0].centroid[0], 5.0);  // the threshold between 0 and 10
    EXPECT_EQ(tree.groupTable, (std::vector<int32_t>{4, 1, 5}));
}

}  // namespace
}  // namespace zortan
