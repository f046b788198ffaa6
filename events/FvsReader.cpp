#include "events/FvsReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Errors.h"

namespace zortan {

namespace {

constexpr int kRealTypeWords = 4;  // this system's realType: the 8-byte double
constexpr int kParameterWords = 129;

void prefetchForReading(const uint8_t* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p, 0, 3);
#else
    (void)p;
#endif
}

// Little-endian fields of a record, decoded byte by byte.
uint16_t word(const uint8_t* r, size_t offset) {
    return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}
int16_t signedWord(const uint8_t* r, size_t offset) {
    return static_cast<int16_t>(word(r, offset));
}
uint32_t longWord(const uint8_t* r, size_t offset) {
    return uint32_t{word(r, offset)} | (uint32_t{word(r, offset + 2)} << 16);
}
uint64_t quadWord(const uint8_t* r, size_t offset) {
    return uint64_t{longWord(r, offset)} | (uint64_t{longWord(r, offset + 4)} << 32);
}

// Word W[i] of the header's parameter area.
size_t parameterOffset(int i) {
    return kFvsParameterArea + 2 * static_cast<size_t>(i);
}

// An index with value names, or -1 (no choice) when it names none.
int choiceIndex(int16_t value, size_t names) {
    return value >= 0 && static_cast<size_t>(value) < names ? value : -1;
}

std::string realTypeSizeMessage(int declaredSize, const std::string& name) {
    return "The realType size declaread in the Ondrix analyzer (=" + std::to_string(declaredSize) +
           "), differs from the realType declaread here (=" + std::to_string(kRealTypeWords) +
           ").\r\nThe parameter\r\n\r\n" + name +
           "\r\n\r\nwill be incorrectly read out."
           "\r\nThis influences averaging parameters in the spectra or cepstra preprocessing "
           "consisted in time-constant"
           " contribution removal.\r\nYou should set this parameter manually"
           "\r\nThe discrepancy can appear if you use analysis resultst from before march 2007,"
           "\r\nwhich were recorded without sending this parameter...";
}

}  // namespace

void readVector(const uint8_t* r, size_t offset, std::array<int16_t, kComponents>& v) {
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(v.data(), r + offset, sizeof v);
    else
        for (size_t i = 0; i < kComponents; ++i) v[i] = signedWord(r, offset + 2 * i);
}

double ReadRealTypeParameter(std::vector<std::string>& remarks, const uint8_t* header,
                             int startWord, int declaredSize, const std::string& name) {
    if (declaredSize != kRealTypeWords) {
        remarks.push_back(realTypeSizeMessage(declaredSize, name));
        return 0.0;
    }
    if (startWord < 0 || startWord + kRealTypeWords > kParameterWords) throw RangeError();
    return std::bit_cast<double>(quadWord(header, parameterOffset(startWord)));
}

FvsHeaderFields ParseFvsHeader(const uint8_t* h) {
    FvsHeaderFields f;
    f.records = longWord(h, 0);
    AnalysisSettings& s = f.settings;
    s.fftWindowWidth = signedWord(h, 4);
    for (size_t i = 0; i < f.cathNbr.size(); ++i) f.cathNbr[i] = h[kFvsCategories + i];

    s.filter = choiceIndex(signedWord(h, 8), kFilterNames.size());
    s.scalingConstants = choiceIndex(signedWord(h, 10), kScalingConstantsNames.size());
    s.windowShape = choiceIndex(signedWord(h, 18), kWindowShapeNames.size());
    s.preemphasis = word(h, 26) == 1;
    s.preemphasisIndeterminate = false;

    const int size = signedWord(h, parameterOffset(2));
    f.realTypeSize = size;
    s.frameStep = ReadRealTypeParameter(f.remarks, h, 3, size, "STEP");
    s.rate = ReadRealTypeParameter(f.remarks, h, size + 4, size, "RATE");

    const uint8_t nameLength = h[kFvsWaveName];
    f.waveName = nameLength == 0
                     ? std::string("Unknown")
                     : std::string(reinterpret_cast<const char*>(&h[kFvsWaveName + 1]), nameLength);
    s.lifterThreshold = signedWord(h, parameterOffset(1));
    return f;
}

std::string FvsHeaderImplausible(const uint8_t* h) {
    std::vector<std::string> odd;
    if (choiceIndex(signedWord(h, 8), kFilterNames.size()) < 0) odd.push_back("filter");
    if (choiceIndex(signedWord(h, 10), kScalingConstantsNames.size()) < 0)
        odd.push_back("scaling constants");
    if (choiceIndex(signedWord(h, 18), kWindowShapeNames.size()) < 0) odd.push_back("window shape");
    const int size = signedWord(h, parameterOffset(2));
    // 0: files written before the size was recorded.
    if (size != 4 && size != 0) odd.push_back("realType size " + std::to_string(size));
    if (odd.size() < 2) return {};
    std::string list;
    for (const std::string& o : odd) list += (list.empty() ? "" : ", ") + o;
    return "its header cannot be an fvs header (out of range: " + list + ")";
}

size_t FeatureVectorOffset(size_t kind) {
    return kFvsFeatureVectors + kFvsFeatureVectorSize * kind;
}

void DecodeFvsEvent(const uint8_t* r, size_t kind, EventRecord& event) {
    readVector(r, FeatureVectorOffset(kind), event.components);
    for (size_t i = 0; i < kComponents; ++i) event.reals[i] = event.components[i];
    event.cath1 = static_cast<char>(r[kFvsCategories]);
    event.cath2 = static_cast<char>(r[kFvsCategories + 1]);
    event.cath3 = static_cast<char>(r[kFvsCategories + 2]);
}

void PrefetchFeatureVector(const uint8_t* record, size_t kind) {
    for (size_t at = 0; at < kFvsFeatureVectorSize; at += 64)
        prefetchForReading(record + FeatureVectorOffset(kind) + at);
}

}  // namespace zortan
