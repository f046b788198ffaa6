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

#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zortan::analysis {

namespace {

static_assert(kBins == kComponents);
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
// FFTW's plans, made with FFTW_UNALIGNED so that any thread may execute them
// on arrays of its own, and the band energies as weights of spectral lines.
struct FrameAnalyser::Fast {
    fftw_plan spectrum = nullptr;  // 256 reals -> 129 complex
    fftw_plan dct1 = nullptr;      // 129 -> 129, REDFT00
    fftw_plan dct2 = nullptr;      // 129 -> 129, REDFT10
    std::array<std::vector<std::pair<int, double>>, kBins> bands;

    // FFTW's planner keeps state of its own: plans are made and destroyed
    // one at a time.
    static std::mutex& planner() {
        static std::mutex m;
        return m;
    }
    Fast() {
        std::array<double, kFrameLength> in{};
        std::array<fftw_complex, kBins> out{};
        std::array<double, kBins> a{}, b{};
        const std::lock_guard<std::mutex> lock(planner());
        const unsigned flags = FFTW_ESTIMATE | FFTW_UNALIGNED;
        spectrum = fftw_plan_dft_r2c_1d(kFrameLength, in.data(), out.data(), flags);
        dct1 = fftw_plan_r2r_1d(kBins, a.data(), b.data(), FFTW_REDFT00, flags);
        dct2 = fftw_plan_r2r_1d(kBins, a.data(), b.data(), FFTW_REDFT10, flags);
    }
    ~Fast() {
        const std::lock_guard<std::mutex> lock(planner());
        for (fftw_plan p : {spectrum, dct1, dct2})
            if (p) fftw_destroy_plan(p);
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
    // fall between (powerAt's sum, gathered once).
    for (size_t j = 0; j < kBins; ++j) {
        std::array<double, kBins> weights{};
        double total = 0.0;
        for (size_t p = 0; p < kPoints; ++p) {
            const double period = kFrameLength;
            double bin = std::fabs(bandBin_[j][p]);
            bin -= period * std::floor(bin / period);
            if (bin > period / 2) bin = period - bin;
            const int k = std::min(static_cast<int>(bin), kBins - 2);
            const double frac = bin - k;
            weights[static_cast<size_t>(k)] += bandWeight_[j][p] * (1.0 - frac);
            weights[static_cast<size_t>(k) + 1] += bandWeight_[j][p] * frac;
            total += bandWeight_[j][p];
        }
        for (size_t k = 0; k < kBins; ++k)
            if (weights[k] != 0.0)
                fast->bands[j].emplace_back(static_cast<int>(k), weights[k] / total);
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
    FrameVectors out;
    std::array<double, kFrameLength> x{};
    for (int n = 0; n < kFrameLength; ++n) {
        const double before = n == 0 ? previous : frame[n - 1];
        x[static_cast<size_t>(n)] =
            (frame[n] - options_.preemphasis * before) * window_[static_cast<size_t>(n)];
    }
    std::array<fftw_complex, kBins> spectrum{};
    fftw_execute_dft_r2c(f.spectrum, x.data(), spectrum.data());
    std::array<double, kBins> power{}, logPower{}, cep{}, lifted{}, smooth{}, melLog{}, melCep{};
    for (size_t k = 0; k < kBins; ++k) {
        power[k] = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];
        logPower[k] = std::log(power[k] + 1.0);
    }
    fftw_execute_r2r(f.dct1, logPower.data(), cep.data());
    for (size_t q = 0; q < kBins; ++q) cep[q] /= kFrameLength;
    for (int q = 0; q < options_.lifter && q < kBins - 1; ++q)
        lifted[static_cast<size_t>(q)] = cep[static_cast<size_t>(q)];
    // The DCT-I counts its last term once, the smoothing's sum twice.
    if (options_.lifter >= kBins) lifted[kBins - 1] = 2.0 * cep[kBins - 1];
    fftw_execute_r2r(f.dct1, lifted.data(), smooth.data());
    for (size_t j = 0; j < kBins; ++j) {
        double energy = 0.0;
        for (const auto& [bin, weight] : f.bands[j])
            energy += weight * power[static_cast<size_t>(bin)];
        melLog[j] = std::log(energy + 1.0);
    }
    fftw_execute_r2r(f.dct2, melLog.data(), melCep.data());
    for (size_t k = 0; k < kBins; ++k) {
        // The DCT-II's sum comes doubled.
        const double melCepstrum = melCep[k] / 2.0 * (k == 0 ? 1.0 : 2.0) / kBins;
        out.features[0][k] = toComponent(logPower[k] * kDb100PerNeper, out.clamped);
        out.features[1][k] = toComponent(smooth[k] * kDb100PerNeper, out.clamped);
        out.features[2][k] = toComponent(melLog[k] * kDb100PerNeper, out.clamped);
        out.features[3][k] = toComponent(cep[k] * 1000.0, out.clamped);
        out.features[4][k] = toComponent(melCepstrum * 1000.0, out.clamped);
    }
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
