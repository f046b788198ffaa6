// The coder of a coding run: EncodeEvent's results, flags, paths and counts,
// faster. It walks a tree prepared once for the run, takes the decisions of
// each walk made ahead (by another thread, from the notes it gives for that),
// and keeps the error counts as differences between neighbouring tree sizes
// until it settles them. Whatever it cannot do exactly as EncodeEvent does it
// leaves to EncodeEvent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "events/EventRecord.h"
#include "tree/TreeCoding.h"

namespace zortan {

class FastCoder {
  public:
    // What the coder may be given for an event, worked out ahead of it;
    // opaque to everybody else.
    struct Note {
        std::array<uint64_t, 2> words{};
    };

    // Prepares for `tree`, which must stay as it is while the coder lives;
    // the results go to `coder`'s working arrays.
    FastCoder(const QuantizationTree& tree, CoderState& coder);
    // Settles the error counts.
    ~FastCoder();
    FastCoder(const FastCoder&) = delete;
    FastCoder& operator=(const FastCoder&) = delete;

    // As EncodeEvent; the errors may stay pending until settle(). `note` is
    // the one noteAhead gave for this event, or null.
    EncodeResult encode(uint16_t K, const EventRecord& event, TwordArray& path,
                        TErrorRecordArray& errors, Ui& ui, const Note* note = nullptr);
    // Adds the pending errors into the error arrays they belong to.
    void settle() noexcept;

    // Whether notes made ahead spare encode work for this tree.
    bool notesHelp() const;
    // The notes of `count` events with these reals, into notes[0..count).
    // Reads only what the coder prepared, so another thread may call it.
    void noteAhead(const ComponentVector* reals, size_t count, Note* notes) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zortan
