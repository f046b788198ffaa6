#include "events/FvsFile.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

struct FvsFile::Ring {
    static constexpr size_t kChunks = 8;
    std::array<Chunk, kChunks> chunks;
    // Chunks are filled and taken in turn: `filled` counts those the reader
    // has filled, `released` those the caller has finished with.
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t filled = 0, released = 0;
    bool stopping = false;
    // Who waits for the other: the reader for free chunks, the caller for a
    // filled one. Each is woken only when it waits.
    bool readerWaits = false, callerWaits = false;
    // The work, changed by the caller only while the reader is not in it.
    RecordWork work;
    bool workMayWait = false;
    bool inWork = false, workWaits = false;
    std::thread reader;
};

FvsFile::FvsFile() : ring_(std::make_unique<Ring>()) {}

FvsFile::~FvsFile() {
    close();
}

bool FvsFile::readsAhead() const {
    return ring_->reader.joinable();
}

void FvsFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ioErrorFromErrno(errno);
    // The chunks are the only buffers: each read goes straight into one.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    Ring& r = *ring_;
    for (Chunk& c : r.chunks) {
        c.bytes.resize(kRecordsPerChunk * kFvsRecordSize);
        c.size = 0;
        c.error = 0;
        c.last = false;
        c.generation = 0;
    }
    r.filled = r.released = 0;
    r.stopping = r.readerWaits = r.callerWaits = false;
    current_ = nullptr;
    position_ = 0;
    if (isRegularFile(file_)) {
        try {
            r.reader = startQuietThread([this] { readAhead(); });
        } catch (const std::system_error&) {
            // Without a thread the caller reads for itself.
        }
    }
}

void FvsFile::fill(Chunk& chunk, size_t keep) {
    chunk.size = keep;
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
    Ring& r = *ring_;
    for (;;) {
        Chunk* chunk;
        {
            std::unique_lock lock(r.mutex);
            if (r.filled - r.released == Ring::kChunks) {
                // A full ring waits until half of it is free again, so that
                // the caller wakes the reader once for several chunks.
                r.readerWaits = true;
                r.changed.wait(lock, [&r] {
                    return r.stopping || r.filled - r.released <= Ring::kChunks / 2;
                });
                r.readerWaits = false;
            }
            if (r.stopping) return;
            chunk = &r.chunks[r.filled % Ring::kChunks];
        }
        fill(*chunk);
        uint64_t generation;
        {
            std::lock_guard lock(r.mutex);
            // Work that may wait is left to the caller while less than half
            // of the ring is ready for it: the caller then does it on
            // records it reads next anyway, and the thread catches up.
            const bool behind = r.filled - r.released < Ring::kChunks / 2;
            generation = r.work && !(r.workMayWait && behind) ? generation_ : 0;
            r.inWork = generation != 0;
        }
        if (generation != 0) {
            r.work(chunk->bytes.data(), chunk->size / kFvsRecordSize, chunk->notes.data());
            chunk->generation = generation;
        }
        bool wake;
        {
            std::lock_guard lock(r.mutex);
            r.inWork = false;
            ++r.filled;
            wake = r.callerWaits || r.workWaits;
        }
        if (wake) r.changed.notify_all();
        if (chunk->last) return;
    }
}

const uint8_t* FvsFile::nextRecord() {
    if (!file_) throw InOutError(103, "File not open");
    Ring& r = *ring_;
    for (;;) {
        if (current_ != nullptr) {
            if (current_->size - position_ >= kFvsRecordSize) {
                const uint8_t* record = current_->bytes.data() + position_;
                position_ += kFvsRecordSize;
                return record;
            }
            // The end or the failure stays where it is, for every later call.
            if (current_->error != 0) throw ioErrorFromErrno(current_->error);
            if (current_->last) {
                if (!lookAgain()) return nullptr;
                continue;
            }
            if (r.reader.joinable()) {
                bool wake;
                {
                    std::lock_guard lock(r.mutex);
                    ++r.released;
                    wake = r.readerWaits && r.filled - r.released <= Ring::kChunks / 2;
                }
                if (wake) r.changed.notify_all();
            }
            current_ = nullptr;
        }
        if (r.reader.joinable()) {
            std::unique_lock lock(r.mutex);
            r.callerWaits = true;
            r.changed.wait(lock, [&r] { return r.filled > r.released; });
            r.callerWaits = false;
            current_ = &r.chunks[r.released % Ring::kChunks];
        } else {
            current_ = &r.chunks[0];
            fill(*current_);
        }
        position_ = 0;
        // Work that may wait and was left out of this chunk is done here,
        // at the same cost, before its first record is handed out.
        if (r.work && r.workMayWait && current_->generation != generation_) {
            r.work(current_->bytes.data(), current_->size / kFvsRecordSize, current_->notes.data());
            current_->generation = generation_;
        }
    }
}

bool FvsFile::lookAgain() {
    Ring& r = *ring_;
    // The thread ends with the chunk that reached the end.
    if (r.reader.joinable()) r.reader.join();
    Chunk& into = r.chunks[0];
    const size_t keep = current_->size - position_;
    std::memmove(into.bytes.data(), current_->bytes.data() + position_, keep);
    std::clearerr(file_);
    fill(into, keep);
    current_ = &into;
    position_ = 0;
    if (r.work && r.workMayWait) {
        r.work(into.bytes.data(), into.size / kFvsRecordSize, into.notes.data());
        into.generation = generation_;
    }
    return into.size >= kFvsRecordSize;
}

void FvsFile::setRecordWork(RecordWork work, bool mayWait) {
    Ring& r = *ring_;
    std::unique_lock lock(r.mutex);
    r.workWaits = true;
    r.changed.wait(lock, [&r] { return !r.inWork; });
    r.workWaits = false;
    r.work = std::move(work);
    r.workMayWait = mayWait;
    ++generation_;
}

void FvsFile::close() {
    Ring& r = *ring_;
    if (r.reader.joinable()) {
        {
            std::lock_guard lock(r.mutex);
            r.stopping = true;
        }
        r.changed.notify_all();
        r.reader.join();
    }
    if (file_) std::fclose(file_);
    file_ = nullptr;
    r.work = nullptr;
    ++generation_;
    current_ = nullptr;
    position_ = 0;
}

}  // namespace zortan
