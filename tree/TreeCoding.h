// Coding one event against the tree cut at K clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/EventRecord.h"
#include "platform/Errors.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// The walk reached a tree size beyond the working arrays: a tree no
// training grows. `message` is what the window shows before it ends the
// program.
struct CoderHalt {
    std::string message;
};

// A son beyond the tree's nodes: a range error, with the message the window
// shows before it.
class WalkBeyondTree : public RangeError {
  public:
    explicit WalkBeyondTree(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

  private:
    std::string message_;
};

struct EncodeResult {
    uint16_t code = 0;                        // the leaf's vector code
    uint8_t cath1 = 0, cath2 = 0, cath3 = 0;  // the leaf's category readings
};

// Euclidean distance over the considered components of the constrained set,
// summed in extended precision.
long double EuclidDist(const QuantizationTree& tree, const ComponentVector& a,
                       const ComponentVector& b, std::vector<std::string>& remarks);

// Walks the tree from the root to the leaf of the K-cluster tree, records the
// node path and error flags for every tree size up to K and adds the errors
// to `errors` and to the running counts.
EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                         const EventRecord& event, TwordArray& path, TErrorRecordArray& errors);

// The descent inside EncodeEvent, from node `startNode` at tree size index 0:
// sets BoolErrorVector, `path` and the running counts and returns the index of
// the leaf of the K-cluster tree.
uint16_t EncodeIter(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                    const EventRecord& event, TwordArray& path, int startNode);

// Gap fillers: copy entry `from` into every entry from+1 .. to-1 (of
// BoolErrorVector, respectively of `path`). A target beyond the last tree size
// index raises CoderHalt with the program error message.
void fillGapTranscrErr(const QuantizationTree& tree, CoderState& coder, int from, int to);
void PathFillGap(const QuantizationTree& tree, TwordArray& path, int from, int to);

// Adds `delta` (1, or 0xFFFFFFFF to take an event back) to each count of
// `record` whose flag marks an error; the counts wrap as 32-bit unsigned.
inline void addErrorFlags(TErrorRecord& record, const ErrorFlags& flags, uint32_t delta = 1) {
    if (flags.cath1 == 1) record.cath1 += delta;
    if (flags.cath2 == 1) record.cath2 += delta;
    if (flags.cath3 == 1) record.cath3 += delta;
}

}  // namespace zortan
