#include "tree/fast/FastCoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "platform/Errors.h"
#include "tree/fast/PreparedTree.h"

namespace zortan {

namespace {

using fast::Decisions;
using fast::PreparedTree;
using fast::WalkStep;

// A note holds the decisions of one walk.
FastCoder::Note noteOf(const Decisions& d) {
    return FastCoder::Note{{d.firstSon, d.depth}};
}
Decisions decisionsOf(const FastCoder::Note& note) {
    return Decisions{note.words[0], static_cast<uint8_t>(std::min<uint64_t>(note.words[1], 64))};
}

// Writes `n` copies of `value` from `at` on: four at a time as one 64-bit word.
[[gnu::always_inline]] inline void fillCopies(uint16_t* at, size_t n, uint16_t value) {
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

// Writes `value` into at[from..to). Whole 64-byte blocks, built in a
// register, may run on past `to`, never up to at[limit]: for a caller that
// writes the entries after `to` afterwards, most runs take one store.
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
        // words of three copies each, put together in a register.
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

// What each level of a walk stores, kept until the walk is through: read back
// from the arrays right after they were stored, they would wait for the
// stores.
struct LevelTrail {
    static constexpr int kCapacity = 64;
    std::array<int, kCapacity> levels;  // the first `count` are set, rising
    std::array<ErrorFlags, kCapacity> flags;
    std::array<uint16_t, kCapacity> nodes;
    int count = 0;
};

// A walk from the root over the prepared steps, for trees whose steps are
// clean along the way: no check is due, so none is made. It stores exactly
// what EncodeIter stores and gives up (-1), having stored nothing, before
// anything that walk would report or decide by the distances: an unclean
// step, a split not decided, more splits than the tree has nodes, levels
// that do not rise or more than the trail holds.
template <bool CartRule>
[[gnu::always_inline]] inline int preparedWalk(const PreparedTree& p, const QuantizationTree& tree,
                                               CoderState& coder, uint16_t K,
                                               const EventRecord& event, TwordArray& path,
                                               LevelTrail& trail, const Decisions& decisions) {
    const WalkStep* const steps = p.steps.data();
    const bool active[3] = {tree.cath[0].active != 0, tree.cath[1].active != 0,
                            tree.cath[2].active != 0};
    const char given[3] = {event.cath1, event.cath2, event.cath3};
    // Node n's reading of category c differs from the event's; clean steps
    // read within their lists.
    const auto disagreesAt = [steps, &given](int n, size_t c) -> uint8_t {
        return static_cast<char>(steps[n].readings[c]) != given[c] ? 1 : 0;
    };
    int k = 0;
    if (!steps[0].clean) return -1;
    for (int taken = 0;; ++taken) {
        const WalkStep& step = steps[k];
        if (step.son <= 0) break;
        if (taken >= tree.HeapTop) return -1;
        if (step.splitLevel >= K) break;
        bool takeFirst;
        if constexpr (CartRule) {
            const TreeNode& node = tree.nodeHeap[static_cast<size_t>(k)];
            const int f = node.splitComponent;
            takeFirst = checkedAt(event.components, f) < checkedAt(node.centroid, f);
        } else {
            if (taken >= decisions.depth) return -1;
            takeFirst = (decisions.firstSon >> taken & 1) != 0;
        }
        k = takeFirst ? step.son : step.brother;
        if (!steps[k].clean) return -1;
        const int level = step.splitLevel;
        const int previous =
            trail.count > 0 ? trail.levels[static_cast<size_t>(trail.count - 1)] : 0;
        if (trail.count == LevelTrail::kCapacity || level <= previous) return -1;
        // Inactive categories keep the flags the previous event left there,
        // which no earlier level of a walk with rising levels has touched.
        ErrorFlags f = coder.BoolErrorVector[static_cast<size_t>(level)];
        if (active[0]) f.cath1 = disagreesAt(k, 0);
        if (active[1]) f.cath2 = disagreesAt(k, 1);
        if (active[2]) f.cath3 = disagreesAt(k, 2);
        const auto j = static_cast<size_t>(trail.count++);
        trail.levels[j] = level;
        trail.flags[j] = f;
        trail.nodes[j] = static_cast<uint16_t>(k);
    }
    if (active[0]) coder.cath1ErrorCount += disagreesAt(k, 0);
    if (active[1]) coder.cath2ErrorCount += disagreesAt(k, 1);
    if (active[2]) coder.cath3ErrorCount += disagreesAt(k, 2);
    // Tree size 1 is the root's, with every category an error, and entry 0
    // of the path keeps its node; the runs are written in order, since a
    // block of one may run on into the next.
    ErrorFlags* const flags = coder.BoolErrorVector.data();
    uint16_t* const nodes = path.data();
    const auto limit = static_cast<size_t>(K);
    size_t from = 0;
    ErrorFlags runFlags{1, 1, 1};
    uint16_t runNode = nodes[0];
    for (int j = 0;; ++j) {
        const size_t to =
            j < trail.count ? static_cast<size_t>(trail.levels[static_cast<size_t>(j)]) : limit;
        fillRun(flags, from, to, limit, runFlags);
        fillRun(nodes, from, to, limit, runNode);
        if (j == trail.count) break;
        runFlags = trail.flags[static_cast<size_t>(j)];
        runNode = trail.nodes[static_cast<size_t>(j)];
        from = to;
    }
    return k;
}

// A walk with rising levels leaves runs of tree sizes below K that repeat
// what was stored at their first size: [0, level 0) the root's, [level j,
// level j+1) that of level j, [last level, K) the leaf's. Each run adds its
// flags from its first size on and takes them off again where it ends, so
// the counts of the sizes follow as sums of these steps.
[[gnu::always_inline]] inline void addRunSteps(const LevelTrail& trail, int K,
                                               TErrorRecord* steps) {
    int from = 0;
    ErrorFlags flags{1, 1, 1};
    for (int j = 0; j <= trail.count; ++j) {
        const int to = j < trail.count ? trail.levels[static_cast<size_t>(j)] : K;
        addErrorFlags(steps[from], flags);
        addErrorFlags(steps[to], flags, ~uint32_t{0});
        if (j < trail.count) flags = trail.flags[static_cast<size_t>(j)];
        from = to;
    }
}

// What the prepared walks work with, for one coder.
struct Walks {
    Walks(const QuantizationTree& t, CoderState& c, bool prepare, fast::InstructionSet set)
        : tree(t),
          coder(c),
          prepared(prepare ? fast::PrepareTree(t, c) : PreparedTree{}),
          cartRule(t.treeTraining.setsDividingMethod == 0),
          euclid(c.distanceFunction == nullptr || c.distanceFunction == &EuclidDist),
          decide(fast::decideAheadFor(set)) {}

    const QuantizationTree& tree;
    CoderState& coder;
    PreparedTree prepared;
    bool cartRule = false;
    bool euclid = false;
    fast::DecideAheadOf decide;
    // The errors not yet added to an error array, as steps: one entry more
    // than its tree sizes.
    struct Pending {
        TErrorRecordArray* errors;
        TErrorRecordArray steps;
    };
    std::vector<Pending> pending;

    bool notesHelp() const { return !cartRule && euclid && fast::SplitsUsable(tree, prepared); }

    // Whether a prepared walk can code at K into these arrays: they cover
    // every tree size up to K, and the rule is one it knows.
    bool walkable(uint16_t K, const TwordArray& path, const TErrorRecordArray& errors,
                  bool splitsHelp) const {
        const auto sizes = static_cast<size_t>(tree.treeSizesNb());
        return K >= 1 && K <= sizes && coder.BoolErrorVector.size() >= sizes &&
               path.size() >= sizes && errors.size() >= K && !prepared.steps.empty() &&
               (cartRule || splitsHelp);
    }

    [[gnu::always_inline]] TErrorRecord* stepsFor(TErrorRecordArray& errors) {
        for (Pending& p : pending)
            if (p.errors == &errors) {
                // An array grown since: its new sizes have nothing pending.
                if (p.steps.size() < errors.size() + 1) p.steps.resize(errors.size() + 1);
                return p.steps.data();
            }
        pending.push_back({&errors, TErrorRecordArray(errors.size() + 1)});
        return pending.back().steps.data();
    }
};

// Events coded at one K into one path and error array.
struct Batch {
    uint16_t K;
    const EventRecord* events;
    size_t count;
    TwordArray& path;
    TErrorRecordArray& errors;
    EncodeResult* results;               // or null
    const FastCoder::EventCoded* coded;  // or null
};

// The prepared walk of one event where `walkable` (for the centroid rule
// with the decisions given), its errors kept as steps: the leaf, or -1 where
// EncodeEvent must code the event. Its values come as parameters: read from
// a batch in memory they would be read again after each flag the walk
// stores, since a store of bytes may change anything.
[[gnu::always_inline]] inline int walkOne(Walks& w, uint16_t K, const EventRecord& event,
                                          TwordArray& path, TErrorRecordArray& errors,
                                          bool walkable, const Decisions& decisions) {
    if (!walkable) return -1;
    LevelTrail trail;
    const int leaf =
        w.cartRule
            ? preparedWalk<true>(w.prepared, w.tree, w.coder, K, event, path, trail, Decisions{})
            : preparedWalk<false>(w.prepared, w.tree, w.coder, K, event, path, trail, decisions);
    if (leaf >= 0) addRunSteps(trail, K, w.stepsFor(errors));
    return leaf;
}

// One event, decided by its note or else alone: its leaf, or -1 where
// EncodeEvent must code it. The caller makes the result, in one place for
// both: a result returned from two places here would be put together on the
// stack and read back before its parts were stored.
[[gnu::always_inline]] inline int walkEvent(Walks& w, uint16_t K, const EventRecord& event,
                                            TwordArray& path, TErrorRecordArray& errors,
                                            const FastCoder::Note* note) {
    const ComponentVector* const reals = &event.reals;
    const bool walkable = w.walkable(K, path, errors, w.notesHelp());
    Decisions decisions;
    if (walkable && !w.cartRule) {
        if (note != nullptr)
            decisions = decisionsOf(*note);
        else
            w.decide(w.prepared, &reals, 1, &decisions);
    }
    return walkOne(w, K, event, path, errors, walkable, decisions);
}

// Events decided together before their walks: enough for the dot products of
// a group to overlap, few enough for their reals to stay in the cache.
constexpr size_t kDecidedTogether = 32;

// The events of a batch in order, each group's decisions made first for the
// centroid rule. The leaf's fields go straight to the results: a result put
// together on the stack and then copied would be read back before its parts
// were stored.
[[gnu::always_inline]] inline void codeEvents(Walks& w, const Batch& b) {
    const uint16_t K = b.K;
    TwordArray& path = b.path;
    TErrorRecordArray& errors = b.errors;
    const bool splitsHelp = w.notesHelp();
    std::array<Decisions, kDecidedTogether> decided;
    const ComponentVector* reals[kDecidedTogether];
    EncodeResult dropped;
    for (size_t base = 0; base < b.count; base += kDecidedTogether) {
        const size_t n = std::min(kDecidedTogether, b.count - base);
        const bool walkable = w.walkable(K, path, errors, splitsHelp);
        if (walkable && !w.cartRule) {
            for (size_t j = 0; j < n; ++j) reals[j] = &b.events[base + j].reals;
            w.decide(w.prepared, reals, n, decided.data());
        }
        for (size_t j = 0; j < n; ++j) {
            const size_t i = base + j;
            EncodeResult& out = b.results != nullptr ? b.results[i] : dropped;
            const int leaf = walkOne(w, K, b.events[i], path, errors, walkable, decided[j]);
            if (leaf < 0) {
                out = EncodeEvent(w.tree, w.coder, K, b.events[i], path, errors);
            } else {
                const TreeNode& node = w.tree.nodeHeap[static_cast<size_t>(leaf)];
                out.code = node.code;
                out.cath1 = node.treeCath1;
                out.cath2 = node.treeCath2;
                out.cath3 = node.treeCath3;
            }
            if (b.coded != nullptr) (*b.coded)(i, path, w.coder.BoolErrorVector);
        }
    }
}

// Each instruction set's builds of the two.
struct Builds {
    int (*one)(Walks& w, uint16_t K, const EventRecord& event, TwordArray& path,
               TErrorRecordArray& errors, const FastCoder::Note* note);
    void (*many)(Walks& w, const Batch& b);
};

int walkEventBaseline(Walks& w, uint16_t K, const EventRecord& event, TwordArray& path,
                      TErrorRecordArray& errors, const FastCoder::Note* note) {
    return walkEvent(w, K, event, path, errors, note);
}
void codeEventsBaseline(Walks& w, const Batch& b) {
    codeEvents(w, b);
}

#ifdef ZORTAN_WIDE_KERNELS
ZORTAN_TARGET_X86_64_V3 int walkEventX86_64_V3(Walks& w, uint16_t K, const EventRecord& event,
                                               TwordArray& path, TErrorRecordArray& errors,
                                               const FastCoder::Note* note) {
    return walkEvent(w, K, event, path, errors, note);
}
ZORTAN_TARGET_X86_64_V3 void codeEventsX86_64_V3(Walks& w, const Batch& b) {
    codeEvents(w, b);
}

ZORTAN_TARGET_X86_64_V4 int walkEventX86_64_V4(Walks& w, uint16_t K, const EventRecord& event,
                                               TwordArray& path, TErrorRecordArray& errors,
                                               const FastCoder::Note* note) {
    return walkEvent(w, K, event, path, errors, note);
}
ZORTAN_TARGET_X86_64_V4 void codeEventsX86_64_V4(Walks& w, const Batch& b) {
    codeEvents(w, b);
}
#endif

Builds buildsFor(fast::InstructionSet set) {
#ifdef ZORTAN_WIDE_KERNELS
    if (set == fast::InstructionSet::X86_64_V4) return {&walkEventX86_64_V4, &codeEventsX86_64_V4};
    if (set == fast::InstructionSet::X86_64_V3) return {&walkEventX86_64_V3, &codeEventsX86_64_V3};
#endif
    static_cast<void>(set);
    return {&walkEventBaseline, &codeEventsBaseline};
}

}  // namespace

struct FastCoder::Impl {
    Impl(const QuantizationTree& tree, CoderState& coder, CoderKind k, fast::InstructionSet set)
        : kind(k), walks(tree, coder, k == CoderKind::Fast, set), builds(buildsFor(set)) {}

    CoderKind kind;
    Walks walks;
    Builds builds;
};

FastCoder::FastCoder(const QuantizationTree& tree, CoderState& coder, CoderKind kind)
    : FastCoder(tree, coder, kind, fast::chosenInstructionSet()) {}

FastCoder::FastCoder(const QuantizationTree& tree, CoderState& coder, CoderKind kind,
                     fast::InstructionSet set)
    : impl_(std::make_unique<Impl>(tree, coder, kind, set)) {}

FastCoder::~FastCoder() {
    settle();
}

CoderKind FastCoder::kind() const {
    return impl_->kind;
}

bool FastCoder::notesHelp() const {
    return impl_->kind == CoderKind::Fast && impl_->walks.notesHelp();
}

void FastCoder::noteAhead(const ComponentVector* reals, size_t count, Note* notes) const {
    // Without usable splits every note would decide nothing.
    if (!notesHelp()) {
        std::fill(notes, notes + count, Note{});
        return;
    }
    const Walks& w = impl_->walks;
    constexpr size_t kChunk = 64;
    std::array<Decisions, kChunk> decisions;
    const ComponentVector* of[kChunk];
    for (size_t base = 0; base < count; base += kChunk) {
        const size_t n = std::min(kChunk, count - base);
        for (size_t i = 0; i < n; ++i) of[i] = reals + base + i;
        w.decide(w.prepared, of, n, decisions.data());
        for (size_t i = 0; i < n; ++i) notes[base + i] = noteOf(decisions[i]);
    }
}

EncodeResult FastCoder::encode(uint16_t K, const EventRecord& event, TwordArray& path,
                               TErrorRecordArray& errors, const Note* note) {
    Impl& m = *impl_;
    if (m.kind == CoderKind::Reference)
        return EncodeEvent(m.walks.tree, m.walks.coder, K, event, path, errors);
    const int leaf = m.builds.one(m.walks, K, event, path, errors, note);
    if (leaf < 0) return EncodeEvent(m.walks.tree, m.walks.coder, K, event, path, errors);
    const TreeNode& n = m.walks.tree.nodeHeap[static_cast<size_t>(leaf)];
    return EncodeResult{n.code, n.treeCath1, n.treeCath2, n.treeCath3};
}

void FastCoder::encodeMany(uint16_t K, const EventRecord* events, size_t count, TwordArray& path,
                           TErrorRecordArray& errors, EncodeResult* results,
                           const EventCoded& coded) {
    struct SettleOnReturn {
        FastCoder& coder;
        ~SettleOnReturn() { coder.settle(); }
    } settleOnReturn{*this};
    Impl& m = *impl_;
    const EventCoded* tell = coded ? &coded : nullptr;
    if (m.kind == CoderKind::Reference) {
        for (size_t i = 0; i < count; ++i) {
            const EncodeResult r =
                EncodeEvent(m.walks.tree, m.walks.coder, K, events[i], path, errors);
            if (results != nullptr) results[i] = r;
            if (tell != nullptr) (*tell)(i, path, m.walks.coder.BoolErrorVector);
        }
        return;
    }
    m.builds.many(m.walks, Batch{K, events, count, path, errors, results, tell});
}

void FastCoder::settle() noexcept {
    for (Walks::Pending& p : impl_->walks.pending) {
        TErrorRecord sum;
        const size_t n = std::min(p.errors->size(), p.steps.size());
        for (size_t t = 0; t < n; ++t) {
            sum.cath1 += p.steps[t].cath1;
            sum.cath2 += p.steps[t].cath2;
            sum.cath3 += p.steps[t].cath3;
            (*p.errors)[t].cath1 += sum.cath1;
            (*p.errors)[t].cath2 += sum.cath2;
            (*p.errors)[t].cath3 += sum.cath3;
        }
        std::fill(p.steps.begin(), p.steps.end(), TErrorRecord{});
    }
}

}  // namespace zortan
