"""Times the frame analysis against torchaudio's Kaldi-compatible front end,
one thread each, on the same recording.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/analysis_bench.py build

Ten minutes of 16 kHz audio (noise through a slow glide of tones), frames of
256 samples every 10 ms, a rectangle window, no pre-emphasis, no dither:
  - torchaudio.compliance.kaldi.spectrogram and .fbank (23 bins), on the
    samples in memory;
  - the build's zortan-analysis-bench (the frame analysis alone, in memory:
    the power spectrum alone, and all five vectors);
  - in memory from Python: zortan.analyse (all five vectors, and the records
    with their samples and qualifiers);
  - from file to file: zortan-analyse on the WAV into an fvs file, against
    torchaudio.load + fbank from the same WAV (which writes nothing).
Prints the best of three runs of each in frames per second. Needs
python3-torchaudio (not needed by the package).
"""

import os
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np

RATE, SECONDS, STEP_MS = 16000, 600, 10.0
REPEATS = 3


def best(label, action, frames):
    walls = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        action()
        walls.append(time.perf_counter() - start)
    t = min(walls)
    print(f"{label:<52} {t:7.3f} s {frames / t:10.0f} frames/s", flush=True)
    return frames / t


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    os.environ.setdefault("OMP_NUM_THREADS", "1")
    import torch
    import torchaudio
    from torchaudio.compliance import kaldi

    import zortan

    torch.set_num_threads(1)
    rng = np.random.default_rng(5)
    t = np.arange(RATE * SECONDS) / RATE
    signal = 8000 * np.sin(2 * np.pi * (200 + 20 * np.sin(0.1 * t)) * t) + rng.normal(0, 800, t.size)
    samples = np.clip(np.rint(signal), -32768, 32767).astype(np.int16)
    frames = (samples.size - 256) // 160 + 1
    waveform = torch.from_numpy(samples.astype(np.float32)).unsqueeze(0)
    options = dict(frame_length=256 / RATE * 1000, frame_shift=STEP_MS, sample_frequency=RATE,
                   dither=0.0, window_type="rectangular", preemphasis_coefficient=0.0,
                   remove_dc_offset=False, round_to_power_of_two=False)
    print(f"torch {torch.__version__}, torchaudio {torchaudio.__version__}, one thread; "
          f"{frames} frames")
    best("torchaudio kaldi.spectrogram (in memory)", lambda: kaldi.spectrogram(waveform, **options),
         frames)
    best("torchaudio kaldi.fbank, 23 bins (in memory)",
         lambda: kaldi.fbank(waveform, num_mel_bins=23, **options), frames)
    print(subprocess.run([os.path.join(build, "bench", "zortan-analysis-bench")], check=True,
                         capture_output=True, text=True).stdout, end="")
    best("zortan.analyse, all five vectors (in memory)",
         lambda: zortan.analyse(samples, RATE, step=STEP_MS, window="rectangle", preemphasis=None),
         frames)

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "long.wav")
        with wave.open(path, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(samples.astype("<i2").tobytes())
        out = os.path.join(folder, "out")
        command = [os.path.join(build, "zortan-analyse"), "--out", out, "--window", "rectangle",
                   "--preemphasis", "off", "--overwrite", "--quiet", "--jobs", "1", path]
        best("zortan-analyse, WAV to fvs file (all five vectors)",
             lambda: subprocess.run(command, check=True), frames)
        print(f"{'':<52} fvs file {os.path.getsize(os.path.join(out, 'long.fvs')) / 1e6:.0f} MB")
        best("torchaudio.load + kaldi.fbank from the WAV (no output)",
             lambda: kaldi.fbank(torchaudio.load(path, normalize=False)[0].float(),
                                 num_mel_bins=23, **options), frames)


if __name__ == "__main__":
    main()
