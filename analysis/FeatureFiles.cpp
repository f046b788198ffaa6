#include "analysis/FeatureFiles.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

// value * scale + offset decides which way a half rounds: no multiply-add
// contracted where one machine has it and another not.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zortan::analysis {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Fields of a file's bytes, decoded byte by byte in the byte order given.
uint16_t be16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
uint32_t be32(std::span<const uint8_t> b, size_t at) {
    return (uint32_t{be16(b, at)} << 16) | be16(b, at + 2);
}
uint64_t be64(std::span<const uint8_t> b, size_t at) {
    return (uint64_t{be32(b, at)} << 32) | be32(b, at + 4);
}
uint16_t le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return uint32_t{le16(b, at)} | (uint32_t{le16(b, at + 2)} << 16);
}
uint64_t le64(std::span<const uint8_t> b, size_t at) {
    return uint64_t{le32(b, at)} | (uint64_t{le32(b, at + 4)} << 32);
}

// The whole file; `what` names its kind in the messages ("HTK file").
std::vector<uint8_t> readWholeFile(const std::string& path, const std::string& what) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        throw FeatureFileError("The " + what + " " + quoted(path) + " does not exist.");
    if (ec)
        throw FeatureFileError("The " + what + " " + quoted(path) +
                               " cannot be opened: " + ec.message() + ".");
    if (fs::is_directory(st))
        throw FeatureFileError(quoted(path) + " is a directory, not a feature file.");
    if (!fs::is_regular_file(st))
        throw FeatureFileError(quoted(path) + " is not a regular file (a pipe or a device).");
    const uintmax_t size = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in)
        throw FeatureFileError("The " + what + " " + quoted(path) + " cannot be opened" +
                               (ec ? ": " + ec.message() : std::string()) + ".");
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<uintmax_t>(in.gcount()) != size)
        throw FeatureFileError("The " + what + " " + quoted(path) + " cannot be read to its end (" +
                               std::to_string(size) + " bytes).");
    return bytes;
}

// ---- HTK ----

constexpr size_t kHtkHeader = 12;
constexpr int kHtkWaveform = 0, kHtkIrefc = 5, kHtkDiscrete = 10;
constexpr std::array<std::string_view, 12> kHtkBaseKinds = {
    "WAVEFORM", "LPC",   "LPREFC",  "LPCEPSTRA", "LPDELCEP", "IREFC",
    "MFCC",     "FBANK", "MELSPEC", "USER",      "DISCRETE", "PLP"};

struct HtkQualifier {
    uint16_t bit;
    std::string_view name;
};
// In the order of their bits, which is the order HTK writes them in a name.
constexpr uint16_t kHtkCompressed = 02000, kHtkChecksum = 010000, kHtkVq = 040000;
constexpr std::array<HtkQualifier, 10> kHtkQualifiers = {{{0100, "_E"},
                                                          {0200, "_N"},
                                                          {0400, "_D"},
                                                          {01000, "_A"},
                                                          {kHtkCompressed, "_C"},
                                                          {04000, "_Z"},
                                                          {kHtkChecksum, "_K"},
                                                          {020000, "_0"},
                                                          {kHtkVq, "_V"},
                                                          {0100000, "_T"}}};
constexpr double kIrefcScale = 32767.0;  // IREFC stores reflection coefficients times this

// The compression vectors A and B take the place of this many frames.
constexpr int32_t kHtkCompressionFrames = 4;

float floatBits(uint32_t bits) {
    return std::bit_cast<float>(bits);
}

}  // namespace

FeatureMatrix ParseHtk(std::span<const uint8_t> bytes, const std::string& path) {
    const auto refuse = [&](const std::string& what) {
        return FeatureFileError("The HTK file " + quoted(path) + " " + what + ".");
    };
    if (bytes.size() < kHtkHeader)
        throw refuse("holds " + std::to_string(bytes.size()) + " bytes, no whole " +
                     std::to_string(kHtkHeader) + "-byte header");
    const auto nSamples = static_cast<int32_t>(be32(bytes, 0));
    const auto sampPeriod = static_cast<int32_t>(be32(bytes, 4));
    const auto sampSize = static_cast<int16_t>(be16(bytes, 8));
    const uint16_t parmKind = be16(bytes, 10);

    const int base = parmKind & 077;
    if (base >= static_cast<int>(kHtkBaseKinds.size()))
        throw refuse("declares the parameter kind " + std::to_string(base) +
                     ", which is none of HTK's kinds WAVEFORM to PLP");
    std::string kind(kHtkBaseKinds[base]);
    for (const HtkQualifier& q : kHtkQualifiers)
        if (parmKind & q.bit) kind += q.name;
    if (base == kHtkDiscrete || (parmKind & kHtkVq))
        throw refuse("holds vector-quantised data (" + kind + "), codebook indices, not features");

    const bool compressed = parmKind & kHtkCompressed;
    const bool checksum = parmKind & kHtkChecksum;
    const bool shorts = base == kHtkWaveform || base == kHtkIrefc;
    if (shorts && compressed)
        throw refuse("is " + kind + ": compressed, though its values are 16-bit integers already");
    const int valueBytes = shorts || compressed ? 2 : 4;
    if (sampSize <= 0 || sampSize % valueBytes != 0)
        throw refuse("declares frames of " + std::to_string(sampSize) +
                     " bytes, no whole number of " + std::to_string(valueBytes) + "-byte values");
    if (base == kHtkWaveform && sampSize != 2)
        throw refuse("declares WAVEFORM samples of " + std::to_string(sampSize) + " bytes, not 2");
    if (nSamples <= 0) throw refuse("declares " + std::to_string(nSamples) + " frames");
    if (compressed && nSamples <= kHtkCompressionFrames)
        throw refuse("declares " + std::to_string(nSamples) +
                     " frames, all of which the compression vectors A and B take");
    if (sampPeriod < 0)
        throw refuse("declares a negative sample period (" + std::to_string(sampPeriod) + ")");

    const uint64_t needed =
        kHtkHeader + uint64_t(nSamples) * uint64_t(sampSize) + (checksum ? 2 : 0);
    if (bytes.size() < needed)
        throw refuse("is shorter than its header says: " + std::to_string(nSamples) +
                     " frames of " + std::to_string(sampSize) + " bytes" +
                     (compressed ? " (4 of them the compression vectors)" : "") +
                     (checksum ? " and a 2-byte checksum" : "") + " need " +
                     std::to_string(needed) + " bytes, it holds " + std::to_string(bytes.size()));

    FeatureMatrix m;
    m.kind = std::move(kind);
    m.dims = static_cast<size_t>(sampSize / valueBytes);
    m.frames = static_cast<size_t>(nSamples - (compressed ? kHtkCompressionFrames : 0));
    m.framePeriodSeconds = sampPeriod / 1e7;  // in 100 ns units
    m.values.resize(m.frames * m.dims);

    if (compressed) {
        // value = (short + B) / A, with A and B one float per dimension.
        std::vector<double> a(m.dims), b(m.dims);
        for (size_t j = 0; j < m.dims; ++j) {
            a[j] = floatBits(be32(bytes, kHtkHeader + 4 * j));
            b[j] = floatBits(be32(bytes, kHtkHeader + 4 * (m.dims + j)));
            if (a[j] == 0 || !std::isfinite(a[j]) || !std::isfinite(b[j]))
                throw refuse("holds the compression factors A = " + std::to_string(a[j]) +
                             ", B = " + std::to_string(b[j]) + " for value " +
                             std::to_string(j + 1) + ", which decode to no number");
        }
        const size_t data = kHtkHeader + 8 * m.dims;
        for (size_t i = 0; i < m.values.size(); ++i) {
            const auto s = static_cast<int16_t>(be16(bytes, data + 2 * i));
            const size_t j = i % m.dims;
            m.values[i] = (s + b[j]) / a[j];
        }
    } else if (shorts) {
        const double divisor = base == kHtkIrefc ? kIrefcScale : 1.0;
        for (size_t i = 0; i < m.values.size(); ++i)
            m.values[i] = static_cast<int16_t>(be16(bytes, kHtkHeader + 2 * i)) / divisor;
    } else {
        for (size_t i = 0; i < m.values.size(); ++i)
            m.values[i] = floatBits(be32(bytes, kHtkHeader + 4 * i));
    }
    return m;
}

FeatureMatrix ReadHtk(const std::string& path) {
    return ParseHtk(readWholeFile(path, "HTK file"), path);
}

// ---- NumPy ----

namespace {

constexpr std::string_view kNpyMagic = "\x93NUMPY";

enum class NpyType { Int8, Uint8, Int16, Int32, Float32, Float64 };

struct NpyDtype {
    std::string_view descr;
    NpyType type;
    size_t size;
    bool bigEndian;
    std::string_view name;
};

constexpr std::array<NpyDtype, 9> kNpyDtypes = {{{"<f4", NpyType::Float32, 4, false, "float32"},
                                                 {"<f8", NpyType::Float64, 8, false, "float64"},
                                                 {">f4", NpyType::Float32, 4, true, "float32"},
                                                 {">f8", NpyType::Float64, 8, true, "float64"},
                                                 {"<i2", NpyType::Int16, 2, false, "int16"},
                                                 {">i2", NpyType::Int16, 2, true, "int16"},
                                                 {"<i4", NpyType::Int32, 4, false, "int32"},
                                                 {"|i1", NpyType::Int8, 1, false, "int8"},
                                                 {"|u1", NpyType::Uint8, 1, false, "uint8"}}};

std::string dtypeList() {
    std::string list;
    for (const NpyDtype& d : kNpyDtypes)
        list += (list.empty() ? "'" : ", '") + std::string(d.descr) + "'";
    return list;
}

std::string shapeText(const std::vector<uint64_t>& shape) {
    std::string s = "(";
    for (size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
    return s + (shape.size() == 1 ? ",)" : ")");
}

struct NpyHeader {
    std::optional<std::string> descr;
    std::optional<bool> fortranOrder;
    std::optional<std::vector<uint64_t>> shape;
};

// What makes a header no dict of the three keys; the caller names the file.
struct HeaderFault {
    std::string what;
};
// A 'descr' that is a list of fields: a header as numpy writes it, of an
// array that holds no plain numbers.
struct StructuredDtype {};

// The header's Python dict literal: string keys, a string, a bool and a
// tuple of integers as values, and Python's optional trailing commas.
class NpyHeaderParser {
  public:
    explicit NpyHeaderParser(std::string_view text) : text_(text) {}

    NpyHeader parse() {
        NpyHeader h;
        expect('{');
        while (!take('}')) {
            const std::string key = string();
            expect(':');
            if (key == "descr") {
                once(h.descr.has_value(), key);
                if (peek() == '[') throw StructuredDtype{};
                h.descr = string();
            } else if (key == "fortran_order") {
                once(h.fortranOrder.has_value(), key);
                h.fortranOrder = boolean();
            } else if (key == "shape") {
                once(h.shape.has_value(), key);
                h.shape = tuple();
            } else {
                throw HeaderFault{"it holds the key '" + key + "'"};
            }
            if (!take(',')) {
                expect('}');
                break;
            }
        }
        skipSpaces();
        if (pos_ != text_.size()) fault("after the dict's end");
        for (const auto& [present, key] : {std::pair{h.descr.has_value(), "descr"},
                                           std::pair{h.fortranOrder.has_value(), "fortran_order"},
                                           std::pair{h.shape.has_value(), "shape"}})
            if (!present) throw HeaderFault{"its '" + std::string(key) + "' is missing"};
        return h;
    }

  private:
    [[noreturn]] void fault(const std::string& where) const {
        const std::string found =
            pos_ < text_.size() ? "'" + std::string(1, text_[pos_]) + "'" : "the end";
        throw HeaderFault{"it has " + found + " at character " + std::to_string(pos_ + 1) +
                          (where.empty() ? "" : ", " + where)};
    }
    void once(bool seen, const std::string& key) const {
        if (seen) throw HeaderFault{"its '" + key + "' appears twice"};
    }
    void skipSpaces() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    char peek() {
        skipSpaces();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    void expect(char c) {
        if (!take(c)) fault(std::string("where '") + c + "' belongs");
    }
    std::string string() {
        const char quote = peek();
        if (quote != '\'' && quote != '"') fault("where a quoted string belongs");
        const size_t end = text_.find(quote, pos_ + 1);
        if (end == std::string_view::npos) fault("a string that does not end");
        std::string s(text_.substr(pos_ + 1, end - pos_ - 1));
        pos_ = end + 1;
        return s;
    }
    bool boolean() {
        peek();
        for (const auto& [word, value] : {std::pair{std::string_view("True"), true},
                                          std::pair{std::string_view("False"), false}})
            if (text_.substr(pos_, word.size()) == word) {
                pos_ += word.size();
                return value;
            }
        fault("where True or False belongs");
    }
    std::vector<uint64_t> tuple() {
        expect('(');
        std::vector<uint64_t> items;
        while (!take(')')) {
            items.push_back(integer());
            if (!take(',')) {
                expect(')');
                break;
            }
        }
        return items;
    }
    uint64_t integer() {
        peek();
        const size_t start = pos_;
        uint64_t v = 0;
        for (; pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; ++pos_) {
            if (v > (std::numeric_limits<uint64_t>::max() - 9) / 10)
                throw HeaderFault{"its shape holds a dimension too large for any file"};
            v = v * 10 + static_cast<uint64_t>(text_[pos_] - '0');
        }
        if (pos_ == start) fault("where a dimension belongs");
        if (pos_ < text_.size() && text_[pos_] == 'L') ++pos_;  // Python 2's long integers
        return v;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

double npyValue(std::span<const uint8_t> b, size_t at, const NpyDtype& d) {
    switch (d.type) {
        case NpyType::Int8:
            return static_cast<int8_t>(b[at]);
        case NpyType::Uint8:
            return b[at];
        case NpyType::Int16:
            return static_cast<int16_t>(d.bigEndian ? be16(b, at) : le16(b, at));
        case NpyType::Int32:
            return static_cast<int32_t>(d.bigEndian ? be32(b, at) : le32(b, at));
        case NpyType::Float32:
            return std::bit_cast<float>(d.bigEndian ? be32(b, at) : le32(b, at));
        case NpyType::Float64:
            return std::bit_cast<double>(d.bigEndian ? be64(b, at) : le64(b, at));
    }
    return 0;
}

}  // namespace

FeatureMatrix ParseNpy(std::span<const uint8_t> bytes, const std::string& path) {
    const auto refuse = [&](const std::string& what) {
        return FeatureFileError("The .npy file " + quoted(path) + " " + what + ".");
    };
    const size_t magic = kNpyMagic.size();
    if (bytes.size() < magic + 2 ||
        !std::equal(kNpyMagic.begin(), kNpyMagic.end(), bytes.begin(),
                    [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }))
        throw refuse("does not begin as a NumPy array file (\\x93NUMPY)");
    const int major = bytes[magic], minor = bytes[magic + 1];
    if (major < 1 || major > 3 || minor != 0)
        throw refuse("is of .npy version " + std::to_string(major) + "." + std::to_string(minor) +
                     "; versions 1.0, 2.0 and 3.0 are read");
    const size_t lengthBytes = major == 1 ? 2 : 4;
    const size_t start = magic + 2 + lengthBytes;
    if (bytes.size() < start) throw refuse("ends inside its header's length");
    const uint64_t headerLength = major == 1 ? le16(bytes, magic + 2) : le32(bytes, magic + 2);
    if (bytes.size() - start < headerLength)
        throw refuse("declares a header of " + std::to_string(headerLength) +
                     " bytes, beyond its end (" + std::to_string(bytes.size()) + " bytes)");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data() + start),
                                static_cast<size_t>(headerLength));

    NpyHeader h;
    try {
        h = NpyHeaderParser(text).parse();
    } catch (const HeaderFault& f) {
        throw refuse("has a header that is no dict of 'descr', 'fortran_order' and 'shape': " +
                     f.what);
    } catch (const StructuredDtype&) {
        throw refuse(
            "holds a structured array (its 'descr' is a list of fields); the dtypes read "
            "are " +
            dtypeList());
    }

    const NpyDtype* dtype = nullptr;
    for (const NpyDtype& d : kNpyDtypes)
        if (d.descr == *h.descr) dtype = &d;
    if (dtype == nullptr)
        throw refuse("holds values of the dtype '" + *h.descr + "'; the dtypes read are " +
                     dtypeList());

    const std::vector<uint64_t>& shape = *h.shape;
    if (shape.empty() || shape.size() > 2)
        throw refuse("holds an array of shape " + shapeText(shape) +
                     "; frames of values are of shape (frames,) or (frames, values)");
    const uint64_t rows = shape[0], cols = shape.size() == 2 ? shape[1] : 1;
    if (rows == 0 || cols == 0) throw refuse("holds no values (shape " + shapeText(shape) + ")");
    const uint64_t available = bytes.size() - start - headerLength;
    if (rows > available / cols / dtype->size)
        throw refuse("is shorter than its shape " + shapeText(shape) +
                     " needs: " + std::to_string(rows) + " x " + std::to_string(cols) +
                     " values of " + std::to_string(dtype->size) + " bytes, it holds " +
                     std::to_string(available) + " bytes of data");

    FeatureMatrix m;
    m.frames = static_cast<size_t>(rows);
    m.dims = static_cast<size_t>(cols);
    m.kind = dtype->name;
    m.values.resize(m.frames * m.dims);
    const size_t data = start + static_cast<size_t>(headerLength);
    // Fortran order stores the array column by column.
    for (size_t i = 0; i < m.frames; ++i)
        for (size_t j = 0; j < m.dims; ++j) {
            const size_t stored = *h.fortranOrder ? j * m.frames + i : i * m.dims + j;
            m.values[i * m.dims + j] = npyValue(bytes, data + stored * dtype->size, *dtype);
        }
    return m;
}

FeatureMatrix ReadNpy(const std::string& path) {
    return ParseNpy(readWholeFile(path, ".npy file"), path);
}

// ---- Components ----

namespace {

double roundHalfToEven(double x) {
    double whole = std::floor(x);
    const double fraction = x - whole;  // exact for every finite x
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return whole;
}

}  // namespace

Converted ToComponents(const FeatureMatrix& m, const Conversion& c) {
    if (m.dims > static_cast<size_t>(kComponents))
        throw FeatureFileError("The features hold " + std::to_string(m.dims) +
                               " values per frame; a feature vector holds at most " +
                               std::to_string(kComponents) + ".");
    if (m.values.size() != m.frames * m.dims)
        throw FeatureFileError("The features hold " + std::to_string(m.values.size()) +
                               " values, not " + std::to_string(m.frames) + " frames of " +
                               std::to_string(m.dims) + ".");
    if (!std::isfinite(c.scale) || !std::isfinite(c.offset))
        throw FeatureFileError("The features' scale and offset must be finite numbers.");

    constexpr double kLow = std::numeric_limits<int16_t>::min();
    constexpr double kHigh = std::numeric_limits<int16_t>::max();
    Converted out;
    out.frames.resize(m.frames);
    for (size_t i = 0; i < m.frames; ++i)
        for (size_t j = 0; j < m.dims; ++j) {
            const double v = m.values[i * m.dims + j];
            int16_t& component = out.frames[i][j];
            if (!std::isfinite(v)) {
                ++out.nonFinite;
                component = 0;
                continue;
            }
            double r = roundHalfToEven(v * c.scale + c.offset);
            if (r < kLow || r > kHigh) {
                ++out.saturated;
                r = r < kLow ? kLow : kHigh;
            }
            component = static_cast<int16_t>(r);
        }
    return out;
}

}  // namespace zortan::analysis
