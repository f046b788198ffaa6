#include "tools/samplegen/Synthesis.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/Errors.h"

// Keep every a*b+c as two rounded operations, whatever the target offers, so
// that fused multiply-adds cannot change the generated numbers.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zortan::samplegen {

uint64_t Prng::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

double Prng::uniform() {
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
}

int Prng::below(int n) {
    return static_cast<int>(next() % static_cast<uint64_t>(n));
}

double Prng::normal() {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i) sum += uniform();
    return sum - 6.0;
}

double Prng::around(double spread) {
    return 1.0 + spread * (2.0 * uniform() - 1.0);
}

namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

namespace {

// Formants of the vowels "aeiou" of the first speaker, Hz.
constexpr std::array<std::array<double, 4>, 5> kFormants = {{
    {730, 1090, 2440, 3400},  // a
    {530, 1840, 2480, 3500},  // e
    {270, 2290, 3010, 3700},  // i
    {570, 840, 2410, 3300},   // o
    {300, 870, 2240, 3300},   // u
}};
constexpr std::array<double, 4> kBandwidths = {70, 100, 140, 200};
// Speakers "123": pitch and the scale of a shorter vocal tract.
constexpr std::array<double, 3> kPitch = {115, 205, 265};
constexpr std::array<double, 3> kFormantScale = {1.0, 1.14, 1.26};

int16_t toSample(double value) {
    const double v = std::clamp(std::nearbyint(value), -32767.0, 32767.0);
    return fitOrRangeError<int16_t>(v);
}

// One formant: a two-pole resonator of unit gain at 0 Hz.
struct Resonator {
    double a = 1, b = 0, c = 0, y1 = 0, y2 = 0;
    void tune(double frequency, double bandwidth, double rate) {
        const double r = detExp(-kPi * bandwidth / rate);
        b = 2.0 * r * detCosTurns(frequency / rate);
        c = -r * r;
        a = 1.0 - b - c;
    }
    double step(double x) {
        const double y = a * x + b * y1 + c * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

struct Segment {
    int vowel = 0, speaker = 0;
    bool voiced = true;
    int frames = 0;
};

template <size_t N>
std::array<int, N> shuffled(Prng& rng) {
    std::array<int, N> order{};
    for (size_t i = 0; i < N; ++i) order[i] = static_cast<int>(i);
    for (size_t i = N - 1; i > 0; --i)
        std::swap(order[i], order[static_cast<size_t>(rng.below(static_cast<int>(i) + 1))]);
    return order;
}

// Vowels and speakers are drawn from shuffled rounds, so that all values
// occur about equally often; a speaker keeps the floor for five segments.
std::vector<Segment> planSegments(Prng& rng, int count) {
    std::vector<Segment> plan;
    std::array<int, 5> vowels{};
    std::array<int, 3> speakers{};
    for (int s = 0; s < count; ++s) {
        if (s % 5 == 0) vowels = shuffled<5>(rng);
        if (s % 15 == 0) speakers = shuffled<3>(rng);
        Segment seg;
        seg.vowel = vowels[static_cast<size_t>(s % 5)];
        seg.speaker = speakers[static_cast<size_t>((s / 5) % 3)];
        seg.voiced = rng.below(10) >= 3;
        seg.frames = 8 + rng.below(9);
        plan.push_back(seg);
    }
    return plan;
}

// The segment's signal: warm-up samples first, so that the filters have
// settled before the first frame.
std::vector<int16_t> segmentSignal(const Segment& seg, int step, int warmUp, double rate,
                                   Prng& rng) {
    const int total = warmUp + (seg.frames - 1) * step + kFrameLength;
    std::array<double, 4> from{}, to{};
    for (size_t j = 0; j < 4; ++j) {
        from[j] = kFormants[static_cast<size_t>(seg.vowel)][j] *
                  kFormantScale[static_cast<size_t>(seg.speaker)] * rng.around(0.03);
        to[j] = from[j] * rng.around(0.03);
    }
    const double pitchFrom = kPitch[static_cast<size_t>(seg.speaker)] * rng.around(0.05);
    const double pitchTo = pitchFrom * rng.around(0.04);

    std::array<Resonator, 4> tract;
    std::vector<double> out(static_cast<size_t>(total));
    double phase = rng.uniform(), pulse = 0, tilt1 = 0, tilt2 = 0, previous = 0;
    for (int n = 0; n < total; ++n) {
        const double progress = static_cast<double>(n) / total;
        if (n % step == 0)
            for (size_t j = 0; j < 4; ++j)
                tract[j].tune(from[j] + progress * (to[j] - from[j]),
                              kBandwidths[j] * kFormantScale[static_cast<size_t>(seg.speaker)],
                              rate);
        double source = 0;
        if (seg.voiced) {
            phase += (pitchFrom + progress * (pitchTo - pitchFrom)) / rate;
            pulse = 0;
            if (phase >= 1.0) {
                phase -= 1.0;
                pulse = rng.around(0.1);
            }
            // Glottal pulses fall off with frequency; a little breath noise.
            tilt1 = 0.96 * tilt1 + pulse;
            tilt2 = 0.96 * tilt2 + tilt1;
            source = tilt2 + 0.05 * rng.normal();
        } else {
            source = rng.normal();
        }
        for (Resonator& r : tract) source = r.step(source);
        out[static_cast<size_t>(n)] = source - previous;  // lip radiation
        previous = source;
    }
    double energy = 0;
    for (int n = warmUp; n < total; ++n)
        energy += out[static_cast<size_t>(n)] * out[static_cast<size_t>(n)];
    const double rms = std::sqrt(energy / (total - warmUp));
    const double gain = (seg.voiced ? 3000.0 : 900.0) * rng.around(0.25) / rms;
    std::vector<int16_t> signal(static_cast<size_t>(total));
    for (int n = 0; n < total; ++n)
        signal[static_cast<size_t>(n)] = toSample(out[static_cast<size_t>(n)] * gain);
    return signal;
}

}  // namespace

std::vector<fixtures::FvsEvent> synthesiseFrames(const SynthesisSettings& settings) {
    Prng rng(settings.seed);
    analysis::FrameOptions options;
    options.rate = settings.rate;
    options.preemphasis = settings.preemphasis;
    options.window = static_cast<analysis::Window>(settings.windowShape);
    options.lifter = settings.lifterThreshold;
    options.exact = true;  // the same samples on every machine
    const analysis::FrameAnalyser analyser(options);
    const int step =
        static_cast<int>(std::nearbyint(settings.rate * settings.frameStepMs / 1000.0));
    const int warmUp = 2 * kFrameLength;
    std::vector<fixtures::FvsEvent> frames;
    for (const Segment& seg : planSegments(rng, settings.segments)) {
        const std::vector<int16_t> signal = segmentSignal(seg, step, warmUp, settings.rate, rng);
        for (int f = 0; f < seg.frames; ++f) {
            const size_t start = static_cast<size_t>(warmUp + f * step);
            fixtures::FvsEvent e;
            std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(start), kFrameLength,
                        e.signal.begin());
            e.features = analyser.analyse(&signal[start], signal[start - 1]).features;
            e.cath1 = kVowels[static_cast<size_t>(seg.vowel)];
            e.cath2 = kSpeakers[static_cast<size_t>(seg.speaker)];
            e.cath3 = kVoicings[seg.voiced ? 1 : 0];
            frames.push_back(e);
        }
    }
    return frames;
}

}  // namespace zortan::samplegen
