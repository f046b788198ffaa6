#include "output/OutFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

namespace {
constexpr size_t kBufferSize = 1 << 16;
}

// The longest name a folder entry takes on the systems the program runs on.
constexpr size_t kLongestName = 255;

OutFile::~OutFile() {
    if (file_) std::fclose(file_);
    if (written_ != path_ && !written_.empty()) std::remove(written_.c_str());
}

void OutFile::create(const std::string& path) {
    if (file_) close();
    failed_ = false;
    // A device (a terminal, /dev/null) is written as it is.
    const bool staged = staged_ && !otherFileExists(path);
    // The staged copy's short name would hide a name the folder cannot take.
    if (staged && extractFileName(path).size() > kLongestName) {
        failed_ = true;
        throw OutputFileError(ioErrorFromErrno(ENAMETOOLONG), path, true);
    }
    const std::string written = staged ? siblingTempName(path) : path;
    std::FILE* f = std::fopen(written.c_str(), "wb");
    if (!f) {
        failed_ = true;
        throw OutputFileError(ioErrorFromErrno(errno), path, true);
    }
    written_ = written;
    // The buffer here is the only one, so that what the system has taken is
    // known to the byte.
    std::setvbuf(f, nullptr, _IONBF, 0);
    file_ = f;
    path_ = path;
    buffer_.resize(kBufferSize);
    used_ = 0;
    sent_ = 0;
}

void OutFile::fail(int err) {
    used_ = 0;
    if (!failed_) {
        failed_ = true;
        // What the system took of the last buffer may end inside a unit.
        cutFileTo(file_, sent_);
    }
    throw OutputFileError(ioErrorFromErrno(err), path_, false);
}

void OutFile::send(const char* data, size_t size) {
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) fail(errno ? errno : EIO);
    sent_ += size;
}

void OutFile::drain() {
    if (!file_) throw InOutError(103, "File not open");
    if (failed_) {
        used_ = 0;
        return;
    }
    if (used_ > 0) send(buffer_.data(), used_);
    used_ = 0;
}

void OutFile::writeAny(const void* data, size_t size) {
    if (size > buffer_.size() - used_) {
        drain();
        if (size > buffer_.size()) {
            if (!failed_) send(static_cast<const char*>(data), size);
            return;
        }
    }
    if (failed_) return;
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
}

void OutFile::line(std::string_view text) {
    if (text.size() + 2 > buffer_.size() - used_) {
        drain();
        if (text.size() + 2 > buffer_.size()) {
            // A line longer than the buffer goes out in two pieces; a failure
            // between them is cut back all the same.
            const uint64_t start = sent_;
            try {
                write(text);
                write("\r\n", 2);
                drain();
            } catch (const InOutError&) {
                if (file_) cutFileTo(file_, start);
                throw;
            }
            return;
        }
    }
    if (failed_) return;
    std::memcpy(buffer_.data() + used_, text.data(), text.size());
    std::memcpy(buffer_.data() + used_ + text.size(), "\r\n", 2);
    used_ += text.size() + 2;
}

void OutFile::flush() {
    drain();
    if (!failed_ && std::fflush(file_) != 0) fail(errno ? errno : EIO);
}

void OutFile::close() {
    if (!file_) return;
    int err = 0;
    try {
        drain();
    } catch (const InOutError&) {
        std::fclose(file_);
        file_ = nullptr;
        throw;
    }
    errno = 0;
    if (std::fflush(file_) != 0) err = errno ? errno : EIO;
    if (std::fclose(file_) != 0 && err == 0) err = errno ? errno : EIO;
    file_ = nullptr;
    if (err != 0 && !failed_) {
        failed_ = true;
        throw OutputFileError(ioErrorFromErrno(err), path_, false);
    }
}

void OutFile::commit() {
    if (file_) close();
    if (written_ == path_ || written_.empty()) return;
    try {
        replaceFile(written_, path_);
    } catch (const InOutError& e) {
        failed_ = true;
        throw OutputFileError(e, path_, true);
    }
    written_ = path_;
}

void OutFile::forget() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (written_ != path_ && !written_.empty()) std::remove(written_.c_str());
    written_.clear();
    path_.clear();
    used_ = 0;
    sent_ = 0;
    failed_ = false;
}

void OutFile::discard() {
    const std::string path = written_;
    forget();
    // Only a regular file is removed: an output named as a device (a
    // terminal, /dev/null) stays as it is.
    if (fileExists(path)) std::remove(path.c_str());
}

}  // namespace zortan
