// The centroid rule decides most splits on double sums; these tests build
// distances that differ only in their last bits (or not at all) and check
// every decision, and everything the walk records, against the extended sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/ScriptedUi.h"
#include "support/TreeBuilders.h"
#include "tree/TreeCoding.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using testing::TreeBuilder;

// EuclidDist behind another pointer: the coder then decides every split by
// the extended sums themselves.
long double extendedOnly(const QuantizationTree& tree, const ComponentVector& a,
                         const ComponentVector& b, Ui& ui) {
    return EuclidDist(tree, a, b, ui);
}

// Nudges `x` by `ulps` units in the last place.
double nudged(double x, int ulps) {
    const double towards = ulps > 0 ? std::numeric_limits<double>::infinity()
                                    : -std::numeric_limits<double>::infinity();
    for (int i = 0; i < std::abs(ulps); ++i) x = std::nextafter(x, towards);
    return x;
}

// A centroid whose differences from `event` are those of `differences` in a
// shuffled order, then, in two cases out of three, one of them nudged by a
// few ulps. With every event component in one binade, e - (e - d) is exact
// and the same for each component, so such centroids are at exactly or
// nearly the same distance, and their squares are not exact in any precision.
ComponentVector nearTie(const ComponentVector& event, ComponentVector differences,
                        std::mt19937& rng) {
    std::shuffle(differences.begin(), differences.end(), rng);
    ComponentVector c;
    for (size_t i = 0; i < c.size(); ++i) c[i] = event[i] - differences[i];
    if (std::uniform_int_distribution<int>(0, 2)(rng) != 0) {
        const size_t at = std::uniform_int_distribution<size_t>(0, c.size() - 1)(rng);
        c[at] = nudged(c[at], std::uniform_int_distribution<int>(-3, 3)(rng));
    }
    return c;
}

struct Scenario {
    std::mt19937 rng{20241206};

    ComponentVector uniform(double low, double high, double scale) {
        std::uniform_real_distribution<double> u(low, high);
        ComponentVector v;
        for (double& x : v) x = scale * u(rng);
        return v;
    }
    ComponentVector event(double scale) { return uniform(600.0, 1000.0, scale); }
    ComponentVector differences(double scale) { return uniform(-4.0, 4.0, scale); }

    // Full or partial sets and any considered count, the tree reader's
    // "unset" count included.
    void constrain(QuantizationTree& tree) {
        const int pick = std::uniform_int_distribution<int>(0, 3)(rng);
        tree.consideredComponentsNb = pick == 0   ? std::numeric_limits<int32_t>::max()
                                      : pick == 1 ? kComponents
                                                  : std::uniform_int_distribution<int>(1, 129)(rng);
        tree.constrainedSet = Set256{};
        const bool full = std::uniform_int_distribution<int>(0, 1)(rng) == 0;
        for (unsigned i = 0; i < kComponents; ++i)
            if (full || std::uniform_int_distribution<int>(0, 3)(rng) != 0)
                tree.constrainedSet.insert(i);
    }
};

TEST(TreeCodingFastPath, NearTiesAreDecidedAsTheExtendedSumsDecide) {
    ScriptedUi ui;
    Scenario sc;
    TreeBuilder b;
    b.split(0, 1);
    CoderState coder = testing::coderFor(b.tree);
    int exactTies = 0, doubleDisagrees = 0, firstSons = 0;
    const int cases = 20000;
    for (int n = 0; n < cases; ++n) {
        sc.constrain(b.tree);
        // Every fourth case scaled from tiny to huge, where double squares
        // underflow or overflow but extended ones do not.
        const int exponent = std::uniform_int_distribution<int>(-560, 560)(sc.rng);
        const double scale = std::ldexp(1.0, n % 4 == 0 ? exponent : 0);
        EventRecord e;
        e.reals = sc.event(scale);
        const ComponentVector differences = sc.differences(scale);
        b.node(1).centroid = nearTie(e.reals, differences, sc.rng);
        b.node(2).centroid = nearTie(e.reals, differences, sc.rng);

        const long double d1 = EuclidDist(b.tree, e.reals, b.node(1).centroid, ui);
        const long double d2 = EuclidDist(b.tree, e.reals, b.node(2).centroid, ui);
        const int expected = d1 < d2 ? 1 : 2;
        ASSERT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), expected)
            << "case " << n << ": " << static_cast<double>(d1) << " vs " << static_cast<double>(d2);

        exactTies += d1 == d2;
        firstSons += expected == 1;
        // What a plain double comparison would have said.
        double s1 = 0, s2 = 0;
        const int count = std::clamp(b.tree.consideredComponentsNb, 0, kComponents);
        for (int i = 0; i < count; ++i)
            if (b.tree.constrainedSet.contains(static_cast<unsigned>(i))) {
                const double a1 = e.reals[i] - b.node(1).centroid[i];
                const double a2 = e.reals[i] - b.node(2).centroid[i];
                s1 += a1 * a1;
                s2 += a2 * a2;
            }
        doubleDisagrees += (s1 < s2 ? 1 : 2) != expected;
    }
    EXPECT_TRUE(ui.messages.empty());
    // The cases are the hard ones: ties, both sons, and many where double
    // sums alone would decide wrongly.
    EXPECT_GT(exactTies, cases / 200);
    EXPECT_GT(firstSons, cases / 5);
    EXPECT_GT(doubleDisagrees, cases / 50);
}

// Squares below the smallest double, or above the largest, are left to the
// extended sums, which hold them.
TEST(TreeCodingFastPath, UnderflowAndOverflowGoToTheExtendedSums) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    CoderState coder = testing::coderFor(b.tree);
    EventRecord e;
    // 100 squares of 2^-1080 each (0 as doubles) against one of 2^-1074.
    for (int i = 0; i < 100; ++i) b.node(1).centroid[i] = std::ldexp(1.0, -540);
    b.node(2).centroid = testing::vec({std::ldexp(1.0, -537)});
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    std::swap(b.node(1).centroid, b.node(2).centroid);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    // Both squares overflow as doubles.
    b.node(1).centroid = testing::vec({std::ldexp(1.0, 600)});
    b.node(2).centroid = testing::vec({std::ldexp(1.0, 601)});
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    std::swap(b.node(1).centroid, b.node(2).centroid);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    EXPECT_TRUE(ui.messages.empty());
}

// Checks that `fast` and `reference` recorded the same walk.
void expectSameState(const CoderState& fast, const CoderState& reference, int K) {
    for (int t = 0; t < K; ++t) {
        ASSERT_EQ(fast.nodePath1[t], reference.nodePath1[t]) << "t=" << t;
        const ErrorFlags &f = fast.BoolErrorVector[t], &r = reference.BoolErrorVector[t];
        ASSERT_EQ(f.cath1 * 100 + f.cath2 * 10 + f.cath3, r.cath1 * 100 + r.cath2 * 10 + r.cath3);
    }
    for (size_t t = 0; t < fast.errorRecords1.size(); ++t) {
        const TErrorRecord &f = fast.errorRecords1[t], &r = reference.errorRecords1[t];
        ASSERT_EQ(f.cath1, r.cath1) << "t=" << t;
        ASSERT_EQ(f.cath2, r.cath2) << "t=" << t;
        ASSERT_EQ(f.cath3, r.cath3) << "t=" << t;
    }
    EXPECT_EQ(fast.cath1ErrorCount, reference.cath1ErrorCount);
    EXPECT_EQ(fast.cath2ErrorCount, reference.cath2ErrorCount);
    EXPECT_EQ(fast.cath3ErrorCount, reference.cath3ErrorCount);
}

// Every split of these trees is a near tie for events around one point: a
// balanced tree, a chain longer than the levels the counting keeps track of,
// and a tree whose split levels do not rise along the paths. Walk, flags and
// counts must match those of extended sums throughout, and each event adds
// exactly its flags below K to the counts.
TEST(TreeCodingFastPath, WholeWalksMatchTheExtendedSums) {
    ScriptedUi ui;
    Scenario sc;
    for (const int shape : {0, 1, 2}) {
        TreeBuilder b = testing::balancedTree(shape == 0 ? 64 : 16);
        if (shape == 1) {
            b = TreeBuilder();
            for (int level = 1, leaf = 0; level < 100; ++level) leaf = b.split(leaf, level).second;
        } else if (shape == 2) {
            std::vector<uint16_t> levels(15);
            std::iota(levels.begin(), levels.end(), uint16_t{1});
            std::shuffle(levels.begin(), levels.end(), sc.rng);
            for (int s = 1; s <= 15; ++s) b.node(2 * s).code = levels[static_cast<size_t>(s - 1)];
        }
        b.setCategory(1, "ab", true);
        b.setCategory(2, "xyz", true);
        b.setCategory(3, "pq", false);
        const ComponentVector centre = sc.event(1.0), differences = sc.differences(1.0);
        for (size_t k = 0; k < b.tree.nodeHeap.size(); ++k) {
            TreeNode& node = b.node(static_cast<int>(k));
            node.centroid = nearTie(centre, differences, sc.rng);
            node.treeCath1 = static_cast<uint8_t>(k % 2);
            node.treeCath2 = static_cast<uint8_t>(k % 3);
        }
        CoderState fast = testing::coderFor(b.tree), reference = testing::coderFor(b.tree);
        reference.distanceFunction = &extendedOnly;
        for (int n = 0; n < 300; ++n) {
            if (n % 50 == 0) sc.constrain(b.tree);
            EventRecord e;
            e.reals = centre;
            for (int j = 0; j < 3; ++j) {
                double& x = e.reals[std::uniform_int_distribution<size_t>(0, 128)(sc.rng)];
                x = nudged(x, std::uniform_int_distribution<int>(-2, 2)(sc.rng));
            }
            e.cath1 = "ab"[n % 2];
            e.cath2 = "xyz"[n % 3];
            const int K = std::uniform_int_distribution<int>(1, b.tree.treeSizesNb())(sc.rng);
            const TErrorRecordArray before = fast.errorRecords1;
            const auto K16 = static_cast<uint16_t>(K);
            const EncodeResult r =
                EncodeEvent(b.tree, fast, K16, e, fast.nodePath1, fast.errorRecords1, ui);
            const EncodeResult want = EncodeEvent(b.tree, reference, K16, e, reference.nodePath1,
                                                  reference.errorRecords1, ui);
            ASSERT_EQ(r.code, want.code) << "event " << n;
            ASSERT_NO_FATAL_FAILURE(expectSameState(fast, reference, K));
            for (size_t t = 0; t < before.size(); ++t) {
                const bool below = static_cast<int>(t) < K;
                const ErrorFlags& f = fast.BoolErrorVector[t];
                ASSERT_EQ(fast.errorRecords1[t].cath1 - before[t].cath1, below && f.cath1 == 1);
                ASSERT_EQ(fast.errorRecords1[t].cath2 - before[t].cath2, below && f.cath2 == 1);
                ASSERT_EQ(fast.errorRecords1[t].cath3 - before[t].cath3, below && f.cath3 == 1);
            }
        }
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(TreeCodingFastPath, NotANumberIsReportedExactlyAsBefore) {
    TreeBuilder b;
    b.split(0, 1);
    b.tree.consideredComponentsNb = 6;
    b.node(1).centroid = testing::vec({1, 2, 0, 4, 5, 6});
    b.node(2).centroid = testing::vec({9, 9, 9, 9, 9, 9});
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    // A not-a-number sum in both distances, one in the second only, and
    // infinities whose difference is not a number.
    const std::vector<ComponentVector> events = {testing::vec({1, 2, nan, 4, 5, 6}),
                                                 testing::vec({1, 2, 0, 4, 5, 6}),
                                                 testing::vec({inf, 2, 0, 4, 5, 6})};
    std::vector<ComponentVector> seconds = {b.node(2).centroid, testing::vec({9, 9, 9, nan, 9, 9}),
                                            testing::vec({inf, 9, 9, 9, 9, 9})};
    for (size_t n = 0; n < events.size(); ++n) {
        b.node(2).centroid = seconds[n];
        EventRecord e;
        e.reals = events[n];
        ScriptedUi fastUi, referenceUi;
        CoderState fast = testing::coderFor(b.tree), reference = testing::coderFor(b.tree);
        reference.distanceFunction = &extendedOnly;
        const uint16_t got = EncodeIter(b.tree, fast, 2, e, fast.nodePath1, 0, fastUi);
        EXPECT_EQ(got, EncodeIter(b.tree, reference, 2, e, reference.nodePath1, 0, referenceUi));
        EXPECT_EQ(fastUi.messages, referenceUi.messages) << "event " << n;
        EXPECT_FALSE(fastUi.messages.empty());
    }
    // The first event: every component from the not-a-number on, first for
    // the first son, then for the second; the zero distances tie.
    ScriptedUi ui;
    b.node(2).centroid = seconds[0];
    EventRecord e;
    e.reals = events[0];
    CoderState coder = testing::coderFor(b.tree);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    std::vector<std::string> want;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 2; i < 6; ++i)
            want.push_back("function EuclidDist, summ of squares<0!; =NAN i=" + std::to_string(i));
    EXPECT_EQ(ui.messages, want);

    // Outside the set a not-a-number means nothing, and nothing is shown.
    b.tree.constrainedSet = Set256{};
    for (unsigned i : {0u, 1u, 3u, 4u, 5u}) b.tree.constrainedSet.insert(i);
    ui.messages.clear();
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    EXPECT_TRUE(ui.messages.empty());
}

// The components the coder measures follow the tree's count and set from one
// call to the next, on the same coder state.
TEST(TreeCodingFastPath, ComponentChangesTakeEffectAtTheNextEvent) {
    ScriptedUi ui;
    TreeBuilder b;
    b.split(0, 1);
    b.node(1).centroid = testing::vec({0, 0, 0, 0, 10});
    b.node(2).centroid = testing::vec({1, 1, 1, 1, 0});
    EventRecord e;  // at the origin: nearer node 1 on components 0..3 alone
    CoderState coder = testing::coderFor(b.tree);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    b.tree.consideredComponentsNb = 4;  // a text input with nc = 4
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    b.tree.consideredComponentsNb = kComponents;
    b.tree.constrainedSet = Set256{};
    for (unsigned i = 0; i < 4; ++i) b.tree.constrainedSet.insert(i);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 1);
    b.tree.constrainedSet.insert(4);
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
    b.tree.consideredComponentsNb = 0;  // nothing counts: a tie
    EXPECT_EQ(EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0, ui), 2);
}

}  // namespace
}  // namespace zortan
