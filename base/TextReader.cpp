#include "base/TextReader.h"

#include <cerrno>
#include <charconv>
#include <utility>

#include "platform/Errors.h"

namespace zortan {

namespace {
constexpr size_t kChunk = 1 << 16;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int32_t toInt32(int64_t v) {
    if (!std::in_range<int32_t>(v)) throw invalidNumericInput();
    return static_cast<int32_t>(v);
}
}  // namespace

TextReader::TextReader(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ioErrorFromErrno(errno);
    buf_.resize(kChunk);
    open_ = true;
}

TextReader TextReader::fromText(std::string text) {
    TextReader r;
    r.buf_.assign(text.begin(), text.end());
    r.len_ = r.buf_.size();
    r.open_ = true;
    return r;
}

TextReader::TextReader(TextReader&& o) noexcept {
    *this = std::move(o);
}

TextReader& TextReader::operator=(TextReader&& o) noexcept {
    if (this != &o) {
        close();
        file_ = std::exchange(o.file_, nullptr);
        buf_ = std::move(o.buf_);
        pos_ = std::exchange(o.pos_, 0);
        len_ = std::exchange(o.len_, 0);
        open_ = std::exchange(o.open_, false);
        hitEnd_ = o.hitEnd_;
    }
    return *this;
}

TextReader::~TextReader() {
    close();
}

void TextReader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    open_ = false;
    pos_ = len_ = 0;
}

bool TextReader::refill() {
    if (!file_) return false;
    len_ = std::fread(buf_.data(), 1, buf_.size(), file_);
    pos_ = 0;
    if (len_ == 0 && std::ferror(file_)) throw ioErrorFromErrno(errno ? errno : EIO);
    return len_ > 0;
}

int TextReader::peek() {
    if (pos_ >= len_ && !refill()) return -1;
    return static_cast<unsigned char>(buf_[pos_]);
}

int TextReader::get() {
    int c = peek();
    if (c >= 0) ++pos_;
    return c;
}

bool TextReader::eof() {
    return peek() < 0;
}

bool TextReader::eoln() {
    int c = peek();
    return c < 0 || c == '\r' || c == '\n';
}

std::string TextReader::readToken() {
    int c = peek();
    while (c >= 0 && c <= 32) {
        ++pos_;
        c = peek();
    }
    std::string token;
    if (c < 0) {
        hitEnd_ = true;
        return token;
    }
    while (c > 32) {
        token.push_back(static_cast<char>(c));
        ++pos_;
        c = peek();
    }
    return token;
}

int64_t parseIntegerToken(std::string_view t) {
    const char* b = t.data();
    const char* e = b + t.size();
    if (b != e && *b == '+') {
        ++b;
        if (b == e || !isDigit(*b)) throw invalidNumericInput();
    }
    int64_t v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e) throw invalidNumericInput();
    return v;
}

int64_t TextReader::readInt64() {
    std::string t = readToken();
    if (t.empty()) return 0;  // end of file
    return parseIntegerToken(t);
}

int32_t TextReader::readInt32() {
    return toInt32(readInt64());
}

double TextReader::readReal() {
    std::string t = readToken();
    if (t.empty()) return 0.0;
    // Check the grammar strictly: [sign] digits [. digits] [(e|E) [sign] digits]
    size_t i = 0, n = t.size();
    if (t[i] == '+' || t[i] == '-') ++i;
    size_t digits = 0;
    while (i < n && isDigit(t[i])) ++i, ++digits;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) throw invalidNumericInput();
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < n && isDigit(t[i])) ++i, ++expDigits;
        if (expDigits == 0) throw invalidNumericInput();
    }
    if (i != n) throw invalidNumericInput();
    const char* b = t.data();
    if (*b == '+') ++b;
    double v = 0;
    auto [p, ec] = std::from_chars(b, t.data() + n, v);
    if (ec == std::errc::result_out_of_range || p != t.data() + n) throw invalidNumericInput();
    return v;
}

char TextReader::readChar() {
    int c = get();
    if (c < 0) {
        hitEnd_ = true;
        return 26;
    }
    return static_cast<char>(c);
}

std::string TextReader::readText(size_t keep) {
    std::string s;
    readTextInto(s, keep);
    return s;
}

void TextReader::readTextInto(std::string& s, size_t keep) {
    s.clear();
    int c = peek();
    if (c < 0) {
        hitEnd_ = true;
        return;
    }
    while (c >= 0 && c != '\r' && c != '\n') {
        if (s.size() < keep) s.push_back(static_cast<char>(c));
        ++pos_;
        c = peek();
    }
}

void TextReader::readLn() {
    int c = get();
    while (c >= 0 && c != '\r' && c != '\n') c = get();
    if (c == '\r' && peek() == '\n') ++pos_;
}

std::string TextReader::readLine(size_t keep) {
    std::string s = readText(keep);
    readLn();
    return s;
}

void TextReader::readLineInto(std::string& line, size_t keep) {
    readTextInto(line, keep);
    readLn();
}

int32_t TokenScanner::readInt32() {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32) ++pos_;
    if (pos_ >= text_.size()) {
        hitEnd_ = true;
        return 0;
    }
    const size_t begin = pos_;
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) > 32) ++pos_;
    return toInt32(parseIntegerToken(text_.substr(begin, pos_ - begin)));
}

}  // namespace zortan
