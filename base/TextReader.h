// Sequential reader of the line-oriented text formats (tree file, text event
// table, options file) with the classic text-file reading rules:
// - a number skips blanks and line ends before it and ends at the first
//   character of code 32 or less, which is not consumed;
// - past the end of the file a number reads as 0, a text as empty and a
//   character as code 26; `hitEnd()` tells that this happened;
// - CR LF, bare LF and bare CR all end a line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zortan {

class TextReader {
  public:
    // Opens a file; a failure is an input/output error.
    explicit TextReader(const std::string& path);
    // Reads from text held in memory (tests, fuzzing).
    static TextReader fromText(std::string text);

    TextReader(TextReader&& other) noexcept;
    TextReader& operator=(TextReader&& other) noexcept;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();

    void close();
    bool isOpen() const { return open_; }

    bool eof();   // no character left
    bool eoln();  // at a line end or at the end of the file

    // Integers: optional sign, decimal digits. A malformed token or one that
    // does not fit is an input/output error (invalid numeric input).
    int32_t readInt32();
    int64_t readInt64();
    // Reals: optional sign, digits, optional fraction, optional exponent.
    double readReal();
    // One character as it stands, line-end characters included.
    char readChar();
    // The rest of the current line, without its line end, of which at most
    // `keep` characters are kept. The line end is not consumed.
    std::string readText(size_t keep = 255);
    // A whole line: readText followed by readLn.
    std::string readLine(size_t keep = 255);
    // readLine into a string kept by the caller, so that reading line after
    // line reuses its storage.
    void readLineInto(std::string& line, size_t keep = 255);
    // Skips to the beginning of the next line.
    void readLn();

    // True once a number, text, character or line was asked for at the end
    // of the file.
    bool hitEnd() const { return hitEnd_; }
    void clearHitEnd() { hitEnd_ = false; }

  private:
    TextReader() = default;
    int peek();  // next byte 0..255, or -1 at the end
    int get();
    bool refill();
    std::string readToken();
    void readTextInto(std::string& s, size_t keep);

    std::FILE* file_ = nullptr;
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool open_ = false;
    bool hitEnd_ = false;
};

// An integer token: optional sign, decimal digits. A malformed token or one
// that does not fit 64 bits is an input/output error (invalid numeric input).
int64_t parseIntegerToken(std::string_view token);

// Reads integers out of text held by the caller (one row of a table) by the
// same rules as TextReader, without copying the text.
class TokenScanner {
  public:
    explicit TokenScanner(std::string_view text) : text_(text) {}
    // 0 past the end of the text, which hitEnd() then tells.
    int32_t readInt32();
    bool hitEnd() const { return hitEnd_; }

  private:
    std::string_view text_;
    size_t pos_ = 0;
    bool hitEnd_ = false;
};

}  // namespace zortan
