#include "tree/fast/PreparedTree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "tree/TreeCoding.h"

namespace zortan::fast {

// Why a prepared split decides as EuclidDist does.
//
// EuclidDist sums n squares in extended precision. A sum of n non-negative
// rounded squares lies within about n*u of the exact sum of squares of the
// same (double) differences, whatever the order of summation (u: the unit
// roundoff of the type). So when the exact difference of the two sums of
// squares exceeds 4*(n+2)*(u_double+u_extended) times their total, the
// extended sums are ordered the same way, with a gap far wider than the
// rounding of their square roots.
//
// With the event x, the sons' centroids a and b and the reference r (the
// root's centroid, so that the norms below stay small when the data are far
// from the origin), that difference is |x-b|^2 - |x-a|^2 = 2 w.(x-r) - c.
// Computed in double over the padded components (x-r and w rounded once, c
// rounded from extended sums, every product and addition rounded), it is
// within errorPerNorm*|x-r| + errorFixed of the exact difference, with a
// factor of four to spare; errorFixed also covers products that underflow.
// By the triangle inequality |x-a|^2 + |x-b|^2 <= (|x-r|+|a-r|)^2 +
// (|x-r|+|b-r|)^2, which bounds the total. A split whose computed difference
// clears both is decided; closer calls, and anything infinite or not a
// number, are left to EuclidDist.

namespace {

constexpr double kUnderflowAllowance = 0x1p-1000;

double relativeBound(int n) {
    return 4.0 * (n + 2) * (DBL_EPSILON / 2 + LDBL_EPSILON / 2);
}

// Rounded up by a relative 2^-40, far more than the rounding of a norm.
double roundedUp(double a) {
    return a + a * 0x1p-40;
}

// x - r over the components that count, 0 elsewhere and in the padding.
[[gnu::always_inline]] inline void centre(const PreparedTree& p, const ComponentVector& reals,
                                          PaddedVector& x) {
    for (size_t i = 0; i < kComponents; ++i)
        x[i] = p.counts[i] != 0.0 ? reals[i] - p.reference[i] : 0.0;
    for (size_t i = kComponents; i < kPaddedComponents; ++i) x[i] = 0.0;
}

// The rounding bounds of one event's splits, from the double sum of the
// squares of x - r.
struct SplitBound {
    SplitBound() = default;
    SplitBound(const PreparedTree& p, double squares)
        : norm(roundedUp(std::sqrt(squares))), squareTerm(p.squareFactor * norm * norm) {}

    // +1 the first son, -1 the second, 0 too close to call, from the split's
    // dot product with x - r.
    [[gnu::always_inline]] int decision(const PreparedSplit& split, double dot) const {
        const double difference = 2.0 * dot - split.c;
        const double bound = squareTerm + split.slope * norm + split.base;
        if (difference > bound && difference <= DBL_MAX) return 1;
        if (-difference > bound && -difference <= DBL_MAX) return -1;
        return 0;
    }

    double norm = 0.0;        // |x - r|, rounded up
    double squareTerm = 0.0;  // the part of every bound that grows with norm^2
};

// The walk's checks, made once per node.
void prepareSteps(const QuantizationTree& tree, PreparedTree& p) {
    const auto& heap = tree.nodeHeap;
    // A reading is kept as its character's code, 0..255, or -1 beyond the list.
    const auto reading = [](const TcharList& list, uint8_t r) -> int16_t {
        return r < list.size() ? static_cast<int16_t>(static_cast<unsigned char>(list[r]))
                               : int16_t{-1};
    };
    const long long nodes = std::min<long long>(tree.HeapTop + 1LL, std::ssize(heap));
    const int lastSize = tree.HeapTop / 2;
    const bool active[3] = {tree.cath[0].active != 0, tree.cath[1].active != 0,
                            tree.cath[2].active != 0};
    p.steps.resize(heap.size());
    for (long long k = 0; k < nodes; ++k) {
        const TreeNode& n = heap[static_cast<size_t>(k)];
        WalkStep& step = p.steps[static_cast<size_t>(k)];
        step.readings = {reading(tree.cath[0].list, n.treeCath1),
                         reading(tree.cath[1].list, n.treeCath2),
                         reading(tree.cath[2].list, n.treeCath3)};
        bool clean = true;
        for (int c = 0; c < 3; ++c)
            clean = clean && (!active[c] || step.readings[static_cast<size_t>(c)] >= 0);
        step.son = n.son;
        if (n.son > 0) {
            clean = clean && n.son < nodes;
            if (clean) {
                step.brother = heap[static_cast<size_t>(n.son)].brother;
                clean = step.brother >= 0 && step.brother < nodes;
            }
            if (clean) {
                step.splitLevel = heap[static_cast<size_t>(step.brother)].code;
                clean = step.splitLevel <= lastSize;
            }
        }
        step.clean = clean;
    }
}

void prepareSplits(const QuantizationTree& tree, PreparedTree& p) {
    const auto& heap = tree.nodeHeap;
    const int leading = std::clamp(tree.consideredComponentsNb, 0, kComponents);
    const bool finiteRoot =
        !heap.empty() && std::all_of(heap[0].centroid.begin(), heap[0].centroid.end(),
                                     [](double v) { return std::isfinite(v); });
    for (size_t i = 0; i < kComponents; ++i) {
        const bool counts =
            static_cast<int>(i) < leading && tree.constrainedSet.contains(static_cast<unsigned>(i));
        p.counts[i] = counts ? 1.0 : 0.0;
        p.reference[i] = finiteRoot && counts ? heap[0].centroid[i] : 0.0;
    }
    // With M the margin of the double sums, the bound of a split is
    // M((n+|a-r|)^2 + (n+|b-r|)^2) + errorPerNorm*n + errorFixed, grouped by
    // powers of n = |x-r|; its terms are rounded up.
    const double margin = relativeBound(leading);
    p.squareFactor = roundedUp(2.0 * margin);
    const double scale = 4.0 * (kPaddedComponents + 8) * (DBL_EPSILON / 2);
    const long long last = std::min<long long>(tree.HeapTop, std::ssize(heap) - 1);
    for (long long k = 0; k <= last; ++k) {
        const int s = heap[static_cast<size_t>(k)].son;
        if (s <= 0 || s > last) continue;
        const int b = heap[static_cast<size_t>(s)].brother;
        if (b < 0 || b > last) continue;
        const ComponentVector& first = heap[static_cast<size_t>(s)].centroid;
        const ComponentVector& second = heap[static_cast<size_t>(b)].centroid;
        SplitVector vector;
        long double c = 0.0L, squaresFirst = 0.0L, squaresSecond = 0.0L, squaresW = 0.0L;
        bool finite = true;
        for (size_t i = 0; i < kComponents; ++i) {
            if (p.counts[i] == 0.0) continue;
            const double w = first[i] - second[i];
            vector.w[i] = w;
            finite = finite && std::isfinite(w);
            const long double r = p.reference[i];
            const long double a = first[i] - r, bb = second[i] - r;
            c += a * a - bb * bb;
            squaresFirst += a * a;
            squaresSecond += bb * bb;
            squaresW += static_cast<long double>(w) * w;
        }
        const double normFirst = roundedUp(static_cast<double>(std::sqrt(squaresFirst)));
        const double normSecond = roundedUp(static_cast<double>(std::sqrt(squaresSecond)));
        const double errorPerNorm =
            2.0 * scale * roundedUp(static_cast<double>(std::sqrt(squaresW)));
        const double errorFixed =
            scale * static_cast<double>(squaresFirst + squaresSecond) + kUnderflowAllowance;
        PreparedSplit split;
        split.c = static_cast<double>(c);
        split.slope = roundedUp(2.0 * margin * (normFirst + normSecond) + errorPerNorm);
        split.base =
            roundedUp(margin * (normFirst * normFirst + normSecond * normSecond) + errorFixed);
        for (double v : {split.c, split.slope, split.base}) finite = finite && std::isfinite(v);
        // Such a split is left to EuclidDist, which also shows its messages.
        if (!finite) continue;
        split.vector = static_cast<int32_t>(p.vectors.size());
        p.vectors.push_back(vector);
        p.steps[static_cast<size_t>(k)].split = split;
    }
    p.keyConsideredComponentsNb = tree.consideredComponentsNb;
    p.keyConstrainedSet = tree.constrainedSet;
    p.splitsValid = true;
}

}  // namespace

PreparedTree PrepareTree(const QuantizationTree& tree, const CoderState& coder) {
    PreparedTree p;
    prepareSteps(tree, p);
    const bool euclid = coder.distanceFunction == nullptr || coder.distanceFunction == &EuclidDist;
    if (tree.treeTraining.setsDividingMethod != 0 && euclid) prepareSplits(tree, p);
    return p;
}

bool SplitsUsable(const QuantizationTree& tree, const PreparedTree& p) {
    return p.splitsValid && !p.steps.empty() &&
           p.keyConsideredComponentsNb == tree.consideredComponentsNb &&
           p.keyConstrainedSet.words == tree.constrainedSet.words;
}

namespace {

// The events are taken in groups, and each level of their walks in one go,
// so that the dot products of different events do not wait for each other.
// Written once; each instruction set's build below inlines it with the dot
// products of its vector width.
template <int Bytes>
[[gnu::always_inline]] inline void decideGroups(const PreparedTree& prepared,
                                                const ComponentVector* const* reals, size_t count,
                                                Decisions* decisions) {
    constexpr size_t kGroup = 8;
    std::fill(decisions, decisions + count, Decisions{});
    if (prepared.steps.empty()) return;
    const WalkStep* const steps = prepared.steps.data();
    alignas(64) std::array<PaddedVector, kGroup> x;
    for (size_t base = 0; base < count; base += kGroup) {
        const int n = static_cast<int>(std::min(kGroup, count - base));
        Decisions* const out = decisions + base;
        const double* xs[kGroup];
        const double* ws[kGroup];
        double dot[kGroup];
        SplitBound bound[kGroup];
        int node[kGroup], walking[kGroup];  // the group's events still walking
        for (int i = 0; i < n; ++i) {
            centre(prepared, *reals[base + static_cast<size_t>(i)], x[static_cast<size_t>(i)]);
            xs[i] = ws[i] = x[static_cast<size_t>(i)].data();
            node[i] = 0;
            walking[i] = i;
        }
        pairedDots<Bytes>(xs, ws, n, dot);  // |x - r|^2
        for (int i = 0; i < n; ++i) bound[i] = SplitBound(prepared, dot[i]);
        // Clean steps lead only to nodes of the heap.
        for (int left = n; left > 0;) {
            int m = 0;
            for (int j = 0; j < left; ++j) {
                const int i = walking[j];
                const WalkStep& step = steps[node[i]];
                if (!step.clean || step.son <= 0 || step.split.vector < 0 || out[i].depth >= 64)
                    continue;
                walking[m] = i;
                xs[m] = x[static_cast<size_t>(i)].data();
                ws[m++] = prepared.vectors[static_cast<size_t>(step.split.vector)].w.data();
            }
            pairedDots<Bytes>(xs, ws, m, dot);
            left = 0;
            for (int j = 0; j < m; ++j) {
                const int i = walking[j];
                const WalkStep& step = steps[node[i]];
                const int decided = bound[i].decision(step.split, dot[j]);
                if (decided == 0) continue;
                out[i].firstSon |= uint64_t{decided > 0} << out[i].depth;
                ++out[i].depth;
                node[i] = decided > 0 ? step.son : step.brother;
                walking[left++] = i;
            }
        }
    }
}

void decideBaseline(const PreparedTree& prepared, const ComponentVector* const* reals, size_t count,
                    Decisions* decisions) {
    decideGroups<16>(prepared, reals, count, decisions);
}

#ifdef ZORTAN_WIDE_KERNELS
ZORTAN_TARGET_X86_64_V3 void decideX86_64_V3(const PreparedTree& prepared,
                                             const ComponentVector* const* reals, size_t count,
                                             Decisions* decisions) {
    decideGroups<32>(prepared, reals, count, decisions);
}

ZORTAN_TARGET_X86_64_V4 void decideX86_64_V4(const PreparedTree& prepared,
                                             const ComponentVector* const* reals, size_t count,
                                             Decisions* decisions) {
    decideGroups<64>(prepared, reals, count, decisions);
}
#endif

}  // namespace

DecideAheadOf decideAheadFor(InstructionSet set) {
#ifdef ZORTAN_WIDE_KERNELS
    if (set == InstructionSet::X86_64_V4) return &decideX86_64_V4;
    if (set == InstructionSet::X86_64_V3) return &decideX86_64_V3;
#endif
    static_cast<void>(set);
    return &decideBaseline;
}

void DecideAhead(const PreparedTree& prepared, const ComponentVector* reals, size_t count,
                 Decisions* decisions, InstructionSet set) {
    const DecideAheadOf decide = decideAheadFor(set);
    constexpr size_t kChunk = 64;
    const ComponentVector* of[kChunk];
    for (size_t base = 0; base < count; base += kChunk) {
        const size_t n = std::min(kChunk, count - base);
        for (size_t i = 0; i < n; ++i) of[i] = reals + base + i;
        decide(prepared, of, n, decisions + base);
    }
}

}  // namespace zortan::fast
