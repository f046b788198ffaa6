// Recordings read through libsndfile (WAV, FLAC, Ogg and the other formats
// it knows), made one channel and resampled where asked (libsoxr), as the
// 16-bit samples the frames are cut from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zortan::analysis {

class AudioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct AudioOptions {
    double rate = 0.0;  // Hz to resample to; 0 keeps the recording's
    int channel = -1;   // the channel taken (0 = the first); -1 mixes all (their mean)
};

struct Audio {
    std::string path;
    double sourceRate = 0.0;  // Hz, as recorded
    int channels = 0;
    double rate = 0.0;  // Hz, of `samples`
    std::vector<int16_t> samples;
    size_t clipped = 0;  // samples beyond the 16-bit range after mixing or resampling
};

// The lowest and highest rate taken: a frame of 256 samples must be a
// stretch of speech, and a step of milliseconds whole samples.
constexpr double kLowestRate = 1000.0;
constexpr double kHighestRate = 384000.0;

// Reads the whole recording; refuses what cannot be read (naming the file
// and libsndfile's reason), a channel the file does not have, a rate
// outside kLowestRate..kHighestRate.
Audio ReadAudio(const std::string& path, const AudioOptions& options);

// The rate of the recording as its header gives it, without reading it.
double ReadAudioRate(const std::string& path);

// The samples at `to` Hz of samples at `from` Hz (libsoxr, its high quality),
// as reals in the 16-bit scale.
std::vector<double> Resample(const std::vector<double>& samples, double from, double to);

}  // namespace zortan::analysis
