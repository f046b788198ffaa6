"""Recordings analysed from Python: the records, header and label map are
those zortan-analyse writes for the same samples and annotation, the fast
way stays within one unit of the readable sums, the annotation readers give
their tiers, and what cannot be analysed or read is refused."""

import os
import subprocess
import wave

import numpy as np
import pytest

import zortan

RATE = 16000
GRID = ('File type = "ooTextFile"\nObject class = "TextGrid"\n\n0\n0.5\n<exists>\n2\n'
        '"IntervalTier"\n"words"\n0\n0.5\n2\n0\n0.25\n"yes"\n0.25\n0.5\n"no"\n'
        '"IntervalTier"\n"phones"\n0\n0.5\n3\n0\n0.1\n"j"\n0.1\n0.3\n"eh"\n0.3\n0.5\n""\n')


def tone(seconds=0.5, seed=3):
    """A gliding tone in noise, int16."""
    t = np.arange(int(seconds * RATE)) / RATE
    rng = np.random.default_rng(seed)
    x = 9000 * np.sin(2 * np.pi * (300 + 900 * t) * t) + rng.normal(0, 300, t.size)
    return np.rint(x).astype(np.int16)


def write_wav(path, samples):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.astype("<i2").tobytes())


@pytest.mark.parametrize("options, command", [
    ({}, []),
    (dict(window="kaiser-bessel", kaiser_beta=5.0, preemphasis=None, step=7.5, lifter=12),
     ["--window", "kaiser-bessel", "--kaiser-beta", "5", "--preemphasis", "off", "--step", "7.5",
      "--lifter", "12"]),
])
def test_analyse_writes_what_zortan_analyse_writes(tmp_path, options, command):
    samples = tone()
    wav, grid = tmp_path / "talk.wav", tmp_path / "talk.TextGrid"
    write_wav(wav, samples)
    grid.write_text(GRID)
    labels = zortan.read_labels(grid)
    records = zortan.analyse(samples, RATE, cath=labels, tiers=("phones", "words"),
                             name=str(wav), **options)
    mapped = records.label_map
    assert [mapped.label_of(c) for c in (b"j", b"A", b"B", b"C")] == ["j", "eh", "yes", "no"]
    centres = (np.arange(len(records)) * options.get("step", 10) * RATE / 1000 + 128) / RATE
    expected = [mapped.char_for(labels["phones"].label_at(s)) for s in centres]
    assert records["cath1"].tolist() == expected and b"-" in expected
    # The same qualifiers from a callable, through the same map.
    again = zortan.analyse(samples, RATE, name=str(wav), **options, cath=lambda s: (
        mapped.char_for(labels["phones"].label_at(s)) + mapped.char_for(
            labels["words"].label_at(s)) + b"-"))
    assert again.tobytes() == records.tobytes()
    zortan.write_fvs(tmp_path / "py.fvs", records.header, records)
    back = zortan.read_fvs(tmp_path / "py.fvs")
    assert back.header == records.header and back.records.tobytes() == records.tobytes()
    if zortan.READS_AUDIO:
        read, rate = zortan.read_audio(wav)
        assert rate == RATE and read.dtype == np.int16
        np.testing.assert_array_equal(read, samples)
    if "ZORTAN_ANALYSE" not in os.environ:
        pytest.skip("zortan-analyse is not named by ZORTAN_ANALYSE (ctest names it)")
    out = tmp_path / "out"
    subprocess.run([os.environ["ZORTAN_ANALYSE"], "--quiet", "--out", str(out), "--labels",
                    str(grid), "--cath1", "phones", "--cath2", "words", *command, str(wav)],
                   check=True)
    assert (out / "talk.fvs").read_bytes() == (tmp_path / "py.fvs").read_bytes()
    mapped.write(tmp_path / "labels.map")
    assert (tmp_path / "labels.map").read_bytes() == (out / "labels.map").read_bytes()
    shared = zortan.LabelMap.read(out / "labels.map")
    assert shared.items() == mapped.items() and shared.char_for("new") == mapped.char_for("new")


def test_samples_taken_and_the_fast_way_within_one_unit():
    samples = tone(0.3)
    fast = zortan.analyse(samples, RATE)
    exact = zortan.analyse(samples, RATE, exact=True)
    assert fast.header == exact.header
    gap = np.abs(fast["vectors"].astype(np.int32) - exact["vectors"])
    assert gap.max() <= 1
    # Reals are the 16-bit scale rounded half to even; scale= multiplies first.
    np.testing.assert_array_equal(zortan.analyse(samples / 32768.0, RATE, scale=32768)["vectors"],
                                  fast["vectors"])
    halves = np.tile([0.5, 1.5, -2.5, 7.0], 64)
    np.testing.assert_array_equal(zortan.analyse(halves, RATE)["signal"][0, :4], [0, 2, -2, 7])


def test_read_labels_gives_the_tiers(tmp_path):
    grid = tmp_path / "a.TextGrid"
    grid.write_text(GRID)
    labels = zortan.read_labels(grid)
    assert labels.format == "textgrid-short" and list(labels) == ["words", "phones"]
    assert labels["words"] == ((0.0, 0.25, "yes"), (0.25, 0.5, "no"))
    assert labels.tier(2) is labels["phones"] and labels.end == 0.5
    assert [labels["phones"].label_at(s) for s in (0.0, 0.1, 0.299, 0.3)] == ["j", "eh", "eh", ""]
    track = tmp_path / "b.txt"
    track.write_text("0.5\t1.25\tsi\n\\\t100\t2000\n1.25\t2\tno\n")
    audacity = zortan.read_labels(track)
    assert audacity.format == "audacity"
    assert audacity["audacity"] == ((0.5, 1.25, "si"), (1.25, 2.0, "no"))
    with pytest.raises(zortan.InvalidArgument, match='no tier "vowels"; the tiers are 1 "words"'):
        labels.tier("vowels")
    with pytest.raises(zortan.InvalidArgument, match='no tier "vowels"'):
        zortan.analyse(tone(0.1), RATE, cath=labels, tiers=(None, "vowels"))


def test_unreadable_annotations_are_refused(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        zortan.read_labels(tmp_path / "none.TextGrid")
    assert isinstance(missing.value, zortan.FileNotFound)
    overlap = tmp_path / "o.txt"
    overlap.write_text("0\t1\ta\n0.5\t2\tb\n")
    with pytest.raises(ValueError, match="o.txt:2") as bad:
        zortan.read_labels(overlap)
    assert isinstance(bad.value, zortan.InvalidArgument)
    timit = tmp_path / "s.phn"
    timit.write_text("0 1600 h#\n")
    with pytest.raises(zortan.InvalidArgument, match="sample rate"):
        zortan.read_labels(timit)
    assert zortan.read_labels(timit, rate=RATE)["phn"] == ((0.0, 0.1, "h#"),)


def test_read_audio_resamples_and_refuses(tmp_path):
    wav = tmp_path / "talk.wav"
    write_wav(wav, tone(0.2))
    if not zortan.READS_AUDIO:
        with pytest.raises(zortan.Error, match="without libsndfile"):
            zortan.read_audio(wav)
        return
    half, rate = zortan.read_audio(wav, rate=RATE / 2)
    assert rate == RATE / 2 and abs(len(half) - 1600) <= 1
    with pytest.raises(zortan.InvalidArgument, match="has 1 channel; channel 2 was asked for"):
        zortan.read_audio(wav, channel=1)
    (tmp_path / "text.wav").write_text("no audio\n")
    with pytest.raises(zortan.InvalidArgument, match="cannot be read as audio"):
        zortan.read_audio(tmp_path / "text.wav")
    with pytest.raises(zortan.FileNotFound):
        zortan.read_audio(tmp_path / "none.wav")


@pytest.mark.parametrize("call, kind, says", [
    (lambda x: zortan.analyse(np.stack([x, x]), RATE), zortan.InvalidArgument, "one dimension"),
    (lambda x: zortan.analyse(x, 999), zortan.InvalidArgument, "rate must be 1000 to 384000"),
    (lambda x: zortan.analyse(x, 384001.0), zortan.InvalidArgument, "rate must be"),
    (lambda x: zortan.analyse(x[:255], RATE), zortan.InvalidArgument,
     "255 samples, fewer than one frame"),
    (lambda x: zortan.analyse(x * 4.0, RATE), zortan.InvalidArgument, r"signal\[\d+\] is"),
    (lambda x: zortan.analyse(x, RATE, step=0.05), zortan.InvalidArgument, "less than one sample"),
    (lambda x: zortan.analyse(x, RATE, window="hann"), zortan.InvalidArgument, "window must be"),
    (lambda x: zortan.analyse(x, RATE, cath=lambda s: "ab"), zortan.InvalidArgument,
     "three qualifiers"),
    (lambda x: zortan.analyse(x, RATE, tiers="words"), zortan.WrongType, "annotation"),
    (lambda x: zortan.analyse(x.astype(str), RATE), zortan.WrongType, "real numbers"),
])
def test_refusals(call, kind, says):
    with pytest.raises(kind, match=says):
        call(tone(0.1))
