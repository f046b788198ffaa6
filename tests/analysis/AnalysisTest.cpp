// Recordings into frames: the windows and vectors as defined, the frames
// where the step puts them with the qualifiers of their centres, and
// recordings read, mixed and resampled through the audio libraries.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/FrameKernels.h"
#include "analysis/Recording.h"
#include "support/TempDir.h"

namespace zortan::analysis {
namespace {

using testing::TempDir;
constexpr double kPi = 3.14159265358979323846;

// A recording of `n` samples at `rate` Hz, each channel its own function.
std::string writeWav(const TempDir& dir, const std::string& name, double rate,
                     const std::vector<std::vector<double>>& channels) {
    const std::string path = dir.file(name);
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    std::vector<short> frames;
    for (size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& c : channels) frames.push_back(static_cast<short>(std::lrint(c[i])));
    sf_writef_short(f, frames.data(), static_cast<sf_count_t>(channels[0].size()));
    sf_close(f);
    return path;
}

std::vector<double> tone(size_t n, double hz, double rate, double amplitude) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = amplitude * std::sin(2 * kPi * hz * i / rate);
    return v;
}

TEST(FrameAnalysis, WindowsAndVectorsAreTheOnesDefined) {
    FrameOptions o;
    for (Window w : {Window::Rectangle, Window::Gauss, Window::KaiserBessel, Window::BlackmanHarris,
                     Window::FlatTop}) {
        o.window = w;
        SCOPED_TRACE(static_cast<int>(w));
        for (int n = 0; n < kFrameLength; ++n)  // symmetric about the centre
            EXPECT_NEAR(WindowValue(o, n), WindowValue(o, kFrameLength - 1 - n), 1e-12);
        EXPECT_NEAR(WindowValue(o, 127), WindowValue(o, 128), 1e-3);
    }
    o.window = Window::Gauss;
    // exp(-(n - c)^2 / (2 (0.4 c)^2)) at n = 0: u = 1 / 0.4.
    EXPECT_NEAR(WindowValue(o, 0), std::exp(-0.5 / (0.4 * 0.4)), 1e-12);
    o.window = Window::BlackmanHarris;
    EXPECT_NEAR(WindowValue(o, 0), 0.00006, 1e-5);
    o.window = Window::FlatTop;
    EXPECT_NEAR(WindowValue(o, 0), -0.000421, 1e-5);
    o.window = Window::KaiserBessel;
    o.kaiserBeta = 0.0;
    EXPECT_NEAR(WindowValue(o, 3), 1.0, 1e-12);

    // Silence is 0 everywhere (the floor); a tone on spectral line 32 peaks
    // there, at 10 log10 |X|^2 with |X| = 256 * amplitude / 2.
    o = FrameOptions{};
    o.window = Window::Rectangle;
    o.preemphasis = 0.0;
    const FrameAnalyser analyser(o);
    std::vector<int16_t> frame(kFrameLength, 0);
    const FrameVectors quiet = analyser.analyse(frame.data(), 0);
    for (const auto& v : quiet.features)
        for (int16_t c : v) EXPECT_EQ(c, 0);
    for (int n = 0; n < kFrameLength; ++n)
        frame[static_cast<size_t>(n)] =
            static_cast<int16_t>(std::lrint(1000.0 * std::cos(2 * kPi * 32 * n / kFrameLength)));
    const FrameVectors v = analyser.analyse(frame.data(), 0);
    const auto& power = v.features[0];
    EXPECT_EQ(std::max_element(power.begin(), power.end()) - power.begin(), 32);
    EXPECT_NEAR(power[32], 100.0 * 10.0 * std::log10(std::pow(128.0 * 1000.0, 2) + 1.0), 1.0);
    EXPECT_EQ(v.clamped, 0u);
    // The cepstrum's c0 is the mean log power (thousandths of nepers).
    double sum = 0.0;
    for (int k = 0; k < kBins; ++k)
        sum += (k == 0 || k == kBins - 1 ? 1.0 : 2.0) * power[static_cast<size_t>(k)] *
               std::log(10.0) / 1000.0;
    EXPECT_NEAR(v.features[3][0], 1000.0 * sum / kFrameLength, 3.0);
}

// The fast way (FFTW, the C library's logarithm) gives the readable way's
// vectors within one unit, for every window, silence to full scale.
TEST(FrameAnalysis, TheFastWayIsWithinOneUnitOfTheReadableOne) {
    std::mt19937 random(7);
    size_t components = 0, differing = 0;
    for (Window w : {Window::Rectangle, Window::Gauss, Window::KaiserBessel, Window::BlackmanHarris,
                     Window::FlatTop}) {
        for (int lifter : {1, 24, 32, 33, 129}) {
            FrameOptions o;
            o.window = w;
            o.lifter = lifter;
            o.preemphasis = 0.95;
            const FrameAnalyser fast(o);
            o.exact = true;
            const FrameAnalyser exact(o);
            o.powerOnly = true;
            const FrameAnalyser exactPower(o);
            o.exact = false;
            const FrameAnalyser fastPower(o);
            for (double amplitude : {0.0, 3.0, 300.0, 32767.0}) {
                std::vector<int16_t> frame(kFrameLength);
                std::normal_distribution<double> noise(0.0, amplitude / 3.0 + 1e-9);
                for (int16_t& v : frame)
                    v = static_cast<int16_t>(
                        std::clamp(std::lrint(noise(random)), -32768L, 32767L));
                const FrameVectors a = fast.analyse(frame.data(), 5),
                                   b = exact.analyse(frame.data(), 5);
                // The power spectrum alone is the same spectrum, the rest 0.
                for (const FrameAnalyser* alone : {&fastPower, &exactPower}) {
                    const FrameVectors p = alone->analyse(frame.data(), 5);
                    EXPECT_EQ(p.features[0], (alone == &fastPower ? a : b).features[0]);
                    EXPECT_EQ(p.features[3], FrameVectors{}.features[3]);
                }
                for (size_t kind = 0; kind < 5; ++kind)
                    for (size_t k = 0; k < kComponents; ++k) {
                        ++components;
                        const int d = a.features[kind][k] - b.features[kind][k];
                        EXPECT_LE(std::abs(d), 1) << static_cast<int>(w) << " " << lifter << " "
                                                  << amplitude << " " << kind << " " << k;
                        differing += d != 0;
                    }
            }
        }
    }
    EXPECT_LT(differing, components / 100);
}

// Each build of the fast way's loops gives what the baseline build gives:
// the same components (halves to even, the clamped counted), logarithms
// within a few units in the last place, sums within float rounding.
TEST(FrameKernels, EveryBuildAgreesWithTheBaseline) {
    const FrameKernels& base = FrameKernelsFor(fast::InstructionSet::Baseline);
    std::mt19937 random(11);
    std::vector<double> values = {0.0,  1e-300, 1e-9,    0.5,      1.0,      2.5,
                                  -2.5, 3.5,    32767.4, 32767.5,  -32767.5, 32768.0,
                                  -1e9, 1e12,   1e300,   -32766.5, 4.5,      -0.5};
    std::uniform_real_distribution<double> exponent(-8.0, 12.0);
    while (values.size() < 259) values.push_back(std::pow(10.0, exponent(random)));
    for (fast::InstructionSet set : fast::kInstructionSets) {
        if (!fast::runsHere(set)) continue;
        SCOPED_TRACE(fast::nameOf(set));
        const FrameKernels& k = FrameKernelsFor(set);
        for (size_t n : {size_t{1}, size_t{7}, size_t{129}, values.size()}) {
            std::vector<int16_t> a(n), b(n);
            EXPECT_EQ(k.toComponents(values.data(), 1.0, a.data(), n),
                      base.toComponents(values.data(), 1.0, b.data(), n));
            EXPECT_EQ(a, b);
            std::vector<double> logs(n), baseLogs(n);
            std::vector<double> positive(values.begin(), values.begin() + static_cast<long>(n));
            for (double& v : positive) v = std::fabs(v);
            k.logPlusOne(positive.data(), logs.data(), n);
            base.logPlusOne(positive.data(), baseLogs.data(), n);
            for (size_t i = 0; i < n; ++i)
                EXPECT_NEAR(logs[i], baseLogs[i], 1e-15 * std::max(1.0, baseLogs[i])) << i;
        }
        std::vector<float> m(41 * 32), v(41);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (float& x : m) x = unit(random);
        for (float& x : v) x = unit(random);
        std::vector<float> out(32), baseOut(32);
        k.multiply(m.data(), v.data(), 41, 32, out.data());
        base.multiply(m.data(), v.data(), 41, 32, baseOut.data());
        for (size_t c = 0; c < 32; ++c) {
            double sum = 0.0;  // the product as defined
            for (size_t r = 0; r < 41; ++r) sum += double{v[r]} * m[MatrixIndex(41, r, c)];
            EXPECT_NEAR(out[c], sum, 1e-5);
            EXPECT_NEAR(baseOut[c], sum, 1e-5);
        }
        std::vector<double> power(values.begin(), values.begin() + 132), w(3 * 8);
        for (double& x : w) x = unit(random);
        const int first[3] = {0, 5, 124};
        double sums[3], baseSums[3];
        k.bandSums(power.data(), first, w.data(), 8, 3, sums);
        base.bandSums(power.data(), first, w.data(), 8, 3, baseSums);
        for (size_t j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (size_t i = 0; i < 8; ++i)
                sum += w[j * 8 + i] * power[static_cast<size_t>(first[j]) + i];
            EXPECT_NEAR(sums[j], sum, 1e-12 * std::fabs(sum));
            EXPECT_NEAR(baseSums[j], sum, 1e-12 * std::fabs(sum));
        }
    }
}

TEST(Recording, FramesComeEveryStepWithTheQualifiersOfTheirCentres) {
    Audio a;
    a.path = "tone.wav";
    a.rate = 16000.0;
    const std::vector<double> t = tone(16000, 440.0, a.rate, 8000.0);
    for (double s : t) a.samples.push_back(static_cast<int16_t>(std::lrint(s)));
    RecordingOptions o;
    o.stepMs = 10.0;
    std::vector<double> centres;
    const AnalysedRecording r = AnalyseRecording(a, o, [&](double at) {
        centres.push_back(at);
        return std::array<char, 3>{at < 0.5 ? 'x' : 'y', '-', '-'};
    });
    // Starts 0, 160, ..., the last with 256 samples: (16000 - 256) / 160 + 1.
    ASSERT_EQ(r.events.size(), 99u);
    EXPECT_DOUBLE_EQ(centres[0], 128.0 / 16000.0);
    EXPECT_DOUBLE_EQ(centres[98], (98 * 160 + 128) / 16000.0);
    EXPECT_EQ(r.events[1].signal[0], a.samples[160]);
    EXPECT_EQ(r.events[49].cath1, 'x');
    EXPECT_EQ(r.events[50].cath1, 'y');
    EXPECT_EQ(r.header.recordCount, 99u);
    EXPECT_EQ(r.header.frameStep, 10.0);
    EXPECT_EQ(r.header.rate, 16000.0);
    EXPECT_EQ(r.header.windowShape, 1);
    EXPECT_EQ(r.header.preemphasis, 0);  // the default options have none
    EXPECT_EQ(r.header.cathNbr[0], 2);
    EXPECT_EQ(r.header.cathNbr[1], 1);
    // A step of 1.5 samples starts frames at rounded positions.
    a.samples.resize(600);
    o.stepMs = 1.5 / 16.0;
    EXPECT_EQ(
        AnalyseRecording(a, o, [](double) { return std::array<char, 3>{}; }).events[1].signal[0],
        a.samples[2]);  // round(1.5) = 2, halves to even
    a.samples.resize(255);
    EXPECT_THROW(AnalyseRecording(a, o, [](double) { return std::array<char, 3>{}; }), AudioError);
}

TEST(Audio, RecordingsAreMixedChosenAndResampled) {
    TempDir dir;
    const std::vector<double> left = tone(8000, 300.0, 8000.0, 4000.0);
    const std::vector<double> right(8000, 1000.0);
    const std::string stereo = writeWav(dir, "stereo.wav", 8000.0, {left, right});
    const Audio mixed = ReadAudio(stereo, {});
    EXPECT_EQ(mixed.channels, 2);
    ASSERT_EQ(mixed.samples.size(), 8000u);
    EXPECT_EQ(mixed.samples[0], 500);  // (0 + 1000) / 2
    const Audio second = ReadAudio(stereo, {0.0, 1});
    EXPECT_EQ(second.samples[100], 1000);
    // One channel of 16 bits is read as it is: as the mean of three alike.
    const std::string three = writeWav(dir, "three.wav", 8000.0, {left, left, left});
    EXPECT_EQ(ReadAudio(three, {0.0, 2}).samples, ReadAudio(three, {}).samples);
    EXPECT_THROW(ReadAudio(stereo, {0.0, 2}), AudioError);
    // Resampled to 16 kHz: twice the samples, the tone kept.
    const Audio up = ReadAudio(stereo, {16000.0, 0});
    EXPECT_NEAR(static_cast<double>(up.samples.size()), 16000.0, 2.0);
    EXPECT_EQ(up.rate, 16000.0);
    EXPECT_NEAR(up.samples[1001], 4000.0 * std::sin(2 * kPi * 300.0 * 1001 / 16000.0), 40.0);
    EXPECT_EQ(ReadAudioRate(stereo), 8000.0);
    // Not audio, and a rate no frame of 256 samples is taken at.
    EXPECT_THROW(ReadAudio(dir.write("noise.wav", "not a recording"), {}), AudioError);
    EXPECT_THROW(ReadAudio(writeWav(dir, "slow.wav", 500.0, {std::vector<double>(600, 0.0)}), {}),
                 AudioError);
}

}  // namespace
}  // namespace zortan::analysis
