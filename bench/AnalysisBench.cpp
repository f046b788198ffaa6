// Frames per second of the frame analysis on one thread: the fast way (FFTW)
// and the readable sums, all five vectors of 256-sample frames of noise.
//
//   cmake --build build --target zortan-analysis-bench && build/bench/zortan-analysis-bench
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "analysis/FrameAnalysis.h"

int main() {
    using namespace zortan::analysis;
    std::vector<int16_t> signal(16000 * 60);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 1000.0);
    for (int16_t& s : signal) s = static_cast<int16_t>(noise(random));
    for (const bool exact : {false, true}) {
        FrameOptions options;
        options.exact = exact;
        const FrameAnalyser analyser(options);
        const size_t frames = exact ? 5000 : 500000;
        long checksum = 0;
        const auto start = std::chrono::steady_clock::now();
        for (size_t f = 0; f < frames; ++f) {
            const size_t at = 1 + (f * 160) % (signal.size() - 2 * kFrameLength);
            checksum += analyser.analyse(&signal[at], signal[at - 1]).features[4][1];
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-9s %9.0f frames/s (checksum %ld)\n", exact ? "readable" : "fast",
                    static_cast<double>(frames) / seconds, checksum);
    }
    return 0;
}
