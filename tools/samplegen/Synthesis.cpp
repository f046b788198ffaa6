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

constexpr double kLn2 = 0.6931471805599453;
constexpr double kPi = 3.141592653589793;
constexpr double kDb100PerNeper = 1000.0 / 2.302585092994046;  // 0.01 dB per natural unit

}  // namespace

double detExp(double x) {
    if (x < -700.0) return 0.0;
    const double k = std::nearbyint(x / kLn2);
    const double r = x - k * kLn2;  // |r| <= ln2 / 2
    double term = 1.0, sum = 1.0;
    for (int n = 1; n < 24; ++n) {
        term = term * r / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

double detLog(double x) {
    int e = 0;
    double m = std::frexp(x, &e);  // exact: x = m * 2^e, 0.5 <= m < 1
    if (m < 0.7071067811865476) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double power = s, sum = 0.0;
    for (int n = 1; n < 40; n += 2) {
        sum += power / n;
        power *= s2;
    }
    return 2.0 * sum + e * kLn2;
}

double detCosTurns(double turns) {
    double t = turns - std::floor(turns);  // [0, 1)
    if (t > 0.5) t = 1.0 - t;              // cos is even and periodic
    const double x = 2.0 * kPi * t, x2 = x * x;
    double term = 1.0, sum = 1.0;
    for (int n = 1; n < 30; ++n) {
        term = -term * x2 / ((2 * n - 1) * (2 * n));
        sum += term;
    }
    return sum;
}

namespace {

constexpr int kBins = kFrameLength / 2 + 1;
static_assert(kBins == kComponents);

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

// Fixed tables of the frame analysis.
struct Analysis {
    std::array<double, kFrameLength> window{};
    std::array<double, kFrameLength> cosTable{}, sinTable{};  // of 2 pi m / L
    // The mel bands: 16 points of each triangle, as (bin position, weight).
    static constexpr int kPoints = 16;
    std::array<std::array<double, kPoints>, kBins> bandBin{}, bandWeight{};
    std::array<double, 4 * kBins> dctTable{};  // cos(pi m / (2 * 129))
    int lifter = 0;
    double preemphasis = 0;
    bool gauss = true;

    explicit Analysis(const SynthesisSettings& s) : lifter(s.lifterThreshold) {
        preemphasis = s.preemphasis;
        gauss = s.windowShape == 1;
        const double centre = (kFrameLength - 1) / 2.0;
        for (int n = 0; n < kFrameLength; ++n) {
            const double u = (n - centre) / (0.4 * centre);
            window[n] = gauss ? detExp(-0.5 * u * u) : 1.0;
            cosTable[n] = detCosTurns(static_cast<double>(n) / kFrameLength);
            sinTable[n] = detCosTurns(static_cast<double>(n) / kFrameLength - 0.25);
        }
        const double binHz = s.rate / kFrameLength;
        const double melMax = mel(s.rate / 2.0);
        for (int j = 0; j < kBins; ++j) {
            const double low = hz((j - 1) * melMax / (kBins - 1));
            const double mid = hz(j * melMax / (kBins - 1));
            const double high = hz((j + 1) * melMax / (kBins - 1));
            for (int p = 0; p < kPoints; ++p) {
                const double f = low + (high - low) * (p + 0.5) / kPoints;
                bandBin[j][p] = f / binHz;
                bandWeight[j][p] = f < mid ? (f - low) / (mid - low) : (high - f) / (high - mid);
            }
        }
        for (int m = 0; m < 4 * kBins; ++m)
            dctTable[m] = detCosTurns(static_cast<double>(m) / (4 * kBins));
    }
    static double mel(double f) { return 1127.0 * detLog(1.0 + f / 700.0); }
    static double hz(double m) { return 700.0 * (detExp(m / 1127.0) - 1.0); }

    // Power at a fractional bin position, linear between lines; the spectrum
    // of a real signal is mirrored at 0 and at half the rate.
    static double powerAt(const std::array<double, kBins>& power, double bin) {
        const double period = kFrameLength;
        bin = std::fabs(bin);
        bin -= period * std::floor(bin / period);
        if (bin > period / 2) bin = period - bin;
        const int k = std::min(static_cast<int>(bin), kBins - 2);
        const double frac = bin - k;
        return power[k] + frac * (power[k + 1] - power[k]);
    }

    void analyse(const int16_t* frame, int16_t previous, fixtures::FvsEvent& e) const {
        std::array<double, kFrameLength> x{};
        for (int n = 0; n < kFrameLength; ++n) {
            const double before = n == 0 ? previous : frame[n - 1];
            x[n] = (frame[n] - preemphasis * before) * window[n];
        }
        std::array<double, kBins> power{}, logPower{};
        for (int k = 0; k < kBins; ++k) {
            double re = 0, im = 0;
            for (int n = 0; n < kFrameLength; ++n) {
                const int m = (k * n) % kFrameLength;
                re += x[n] * cosTable[m];
                im -= x[n] * sinTable[m];
            }
            power[k] = re * re + im * im;
            logPower[k] = detLog(power[k] + 1.0);
        }
        // Real cepstrum: the inverse transform of the even log spectrum.
        std::array<double, kBins> cep{};
        for (int q = 0; q < kBins; ++q) {
            double sum = logPower[0] + logPower[kBins - 1] * (q % 2 ? -1.0 : 1.0);
            for (int k = 1; k < kBins - 1; ++k)
                sum += 2.0 * logPower[k] * cosTable[(k * q) % kFrameLength];
            cep[q] = sum / kFrameLength;
        }
        std::array<double, kBins> mel{};
        for (int j = 0; j < kBins; ++j) {
            double energy = 0, weights = 0;
            for (int p = 0; p < kPoints; ++p) {
                energy += bandWeight[j][p] * powerAt(power, bandBin[j][p]);
                weights += bandWeight[j][p];
            }
            mel[j] = detLog(energy / weights + 1.0);
        }
        for (int k = 0; k < kBins; ++k) {
            double smooth = cep[0];
            for (int q = 1; q < lifter && q < kBins; ++q)
                smooth += 2.0 * cep[q] * cosTable[(k * q) % kFrameLength];
            double melCep = 0;
            for (int j = 0; j < kBins; ++j)
                melCep += mel[j] * dctTable[(k * (2 * j + 1)) % (4 * kBins)];
            melCep = melCep * (k == 0 ? 1.0 : 2.0) / kBins;
            e.features[0][k] = toSample(logPower[k] * kDb100PerNeper);
            e.features[1][k] = toSample(smooth * kDb100PerNeper);
            e.features[2][k] = toSample(mel[k] * kDb100PerNeper);
            e.features[3][k] = toSample(cep[k] * 1000.0);
            e.features[4][k] = toSample(melCep * 1000.0);
        }
    }
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
    const Analysis analysis(settings);
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
            analysis.analyse(&signal[start], signal[start - 1], e);
            e.cath1 = kVowels[static_cast<size_t>(seg.vowel)];
            e.cath2 = kSpeakers[static_cast<size_t>(seg.speaker)];
            e.cath3 = kVoicings[seg.voiced ? 1 : 0];
            frames.push_back(e);
        }
    }
    return frames;
}

}  // namespace zortan::samplegen
