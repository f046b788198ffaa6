// A buffered output file. Nothing is allocated per write; failures of the
// system calls are input/output errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zortan {

class OutFile {
  public:
    OutFile() = default;
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();  // closes without reporting; call close() to see failures

    // Creates (or empties) the file.
    void create(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

    void write(const void* data, size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    void put(char c) {
        if (used_ == buffer_.size()) drain();
        buffer_[used_++] = c;
    }
    // Writes text followed by CR LF.
    void line(std::string_view text) {
        write(text);
        write("\r\n", 2);
    }
    void flush();
    // Flushes and closes; the file counts as closed afterwards even when
    // this throws.
    void close();

  private:
    void drain();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

}  // namespace zortan
