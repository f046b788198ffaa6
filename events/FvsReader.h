// The fvs event file: a header record with the analysis settings, then one
// 1812-byte record per event.
#pragma once

#include <string>

#include "events/EventSeries.h"

namespace zortan {

struct Program;

// Field offsets of the records.
constexpr size_t kFvsParameterArea = 516;   // header: 129 words W[0..128]
constexpr size_t kFvsWaveName = 774;        // header: length byte + 255 characters
constexpr size_t kFvsCategories = 1806;     // cath1..cath3 (counts in the header)
constexpr size_t kFvsSignal = 4;            // event: 256 signal samples
constexpr size_t kFvsFeatureVectors = 516;  // event: five vectors of 129 words
constexpr size_t kFvsFeatureVectorSize = 258;

// Reads record 0 of the series' open fvs file and applies it.
void OpenFvsHeader(Program& program, EventSeries& series);

// A realType parameter of the header's parameter area: 8 bytes from word
// `startWord` when the declared size is 4 words, else 0.0 after the size
// message.
double ReadRealTypeParameter(Program& program, const FvsRecord& header, int startWord,
                             int declaredSize, const std::string& name);

// Reads the next event record into the shared buffer and the current event.
RowStatus ReadFvsRecord(Program& program, EventSeries& series);

// While it lives, the splits of each event of the series' fvs file are
// decided ahead of its walk (DecideAhead), a buffer of records at a time, by
// the file's reading thread or, where that thread is not well ahead, by the
// program's thread as it takes the buffer; only where the codes stay the
// same for it: a tree prepared for the centroid rule and EuclidDist, the
// feature kind chosen, no time averaging. Otherwise it does nothing. The
// prepared tree must stay as it is while it lives.
class DecidingAhead {
  public:
    DecidingAhead(Program& program, EventSeries& series);
    ~DecidingAhead();
    DecidingAhead(const DecidingAhead&) = delete;
    DecidingAhead& operator=(const DecidingAhead&) = delete;

  private:
    EventSeries* series_ = nullptr;
};

}  // namespace zortan
