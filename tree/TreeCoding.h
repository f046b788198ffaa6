// Coding one event against the tree cut at K clusters.
#pragma once

#include <cstdint>

#include "events/EventRecord.h"
#include "tree/QuantizationTree.h"

namespace zortan {

class Ui;

struct EncodeResult {
    uint16_t code = 0;  // the leaf's vector code
    uint8_t cath1 = 0, cath2 = 0, cath3 = 0;  // the leaf's category readings
};

// Euclidean distance over the considered components of the constrained set,
// summed in extended precision.
long double EuclidDist(const QuantizationTree& tree, const ComponentVector& a,
                       const ComponentVector& b, Ui& ui);

// Walks the tree from the root to the leaf of the K-cluster tree, records the
// node path and error flags for every tree size up to K and adds the errors
// to `errors` and to the running counts.
EncodeResult EncodeEvent(const QuantizationTree& tree, CoderState& coder, uint16_t K,
                         const EventRecord& event, TwordArray& path, TErrorRecordArray& errors,
                         Ui& ui);

}  // namespace zortan
