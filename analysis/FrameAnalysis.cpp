#include "analysis/FrameAnalysis.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#ifdef ZORTAN_HAVE_FFTW
#include <fftw3.h>
#endif

#include "analysis/Elementary.h"
#include "analysis/FrameKernels.h"

#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zortan::analysis {

namespace {

static_assert(kBins == kComponents);
// The 129 lines padded to whole vectors of four, the padding zeros.
constexpr size_t kPaddedBins = 132;
constexpr double kDb100PerNeper = 1000.0 / 2.302585092994046;  // 0.01 dB per natural unit

// 1127 ln(1 + f/700), which is 2595 log10(1 + f/700).
double mel(double f) {
    return 1127.0 * detLog(1.0 + f / 700.0);
}
double hz(double m) {
    return 700.0 * (detExp(m / 1127.0) - 1.0);
}

// The modified Bessel function I0 by its power series.
double besselI0(double x) {
    double term = 1.0, sum = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 60; ++k) {
        term = term * q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

}  // namespace

double WindowValue(const FrameOptions& o, int n) {
    const double centre = (kFrameLength - 1) / 2.0;
    const double turns = static_cast<double>(n) / (kFrameLength - 1);
    switch (o.window) {
        case Window::Rectangle:
            return 1.0;
        case Window::Gauss: {
            const double u = (n - centre) / (o.gaussWidth * centre);
            return detExp(-0.5 * u * u);
        }
        case Window::KaiserBessel: {
            const double u = (n - centre) / centre;
            return besselI0(o.kaiserBeta * std::sqrt(std::max(0.0, 1.0 - u * u))) /
                   besselI0(o.kaiserBeta);
        }
        case Window::BlackmanHarris:
            return 0.35875 - 0.48829 * detCosTurns(turns) + 0.14128 * detCosTurns(2 * turns) -
                   0.01168 * detCosTurns(3 * turns);
        case Window::FlatTop:
            return 0.21557895 - 0.41663158 * detCosTurns(turns) +
                   0.277263158 * detCosTurns(2 * turns) - 0.083578947 * detCosTurns(3 * turns) +
                   0.006947368 * detCosTurns(4 * turns);
    }
    return 1.0;
}

namespace {

int16_t toComponent(double value, size_t& clamped) {
    const double v = std::nearbyint(value);
    if (v < -32767.0 || v > 32767.0) {
        ++clamped;
        return static_cast<int16_t>(v < 0 ? -32767 : 32767);
    }
    return static_cast<int16_t>(v);
}

}  // namespace

#ifdef ZORTAN_HAVE_FFTW
// FFTW's plan of the 256-point real DFT, made on aligned arrays (FFTW's
// vector codelets need them; every array it executes on is aligned as
// they are), the band energies as weights of spectral lines, the mel
// cepstrum's DCT-II as two matrices, and the kernels for this processor.
struct FrameAnalyser::Fast {
    fftw_plan spectrum = nullptr;  // 256 reals -> 129 complex
    // Band j's energy: bandWidth lines from bandFirst[j] on, weighted by
    // bandWeights[j bandWidth ...] (zeros beyond the band's own lines).
    size_t bandWidth = 0;
    std::array<int, kBins> bandFirst{};
    std::vector<double> bandWeights;
    // cos(pi k (2j + 1) / 258) is (-1)^k cos(pi k (2 (128 - j) + 1) / 258):
    // the even k take L_j + L_128-j (and L_64), the odd ones L_j - L_128-j.
    static constexpr size_t kEvenRows = 65, kEvenCols = 80, kOddRows = 64, kOddCols = 64;
    std::vector<float> dctEven, dctOdd;
    // A smoothing of few coefficients is their sum, a matrix of lifter rows
    // (2 - [q = 0]) cos(2 pi k q / 256); a longer one the even DFT.
    static constexpr int kMostLiftedBySums = 32;
    static constexpr size_t kSmoothCols = 144;
    std::vector<float> smoothing;
    const FrameKernels* kernels = nullptr;

    // FFTW's planner keeps state of its own: plans are made and destroyed
    // one at a time.
    static std::mutex& planner() {
        static std::mutex m;
        return m;
    }
    Fast() : kernels(&FrameKernelsFor(fast::chosenInstructionSet())) {
        alignas(64) std::array<double, kFrameLength> in{};
        alignas(64) std::array<fftw_complex, kBins> out{};
        const std::lock_guard<std::mutex> lock(planner());
        spectrum = fftw_plan_dft_r2c_1d(kFrameLength, in.data(), out.data(), FFTW_ESTIMATE);
    }
    ~Fast() {
        const std::lock_guard<std::mutex> lock(planner());
        if (spectrum) fftw_destroy_plan(spectrum);
    }
    Fast(const Fast&) = delete;
    Fast& operator=(const Fast&) = delete;
};

#else
struct FrameAnalyser::Fast {};
#endif

FrameAnalyser::FrameAnalyser(const FrameOptions& options) : options_(options) {
    for (int n = 0; n < kFrameLength; ++n) {
        window_[static_cast<size_t>(n)] = WindowValue(options, n);
        cosTable_[static_cast<size_t>(n)] = detCosTurns(static_cast<double>(n) / kFrameLength);
        sinTable_[static_cast<size_t>(n)] =
            detCosTurns(static_cast<double>(n) / kFrameLength - 0.25);
    }
    const double binHz = options.rate / kFrameLength;
    const double melMax = mel(options.rate / 2.0);
    for (int j = 0; j < kBins; ++j) {
        const double low = hz((j - 1) * melMax / (kBins - 1));
        const double mid = hz(j * melMax / (kBins - 1));
        const double high = hz((j + 1) * melMax / (kBins - 1));
        for (int p = 0; p < kPoints; ++p) {
            const double f = low + (high - low) * (p + 0.5) / kPoints;
            bandBin_[static_cast<size_t>(j)][static_cast<size_t>(p)] = f / binHz;
            bandWeight_[static_cast<size_t>(j)][static_cast<size_t>(p)] =
                f < mid ? (f - low) / (mid - low) : (high - f) / (high - mid);
        }
    }
    for (int m = 0; m < 4 * kBins; ++m)
        dctTable_[static_cast<size_t>(m)] = detCosTurns(static_cast<double>(m) / (4 * kBins));
#ifdef ZORTAN_HAVE_FFTW
    if (options.exact) return;
    auto fast = std::make_shared<Fast>();
    // Each band's weighted mean power as weights of the lines its points
    // fall between (powerAt's sum, gathered once), all bands as wide as the
    // widest in whole vectors of four.
    std::array<std::array<double, kBins>, kBins> weights{};
    std::array<size_t, kBins> first{}, last{};
    for (size_t j = 0; j < kBins; ++j) {
        double total = 0.0;
        for (size_t p = 0; p < kPoints; ++p) {
            const double period = kFrameLength;
            double bin = std::fabs(bandBin_[j][p]);
            bin -= period * std::floor(bin / period);
            if (bin > period / 2) bin = period - bin;
            const int k = std::min(static_cast<int>(bin), kBins - 2);
            const double frac = bin - k;
            weights[j][static_cast<size_t>(k)] += bandWeight_[j][p] * (1.0 - frac);
            weights[j][static_cast<size_t>(k) + 1] += bandWeight_[j][p] * frac;
            total += bandWeight_[j][p];
        }
        for (double& w : weights[j]) w /= total;
        first[j] = 0;
        last[j] = kBins - 1;
        while (first[j] < last[j] && weights[j][first[j]] == 0.0) ++first[j];
        while (last[j] > first[j] && weights[j][last[j]] == 0.0) --last[j];
        fast->bandWidth = std::max(fast->bandWidth, (last[j] - first[j] + 4) / 4 * 4);
    }
    fast->bandWeights.assign(kBins * fast->bandWidth, 0.0);
    for (size_t j = 0; j < kBins; ++j) {
        const size_t from = std::min(first[j], kPaddedBins - fast->bandWidth);
        fast->bandFirst[j] = static_cast<int>(from);
        for (size_t k = first[j]; k <= last[j]; ++k)
            fast->bandWeights[j * fast->bandWidth + k - from] = weights[j][k];
    }
    fast->dctEven.assign(Fast::kEvenRows * Fast::kEvenCols, 0.0f);
    fast->dctOdd.assign(Fast::kOddRows * Fast::kOddCols, 0.0f);
    for (size_t r = 0; r < Fast::kEvenRows; ++r)
        for (size_t c = 0; c < 65; ++c)
            fast->dctEven[MatrixIndex(Fast::kEvenRows, r, c)] =
                static_cast<float>(dctTable_[(2 * c * (2 * r + 1)) % (4 * kBins)]);
    for (size_t r = 0; r < Fast::kOddRows; ++r)
        for (size_t c = 0; c < Fast::kOddCols; ++c)
            fast->dctOdd[MatrixIndex(Fast::kOddRows, r, c)] =
                static_cast<float>(dctTable_[((2 * c + 1) * (2 * r + 1)) % (4 * kBins)]);
    if (options.lifter <= Fast::kMostLiftedBySums) {
        const auto rows = static_cast<size_t>(std::max(options.lifter, 1));
        fast->smoothing.assign(rows * Fast::kSmoothCols, 0.0f);
        for (size_t q = 0; q < rows; ++q)
            for (size_t k = 0; k < kBins; ++k)
                fast->smoothing[MatrixIndex(rows, q, k)] =
                    static_cast<float>((q == 0 ? 1.0 : 2.0) * cosTable_[(k * q) % kFrameLength]);
    }
    fast_ = std::move(fast);
#endif
}

// Power at a fractional bin position, linear between lines; the spectrum of
// a real signal is mirrored at 0 and at half the rate.
double FrameAnalyser::powerAt(const std::array<double, kBins>& power, double bin) const {
    const double period = kFrameLength;
    bin = std::fabs(bin);
    bin -= period * std::floor(bin / period);
    if (bin > period / 2) bin = period - bin;
    const int k = std::min(static_cast<int>(bin), kBins - 2);
    const double frac = bin - k;
    return power[static_cast<size_t>(k)] +
           frac * (power[static_cast<size_t>(k) + 1] - power[static_cast<size_t>(k)]);
}

FrameVectors FrameAnalyser::analyse(const int16_t* frame, int16_t previous) const {
    return fast_ ? analyseFast(frame, previous) : analyseExactly(frame, previous);
}

#ifdef ZORTAN_HAVE_FFTW
FrameVectors FrameAnalyser::analyseFast(const int16_t* frame, int16_t previous) const {
    const Fast& f = *fast_;
    const FrameKernels& k = *f.kernels;
    FrameVectors out;
    // Arrays every element of which is written before it is read are left
    // uninitialised.
    alignas(64) std::array<double, kFrameLength> x;
    alignas(64) std::array<fftw_complex, kBins> spectrum;
    k.emphasise(frame, previous, options_.preemphasis, window_.data(), x.data(), kFrameLength);
    fftw_execute_dft_r2c(f.spectrum, x.data(), spectrum.data());
    alignas(64) std::array<double, kPaddedBins> power{}, logPower{};
    for (size_t i = 0; i < kBins; ++i)
        power[i] = spectrum[i][0] * spectrum[i][0] + spectrum[i][1] * spectrum[i][1];
    k.logPlusOne(power.data(), logPower.data(), kPaddedBins);
    out.clamped += k.toComponents(logPower.data(), kDb100PerNeper, out.features[0].data(), kBins);
    if (options_.powerOnly) return out;

    // The cepstrum and the smoothed spectrum: the DFT of an even sequence of
    // 256 is the DCT-I of its first 129 terms, real.
    const auto evenDft = [&](const std::array<double, kPaddedBins>& half, double* re) {
        for (size_t i = 0; i < kBins; ++i) x[i] = half[i];
        for (size_t i = 1; i < kBins - 1; ++i) x[kFrameLength - i] = half[i];
        fftw_execute_dft_r2c(f.spectrum, x.data(), spectrum.data());
        for (size_t i = 0; i < kBins; ++i) re[i] = spectrum[i][0];
    };
    alignas(64) std::array<double, kPaddedBins> cep, smooth;
    evenDft(logPower, cep.data());
    for (size_t q = 0; q < kBins; ++q) cep[q] *= 1.0 / kFrameLength;  // exact: a power of two
    if (!f.smoothing.empty()) {
        const size_t rows = f.smoothing.size() / Fast::kSmoothCols;
        alignas(64) std::array<float, Fast::kMostLiftedBySums> kept{};
        for (size_t q = 0; q < rows && q < static_cast<size_t>(options_.lifter); ++q)
            kept[q] = static_cast<float>(cep[q]);
        alignas(64) std::array<float, Fast::kSmoothCols> sums;
        k.multiply(f.smoothing.data(), kept.data(), rows, Fast::kSmoothCols, sums.data());
        std::copy(sums.begin(), sums.begin() + kBins, smooth.begin());
    } else {
        alignas(64) std::array<double, kPaddedBins> lifted{};
        for (int q = 0; q < options_.lifter && q < kBins - 1; ++q)
            lifted[static_cast<size_t>(q)] = cep[static_cast<size_t>(q)];
        // The even sequence counts its middle term once, the smoothing's sum twice.
        if (options_.lifter >= kBins) lifted[kBins - 1] = 2.0 * cep[kBins - 1];
        evenDft(lifted, smooth.data());
    }

    alignas(64) std::array<double, kPaddedBins> energy, melLog;
    std::fill(energy.begin() + kBins, energy.end(), 0.0);
    k.bandSums(power.data(), f.bandFirst.data(), f.bandWeights.data(), f.bandWidth, kBins,
               energy.data());
    k.logPlusOne(energy.data(), melLog.data(), kPaddedBins);

    alignas(64) std::array<float, Fast::kEvenRows> sums;
    alignas(64) std::array<float, Fast::kOddRows> differences;
    for (size_t j = 0; j < 64; ++j) {
        sums[j] = static_cast<float>(melLog[j] + melLog[128 - j]);
        differences[j] = static_cast<float>(melLog[j] - melLog[128 - j]);
    }
    sums[64] = static_cast<float>(melLog[64]);
    alignas(64) std::array<float, Fast::kEvenCols> even;
    alignas(64) std::array<float, Fast::kOddCols> odd;
    k.multiply(f.dctEven.data(), sums.data(), Fast::kEvenRows, Fast::kEvenCols, even.data());
    k.multiply(f.dctOdd.data(), differences.data(), Fast::kOddRows, Fast::kOddCols, odd.data());
    alignas(64) std::array<double, kBins> melCep;
    melCep[0] = even[0] * (1.0 / kBins);
    for (size_t i = 1; i < kBins; ++i)
        melCep[i] = (i % 2 ? odd[i / 2] : even[i / 2]) * (2.0 / kBins);

    out.clamped += k.toComponents(smooth.data(), kDb100PerNeper, out.features[1].data(), kBins);
    out.clamped += k.toComponents(melLog.data(), kDb100PerNeper, out.features[2].data(), kBins);
    out.clamped += k.toComponents(cep.data(), 1000.0, out.features[3].data(), kBins);
    out.clamped += k.toComponents(melCep.data(), 1000.0, out.features[4].data(), kBins);
    return out;
}

#else
FrameVectors FrameAnalyser::analyseFast(const int16_t* frame, int16_t previous) const {
    return analyseExactly(frame, previous);
}
#endif

FrameVectors FrameAnalyser::analyseExactly(const int16_t* frame, int16_t previous) const {
    FrameVectors out;
    std::array<double, kFrameLength> x{};
    for (int n = 0; n < kFrameLength; ++n) {
        const double before = n == 0 ? previous : frame[n - 1];
        x[static_cast<size_t>(n)] =
            (frame[n] - options_.preemphasis * before) * window_[static_cast<size_t>(n)];
    }
    std::array<double, kBins> power{}, logPower{};
    for (int k = 0; k < kBins; ++k) {
        double re = 0, im = 0;
        for (int n = 0; n < kFrameLength; ++n) {
            const auto m = static_cast<size_t>((k * n) % kFrameLength);
            re += x[static_cast<size_t>(n)] * cosTable_[m];
            im -= x[static_cast<size_t>(n)] * sinTable_[m];
        }
        power[static_cast<size_t>(k)] = re * re + im * im;
        logPower[static_cast<size_t>(k)] = detLog(power[static_cast<size_t>(k)] + 1.0);
    }
    if (options_.powerOnly) {
        for (size_t k = 0; k < kBins; ++k)
            out.features[0][k] = toComponent(logPower[k] * kDb100PerNeper, out.clamped);
        return out;
    }
    // Real cepstrum: the inverse transform of the even log spectrum.
    std::array<double, kBins> cep{};
    for (int q = 0; q < kBins; ++q) {
        double sum = logPower[0] + logPower[kBins - 1] * (q % 2 ? -1.0 : 1.0);
        for (int k = 1; k < kBins - 1; ++k)
            sum += 2.0 * logPower[static_cast<size_t>(k)] *
                   cosTable_[static_cast<size_t>((k * q) % kFrameLength)];
        cep[static_cast<size_t>(q)] = sum / kFrameLength;
    }
    std::array<double, kBins> melLog{};
    for (size_t j = 0; j < kBins; ++j) {
        double energy = 0, weights = 0;
        for (size_t p = 0; p < kPoints; ++p) {
            energy += bandWeight_[j][p] * powerAt(power, bandBin_[j][p]);
            weights += bandWeight_[j][p];
        }
        melLog[j] = detLog(energy / weights + 1.0);
    }
    for (int k = 0; k < kBins; ++k) {
        double smooth = cep[0];
        for (int q = 1; q < options_.lifter && q < kBins; ++q)
            smooth += 2.0 * cep[static_cast<size_t>(q)] *
                      cosTable_[static_cast<size_t>((k * q) % kFrameLength)];
        double melCep = 0;
        for (int j = 0; j < kBins; ++j)
            melCep += melLog[static_cast<size_t>(j)] *
                      dctTable_[static_cast<size_t>((k * (2 * j + 1)) % (4 * kBins))];
        melCep = melCep * (k == 0 ? 1.0 : 2.0) / kBins;
        const auto i = static_cast<size_t>(k);
        out.features[0][i] = toComponent(logPower[i] * kDb100PerNeper, out.clamped);
        out.features[1][i] = toComponent(smooth * kDb100PerNeper, out.clamped);
        out.features[2][i] = toComponent(melLog[i] * kDb100PerNeper, out.clamped);
        out.features[3][i] = toComponent(cep[i] * 1000.0, out.clamped);
        out.features[4][i] = toComponent(melCep * 1000.0, out.clamped);
    }
    return out;
}

}  // namespace zortan::analysis
