#include "tree/TreeCoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "support/TreeBuilders.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using testing::TreeBuilder;
using testing::vec;

void setReadings(TreeNode& n, uint8_t c1, uint8_t c2, uint8_t c3) {
    n.treeCath1 = c1;
    n.treeCath2 = c2;
    n.treeCath3 = c3;
}

// One-component tree: root split at level 1 into 1 (-10) and 2 (+10); node 1
// split at 2 into 3 (-15) and 4 (-5); node 2 split at 3 into 5 (5) and 6 (15).
// Codes: 1:0 2:1 3:0 4:2 5:1 6:3. Lists "ab", "xyz", "pq", all active.
TreeBuilder smallTree() {
    TreeBuilder b;
    b.split(0, 1);
    b.split(1, 2);
    b.split(2, 3);
    const double at[] = {0, -10, 10, -15, -5, 5, 15};
    const uint8_t readings[][3] = {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {0, 1, 0},
                                   {1, 0, 0}, {1, 1, 0}, {1, 2, 1}};
    for (int i = 0; i < 7; ++i) {
        b.node(i).centroid = vec({at[i]});
        setReadings(b.node(i), readings[i][0], readings[i][1], readings[i][2]);
    }
    b.setCategory(1, "ab", true);
    b.setCategory(2, "xyz", true);
    b.setCategory(3, "pq", true);
    return b;
}

EventRecord eventAt(double x, char c1 = 'a', char c2 = 'x', char c3 = 'p') {
    EventRecord e;
    e.reals[0] = x;
    e.components[0] = static_cast<int16_t>(x);
    e.cath1 = c1;
    e.cath2 = c2;
    e.cath3 = c3;
    return e;
}

std::string flagsText(const CoderState& coder, int K) {
    std::string s;
    for (int t = 0; t < K; ++t) {
        const ErrorFlags& f = coder.BoolErrorVector.at(t);
        s += std::to_string(f.cath1) + std::to_string(f.cath2) + std::to_string(f.cath3) + " ";
    }
    return s;
}

std::string countsText(const TErrorRecordArray& errors) {
    std::string s;
    for (const TErrorRecord& r : errors)
        s += std::to_string(r.cath1) + std::to_string(r.cath2) + std::to_string(r.cath3) + " ";
    return s;
}

TwordArray pathHead(const TwordArray& path, int K) {
    return TwordArray(path.begin(), path.begin() + K);
}

// --- EuclidDist -------------------------------------------------------------

TEST(TreeCodingEuclidDist, CountsConsideredComponentsOfTheSetOnly) {
    ScriptedUi ui;
    TreeBuilder b;
    b.tree.consideredComponentsNb = std::numeric_limits<int32_t>::max();  // as before any tree
    ComponentVector a = vec({5, 100});
    a[128] = 12;
    b.tree.constrainedSet = Set256{};
    b.tree.constrainedSet.insert(0);
    b.tree.constrainedSet.insert(128);
    b.tree.constrainedSet.insert(200);
    EXPECT_EQ(EuclidDist(b.tree, a, ComponentVector{}, ui), 13.0L);
    b.tree.consideredComponentsNb = 128;  // component 128 no longer counts
    EXPECT_EQ(EuclidDist(b.tree, a, ComponentVector{}, ui), 5.0L);
    b.tree.consideredComponentsNb = 0;
    EXPECT_EQ(EuclidDist(b.tree, a, ComponentVector{}, ui), 0.0L);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(TreeCodingEuclidDist, NotANumberIsReportedPerComponentAndGivesZero) {
    ScriptedUi ui;
    TreeBuilder b;
    b.tree.consideredComponentsNb = 5;
    ComponentVector a = vec({1, 2, std::nan(""), 4, 5});
    EXPECT_EQ(EuclidDist(b.tree, a, ComponentVector{}, ui), 0.0L);
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{"function EuclidDist, summ of squares<0!; =NAN i=2",
                                        "function EuclidDist, summ of squares<0!; =NAN i=3",
                                        "function EuclidDist, summ of squares<0!; =NAN i=4"}));

    // In a walk both distances are 0: the tie sends the event to the second son.
    b.split(0, 1);
    b.node(1).centroid = vec({1, 2, 0, 4, 5});
    b.node(2).centroid = vec({100, 100, 100, 100, 100});
    CoderState coder = testing::coderFor(b.tree);
    EventRecord e;
    e.reals = a;
    ui.messages.clear();
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    EXPECT_EQ(ui.messages.size(), 6u);
}

TEST(TreeCodingEuclidDist, SumsInExtendedPrecision) {
    if (std::numeric_limits<long double>::digits < 64) GTEST_SKIP() << "no extended precision";
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    const double tiny = std::ldexp(1.0, -30);  // tiny*tiny is lost next to 1 in a double sum
    b.node(1).centroid = vec({1, 0});
    b.node(2).centroid = vec({1, tiny});
    EXPECT_GT(EuclidDist(b.tree, b.node(2).centroid, ComponentVector{}, ui), 1.0L);
    // The square of 1+2^-30 needs 61 bits; kept whole, its root is exact.
    const double d = 1.0 + tiny;
    EXPECT_EQ(EuclidDist(b.tree, vec({d}), ComponentVector{}, ui), static_cast<long double>(d));
    CoderState coder = testing::coderFor(b.tree);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, EventRecord{}, coder.nodePath1, 0, ui), 1);
}

// --- The walk ---------------------------------------------------------------

TEST(TreeCodingWalk, OneClusterStopsAtTheRoot) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    b.node(0).code = 7;
    setReadings(b.node(0), 1, 2, 1);
    CoderState coder = testing::coderFor(b.tree);
    coder.nodePath1[1] = 42;
    for (int i = 0; i < 2; ++i) {
        const EncodeResult r =
            EncodeEvent(b.tree, coder, 1, eventAt(12), coder.nodePath1, coder.errorRecords1, ui);
        EXPECT_EQ(r.code, 7);
        EXPECT_EQ(r.cath1 * 100 + r.cath2 * 10 + r.cath3, 121);
    }
    EXPECT_EQ(flagsText(coder, 1), "111 ");
    EXPECT_EQ(countsText(coder.errorRecords1), "222 000 000 000 ");
    EXPECT_EQ(coder.nodePath1[0], 0);
    EXPECT_EQ(coder.nodePath1[1], 42);
    // The root's readings (b, z, q) against (a, x, p): every category misses.
    EXPECT_EQ(coder.cath1ErrorCount + coder.cath2ErrorCount + coder.cath3ErrorCount, 6u);
}

TEST(TreeCodingWalk, FullTreeReachesALeafAndRecordsThePath) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    const uint16_t K = static_cast<uint16_t>(b.tree.treeSizesNb());
    ASSERT_EQ(K, 4);

    EncodeResult r = EncodeEvent(b.tree, coder, K, eventAt(12, 'b', 'y', 'q'), coder.nodePath1,
                                 coder.errorRecords1, ui);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.cath1 * 100 + r.cath2 * 10 + r.cath3, 121);  // leaf 6's readings
    EXPECT_EQ(pathHead(coder.nodePath1, K), (TwordArray{0, 2, 2, 6}));
    EXPECT_EQ(flagsText(coder, K), "111 000 000 010 ");

    r = EncodeEvent(b.tree, coder, K, eventAt(-12), coder.nodePath2, coder.errorRecords2, ui);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.cath1 * 100 + r.cath2 * 10 + r.cath3, 10);  // leaf 3's readings
    EXPECT_EQ(pathHead(coder.nodePath2, K), (TwordArray{0, 1, 3, 3}));
    EXPECT_EQ(flagsText(coder, K), "111 000 010 010 ");
    EXPECT_EQ(pathHead(coder.nodePath1, K), (TwordArray{0, 2, 2, 6}));  // input 1 keeps its path
    EXPECT_TRUE(ui.messages.empty());
}

TEST(TreeCodingWalk, SplitAtLevelKIsNotTaken) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    // Node 2 is split at level 3; the event is nearer its second son (code 3).
    EncodeResult r =
        EncodeEvent(b.tree, coder, 3, eventAt(14), coder.nodePath1, coder.errorRecords1, ui);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(pathHead(coder.nodePath1, 3), (TwordArray{0, 2, 2}));
    EXPECT_EQ(coder.nodePath1[3], 0);
    r = EncodeEvent(b.tree, coder, 4, eventAt(14), coder.nodePath1, coder.errorRecords1, ui);
    EXPECT_EQ(r.code, 3);
}

// Levels along the path to node 10: 1 (node 1), 2 (node 3), 5 (node 10); to
// node 6: 1 (node 2), 3 (node 6, a leaf).
TreeBuilder jumpTree() {
    TreeBuilder b;
    b.split(0, 1);
    b.split(1, 2);
    b.split(2, 3);
    b.split(4, 4);
    b.split(3, 5);
    const double at[] = {0, -10, 10, -15, -5, 5, 15, -6, -4, -17, -13};
    for (int i = 0; i <= 10; ++i) b.node(i).centroid = vec({at[i]});
    b.setCategory(1, "ab", true);
    b.setCategory(2, "xy", true);
    b.setCategory(3, "pq", true);
    setReadings(b.node(3), 1, 0, 1);
    setReadings(b.node(10), 0, 1, 0);
    setReadings(b.node(6), 0, 1, 1);
    return b;
}

TEST(TreeCodingWalk, SkippedTreeSizesKeepTheNodeAndFlagsOfTheLevelBefore) {
    ScriptedUi ui;
    TreeBuilder b = jumpTree();
    CoderState coder = testing::coderFor(b.tree);
    ASSERT_EQ(b.tree.treeSizesNb(), 6);
    for (ErrorFlags& f : coder.BoolErrorVector) f = ErrorFlags{0, 1, 0};

    // Jump from level 2 to 5.
    EncodeResult r =
        EncodeEvent(b.tree, coder, 6, eventAt(-13), coder.nodePath1, coder.errorRecords1, ui);
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(pathHead(coder.nodePath1, 6), (TwordArray{0, 1, 3, 3, 3, 10}));
    EXPECT_EQ(flagsText(coder, 6), "111 000 101 101 101 010 ");

    // Leaf at level 3 with K = 6.
    for (ErrorFlags& f : coder.BoolErrorVector) f = ErrorFlags{0, 1, 0};
    r = EncodeEvent(b.tree, coder, 6, eventAt(12), coder.nodePath1, coder.errorRecords1, ui);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(pathHead(coder.nodePath1, 6), (TwordArray{0, 2, 2, 6, 6, 6}));
    EXPECT_EQ(flagsText(coder, 6), "111 000 000 011 011 011 ");
}

TEST(TreeCodingWalk, InactiveCategoryIsLeftAlone) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    b.setCategory(2, "xyz", false);
    b.node(2).treeCath2 = 200;  // beyond the list: never read while inactive
    b.node(6).treeCath2 = 1;    // would disagree with 'x'
    CoderState coder = testing::coderFor(b.tree);
    coder.BoolErrorVector[1].cath2 = 1;
    coder.BoolErrorVector[3].cath2 = 0;
    for (int i = 0; i < 2; ++i)
        EncodeEvent(b.tree, coder, 4, eventAt(12), coder.nodePath1, coder.errorRecords1, ui);
    // Level 0 is reset, 1 and 3 untouched, 2 a copy of level 1.
    std::string cath2;
    for (const ErrorFlags& f : coder.BoolErrorVector) cath2 += std::to_string(f.cath2);
    EXPECT_EQ(cath2, "1110");
    EXPECT_EQ(coder.cath2ErrorCount, 0u);
    EXPECT_EQ(coder.errorRecords1[2].cath2, 2u);
    EXPECT_EQ(coder.errorRecords1[3].cath2, 0u);
    EXPECT_EQ(coder.cath1ErrorCount, 2u);  // leaf 6 reads 'b' for category 1
}

TEST(TreeCodingWalk, ErrorCountsAccumulateAcrossEvents) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    const EventRecord events[] = {eventAt(12, 'b', 'y', 'q'), eventAt(-12), eventAt(-4)};
    for (const EventRecord& e : events)
        EncodeEvent(b.tree, coder, 4, e, coder.nodePath1, coder.errorRecords1, ui);
    EncodeEvent(b.tree, coder, 4, events[1], coder.nodePath2, coder.errorRecords2, ui);
    EXPECT_EQ(countsText(coder.errorRecords1), "333 000 110 120 ");
    EXPECT_EQ(countsText(coder.errorRecords2), "111 000 010 010 ");
    // Both inputs add to the same running counts.
    EXPECT_EQ(coder.cath1ErrorCount, 1u);
    EXPECT_EQ(coder.cath2ErrorCount, 3u);
    EXPECT_EQ(coder.cath3ErrorCount, 0u);
}

// --- Splitting rules --------------------------------------------------------

TEST(TreeCodingRules, TiesGoToTheSecondSon) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.node(1).centroid = vec({-1});
    b.node(2).centroid = vec({1});
    CoderState coder = testing::coderFor(b.tree);
    for (int method : {1, -1}) {
        b.tree.treeTraining.setsDividingMethod = method;
        EXPECT_EQ(EncodeIter(b.tree, coder, 2, eventAt(0), coder.nodePath1, 0, ui), 2);
        EXPECT_EQ(EncodeIter(b.tree, coder, 2, eventAt(-0.5), coder.nodePath1, 0, ui), 1);
    }

    // CART: component 3 against the father's threshold 7, whatever the distances say.
    b.tree.treeTraining.setsDividingMethod = 0;
    b.node(1).centroid = vec({-1, 0, 0, 7});
    b.node(2).centroid = vec({1, 0, 0, 100});
    b.node(0).splitComponent = 3;
    b.node(0).centroid[3] = 7;
    EventRecord e;
    e.reals[3] = 7;
    e.components[3] = 7;
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    e.components[3] = 6;
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    e.components[3] = 8;
    e.reals[3] = -1000;
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
}

TEST(TreeCodingRules, ComponentsOutsideTheSetOnlyMatterToCart) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.tree.consideredComponentsNb = 9;
    b.tree.constrainedSet = Set256{};
    for (unsigned i = 0; i < kComponents; ++i)
        if (i != 5) b.tree.constrainedSet.insert(i);
    b.node(1).centroid = vec({0, 0, 0, 0, 0, 1000, 0, 0, 0, 1000});
    b.node(2).centroid = vec({2, 0, 0, 0, 0, -1000, 0, 0, 0, -1000});
    CoderState coder = testing::coderFor(b.tree);
    for (double far : {-1e6, 0.0, 1e6}) {
        EventRecord e;
        e.reals[5] = far;
        e.reals[9] = -far;
        e.reals[0] = 0.9;
        EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1) << far;
        e.reals[0] = 1.1;
        EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2) << far;
    }

    b.tree.treeTraining.setsDividingMethod = 0;
    b.node(0).splitComponent = 5;
    b.node(0).centroid[5] = 3;
    EventRecord e;
    e.components[5] = 2;
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    e.components[5] = 3;
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
}

long double farthest(const QuantizationTree& tree, const ComponentVector& a,
                     const ComponentVector& b, Ui& ui) {
    return -EuclidDist(tree, a, b, ui);
}

TEST(TreeCodingRules, CentroidRuleUsesTheDistanceFunctionOrEuclid) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    coder.distanceFunction = &farthest;
    EXPECT_EQ(EncodeIter(b.tree, coder, 4, eventAt(12), coder.nodePath1, 0, ui), 3);
    coder.distanceFunction = nullptr;
    EXPECT_EQ(EncodeIter(b.tree, coder, 4, eventAt(12), coder.nodePath1, 0, ui), 6);
}

// --- Failures ---------------------------------------------------------------

TEST(TreeCodingFailures, SonBeyondTheTree) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.node(1).centroid = vec({-5});
    b.node(2).centroid = vec({5});
    CoderState coder = testing::coderFor(b.tree);
    b.node(1).son = 5;
    EXPECT_THROW(
        EncodeEvent(b.tree, coder, 2, eventAt(-3), coder.nodePath1, coder.errorRecords1, ui),
        RangeError);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              "An error in proc. \"EncodeIter\" occured!\r\nindex k> HeapTop+1, the k is beyond "
              "the tree node index scope.\r\nk=5\r\nHeapTop+1=2\r\ncentroidsNb=2\r\n"
              "startNodeIndex=1\r\nnodeHeap[startNodeIndex].son=5\r\nThe \"heapTop\" should be "
              "HeapTop:=2*(centroidsNb-1)!\r\nProbably bad tree construction; turn to the author.");

    ui.messages.clear();
    b.node(1).son = 3;  // exactly HeapTop+1
    EXPECT_THROW(
        EncodeEvent(b.tree, coder, 2, eventAt(-3), coder.nodePath1, coder.errorRecords1, ui),
        RangeError);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(TreeCodingFailures, SonsLeadingInACircleStopTheWalk) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.node(2).son = 1;  // node 2's sons are node 1 and node 2 again
    CoderState coder = testing::coderFor(b.tree);
    EXPECT_THROW(EncodeIter(b.tree, coder, 2, eventAt(0), coder.nodePath1, 0, ui), RangeError);
}

TEST(TreeCodingFailures, GapBeyondTheLastTreeSizeEndsTheProgram) {
    const std::string halted = ".\r\nTurn to the author, the program will be halted now.";
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    try {
        EncodeEvent(b.tree, coder, 5, eventAt(-12), coder.nodePath1, coder.errorRecords1, ui);
        ADD_FAILURE() << "K above the tree sizes was accepted";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.exitStatus, 1);
    }
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Program error occured in  procedure \"fillGapTranscrErr\"."
                                       "\r\nIndex for the \"BoolErrorVector\" array is too high"
                                       "\r\nIt should be <=3, but it achieves 4" +
                                       halted});

    ui.messages.clear();
    EXPECT_THROW(PathFillGap(b.tree, coder.nodePath1, 1, 6, ui), ProgramEnd);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("procedure \"PathFillGap\".\r\n"), std::string::npos);
    EXPECT_NE(ui.messages[0].find("achieves 4" + halted), std::string::npos);

    // A second son whose code lies beyond the arrays is refused before it is written.
    b.node(6).code = 9;
    ui.messages.clear();
    EXPECT_THROW(
        EncodeEvent(b.tree, coder, 12, eventAt(14), coder.nodePath1, coder.errorRecords1, ui),
        ProgramEnd);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("achieves 9" + halted), std::string::npos);
}

TEST(TreeCodingFailures, ReadingBeyondItsListIsARangeError) {
    ScriptedUi ui;
    TreeBuilder b = smallTree();
    CoderState coder = testing::coderFor(b.tree);
    b.node(2).treeCath2 = 3;  // "xyz" has readings 0..2
    EXPECT_THROW(
        EncodeEvent(b.tree, coder, 2, eventAt(12), coder.nodePath1, coder.errorRecords1, ui),
        RangeError);
    b.node(2).treeCath2 = 0;
    b.node(2).treeCath1 = 2;  // the extra entry of the category-1 list is readable...
    EXPECT_NO_THROW(
        EncodeEvent(b.tree, coder, 2, eventAt(12), coder.nodePath1, coder.errorRecords1, ui));
    b.node(2).treeCath1 = 3;  // ...but nothing beyond it
    EXPECT_THROW(
        EncodeEvent(b.tree, coder, 2, eventAt(12), coder.nodePath1, coder.errorRecords1, ui),
        RangeError);
}

// --- Cross-check against a recursive reference ------------------------------

long double referenceDistance(const QuantizationTree& tree, const ComponentVector& a,
                              const ComponentVector& b) {
    long double sum = 0;
    for (int i = 0; i < kComponents && i < tree.consideredComponentsNb; ++i)
        if (tree.constrainedSet.contains(static_cast<unsigned>(i))) {
            const long double d = static_cast<double>(a[i] - b[i]);
            sum += d * d;
        }
    return std::sqrt(sum);
}

// The leaf of the tree cut at `clusters` clusters, by recursion.
int referenceLeaf(const QuantizationTree& tree, int node, int clusters, const EventRecord& e) {
    const TreeNode& n = tree.nodeHeap[node];
    if (n.son <= 0) return node;
    const int s = n.son, b = tree.nodeHeap[s].brother;
    if (tree.nodeHeap[b].code >= clusters) return node;
    const bool first = tree.treeTraining.setsDividingMethod == 0
                           ? e.components[n.splitComponent] < n.centroid[n.splitComponent]
                           : referenceDistance(tree, e.reals, tree.nodeHeap[s].centroid) <
                                 referenceDistance(tree, e.reals, tree.nodeHeap[b].centroid);
    return referenceLeaf(tree, first ? s : b, clusters, e);
}

TEST(TreeCodingCrossCheck, WalkAgreesWithRecursiveReference) {
    std::mt19937 rng(20240611);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&] { return std::uniform_real_distribution<double>(-100, 100)(rng); };
    const std::string lists[3] = {"abc", "xy", "pqrs"};
    ScriptedUi ui;

    for (int round = 0; round < 150; ++round) {
        const int leaves = uniform(1, 40);
        TreeBuilder b;
        if (round % 2 == 0) {
            b = testing::balancedTree(leaves);
        } else {  // grown at random leaves
            std::vector<int> open{0};
            for (int level = 1; level < leaves; ++level) {
                const size_t pick =
                    static_cast<size_t>(uniform(0, static_cast<int>(open.size()) - 1));
                const testing::SonPair sons = b.split(open[pick], level);
                open[pick] = sons.first;
                open.push_back(sons.second);
            }
        }
        QuantizationTree& tree = b.tree;
        tree.treeTraining.setsDividingMethod = round % 5 == 0 ? 0 : 1;
        tree.consideredComponentsNb = uniform(1, 6);
        tree.constrainedSet = Set256{};
        for (unsigned i = 0; i < 8; ++i)
            if (uniform(0, 3) != 0) tree.constrainedSet.insert(i);
        for (int c = 1; c <= 3; ++c) b.setCategory(c, lists[c - 1], uniform(0, 2) != 0);
        for (TreeNode& n : tree.nodeHeap) {
            for (int i = 0; i < 8; ++i) n.centroid[i] = real();
            n.splitComponent = static_cast<uint8_t>(uniform(0, 7));
            setReadings(n, static_cast<uint8_t>(uniform(0, 2)), static_cast<uint8_t>(uniform(0, 1)),
                        static_cast<uint8_t>(uniform(0, 3)));
        }
        CoderState coder = testing::coderFor(tree);
        const bool active[3] = {tree.cath1Active != 0, tree.cath2Active != 0,
                                tree.cath3Active != 0};
        TErrorRecordArray expectedErrors(coder.errorRecords1.size());
        uint32_t expectedCounts[3] = {};

        for (int n = 0; n < 12; ++n) {
            const int K = uniform(1, tree.treeSizesNb());
            EventRecord e;
            for (int i = 0; i < 8; ++i) {
                e.reals[i] = real();
                e.components[i] = static_cast<int16_t>(e.reals[i]);
            }
            e.cath1 = lists[0][uniform(0, 2)];
            e.cath2 = lists[1][uniform(0, 1)];
            e.cath3 = lists[2][uniform(0, 3)];
            const char given[3] = {e.cath1, e.cath2, e.cath3};
            const std::vector<ErrorFlags> flagsBefore = coder.BoolErrorVector;
            const TwordArray pathBefore = coder.nodePath1;

            const EncodeResult r = EncodeEvent(tree, coder, static_cast<uint16_t>(K), e,
                                               coder.nodePath1, coder.errorRecords1, ui);

            // Node at tree size index t: the leaf of the (t+1)-cluster tree.
            std::vector<int> path(static_cast<size_t>(K));
            for (int t = 1; t < K; ++t) path[t] = referenceLeaf(tree, 0, t + 1, e);
            const TreeNode& leaf = tree.nodeHeap[referenceLeaf(tree, 0, K, e)];
            ASSERT_EQ(r.code, leaf.code);
            ASSERT_EQ(r.cath1 * 100 + r.cath2 * 10 + r.cath3,
                      leaf.treeCath1 * 100 + leaf.treeCath2 * 10 + leaf.treeCath3);

            for (int t = 0; t < K; ++t) {
                ASSERT_EQ(coder.nodePath1[t], path[t]) << "round " << round << " t=" << t;
                // Tree sizes without a split of their own repeat the size before;
                // otherwise active categories compare and inactive ones stay.
                uint8_t want[3];
                const TreeNode& node = tree.nodeHeap[path[t]];
                const uint8_t readings[3] = {node.treeCath1, node.treeCath2, node.treeCath3};
                const ErrorFlags& previous =
                    t == 0 ? ErrorFlags{1, 1, 1} : coder.BoolErrorVector[t - 1];
                const ErrorFlags& before = flagsBefore[t];
                const uint8_t prev[3] = {previous.cath1, previous.cath2, previous.cath3};
                const uint8_t old[3] = {before.cath1, before.cath2, before.cath3};
                for (int c = 0; c < 3; ++c) {
                    if (t == 0 || path[t] == path[t - 1])
                        want[c] = prev[c];
                    else if (active[c])
                        want[c] = lists[c][readings[c]] != given[c];
                    else
                        want[c] = old[c];
                }
                const ErrorFlags& got = coder.BoolErrorVector[t];
                ASSERT_EQ(got.cath1 * 100 + got.cath2 * 10 + got.cath3,
                          want[0] * 100 + want[1] * 10 + want[2])
                    << "round " << round << " t=" << t;
                expectedErrors[t].cath1 += want[0];
                expectedErrors[t].cath2 += want[1];
                expectedErrors[t].cath3 += want[2];
            }
            // Tree sizes from K on are not touched.
            for (size_t t = static_cast<size_t>(K); t < flagsBefore.size(); ++t) {
                const ErrorFlags& now = coder.BoolErrorVector[t];
                ASSERT_TRUE(now.cath1 == flagsBefore[t].cath1 &&
                            now.cath2 == flagsBefore[t].cath2 && now.cath3 == flagsBefore[t].cath3);
            }
            ASSERT_TRUE(
                std::equal(pathBefore.begin() + K, pathBefore.end(), coder.nodePath1.begin() + K));
            const uint8_t leafReadings[3] = {leaf.treeCath1, leaf.treeCath2, leaf.treeCath3};
            for (int c = 0; c < 3; ++c)
                if (active[c] && lists[c][leafReadings[c]] != given[c]) ++expectedCounts[c];
        }
        EXPECT_EQ(countsText(coder.errorRecords1), countsText(expectedErrors)) << "round " << round;
        EXPECT_EQ(coder.cath1ErrorCount, expectedCounts[0]);
        EXPECT_EQ(coder.cath2ErrorCount, expectedCounts[1]);
        EXPECT_EQ(coder.cath3ErrorCount, expectedCounts[2]);
    }
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace zortan
