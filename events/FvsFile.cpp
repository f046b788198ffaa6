#include <cerrno>
#include <cstring>

#include "events/EventSeries.h"
#include "platform/Errors.h"

namespace zortan {

namespace {
// Records per read: large enough to keep the system calls few, small enough
// to stay in the processor's cache.
constexpr size_t kRecordsPerRead = 128;
}  // namespace

void FvsFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ioErrorFromErrno(errno);
    // The buffer here is the only one: each read goes straight into it.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.resize(kRecordsPerRead * kFvsRecordSize);
    begin_ = end_ = 0;
}

const uint8_t* FvsFile::nextRecord() {
    if (!file_) throw InOutError(103, "File not open");
    if (end_ - begin_ < kFvsRecordSize) {
        // The part of a record left over moves to the front; the rest of the
        // buffer is filled.
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        errno = 0;
        end_ += std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        if (std::ferror(file_)) {
            const int err = errno ? errno : EIO;
            std::clearerr(file_);
            throw ioErrorFromErrno(err);
        }
        if (end_ < kFvsRecordSize) return nullptr;
    }
    const uint8_t* record = buffer_.data() + begin_;
    begin_ += kFvsRecordSize;
    return record;
}

void FvsFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    begin_ = end_ = 0;
}

}  // namespace zortan
