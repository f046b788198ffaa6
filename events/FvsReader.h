// The fvs event file: a header record with the analysis settings, then one
// 1812-byte record per event.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/EventRecord.h"
#include "events/FvsFile.h"

namespace zortan {

// Field offsets of the records.
constexpr size_t kFvsParameterArea = 516;   // header: 129 words W[0..128]
constexpr size_t kFvsWaveName = 774;        // header: length byte + 255 characters
constexpr size_t kFvsCategories = 1806;     // cath1..cath3 (counts in the header)
constexpr size_t kFvsSignal = 4;            // event: 256 signal samples
constexpr size_t kFvsFeatureVectors = 516;  // event: five vectors of 129 words
constexpr size_t kFvsFeatureVectorSize = 258;

// What the header record of an fvs file declares.
struct FvsHeaderFields {
    uint32_t records = 0;  // events in the file
    AnalysisSettings settings;
    std::array<uint8_t, 3> cathNbr{};  // category value counts
    std::string waveName;              // "Unknown" when it has none
    // What the window tells the user about the header, in order (a realType
    // parameter of another size).
    std::vector<std::string> remarks;
    int realTypeSize = 0;  // as declared; this system's is 4
};

// Why a header record cannot be an fvs file's header, or empty when it can:
// at least two of its filter, scaling constants and window shape choices and
// its realType size are out of their ranges (random bytes, another kind of
// file). One odd field alone is the window's remark, not a refusal.
std::string FvsHeaderImplausible(const uint8_t* header);

// Reads the header record's fields; the realType parameters of a size other
// than this system's are read as 0, with a remark.
FvsHeaderFields ParseFvsHeader(const uint8_t* header);

// A realType parameter of the header's parameter area: 8 bytes from word
// `startWord` when the declared size is 4 words, else 0.0 and the size
// message in `remarks`.
double ReadRealTypeParameter(std::vector<std::string>& remarks, const uint8_t* header,
                             int startWord, int declaredSize, const std::string& name);

// The 129 words of the feature vector at `offset` of record `r`.
void readVector(const uint8_t* r, size_t offset, std::array<int16_t, kComponents>& v);

// The offset of feature vector `kind` (0..4) in an event record.
size_t FeatureVectorOffset(size_t kind);

// The event of record `r`: feature vector `kind` and the three categories.
void DecodeFvsEvent(const uint8_t* r, size_t kind, EventRecord& event);

// Asks the processor to fetch feature vector `kind` of `record` for reading.
void PrefetchFeatureVector(const uint8_t* record, size_t kind);

}  // namespace zortan
