#include "tree/TreeCoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Dispatch.h"
#include "platform/Errors.h"
#include "support/DataText.h"
#include "support/TreeBuilders.h"
#include "tree/fast/FastCoder.h"

namespace zortan {
namespace {

using testing::dataText;
using testing::TreeBuilder;

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
    e.reals[0] = x, e.components[0] = static_cast<int16_t>(x);
    return e;
}

// Paths, flags and running counts, as text: what an event leaves at once.
std::string walkState(const CoderState& c) {
    std::string s;
    const auto put = [&s](const auto& x) {
        s += std::to_string(x.cath1) + "," + std::to_string(x.cath2) + "," +
             std::to_string(x.cath3) + " ";
    };
    for (uint16_t node : c.nodePath1) s += std::to_string(node) + " ";
    for (uint16_t node : c.nodePath2) s += std::to_string(node) + " ";
    std::for_each(c.BoolErrorVector.begin(), c.BoolErrorVector.end(), put);
    put(TErrorRecord{c.cath1ErrorCount, c.cath2ErrorCount, c.cath3ErrorCount});
    return s;
}

// With the error arrays too.
std::string state(const CoderState& c) {
    std::string s = walkState(c) + "| ";
    for (const TErrorRecordArray* errors : {&c.errorRecords1, &c.errorRecords2})
        for (const TErrorRecord& e : *errors)
            s += std::to_string(e.cath1) + "," + std::to_string(e.cath2) + "," +
                 std::to_string(e.cath3) + " ";
    return s;
}

// The distance is the coder's (none means EuclidDist), for the walk and the
// fast coder alike; a not-a-number is reported for each considered component
// from it on, and the two distances, then 0, tie.
TEST(TreeCodingRules, DistanceFunctionAndNotANumber) {
    TreeBuilder b;
    b.split(0, 1);
    b.node(1).centroid[0] = -1, b.node(2).centroid[0] = 1;
    b.tree.consideredComponentsNb = 3;
    CoderState coder = testing::coderFor(b.tree);
    auto code = [&](const EventRecord& e) {
        EncodeIter(b.tree, coder, 2, e, coder.nodePath1, 0);
        FastCoder(b.tree, coder).encode(2, e, coder.nodePath2, coder.errorRecords2);
        return std::to_string(coder.nodePath1[1]) + std::to_string(coder.nodePath2[1]);
    };
    EXPECT_EQ(code(eventAt(-0.5)), "11");
    coder.distanceFunction = [](const QuantizationTree& t, const ComponentVector& a,
                                const ComponentVector& c, std::vector<std::string>& remarks) {
        return -EuclidDist(t, a, c, remarks);
    };
    EXPECT_EQ(code(eventAt(-0.5)), "22");
    coder.distanceFunction = nullptr;
    EXPECT_EQ(code(eventAt(-0.5)), "11");
    EXPECT_TRUE(coder.remarks.empty());
    EventRecord e;
    e.reals[0] = std::nan("");
    EXPECT_EQ(code(e), "22");
    // Two distances by the walk, two more by EncodeEvent, to which the fast
    // coder leaves such an event.
    ASSERT_EQ(coder.remarks.size(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(coder.remarks[i],
                  "function EuclidDist, summ of squares<0!; =NAN i=" + std::to_string(i % 3));
}

// The ways of coding an event that must agree.
enum class Coding { Walk, Fast, FastMany, Reference };

std::string codingName(const ::testing::TestParamInfo<Coding>& info) {
    const char* names[] = {"Walk", "Fast", "FastMany", "Reference"};
    return names[static_cast<int>(info.param)];
}

// A walk's limits at their edge and one past, by EncodeEvent, a prepared fast
// coder event by event or many at once, and the reference coder. The root
// splits at level 1 into 1 (-10) and 2 (+10), node 1 at 2 into 3 and 4, node
// 2 at 3 into 5 (5) and 6 (15): 4 tree sizes, HeapTop 6.
class TreeCodingLimits : public ::testing::TestWithParam<Coding> {};

TEST_P(TreeCodingLimits, EdgeAcceptedOnePastRefused) {
    using Edit = std::function<void(TreeBuilder&)>;
    const auto set = [](int node, auto field, int value) -> Edit {
        return [=](TreeBuilder& b) { b.node(node).*field = value; };
    };
    const auto cart = [](int component) -> Edit {
        return [=](TreeBuilder& b) {
            b.tree.treeTraining.setsDividingMethod = 0;
            b.node(0).splitComponent = b.node(2).splitComponent = uint8_t(component);
        };
    };
    const Edit none = [](TreeBuilder&) {};
    const struct {
        const char* what;
        int K;
        double x;  // the event's component 0; 14 leads to node 6
        Edit edit;
        std::string outcome;  // "" accepted, "range", "range: <message>", "end: <message>"
    } cases[] = {
        {"K = tree sizes", 4, 14, none, ""},
        {"K = tree sizes + 1", 5, 14, none, "end: " + dataText("fill-gap-too-high.txt", "4")},
        {"second son's code beyond", 12, 14, set(6, &TreeNode::code, 9),
         "end: " + dataText("fill-gap-too-high.txt", "9")},
        {"last reading", 2, 12, set(2, &TreeNode::treeCath2, 2), ""},
        {"reading past it", 2, 12, set(2, &TreeNode::treeCath2, 3), "range"},
        // The list of category 1 has one extra entry, character 0.
        {"extra entry", 2, 12, set(2, &TreeNode::treeCath1, 2), ""},
        {"reading past it", 2, 12, set(2, &TreeNode::treeCath1, 3), "range"},
        {"son at HeapTop+1: no message", 4, 14, set(6, &TreeNode::son, 7), "range"},
        {"son beyond it", 4, 14, set(6, &TreeNode::son, 8),
         "range: " + dataText("son-beyond-heap.txt", "8")},
        {"CART on component 128", 4, 14, cart(128), ""},
        {"CART on component 129", 4, 14, cart(129), "range"},
        {"sons in a circle", 4, 14, set(2, &TreeNode::son, 1), "range"},  // node 2's: 1 and 2
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TreeBuilder b;
        b.split(0, 1), b.split(1, 2), b.split(2, 3);
        for (auto [node, x] : {std::pair{1, -10}, {2, 10}, {5, 5}, {6, 15}})
            b.node(node).centroid[0] = x;
        b.setCategory(1, "ab", true), b.setCategory(2, "xyz", true), b.setCategory(3, "pq", true);
        c.edit(b);
        CoderState coder = testing::coderFor(b.tree);
        const auto K = static_cast<uint16_t>(c.K);
        std::string outcome;
        const EventRecord e = eventAt(c.x);
        try {
            switch (GetParam()) {
                case Coding::Walk:
                    EncodeEvent(b.tree, coder, K, e, coder.nodePath1, coder.errorRecords1);
                    break;
                case Coding::Fast:
                case Coding::Reference:
                    FastCoder(b.tree, coder,
                              GetParam() == Coding::Fast ? CoderKind::Fast : CoderKind::Reference)
                        .encode(K, e, coder.nodePath1, coder.errorRecords1);
                    break;
                case Coding::FastMany:
                    FastCoder(b.tree, coder)
                        .encodeMany(K, &e, 1, coder.nodePath1, coder.errorRecords1, nullptr);
                    break;
            }
        } catch (const WalkBeyondTree& walk) {
            outcome = "range: " + walk.message();
        } catch (const RangeError&) {
            outcome = "range";
        } catch (const CoderHalt& halt) {
            outcome = "end: " + halt.message;
        }
        for (const std::string& m : coder.remarks) outcome += ": " + m;
        EXPECT_EQ(outcome, c.outcome);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCoding, TreeCodingLimits,
                         ::testing::Values(Coding::Walk, Coding::Fast, Coding::FastMany,
                                           Coding::Reference),
                         codingName);

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

// Random trees (balanced, grown at random leaves, a chain longer than the fast
// coder's levels, or levels not rising along the paths), sets, rules,
// readings and categories over the first 8 components, and events for them,
// some on a grid so that distances tie.
struct RandomTrees {
    std::mt19937 rng;
    // Characters above 127 too: a reading is a character, never a negative number.
    const std::string lists[3] = {"ab\xE9", "xy", "pq\xFCs"};
    bool grid = false;
    bool active[3] = {};

    explicit RandomTrees(uint32_t seed) : rng(seed) {}
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    int any(int c) { return uniform(0, static_cast<int>(lists[c].size()) - 1); }
    double value() {
        return grid ? uniform(-2, 2) : std::uniform_real_distribution<double>(-100, 100)(rng);
    }

    // Shape 0 balanced, 1 grown at random leaves, 2 a chain of 100 leaves, 3
    // balanced with the second sons' levels shuffled.
    TreeBuilder tree(int shape, bool cartRule) {
        const int leaves = shape == 2 ? 100 : uniform(1, 40);
        TreeBuilder b = testing::balancedTree(shape == 0 || shape == 3 ? leaves : 1);
        for (std::vector<int> open{0}; shape == 1 && b.tree.treeSizesNb() < leaves;) {
            const size_t pick = static_cast<size_t>(uniform(0, static_cast<int>(open.size()) - 1));
            const testing::SonPair sons = b.split(open[pick], b.tree.treeSizesNb());
            open[pick] = sons.first;
            open.push_back(sons.second);
        }
        for (int level = 1, leaf = 0; shape == 2 && level < leaves; ++level)
            leaf = b.split(leaf, level).second;
        if (shape == 3) {
            std::vector<uint16_t> levels(static_cast<size_t>(leaves - 1));
            std::iota(levels.begin(), levels.end(), uint16_t{1});
            std::shuffle(levels.begin(), levels.end(), rng);
            for (size_t s = 0; s < levels.size(); ++s) b.node(2 * int(s) + 2).code = levels[s];
        }
        QuantizationTree& tree = b.tree;
        tree.treeTraining.setsDividingMethod = cartRule ? 0 : 1;
        tree.consideredComponentsNb = uniform(1, 6), tree.constrainedSet = Set256{};
        for (unsigned i = 0; i < 8; ++i)
            if (uniform(0, 3) != 0) tree.constrainedSet.insert(i);
        for (int c = 0; c < 3; ++c) b.setCategory(c + 1, lists[c], active[c] = uniform(0, 2) != 0);
        for (TreeNode& n : tree.nodeHeap) {
            for (int i = 0; i < 8; ++i) n.centroid[i] = value();
            n.splitComponent = static_cast<uint8_t>(uniform(0, 7));
            for (int c = 0; c < 3; ++c) reading(n, c) = static_cast<uint8_t>(any(c));
        }
        return b;
    }

    // Flags as an earlier tree may have left them: inactive ones must stay.
    CoderState coder(const QuantizationTree& tree) {
        CoderState coder = testing::coderFor(tree);
        for (ErrorFlags& f : coder.BoolErrorVector)
            for (int c = 0; c < 3; ++c) cat(f, c) = static_cast<uint8_t>(uniform(0, 1));
        return coder;
    }

    EventRecord event() {
        EventRecord e;
        for (int i = 0; i < 8; ++i) e.components[i] = static_cast<int16_t>(e.reals[i] = value());
        for (int c = 0; c < 3; ++c) cat(e, c) = lists[c][static_cast<size_t>(any(c))];
        return e;
    }
};

// EncodeEvent and the fast coder (with or without notes) agree on everything
// for events of both inputs at random K, and for trees the training program
// grows with the reference: a size without a split of its own repeats the one
// before, inactive categories stay, sizes from K on are not touched.
class TreeCodingCrossCheck : public ::testing::TestWithParam<CoderKind> {};

TEST_P(TreeCodingCrossCheck, WalkFastCoderAndReferenceAgree) {
    RandomTrees draw(20240611);
    const auto uniform = [&](int lo, int hi) { return draw.uniform(lo, hi); };
    const auto& lists = draw.lists;
    const bool* active = draw.active;
    size_t remarks = 0;
    for (int round = 0; round < 160; ++round) {
        const int shape = round % 8 == 7 ? 2 : round % 8 == 3 ? 3 : round % 2;
        draw.grid = round % 3 == 1;
        TreeBuilder b = draw.tree(shape, round % 5 == 0);
        const QuantizationTree& tree = b.tree;
        CoderState slow = draw.coder(tree);
        CoderState fast = slow;
        FastCoder coder(tree, fast, GetParam());
        CoderState want = slow;  // what the reference expects
        uint32_t misses[3] = {};
        for (int n = 0; n < 12; ++n) {
            SCOPED_TRACE("round " + std::to_string(round) + " event " + std::to_string(n));
            const auto K = static_cast<uint16_t>(uniform(1, tree.treeSizesNb()));
            const EventRecord e = draw.event();
            // Every third event is the second input's: own path and counts.
            const bool second = n % 3 == 2;
            const EncodeResult r =
                EncodeEvent(tree, slow, K, e, second ? slow.nodePath2 : slow.nodePath1,
                            second ? slow.errorRecords2 : slow.errorRecords1);
            FastCoder::Note note;
            coder.noteAhead(&e.reals, 1, &note);
            const EncodeResult f = coder.encode(K, e, second ? fast.nodePath2 : fast.nodePath1,
                                                second ? fast.errorRecords2 : fast.errorRecords1,
                                                n % 2 == 0 ? &note : nullptr);
            // The reference coder adds each event's errors at once.
            if (GetParam() == CoderKind::Fast) coder.settle();
            ASSERT_EQ(std::vector<int>({f.code, f.cath1, f.cath2, f.cath3}),
                      std::vector<int>({r.code, r.cath1, r.cath2, r.cath3}));
            ASSERT_EQ(state(fast), state(slow));
            remarks += slow.remarks.size() + fast.remarks.size();
            if (shape == 3) continue;

            TwordArray& path = second ? want.nodePath2 : want.nodePath1;
            TErrorRecordArray& errors = second ? want.errorRecords2 : want.errorRecords1;
            for (int t = 0; t < K; ++t) {  // tree size t: the leaf of the (t+1)-cluster tree
                const int node = referenceLeaf(tree, 0, t + 1, e);
                const bool repeat = t == 0 || node == path[t - 1];
                path[t] = static_cast<uint16_t>(node);
                for (int c = 0; c < 3; ++c) {
                    uint8_t& flag = cat(want.BoolErrorVector[t], c);
                    if (repeat)
                        flag = t == 0 ? 1 : cat(want.BoolErrorVector[t - 1], c);
                    else if (active[c])
                        flag = lists[c][reading(tree.nodeHeap[node], c)] != cat(e, c);
                    cat(errors[t], c) += flag;
                }
            }
            const TreeNode& leaf = tree.nodeHeap[path[K - 1]];
            for (int c = 0; c < 3; ++c)
                misses[c] += active[c] && lists[c][reading(leaf, c)] != cat(e, c);
            want.cath1ErrorCount = misses[0], want.cath2ErrorCount = misses[1];
            want.cath3ErrorCount = misses[2];
            ASSERT_EQ(
                std::vector<int>({r.code, r.cath1, r.cath2, r.cath3}),
                std::vector<int>({leaf.code, leaf.treeCath1, leaf.treeCath2, leaf.treeCath3}));
            ASSERT_EQ(state(slow), state(want));
        }
    }
    EXPECT_EQ(remarks, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, TreeCodingCrossCheck,
                         ::testing::Values(CoderKind::Fast, CoderKind::Reference),
                         [](const auto& kind) {
                             return kind.param == CoderKind::Fast ? "Fast" : "Reference";
                         });

// --- Many events at once ----------------------------------------------------

// A coder's kind with the instruction set of its kernels.
struct Kernels {
    CoderKind kind;
    fast::InstructionSet set;
};

// The fast coder with each instruction set this processor runs, and the reference.
std::vector<Kernels> kernelsHere() {
    std::vector<Kernels> all{{CoderKind::Reference, fast::InstructionSet::Baseline}};
    for (fast::InstructionSet set : fast::kInstructionSets)
        if (fast::runsHere(set)) all.push_back({CoderKind::Fast, set});
    return all;
}

std::string kernelsName(const ::testing::TestParamInfo<Kernels>& info) {
    if (info.param.kind == CoderKind::Reference) return "Reference";
    std::string name = fast::nameOf(info.param.set);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

void PrintTo(const Kernels& k, std::ostream* os) {
    *os << (k.kind == CoderKind::Reference ? "the reference coder" : fast::nameOf(k.set));
}

class EncodeMany : public ::testing::TestWithParam<Kernels> {};

// Batches of 0 to 150 events (over and under the coder's groups), at K from 1
// to every tree size, under both rules, ties included, and events as time
// averaging leaves them (the CART components halved differences from a
// running average, the reals as read). encodeMany gives each event the
// results, path and flags, in order, that EncodeEvent gives event by event,
// and leaves the error arrays and counts settled, its own and those pending
// from encode before it, also when an event's callback throws.
TEST_P(EncodeMany, AgreesWithEventByEvent) {
    RandomTrees draw(20250314);
    size_t remarks = 0;
    const size_t counts[] = {0, 1, 7, 31, 32, 33, 64, 150};
    for (int round = 0; round < 96; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        draw.grid = round % 3 == 1;
        TreeBuilder b = draw.tree(round % 8 == 7 ? 2 : round % 2, round % 5 == 0);
        const QuantizationTree& tree = b.tree;
        const int sizes = tree.treeSizesNb();
        const auto K = static_cast<uint16_t>(round % 3 == 0 ? sizes : draw.uniform(1, sizes));
        std::vector<EventRecord> events(counts[static_cast<size_t>(round) % std::size(counts)]);
        std::array<double, 8> average{};
        for (EventRecord& e : events) {
            e = draw.event();
            for (size_t i = 0; round % 4 == 2 && i < 8; ++i) {
                average[i] += (e.reals[i] - average[i]) / 4;
                e.components[i] =
                    static_cast<int16_t>(std::nearbyint((e.reals[i] - average[i]) / 2));
            }
        }

        // One by one, after an event of the second input coded alone; the
        // state after each event kept.
        CoderState slow = draw.coder(tree);
        CoderState fast = slow;
        const EventRecord alone = draw.event();
        EncodeEvent(tree, slow, K, alone, slow.nodePath2, slow.errorRecords2);
        std::vector<EncodeResult> want;
        std::vector<std::string> walked, after;
        for (const EventRecord& e : events) {
            want.push_back(EncodeEvent(tree, slow, K, e, slow.nodePath1, slow.errorRecords1));
            walked.push_back(walkState(slow));
            after.push_back(state(slow));
        }

        const int throwAt = round % 6 == 5 && !events.empty()
                                ? draw.uniform(0, static_cast<int>(events.size()) - 1)
                                : -1;
        const std::string settled =
            throwAt >= 0 ? after[static_cast<size_t>(throwAt)] : state(slow);
        std::vector<EncodeResult> got(events.size());
        size_t told = 0;
        int firstAmiss = -1;  // the first event told with another path, flags or counts
        {
            FastCoder coder(tree, fast, GetParam().kind, GetParam().set);
            coder.encode(K, alone, fast.nodePath2, fast.errorRecords2);
            const auto tell = [&](size_t i, const TwordArray& path,
                                  const std::vector<ErrorFlags>& flags) {
                const bool amiss = i != told++ || &path != &fast.nodePath1 ||
                                   &flags != &fast.BoolErrorVector || walkState(fast) != walked[i];
                if (amiss && firstAmiss < 0) firstAmiss = static_cast<int>(i);
                if (static_cast<int>(i) == throwAt) throw std::runtime_error("stop");
            };
            try {
                coder.encodeMany(K, events.data(), events.size(), fast.nodePath1,
                                 fast.errorRecords1, got.data(), tell);
                EXPECT_EQ(throwAt, -1);
            } catch (const std::runtime_error&) {
                EXPECT_EQ(static_cast<int>(told), throwAt + 1);
            }
            ASSERT_EQ(firstAmiss, -1);
            ASSERT_EQ(state(fast), settled);
        }
        ASSERT_EQ(state(fast), settled) << "counts added again when the coder ended";
        remarks += slow.remarks.size() + fast.remarks.size();
        ASSERT_EQ(told, throwAt >= 0 ? static_cast<size_t>(throwAt) + 1 : events.size());
        for (size_t i = 0; i < told; ++i)
            ASSERT_EQ(std::vector<int>({got[i].code, got[i].cath1, got[i].cath2, got[i].cath3}),
                      std::vector<int>({want[i].code, want[i].cath1, want[i].cath2, want[i].cath3}))
                << "event " << i;
    }
    EXPECT_EQ(remarks, 0u);
}

INSTANTIATE_TEST_SUITE_P(EachKernel, EncodeMany, ::testing::ValuesIn(kernelsHere()), kernelsName);

}  // namespace
}  // namespace zortan
