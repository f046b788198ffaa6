// The fast coder's prepared splits against the extended sums of EuclidDist, on
// distances that differ in their last bits or not at all, or whose double
// squares under- or overflow (whole walks: the tree coding cross-check), with
// the kernels of each instruction set this processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/Dispatch.h"
#include "support/TreeBuilders.h"
#include "tree/TreeCoding.h"
#include "tree/fast/DotProducts.h"
#include "tree/fast/FastCoder.h"
#include "tree/fast/PreparedTree.h"

namespace zortan {
namespace {

using fast::InstructionSet;
using testing::TreeBuilder;

std::vector<InstructionSet> setsHere() {
    std::vector<InstructionSet> sets;
    for (InstructionSet set : fast::kInstructionSets)
        if (fast::runsHere(set)) sets.push_back(set);
    return sets;
}

std::string setName(const ::testing::TestParamInfo<InstructionSet>& info) {
    std::string name = fast::nameOf(info.param);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

class EachSet : public ::testing::TestWithParam<InstructionSet> {};

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
    // "unset" one, included).
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

// One split; near ties (sons of the same differences, some scaled until double
// squares under- or overflow) alternate with gaps of a relative 10^-17 to
// 10^-1, some holding a not-a-number or infinities. A prepared split decides
// only as the sums do, and every clear case; the walk takes the sums' son and
// shows their messages, and so does the reference coder.
using SplitsOfEachSet = EachSet;
TEST_P(SplitsOfEachSet, DecideAsTheExtendedSumsDecide) {
    Scenario sc;
    TreeBuilder b;
    b.split(0, 1);
    CoderState coder = testing::coderFor(b.tree);
    int exactTies = 0, firstSons = 0, reported = 0, decided = 0, clear = 0;
    const int cases = 40000;
    for (int n = 0; n < cases; ++n) {
        SCOPED_TRACE("case " + std::to_string(n));
        const bool nearTies = n % 2 == 0;
        if (nearTies || n % 16 == 1) sc.constrain(b.tree);
        EventRecord e;
        double gap = 1, offset = 1, scale = 1;
        if (nearTies) {
            scale = std::ldexp(1.0, n % 8 == 0 ? sc.pick(-560, 560) : 0);
            b.node(0).centroid = sc.uniform(-1000.0, 1000.0, 1.0);
            e.reals = sc.uniform(600.0, 1000.0, scale);
            const ComponentVector differences = sc.uniform(-4.0, 4.0, scale);
            b.node(1).centroid = sc.nearTie(e.reals, differences);
            b.node(2).centroid = sc.nearTie(e.reals, differences);
        } else {
            scale = std::ldexp(1.0, n % 10 == 1 ? sc.pick(-540, 540) : 0);
            offset = std::pow(10.0, sc.pick(0, 4));
            e.reals = sc.uniform(-1000.0, 1000.0, scale);
            b.node(0).centroid = e.reals;
            for (double& x : b.node(0).centroid) x += offset * scale * (sc.pick(0, 1) ? 1 : -1);
            gap = std::pow(10.0, -17.0 + 16.0 * sc.pick(0, 1000) / 1000.0);
            const ComponentVector d = sc.uniform(-4.0, 4.0, scale);
            const double stretch = std::sqrt(1.0 + (sc.pick(0, 1) ? gap : -gap));
            for (size_t i = 0; i < kComponents; ++i) {
                b.node(1).centroid[i] = e.reals[i] - d[i];
                b.node(2).centroid[i] = e.reals[i] + d[i] * stretch;
            }
        }
        const auto at = static_cast<size_t>(sc.pick(0, kComponents - 1));
        const bool broken =
            (n % 100 == 7 || n % 100 == 8) &&
            static_cast<int>(at) < std::clamp(b.tree.consideredComponentsNb, 0, kComponents) &&
            b.tree.constrainedSet.contains(static_cast<unsigned>(at));
        if (n % 100 == 7) e.reals[at] = b.node(2).centroid[at] = HUGE_VAL;
        if (n % 100 == 8) e.reals[at] = std::nan("");

        std::vector<std::string> refRemarks;
        const long double d1 = EuclidDist(b.tree, e.reals, b.node(1).centroid, refRemarks);
        const long double d2 = EuclidDist(b.tree, e.reals, b.node(2).centroid, refRemarks);
        const int expected = d1 < d2 ? 1 : 2;
        const fast::PreparedTree prepared = fast::PrepareTree(b.tree, coder);
        fast::Decisions root;
        fast::DecideAhead(prepared, &e.reals, 1, &root, GetParam());
        const int decision = root.depth == 0 ? 0 : (root.firstSon & 1) != 0 ? 1 : 2;
        decided += decision != 0;
        ASSERT_TRUE(decision == 0 || decision == expected) << decision << ", gap " << gap;
        for (CoderKind kind : {CoderKind::Fast, CoderKind::Reference}) {
            coder.remarks.clear();
            FastCoder(b.tree, coder, kind, GetParam())
                .encode(2, e, coder.nodePath1, coder.errorRecords1);
            ASSERT_EQ(coder.nodePath1[1], expected);
            ASSERT_EQ(coder.remarks, refRemarks);
        }
        reported += !refRemarks.empty();
        if (broken) {
            EXPECT_EQ(decision, 0);
            continue;
        }
        if (nearTies) {
            exactTies += d1 == d2;
            firstSons += expected == 1;
            continue;
        }
        // Squares far beyond the range of doubles are left to the sums.
        const long double total = d1 * d1 + d2 * d2;
        const bool isClear = gap > 1e-3 && offset <= 1e3 && std::fabs(std::log2(scale)) < 400 &&
                             std::fabs(d1 * d1 - d2 * d2) > 1e-3L * total;
        clear += isClear;
        EXPECT_TRUE(!isClear || decision != 0) << "a clear case left undecided";
    }
    // The cases are the hard ones: ties, both sons, reports in some of the
    // cases made for them; and clear ones.
    EXPECT_GT(exactTies, cases / 400);
    EXPECT_GT(firstSons, cases / 10);
    EXPECT_GT(reported, cases / 200);
    EXPECT_GT(clear, cases / 40);
    EXPECT_GT(decided, cases / 3);
}

// Events decided in groups (near ties stopping at various depths among clear
// ones) get the decisions they get alone.
using GroupsOfEachSet = EachSet;
TEST_P(GroupsOfEachSet, DecideAsSingleEvents) {
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
        std::vector<fast::Decisions> single(reals.size());
        for (size_t n = 0; n < reals.size(); ++n) {
            if (n % 3 == 0) reals[n] = sc.uniform(0, 2000, 1);
            double& x = reals[n][static_cast<size_t>(sc.pick(0, 128))];
            x = sc.nudged(x, sc.pick(-2, 2));
            fast::DecideAhead(prepared, &reals[n], 1, &single[n], GetParam());
            depths |= 1 << single[n].depth;
        }
        for (size_t group = 2; group <= 20; group += 3) {
            std::vector<fast::Decisions> together(reals.size(), fast::Decisions{~uint64_t{0}, 99});
            for (size_t at = 0; at < reals.size(); at += group)
                fast::DecideAhead(prepared, reals.data() + at, std::min(group, reals.size() - at),
                                  together.data() + at, GetParam());
            for (size_t n = 0; n < reals.size(); ++n)
                ASSERT_TRUE(together[n].depth == single[n].depth &&
                            together[n].firstSon == single[n].firstSon)
                    << group << " " << n;
        }
    }
    EXPECT_GE(std::popcount(static_cast<unsigned>(depths)), 5) << "walks stopping at many depths";
}

INSTANTIATE_TEST_SUITE_P(Here, SplitsOfEachSet, ::testing::ValuesIn(setsHere()), setName);
INSTANTIATE_TEST_SUITE_P(Here, GroupsOfEachSet, ::testing::ValuesIn(setsHere()), setName);

// The widest set that runs here is chosen, and the baseline runs anywhere.
// The dot products of every vector width, 1 to 9 pairs at a time (the
// kernel's groups of four and every rest), sum as the portable loop does, to
// within the rounding of their additions.
TEST(Dispatch, WidestSetChosenAndEveryWidthSumsAlike) {
    const InstructionSet chosen = fast::chosenInstructionSet();
    EXPECT_TRUE(fast::runsHere(InstructionSet::Baseline) && fast::runsHere(chosen));
    for (InstructionSet set : fast::kInstructionSets)
        EXPECT_TRUE(set <= chosen || !fast::runsHere(set)) << fast::nameOf(set);

    Scenario sc;
    std::vector<fast::PaddedVector> x(9), w(9);
    const double *xs[9], *ws[9];
    for (size_t j = 0; j < 9; ++j) {
        for (size_t i = 0; i < fast::kPaddedComponents; ++i)
            x[j][i] = sc.pick(-1000, 1000) / 7.0, w[j][i] = sc.pick(-1000, 1000) / 3.0;
        xs[j] = x[j].data(), ws[j] = w[j].data();
    }
    for (int count = 1; count <= 9; ++count) {
        double dots[4][9];
        fast::portablePairedDots(xs, ws, count, dots[0]);
        fast::pairedDots<16>(xs, ws, count, dots[1]);
        fast::pairedDots<32>(xs, ws, count, dots[2]);
        fast::pairedDots<64>(xs, ws, count, dots[3]);
        for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
            long double exact = 0, magnitude = 0;
            for (size_t i = 0; i < fast::kPaddedComponents; ++i) {
                exact += static_cast<long double>(x[j][i]) * w[j][i];
                magnitude += std::fabs(static_cast<long double>(x[j][i]) * w[j][i]);
            }
            for (const double* d : dots)
                ASSERT_NEAR(d[j], static_cast<double>(exact),
                            1e-13 * static_cast<double>(magnitude))
                    << count << " pairs, pair " << j;
        }
    }
}

// Events not laid out as reals get, whatever their number, the notes their
// reals would, each handed over once and in order; where notes would decide
// nothing (the CART rule, the reference coder) they are empty.
TEST(FastCoder, NotesOfEventsAnyWayLaidOut) {
    Scenario sc;
    TreeBuilder b = testing::balancedTree(32);
    for (TreeNode& n : b.tree.nodeHeap) n.centroid = sc.uniform(0, 2000, 1);
    std::vector<int16_t> words(37 * kComponents);
    for (int16_t& v : words) v = static_cast<int16_t>(sc.pick(0, 2000));
    std::vector<ComponentVector> reals(37);
    for (size_t i = 0; i < words.size(); ++i) reals[i / kComponents][i % kComponents] = words[i];
    for (int rule : {1, 0})
        for (CoderKind kind : {CoderKind::Fast, CoderKind::Reference}) {
            SCOPED_TRACE(std::to_string(rule) + (kind == CoderKind::Fast ? " fast" : " ref"));
            b.tree.treeTraining.setsDividingMethod = rule;
            CoderState state = testing::coderFor(b.tree);
            const FastCoder coder(b.tree, state, kind);
            std::vector<FastCoder::Note> direct(reals.size());
            coder.noteAhead(reals.data(), reals.size(), direct.data());
            std::vector<std::array<uint64_t, 2>> want, put;
            for (const FastCoder::Note& n : direct) want.push_back(n.words);
            coder.noteAhead(
                reals.size(),
                [&](size_t j, ComponentVector& r) {
                    for (size_t i = 0; i < kComponents; ++i) r[i] = words[j * kComponents + i];
                },
                [&](size_t j, const FastCoder::Note& note) {
                    EXPECT_EQ(j, put.size());
                    put.push_back(note.words);
                });
            ASSERT_EQ(put, want);
            const bool decide = rule == 1 && kind == CoderKind::Fast;
            EXPECT_EQ(coder.notesHelp(), decide);
            for (const auto& n : put) EXPECT_EQ(n[1] != 0, decide) << "depth " << n[1];
        }
}

}  // namespace
}  // namespace zortan
