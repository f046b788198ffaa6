#include "tree/TreeCoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "support/TreeBuilders.h"
#include "tree/fast/FastCoder.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using testing::TreeBuilder;
using testing::vec;

// Category c (0..2) of flags, counts or an event, and a node's reading of it.
template <class T>
auto& cat(T& x, int c) {
    return c == 0 ? x.cath1 : c == 1 ? x.cath2 : x.cath3;
}
template <class N>
auto& reading(N& n, int c) {
    return c == 0 ? n.treeCath1 : c == 1 ? n.treeCath2 : n.treeCath3;
}

EventRecord eventAt(double x) {
    EventRecord e;
    e.reals[0] = x;
    e.components[0] = static_cast<int16_t>(x);
    return e;
}

std::string digits(int a, int b, int c, const char* between = "") {
    return std::to_string(a) + between + std::to_string(b) + between + std::to_string(c);
}

// Path, flags and counts up to K, as "0 2 | 111 000 | 1,1,1 0,0,0".
std::string walked(const CoderState& coder, const TwordArray& path, const TErrorRecordArray& errors,
                   int K) {
    std::string s, f, c;
    for (int t = 0; t < K; ++t) {
        const ErrorFlags& e = coder.BoolErrorVector.at(t);
        s += std::to_string(path.at(t)) + " ";
        f += " " + digits(e.cath1, e.cath2, e.cath3);
        c += " " + digits(errors.at(t).cath1, errors.at(t).cath2, errors.at(t).cath3, ",");
    }
    return s + "|" + f + " |" + c;
}

long double farthest(const QuantizationTree& tree, const ComponentVector& a,
                     const ComponentVector& b, Ui& ui) {
    return -EuclidDist(tree, a, b, ui);
}

TEST(TreeCodingRules, TiesGoToTheSecondSonAndCartComparesTheThreshold) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.node(1).centroid = vec({-1, 0, 0, 7});
    b.node(2).centroid = vec({1, 0, 0, 100});
    CoderState coder = testing::coderFor(b.tree);
    // The walk and the fast coder, prepared for the tree as it is, agree.
    auto code = [&](const EventRecord& e) {
        const uint16_t leaf = EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui);
        FastCoder fast(b.tree, coder);
        EXPECT_EQ(fast.encode(2, e, coder.nodePath2, coder.errorRecords2, ui).code,
                  b.tree.nodeHeap[leaf].code);
        EXPECT_EQ(coder.nodePath2[1], leaf);
        return leaf;
    };
    b.tree.consideredComponentsNb = 3;
    for (int method : {1, -1}) {
        b.tree.treeTraining.setsDividingMethod = method;
        EXPECT_EQ(code(eventAt(0)), 2);
        EXPECT_EQ(code(eventAt(-0.5)), 1);
    }
    // The distance function is the coder's; none means EuclidDist.
    coder.distanceFunction = &farthest;
    EXPECT_EQ(code(eventAt(-0.5)), 2);
    coder.distanceFunction = nullptr;
    EXPECT_EQ(code(eventAt(-0.5)), 1);
    EXPECT_TRUE(ui.messages.empty());
    // A not-a-number is reported for each component from it on; both
    // distances are then 0 and tie.
    EventRecord e;
    e.reals[0] = std::nan("");  // NaN has no int16_t value: components stay 0
    EXPECT_EQ(code(e), 2);
    const std::string nan = "function EuclidDist, summ of squares<0!; =NAN i=";
    // (The fast coder leaves such an event to EncodeEvent: the messages come twice.)
    const std::vector<std::string> six{nan + "0", nan + "1", nan + "2",
                                       nan + "0", nan + "1", nan + "2"};
    std::vector<std::string> twice = six;
    twice.insert(twice.end(), six.begin(), six.end());
    EXPECT_EQ(ui.messages, twice);

    // CART: component 3 against the father's threshold 7, whatever the
    // distances (nearer node 1), the considered count or the set say.
    b.tree.treeTraining.setsDividingMethod = 0;
    b.tree.constrainedSet.words[0] &= ~uint64_t{8};
    b.node(0).splitComponent = 3;
    b.node(0).centroid[3] = 7;
    e = eventAt(-1);
    for (auto [component, want] : {std::pair{7, 2}, {6, 1}, {8, 2}}) {
        e.components[3] = static_cast<int16_t>(component);
        EXPECT_EQ(code(e), want) << component;
    }
}

// By EncodeEvent, or by a fast coder prepared for the tree before each event.
class TreeCodingFailures : public ::testing::TestWithParam<bool> {};

TEST_P(TreeCodingFailures, BadTreesAndReadingsStopTheWalk) {
    const bool prepared = GetParam();
    const std::string halted = ".\r\nTurn to the author, the program will be halted now.";
    ScriptedUi ui;
    // One component: the root split at level 1 into 1 (-10) and 2 (+10), node 1
    // at 2 into 3 and 4, node 2 at 3 into 5 (5) and 6 (15); all categories active.
    TreeBuilder b;
    b.split(0, 1);
    b.split(1, 2);
    b.split(2, 3);
    for (auto [node, x] : {std::pair{1, -10}, {2, 10}, {5, 5}, {6, 15}})
        b.node(node).centroid[0] = x;
    b.setCategory(1, "ab", true);
    b.setCategory(2, "xyz", true);
    b.setCategory(3, "pq", true);
    CoderState coder = testing::coderFor(b.tree);
    auto encode = [&](int K, double x) {
        if (prepared)
            FastCoder(b.tree, coder)
                .encode(static_cast<uint16_t>(K), eventAt(x), coder.nodePath1, coder.errorRecords1,
                        ui);
        else
            EncodeEvent(b.tree, coder, static_cast<uint16_t>(K), eventAt(x), coder.nodePath1,
                        coder.errorRecords1, ui);
    };
    try {
        encode(5, -12);
        ADD_FAILURE() << "K above the tree sizes was accepted";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.exitStatus, 1);
    }
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Program error occured in  procedure \"fillGapTranscrErr\"."
                                       "\r\nIndex for the \"BoolErrorVector\" array is too high"
                                       "\r\nIt should be <=3, but it achieves 4" +
                                       halted});

    // Readings beyond a list: the extra entry of the category-1 list is
    // readable, nothing beyond it; an inactive category is never read.
    b.node(2).treeCath2 = 3;
    EXPECT_THROW(encode(2, 12), RangeError);
    b.node(2).treeCath2 = 0;
    b.node(2).treeCath1 = 2;
    EXPECT_NO_THROW(encode(2, 12));
    b.node(2).treeCath1 = 3;
    EXPECT_THROW(encode(2, 12), RangeError);
    b.tree.cath1Active = 0;
    EXPECT_NO_THROW(encode(2, 12));

    // A second son whose code lies beyond the arrays is refused before it is written.
    b.node(6).code = 9;
    ui.messages.clear();
    EXPECT_THROW(encode(12, 14), ProgramEnd);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].ends_with("achieves 9" + halted));

    // Sons leading in a circle: node 2's sons are node 1 and node 2 again.
    TreeBuilder c;
    c.split(0, 1);
    c.node(2).son = 1;
    CoderState circle = testing::coderFor(c.tree);
    EXPECT_THROW(EncodeIter(c.tree, circle, 2, eventAt(0), circle.nodePath1, 0, ui), RangeError);
    FastCoder fast(c.tree, circle);
    EXPECT_THROW(fast.encode(2, eventAt(0), circle.nodePath1, circle.errorRecords1, ui),
                 RangeError);
}

INSTANTIATE_TEST_SUITE_P(PreparedOrNot, TreeCodingFailures, ::testing::Bool());

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

// Random trees (balanced, or grown at random leaves) with random sets, rules,
// readings and active categories, and events of both inputs coded at random
// K: the leaf, the paths, every flag and count must be those of the reference. Tree sizes
// without a split of their own repeat the size before; otherwise active
// categories compare and inactive ones stay; sizes from K on are not touched.
TEST(TreeCodingCrossCheck, WalkAgreesWithRecursiveReference) {
    std::mt19937 rng(20240611);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&] { return std::uniform_real_distribution<double>(-100, 100)(rng); };
    // Characters above 127 too: a reading is a character, never a negative number.
    const std::string lists[3] = {"ab\xE9", "xy", "pq\xFCs"};
    auto any = [&](int c) { return uniform(0, static_cast<int>(lists[c].size()) - 1); };
    ScriptedUi ui;
    for (int round = 0; round < 150; ++round) {
        const int leaves = uniform(1, 40);
        TreeBuilder b = testing::balancedTree(round % 2 == 0 ? leaves : 1);
        for (std::vector<int> open{0}; round % 2 == 1 && b.tree.treeSizesNb() < leaves;) {
            const size_t pick = static_cast<size_t>(uniform(0, static_cast<int>(open.size()) - 1));
            const testing::SonPair sons = b.split(open[pick], b.tree.treeSizesNb());
            open[pick] = sons.first;
            open.push_back(sons.second);
        }
        QuantizationTree& tree = b.tree;
        tree.treeTraining.setsDividingMethod = round % 5 == 0 ? 0 : 1;
        tree.consideredComponentsNb = uniform(1, 6);
        tree.constrainedSet = Set256{};
        for (unsigned i = 0; i < 8; ++i)
            if (uniform(0, 3) != 0) tree.constrainedSet.insert(i);
        bool active[3];
        for (int c = 0; c < 3; ++c) b.setCategory(c + 1, lists[c], active[c] = uniform(0, 2) != 0);
        for (TreeNode& n : tree.nodeHeap) {
            for (int i = 0; i < 8; ++i) n.centroid[i] = real();
            n.splitComponent = static_cast<uint8_t>(uniform(0, 7));
            for (int c = 0; c < 3; ++c) reading(n, c) = static_cast<uint8_t>(any(c));
        }
        CoderState coder = testing::coderFor(tree);
        // Most rounds code with a fast coder, as coding runs do.
        std::optional<FastCoder> fast;
        if (round % 3 != 0) fast.emplace(tree, coder);
        CoderState want = coder;  // what the reference expects the coder to hold
        uint32_t misses[3] = {};
        for (int n = 0; n < 12; ++n) {
            const int K = uniform(1, tree.treeSizesNb());
            EventRecord e;
            for (int i = 0; i < 8; ++i) e.components[i] = static_cast<int16_t>(e.reals[i] = real());
            for (int c = 0; c < 3; ++c) cat(e, c) = lists[c][static_cast<size_t>(any(c))];
            // Every third event is one of the second input: its own path and
            // counts, the same flags and running counts.
            const bool second = n % 3 == 2;
            TwordArray& codedPath = second ? coder.nodePath2 : coder.nodePath1;
            TErrorRecordArray& codedErrors = second ? coder.errorRecords2 : coder.errorRecords1;
            EncodeResult r;
            if (fast) {
                // Half of the events with the note made ahead for them; the
                // errors settled before they are compared.
                FastCoder::Note note;
                fast->noteAhead(&e.reals, 1, &note);
                r = fast->encode(static_cast<uint16_t>(K), e, codedPath, codedErrors, ui,
                                 n % 2 == 0 ? &note : nullptr);
                fast->settle();
            } else {
                r = EncodeEvent(tree, coder, static_cast<uint16_t>(K), e, codedPath, codedErrors,
                                ui);
            }
            TwordArray& path = second ? want.nodePath2 : want.nodePath1;
            TErrorRecordArray& errors = second ? want.errorRecords2 : want.errorRecords1;
            for (int t = 0; t < K; ++t) {  // tree size t: the leaf of the (t+1)-cluster tree
                const int node = referenceLeaf(tree, 0, t + 1, e);
                const bool repeat = t == 0 || node == path[t - 1];
                path[t] = static_cast<uint16_t>(node);
                for (int c = 0; c < 3; ++c) {
                    uint8_t& f = cat(want.BoolErrorVector[t], c);
                    if (repeat)
                        f = t == 0 ? 1 : cat(want.BoolErrorVector[t - 1], c);
                    else if (active[c])
                        f = lists[c][reading(tree.nodeHeap[node], c)] != cat(e, c);
                    cat(errors[t], c) += f;
                }
            }
            const TreeNode& leaf = tree.nodeHeap[path[K - 1]];
            for (int c = 0; c < 3; ++c)
                misses[c] += active[c] && lists[c][reading(leaf, c)] != cat(e, c);
            ASSERT_EQ(r.code, leaf.code);
            ASSERT_EQ(digits(r.cath1, r.cath2, r.cath3),
                      digits(leaf.treeCath1, leaf.treeCath2, leaf.treeCath3));
            const int all = tree.treeSizesNb();
            ASSERT_EQ(walked(coder, coder.nodePath1, coder.errorRecords1, all) +
                          walked(coder, coder.nodePath2, coder.errorRecords2, all),
                      walked(want, want.nodePath1, want.errorRecords1, all) +
                          walked(want, want.nodePath2, want.errorRecords2, all))
                << "round " << round << " event " << n;
            ASSERT_EQ(std::tie(coder.nodePath1, coder.nodePath2),
                      std::tie(want.nodePath1, want.nodePath2));
            ASSERT_EQ(
                digits(coder.cath1ErrorCount, coder.cath2ErrorCount, coder.cath3ErrorCount, ","),
                digits(misses[0], misses[1], misses[2], ","));
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace zortan
