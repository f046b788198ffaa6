// Coding one event against the tree cut at K clusters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "events/EventRecord.h"
#include "tree/QuantizationTree.h"

namespace zortan {

class Ui;

struct EncodeResult {
    uint16_t code = 0;                        // the leaf's vector code
    uint8_t cath1 = 0, cath2 = 0, cath3 = 0;  // the leaf's category readings
};

// Euclidean distance over the considered components of the constrained set,
// summed in extended precision.
long double EuclidDist(const QuantizationTree& tree, const ComponentVector& a,
                       const ComponentVector& b, Ui& ui);

// Makes the tree ready for a coding run (see PreparedTree): a walk step per
// node with the walk's checks made once and, for the centroid rule, splits
// that decide most
// events by one dot product. Results stay exactly those of the unprepared
// walk and of EuclidDist. A tree changed afterwards must be prepared again:
// the coder notices a new heap or components count, nothing else.
void PrepareTree(const QuantizationTree& tree, CoderState& coder);
void DropPreparedTree(CoderState& coder);

// The prepared split at node `k` for `event`: 1 the first son, -1 the
// second, 0 when it is left to the sums (as is a split not prepared).
int PreparedDecision(const QuantizationTree& tree, const CoderState& coder, int k,
                     const EventRecord& event);

// Whether the tree is prepared with splits that DecideAhead can use: the
// centroid rule with EuclidDist, the components counted as prepared.
bool CanDecideAhead(const QuantizationTree& tree, const CoderState& coder);

// The decisions of the prepared splits along the walk from the root for an
// event with these reals, as far as they decide and the steps are clean (at
// most 64). Reads only `prepared`, so that another thread may run it while
// the prepared tree stays as it is. Given to the next walk in
// CoderState::ahead, they spare it its dot products.
AheadDecisions DecideAhead(const PreparedTree& prepared, const ComponentVector& reals);
// The same for `count` events at once, into decisions[0..count), faster per
// event.
void DecideAhead(const PreparedTree& prepared, const ComponentVector* reals, size_t count,
                 AheadDecisions* decisions);

// Walks the tree from the root to the leaf of the K-cluster tree, records the
// node path and error flags for every tree size up to K and adds the errors
// to `errors` and to the running counts. With `steps` (one entry more than
// the tree sizes) the errors may go there instead, as differences between
// neighbouring tree sizes: a few entries per event rather than one per size.
// errors[t] then lacks steps[0] + ... + steps[t] until they are settled.
EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                         const EventRecord& event, TwordArray& path, TErrorRecordArray& errors,
                         Ui& ui, TErrorRecordArray* steps = nullptr);

// Adds the coder's pending steps to errorRecords1 and 2 and clears them.
void SettleErrorCounts(CoderState& coder) noexcept;

// The descent inside EncodeEvent, from node `startNode` at tree size index 0:
// sets BoolErrorVector, `path` and the running counts and returns the index of
// the leaf of the K-cluster tree.
uint16_t EncodeIter(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                    const EventRecord& event, TwordArray& path, int startNode, Ui& ui);

// Gap fillers: copy entry `from` into every entry from+1 .. to-1 (of
// BoolErrorVector, respectively of `path`). A target beyond the last tree size
// index shows the program error message and ends the program.
void fillGapTranscrErr(const QuantizationTree& tree, CoderState& coder, int from, int to, Ui& ui);
void PathFillGap(const QuantizationTree& tree, TwordArray& path, int from, int to, Ui& ui);

}  // namespace zortan
