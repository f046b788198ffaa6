// Synthetic speech-like analysis frames: vowels of a few speakers, voiced and
// whispered, with the five feature vectors computed from each frame's signal.
// Everything is computed in a fixed order with the generator's own
// arithmetic, so the frames are the same on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/Elementary.h"
#include "analysis/FrameAnalysis.h"
#include "tools/fixtures/FvsFileWriter.h"

namespace zortan::samplegen {

// A small pseudo-random generator of fixed algorithm (splitmix64).
class Prng {
  public:
    explicit Prng(uint64_t seed) : state_(seed) {}
    uint64_t next();
    double uniform();              // [0, 1)
    int below(int n);              // 0 .. n-1
    double normal();               // mean 0, variance 1 (sum of twelve uniforms)
    double around(double spread);  // uniform in [1 - spread, 1 + spread)

  private:
    uint64_t state_;
};

// The elementary functions of the frame analysis, whose last bits do not
// depend on the platform's mathematics library.
using analysis::detCosTurns;
using analysis::detExp;
using analysis::detLog;

// Category values: vowel letters, speaker digits, voicing ('u' whispered,
// 'v' voiced), each in ascending character order.
inline const std::string kVowels = "aeiou";
inline const std::string kSpeakers = "123";
inline const std::string kVoicings = "uv";

// Samples per frame, which is also the FFT width: its 129 spectral lines
// fill the 129 components of a feature vector.
using analysis::kFrameLength;

struct SynthesisSettings {
    uint64_t seed = 20240501;
    int segments = 40;  // one vowel of one speaker each, 8..16 frames
    double rate = 16000.0;
    double frameStepMs = 10.0;
    int lifterThreshold = 24;   // cepstral lifter of the smoothed spectrum
    double preemphasis = 0.95;  // first-difference coefficient, 0 for none
    int windowShape = 1;        // Gauss
};

// The frames of all segments in time order, with their qualifiers and the
// five feature vectors (power spectrum, cepstrally smoothed spectrum and mel
// smoothed spectrum in 0.01 dB; cepstrum and mel cepstrum in thousandths).
std::vector<fixtures::FvsEvent> synthesiseFrames(const SynthesisSettings& settings);

}  // namespace zortan::samplegen
