#include "tree/TreeCoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "platform/Errors.h"
#include "shell/Format.h"
#include "shell/Ui.h"

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__) && \
    defined(__ELF__)
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

// Recomputes the flags of the active categories for the node reached.
void setFlags(const QuantizationTree& tree, const TreeNode& node, const EventRecord& event,
              ErrorFlags& flags) {
    if (tree.cath1Active != 0) flags.cath1 = disagrees(tree.cath1List, node.treeCath1, event.cath1);
    if (tree.cath2Active != 0) flags.cath2 = disagrees(tree.cath2List, node.treeCath2, event.cath2);
    if (tree.cath3Active != 0) flags.cath3 = disagrees(tree.cath3List, node.treeCath3, event.cath3);
}

// Adds the leaf's disagreements of the active categories to the running counts.
void countLeafErrors(const QuantizationTree& tree, const TreeNode& leaf, const EventRecord& event,
                     CoderState& coder) {
    if (tree.cath1Active != 0)
        coder.cath1ErrorCount += disagrees(tree.cath1List, leaf.treeCath1, event.cath1);
    if (tree.cath2Active != 0)
        coder.cath2ErrorCount += disagrees(tree.cath2List, leaf.treeCath2, event.cath2);
    if (tree.cath3Active != 0)
        coder.cath3ErrorCount += disagrees(tree.cath3List, leaf.treeCath3, event.cath3);
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

// The double sums of squares of (e - a) and (e - b) over components 0..n-1,
// each difference times `w` when `w` is given.
using DoubleSums = void (*)(const double* e, const double* a, const double* b, const double* w,
                            int n, double& sumA, double& sumB);

#if defined(__GNUC__)
template <int Bytes>
struct LanesOf {
    typedef double type __attribute__((vector_size(Bytes)));
};

// The sums in vectors of `Bytes` bytes, two per sum: instantiated for the
// baseline and, on x86-64, inside functions built for wider vector units.
template <int Bytes>
[[gnu::always_inline]] inline void vectorSums(const double* e, const double* a, const double* b,
                                              const double* w, int n, double& sumA, double& sumB) {
    using Lanes = typename LanesOf<Bytes>::type;
    constexpr int kLanes = Bytes / static_cast<int>(sizeof(double));
    const auto load = [](Lanes& v, const double* p) { std::memcpy(&v, p, sizeof v); };
    Lanes a0{}, a1{}, b0{}, b1{}, e0, e1, x0, x1, w0, w1;
    int i = 0;
    for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
        load(e0, e + i);
        load(e1, e + i + kLanes);
        load(x0, a + i);
        load(x1, a + i + kLanes);
        Lanes da0 = e0 - x0, da1 = e1 - x1;
        load(x0, b + i);
        load(x1, b + i + kLanes);
        Lanes db0 = e0 - x0, db1 = e1 - x1;
        if (w != nullptr) {
            load(w0, w + i);
            load(w1, w + i + kLanes);
            da0 *= w0;
            da1 *= w1;
            db0 *= w0;
            db1 *= w1;
        }
        a0 += da0 * da0;
        a1 += da1 * da1;
        b0 += db0 * db0;
        b1 += db1 * db1;
    }
    a0 += a1;
    b0 += b1;
    // The lanes added pairwise, halves onto halves.
    double la[kLanes], lb[kLanes];
    std::memcpy(la, &a0, sizeof la);
    std::memcpy(lb, &b0, sizeof lb);
    for (int width = kLanes / 2; width > 0; width /= 2)
        for (int j = 0; j < width; ++j) {
            la[j] += la[j + width];
            lb[j] += lb[j + width];
        }
    double sa = la[0], sb = lb[0];
    for (; i < n; ++i) {
        const double m = w == nullptr ? 1.0 : w[i];
        const double da = (e[i] - a[i]) * m, db = (e[i] - b[i]) * m;
        sa += da * da;
        sb += db * db;
    }
    sumA = sa;
    sumB = sb;
}

void baselineSums(const double* e, const double* a, const double* b, const double* w, int n,
                  double& sumA, double& sumB) {
    vectorSums<16>(e, a, b, w, n, sumA, sumB);
}
#else
void baselineSums(const double* e, const double* a, const double* b, const double* w, int n,
                  double& sumA, double& sumB) {
    double sa[4] = {}, sb[4] = {};
    for (int i = 0; i < n; ++i) {
        const double m = w == nullptr ? 1.0 : w[i];
        const double da = (e[i] - a[i]) * m, db = (e[i] - b[i]) * m;
        sa[i & 3] += da * da;
        sb[i & 3] += db * db;
    }
    sumA = (sa[0] + sa[1]) + (sa[2] + sa[3]);
    sumB = (sb[0] + sb[1]) + (sb[2] + sb[3]);
}
#endif

#ifdef ZORTAN_WIDE_VECTORS
[[gnu::target("arch=x86-64-v3")]] void sums256(const double* e, const double* a, const double* b,
                                               const double* w, int n, double& sumA, double& sumB) {
    vectorSums<32>(e, a, b, w, n, sumA, sumB);
}

[[gnu::target("arch=x86-64-v4")]] void sums512(const double* e, const double* a, const double* b,
                                               const double* w, int n, double& sumA, double& sumB) {
    vectorSums<64>(e, a, b, w, n, sumA, sumB);
}
#endif

// The widest kernel this processor runs (the processor's features are read
// once, by the runtime, before the program starts).
DoubleSums bestSums() {
#ifdef ZORTAN_WIDE_VECTORS
    if (__builtin_cpu_supports("x86-64-v4")) return &sums512;
    if (__builtin_cpu_supports("x86-64-v3")) return &sums256;
#endif
    return &baselineSums;
}

// The centroid rule with EuclidDist: is the event nearer the first son?
bool nearerFirstSon(const QuantizationTree& tree, const ConsideredComponents& considered,
                    DoubleSums doubleSums, const EventRecord& event, const TreeNode& first,
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

// --- Gap filling and error counting --------------------------------------------

// Writes `n` copies of `value` from `at` on.
void fillCopies(uint16_t* at, size_t n, uint16_t value) {
    for (; n > 0; --n) *at++ = value;
}

void fillCopies(ErrorFlags* at, size_t n, ErrorFlags value) {
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

// Copies entry `from` into from+1 .. to-1 when every index is known to be
// valid; false leaves the work, and its messages, to the checked loop.
template <typename T>
bool fillInRange(const QuantizationTree& tree, std::vector<T>& v, int from, int to) {
    if (to <= from + 1) return true;
    if (from < 0 || to - 1 > lastSizeIndex(tree) || static_cast<size_t>(to) > v.size())
        return false;
    fillCopies(v.data() + from + 1, static_cast<size_t>(to - from - 1),
               v[static_cast<size_t>(from)]);
    return true;
}

// The split levels a walk went through, for the counting in EncodeEvent.
struct LevelTrail {
    static constexpr int kCapacity = 64;
    std::array<int, kCapacity> levels;  // the first `count` are set
    int count = 0;
    bool usable = true;  // levels rising from above 0, all recorded

    void add(int level) {
        const int previous = count > 0 ? levels[static_cast<size_t>(count - 1)] : 0;
        if (count == kCapacity || level <= previous)
            usable = false;
        else
            levels[static_cast<size_t>(count++)] = level;
    }
};

// Adds flags `f` (a 1 counts) to records [0, n).
void addFlags(TErrorRecord* records, int n, const ErrorFlags& f) {
    const uint32_t c1 = f.cath1 == 1 ? 1 : 0, c2 = f.cath2 == 1 ? 1 : 0, c3 = f.cath3 == 1 ? 1 : 0;
    if ((c1 | c2 | c3) == 0) return;
    for (int t = 0; t < n; ++t) {
        records[t].cath1 += c1;
        records[t].cath2 += c2;
        records[t].cath3 += c3;
    }
}

}  // namespace

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

// EncodeIter, also noting the split levels in `trail` when given.
ZORTAN_VECTOR_CLONES uint16_t walk(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                                   const EventRecord& event, TwordArray& path, int startNode,
                                   Ui& ui, LevelTrail* trail) {
    // The root alone carries no reading that is compared: every event counts
    // as an error in every category at tree size 1.
    checkedAt(coder.BoolErrorVector, 0) = ErrorFlags{1, 1, 1};

    const bool cartRule = tree.treeTraining.setsDividingMethod == 0;
    const DistanceFunction distance =
        coder.distanceFunction != nullptr ? coder.distanceFunction : &EuclidDist;
    const ConsideredComponents* considered =
        !cartRule && distance == &EuclidDist ? &consideredComponents(tree, coder) : nullptr;
    const DoubleSums sums = considered != nullptr ? bestSums() : nullptr;
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
            takeFirst = nearerFirstSon(tree, *considered, sums, event, first, second, ui);
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
        pathNodes[level] = fitOrRangeError<uint16_t>(k);
        if (level >= flagsSize) throw RangeError();
        setFlags(tree, takeFirst ? first : second, event, flags[level]);
        // Tree sizes skipped by this split keep the node and flags of the
        // level before. Entry `level` exists in both arrays, so every entry
        // below it does too.
        if (level > oldLevel + 1) {
            const auto from = static_cast<size_t>(oldLevel),
                       n = static_cast<size_t>(level - oldLevel - 1);
            fillCopies(flags + from + 1, n, flags[from]);
            fillCopies(pathNodes + from + 1, n, pathNodes[from]);
        }
        if (trail != nullptr) trail->add(level);
    }

    countLeafErrors(tree, nodeOf(k), event, coder);
    // The tree sizes above the leaf's level up to K-1 keep the leaf.
    fillGapTranscrErr(tree, coder, level, K, ui);
    PathFillGap(tree, path, level, K, ui);
    return fitOrRangeError<uint16_t>(k);
}

}  // namespace

uint16_t EncodeIter(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                    const EventRecord& event, TwordArray& path, int startNode, Ui& ui) {
    return walk(tree, coder, K, event, path, startNode, ui, nullptr);
}

ZORTAN_VECTOR_CLONES EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder,
                                              uint16_t K, const EventRecord& event,
                                              TwordArray& path, TErrorRecordArray& errors, Ui& ui) {
    LevelTrail trail;
    const TreeNode& leaf = nodeAt(tree, walk(tree, coder, K, event, path, 0, ui, &trail));
    const EncodeResult result{leaf.code, leaf.treeCath1, leaf.treeCath2, leaf.treeCath3};

    // With rising levels the walk has written every entry below K as runs:
    // from each level up to the next (or up to K) the flags are those of the
    // level, so each run adds the same flags.
    const size_t sizes = K;
    if (trail.usable && sizes <= errors.size() && sizes <= coder.BoolErrorVector.size()) {
        int from = 0;
        for (int j = 0; j <= trail.count; ++j) {
            const int to = j < trail.count ? trail.levels[static_cast<size_t>(j)] : K;
            addFlags(errors.data() + from, to - from,
                     coder.BoolErrorVector[static_cast<size_t>(from)]);
            from = to;
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
