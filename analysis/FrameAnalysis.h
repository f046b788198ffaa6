// The analysis of one frame of 256 samples into the five feature vectors of
// an fvs record (129 components each):
//   0 power spectrum: 10 log10(|X_k|^2 + 1) in 0.01 dB, k = 0..128, X the
//     256-point DFT of the pre-emphasised, windowed frame;
//   1 cepstrally smoothed spectrum: the log power spectrum rebuilt from the
//     cepstrum's first `lifter` coefficients (0.01 dB);
//   2 mel smoothed spectrum: the log energy of 129 triangular bands equally
//     spaced on the mel scale m = 2595 log10(1 + f / 700) from 0 Hz to half
//     the rate, each band's energy its weighted mean power, sampled at 16
//     points of the triangle and linear between spectral lines (0.01 dB);
//   3 cepstrum: the inverse DFT of the natural log power spectrum
//     ln(|X_k|^2 + 1), c_q for q = 0..128 (thousandths);
//   4 mel cepstrum: the DCT-II of the 129 natural log band energies,
//     2/129 sum_j L_j cos(pi k (2j + 1) / 258), halved for k = 0
//     (thousandths).
// The "+ 1" inside every logarithm is the floor for silence: a frame of
// zeros gives 0 everywhere. Values are rounded to the nearest and clamped
// to -32767..32767; a clamped component is counted.
//
// Pre-emphasis: x[n] - a x[n-1] (the sample before the frame for n = 0).
// Windows w[n], n = 0..255, with c = 127.5 the centre:
//   rectangle 1; gauss exp(-(n - c)^2 / (2 (width c)^2)) (width 0.4);
//   kaiser-bessel I0(beta sqrt(1 - ((n - c) / c)^2)) / I0(beta) (beta 8);
//   blackman-harris 0.35875 - 0.48829 cos(2 pi n/255) + 0.14128 cos(4 pi n/255)
//     - 0.01168 cos(6 pi n/255);
//   flattop 0.21557895 - 0.41663158 cos(2 pi n/255) + 0.277263158 cos(4 pi n/255)
//     - 0.083578947 cos(6 pi n/255) + 0.006947368 cos(8 pi n/255).
// Two ways compute it. The readable one (`exact`) takes every DFT as its sum
// and every function from the four basic operations (analysis/Elementary.h),
// so the vectors are the same on every machine (the bundled samples are
// analysed so). The fast one takes the DFT of the frame with FFTW (r2c),
// the cepstrum and the smoothed spectrum as DCT-I and the mel cepstrum as a
// DCT-II (FFTW's r2r kinds, which are these sums), the band energies from
// weights of the spectral lines made once, and the C library's logarithm:
// within one unit of the readable vectors. A build without FFTW has only
// the readable way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/Analysis.h"

namespace zortan::analysis {

constexpr int kFrameLength = 256;
constexpr int kBins = kFrameLength / 2 + 1;

// The window shapes by their index in the fvs header.
enum class Window { Rectangle = 0, Gauss = 1, KaiserBessel = 2, BlackmanHarris = 3, FlatTop = 4 };

struct FrameOptions {
    double rate = 16000.0;     // Hz
    double preemphasis = 0.0;  // the coefficient a; 0 for none
    Window window = Window::Gauss;
    double gaussWidth = 0.4;  // the Gauss window's standard deviation, as a share of c
    double kaiserBeta = 8.0;
    int lifter = 24;         // cepstral coefficients kept by the smoothed spectrum
    bool exact = false;      // the readable way, the same bits everywhere
    bool powerOnly = false;  // the power spectrum alone, the other vectors left 0
};

// The five vectors of one frame, and how many components were clamped.
struct FrameVectors {
    std::array<std::array<int16_t, kComponents>, 5> features{};
    size_t clamped = 0;
};

// w[n] of the window `options` names.
double WindowValue(const FrameOptions& options, int n);

class FrameAnalyser {
  public:
    explicit FrameAnalyser(const FrameOptions& options);
    // `frame` holds kFrameLength samples; `previous` is the sample before it.
    FrameVectors analyse(const int16_t* frame, int16_t previous) const;

  private:
    struct Fast;
    double powerAt(const std::array<double, kBins>& power, double bin) const;
    FrameVectors analyseExactly(const int16_t* frame, int16_t previous) const;
    FrameVectors analyseFast(const int16_t* frame, int16_t previous) const;
    std::shared_ptr<const Fast> fast_;  // FFTW's plans and the band weights

    static constexpr int kPoints = 16;
    FrameOptions options_;
    std::array<double, kFrameLength> window_{};
    std::array<double, kFrameLength> cosTable_{}, sinTable_{};  // of 2 pi m / L
    std::array<std::array<double, kPoints>, kBins> bandBin_{}, bandWeight_{};
    std::array<double, 4 * kBins> dctTable_{};  // cos(pi m / (2 * 129))
};

}  // namespace zortan::analysis
