// The coder of a coding run: EncodeEvent's results, flags, paths and counts,
// faster. It walks a tree prepared once for the run, takes the decisions of
// each walk made ahead (by another thread, from the notes it gives for that,
// or by itself for many events at once), and keeps the error counts as
// differences between neighbouring tree sizes until it settles them.
// Whatever it cannot do exactly as EncodeEvent does it leaves to
// EncodeEvent; made as the reference coder, it leaves everything to it.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/Dispatch.h"
#include "core/EventRecord.h"
#include "tree/TreeCoding.h"

namespace zortan {

enum class CoderKind {
    Fast,       // the prepared walks, with EncodeEvent where they cannot be exact
    Reference,  // every event by EncodeEvent
};

class FastCoder {
  public:
    // What the coder may be given for an event, worked out ahead of it;
    // opaque to everybody else.
    struct Note {
        std::array<uint64_t, 2> words{};
    };

    // Told after each event that encodeMany codes: the event's index, and the
    // node path and error flags (the coder state's BoolErrorVector) as that
    // event left them.
    using EventCoded = std::function<void(size_t index, const TwordArray& path,
                                          const std::vector<ErrorFlags>& flags)>;

    // Prepares for `tree`, which must stay as it is while the coder lives;
    // the results go to `coder`'s working arrays. The reference coder
    // prepares nothing.
    FastCoder(const QuantizationTree& tree, CoderState& coder, CoderKind kind = CoderKind::Fast);
    // The same with the kernels built for `set`, which must run here.
    FastCoder(const QuantizationTree& tree, CoderState& coder, CoderKind kind,
              fast::InstructionSet set);
    // Settles the error counts.
    ~FastCoder();
    FastCoder(const FastCoder&) = delete;
    FastCoder& operator=(const FastCoder&) = delete;

    CoderKind kind() const;

    // As EncodeEvent; the errors may stay pending until settle(). `note` is
    // the one noteAhead gave for this event, or null.
    EncodeResult encode(uint16_t K, const EventRecord& event, TwordArray& path,
                        TErrorRecordArray& errors, const Note* note = nullptr);

    // Codes events[0..count) in order, as EncodeEvent would one by one:
    // event i's result into results[i] (unless results is null), `coded`
    // (unless empty) told after each. Makes the decisions ahead itself where
    // they spare work. The events must stay as they are until it returns.
    // Before it returns, also by an exception, it settles every count
    // pending, so the error arrays hold all events coded.
    void encodeMany(uint16_t K, const EventRecord* events, size_t count, TwordArray& path,
                    TErrorRecordArray& errors, EncodeResult* results,
                    const EventCoded& coded = nullptr);

    // Adds the pending errors into the error arrays they belong to.
    void settle() noexcept;

    // Whether notes made ahead spare encode work for this tree; never for
    // the reference coder, whose notes are empty.
    bool notesHelp() const;
    // The notes of `count` events with these reals, into notes[0..count).
    // Reads only what the coder prepared, so another thread may call it.
    void noteAhead(const ComponentVector* reals, size_t count, Note* notes) const;

    // Events whose reals are noted together.
    static constexpr size_t kNoteGroup = 16;

    // The notes of `count` events that are not laid out as reals:
    // realsOf(i, reals) writes event i's reals, put(i, note) takes its note,
    // a group at a time. Reads only what the coder prepared.
    template <class RealsOf, class Put>
    requires std::invocable<RealsOf&, size_t, ComponentVector&> &&
        std::invocable<Put&, size_t, const Note&>
    void noteAhead(size_t count, RealsOf&& realsOf, Put&& put) const {
        if (!notesHelp()) {
            for (size_t i = 0; i < count; ++i) put(i, Note{});
            return;
        }
        std::array<ComponentVector, kNoteGroup> reals;
        std::array<Note, kNoteGroup> notes;
        for (size_t base = 0; base < count; base += kNoteGroup) {
            const size_t n = std::min(kNoteGroup, count - base);
            for (size_t j = 0; j < n; ++j) realsOf(base + j, reals[j]);
            noteAhead(reals.data(), n, notes.data());
            for (size_t j = 0; j < n; ++j) put(base + j, notes[j]);
        }
    }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zortan
