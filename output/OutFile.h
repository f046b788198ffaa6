// A buffered output file. Nothing is allocated per write; failures of the
// system calls are input/output errors.
//
// Each write, put and line is a unit that the file never splits: the buffer
// goes to the system only between units. When the system takes a buffer in
// part (a full disk), the file is cut back to the units it holds whole and
// counts as failed; its later writes are dropped, so it never holds a gap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"

namespace zortan {

// An output file could not be created or written: the platform's error, with
// the file's path, so that messages can say which file failed and how.
class OutputFileError : public InOutError {
  public:
    OutputFileError(const InOutError& error, std::string path, bool creating)
        : InOutError(error), path_(std::move(path)), creating_(creating) {}
    const std::string& path() const { return path_; }
    // "the file "NAME" could not be created: Disk full"
    std::string describe() const {
        return "the file \"" + path_ + "\" could not be " + (creating_ ? "created" : "written") +
               ": " + what();
    }

  private:
    std::string path_;
    bool creating_;
};

class OutFile {
  public:
    OutFile() = default;
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();  // closes without reporting (call close() to see failures);
                 // a staged copy not committed is removed

    // Creates (or empties) the file. After stageUntilCommit() the next
    // creation writes under a name of its own beside `path` and takes
    // `path` only at commit(): until then a file of that name keeps what it
    // holds, and no reader sees a half-written output.
    void create(const std::string& path);
    void stageUntilCommit() { staged_ = true; }
    // Gives a closed staged file its name; throws OutputFileError. Nothing
    // to do for a file written under its own name.
    void commit();
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    // The last creation, or a write or close since, failed: the file does
    // not hold all that was written to it.
    bool failed() const { return failed_; }

    void write(const void* data, size_t size) {
        // Most writes are a few bytes of a record or a number: copied here
        // without a call.
        if (size <= kSmall && size <= buffer_.size() - used_ && !failed_) {
            copySmall(buffer_.data() + used_, static_cast<const char*>(data), size);
            used_ += size;
        } else {
            writeAny(data, size);
        }
    }
    void write(std::string_view text) { write(text.data(), text.size()); }
    void put(char c) {
        if (used_ == buffer_.size()) drain();
        if (failed_) return;
        buffer_[used_++] = c;
    }
    // Writes text followed by CR LF, as one unit.
    void line(std::string_view text);
    void flush();
    // Flushes and closes; the file counts as closed afterwards even when
    // this throws. A file that failed before closes without a new error.
    void close();
    // Closes without writing what is buffered and forgets the path: the
    // file is no output of the coming run.
    void forget();
    // Forgets the file and removes what was created of it (a regular file
    // only; the staged copy of a staged file).
    void discard();

  private:
    static constexpr size_t kSmall = 16;
    // Copies n <= kSmall bytes by fixed-size moves, overlapping in the middle.
    static void copySmall(char* to, const char* from, size_t n) {
        if (n >= 8) {
            uint64_t head, tail;
            std::memcpy(&head, from, 8);
            std::memcpy(&tail, from + n - 8, 8);
            std::memcpy(to, &head, 8);
            std::memcpy(to + n - 8, &tail, 8);
        } else if (n >= 4) {
            uint32_t head, tail;
            std::memcpy(&head, from, 4);
            std::memcpy(&tail, from + n - 4, 4);
            std::memcpy(to, &head, 4);
            std::memcpy(to + n - 4, &tail, 4);
        } else if (n > 0) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        }
    }
    void writeAny(const void* data, size_t size);
    void drain();
    void send(const char* data, size_t size);
    [[noreturn]] void fail(int err);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string written_;  // where the bytes go: path_, or the staged copy
    bool staged_ = false;
    std::vector<char> buffer_;
    size_t used_ = 0;
    uint64_t sent_ = 0;  // bytes the system has taken, all whole units
    bool failed_ = false;
};

}  // namespace zortan
