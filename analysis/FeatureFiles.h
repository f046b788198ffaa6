// Feature files written by other programs, read into a matrix of frames and
// turned into the 16-bit components of fvs feature vectors:
//   HTK parameter files (HTK itself, Kaldi's copy-feats --htk-in/out): a
//     12-byte big-endian header, then float32 frames, 16-bit frames of
//     compressed (_C) or WAVEFORM files, and an optional 2-byte checksum (_K);
//   NumPy .npy files (librosa's arrays saved by numpy), versions 1.0 to 3.0,
//     of one or two dimensions.
// Every refusal is a FeatureFileError whose text names the file and what is
// wrong with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Analysis.h"

namespace zortan::analysis {

struct FeatureMatrix {
    size_t frames = 0, dims = 0;
    std::vector<double> values;     // frames x dims, row-major
    double framePeriodSeconds = 0;  // 0 when the file does not say
    std::string kind;               // e.g. "MFCC_E_D_A" or "float32"
};

class FeatureFileError : public std::runtime_error {
  public:
    explicit FeatureFileError(const std::string& message) : std::runtime_error(message) {}
};

// An HTK parameter file. The kind is the base kind with its qualifiers as
// HTK names them ("MFCC_E_D_A"); IREFC's 16-bit values are read as
// reflection coefficients (divided by 32767). DISCRETE and VQ files are refused.
FeatureMatrix ReadHtk(const std::string& path);

// A NumPy array file: shape (n,) is n frames of one value, (n, m) n frames of
// m; the kind is the dtype's name ("float32", "int16", ...).
FeatureMatrix ReadNpy(const std::string& path);

// The same from a file's bytes; `path` only names the file in the messages.
FeatureMatrix ParseHtk(std::span<const uint8_t> bytes, const std::string& path);
FeatureMatrix ParseNpy(std::span<const uint8_t> bytes, const std::string& path);

// component = value * scale + offset, rounded half to even.
struct Conversion {
    double scale = 1.0;
    double offset = 0.0;
};

struct Converted {
    std::vector<std::array<int16_t, kComponents>> frames;
    size_t saturated = 0;  // components clamped to -32768..32767
    size_t nonFinite = 0;  // NaN or infinite values, stored as 0
};

// One vector per frame; the components beyond the matrix's dims are 0. A
// finite value whose product overflows is clamped like any other. Refuses
// more than 129 dims, a scale or offset that is no finite number, and a
// matrix whose values are not frames x dims.
Converted ToComponents(const FeatureMatrix& m, const Conversion& c);

}  // namespace zortan::analysis
