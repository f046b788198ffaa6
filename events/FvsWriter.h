// Writing fvs event files: a header record and one 1812-byte record per
// event, little-endian, field by field.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "events/EventSeries.h"

namespace zortan {

struct FvsHeader {
    uint32_t recordCount = 0;
    int16_t fftWindowWidth = 256;
    int16_t filter = 0;
    int16_t scalingConstants = 0;
    int16_t windowShape = 0;
    uint16_t preemphasis = 0;
    int16_t lifterThreshold = 0;
    int16_t realTypeSize = 4;  // W[2]
    double frameStep = 10.0;
    double rate = 16000.0;
    std::string waveName;  // at most 255 characters
    std::array<uint8_t, 3> cathNbr{};
};

struct FvsEvent {
    std::array<int16_t, 256> signal{};
    std::array<std::array<int16_t, kComponents>, 5> features{};  // the five kinds
    char cath1 = 'a', cath2 = 'a', cath3 = 'a';
};

FvsRecord encodeFvsHeader(const FvsHeader& header);
FvsRecord encodeFvsEvent(const FvsEvent& event);

// Writes a whole file; failures are input/output errors.
void writeFvsFile(const std::string& path, const FvsHeader& header,
                  const std::vector<FvsEvent>& events);

// Writes a file event by event, the header last (in its place at the start),
// for events made faster than they are kept: `finish` completes the file; a
// writer destroyed without it leaves the file incomplete (the caller removes
// it). Failures are input/output errors.
class FvsFileWriter {
  public:
    explicit FvsFileWriter(const std::string& path);
    ~FvsFileWriter();
    FvsFileWriter(const FvsFileWriter&) = delete;
    FvsFileWriter& operator=(const FvsFileWriter&) = delete;
    void add(const FvsEvent& event);
    void finish(const FvsHeader& header);

  private:
    std::FILE* file_;
};

}  // namespace zortan
