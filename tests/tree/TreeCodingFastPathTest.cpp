// The fast coder decides most centroid-rule splits by prepared dot products;
// these tests build distances that differ only in their last bits (or not at
// all), or whose double squares under- or overflow, and check every
// decision, message and everything the walk records against EncodeEvent and
// the extended sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/ScriptedUi.h"
#include "support/TreeBuilders.h"
#include "tree/TreeCoding.h"
#include "tree/fast/FastCoder.h"
#include "tree/fast/PreparedTree.h"

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

struct Scenario {
    std::mt19937 rng{20241206};
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    double nudged(double x, int ulps) {
        for (int i = 0; i < std::abs(ulps); ++i) x = std::nextafter(x, ulps * HUGE_VAL);
        return x;
    }
    ComponentVector uniform(double low, double high, double scale) {
        std::uniform_real_distribution<double> u(low, high);
        ComponentVector v;
        for (double& x : v) x = scale * u(rng);
        return v;
    }
    // With every event component in one binade, e - (e - d) is exact, so
    // centroids made of the same differences in another order (one of them
    // maybe nudged) are at exactly or nearly the same distance.
    ComponentVector nearTie(const ComponentVector& event, ComponentVector differences) {
        std::shuffle(differences.begin(), differences.end(), rng);
        ComponentVector c;
        for (size_t i = 0; i < c.size(); ++i) c[i] = event[i] - differences[i];
        double& x = c[static_cast<size_t>(pick(0, kComponents - 1))];
        if (pick(0, 2) != 0) x = nudged(x, pick(-3, 3));
        return c;
    }
    // Full or partial sets and any considered count (none, or the reader's
    // "unset" one, included): the coder must follow the change at each event.
    void constrain(QuantizationTree& tree) {
        const int p = pick(0, 3);
        tree.consideredComponentsNb = p == 0   ? std::numeric_limits<int32_t>::max()
                                      : p == 1 ? kComponents
                                               : pick(0, 129);
        tree.constrainedSet = Set256{};
        const bool full = pick(0, 1) == 0;
        for (unsigned i = 0; i < kComponents; ++i)
            if (full || pick(0, 3) != 0) tree.constrainedSet.insert(i);
    }
};

// Every fourth case is scaled so far that double squares under- or overflow;
// some hold a not-a-number, or infinities whose difference is one, in the
// event: the messages must be those of the extended sums too, none for a
// component outside the set.
TEST(FastCoder, NearTiesAreDecidedAsTheExtendedSumsDecide) {
    Scenario sc;
    TreeBuilder b;
    b.split(0, 1);
    CoderState coder = testing::coderFor(b.tree);
    int exactTies = 0, doubleDisagrees = 0, firstSons = 0, reported = 0;
    const int cases = 20000;
    for (int n = 0; n < cases; ++n) {
        sc.constrain(b.tree);
        b.node(0).centroid = sc.uniform(-1000.0, 1000.0, 1.0);
        const double scale = std::ldexp(1.0, n % 4 == 0 ? sc.pick(-560, 560) : 0);
        EventRecord e;
        e.reals = sc.uniform(600.0, 1000.0, scale);
        const ComponentVector differences = sc.uniform(-4.0, 4.0, scale);
        b.node(1).centroid = sc.nearTie(e.reals, differences);
        b.node(2).centroid = sc.nearTie(e.reals, differences);
        const auto at = static_cast<size_t>(sc.pick(0, kComponents - 1));
        if (n % 50 == 1) e.reals[at] = std::nan("");
        if (n % 50 == 2) e.reals[at] = b.node(2).centroid[at] = HUGE_VAL;
        FastCoder fast(b.tree, coder);

        ScriptedUi ui, refUi;
        const long double d1 = EuclidDist(b.tree, e.reals, b.node(1).centroid, refUi);
        const long double d2 = EuclidDist(b.tree, e.reals, b.node(2).centroid, refUi);
        const int expected = d1 < d2 ? 1 : 2;
        fast.encode(2, e, coder.nodePath1, coder.errorRecords1, ui);
        ASSERT_EQ(coder.nodePath1[1], expected) << "case " << n;
        ASSERT_EQ(ui.messages, refUi.messages) << "case " << n;
        reported += !ui.messages.empty();
        if (n % 50 == 1 || n % 50 == 2) continue;
        exactTies += d1 == d2;
        firstSons += expected == 1;
        double s1 = 0, s2 = 0;  // what a plain double comparison would say
        for (int i = 0; i < std::clamp(b.tree.consideredComponentsNb, 0, kComponents); ++i)
            if (b.tree.constrainedSet.contains(static_cast<unsigned>(i))) {
                const double a1 = e.reals[i] - b.node(1).centroid[i];
                const double a2 = e.reals[i] - b.node(2).centroid[i];
                s1 += a1 * a1;
                s2 += a2 * a2;
            }
        doubleDisagrees += (s1 < s2 ? 1 : 2) != expected;
    }
    // The cases are the hard ones: ties, both sons, many a double sum gets
    // wrong, and reports in some of the cases made for them.
    EXPECT_GT(exactTies, cases / 200);
    EXPECT_GT(firstSons, cases / 5);
    EXPECT_GT(doubleDisagrees, cases / 50);
    EXPECT_GT(reported, cases / 100);
}

// Path, flags and counts the coder holds, as text.
std::string state(const CoderState& c) {
    std::string s;
    for (uint16_t node : c.nodePath1) s += std::to_string(node) + " ";
    for (const ErrorFlags& f : c.BoolErrorVector)
        s += std::to_string(f.cath1) + std::to_string(f.cath2) + std::to_string(f.cath3) + " ";
    for (const TErrorRecord& r : c.errorRecords1)
        s += std::to_string(r.cath1) + "," + std::to_string(r.cath2) + "," +
             std::to_string(r.cath3) + " ";
    return s + std::to_string(c.cath1ErrorCount) + "," + std::to_string(c.cath2ErrorCount) + "," +
           std::to_string(c.cath3ErrorCount);
}

// Every split of these trees is a near tie for events around one point: a
// balanced tree, a chain longer than the levels the counting keeps track of,
// and a tree whose split levels do not rise along the paths.
TEST(FastCoder, WholeWalksMatchEncodeEvent) {
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
        const ComponentVector centre = sc.uniform(600, 1000, 1), differences = sc.uniform(-4, 4, 1);
        for (size_t k = 0; k < b.tree.nodeHeap.size(); ++k) {
            TreeNode& node = b.node(static_cast<int>(k));
            node.centroid = sc.nearTie(centre, differences);
            node.treeCath1 = static_cast<uint8_t>(k % 2);
            node.treeCath2 = static_cast<uint8_t>(k % 3);
        }
        CoderState fast = testing::coderFor(b.tree), ref = testing::coderFor(b.tree);
        ref.distanceFunction = &extendedOnly;
        std::optional<FastCoder> coder;
        for (int n = 0; n < 300; ++n) {
            if (n % 50 == 0) {
                sc.constrain(b.tree);
                coder.reset();
                coder.emplace(b.tree, fast);
            }
            EventRecord e;
            e.reals = centre;
            for (int j = 0; j < 3; ++j) {
                double& x = e.reals[static_cast<size_t>(sc.pick(0, 128))];
                x = sc.nudged(x, sc.pick(-2, 2));
            }
            e.cath1 = "ab"[n % 2];
            e.cath2 = "xyz"[n % 3];
            const auto K = static_cast<uint16_t>(sc.pick(1, b.tree.treeSizesNb()));
            // Every other event with the note made ahead, as the reading thread makes it.
            FastCoder::Note note;
            coder->noteAhead(&e.reals, 1, &note);
            const EncodeResult r = coder->encode(K, e, fast.nodePath1, fast.errorRecords1, ui,
                                                 n % 2 == 1 ? &note : nullptr);
            coder->settle();
            ASSERT_EQ(r.code,
                      EncodeEvent(b.tree, ref, K, e, ref.nodePath1, ref.errorRecords1, ui).code);
            ASSERT_EQ(state(fast), state(ref)) << "shape " << shape << " event " << n;
        }
        EXPECT_TRUE(ui.messages.empty());
    }
}

// Groups of events decided together, near ties that stop their walks at
// different depths among clear ones: each gets the decisions it gets alone.
TEST(PreparedTree, GroupsDecideAsSingleEvents) {
    Scenario sc;
    int depths = 0;
    for (int round = 0; round < 24; ++round) {
        TreeBuilder b = testing::balancedTree(64);
        const ComponentVector centre = sc.uniform(600, 1000, 1), differences = sc.uniform(-4, 4, 1);
        // Some sons' pairs are far apart: the events near the centre stop at
        // the first near tie on their way.
        for (size_t k = 1; k < b.tree.nodeHeap.size(); k += 2) {
            const bool clear = sc.pick(0, 3) != 0;
            for (size_t son = k; son < k + 2; ++son)
                b.node(static_cast<int>(son)).centroid =
                    clear ? sc.uniform(0, 2000, 1) : sc.nearTie(centre, differences);
        }
        const fast::PreparedTree prepared = fast::PrepareTree(b.tree, testing::coderFor(b.tree));
        std::vector<ComponentVector> reals(100, centre);
        std::vector<fast::Decisions> single;
        for (size_t n = 0; n < reals.size(); ++n) {
            if (n % 3 == 0) reals[n] = sc.uniform(0, 2000, 1);
            double& x = reals[n][static_cast<size_t>(sc.pick(0, 128))];
            x = sc.nudged(x, sc.pick(-2, 2));
            single.emplace_back();
            fast::DecideAhead(prepared, &reals[n], 1, &single.back());
            depths |= 1 << single.back().depth;
        }
        for (size_t group = 2; group <= 20; group += 3) {
            std::vector<fast::Decisions> together(reals.size(), fast::Decisions{~uint64_t{0}, 99});
            for (size_t at = 0; at < reals.size(); at += group)
                fast::DecideAhead(prepared, reals.data() + at, std::min(group, reals.size() - at),
                                  together.data() + at);
            for (size_t n = 0; n < reals.size(); ++n) {
                ASSERT_EQ(together[n].depth, single[n].depth) << group << " " << n;
                ASSERT_EQ(together[n].firstSon, single[n].firstSon) << group << " " << n;
            }
        }
    }
    EXPECT_GE(std::popcount(static_cast<unsigned>(depths)), 5) << "walks stopping at many depths";
}

// Sons at distances from the event that differ by a relative 10^-17 to
// 10^-1, around a root far from or near the event: a prepared split decides
// only as the extended sums do, and decides every clear case; a split made
// of infinities is left to the sums.
TEST(PreparedTree, DecideOnlyAsTheExtendedSumsDecideAndDecideClearCases) {
    Scenario sc;
    TreeBuilder b;
    b.split(0, 1);
    CoderState coder = testing::coderFor(b.tree);
    int decided = 0, clear = 0, undecidedClear = 0;
    const int cases = 20000;
    for (int n = 0; n < cases; ++n) {
        if (n % 8 == 0) sc.constrain(b.tree);
        const double scale = std::ldexp(1.0, n % 5 == 0 ? sc.pick(-540, 540) : 0);
        const double offset = std::pow(10.0, sc.pick(0, 4));
        EventRecord e;
        e.reals = sc.uniform(-1000.0, 1000.0, scale);
        b.node(0).centroid = e.reals;
        for (double& x : b.node(0).centroid) x += offset * scale * (sc.pick(0, 1) ? 1 : -1);
        // Differences of the two sons scaled so that their squared norms
        // differ by the relative gap.
        const double gap = std::pow(10.0, -17.0 + 16.0 * sc.pick(0, 1000) / 1000.0);
        const ComponentVector d = sc.uniform(-4.0, 4.0, scale);
        const double stretch = std::sqrt(1.0 + (sc.pick(0, 1) ? gap : -gap));
        for (size_t i = 0; i < kComponents; ++i) {
            b.node(1).centroid[i] = e.reals[i] - d[i];
            b.node(2).centroid[i] = e.reals[i] + d[i] * stretch;
        }
        const int at = sc.pick(0, kComponents - 1);
        const bool broken = (n % 100 == 7 || n % 100 == 8) &&
                            at < std::clamp(b.tree.consideredComponentsNb, 0, kComponents) &&
                            b.tree.constrainedSet.contains(static_cast<unsigned>(at));
        if (n % 100 == 7) b.node(2).centroid[static_cast<size_t>(at)] = HUGE_VAL;
        if (n % 100 == 8) e.reals[static_cast<size_t>(at)] = std::nan("");
        const fast::PreparedTree prepared = fast::PrepareTree(b.tree, coder);

        ScriptedUi ui;
        const long double d1 = EuclidDist(b.tree, e.reals, b.node(1).centroid, ui);
        const long double d2 = EuclidDist(b.tree, e.reals, b.node(2).centroid, ui);
        fast::Decisions root;
        fast::DecideAhead(prepared, &e.reals, 1, &root);
        const int decision = root.depth == 0 ? 0 : (root.firstSon & 1) != 0 ? 1 : -1;
        if (decision != 0) {
            ++decided;
            ASSERT_EQ(decision, d1 < d2 ? 1 : -1) << "case " << n << " gap " << gap;
        }
        const long double total = d1 * d1 + d2 * d2;
        // Squares far beyond the range of doubles are left to the sums.
        const bool isClear = gap > 1e-3 && offset <= 1e3 && std::fabs(std::log2(scale)) < 400 &&
                             !broken && std::fabs(d1 * d1 - d2 * d2) > 1e-3L * total;
        clear += isClear;
        undecidedClear += isClear && decision == 0;

        if (broken) {
            EXPECT_EQ(decision, 0) << "case " << n;
        }
    }
    EXPECT_GT(clear, cases / 20);
    EXPECT_EQ(undecidedClear, 0);
    EXPECT_GT(decided, cases / 3);
}

}  // namespace
}  // namespace zortan
