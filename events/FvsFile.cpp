#include <cerrno>

#include "events/EventSeries.h"
#include "platform/Errors.h"

namespace zortan {

void FvsFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ioErrorFromErrno(errno);
    // Records are read one at a time; a large buffer keeps the system calls few.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
}

bool FvsFile::readRecord(FvsRecord& record) {
    if (!file_) throw InOutError(103, "File not open");
    const size_t n = std::fread(record.data(), 1, record.size(), file_);
    if (n == record.size()) return true;
    if (std::ferror(file_)) throw ioErrorFromErrno(errno ? errno : EIO);
    return false;
}

void FvsFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace zortan
