#include "engine/EventLoop.h"

#include <algorithm>
#include <optional>

#include "engine/TimeAveraging.h"
#include "events/FvsReader.h"
#include "output/CompareReport.h"
#include "output/OutFile.h"
#include "platform/Errors.h"
#include "tree/fast/FastCoder.h"

namespace zortan {

namespace {

// While it lives, the fvs file of a source notes beside each record what the
// fast coder may take for that record's event, a buffer of records at a time:
// the file's reading thread does it or, where that thread is not well ahead,
// the coding thread as it takes the buffer. Only where the codes stay the
// same for it: the feature kind chosen and no time averaging. Otherwise it
// does nothing.
class NotesAhead {
  public:
    NotesAhead(const QuantizationTree& tree, EventSource* source, const FastCoder& coder) {
        FvsFile* file = source != nullptr ? source->fvsFile() : nullptr;
        const int kind = tree.training.featureKind;
        if (file == nullptr || !file->isOpen() || kind < 0 ||
            kind >= static_cast<int>(kFeatureKindNames.size()) || tree.training.averaging ||
            !coder.notesHelp())
            return;
        const size_t vector = FeatureVectorOffset(static_cast<size_t>(kind));
        file->setRecordWork(
            [&coder, vector](const uint8_t* records, size_t count, RecordNote* notes) {
                std::array<int16_t, kComponents> words;
                coder.noteAhead(
                    count,
                    [&](size_t j, ComponentVector& reals) {
                        readVector(records + j * kFvsRecordSize, vector, words);
                        for (size_t i = 0; i < kComponents; ++i) reals[i] = words[i];
                    },
                    [&](size_t j, const FastCoder::Note& note) { notes[j] = note.words; });
            },
            true);
        file_ = file;
        kind_ = kind;
    }
    ~NotesAhead() {
        if (file_ != nullptr) file_->setRecordWork(nullptr);
    }
    NotesAhead(const NotesAhead&) = delete;
    NotesAhead& operator=(const NotesAhead&) = delete;

    // The note of the record read last, when it was made from the vector
    // that is coded now.
    std::optional<FastCoder::Note> noteOfLast(const QuantizationTree& tree) const {
        if (file_ == nullptr || tree.training.featureKind != kind_) return std::nullopt;
        const RecordNote* note = file_->noteOfLast();
        if (note == nullptr) return std::nullopt;
        return FastCoder::Note{*note};
    }

  private:
    FvsFile* file_ = nullptr;
    int kind_ = -1;
};

// A qualifier in a CSV field: itself where it is printable, else \xNN;
// quoted where CSV needs it.
std::string csvQualifier(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) {
        static constexpr char kHex[] = "0123456789abcdef";
        return {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
    }
    if (c == '"') return "\"\"\"\"";
    if (c == ',') return "\",\"";
    return std::string(1, c);
}

// The codes CSV's row of an event.
void writeCodesRow(OutFile& f, int64_t event, const TOutputRecord& given,
                   const TOutputRecord& recognized) {
    std::string row = std::to_string(event) + "," + std::to_string(given.vectorCode);
    for (char c : {given.cath1, given.cath2, given.cath3}) row += "," + csvQualifier(c);
    for (char c : {recognized.cath1, recognized.cath2, recognized.cath3})
        row += "," + csvQualifier(c);
    f.line(row);
}

// What the coder had to tell about the event it coded.
void tellRemarks(CoderState& c, LoopHooks& hooks) {
    if (c.remarks.empty()) return;
    for (const std::string& remark : c.remarks) hooks.warning(remark);
    c.remarks.clear();
}

}  // namespace

LoopEnd EventLoop::run(LoopCounters& n, LoopHooks& hooks) {
    const auto firstLive = [&]() -> LoopSlot* {
        for (LoopSlot& slot : slots)
            if (slot.live) return &slot;
        return nullptr;
    };
    if (firstLive() == nullptr) return LoopEnd::NoSlot;
    // The notes are made for the first slot's coder; the others walk
    // without them.
    LoopSlot* noted = firstLive();
    const NotesAhead notes1(tree, sources[0], *noted->coder);
    std::optional<NotesAhead> notes2;
    if (compare) notes2.emplace(tree, sources[1], *noted->coder);
    const std::array<const NotesAhead*, 2> notes = {&notes1, notes2 ? &*notes2 : nullptr};
    const auto eventsOfSeries = [&] { return compare ? n.steps / 2 : n.steps; };

    // Reads, transforms and codes one event of series `i` in every live slot.
    const auto step = [&](size_t i) {
        bool faulty = false;
        if (!sources[i]->next(event, tree.training.featureKind, tree.consideredComponentsNb,
                              faulty))
            return false;
        if (faulty) hooks.faultyRow(i);
        if (tree.training.averaging) {
            AveragingTransform(event, *averaging[i], tree.training.averagingFrames,
                               tree.consideredComponentsNb, n.steps, compare);
            hooks.averaged(i, event);
        }
        const EncodeResult* first = nullptr;
        EncodeResult second;
        for (LoopSlot& slot : slots) {
            if (!slot.live) continue;
            try {
                std::optional<FastCoder::Note> note;
                if (&slot == noted && notes[i] != nullptr) note = notes[i]->noteOfLast(tree);
                CoderState& c = *slot.state;
                EncodeResult& r = i == 0 ? slot.coded : second;
                r = slot.coder->encode(*slot.clusters, event, i == 0 ? c.nodePath1 : c.nodePath2,
                                       i == 0 ? c.errorRecords1 : c.errorRecords2,
                                       note ? &*note : nullptr);
                if (first == nullptr) first = &r;
                tellRemarks(c, hooks);
            } catch (const RangeError&) {
                slot.live = false;
                tellRemarks(*slot.state, hooks);
                hooks.slotFailed(slot, std::current_exception());
            } catch (const CoderHalt&) {
                slot.live = false;
                tellRemarks(*slot.state, hooks);
                hooks.slotFailed(slot, std::current_exception());
            }
        }
        ++n.steps;
        if (first != nullptr) hooks.coded(i, event, *first);
        // A pair coded: the tree sizes at which its events part.
        for (LoopSlot& slot : slots) {
            if (!slot.live || i == 0) continue;
            try {
                CountCompareDifferences(tree, *slot.state);
            } catch (const RangeError&) {
                slot.live = false;
                hooks.slotFailed(slot, std::current_exception());
            }
        }
        return true;
    };

    // In compare mode the second series may end right after the first
    // one's event of a pair was coded. That event has no partner: its
    // errors are taken back and its step is undone, so that the report
    // covers whole pairs only.
    const auto withdrawUnpairedEvent = [&] {
        for (LoopSlot& slot : slots) {
            if (!slot.live) continue;
            CoderState& c = *slot.state;
            slot.coder->settle();
            for (int t = 0; t < *slot.clusters; ++t)
                addErrorFlags(checkedAt(c.errorRecords1, t), checkedAt(c.BoolErrorVector, t),
                              ~uint32_t{0});
            const EncodeResult& r = slot.coded;
            if (tree.cath[0].active != 0 && checkedAt(tree.cath[0].list, r.cath1) != event.cath1)
                --c.cath1ErrorCount;
            if (tree.cath[1].active != 0 && checkedAt(tree.cath[1].list, r.cath2) != event.cath2)
                --c.cath2ErrorCount;
            if (tree.cath[2].active != 0 && checkedAt(tree.cath[2].list, r.cath3) != event.cath3)
                --c.cath3ErrorCount;
        }
        --n.steps;
    };

    // An input ended before the events count: one message, and the count
    // becomes what was coded, so the report names the events it covers.
    const auto endOfData = [&](size_t i) {
        const int64_t coded = eventsOfSeries();
        hooks.warning("The event file \"" + sources[i]->info().path +
                      "\" holds no further event.\r\n" + std::to_string(coded) +
                      " events of it were coded; the run ends here.");
        n.eventNbr = coded;
        return LoopEnd::EndOfData;
    };

    while (n.steps < n.totalSteps) {
        if (firstLive() == nullptr) return LoopEnd::NoSlot;
        n.stepAtHand = n.steps + 1;
        if (!step(0)) return endOfData(0);
        if (!compare) {
            for (LoopSlot& slot : slots) {
                if (!slot.live || slot.run == nullptr) continue;
                const EncodeResult& r = slot.coded;
                const auto& tables = slot.outputs->cathTables;
                slot.run->teachRecord = {r.code, event.cath1, event.cath2, event.cath3, 0};
                slot.run->recogRecord = {r.code, tables[0].indexToChar[r.cath1],
                                         tables[1].indexToChar[r.cath2],
                                         tables[2].indexToChar[r.cath3], 0};
                try {
                    WriteEventRecords(OutputFiles{*slot.choices, *slot.outputs, *slot.run});
                    if (slot.codesCsv != nullptr)
                        writeCodesRow(*slot.codesCsv, n.steps, slot.run->teachRecord,
                                      slot.run->recogRecord);
                } catch (const InOutError&) {
                    slot.live = false;
                    hooks.slotFailed(slot, std::current_exception());
                }
            }
        } else {
            n.stepAtHand = n.steps + 1;
            if (!step(1)) {
                withdrawUnpairedEvent();
                return endOfData(1);
            }
        }
        if (!hooks.between()) return LoopEnd::Stopped;
    }
    return LoopEnd::Count;
}

}  // namespace zortan
