#include "output/OutFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Errors.h"

namespace zortan {

namespace {
constexpr size_t kBufferSize = 1 << 16;
}

OutFile::~OutFile() {
    if (file_) std::fclose(file_);
}

void OutFile::create(const std::string& path) {
    if (file_) close();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw ioErrorFromErrno(errno);
    file_ = f;
    path_ = path;
    buffer_.resize(kBufferSize);
    used_ = 0;
}

void OutFile::drain() {
    if (!file_) throw InOutError(103, "File not open");
    if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
        used_ = 0;
        throw ioErrorFromErrno(errno ? errno : EIO);
    }
    used_ = 0;
}

void OutFile::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (used_ == buffer_.size()) drain();
        const size_t n = std::min(size, buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, p, n);
        used_ += n;
        p += n;
        size -= n;
    }
}

void OutFile::flush() {
    drain();
    if (std::fflush(file_) != 0) throw ioErrorFromErrno(errno ? errno : EIO);
}

void OutFile::close() {
    if (!file_) return;
    std::FILE* f = file_;
    int err = 0;
    try {
        drain();
    } catch (const InOutError&) {
        std::fclose(f);
        file_ = nullptr;
        throw;
    }
    errno = 0;
    if (std::fflush(f) != 0) err = errno ? errno : EIO;
    if (std::fclose(f) != 0 && err == 0) err = errno ? errno : EIO;
    file_ = nullptr;
    if (err != 0) throw ioErrorFromErrno(err);
}

}  // namespace zortan
