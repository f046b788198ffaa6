#include "analysis/FeatureFiles.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zortan::analysis {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A fresh folder per test, removed with its files.
class Folder {
  public:
    Folder() {
        for (std::random_device rd; !fs::create_directory(path_);)
            path_ = fs::temp_directory_path() / ("zortan-features-" + std::to_string(rd()));
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    std::string path() const { return path_.string(); }

  private:
    fs::path path_ = fs::temp_directory_path();  // exists: the constructor draws a name
};

// `n` bytes of `v`, most significant first or last.
std::string bytesOf(uint64_t v, int n, bool bigEndian) {
    std::string b;
    for (int i = 0; i < n; ++i) b += static_cast<char>(v >> (8 * (bigEndian ? n - 1 - i : i)));
    return b;
}
// `values` as numpy's dtype `descr` stores them ("<f4", ">i2", "|u1", ...).
std::string encode(const std::string& descr, std::initializer_list<double> values) {
    const int n = descr[2] - '0';
    std::string b;
    for (double v : values)
        b += bytesOf(descr[1] != 'f' ? static_cast<uint64_t>(static_cast<int64_t>(v))
                     : n == 4        ? std::bit_cast<uint32_t>(static_cast<float>(v))
                                     : std::bit_cast<uint64_t>(v),
                     n, descr[0] == '>');
    return b;
}
std::string htkHeader(int32_t nSamples, int32_t period, int16_t sampSize, uint16_t kind) {
    return bytesOf(static_cast<uint32_t>(nSamples), 4, true) +
           bytesOf(static_cast<uint32_t>(period), 4, true) +
           bytesOf(static_cast<uint16_t>(sampSize), 2, true) + bytesOf(kind, 2, true);
}

// An .npy file of `major`.0 whose header is `dict`, padded as numpy pads it.
std::string npyFile(std::string dict, const std::string& data, int major = 1) {
    const size_t prefix = 6 + 2 + (major == 1 ? 2 : 4);
    while ((prefix + dict.size() + 1) % 64 != 0) dict += ' ';
    dict += '\n';
    return "\x93NUMPY" + std::string{static_cast<char>(major), '\0'} +
           bytesOf(dict.size(), major == 1 ? 2 : 4, false) + dict + data;
}
std::string npyDict(const std::string& descr, bool fortran, const std::string& shape) {
    return "{'descr': '" + descr + "', 'fortran_order': " + (fortran ? "True" : "False") +
           ", 'shape': " + shape + ", }";
}

// The message of the refusal, or "accepted".
std::string refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const FeatureFileError& e) {
        return e.what();
    }
    return "accepted";
}

std::string shapeOf(const FeatureMatrix& m) {
    return std::to_string(m.frames) + "x" + std::to_string(m.dims);
}
bool says(const std::string& message, const std::string& part) {
    return message.find(part) != std::string::npos;
}

using Cases = std::vector<std::pair<std::string, std::string>>;  // the file, its fault

// Each file is refused with a message that names it and says its fault.
void expectRefused(const Folder& dir, const Cases& cases,
                   FeatureMatrix (*read)(const std::string&)) {
    for (const auto& [bytes, fault] : cases) {
        const std::string path = dir.write("bad", bytes);
        const std::string message = refusal([&] { read(path); });
        EXPECT_TRUE(says(message, "\"" + path + "\"") && says(message, fault)) << message;
    }
}

// `whole` is read, and every cut of it refused: nothing is read beyond the bytes.
void expectCutsRefused(const std::string& whole, const std::vector<double>& values,
                       FeatureMatrix (*parse)(std::span<const uint8_t>, const std::string&)) {
    const auto first = [&](size_t n) {
        return std::span(reinterpret_cast<const uint8_t*>(whole.data()), n);
    };
    EXPECT_EQ(parse(first(whole.size()), "x").values, values);
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(refusal([&] { parse(first(n), "x"); }).substr(0, 4), "The ") << n;
}

TEST(HtkFile, FloatFramesPeriodAndKindNames) {
    Folder dir;
    const std::string data = encode(">f4", {1.5, -2.25, 0, 1e-3, 65504, -7});
    const FeatureMatrix m =
        ReadHtk(dir.write("a.mfc", htkHeader(3, 100000, 8, 6 | 0100 | 0400 | 01000) + data));
    EXPECT_EQ(shapeOf(m), "3x2");
    EXPECT_EQ(m.values, std::vector<double>({1.5, -2.25, 0, 1e-3f, 65504, -7}));
    EXPECT_DOUBLE_EQ(m.framePeriodSeconds, 0.01);
    EXPECT_EQ(m.kind, "MFCC_E_D_A");

    const std::pair<uint16_t, std::string> kinds[] = {{7, "FBANK"},
                                                      {11 | 020000 | 0400 | 01000, "PLP_D_A_0"},
                                                      {9 | 0200 | 04000 | 0100000, "USER_N_Z_T"},
                                                      {3 | 0100 | 04000, "LPCEPSTRA_E_Z"}};
    for (const auto& [kind, name] : kinds)
        EXPECT_EQ(ReadHtk(dir.write("k", htkHeader(1, 0, 4, kind) + data)).kind, name);
}

// A/B decode, the 4 frames they take in nSamples, the checksum that is no data.
TEST(HtkFile, CompressedFramesAndChecksum) {
    Folder dir;
    const std::string ab = encode(">f4", {2, 0.5, 1, -3});
    for (const bool checksum : {false, true}) {
        const std::string file = htkHeader(7, 200000, 4, 6 | 02000 | (checksum ? 010000 : 0)) + ab +
                                 encode(">i2", {5, 7, -1, 1, 3, -3}) + (checksum ? "ck" : "");
        const FeatureMatrix m = ReadHtk(dir.write("c.mfc", file));
        EXPECT_EQ(m.kind, checksum ? "MFCC_C_K" : "MFCC_C");
        EXPECT_EQ(shapeOf(m), "3x2");
        EXPECT_EQ(m.values, std::vector<double>({3, 8, 0, -4, 2, -12}));
    }
}

TEST(HtkFile, WaveformAndIrefcAre16Bit) {
    Folder dir;
    const FeatureMatrix w = ReadHtk(
        dir.write("w", htkHeader(6, 625, 2, 0) + encode(">i2", {-32768, -1, 0, 1, 256, 32767})));
    EXPECT_EQ(w.kind, "WAVEFORM");
    EXPECT_EQ(shapeOf(w), "6x1");
    EXPECT_EQ(w.values, std::vector<double>({-32768, -1, 0, 1, 256, 32767}));
    EXPECT_DOUBLE_EQ(w.framePeriodSeconds, 62.5e-6);
    const FeatureMatrix r =
        ReadHtk(dir.write("r", htkHeader(1, 0, 4, 5) + encode(">i2", {32767, -16384})));
    EXPECT_EQ(r.values, std::vector<double>({1.0, -16384 / 32767.0}));
}

TEST(HtkFile, MalformedFilesRefusedNamingFileAndFault) {
    Folder dir;
    const std::string one = encode(">f4", {1, 2}), ab = encode(">f4", {1, 0});
    const Cases cases = {
        {htkHeader(1, 0, 8, 6).substr(0, 8), "8 bytes, no whole 12-byte header"},
        {htkHeader(3, 0, 8, 6) + one + one, "shorter than its header says: 3 frames of 8 bytes"},
        {htkHeader(1, 0, 8, 6 | 010000) + one, "and a 2-byte checksum need 22 bytes, it holds 20"},
        {htkHeader(1, 0, 6, 9) + one, "frames of 6 bytes, no whole number of 4-byte values"},
        {htkHeader(5, 0, 3, 6 | 02000) + ab + one, "no whole number of 2-byte values"},
        {htkHeader(1, 0, 2, 0 | 02000) + one, "compressed, though"},
        {htkHeader(1, 0, 4, 0) + one, "WAVEFORM samples of 4 bytes"},
        {htkHeader(1, 0, 4, 10) + one, "vector-quantised data (DISCRETE)"},
        {htkHeader(1, 0, 4, 6 | 040000) + one, "vector-quantised data (MFCC_V)"},
        {htkHeader(1, 0, 4, 12) + one, "parameter kind 12"},
        {htkHeader(0, 0, 4, 6) + one, "declares 0 frames"},
        {htkHeader(-2, 0, 4, 6) + one, "declares -2 frames"},
        {htkHeader(4, 0, 2, 6 | 02000) + ab + one, "compression vectors A and B take"},
        {htkHeader(5, 0, 2, 6 | 02000) + encode(">f4", {0, 1}) + one, "compression factors A = 0"},
        {htkHeader(1, -1, 4, 6) + one, "negative sample period"},
    };
    expectRefused(dir, cases, ReadHtk);
    EXPECT_TRUE(says(refusal([&] { ReadHtk(dir.path() + "/none"); }), "does not exist"));
    EXPECT_TRUE(says(refusal([&] { ReadHtk(dir.path()); }), "is a directory"));

    expectCutsRefused(
        htkHeader(6, 0, 4, 6 | 02000 | 010000) + one + ab + encode(">i2", {1, 2, 3, 4}) + "ck",
        {2, 1, 4, 2}, ParseHtk);
}

TEST(NpyFile, EachDtypeInItsByteOrder) {
    Folder dir;
    const struct {
        std::string descr, kind;
        std::initializer_list<double> values;
    } dtypes[] = {
        {"<f4", "float32", {0.15625, -1.5, 3e5, 1}},
        {">f4", "float32", {0.15625, -1.5, 3e5, 1}},
        {"<f8", "float64", {0.1, -1e300, 2.5, 7}},
        {">f8", "float64", {0.1, -1e300, 2.5, 7}},
        {"<i2", "int16", {1, -2, 32767, -32768}},
        {">i2", "int16", {1, -2, 32767, -32768}},
        {"<i4", "int32", {1, -2, 1e5, -2147483648.0}},
        {"|i1", "int8", {1, -2, 127, -128}},
        {"|u1", "uint8", {1, 2, 255, 128}},
    };
    for (const auto& d : dtypes) {
        const FeatureMatrix m = ReadNpy(dir.write(
            "d.npy", npyFile(npyDict(d.descr, false, "(2, 2)"), encode(d.descr, d.values))));
        EXPECT_EQ(m.kind + " " + shapeOf(m), d.kind + " 2x2") << d.descr;
        EXPECT_EQ(m.values, std::vector<double>(d.values)) << d.descr;
    }
}

TEST(NpyFile, VersionsFortranOrderAndOneDimension) {
    Folder dir;
    const std::string rows = encode("<f8", {0, 1, 2, 10, 11, 12});  // a[i][j] = 10 i + j
    const std::string files[] = {
        npyFile(npyDict("<f8", false, "(2, 3)"), rows, 1),
        npyFile(npyDict("<f8", false, "(2, 3)"), rows, 2),
        npyFile(npyDict("<f8", false, "(2, 3)"), rows, 3),
        npyFile(npyDict("<f8", true, "(2, 3)"), encode("<f8", {0, 10, 1, 11, 2, 12})),
        npyFile("{\"shape\": (2L,3L), \"fortran_order\": False, \"descr\": \"<f8\"}", rows),
    };
    for (const std::string& file : files) {
        const FeatureMatrix m = ReadNpy(dir.write("v.npy", file));
        EXPECT_EQ(shapeOf(m), "2x3");
        EXPECT_EQ(m.values, std::vector<double>({0, 1, 2, 10, 11, 12}));
    }
    const FeatureMatrix flat = ReadNpy(
        dir.write("f.npy", npyFile(npyDict("<i2", false, "(3,)"), encode("<i2", {5, -1, 9}))));
    EXPECT_EQ(shapeOf(flat), "3x1");
    EXPECT_EQ(flat.values, std::vector<double>({5, -1, 9}));
}

TEST(NpyFile, RefusalsNameFileAndFault) {
    Folder dir;
    const std::string six(24, '\0');
    const Cases cases = {
        {"\x93NUMPZ\x01"s + npyFile(npyDict("<f4", false, "(6,)"), six).substr(7),
         "does not begin"},
        {"\x93NUMPY\x04"s + npyFile(npyDict("<f4", false, "(6,)"), six).substr(7), "version 4.0"},
        {npyFile(npyDict("<c8", false, "(3,)"), six), "the dtype '<c8'; the dtypes read are '<f4'"},
        {npyFile("{'descr': [('a', '<f4')], 'fortran_order': False, 'shape': (6,)}", six),
         "structured"},
        {npyFile(npyDict("<f4", false, "(1, 2, 3)"), six), "of shape (1, 2, 3)"},
        {npyFile(npyDict("<f4", false, "()"), six), "of shape ()"},
        {npyFile(npyDict("<f4", false, "(0, 3)"), six), "no values (shape (0, 3))"},
        {npyFile(npyDict("<f4", false, "(2, 4)"), six), "shorter than its shape (2, 4) needs"},
        {npyFile("{'descr': '<f4', 'fortran_order': False}", six), "'shape' is missing"},
        {npyFile("{'descr': '<f4', 'descr': '<f4', 'fortran_order': False, 'shape': (6,)}", six),
         "twice"},
        {npyFile(npyDict("<f4", false, "(6,)") + "x", six), "'x' at character"},
        {npyFile("{'descr': '<f4', 'fortran_order': 0, 'shape': (6,)}", six), "True or False"},
        {npyFile("{'descr': '<f4', 'order': 'C', 'shape': (6,)}", six), "the key 'order'"},
        {npyFile("[6, 'f4']", six), "no dict"},
        {"\x93NUMPY\x01\x00\x50\x00{}"s, "beyond its end"},
    };
    expectRefused(dir, cases, ReadNpy);
    expectCutsRefused(npyFile(npyDict("<f4", false, "(6,)"), six, 2), std::vector<double>(6),
                      ParseNpy);
}

FeatureMatrix matrix(size_t frames, size_t dims, std::vector<double> values) {
    FeatureMatrix m;
    m.frames = frames, m.dims = dims, m.values = std::move(values);
    return m;
}
std::vector<int> components(const Converted& c, size_t frame, size_t count) {
    return std::vector<int>(c.frames[frame].begin(), c.frames[frame].begin() + count);
}

TEST(ToComponents, RoundsHalvesToEvenAfterScaleAndOffset) {
    const FeatureMatrix m =
        matrix(2, 5, {0.5, 1.5, 2.5, -0.5, -2.5, 2.4999, 2.5001, -1.5, 32766.5, -32767.5});
    const Converted c = ToComponents(m, {});
    ASSERT_EQ(c.frames.size(), 2u);
    EXPECT_EQ(components(c, 0, 5), std::vector<int>({0, 2, 2, 0, -2}));
    EXPECT_EQ(components(c, 1, 5), std::vector<int>({2, 3, -2, 32766, -32768}));
    for (const auto& frame : c.frames)
        for (size_t j = 5; j < frame.size(); ++j) EXPECT_EQ(frame[j], 0) << j;
    EXPECT_EQ(c.saturated + c.nonFinite, 0u);

    const Converted s = ToComponents(matrix(1, 4, {0.5, 1, -1, 1.25}), {2, 0.5});  // 1.5 2.5 -1.5 3
    EXPECT_EQ(components(s, 0, 4), std::vector<int>({2, 2, -2, 3}));
}

TEST(ToComponents, ClampsAndCountsOutOfRangeAndNonFinite) {
    const double inf = std::numeric_limits<double>::infinity();
    const FeatureMatrix m =
        matrix(1, 9, {32767.4, 32767.5, -32768.5, -32768.6, 1e300, -1e300, NAN, inf, -inf});
    const Converted c = ToComponents(m, {});
    EXPECT_EQ(components(c, 0, 9),
              std::vector<int>({32767, 32767, -32768, -32768, 32767, -32768, 0, 0, 0}));
    EXPECT_EQ(c.saturated, 4u);
    EXPECT_EQ(c.nonFinite, 3u);

    // A finite value whose product overflows is out of range, not "no number".
    const Converted o = ToComponents(matrix(1, 3, {1e308, -1e308, NAN}), {10, 0});
    EXPECT_EQ(components(o, 0, 3), std::vector<int>({32767, -32768, 0}));
    EXPECT_EQ(o.saturated, 2u);
    EXPECT_EQ(o.nonFinite, 1u);
}

TEST(ToComponents, HoldsAt129DimsAndRefusesMore) {
    FeatureMatrix m = matrix(2, 129, std::vector<double>(258));
    for (size_t i = 0; i < m.values.size(); ++i) m.values[i] = static_cast<double>(i);
    const Converted c = ToComponents(m, {1, -129});
    EXPECT_EQ(c.frames[0][128], -1);
    EXPECT_EQ(c.frames[1][128], 128);
    m.dims = 130, m.frames = 1, m.values.resize(130);
    EXPECT_TRUE(says(refusal([&] { ToComponents(m, {}); }), "130 values per frame"));
    const auto wrongCount = [] { ToComponents(matrix(2, 3, {1, 2, 3}), {}); };
    EXPECT_TRUE(says(refusal(wrongCount), "not 2 frames of 3"));
    EXPECT_NE(refusal([] { ToComponents(matrix(1, 1, {1}), {NAN, 0}); }), "accepted");
}

}  // namespace
}  // namespace zortan::analysis
