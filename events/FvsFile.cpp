#include <cerrno>
#include <cstring>
#include <system_error>

#include "events/EventSeries.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

void FvsFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ioErrorFromErrno(errno);
    // The chunks are the only buffers: each read goes straight into one.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    for (Chunk& c : chunks_) {
        c.bytes.resize(kRecordsPerChunk * kFvsRecordSize);
        c.size = 0;
        c.error = 0;
        c.last = false;
        c.generation = 0;
    }
    filled_ = released_ = 0;
    stopping_ = readerWaits_ = callerWaits_ = false;
    current_ = nullptr;
    position_ = 0;
    if (isRegularFile(file_)) {
        try {
            reader_ = startQuietThread([this] { readAhead(); });
        } catch (const std::system_error&) {
            // Without a thread the caller reads for itself.
        }
    }
}

void FvsFile::fill(Chunk& chunk) {
    chunk.size = 0;
    chunk.error = 0;
    chunk.last = false;
    chunk.generation = 0;
    while (chunk.size < chunk.bytes.size()) {
        errno = 0;
        const size_t n =
            std::fread(chunk.bytes.data() + chunk.size, 1, chunk.bytes.size() - chunk.size, file_);
        chunk.size += n;
        if (std::ferror(file_)) {
            chunk.error = errno ? errno : EIO;
            std::clearerr(file_);
            chunk.last = true;
            return;
        }
        if (n == 0 || std::feof(file_)) {
            chunk.last = true;
            return;
        }
    }
}

void FvsFile::readAhead() {
    for (;;) {
        Chunk* chunk;
        {
            std::unique_lock lock(mutex_);
            if (filled_ - released_ == kChunks) {
                // A full ring waits until half of it is free again, so that
                // the caller wakes the reader once for several chunks.
                readerWaits_ = true;
                changed_.wait(lock,
                              [this] { return stopping_ || filled_ - released_ <= kChunks / 2; });
                readerWaits_ = false;
            }
            if (stopping_) return;
            chunk = &chunks_[filled_ % kChunks];
        }
        fill(*chunk);
        uint64_t generation;
        {
            std::lock_guard lock(mutex_);
            // Work that may wait is left to the caller while less than half
            // of the ring is ready for it: the caller then does it on
            // records it reads next anyway, and the thread catches up.
            const bool behind = filled_ - released_ < kChunks / 2;
            generation = work_ && !(workMayWait_ && behind) ? generation_ : 0;
            inWork_ = generation != 0;
        }
        if (generation != 0) {
            work_(chunk->bytes.data(), chunk->size / kFvsRecordSize, chunk->notes.data());
            chunk->generation = generation;
        }
        bool wake;
        {
            std::lock_guard lock(mutex_);
            inWork_ = false;
            ++filled_;
            wake = callerWaits_ || workWaits_;
        }
        if (wake) changed_.notify_all();
        if (chunk->last) return;
    }
}

const uint8_t* FvsFile::nextRecord() {
    if (!file_) throw InOutError(103, "File not open");
    for (;;) {
        if (current_ != nullptr) {
            if (current_->size - position_ >= kFvsRecordSize) {
                const uint8_t* record = current_->bytes.data() + position_;
                position_ += kFvsRecordSize;
                return record;
            }
            // The end or the failure stays where it is, for every later call.
            if (current_->error != 0) throw ioErrorFromErrno(current_->error);
            if (current_->last) return nullptr;
            if (reader_.joinable()) {
                bool wake;
                {
                    std::lock_guard lock(mutex_);
                    ++released_;
                    wake = readerWaits_ && filled_ - released_ <= kChunks / 2;
                }
                if (wake) changed_.notify_all();
            }
            current_ = nullptr;
        }
        if (reader_.joinable()) {
            std::unique_lock lock(mutex_);
            callerWaits_ = true;
            changed_.wait(lock, [this] { return filled_ > released_; });
            callerWaits_ = false;
            current_ = &chunks_[released_ % kChunks];
        } else {
            current_ = &chunks_[0];
            fill(*current_);
        }
        position_ = 0;
        // Work that may wait and was left out of this chunk is done here,
        // at the same cost, before its first record is handed out.
        if (work_ && workMayWait_ && current_->generation != generation_) {
            work_(current_->bytes.data(), current_->size / kFvsRecordSize, current_->notes.data());
            current_->generation = generation_;
        }
    }
}

void FvsFile::setRecordWork(RecordWork work, bool mayWait) {
    std::unique_lock lock(mutex_);
    workWaits_ = true;
    changed_.wait(lock, [this] { return !inWork_; });
    workWaits_ = false;
    work_ = std::move(work);
    workMayWait_ = mayWait;
    ++generation_;
}

void FvsFile::close() {
    if (reader_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }
    if (file_) std::fclose(file_);
    file_ = nullptr;
    work_ = nullptr;
    ++generation_;
    current_ = nullptr;
    position_ = 0;
}

}  // namespace zortan
