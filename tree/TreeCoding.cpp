#include "tree/TreeCoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/Errors.h"
#include "shell/Format.h"
#include "shell/Ui.h"
#include "tree/VectorSums.h"

// (Not under the thread sanitizer, whose runtime is not ready yet when the
// loader picks a build.)
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__) && \
    defined(__ELF__) && !defined(__SANITIZE_THREAD__)
#define ZORTAN_WIDE_VECTORS 1
// The walk and the counting, built for the baseline and for wider vector
// units; the one for this processor is chosen when the program is loaded.
#define ZORTAN_VECTOR_CLONES [[gnu::target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")]]
#else
#define ZORTAN_VECTOR_CLONES
#endif

namespace zortan {

namespace {

// The node at `index`; an index outside 0..HeapTop is a range error.
inline const TreeNode& nodeAt(const QuantizationTree& tree, long long index) {
    if (index < 0 || index > tree.HeapTop ||
        static_cast<unsigned long long>(index) >= tree.nodeHeap.size())
        throw RangeError();
    return tree.nodeHeap[static_cast<size_t>(index)];
}

// The last tree size index the working arrays cover.
int lastSizeIndex(const QuantizationTree& tree) {
    return tree.HeapTop / 2;
}

[[noreturn]] void gapBeyondTheArrays(const QuantizationTree& tree, const char* procedure, int t,
                                     Ui& ui) {
    ui.showMessage(std::string("Program error occured in  procedure \"") + procedure +
                   "\".\r\nIndex for the \"BoolErrorVector\" array is too high\r\nIt should be <=" +
                   std::to_string(lastSizeIndex(tree)) + ", but it achieves " + std::to_string(t) +
                   ".\r\nTurn to the author, the program will be halted now.");
    throw ProgramEnd{1};
}

// Shows the gap filler's message and ends the program when `t` is beyond the
// last tree size index.
inline void checkGapIndex(const QuantizationTree& tree, const char* procedure, int t, Ui& ui) {
    if (t > lastSizeIndex(tree)) gapBeyondTheArrays(tree, procedure, t, ui);
}

[[noreturn]] void sonBeyondTree(const QuantizationTree& tree, int k, int s, Ui& ui) {
    ui.showMessage(
        "An error in proc. \"EncodeIter\" occured!\r\nindex k> HeapTop+1, the k is beyond the tree "
        "node index scope.\r\nk=" +
        std::to_string(s) + "\r\nHeapTop+1=" + std::to_string(tree.HeapTop) + "\r\ncentroidsNb=" +
        std::to_string(tree.centroidsNb) + "\r\nstartNodeIndex=" + std::to_string(k) +
        "\r\nnodeHeap[startNodeIndex].son=" + std::to_string(s) +
        "\r\nThe \"heapTop\" should be HeapTop:=2*(centroidsNb-1)!\r\nProbably bad tree "
        "construction; turn to the author.");
    throw RangeError();
}

// 1 when the character of `reading` in `list` differs from the given one; a
// reading beyond the list is a range error.
uint8_t disagrees(const TcharList& list, uint8_t reading, char given) {
    return checkedAt(list, reading) != given ? 1 : 0;
}

// --- The fast centroid decision ----------------------------------------------
//
// The centroid rule compares two extended-precision Euclidean distances. Most
// comparisons are far from a tie, and double sums of squares, vectorised,
// decide them at a fraction of the cost. Each such sum of n non-negative
// rounded squares lies within about n*u of the exact sum of squares of the
// same (double) differences, whatever the order of summation (u: the unit
// roundoff of the type); the same holds for the extended sums. When the two
// double sums differ by more than 4*(n+2)*(u_double+u_extended) times their
// total, the extended sums are ordered the same way, with a gap far wider
// than the rounding of their square roots, so the decision is the one
// EuclidDist gives. Closer sums, tiny totals (where squares underflow and the
// error is no longer relative), and infinite or not-a-number sums are decided
// by EuclidDist itself, which also shows its message where it must.

constexpr double kSmallestDecidedTotal = 0x1p-900;

// Brings the considered components up to date with the tree.
const ConsideredComponents& consideredComponents(const QuantizationTree& tree, CoderState& coder) {
    ConsideredComponents& c = coder.considered;
    if (c.valid && c.keyConsideredComponentsNb == tree.consideredComponentsNb &&
        c.keyConstrainedSet.words == tree.constrainedSet.words)
        return c;
    c.keyConsideredComponentsNb = tree.consideredComponentsNb;
    c.keyConstrainedSet = tree.constrainedSet;
    c.leading = std::clamp(tree.consideredComponentsNb, 0, kComponents);
    c.allInSet = true;
    c.weight.fill(0.0);
    for (int i = 0; i < c.leading; ++i) {
        const bool in = tree.constrainedSet.contains(static_cast<unsigned>(i));
        c.weight[static_cast<size_t>(i)] = in ? 1.0 : 0.0;
        c.allInSet = c.allInSet && in;
    }
    c.valid = true;
    return c;
}

double relativeBound(int n) {
    return 4.0 * (n + 2) * (DBL_EPSILON / 2 + LDBL_EPSILON / 2);
}

// The centroid rule with EuclidDist: is the event nearer the first son?
bool nearerFirstSon(const QuantizationTree& tree, const ConsideredComponents& considered,
                    PairSums doubleSums, const EventRecord& event, const TreeNode& first,
                    const TreeNode& second, Ui& ui) {
    double sumFirst = 0.0, sumSecond = 0.0;
    doubleSums(event.reals.data(), first.centroid.data(), second.centroid.data(),
               considered.allInSet ? nullptr : considered.weight.data(), considered.leading,
               sumFirst, sumSecond);
    const double total = sumFirst + sumSecond;
    if (total >= kSmallestDecidedTotal) {
        const double margin = relativeBound(considered.leading) * total;
        if (sumSecond - sumFirst > margin) return true;
        if (sumFirst - sumSecond > margin) return false;
    }
    return EuclidDist(tree, event.reals, first.centroid, ui) <
           EuclidDist(tree, event.reals, second.centroid, ui);
}

// --- Splits prepared for a coding run ---------------------------------------
//
// With the event x, the sons' centroids a and b and a fixed reference r (the
// root's centroid, so that the norms below are small when the data are far
// from the origin), the exact difference of the squared distances is
// |x-b|^2 - |x-a|^2 = 2 w.(x-r) - c with w = a - b and
// c = |a-r|^2 - |b-r|^2 over the components that count. Computed in double
// over the padded components (x-r and w rounded once, c rounded from extended
// sums, every product and addition rounded), it is within
// errorPerNorm*|x-r| + errorFixed of the exact difference, with a factor of
// four to spare; errorFixed also covers products that underflow. By the
// triangle inequality |x-a|^2 + |x-b|^2 <= (|x-r|+|a-r|)^2 + (|x-r|+|b-r|)^2,
// so when the computed difference exceeds its error by more than the margin
// of the double sums times that total, the extended sums are ordered the way
// it says, by the argument above. Closer calls, and anything infinite or not
// a number, are decided as before.

constexpr double kUnderflowAllowance = 0x1p-1000;

// Rounded up by a relative 2^-40, far more than the rounding of a norm.
double roundedUp(double a) {
    return a + a * 0x1p-40;
}

// The prepared tree, when it was made for this tree's node heap.
const PreparedTree* preparedFor(const QuantizationTree& tree, const CoderState& coder) {
    const PreparedTree& p = coder.prepared;
    if (!p.valid || p.heap != tree.nodeHeap.data() || p.heapSize != tree.nodeHeap.size() ||
        p.heapTop != tree.HeapTop)
        return nullptr;
    return &p;
}

// Whether its splits count the components the tree counts now.
bool splitsUsable(const QuantizationTree& tree, const PreparedTree& p) {
    return p.splitsValid && p.keyConsideredComponentsNb == tree.consideredComponentsNb &&
           p.keyConstrainedSet.words == tree.constrainedSet.words;
}

// x - r over the components that count, 0 elsewhere and in the padding.
[[gnu::always_inline]] inline void centre(const PreparedTree& p, const ComponentVector& reals,
                                          PaddedVector& x) {
    for (size_t i = 0; i < kComponents; ++i)
        x[i] = p.counts[i] != 0.0 ? reals[i] - p.reference[i] : 0.0;
    for (size_t i = kComponents; i < kPaddedComponents; ++i) x[i] = 0.0;
}

// The rounding bounds of one event's prepared splits, from the double sum of
// the squares of x - r.
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

// The decisions of one walk by the prepared splits. The splits of both sons
// are computed together with their parent's, so that the dot products of two
// levels overlap instead of waiting for each other.
class PreparedWalk {
  public:
    [[gnu::always_inline]] PreparedWalk(const PreparedTree& p, const ComponentVector& reals)
        : p_(p), dots_(bestPaddedDots()) {
        centre(p, reals, x_);
        const double* self[1] = {x_.data()};
        double squares = 0.0;
        dots_(x_.data(), self, 1, &squares);
        bound_ = SplitBound(p, squares);
    }

    // The split at node k with sons s and b: +1 the first son, -1 the
    // second, 0 too close to call here.
    int decide(int k, int s, int b) {
        const WalkStep* step = stepAt(k);
        if (step == nullptr || step->son != s || step->brother != b) return 0;
        return decide(k, *step);
    }

    // The same for the step of node k as prepared.
    [[gnu::always_inline]] int decide(int k, const WalkStep& step) {
        if (step.split.vector < 0) return 0;
        for (int j = 0; j < 2; ++j)
            if (aheadNode_[j] == k) return aheadDecision_[j];
        const int sonNodes[2] = {step.son, step.brother};
        const WalkStep* sons[2] = {stepAt(step.son), stepAt(step.brother)};
        const double* w[3] = {vectorOf(step.split)};
        int count = 1;
        for (const WalkStep*& son : sons) {
            if (son != nullptr && son->split.vector < 0) son = nullptr;
            if (son != nullptr) w[count++] = vectorOf(son->split);
        }
        double dot[3];
        dots_(x_.data(), w, count, dot);
        for (int j = 0, next = 1; j < 2; ++j) {
            aheadNode_[j] = sons[j] != nullptr ? sonNodes[j] : -1;
            if (sons[j] != nullptr) aheadDecision_[j] = decision(sons[j]->split, dot[next++]);
        }
        return decision(step.split, dot[0]);
    }

  private:
    const WalkStep* stepAt(int k) const {
        if (k < 0 || static_cast<size_t>(k) >= p_.steps.size()) return nullptr;
        return &p_.steps[static_cast<size_t>(k)];
    }
    const double* vectorOf(const PreparedSplit& split) const {
        return p_.vectors[static_cast<size_t>(split.vector)].w.data();
    }

    int decision(const PreparedSplit& split, double dot) const {
        return bound_.decision(split, dot);
    }

    const PreparedTree& p_;
    PaddedDots dots_;
    alignas(64) PaddedVector x_;  // x - r over the components that count
    SplitBound bound_;
    int aheadNode_[2] = {-1, -1};
    int aheadDecision_[2] = {0, 0};
};

// --- Gap filling and error counting --------------------------------------------

// Writes `n` copies of `value` from `at` on.
[[gnu::always_inline]] inline void fillCopies(uint16_t* at, size_t n, uint16_t value) {
#if defined(__GNUC__)
    // Long runs as 64-byte blocks, built in a register.
    if (n >= 32) {
        typedef uint16_t Block __attribute__((vector_size(64)));
        const Block block = Block{} + value;
        for (; n >= 32; n -= 32, at += 32) std::memcpy(at, &block, sizeof block);
    }
#endif
    // Four copies at a time as one 64-bit word.
    const uint64_t w = uint64_t{value} * 0x0001000100010001u;
    for (; n >= 4; n -= 4, at += 4) std::memcpy(at, &w, 8);
    for (; n > 0; --n) *at++ = value;
}

[[gnu::always_inline]] inline void fillCopies(ErrorFlags* at, size_t n, ErrorFlags value) {
    static_assert(sizeof(ErrorFlags) == 3 && std::is_trivially_copyable_v<ErrorFlags>);
    if constexpr (std::endian::native == std::endian::little) {
        // Eight copies make 24 bytes, written as three 64-bit words.
        const uint64_t x =
            uint64_t{value.cath1} | uint64_t{value.cath2} << 8 | uint64_t{value.cath3} << 16;
        const uint64_t w0 = x | x << 24 | x << 48, w1 = x >> 16 | x << 8 | x << 32 | x << 56,
                       w2 = x >> 8 | x << 16 | x << 40;
        for (; n >= 8; n -= 8, at += 8) {
            auto* bytes = reinterpret_cast<unsigned char*>(at);
            std::memcpy(bytes, &w0, 8);
            std::memcpy(bytes + 8, &w1, 8);
            std::memcpy(bytes + 16, &w2, 8);
        }
    }
    for (; n > 0; --n) *at++ = value;
}

// Writes `value` into at[from..to). Whole 64-byte blocks may run on past
// `to`, never up to at[limit]: for a caller that writes the entries after
// `to` afterwards, most runs take one store and no loop.
[[gnu::always_inline]] inline void fillRun(uint16_t* at, size_t from, size_t to, size_t limit,
                                           uint16_t value) {
    size_t t = from;
#if defined(__GNUC__)
    typedef uint16_t Block __attribute__((vector_size(64)));
    const Block block = Block{} + value;
    for (; t < to && t + 32 <= limit; t += 32) std::memcpy(at + t, &block, sizeof block);
#endif
    if (t < to) fillCopies(at + t, to - t, value);
}

[[gnu::always_inline]] inline void fillRun(ErrorFlags* at, size_t from, size_t to, size_t limit,
                                           ErrorFlags value) {
    size_t t = from;
#if defined(__GNUC__)
    if constexpr (std::endian::native == std::endian::little) {
        // 64 bytes hold 21 copies and the first byte of another: the eight
        // words of three copies each, put together in a register (built in
        // memory, the block would wait for its pieces to be stored).
        const uint64_t x =
            uint64_t{value.cath1} | uint64_t{value.cath2} << 8 | uint64_t{value.cath3} << 16;
        const uint64_t w0 = x | x << 24 | x << 48, w1 = x >> 16 | x << 8 | x << 32 | x << 56,
                       w2 = x >> 8 | x << 16 | x << 40;
        typedef uint64_t Words __attribute__((vector_size(64)));
        constexpr uint64_t a = ~uint64_t{0};
        constexpr Words m0 = {a, 0, 0, a, 0, 0, a, 0}, m1 = {0, a, 0, 0, a, 0, 0, a},
                        m2 = {0, 0, a, 0, 0, a, 0, 0};
        const Words block = ((Words{} + w0) & m0) | ((Words{} + w1) & m1) | ((Words{} + w2) & m2);
        auto* bytes = reinterpret_cast<unsigned char*>(at);
        for (; t < to && t + 22 <= limit; t += 21) std::memcpy(bytes + 3 * t, &block, 64);
    }
#endif
    if (t < to) fillCopies(at + t, to - t, value);
}

// Copies entry `from` into from+1 .. to-1 when every index is known to be
// valid; false leaves the work, and its messages, to the checked loop.
// `value` is entry `from` when the caller holds it already.
template <typename T>
bool fillInRange(const QuantizationTree& tree, std::vector<T>& v, int from, int to,
                 const T* value = nullptr) {
    if (to <= from + 1) return true;
    if (from < 0 || to - 1 > lastSizeIndex(tree) || static_cast<size_t>(to) > v.size())
        return false;
    fillCopies(v.data() + from + 1, static_cast<size_t>(to - from - 1),
               value != nullptr ? *value : v[static_cast<size_t>(from)]);
    return true;
}

// Tree sizes oldLevel+1 .. level-1, skipped by a split, keep the node and
// flags of oldLevel.
[[gnu::always_inline]] inline void fillSkippedSizes(ErrorFlags* flags, uint16_t* pathNodes,
                                                    int oldLevel, int level, ErrorFlags levelFlags,
                                                    uint16_t levelNode) {
    if (level <= oldLevel + 1) return;
    const auto from = static_cast<size_t>(oldLevel) + 1,
               n = static_cast<size_t>(level - oldLevel - 1);
    fillCopies(flags + from, n, levelFlags);
    fillCopies(pathNodes + from, n, levelNode);
}

// The split levels a walk went through, for the counting in EncodeEvent.
// The flags a 1 in each category (bit 0, 8, 16) when it counts as an error.
uint32_t countedFlags(const ErrorFlags& f) {
    return uint32_t{f.cath1 == 1} | uint32_t{f.cath2 == 1} << 8 | uint32_t{f.cath3 == 1} << 16;
}

// The flags of each level are kept here too, as one word: read back from the
// array right after they were stored, they would wait for the stores.
struct LevelTrail {
    static constexpr int kCapacity = 64;
    std::array<int, kCapacity> levels;      // the first `count` are set
    std::array<uint32_t, kCapacity> flags;  // countedFlags at each of the levels
    int count = 0;
    bool usable = true;  // levels rising from above 0, all recorded

    void add(int level, uint32_t levelFlags) {
        const int previous = count > 0 ? levels[static_cast<size_t>(count - 1)] : 0;
        if (count == kCapacity || level <= previous) {
            usable = false;
        } else {
            levels[static_cast<size_t>(count)] = level;
            flags[static_cast<size_t>(count++)] = levelFlags;
        }
    }
};

// Calls run(from, to, j) for the runs of tree sizes that a walk with rising
// levels leaves below K: [0, level 0), [level 0, level 1), ..., [last
// level, K). Each run repeats what was stored at its first size: the root's
// for the first (j = -1), that of level j for the others.
template <typename Run>
[[gnu::always_inline]] inline void forEachRun(const LevelTrail& trail, int K, Run run) {
    int from = 0;
    for (int j = 0; j <= trail.count; ++j) {
        const int to = j < trail.count ? trail.levels[static_cast<size_t>(j)] : K;
        run(from, to, j - 1);
        from = to;
    }
}

// Adds counted flags `f` to records [0, n). Built into each build of
// EncodeEvent, so that the additions run in its vectors.
[[gnu::always_inline]] inline void addFlags(TErrorRecord* records, int n, uint32_t f) {
    if (f == 0) return;
    const uint32_t c1 = f & 1, c2 = (f >> 8) & 1, c3 = (f >> 16) & 1;
    // The records as one run of words: the three counts repeat every three.
    // The words to add are made from constant masks, so that they stay in
    // registers.
    static_assert(sizeof(TErrorRecord) == 3 * sizeof(uint32_t) &&
                  std::is_trivially_copyable_v<TErrorRecord>);
    constexpr int kBlock = 16;
    static constexpr auto kCategoryOf = [] {
        std::array<std::array<uint32_t, 3 * kBlock>, 3> m{};
        for (size_t j = 0; j < 3 * kBlock; ++j) m[j % 3][j] = ~uint32_t{0};
        return m;
    }();
    const uint32_t m1 = 0 - c1, m2 = 0 - c2, m3 = 0 - c3;
    auto* bytes = reinterpret_cast<unsigned char*>(records);
    int t = 0;
    for (; t + kBlock <= n; t += kBlock, bytes += sizeof(TErrorRecord) * kBlock)
        for (int j = 0; j < 3 * kBlock; ++j) {
            uint32_t word;
            std::memcpy(&word, bytes + 4 * j, 4);
            word +=
                ((kCategoryOf[0][j] & m1) | (kCategoryOf[1][j] & m2) | (kCategoryOf[2][j] & m3)) &
                1u;
            std::memcpy(bytes + 4 * j, &word, 4);
        }
    for (; t < n; ++t) {
        records[t].cath1 += c1;
        records[t].cath2 += c2;
        records[t].cath3 += c3;
    }
}

// Adds counted flags `f` to `start` and takes them off `end`; the counts
// wrap as the tree sizes' own counts do.
[[gnu::always_inline]] inline void addStep(TErrorRecord& start, TErrorRecord& end, uint32_t f) {
    const uint32_t c1 = f & 1, c2 = (f >> 8) & 1, c3 = (f >> 16) & 1;
    start.cath1 += c1;
    start.cath2 += c2;
    start.cath3 += c3;
    end.cath1 -= c1;
    end.cath2 -= c2;
    end.cath3 -= c3;
}

void settle(TErrorRecordArray& errors, TErrorRecordArray& steps) noexcept {
    TErrorRecord sum;
    const size_t n = std::min(errors.size(), steps.size());
    for (size_t t = 0; t < n; ++t) {
        sum.cath1 += steps[t].cath1;
        sum.cath2 += steps[t].cath2;
        sum.cath3 += steps[t].cath3;
        errors[t].cath1 += sum.cath1;
        errors[t].cath2 += sum.cath2;
        errors[t].cath3 += sum.cath3;
    }
    std::fill(steps.begin(), steps.end(), TErrorRecord{});
}

}  // namespace

void SettleErrorCounts(CoderState& coder) noexcept {
    settle(coder.errorRecords1, coder.pendingSteps1);
    settle(coder.errorRecords2, coder.pendingSteps2);
}

long double EuclidDist(const QuantizationTree& tree, const ComponentVector& a,
                       const ComponentVector& b, Ui& ui) {
    const int n = std::clamp(tree.consideredComponentsNb, 0, kComponents);
    long double sum = 0.0L;
    for (int i = 0; i < n; ++i) {
        if (!tree.constrainedSet.contains(static_cast<unsigned>(i))) continue;
        const double d = a[static_cast<size_t>(i)] - b[static_cast<size_t>(i)];
        sum += static_cast<long double>(d) * d;
        if (!(sum >= 0.0L))
            ui.showMessage("function EuclidDist, summ of squares<0!; =" + formatFixed(sum, 2) +
                           " i=" + std::to_string(i));
    }
    return sum >= 0.0L ? std::sqrt(sum) : 0.0L;
}

void fillGapTranscrErr(const QuantizationTree& tree, CoderState& coder, int from, int to, Ui& ui) {
    if (fillInRange(tree, coder.BoolErrorVector, from, to)) return;
    for (int t = from + 1; t < to; ++t) {
        checkGapIndex(tree, "fillGapTranscrErr", t, ui);
        checkedAt(coder.BoolErrorVector, t) = checkedAt(coder.BoolErrorVector, from);
    }
}

void PathFillGap(const QuantizationTree& tree, TwordArray& path, int from, int to, Ui& ui) {
    if (fillInRange(tree, path, from, to)) return;
    for (int t = from + 1; t < to; ++t) {
        checkGapIndex(tree, "PathFillGap", t, ui);
        checkedAt(path, t) = checkedAt(path, from);
    }
}

namespace {

// 1 when the node's reading of a category differs from the given one; a
// reading beyond the category's list is a range error.
uint8_t disagreesAt(const QuantizationTree& tree, const TreeNode& n, int category, char given) {
    switch (category) {
        case 0:
            return disagrees(tree.cath1List, n.treeCath1, given);
        case 1:
            return disagrees(tree.cath2List, n.treeCath2, given);
        default:
            return disagrees(tree.cath3List, n.treeCath3, given);
    }
}

// Recomputes the flags of the active categories for the node reached.
void setFlags(const QuantizationTree& tree, const TreeNode& node, const EventRecord& event,
              ErrorFlags& flags) {
    if (tree.cath1Active != 0) flags.cath1 = disagreesAt(tree, node, 0, event.cath1);
    if (tree.cath2Active != 0) flags.cath2 = disagreesAt(tree, node, 1, event.cath2);
    if (tree.cath3Active != 0) flags.cath3 = disagreesAt(tree, node, 2, event.cath3);
}

// Adds the leaf's disagreements of the active categories to the running counts.
void countLeafErrors(const QuantizationTree& tree, const TreeNode& leaf, const EventRecord& event,
                     CoderState& coder) {
    if (tree.cath1Active != 0) coder.cath1ErrorCount += disagreesAt(tree, leaf, 0, event.cath1);
    if (tree.cath2Active != 0) coder.cath2ErrorCount += disagreesAt(tree, leaf, 1, event.cath2);
    if (tree.cath3Active != 0) coder.cath3ErrorCount += disagreesAt(tree, leaf, 2, event.cath3);
}

// EncodeIter, also noting the split levels in `trail` when given; every check
// made where it falls due.
uint16_t checkedWalk(const PreparedTree* prepared, const QuantizationTree& tree, CoderState& coder,
                     uint16_t K, const EventRecord& event, TwordArray& path, int startNode, Ui& ui,
                     LevelTrail* trail) {
    // The root alone carries no reading that is compared: every event counts
    // as an error in every category at tree size 1.
    checkedAt(coder.BoolErrorVector, 0) = ErrorFlags{1, 1, 1};

    const bool cartRule = tree.treeTraining.setsDividingMethod == 0;
    const DistanceFunction distance =
        coder.distanceFunction != nullptr ? coder.distanceFunction : &EuclidDist;
    const ConsideredComponents* considered =
        !cartRule && distance == &EuclidDist ? &consideredComponents(tree, coder) : nullptr;
    const PairSums sums = considered != nullptr ? bestPairSums() : nullptr;
    std::optional<PreparedWalk> splits;
    if (considered != nullptr && prepared != nullptr && splitsUsable(tree, *prepared))
        splits.emplace(*prepared, event.reals);
    const int heapTop = tree.HeapTop;
    const TreeNode* const heap = tree.nodeHeap.data();
    // Node indices 0..HeapTop that the heap holds; any other is a range error.
    const long long nodes = std::min<long long>(heapTop + 1LL, std::ssize(tree.nodeHeap));
    const auto nodeOf = [heap, nodes](long long index) -> const TreeNode& {
        if (index < 0 || index >= nodes) throw RangeError();
        return heap[index];
    };
    // Neither array changes its size during the walk.
    ErrorFlags* const flags = coder.BoolErrorVector.data();
    uint16_t* const pathNodes = path.data();
    const long long flagsSize = std::ssize(coder.BoolErrorVector), pathSize = std::ssize(path);

    int k = startNode;
    int level = 0;
    // Entry `level` of both arrays, as last stored.
    ErrorFlags levelFlags{1, 1, 1};
    uint16_t levelNode = pathSize > 0 ? pathNodes[0] : uint16_t{0};
    // A grown tree takes fewer splits than it has nodes; more means the sons
    // lead round in a circle.
    for (int taken = 0;; ++taken) {
        const TreeNode& node = nodeOf(k);
        const int s = node.son;
        if (s > heapTop + 1) sonBeyondTree(tree, k, s, ui);
        if (s <= 0) break;
        if (taken >= heapTop) throw RangeError();

        const TreeNode& first = nodeOf(s);
        const int b = first.brother;
        const TreeNode& second = nodeOf(b);
        const int splitLevel = second.code;
        if (splitLevel >= K) break;  // the split is not part of the K-cluster tree

        // Equality goes to the second son under both rules.
        bool takeFirst;
        if (cartRule) {
            const int f = node.splitComponent;
            takeFirst = checkedAt(event.components, f) < checkedAt(node.centroid, f);
        } else if (considered != nullptr) {
            const int decided = splits ? splits->decide(k, s, b) : 0;
            takeFirst = decided != 0
                            ? decided > 0
                            : nearerFirstSon(tree, *considered, sums, event, first, second, ui);
        } else {
            takeFirst = distance(tree, event.reals, first.centroid, ui) <
                        distance(tree, event.reals, second.centroid, ui);
        }

        const int oldLevel = level;
        k = takeFirst ? s : b;
        level = splitLevel;
        // A second son's code beyond the working arrays marks a malformed tree:
        // refuse it before anything is written there.
        checkGapIndex(tree, "fillGapTranscrErr", level, ui);
        if (level >= pathSize) throw RangeError();
        const uint16_t node16 = fitOrRangeError<uint16_t>(k);
        pathNodes[level] = node16;
        if (level >= flagsSize) throw RangeError();
        ErrorFlags f = flags[level];
        setFlags(tree, takeFirst ? first : second, event, f);
        flags[level] = f;
        // Entry `level` exists in both arrays, so every entry below it does too.
        fillSkippedSizes(flags, pathNodes, oldLevel, level, levelFlags, levelNode);
        levelFlags = f;
        levelNode = node16;
        if (trail != nullptr) trail->add(level, countedFlags(f));
    }

    countLeafErrors(tree, nodeOf(k), event, coder);
    // The tree sizes above the leaf's level up to K-1 keep the leaf.
    if (!fillInRange(tree, coder.BoolErrorVector, level, K, &levelFlags))
        fillGapTranscrErr(tree, coder, level, K, ui);
    if (!fillInRange(tree, path, level, K, &levelNode)) PathFillGap(tree, path, level, K, ui);
    return fitOrRangeError<uint16_t>(k);
}

// The walk from the root over the prepared steps, for trees whose steps are
// clean along the way: no check is due, so none is made. It stores exactly
// what the checked walk stores, in the same order, and gives up (-1) before
// anything that walk would report or decide by the sums: an unclean step, a
// split too close to call, more splits than the tree has nodes. The checked
// walk then starts again and stores everything again. The splits come from
// `ahead` as far as it goes, then from `splits`; without them it gives up.
template <bool CartRule>
[[gnu::always_inline]] inline int preparedWalk(const PreparedTree& p, const QuantizationTree& tree,
                                               CoderState& coder, uint16_t K,
                                               const EventRecord& event, TwordArray& path,
                                               LevelTrail& trail, const AheadDecisions& ahead,
                                               PreparedWalk* splits) {
    const WalkStep* const steps = p.steps.data();
    const TreeNode* const heap = tree.nodeHeap.data();
    ErrorFlags* const flags = coder.BoolErrorVector.data();
    uint16_t* const pathNodes = path.data();
    const bool active[3] = {tree.cath1Active != 0, tree.cath2Active != 0, tree.cath3Active != 0};
    const char given[3] = {event.cath1, event.cath2, event.cath3};
    // Node n's reading of category c differs from the event's; clean steps
    // read within their lists.
    const auto disagreesAt = [steps, &given](int n, size_t c) -> uint8_t {
        return static_cast<char>(steps[n].readings[c]) != given[c] ? 1 : 0;
    };
    const int heapTop = tree.HeapTop;

    // What each level stores, kept until the walk is through, and then
    // written with the sizes in between in one pass; a walk given up has
    // stored nothing.
    std::array<uint16_t, LevelTrail::kCapacity> levelNodes;
    std::array<ErrorFlags, LevelTrail::kCapacity> levelFlags;
    int k = 0;
    if (!steps[0].clean) return -1;
    for (int taken = 0;; ++taken) {
        const WalkStep& step = steps[k];
        if (step.son <= 0) break;
        if (taken >= heapTop) return -1;
        if (step.splitLevel >= K) break;
        bool takeFirst;
        if constexpr (CartRule) {
            const TreeNode& node = heap[k];
            const int f = node.splitComponent;
            takeFirst = checkedAt(event.components, f) < checkedAt(node.centroid, f);
        } else {
            int decided = 0;
            if (taken < ahead.depth)
                decided = (ahead.firstSon >> taken & 1) != 0 ? 1 : -1;
            else if (splits != nullptr)
                decided = splits->decide(k, step);
            if (decided == 0) return -1;
            takeFirst = decided > 0;
        }
        k = takeFirst ? step.son : step.brother;
        // The checked walk may stop at the son's readings: leave it to that walk.
        if (!steps[k].clean) return -1;
        const int level = step.splitLevel;
        // Inactive categories keep the flags the previous event left there,
        // which no earlier level of a walk with rising levels has touched.
        ErrorFlags f = flags[level];
        if (active[0]) f.cath1 = disagreesAt(k, 0);
        if (active[1]) f.cath2 = disagreesAt(k, 1);
        if (active[2]) f.cath3 = disagreesAt(k, 2);
        // Levels that do not rise, or too many of them, are left to the
        // checked walk, which stores them one after the other.
        trail.add(level, countedFlags(f));
        if (!trail.usable) return -1;
        levelNodes[static_cast<size_t>(trail.count - 1)] = static_cast<uint16_t>(k);
        levelFlags[static_cast<size_t>(trail.count - 1)] = f;
    }
    if (active[0]) coder.cath1ErrorCount += disagreesAt(k, 0);
    if (active[1]) coder.cath2ErrorCount += disagreesAt(k, 1);
    if (active[2]) coder.cath3ErrorCount += disagreesAt(k, 2);
    // Tree size 1 is the root's, with every category an error, and entry 0
    // of the path keeps its node; the runs are written in order, since a
    // block of one may run on into the next.
    const auto limit = static_cast<size_t>(K);
    size_t from = 0;
    ErrorFlags runFlags{1, 1, 1};
    uint16_t runNode = pathNodes[0];
    for (int j = 0; j <= trail.count; ++j) {
        const size_t to =
            j < trail.count ? static_cast<size_t>(trail.levels[static_cast<size_t>(j)]) : limit;
        fillRun(flags, from, to, limit, runFlags);
        fillRun(pathNodes, from, to, limit, runNode);
        if (j == trail.count) break;
        runFlags = levelFlags[static_cast<size_t>(j)];
        runNode = levelNodes[static_cast<size_t>(j)];
        from = to;
    }
    return k;
}

ZORTAN_VECTOR_CLONES uint16_t walk(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                                   const EventRecord& event, TwordArray& path, int startNode,
                                   Ui& ui, LevelTrail* trail) {
    const AheadDecisions ahead = std::exchange(coder.ahead, AheadDecisions{});
    const PreparedTree* prepared = preparedFor(tree, coder);
    // The prepared walk needs the working arrays to cover every tree size up
    // to K, and a rule it knows.
    const size_t sizes = static_cast<size_t>(tree.treeSizesNb());
    if (prepared != nullptr && trail != nullptr && startNode == 0 && K <= sizes &&
        coder.BoolErrorVector.size() >= sizes && path.size() >= sizes && !prepared->steps.empty()) {
        const bool cartRule = tree.treeTraining.setsDividingMethod == 0;
        const bool euclid =
            coder.distanceFunction == nullptr || coder.distanceFunction == &EuclidDist;
        int leaf = -1;
        if (cartRule) {
            leaf =
                preparedWalk<true>(*prepared, tree, coder, K, event, path, *trail, ahead, nullptr);
        } else if (euclid && splitsUsable(tree, *prepared)) {
            if (ahead.depth > 0) {
                leaf = preparedWalk<false>(*prepared, tree, coder, K, event, path, *trail, ahead,
                                           nullptr);
            } else {
                PreparedWalk splits(*prepared, event.reals);
                leaf = preparedWalk<false>(*prepared, tree, coder, K, event, path, *trail, ahead,
                                           &splits);
            }
        }
        if (leaf >= 0) return static_cast<uint16_t>(leaf);
        *trail = LevelTrail{};
    }
    return checkedWalk(prepared, tree, coder, K, event, path, startNode, ui, trail);
}

}  // namespace

void PrepareTree(const QuantizationTree& tree, CoderState& coder) {
    PreparedTree& p = coder.prepared;
    p = PreparedTree{};
    const auto& heap = tree.nodeHeap;
    // A reading is kept as its character's code, 0..255, or -1 beyond the list.
    const auto reading = [](const TcharList& list, uint8_t r) -> int16_t {
        return r < list.size() ? static_cast<int16_t>(static_cast<unsigned char>(list[r]))
                               : int16_t{-1};
    };
    const long long nodes = std::min<long long>(tree.HeapTop + 1LL, std::ssize(heap));
    const int lastSize = lastSizeIndex(tree);
    const bool active[3] = {tree.cath1Active != 0, tree.cath2Active != 0, tree.cath3Active != 0};
    p.steps.resize(heap.size());
    for (long long k = 0; k < nodes; ++k) {
        const TreeNode& n = heap[static_cast<size_t>(k)];
        WalkStep& step = p.steps[static_cast<size_t>(k)];
        step.readings = {reading(tree.cath1List, n.treeCath1), reading(tree.cath2List, n.treeCath2),
                         reading(tree.cath3List, n.treeCath3)};
        bool clean = true;
        for (int c = 0; c < 3; ++c)
            clean = clean && (!active[c] || step.readings[static_cast<size_t>(c)] >= 0);
        step.son = n.son;
        if (n.son > 0) {
            // The walk's checks of a split, made once here.
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
    p.heap = heap.data();
    p.heapSize = heap.size();
    p.heapTop = tree.HeapTop;
    p.valid = true;

    const bool euclid = coder.distanceFunction == nullptr || coder.distanceFunction == &EuclidDist;
    if (tree.treeTraining.setsDividingMethod == 0 || !euclid) return;
    const ConsideredComponents& considered = consideredComponents(tree, coder);
    const bool finiteRoot =
        !heap.empty() && std::all_of(heap[0].centroid.begin(), heap[0].centroid.end(),
                                     [](double v) { return std::isfinite(v); });
    for (size_t i = 0; i < kComponents; ++i) {
        p.counts[i] = considered.weight[i];
        p.reference[i] = finiteRoot && p.counts[i] != 0.0 ? heap[0].centroid[i] : 0.0;
    }
    // With M the margin of the double sums, the bound of a split is
    // M((n+|a-r|)^2 + (n+|b-r|)^2) + errorPerNorm*n + errorFixed, grouped by
    // powers of n = |x-r|; its terms are rounded up.
    const double margin = relativeBound(considered.leading);
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
        // Such a split is left to the sums, which also show its messages.
        if (!finite) continue;
        split.vector = static_cast<int32_t>(p.vectors.size());
        p.vectors.push_back(vector);
        p.steps[static_cast<size_t>(k)].split = split;
    }
    p.keyConsideredComponentsNb = tree.consideredComponentsNb;
    p.keyConstrainedSet = tree.constrainedSet;
    p.splitsValid = true;
}

void DropPreparedTree(CoderState& coder) {
    coder.prepared = PreparedTree{};
}

int PreparedDecision(const QuantizationTree& tree, const CoderState& coder, int k,
                     const EventRecord& event) {
    const PreparedTree* p = preparedFor(tree, coder);
    const long long size = std::ssize(tree.nodeHeap);
    if (p == nullptr || !splitsUsable(tree, *p) || k < 0 || k >= size) return 0;
    const int s = tree.nodeHeap[static_cast<size_t>(k)].son;
    if (s <= 0 || s >= size) return 0;
    const int b = tree.nodeHeap[static_cast<size_t>(s)].brother;
    return PreparedWalk(*p, event.reals).decide(k, s, b);
}

bool CanDecideAhead(const QuantizationTree& tree, const CoderState& coder) {
    const PreparedTree* p = preparedFor(tree, coder);
    const bool euclid = coder.distanceFunction == nullptr || coder.distanceFunction == &EuclidDist;
    return p != nullptr && tree.treeTraining.setsDividingMethod != 0 && euclid &&
           splitsUsable(tree, *p) && !p->steps.empty();
}

// The events are taken in groups, and each level of their walks in one go,
// so that the dot products of different events do not wait for each other.
ZORTAN_VECTOR_CLONES void DecideAhead(const PreparedTree& prepared, const ComponentVector* reals,
                                      size_t count, AheadDecisions* decisions) {
    constexpr size_t kGroup = 8;
    std::fill(decisions, decisions + count, AheadDecisions{});
    if (prepared.steps.empty()) return;
    const PairedDots dots = bestPairedDots();
    const WalkStep* const steps = prepared.steps.data();
    alignas(64) std::array<PaddedVector, kGroup> x;
    for (size_t base = 0; base < count; base += kGroup) {
        const int n = static_cast<int>(std::min(kGroup, count - base));
        AheadDecisions* const out = decisions + base;
        const double* xs[kGroup];
        const double* ws[kGroup];
        double dot[kGroup];
        SplitBound bound[kGroup];
        int node[kGroup], walking[kGroup];  // the group's events still walking
        for (int i = 0; i < n; ++i) {
            centre(prepared, reals[base + static_cast<size_t>(i)], x[static_cast<size_t>(i)]);
            xs[i] = ws[i] = x[static_cast<size_t>(i)].data();
            node[i] = 0;
            walking[i] = i;
        }
        dots(xs, ws, n, dot);
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
            dots(xs, ws, m, dot);
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

AheadDecisions DecideAhead(const PreparedTree& prepared, const ComponentVector& reals) {
    AheadDecisions ahead;
    DecideAhead(prepared, &reals, 1, &ahead);
    return ahead;
}

uint16_t EncodeIter(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                    const EventRecord& event, TwordArray& path, int startNode, Ui& ui) {
    return walk(tree, coder, K, event, path, startNode, ui, nullptr);
}

ZORTAN_VECTOR_CLONES EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder,
                                              uint16_t K, const EventRecord& event,
                                              TwordArray& path, TErrorRecordArray& errors, Ui& ui,
                                              TErrorRecordArray* steps) {
    LevelTrail trail;
    const TreeNode& leaf = nodeAt(tree, walk(tree, coder, K, event, path, 0, ui, &trail));
    const EncodeResult result{leaf.code, leaf.treeCath1, leaf.treeCath2, leaf.treeCath3};

    // With rising levels the walk has written every entry below K as runs,
    // each of which adds the same flags.
    const size_t sizes = K;
    if (trail.usable && sizes <= errors.size() && sizes <= coder.BoolErrorVector.size()) {
        const auto flagsOf = [&trail](int j) {
            return j < 0 ? countedFlags(ErrorFlags{1, 1, 1}) : trail.flags[static_cast<size_t>(j)];
        };
        if (steps != nullptr && steps->size() > sizes) {
            // Each run adds its flags from its first size on and takes them
            // off again where it ends.
            TErrorRecord* const d = steps->data();
            forEachRun(trail, K,
                       [&](int from, int to, int j) { addStep(d[from], d[to], flagsOf(j)); });
        } else {
            forEachRun(trail, K, [&](int from, int to, int j) {
                addFlags(errors.data() + from, to - from, flagsOf(j));
            });
        }
        return result;
    }
    for (int t = 0; t < K; ++t) {
        const ErrorFlags& flags = checkedAt(coder.BoolErrorVector, t);
        TErrorRecord& record = checkedAt(errors, t);
        if (flags.cath1 == 1) ++record.cath1;
        if (flags.cath2 == 1) ++record.cath2;
        if (flags.cath3 == 1) ++record.cath3;
    }
    return result;
}

}  // namespace zortan
