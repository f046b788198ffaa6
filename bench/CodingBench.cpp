// The fast coder under both rules and EncodeEvent, event by event and many at once, against a
// brute-force search of the nearest leaf centroid over the same events.
#include <benchmark/benchmark.h>

#include <cstring>
#include <limits>
#include <vector>

#include "base/Dispatch.h"
#include "bench/BenchData.h"
#include "tree/TreeCoding.h"
#include "tree/fast/FastCoder.h"

namespace zortan::bench {

namespace {

// Events cycled through (a power of two): few enough to stay in the cache,
// as the one current-event record that the readers have just written does.
constexpr int kEvents = 512;
constexpr uint32_t kTreeSeed = 7, kEventSeed = 11;

enum class Rule {
    Centroids,  // the fast coder deciding each walk itself
    Cart,
    CentroidsPartialSet,
    CentroidsNoted,      // the coding thread's share when the reader notes the decisions
    CentroidsReference,  // EncodeEvent, every split by extended sums
};

void encodeEvent(benchmark::State& state, Rule rule) {
    const int K = static_cast<int>(state.range(0));
    fixtures::TreeFileContents contents = codebookTree(K, kTreeSeed);
    QuantizationTree& tree = contents.tree;
    tree.treeTraining.setsDividingMethod = rule == Rule::Cart ? 0 : 1;
    if (rule == Rule::CentroidsPartialSet) {
        // Every third component left out of the set.
        tree.constrainedSet = Set256{};
        for (unsigned i = 0; i < kComponents; ++i)
            if (i % 3 != 2) tree.constrainedSet.insert(i);
    }
    CoderState coder = coderFor(tree);
    FastCoder fast(tree, coder);
    const std::vector<EventRecord> events = eventsNear(tree, kEvents, kEventSeed);
    std::vector<FastCoder::Note> notes(kEvents);
    if (rule == Rule::CentroidsNoted) {
        std::vector<ComponentVector> reals;
        for (const EventRecord& e : events) reals.push_back(e.reals);
        fast.noteAhead(reals.data(), reals.size(), notes.data());
    }
    size_t i = 0;
    for (auto _ : state) {
        const EncodeResult r =
            rule == Rule::CentroidsReference
                ? EncodeEvent(tree, coder, static_cast<uint16_t>(K), events[i], coder.nodePath1,
                              coder.errorRecords1)
                : fast.encode(static_cast<uint16_t>(K), events[i], coder.nodePath1,
                              coder.errorRecords1,
                              rule == Rule::CentroidsNoted ? &notes[i] : nullptr);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (kEvents - 1);
    }
    state.SetItemsProcessed(state.iterations());
    if (!coder.remarks.empty())
        state.SkipWithError("EuclidDist reported a sum that is not a number");
}

// The reading thread's share: the notes of groups of events made ahead.
void noteAhead(benchmark::State& state) {
    const int K = static_cast<int>(state.range(0));
    const fixtures::TreeFileContents contents = codebookTree(K, kTreeSeed);
    const QuantizationTree& tree = contents.tree;
    CoderState coder = coderFor(tree);
    const FastCoder fast(tree, coder);
    std::vector<ComponentVector> reals;
    for (const EventRecord& e : eventsNear(tree, kEvents, kEventSeed)) reals.push_back(e.reals);
    constexpr size_t kGroup = 16;
    std::vector<FastCoder::Note> notes(kGroup);
    size_t i = 0;
    for (auto _ : state) {
        fast.noteAhead(reals.data() + i, kGroup, notes.data());
        benchmark::DoNotOptimize(notes.data());
        i = (i + kGroup) & (kEvents - 1);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kGroup));
}

// The events coded by encodeMany, all of them in one call: the decisions made
// ahead for groups of them and the walks, as a text table's run or the Python
// package's encode codes them. The second argument, when given, is the
// instruction set of the kernels, in the order of fast::kInstructionSets.
void encodeMany(benchmark::State& state, Rule rule) {
    const int K = static_cast<int>(state.range(0));
    const fast::InstructionSet set =
        state.range(1) < 0 ? fast::chosenInstructionSet()
                           : fast::kInstructionSets[static_cast<size_t>(state.range(1))];
    if (!fast::runsHere(set)) {
        state.SkipWithError("this processor does not run the instruction set");
        return;
    }
    fixtures::TreeFileContents contents = codebookTree(K, kTreeSeed);
    QuantizationTree& tree = contents.tree;
    tree.treeTraining.setsDividingMethod = rule == Rule::Cart ? 0 : 1;
    CoderState coder = coderFor(tree);
    FastCoder fast(tree, coder,
                   rule == Rule::CentroidsReference ? CoderKind::Reference : CoderKind::Fast, set);
    const std::vector<EventRecord> events = eventsNear(tree, kEvents, kEventSeed);
    std::vector<EncodeResult> results(kEvents);
    for (auto _ : state) {
        fast.encodeMany(static_cast<uint16_t>(K), events.data(), events.size(), coder.nodePath1,
                        coder.errorRecords1, results.data());
        benchmark::DoNotOptimize(results.data());
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.SetLabel(fast::nameOf(set));
    if (!coder.remarks.empty())
        state.SkipWithError("EuclidDist reported a sum that is not a number");
}

// The double sum of squares of a - b over all 129 components, vectorised
// and dispatched to the widest vector unit as the coder's own fast path is.
using SquaredDistance = double (*)(const double* a, const double* b);

#if defined(__GNUC__)
template <int Bytes>
struct LanesOf {
    typedef double type __attribute__((vector_size(Bytes)));
};

template <int Bytes>
[[gnu::always_inline]] inline double vectorSquaredDistance(const double* a, const double* b) {
    using Lanes = typename LanesOf<Bytes>::type;
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    const auto load = [](Lanes& v, const double* p) { std::memcpy(&v, p, sizeof v); };
    Lanes s0{}, s1{}, x0, x1, y0, y1;
    int i = 0;
    for (; i + 2 * kLanes <= kComponents; i += 2 * kLanes) {
        load(x0, a + i);
        load(x1, a + i + kLanes);
        load(y0, b + i);
        load(y1, b + i + kLanes);
        const Lanes d0 = x0 - y0, d1 = x1 - y1;
        s0 += d0 * d0;
        s1 += d1 * d1;
    }
    s0 += s1;
    double lanes[kLanes];
    std::memcpy(lanes, &s0, sizeof lanes);
    for (int width = kLanes / 2; width > 0; width /= 2)
        for (int j = 0; j < width; ++j) lanes[j] += lanes[j + width];
    double s = lanes[0];
    for (; i < kComponents; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return s;
}

double baselineDistance(const double* a, const double* b) {
    return vectorSquaredDistance<16>(a, b);
}
#else
double baselineDistance(const double* a, const double* b) {
    double s = 0.0;
    for (int i = 0; i < kComponents; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return s;
}
#endif

#ifdef ZORTAN_WIDE_KERNELS
ZORTAN_TARGET_X86_64_V3 double distance256(const double* a, const double* b) {
    return vectorSquaredDistance<32>(a, b);
}
ZORTAN_TARGET_X86_64_V4 double distance512(const double* a, const double* b) {
    return vectorSquaredDistance<64>(a, b);
}
#endif

SquaredDistance bestDistance() {
#ifdef ZORTAN_WIDE_KERNELS
    const fast::InstructionSet set = fast::chosenInstructionSet();
    if (set == fast::InstructionSet::X86_64_V4) return &distance512;
    if (set == fast::InstructionSet::X86_64_V3) return &distance256;
#endif
    return &baselineDistance;
}

// The nearest of the K leaf centroids, by the system's extended distance or
// by the vectorised double sum.
void bruteForce(benchmark::State& state, bool extended) {
    const int K = static_cast<int>(state.range(0));
    const fixtures::TreeFileContents contents = codebookTree(K, kTreeSeed);
    const QuantizationTree& tree = contents.tree;
    const std::vector<int> leaves = leavesOf(tree);
    const std::vector<EventRecord> events = eventsNear(tree, kEvents, kEventSeed);
    std::vector<std::string> remarks;
    const SquaredDistance squaredDistance = bestDistance();
    size_t i = 0;
    for (auto _ : state) {
        const ComponentVector& e = events[i].reals;
        int best = -1;
        if (extended) {
            long double nearest = std::numeric_limits<long double>::infinity();
            for (int leaf : leaves) {
                const long double d =
                    EuclidDist(tree, e, tree.nodeHeap[static_cast<size_t>(leaf)].centroid, remarks);
                if (d < nearest) {
                    nearest = d;
                    best = leaf;
                }
            }
        } else {
            double nearest = std::numeric_limits<double>::infinity();
            for (int leaf : leaves) {
                const double d = squaredDistance(
                    e.data(), tree.nodeHeap[static_cast<size_t>(leaf)].centroid.data());
                if (d < nearest) {
                    nearest = d;
                    best = leaf;
                }
            }
        }
        benchmark::DoNotOptimize(best);
        i = (i + 1) & (kEvents - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(encodeEvent, Centroids, Rule::Centroids)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(encodeEvent, Cart, Rule::Cart)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(encodeEvent, CentroidsPartialSet, Rule::CentroidsPartialSet)->Arg(256);
BENCHMARK_CAPTURE(encodeEvent, CentroidsNoted, Rule::CentroidsNoted)->Arg(256);
BENCHMARK_CAPTURE(encodeEvent, CentroidsReference, Rule::CentroidsReference)->Arg(256);
BENCHMARK(noteAhead)->Arg(256);
BENCHMARK_CAPTURE(encodeMany, Centroids, Rule::Centroids)
    ->Args({16, -1})
    ->Args({256, -1})
    ->Args({4096, -1})
    ->Args({256, 0})
    ->Args({256, 1})
    ->Args({256, 2});
BENCHMARK_CAPTURE(encodeMany, Cart, Rule::Cart)->Args({16, -1})->Args({256, -1})->Args({4096, -1});
BENCHMARK_CAPTURE(encodeMany, CentroidsReference, Rule::CentroidsReference)->Args({256, -1});
BENCHMARK_CAPTURE(bruteForce, Double, false)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(bruteForce, EuclidDist, true)->Arg(256);

}  // namespace zortan::bench
