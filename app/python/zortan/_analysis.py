"""Recordings and annotations into fvs records with the program's analysis
library: zortan.analyse (the frame analysis zortan-analyse does), read_audio,
read_labels and the LabelMap that makes labels one-character qualifiers."""
from __future__ import annotations

import math as _math
import numbers as _numbers
import os as _os
import warnings as _warnings
from typing import Any, Callable, List, Optional, Sequence, Tuple, Union

import numpy as _np

from . import _zortan
# Defined by the package before it imports this module.
from . import FVS_RECORD, _first, _qualifiers, _records_frame
from ._files import Error, FileError, InvalidArgument, WrongType, _integer, _open_input

PathLike = Union[str, "_os.PathLike[str]"]

#: The windows by the names zortan-analyse --window takes, in the order of
#: the header's window_shape.
WINDOWS = ("rectangle", "gauss", "kaiser-bessel", "blackman-harris", "flattop")

#: True where the package reads audio files (built with libsndfile and
#: libsoxr); without them read_audio raises zortan.Error, and analyse takes
#: samples read otherwise.
READS_AUDIO: bool = _zortan.READS_AUDIO

_FRAME = _zortan.FRAME_LENGTH
_RATES = (_zortan.LOWEST_RATE, _zortan.HIGHEST_RATE)


def _text(raw: bytes) -> str:
    """Text of a file as str: UTF-8, other bytes kept as surrogate escapes."""
    return raw.decode("utf-8", "surrogateescape")


def _raw(text: str) -> bytes:
    return text.encode("utf-8", "surrogateescape")


def _real(value: Any, name: str) -> float:
    if isinstance(value, (bool, _np.bool_)) or not isinstance(value, _numbers.Real):
        raise WrongType(f"{name} must be a real number, not {type(value).__name__} {value!r}")
    v = float(value)
    if not _math.isfinite(v):
        raise InvalidArgument(f"{name} must be a finite number, not {v}")
    return v


def _within(value: Any, name: str, low: float, high: float) -> float:
    v = _real(value, name)
    if not low <= v <= high:
        raise InvalidArgument(f"{name} must be {low:g} to {high:g}, not {v:g}")
    return v


def _refused(call: Callable, *args: Any) -> Any:
    """The library's call; what it refuses is an InvalidArgument with its words."""
    try:
        return call(*args)
    except _zortan.AnalysisRefused as refused:
        raise InvalidArgument(str(refused)) from None


class LabelMap:
    """Labels to one-byte qualifiers, as zortan-analyse maps them.

    LabelMap(outside="-")  a new map; `outside` is the qualifier of a frame
              outside every labelled interval (and of the empty label).
    LabelMap.read(path)    the map a run wrote (DIR/labels.map), which goes
              on assigning as the map it was written from.
    write(path)  writes the map as zortan-analyse does (--label-map reads
              it back), so that a corpus analysed in parts, here or by the
              command, shares one map.
    char_for(label)  the qualifier (a one-byte bytes) of a label, assigned
              now when the label is new: a label of one printable character
              is its own unless taken; any other takes the first free one of
              A..Z, a..z, 0..9, the other printable characters, then bytes
              128..255 (labels met in the same order get the same map).
    label_of(char)   the label of a qualifier ("" for outside and for a
              character not assigned); char a one-byte bytes, a
              one-character str or a byte value.
    outside   the outside qualifier (bytes); len(map) the labels assigned;
    items()   [(qualifier, label)] of every label assigned, by qualifier.
    """

    __slots__ = ("_map",)

    def __init__(self, outside: Union[str, bytes] = "-"):
        self._map = _zortan.LabelMap(_byte(outside, "outside"))

    @classmethod
    def read(cls, path: PathLike) -> "LabelMap":
        """The map at `path` (a file not found or unreadable: the FileError
        subclasses; a line no map holds: InvalidArgument naming the line)."""
        path = _os.fsdecode(_os.fspath(path))
        _open_input(path, "label map").close()
        out = cls.__new__(cls)
        out._map = _refused(_zortan.LabelMap.read, _os.fsencode(path))
        return out

    def write(self, path: PathLike) -> None:
        """Writes the map (CR LF lines "<char><TAB><label>", the outside one
        first); a file that cannot be written is a FileError with the
        library's words, a label with a tab or a line break InvalidArgument."""
        path = _os.fsdecode(_os.fspath(path))
        try:
            self._map.write(_os.fsencode(path))
        except _zortan.AnalysisRefused as refused:
            text = str(refused)
            if text.endswith(("cannot be opened for writing", "cannot be written")):
                failure = FileError(text)
                failure.filename = path
                raise failure from None
            raise InvalidArgument(text) from None

    def char_for(self, label: str) -> bytes:
        if not isinstance(label, str):
            raise WrongType(f"a label is a str, not {type(label).__name__}")
        return bytes([_refused(self._map.char_for, _raw(label))])

    def label_of(self, char: Union[str, bytes, int]) -> str:
        return _text(self._map.label_of(_byte(char, "char")))

    @property
    def outside(self) -> bytes:
        return bytes([self._map.outside])

    def __len__(self) -> int:
        return self._map.size

    def items(self) -> List[Tuple[bytes, str]]:
        return [(bytes([c]), _text(label)) for c, label in self._map.items()]

    def __repr__(self) -> str:
        return f"<zortan.LabelMap {len(self)} labels, outside {self.outside!r}>"


def _byte(value: Any, name: str) -> int:
    """One qualifier: a one-byte bytes, a one-character str (up to U+00FF)
    or a byte value."""
    if isinstance(value, (bytes, bytearray)) and len(value) == 1:
        return value[0]
    if isinstance(value, str) and len(value) == 1 and ord(value) < 256:
        return ord(value)
    if isinstance(value, _numbers.Integral) and not isinstance(value, (bool, _np.bool_)) \
            and 0 <= value <= 255:
        return int(value)
    raise InvalidArgument(f"{name} must be one qualifier (a one-byte bytes, a one-character "
                          f"str or a byte value 0..255), not {value!r}")


class Tier(tuple):
    """One interval tier of an annotation: a tuple of its intervals
    (start, end, label), seconds and str, sorted by time and not
    overlapping. An interval whose label is "" is a stretch outside every
    label. Tiers come from read_labels.

    name             the tier's name ("lab", "phn", "wrd", "audacity" for
                     the single-tier formats; "1", "2", ... for HTK's
                     transcriptions).
    label_at(seconds)  the label of the interval with start <= seconds < end,
                     "" where no labelled interval is: the label a frame
                     centred there takes.
    """

    def __new__(cls, name: str, intervals: Sequence[Tuple[float, float, str]],
                handle: Any, index: int) -> "Tier":
        tier = super().__new__(cls, intervals)
        tier.name = name
        tier._handle, tier._index = handle, index
        return tier

    def label_at(self, seconds: float) -> str:
        return _text(self._handle.label_at(self._index, _real(seconds, "seconds")))

    def __repr__(self) -> str:
        return f"<zortan.Tier {self.name!r}: {len(self)} intervals>"


class Labels(dict):
    """An annotation read by read_labels: a dict {tier name: Tier} of its
    interval tiers, in the file's order (of tiers sharing a name, the first).

    path         the file read.
    format       "textgrid-long", "textgrid-short", "htk", "esps", "timit"
                 or "audacity".
    tiers        every interval tier in the file's order, a tuple of Tier
                 (tiers whose name an earlier tier has too are here).
    point_tiers  the names of a TextGrid's point tiers, which are not read.
    end          the latest end of an interval, 0.0 when there is none.
    tier(name)   the tier of that name, else of that number (1 the first),
                 as zortan-analyse --cathN finds it; an int is a number. A
                 tier there is not is refused (InvalidArgument) listing the
                 tiers there are.

    Labels are cath=... of zortan.analyse, with tiers= naming the tier of
    each qualifier.
    """

    def __init__(self, handle: Any, path: str):
        super().__init__()
        self._handle = handle
        self.path = path
        self.format: str = handle.format
        self.tiers: Tuple[Tier, ...] = tuple(
            Tier(_text(name), [(start, end, _text(label)) for start, end, label in intervals],
                 handle, index)
            for index, (name, intervals) in enumerate(handle.tiers))
        for tier in self.tiers:
            self.setdefault(tier.name, tier)
        self.point_tiers: List[str] = [_text(name) for name in handle.point_tiers]
        self.end: float = handle.end

    def _index(self, name: Any) -> int:
        """The index in tiers of the tier a name or number (from 1) names."""
        if isinstance(name, _numbers.Integral) and not isinstance(name, (bool, _np.bool_)):
            if 1 <= name <= len(self.tiers):
                return int(name) - 1
            name = str(int(name))  # refused in the library's words
        if not isinstance(name, str) or not name:
            raise WrongType(f"a tier is named by a non-empty str or numbered by an int, not "
                            f"{type(name).__name__} {name!r}")
        return _refused(self._handle.tier_index, _raw(name))

    def tier(self, name: Union[str, int]) -> Tier:
        return self.tiers[self._index(name)]

    def __repr__(self) -> str:
        return f"<zortan.Labels {self.path!r} ({self.format}): {list(self)}>"


def read_labels(path: PathLike, rate: Optional[float] = None) -> Labels:
    """Reads an annotation with the program's label readers (those of
    zortan-analyse): a Labels, the dict {tier name: Tier} of its interval
    tiers, each a tuple of (start, end, label) in seconds with
    label_at(seconds).

    Praat TextGrids (long and short text forms, UTF-8 or UTF-16; point tiers
    are listed in point_tiers, not read), HTK .lab (100 ns units; "///"
    transcriptions become tiers "1", "2", ...), ESPS/xwaves .lab, TIMIT
    .phn/.wrd (sample numbers: give the recording's `rate` in Hz, which the
    other formats do not use) and Audacity label tracks. The content
    decides the format; the extension settles what it cannot. Labels are
    trimmed; intervals of no duration are dropped and a tier whose
    intervals overlap is refused.

    A file not found, a directory, a FIFO or a device, no permission: the
    FileError subclasses, as read_tree (FileNotFound is a
    FileNotFoundError). Content that is no annotation, or a TIMIT file
    without its rate: InvalidArgument (a ValueError) with the reader's
    words, naming the file and the line.
    """
    path = _os.fsdecode(_os.fspath(path))
    sample_rate = 0.0
    if rate is not None:
        sample_rate = _real(rate, "rate")
        if sample_rate <= 0:
            raise InvalidArgument(f"rate is the recording's sample rate in Hz, above 0, "
                                  f"not {sample_rate:g}")
    _open_input(path, "label file").close()
    return Labels(_refused(_zortan.read_annotation, _os.fsencode(path), sample_rate), path)


def read_audio(path: PathLike, rate: Optional[float] = None,
               channel: Optional[int] = None) -> Tuple[_np.ndarray, float]:
    """Reads a recording as zortan-analyse does: (samples, rate), the
    samples int16 (n,), one channel, at `rate` Hz.

    Any format libsndfile reads (WAV, FLAC, Ogg, ...). channel: the channel
    taken, 0 the first; None takes the mean of all. rate: resample to this
    many Hz (libsoxr, its high quality); None keeps the recording's. Samples
    beyond the 16-bit range after mixing or resampling are clipped, with a
    warning. zortan.analyse(*zortan.read_audio(path)) analyses the recording
    as the command does.

    Only where the package is built with libsndfile and libsoxr (READS_AUDIO);
    without them it raises zortan.Error saying so. A file not found, a
    directory, no permission: the FileError subclasses, as read_tree; what
    libsndfile cannot read, a channel the file does not have, a rate outside
    1000..384000 Hz: InvalidArgument with the library's words.
    """
    if not READS_AUDIO:
        raise Error("This zortan reads no audio files: it was built without libsndfile and "
                    "libsoxr (Debian's libsndfile1-dev and libsoxr-dev). Read the samples "
                    "otherwise (the wave module, soundfile) and give them to zortan.analyse.")
    path = _os.fsdecode(_os.fspath(path))
    to = 0.0 if rate is None else _real(rate, "rate")
    which = -1 if channel is None else _integer(channel, "channel")
    if which < -1 or (channel is not None and which < 0):
        raise InvalidArgument(f"channel is 0 (the first) or more, or None (their mean), "
                              f"not {which}")
    _open_input(path, "recording").close()
    samples, got, clipped, _, _ = _refused(_zortan.read_audio, _os.fsencode(path), to, which)
    if clipped:
        _warnings.warn(f'"{path}": {clipped} samples beyond the 16-bit range were clipped.',
                       stacklevel=2)
    return samples, got


class AnalysedRecords(_np.ndarray):
    """The records zortan.analyse gives: a numpy structured array of
    FVS_RECORD (signal, vectors, cath1..cath3), as read_fvs gives a file's,
    with

    header     the header dict (FvsFile.header's keys) that says how they
               were made, as zortan-analyse writes it: write_fvs(path,
               records.header, records) writes the command's file.
    label_map  the LabelMap the qualifiers were mapped through (cath= an
               annotation), else None.
    to_frame(labels=None, feature_kind=None)  a pandas DataFrame of the
               records, as FvsFile.to_frame gives a file's.

    Slices and views keep both; header["records"] and header["cath_nbr"]
    count the whole result (write_fvs counts the records it writes). A
    pickle keeps the header, not the label map (write it with
    LabelMap.write).
    """

    def __array_finalize__(self, obj: Any) -> None:
        self.header = getattr(obj, "header", None)
        self.label_map = getattr(obj, "label_map", None)

    def to_frame(self, labels: Optional[Sequence[str]] = None,
                 feature_kind: Optional[int] = None):
        """The records as a pandas DataFrame (FvsFile.to_frame)."""
        return _records_frame(self.view(_np.ndarray), labels, feature_kind)

    def __reduce__(self):
        rebuild, arguments, state = super().__reduce__()[:3]
        return rebuild, arguments, (state, self.header)

    def __setstate__(self, state: Any) -> None:
        super().__setstate__(state[0])
        self.header = state[1]


def _samples(signal: Any, scale: Any) -> _np.ndarray:
    """The signal as 16-bit samples (see analyse)."""
    array = _np.asarray(signal)
    if array.dtype.kind not in "biuf" or array.dtype.kind == "b":
        raise WrongType(f"signal must hold real numbers, not {array.dtype}")
    if array.ndim != 1:
        raise InvalidArgument(f"signal must be one dimension of samples, not an array of shape "
                              f"{array.shape} (take one channel, or their mean, first)")
    if array.dtype == _np.int16 and scale is None:
        return _np.ascontiguousarray(array, dtype=_np.dtype(_np.int16).newbyteorder("="))
    values = array.astype(_np.float64)
    if scale is not None:
        values = values * _real(scale, "scale")
    rounded = _np.rint(values)
    bad = ~((rounded >= -32768) & (rounded <= 32767))
    if bad.any():
        at = _first(bad.reshape(1, -1))[1]
        scaled = " times the scale" if scale is not None else ""
        raise InvalidArgument(
            f"signal[{at}] is {array[at].item()!r}{scaled}, "
            "no 16-bit sample: samples are taken in the 16-bit scale (-32768..32767), "
            "rounded; give scale= for others (32768 for samples in -1..1 as soundfile and "
            "librosa read them)")
    return rounded.astype(_np.int16)


def _tier_indexes(tiers: Any, labels: Labels) -> List[int]:
    """The tier of each qualifier, its index in labels.tiers, -1 for none."""
    if tiers is None:
        tiers = (1,) if labels.tiers else ()
    elif isinstance(tiers, (str, _numbers.Integral)):
        tiers = (tiers,)
    if not isinstance(tiers, Sequence) or len(tiers) > 3:
        raise InvalidArgument(f"tiers names the tier of qualifiers 1 to 3 (up to three names "
                              f"or numbers, None for none), not {tiers!r}")
    indexes = [-1 if tier is None else labels._index(tier) for tier in tiers]
    return indexes + [-1] * (3 - len(indexes))


def _triple(value: Any, what: str) -> bytes:
    """Three qualifiers as bytes."""
    given = list(value) if isinstance(value, (bytes, bytearray, str)) else value
    try:
        return _qualifiers(_np.asarray(given), 1).tobytes()
    except (InvalidArgument, WrongType):
        raise InvalidArgument(f"{what} must be three qualifiers (b\"abc\", \"abc\" or three "
                              f"byte values), not {value!r}") from None


def analyse(signal: Any, rate: float, *, step: float = 10.0, window: str = "gauss",
            preemphasis: Optional[float] = 0.95, lifter: int = 24, gauss_width: float = 0.4,
            kaiser_beta: float = 8.0, cath: Any = None, tiers: Any = None,
            label_map: Optional[LabelMap] = None, exact: bool = False,
            scale: Optional[float] = None, name: str = "") -> AnalysedRecords:
    """Analyses a recording's samples into the fvs records zortan-analyse
    writes, with the program's analysis library (the same frames, vectors,
    qualifiers and header).

    signal   (n,) samples of one channel. int16 samples are taken as they
             are; any other real numbers in the 16-bit scale, rounded half to
             even: a value that rounds outside -32768..32767 (or is NaN) is
             refused naming it. scale= multiplies every sample first
             (scale=32768 for floats in -1..1, as soundfile and librosa
             give them; 1.0 then is refused, as beyond the 16-bit scale).
    rate     Hz, 1000 to 384000.
    step     ms between the starts of frames: frame f starts at sample
             round(f * step * rate / 1000) and is taken when its 256 samples
             are all in the signal; a step below one sample is refused.
    window   "rectangle", "gauss" (gauss_width: its standard deviation as a
             share of half the frame, 0.01..10), "kaiser-bessel" (kaiser_beta,
             0..50), "blackman-harris" or "flattop" (WINDOWS).
    preemphasis  x[n] - a x[n-1] with a in -1..1; None or 0 for none.
    lifter   1..129: the cepstral coefficients the smoothed spectrum keeps.
    exact    True: the readable sums, the same bits on every machine (as the
             bundled samples are made); False (default) FFTW's transforms,
             within one unit of them (where the package was built without
             FFTW, the readable sums too).
    cath     the qualifiers of each frame, taken at its centre:
               None     every qualifier the outside one ("-", or
                        label_map.outside);
               three qualifiers (b"abc", "abc", three byte values) for
                        every frame;
               a callable(seconds) giving three qualifiers as above;
               an annotation (read_labels): qualifier q is the label at the
                        frame's centre of the tier tiers[q-1], made one
                        character through label_map (every label of the
                        tiers taken in the tiers' order first, as
                        zortan-analyse takes them), the outside qualifier
                        where no labelled interval is.
    tiers    with an annotation: up to three tier names or numbers (1 the
             first), None for a qualifier left outside; one name for
             qualifier 1 alone. Default: the first tier for qualifier 1, as
             zortan-analyse's.
    label_map  the LabelMap to extend (shared by the recordings of a
             corpus, and with zortan-analyse through LabelMap.read/write);
             None: a new one, which the result's label_map holds.
    name     the recording's name for the header (wave_name; Latin-1, at
             most 255 characters).

    Returns AnalysedRecords: the FVS_RECORD records with .header (the
    header dict, as read_fvs gives it) and .label_map;
    zortan.write_fvs(path, records.header, records) writes them as
    zortan-analyse writes its file. Components clamped to the 16-bit range
    are counted in a warning. A signal of other than one dimension, fewer
    than 256 samples, an option out of its range: InvalidArgument (a wrong
    type WrongType); a tier there is not: InvalidArgument listing the tiers.

        samples, rate = zortan.read_audio("talk.wav")
        labels = zortan.read_labels("talk.TextGrid")
        records = zortan.analyse(samples, rate, cath=labels, tiers=("phones", "words"))
        zortan.write_fvs("talk.fvs", records.header, records)
    """
    samples = _samples(signal, scale)
    rate = _within(rate, "rate", *_RATES)
    step = _real(step, "step")
    if step <= 0:
        raise InvalidArgument(f"step is the ms between frames, above 0, not {step:g}")
    if not isinstance(window, str):
        raise WrongType(f"window must be a name of WINDOWS, not {type(window).__name__}")
    if window not in WINDOWS:
        raise InvalidArgument(f"window must be one of {', '.join(WINDOWS)}, not {window!r}")
    a = 0.0 if preemphasis is None else _within(preemphasis, "preemphasis", -1.0, 1.0)
    lifter = _integer(lifter, "lifter")
    if not 1 <= lifter <= 129:
        raise InvalidArgument(f"lifter must be 1 to 129, not {lifter}")
    gauss_width = _within(gauss_width, "gauss_width", 0.01, 10.0)
    kaiser_beta = _within(kaiser_beta, "kaiser_beta", 0.0, 50.0)
    if not isinstance(name, str):
        raise WrongType(f"name must be a str, not {type(name).__name__}")
    try:
        wave_name = name.encode("latin-1")
    except UnicodeEncodeError:
        raise InvalidArgument(f"name must be Latin-1 text: {name!r}") from None
    if len(wave_name) > 255:
        raise InvalidArgument(f"name has {len(wave_name)} characters, more than 255")
    if label_map is not None and not isinstance(label_map, LabelMap):
        raise WrongType(f"label_map must be a zortan.LabelMap, not {type(label_map).__name__}")

    outside = bytes(label_map.outside if label_map is not None else b"-")
    constant, at, annotation, indexes, used = outside * 3, None, None, [-1] * 3, None
    if isinstance(cath, Labels):
        used = label_map if label_map is not None else LabelMap()
        annotation, indexes = cath._handle, _tier_indexes(tiers, cath)
    elif tiers is not None:
        raise WrongType("tiers name tiers of an annotation given as cath (read_labels)")
    elif callable(cath):
        given = cath
        at = lambda seconds: _triple(given(seconds), f"cath({seconds:g})")  # noqa: E731
    elif cath is not None:
        constant = _triple(cath, "cath")

    raw, head, clamped = _refused(
        _zortan.analyse, samples, rate, step, WINDOWS.index(window), a, lifter, gauss_width,
        kaiser_beta, bool(exact), wave_name, constant, at, annotation, indexes,
        used._map if used is not None else None)
    header, _ = _zortan.fvs_header(head)
    records = raw.reshape(-1).view(FVS_RECORD).view(AnalysedRecords)
    records.header = header
    records.label_map = used
    if clamped:
        _warnings.warn(f"{clamped} feature components were clamped to the 16-bit range.",
                       stacklevel=2)
    return records
