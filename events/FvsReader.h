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

// The 129 words of the feature vector at `offset` of record `r`.
void readVector(const uint8_t* r, size_t offset, std::array<int16_t, kComponents>& v);

// Reads the next event record into the shared buffer and the current event.
RowStatus ReadFvsRecord(Program& program, EventSeries& series);

}  // namespace zortan
