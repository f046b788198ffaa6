"""The power spectrum (vector 0) and the mel smoothed spectrum (vector 2) against
torchaudio's Kaldi-compatible front end (torchaudio.compliance.kaldi), on a vowel-like
signal and on white noise at 16 and 8 kHz: 256-sample frames every 10 ms, the rectangle
window (Kaldi's "rectangular"; kaiser-bessel with beta 0 is the same), pre-emphasis 0 and
0.97, no dither, no DC removal, no zero padding, only frames that fit the signal.

The definitions differ, and the comparison makes up for each:
- units: ours are 0.01 dB of 10 log10(P + 1), Kaldi's the natural log of max(P, 1.2e-7);
  Kaldi's value is turned into ours before comparing.
- Kaldi's spectrogram holds the frame's log energy ln sum x^2 in column 0 in place of
  the DC line; by Parseval that line is 256 e^K0 - 2 sum_{k=1..127} e^Kk - e^K128.
- pre-emphasis: Kaldi takes x[0] - a x[0] for a frame's first sample, we take the sample
  before the frame (0 before the first frame). Kaldi is given the signal pre-emphasised
  our way, its own pre-emphasis off. With its own, the frames differ by
  d = a (x[0] - x[-1]) at n = 0, which adds d to every DFT line: each of our lines lies
  between (|X| - |d|)^2 and (|X| + |d|)^2 of Kaldi's |X|.
- mel bands: Kaldi's 127 bands from 0 Hz to half the rate on 1127 ln(1 + f/700) are our
  bands 1..127, but Kaldi's energy is the SUM of the powers at the spectral lines under
  the triangle, ours the MEAN over 16 points of it, linear between lines. Kaldi's value
  is divided by the sum of its triangle's weights, and only the bands at least 4 line
  spacings wide are compared (16 kHz: bands 112..127, above 5.6 kHz; 8 kHz: 121..127,
  above 3.5 kHz). Narrower bands hold few lines in Kaldi (none or one at the bottom)
  and are interpolated in ours.

Tolerances: the power spectrum within 0.015 dB at every line (0.005 dB of rounding and
0.01 dB between FFTW and the exact sums; measured 0.005 dB). The mel bands compared:
within 0.25 dB in median, 4 dB at worst over frames and bands and 0.15 dB on average
(measured at most 0.10, 2.7 and 0.06 dB; the worst where a strong line just outside
Kaldi's triangle, or the Nyquist line Kaldi never counts, reaches ours through the
interpolation).
"""

import numpy as np
import pytest

import zortan

pytest.importorskip("torchaudio")
import torch  # noqa: E402
from torchaudio.compliance import kaldi  # noqa: E402

STEP = 10.0  # ms
ROUNDING = 1.5  # 0.01 dB: half a unit of rounding, one between the two ways


def vowel(rate, seconds=0.5, seed=1):
    """Harmonics of a wavering 120 Hz under three formants, in a little noise."""
    rng = np.random.default_rng(seed)
    t = np.arange(int(seconds * rate)) / rate
    phase = 2 * np.pi * np.cumsum(120 + 10 * np.sin(2 * np.pi * 3 * t)) / rate
    x = np.zeros_like(t)
    for h in range(1, int(rate / 260)):
        gain = sum(a / (1 + ((h * 120 - f) / b) ** 2)
                   for f, b, a in ((700, 90, 1), (1200, 110, 0.5), (2600, 160, 0.2)))
        x += gain * np.cos(h * phase + rng.uniform(0, 2 * np.pi))
    x = 8000 * x / np.abs(x).max() + rng.normal(0, 30, t.size)
    return np.rint(x).astype(np.int16)


def noise(rate, seconds=0.5, seed=2):
    return np.rint(np.random.default_rng(seed).normal(0, 3000, int(seconds * rate))).astype(
        np.int16)


def kaldi_options(rate, a=0.0):
    # Lengths in ms that Kaldi truncates to 256 and to the shift in samples.
    shift = round(STEP * rate / 1000)
    return dict(sample_frequency=rate, frame_length=256.5e3 / rate,
                frame_shift=(shift + 0.5) * 1e3 / rate, preemphasis_coefficient=a,
                window_type="rectangular", dither=0.0, remove_dc_offset=False,
                round_to_power_of_two=False, snip_edges=True, raw_energy=False,
                energy_floor=0.0)


def emphasised(x, a):
    """x[n] - a x[n-1], 0 before the first sample, as a tensor of one channel."""
    x = x.astype(np.float64)
    return torch.from_numpy(x - a * np.concatenate(([0.0], x[:-1])))[None]


def db100(power):
    """Power in our units, 0.01 dB of 10 log10(P + 1)."""
    return 1000 * np.log10(np.maximum(power, 0) + 1)


def kaldi_power(waveform, rate, a=0.0):
    """|X_k|^2 from Kaldi's spectrogram, the DC line recovered from the frame energy."""
    p = np.exp(kaldi.spectrogram(waveform, **kaldi_options(rate, a)).numpy())
    p[:, 0] = 256 * p[:, 0] - 2 * p[:, 1:128].sum(1) - p[:, 128]
    return p


def vectors(x, rate, a, window="rectangle", **options):
    records = zortan.analyse(x, rate, step=STEP, preemphasis=a, window=window, **options)
    return records["vectors"].astype(float)


SIGNALS = pytest.mark.parametrize("rate, signal", [(16000, vowel), (16000, noise),
                                                   (8000, vowel), (8000, noise)])


@SIGNALS
@pytest.mark.parametrize("a", [0.0, 0.97])
@pytest.mark.parametrize("window", [dict(window="rectangle"),
                                    dict(window="kaiser-bessel", kaiser_beta=0.0)])
def test_power_spectrum_is_kaldis(rate, signal, a, window):
    x = signal(rate)
    ours = vectors(x, rate, a, **window)[:, 0]
    power = kaldi_power(emphasised(x, a), rate)
    assert ours.shape == power.shape
    np.testing.assert_array_less(np.abs(ours - db100(power)), ROUNDING)
    if a:
        # Kaldi's own pre-emphasis: its frame lacks d = a (x[s] - x[s-1]) at n = 0, which
        # moves every line by at most |d| in magnitude.
        starts = np.arange(len(ours)) * round(STEP * rate / 1000)
        before = np.where(starts > 0, x[starts - 1], 0).astype(float)
        d = np.abs(a * (x[starts] - before))[:, None]
        magnitude = np.sqrt(np.maximum(kaldi_power(emphasised(x, 0), rate, a), 0))
        assert np.all(ours >= db100(np.maximum(magnitude - d, 0) ** 2) - ROUNDING)
        assert np.all(ours <= db100((magnitude + d) ** 2) + ROUNDING)


@SIGNALS
@pytest.mark.parametrize("a", [0.0, 0.97])
def test_mel_spectrum_is_kaldis(rate, signal, a):
    x = signal(rate)
    ours = vectors(x, rate, a)[:, 2, 1:128] / 100
    fbank = kaldi.fbank(emphasised(x, a), num_mel_bins=127, low_freq=0.0, high_freq=rate / 2,
                        use_log_fbank=True, use_power=True, **kaldi_options(rate)).numpy()
    weights = kaldi.get_mel_banks(127, 256, float(rate), 0.0, rate / 2, 100.0, -500.0,
                                  1.0)[0].double().numpy()
    # Band j spans mels (j - 1) to (j + 1) of 128ths of the top one.
    top = kaldi.mel_scale_scalar(rate / 2)
    edges = [kaldi.inverse_mel_scale_scalar(j * top / 128) for j in range(129)]
    wide = np.subtract(edges[2:], edges[:-2]) >= 4 * rate / 256
    assert wide.sum() >= 7
    mean = np.exp(fbank[:, wide]) / weights[wide].sum(1)
    differences = ours[:, wide] - db100(mean) / 100
    assert np.median(np.abs(differences)) <= 0.25
    assert np.abs(differences).max() <= 4.0
    assert abs(differences.mean()) <= 0.15
