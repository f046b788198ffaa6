// What the generator writes is compared with the committed samples by the
// SamplesAreReproducible test; here, what that comparison cannot show.
#include <gtest/gtest.h>

#include <vector>

#include "tools/samplegen/TreeGrowing.h"

namespace zortan {
namespace {

// A leaf of identical events cannot be split: the growth ends there.
TEST(SampleGenerator, IdenticalEventsStopTheGrowth) {
    std::vector<samplegen::TrainingEvent> events(5);
    events[4].components[0] = 10;
    QuantizationTree tree;
    samplegen::growTree(tree, events, samplegen::DividingMethod::CART, 3, 8);
    EXPECT_EQ(tree.HeapTop, 2);
    EXPECT_EQ(tree.nodeHeap[0].splitComponent, 0);
    EXPECT_DOUBLE_EQ(tree.nodeHeap[0].centroid[0], 5.0);  // the threshold between 0 and 10
    EXPECT_EQ(tree.groupTable, (std::vector<int32_t>{4, 1, 5}));
}

}  // namespace
}  // namespace zortan
