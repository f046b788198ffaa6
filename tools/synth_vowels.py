"""Writes a recording to try zortan-analyse on: vowels.wav and its labels.

    /usr/bin/python3 tools/synth_vowels.py FOLDER

Three vowels (a, i, u), 0.4 s each and twice over, each followed by 0.1 s
of near silence: pulses at 120 Hz through two formant resonators, 16 kHz,
16-bit mono. The labels are an Audacity label track (vowels.txt: start,
end and vowel, tab-separated, in seconds). Only Python's standard library.
"""
import math
import os
import random
import struct
import sys
import wave

FORMANTS = {"a": (730, 1090), "i": (270, 2290), "u": (300, 870)}
RATE = 16000


def vowel(f1, f2, seconds):
    """Pulses through two two-pole resonators of the formants."""
    poles = []
    for f, bandwidth in ((f1, 80), (f2, 120)):
        r = math.exp(-math.pi * bandwidth / RATE)
        poles.append((2 * r * math.cos(2 * math.pi * f / RATE), -r * r))
    state = [[0.0, 0.0] for _ in poles]
    out = []
    for n in range(int(seconds * RATE)):
        x = 1.0 if n % (RATE // 120) == 0 else 0.0
        for (b, c), s in zip(poles, state):
            x = x + b * s[0] + c * s[1]
            s[1], s[0] = s[0], x
        out.append(x)
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    random.seed(1)
    samples, labels, t = [], [], 0.0
    for _ in range(2):
        for name, (f1, f2) in FORMANTS.items():
            samples += vowel(f1, f2, 0.4)
            labels.append(f"{t:.3f}\t{t + 0.4:.3f}\t{name}")
            samples += [random.gauss(0, 0.001) for _ in range(int(0.1 * RATE))]
            t += 0.5
    peak = max(abs(v) for v in samples)
    with wave.open(os.path.join(folder, "vowels.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", round(12000 * v / peak)) for v in samples))
    with open(os.path.join(folder, "vowels.txt"), "w") as f:
        f.write("\n".join(labels) + "\n")
    print(f"{folder}/vowels.wav: {len(samples) / RATE:.1f} s; labels in {folder}/vowels.txt")


if __name__ == "__main__":
    main()
