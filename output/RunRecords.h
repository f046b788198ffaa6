// What a coding run hands the outputs: its counters, which groups are on,
// and the records of the current event.
#pragma once

#include <cstdint>

namespace zortan {

// One coded event as the combined output files hold it.
struct TOutputRecord {
    uint16_t vectorCode = 0;
    char cath1 = 0, cath2 = 0, cath3 = 0;
    uint8_t tag = 0;
};
constexpr size_t kOutputRecordSize = 6;

struct CodingRun {
    int64_t stepCounter = 0;
    int64_t totalSteps = 0;
    bool teachOutputActive = false;
    bool recogOutputActive = false;
    bool runFinished = false;
    // The step being coded or written, 0 before the first; and whether the
    // last run was stopped by an error.
    int64_t stepAtHand = 0;
    bool stoppedByError = false;
    TOutputRecord teachRecord, recogRecord;
};

}  // namespace zortan
