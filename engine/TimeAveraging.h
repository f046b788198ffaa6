// Removes the running time average from an event before it is coded.
#pragma once

#include <cstdint>

#include "core/EventRecord.h"
#include "events/EventSeries.h"

namespace zortan {

// Transforms the event's 16-bit components in place. `stepCounter` is the
// run's step counter before this event; in compare mode the two events of a
// pair share one ring row.
void AveragingTransform(EventRecord& event, AveragingState& state, int32_t averagingFrames,
                        int32_t consideredComponentsNb, int64_t stepCounter, bool compareMode);

}  // namespace zortan
