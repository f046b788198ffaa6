// Frames per second of the frame analysis on one thread, 256-sample frames
// of a minute of noise every 10 ms at 16 kHz: the power spectrum alone and
// all five vectors the fast way, and all five by the readable sums; the
// best of five passes each. An argument (power, five, readable) runs one.
//
//   cmake --build build --target zortan-analysis-bench && build/bench/zortan-analysis-bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "analysis/FrameAnalysis.h"
#include "analysis/FrameKernels.h"

int main(int argc, char** argv) {
    using namespace zortan::analysis;
    std::vector<int16_t> signal(16000 * 60);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 1000.0);
    for (int16_t& s : signal) s = static_cast<int16_t>(noise(random));
    const auto set = zortan::fast::chosenInstructionSet();
    std::printf("kernels: %s%s\n", zortan::fast::nameOf(set),
                HasVectorLog(set) ? ", vector logarithm" : "");
    struct Case {
        const char* key;
        const char* name;
        bool exact, powerOnly;
        size_t frames;
    };
    for (const Case& c : {Case{"power", "power alone", false, true, 600000},
                          Case{"five", "all five", false, false, 300000},
                          Case{"readable", "all five, readable", true, false, 3000}}) {
        if (argc > 1 && std::string(argv[1]) != c.key) continue;
        FrameOptions options;
        options.exact = c.exact;
        options.powerOnly = c.powerOnly;
        const FrameAnalyser analyser(options);
        double best = 0.0;
        long checksum = 0;
        for (int pass = 0; pass < 5; ++pass) {
            checksum = 0;
            const auto start = std::chrono::steady_clock::now();
            for (size_t f = 0; f < c.frames; ++f) {
                const size_t at = 1 + (f * 160) % (signal.size() - 2 * kFrameLength);
                const FrameVectors v = analyser.analyse(&signal[at], signal[at - 1]);
                checksum += v.features[0][1] + v.features[4][1];
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            best = std::max(best, static_cast<double>(c.frames) / seconds);
        }
        std::printf("%-19s %9.0f frames/s (checksum %ld)\n", c.name, best, checksum);
    }
    return 0;
}
