// A file of fixed-size fvs records, read one record at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zortan {

// The fixed-size record of an fvs file: record 0 is the header, the others
// are events.
constexpr size_t kFvsRecordSize = 1812;
using FvsRecord = std::array<uint8_t, kFvsRecordSize>;

// What a record work notes beside a record: bytes the file does not read.
using RecordNote = std::array<uint64_t, 2>;

// A regular file is read ahead by a thread of its own into a ring of
// buffers, many records per system call, so that the copy from the system
// overlaps the coding; any other file is read by the caller, into the same
// buffers. The thread and its ring are the file's own business.
class FvsFile {
  public:
    FvsFile();
    ~FvsFile();
    FvsFile(const FvsFile&) = delete;
    FvsFile& operator=(const FvsFile&) = delete;

    void open(const std::string& path);  // input/output error on failure
    bool isOpen() const { return file_ != nullptr; }
    // The next whole record, valid until the next call; nullptr at the end
    // of the file (a partial last record counts as the end). At the end of
    // what was read the file is looked at again, so that records written
    // since (by a program still writing it) are read too. A failed read
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
    bool readsAhead() const;
    // Work that thread does on the records it reads from now on, given
    // `count` whole records at a time and a note for each to set, kept beside
    // the record; none when empty. Work that `mayWait` is left to the caller
    // while the thread is not well ahead of it, so that the two share it,
    // and done by the caller too for records read before it was set.
    // Returns once the thread is out of the work it had before, so that what
    // that work read may go.
    using RecordWork = std::function<void(const uint8_t* records, size_t count, RecordNote* notes)>;
    void setRecordWork(RecordWork work, bool mayWait = false);
    // The current work's note for the record nextRecord gave last; nullptr
    // when the work has not seen it.
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
    struct Ring;  // the chunks, the reading thread and what the two sides share

    // Reads after the first `keep` bytes until the chunk is full or the file
    // ends.
    void fill(Chunk& chunk, size_t keep = 0);
    // At the end of what was read: reads on from there, without the thread,
    // keeping a record cut short; whether a whole record came.
    bool lookAgain();
    void readAhead();  // the reading thread's work

    std::FILE* file_ = nullptr;
    std::unique_ptr<Ring> ring_;
    uint64_t generation_ = 0;  // counts the works set
    // The caller's side: the chunk being taken and the position in it.
    Chunk* current_ = nullptr;
    size_t position_ = 0;
};

}  // namespace zortan
