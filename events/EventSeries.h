// One input of a coding run: an event series read from an fvs file or a
// text table, one event per coding step.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/TextReader.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// The fixed-size record of an fvs file: record 0 is the header, the others
// are events.
constexpr size_t kFvsRecordSize = 1812;
using FvsRecord = std::array<uint8_t, kFvsRecordSize>;

// What a record work notes beside a record: bytes the file does not read.
using RecordNote = std::array<uint64_t, 2>;

// A file of fvs records, read one record at a time. A regular file is read
// ahead by a thread of its own into a ring of buffers, many records per
// system call, so that the copy from the system overlaps the coding; any
// other file is read by the caller, into the same buffers.
class FvsFile {
  public:
    FvsFile() = default;
    FvsFile(const FvsFile&) = delete;
    FvsFile& operator=(const FvsFile&) = delete;
    ~FvsFile() { close(); }

    void open(const std::string& path);  // input/output error on failure
    bool isOpen() const { return file_ != nullptr; }
    // The next whole record, valid until the next call; nullptr at the end
    // of the file (a partial last record counts as the end). A failed read
    // is an input/output error, at this call and every later one, once the
    // records read before it have been handed out.
    const uint8_t* nextRecord();
    // The record after the one nextRecord gave last, when it has been read
    // already (for prefetching); nullptr otherwise.
    const uint8_t* peekNext() const {
        return current_ != nullptr && current_->size - position_ >= kFvsRecordSize
                   ? current_->bytes.data() + position_
                   : nullptr;
    }
    void close();

    // Whether a thread of its own reads the file ahead of the caller.
    bool readsAhead() const { return reader_.joinable(); }
    // Work that thread does on the records it reads from now on, given
    // `count` whole records at a time and a note for each to set, kept beside
    // the record; none when empty. Work that `mayWait` is left to the caller
    // while the thread is not well ahead of it, so that the two share it,
    // and done by the caller too for records read before it was set.
    // Returns once the thread is out of the work it had before, so that what
    // that work read may go.
    using RecordWork = std::function<void(const uint8_t* records, size_t count, RecordNote* notes)>;
    void setRecordWork(RecordWork work, bool mayWait = false);
    // The current work's result for the record nextRecord gave last;
    // nullptr when the work has not seen it.
    const RecordNote* noteOfLast() const {
        if (current_ == nullptr || position_ < kFvsRecordSize || current_->generation == 0 ||
            current_->generation != generation_)
            return nullptr;
        return &current_->notes[position_ / kFvsRecordSize - 1];
    }

  private:
    // Records per chunk: enough to keep the system calls few, few enough
    // that the ring stays within the processors' caches.
    static constexpr size_t kRecordsPerChunk = 64;
    struct Chunk {
        std::vector<uint8_t> bytes;
        size_t size = 0;  // bytes read into it
        int error = 0;    // errno of a failed read, after `size` bytes
        bool last = false;
        uint64_t generation = 0;  // of the work that made `notes`; 0: none
        std::array<RecordNote, kRecordsPerChunk> notes;
    };
    static constexpr size_t kChunks = 8;

    void fill(Chunk& chunk);  // reads until the chunk is full or the file ends
    void readAhead();         // the reading thread's work

    std::FILE* file_ = nullptr;
    std::array<Chunk, kChunks> chunks_;
    // Chunks are filled and taken in turn: `filled_` counts those the reader
    // has filled, `released_` those the caller has finished with.
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t filled_ = 0, released_ = 0;
    bool stopping_ = false;
    // Who waits for the other: the reader for free chunks, the caller for a
    // filled one. Each is woken only when it waits.
    bool readerWaits_ = false, callerWaits_ = false;
    // The work, changed by the caller only while the reader is not in it.
    RecordWork work_;
    bool workMayWait_ = false;
    uint64_t generation_ = 0;  // counts the works set
    bool inWork_ = false, workWaits_ = false;
    std::thread reader_;
    // The caller's side: the chunk being taken and the position in it.
    Chunk* current_ = nullptr;
    size_t position_ = 0;
};

// The running average removed from each event when the tree was trained with
// averaging; one per series, kept for the whole program run.
constexpr int kAveragingRows = 401;
struct AveragingState {
    ComponentVector timeAverage{};
    std::vector<ComponentVector> averagingRing = std::vector<ComponentVector>(kAveragingRows);
};

enum class RowStatus {
    Read,       // an event was read (possibly after a reported error)
    EndOfData,  // the input holds no further event
};

struct EventSeries {
    explicit EventSeries(int number) : number(number) {}

    int number;  // 1 or 2
    std::optional<TextReader> textFile;
    std::string rowBuffer;  // the table row being read, kept between rows
    FvsFile fvsFile;
    // Declared component count of a text table.
    int32_t nc = std::numeric_limits<int32_t>::max();
    std::array<double, 4> plotParameters{65535.0, 13.0, 64.0, 64.0};
    AnalysisSettings settings;         // fvs kind (lifterThreshold also text kind)
    std::array<uint8_t, 3> cathNbr{};  // category value counts, fvs kind
    AveragingState averaging;

    // Texts of the "Input data description" group.
    std::string eventsCountText = "xxx";
    std::string lifterThresholdText = "xxx";
    std::string featureText = "xxx";
    std::string eventsFileCaption = "xxx";
    std::string waveText = "xxx";
    std::string readCountText = "xxx";
};

}  // namespace zortan
