// The loop that codes the events of a run, one event (a pair in compare
// mode) at a time, at one or several numbers of clusters at once: every
// face runs its events through it. What a face does around each event
// (pictures, texts, the stepwise and Break controls, progress and
// cancellation, how a failure is taken) it does in its hooks.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "engine/EventSources.h"
#include "events/EventSeries.h"
#include "output/CombinedOutput.h"
#include "tree/TreeCoding.h"

namespace zortan {

class FastCoder;
class OutFile;

// One number of clusters the loop codes at: its coder with its working
// arrays, and the run whose records go to its outputs (none in compare mode).
struct LoopSlot {
    const uint16_t* clusters = nullptr;  // read at every event
    FastCoder* coder = nullptr;
    CoderState* state = nullptr;
    const ShellState* choices = nullptr;  // the outputs' choices, files and records
    OutputState* outputs = nullptr;
    CodingRun* run = nullptr;
    OutFile* codesCsv = nullptr;  // a row per event, when open
    bool live = true;
    EncodeResult coded;  // the first series' event at hand
};

// The run's counters, kept by the face (the window shows them).
struct LoopCounters {
    int64_t& steps;       // coding steps done
    int64_t& stepAtHand;  // the step being coded, 0 before the first
    const int64_t& totalSteps;
    int64_t& eventNbr;  // becomes the events coded when an input ends early
};

class LoopHooks {
  public:
    virtual ~LoopHooks() = default;
    // Series `series` (0 or 1) read a table row with bad fields.
    virtual void faultyRow(size_t series) { (void)series; }
    // The event was time-averaged.
    virtual void averaged(size_t series, const EventRecord& event) {
        (void)series;
        (void)event;
    }
    // The first live slot coded `event` of `series`; the steps count it.
    virtual void coded(size_t series, const EventRecord& event, const EncodeResult& result) {
        (void)series;
        (void)event;
        (void)result;
    }
    // What the window tells the user at this point (an input ended early, a
    // remark of the coder).
    virtual void warning(const std::string& text) { (void)text; }
    // An error stopped a slot's coding or writing (a platform error, or the
    // coder's CoderHalt). Rethrowing stops the loop; otherwise the slot is
    // out and the others go on.
    virtual void slotFailed(LoopSlot& slot, const std::exception_ptr& failure) {
        (void)slot;
        std::rethrow_exception(failure);
    }
    // Between events: false stops the loop.
    virtual bool between() { return true; }
};

enum class LoopEnd {
    Count,      // the steps reached their total
    EndOfData,  // an input ended first
    Stopped,    // a hook stopped it
    NoSlot,     // every slot failed
};

struct EventLoop {
    const QuantizationTree& tree;           // considered components, averaging, value lists
    std::array<EventSource*, 2> sources{};  // the second in compare mode
    std::array<AveragingState*, 2> averaging{};
    bool compare = false;
    std::vector<LoopSlot>& slots;
    EventRecord& event;  // the current event, shared by both series

    // Codes until the total, the end of an input or a hook stops it. An
    // input's error passes through.
    LoopEnd run(LoopCounters& counters, LoopHooks& hooks);
};

}  // namespace zortan
