// Streams events into the two input formats, one event at a time, so that
// files of any length can be written in constant memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/EventRecord.h"

namespace zortan::bench {

// An fvs file: the header with `events` as its record count, the feature
// kind's vector of each event in its slot.
class FvsStream {
  public:
    FvsStream(const std::string& path, uint32_t events, int featureKind);
    ~FvsStream();
    FvsStream(const FvsStream&) = delete;
    FvsStream& operator=(const FvsStream&) = delete;
    void add(const EventRecord& event);
    void close();

  private:
    std::FILE* file_ = nullptr;
    int featureKind_;
};

// A text table of `events` rows with `nc` components each.
class TextTableStream {
  public:
    TextTableStream(const std::string& path, int64_t events, int nc);
    ~TextTableStream();
    TextTableStream(const TextTableStream&) = delete;
    TextTableStream& operator=(const TextTableStream&) = delete;
    void add(const EventRecord& event);
    void close();

  private:
    void flushRows();

    std::FILE* file_ = nullptr;
    int nc_;
    int64_t events_;
    std::vector<EventRecord> pending_;
};

// Writes DIR/tree.vq1, a balanced codebook of `leaves` leaves over 129
// components, and DIR/events.fvs and DIR/events.txt with events near its
// leaves (a count of 0 skips the file). The folder is created when needed.
void writeCodebookInputs(const std::string& dir, long fvsEvents, long textEvents, int leaves);

}  // namespace zortan::bench
