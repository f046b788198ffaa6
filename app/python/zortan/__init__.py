"""Zortan from Python: quantization trees, coding, fvs event files and .zrt outputs.

Zortan codes acoustic events (feature vectors of up to 129 components with
three one-character qualifiers) against a binary quantization tree cut at K
clusters. This package reads the files the program reads and writes, and
codes events exactly as a coding run of the program does, with the
program's own tree reader and coder (the C++ extension ``zortan._zortan``).

    import zortan
    tree = zortan.read_tree("samples/vowels-cep16-centroids32.vq")
    fvs = zortan.read_fvs("samples/vowels.fvs")
    result = tree.encode(fvs.records["vectors"][:, tree.feature_kind],
                         cath=zortan.cath_of(fvs.records))
    result.codes          # (n,) uint16, as the program's code file holds them

Functions: read_tree, read_fvs, write_fvs, read_zrt, cath_of.
Every failure raises zortan.Error with the program's message text.
"""

from __future__ import annotations

import datetime as _datetime
import os as _os
import warnings as _warnings
from typing import Any, Dict, List, Mapping, Optional, Sequence, Union

import numpy as _np

from . import _zortan
from ._zortan import Error

# Whole files as the batch command codes them; the Dask form is in
# zortan.corpus.
from ._files import OUTPUTS, CorpusResult, CorpusTable, FileResult, RunResult, code_files

Error.__module__ = __name__
Error.__doc__ = "A failure of the program; its text is the program's own message."

__all__ = [
    "Error",
    "Tree",
    "EncodeResult",
    "FvsFile",
    "ZrtFile",
    "FVS_RECORD",
    "ZRT_RECORD",
    "read_tree",
    "read_fvs",
    "write_fvs",
    "read_zrt",
    "cath_of",
    "code_files",
    "OUTPUTS",
    "CorpusResult",
    "CorpusTable",
    "FileResult",
    "RunResult",
]

PathLike = Union[str, "_os.PathLike[str]"]

#: One record of an fvs file (1812 bytes, little-endian): the 256 signal
#: samples, the five feature vectors (kinds 0..4) of 129 components and the
#: three qualifiers; 'lead' and 'trail' are the bytes no reader looks at.
FVS_RECORD = _np.dtype(
    {
        "names": ["lead", "signal", "vectors", "cath1", "cath2", "cath3", "trail"],
        "formats": ["(4,)u1", "(256,)<i2", "(5,129)<i2", "S1", "S1", "S1", "(3,)u1"],
        "offsets": [0, 4, 516, 1806, 1807, 1808, 1809],
        "itemsize": 1812,
    }
)

#: One record of a combined output file (.zrt): the code, the three
#: qualifiers (the event's own in a teaching file, the leaf's readings in a
#: recognition file) and the tag, always 0.
ZRT_RECORD = _np.dtype(
    [("code", "<u2"), ("cath1", "S1"), ("cath2", "S1"), ("cath3", "S1"), ("tag", "u1")]
)


def _io_error(e: OSError, path: str) -> Error:
    """The program's text for a failed file operation, with the file's path."""
    text = _zortan.io_error_text(e.errno) if e.errno else str(e)
    return Error(f"{text}: \"{path}\"")


def _warn(messages: Sequence[str]) -> None:
    for message in messages:
        _warnings.warn(message.replace("\r\n", "\n"), stacklevel=3)


class EncodeResult:
    """What Tree.encode gives for n rows at K clusters.

    codes        (n,) uint16: the code of the leaf each row reached, 0..K-1.
    categories   (n, 3) uint8: the leaf's category readings, indexes into
                 Tree.cath_lists (the characters a recognition file holds).
    paths        (n, K) uint16, with paths=True: paths[i, t] is the node row
                 i stood at in the tree of t+1 clusters (column 0: the root);
                 else None.
    errors       (n, K, 3) uint8, with paths=True and cath given: 1 where the
                 reading of the node at that tree size differs from the
                 row's qualifier, per category (tree size 1 always counts as
                 an error; categories the tree leaves inactive are 0); else None.
    error_counts (K, 3) uint32, with cath given: the errors summed over the
                 rows per tree size, the counts of the program's error table;
                 else None.
    """

    __slots__ = ("codes", "categories", "paths", "errors", "error_counts")

    def __init__(self, codes, categories, paths, errors, error_counts):
        self.codes = codes
        self.categories = categories
        self.paths = paths
        self.errors = errors
        self.error_counts = error_counts

    def __repr__(self) -> str:
        return f"EncodeResult({len(self.codes)} rows)"


class Tree:
    """A quantization tree read by read_tree.

    centroids_nb  the number of groups the tree was grown to.
    full_size     the largest K, the clusters a run codes at by default.
    labels        the three category names (lines 43 to 45 of the file).
    settings      dict of the training settings and header items: the analysis
                  (feature_kind, filter, window_shape, lifter_threshold,
                  frame_step, rate, averaging, averaging_frames, ...; choice
                  items also as <key>_name, None for no choice), the growing
                  (sets_dividing_method 0 CART / 1 Centroids, criteria,
                  classifiers), the sizes (heap_top, considered_components_nb,
                  training_events_nb), constrained_set, cath_sets, cath_nbr,
                  cath_active, group_table and the texts of the file.
    cath_lists    the three category value lists, as str: the character of
                  reading r of category c is cath_lists[c][r].
    feature_kind  which of the five fvs feature vectors the tree codes.
    centroids     (nodes, 129) float64 node centroids.
    sons, brothers (nodes,) int16: the first son of a node (0 for a leaf) and
                  the second son beside a first son.
    codes         (nodes,) uint16: the node codes (a second son's code is the
                  tree size index of its split).
    readings      (nodes, 3) uint8: the category readings of the nodes.
    split_components (nodes,) uint8: the component a CART split compares.
    """

    def __init__(self, handle: "_zortan.Tree"):
        self._tree = handle
        self.centroids_nb: int = handle.centroids_nb
        self.full_size: int = handle.full_size
        self.labels: List[str] = handle.labels
        self.settings: Dict[str, Any] = handle.settings
        self.cath_lists: List[str] = handle.cath_lists
        self.feature_kind: int = self.settings["feature_kind"]
        nodes = handle.nodes
        self.centroids: _np.ndarray = nodes["centroids"]
        self.sons: _np.ndarray = nodes["son"]
        self.brothers: _np.ndarray = nodes["brother"]
        self.codes: _np.ndarray = nodes["code"]
        self.readings: _np.ndarray = nodes["readings"]
        self.split_components: _np.ndarray = nodes["split_component"]

    def __repr__(self) -> str:
        return (
            f"<zortan.Tree {self.centroids_nb} groups, "
            f"{self.settings['sets_dividing_method_name']}, "
            f"feature kind {self.feature_kind}>"
        )

    def encode(
        self,
        vectors: Any,
        K: Optional[int] = None,
        paths: bool = False,
        threads: int = 1,
        averaging: bool = True,
        cath: Any = None,
        _reference: bool = False,
    ) -> EncodeResult:
        """Codes each row of `vectors` as a coding run codes an event at K clusters.

        vectors  (n, m) array, m <= 129, or one row (m,). Each row is the
                 feature vector of one event, components 0..m-1 (the rest
                 are 0): for an fvs file, records["vectors"][:, tree.feature_kind];
                 for a text table, its component columns. int16 rows are taken
                 as the program takes 16-bit components: the reals the
                 distances use equal them. Rows of any other number type are
                 taken as float64 reals, used as they are for the distances,
                 and rounded half to even to the 16-bit components that CART
                 splits and the time averaging use (a value outside -32768..32767
                 raises Error).
        K        the number of clusters, 1..the tree's sizes; None: full_size.
        paths    also give the node paths (and, with cath, the error flags).
        threads  rows are split over this many threads; the GIL is released
                 while coding. The results do not depend on it.
        averaging when the tree was trained with time averaging, the rows are
                 one series in time order and the running average is removed
                 from their components first, as a run does from its first
                 event on (each call starts a new series). As in a run, only
                 the 16-bit components are averaged: the CART splits see the
                 averaged values, while the distances of a centroids tree use
                 the rows' reals as given. False codes the rows as given.
        cath     optional (n, 3) uint8 (or one-byte strings) qualifiers of the
                 rows, as cath_of(records) gives them: only the error flags
                 and counts need them; the codes do not.

        Decisions are those of the program's coder, whose distances are summed
        in extended precision, so close calls go as the program's.
        """
        if K is None:
            K = self.full_size
        array = _np.asarray(vectors)
        if array.ndim == 1:
            array = array.reshape(1, -1)
        if array.dtype != _np.int16:
            if not (_np.issubdtype(array.dtype, _np.number) or array.dtype == bool):
                raise Error(f"vectors must hold numbers, not {array.dtype}")
            array = array.astype(_np.float64, copy=False)
        array = _np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))
        given = None
        if cath is not None:
            given = _np.asarray(cath)
            if given.dtype.kind == "S" and given.dtype.itemsize == 1:
                given = given.view(_np.uint8)
            given = _np.ascontiguousarray(given, dtype=_np.uint8)
        codes, categories, node_paths, errors, counts = self._tree.encode(
            array, int(K), bool(paths), int(threads), bool(averaging), given, bool(_reference)
        )
        return EncodeResult(codes, categories, node_paths, errors, counts)


def read_tree(path: PathLike) -> Tree:
    """Reads a quantization tree file (.vq) with the program's tree reader.

    Messages the program shows without refusing the tree (an old file without
    the FFT window width) come as warnings; a file it refuses raises Error.
    """
    handle = _zortan.read_tree(_os.fspath(path))
    _warn(handle.messages)
    return Tree(handle)


def cath_of(records: _np.ndarray) -> _np.ndarray:
    """The (n, 3) uint8 qualifiers of fvs or .zrt records (fields cath1..cath3)."""
    return _np.stack(
        [_np.asarray(records[f"cath{c}"]).view(_np.uint8) for c in (1, 2, 3)], axis=1
    )


class FvsFile:
    """An fvs event file read by read_fvs.

    header   dict of the header record's fields as the program reads them:
             records (the declared event count), fft_window_width, filter,
             scaling_constants, window_shape (-1: a value that names no
             choice), preemphasis, lifter_threshold, real_type_size,
             frame_step, rate, wave_name ("Unknown" when empty), cath_nbr.
    records  numpy structured array of FVS_RECORD, one per event record of
             the file (a partial last record is left out), memory-mapped
             read-only for a file with records.
    """

    __slots__ = ("header", "records")

    def __init__(self, header: Dict[str, Any], records: _np.ndarray):
        self.header = header
        self.records = records

    def __repr__(self) -> str:
        return f"<zortan.FvsFile {len(self.records)} records>"


def read_fvs(path: PathLike) -> FvsFile:
    """Reads an fvs event file: its header record and its event records."""
    path = _os.fspath(path)
    try:
        with open(path, "rb") as f:
            head = f.read(_zortan.RECORD_SIZE)
            size = _os.fstat(f.fileno()).st_size
    except OSError as e:
        raise _io_error(e, path) from None
    header, messages = _zortan.fvs_header(head)
    _warn(messages)
    count = size // _zortan.RECORD_SIZE - 1
    if count > 0:
        records = _np.memmap(
            path, dtype=FVS_RECORD, mode="r", offset=_zortan.RECORD_SIZE, shape=(count,)
        )
    else:
        records = _np.zeros(0, dtype=FVS_RECORD)
    return FvsFile(header, records)


def write_fvs(path: PathLike, header: Mapping[str, Any], records: _np.ndarray) -> None:
    """Writes an fvs event file the program reads.

    header   a dict as FvsFile.header holds it; missing keys take the defaults
             of the project's writer (FFT width 256, filter 0, realType size 4,
             step 10 ms, rate 16000 Hz, ...). The declared event count is
             always len(records) ('records' in the dict is not used).
    records  a structured array whose fields are those of FVS_RECORD it has
             (others are ignored, missing ones written as zeros).
    """
    records = _np.asarray(records)
    if records.dtype.names is None:
        raise Error("records must be a structured array with the fields of FVS_RECORD")
    out = _np.zeros(len(records), dtype=FVS_RECORD)
    for name in records.dtype.names:
        if name in FVS_RECORD.names:
            out[name] = records[name]
    head = _zortan.fvs_header_record(dict(header), len(out))
    try:
        with open(_os.fspath(path), "wb") as f:
            f.write(head)
            out.tofile(f)
    except OSError as e:
        raise _io_error(e, _os.fspath(path)) from None


# The certificate's fields: name, offset, kind. Kinds: "s" a short string
# (length byte and 63 characters), "b" a byte, "i" a signed byte, "d" a
# double, "l" a signed 32-bit integer, "set" a 32-byte character set.
_CERTIFICATE_FIELDS = [
    ("cDate", 0, "d"), ("cTime", 8, "d"), ("cFileHeading", 16, "s"),
    ("cGivenGroupNbr", 80, "b"), ("cWaveFileDir", 81, "s"),
    ("ctreeTrainingFileDir", 145, "s"), ("cTreeFileDir", 209, "s"),
    ("cWaveFileDir1", 273, "s"), ("cWaveFileDir2", 337, "s"),
    ("cfvsEventsFileDir1", 401, "s"),
    ("radiogroup2itemIndex", 465, "i"), ("radiogroup10itemIndex", 466, "i"),
    ("radiogroup4itemIndex", 467, "i"), ("radiogroup2caption", 468, "s"),
    ("radiogroup10caption", 532, "s"), ("radiogroup4caption", 596, "s"),
    ("radiogroup9itemIndex", 660, "i"), ("radiogroup6itemIndex", 661, "i"),
    ("radiogroup9caption", 662, "s"), ("radiogroup6caption", 726, "s"),
    ("radiogroup5itemIndex", 790, "i"), ("radiogroup8itemIndex", 791, "i"),
    ("radiogroup7itemIndex", 792, "i"), ("radiogroup5caption", 793, "s"),
    ("radiogroup8caption", 857, "s"), ("radiogroup7caption", 921, "s"),
    ("radiogroup16itemIndex", 985, "i"), ("radiogroup29itemIndex", 986, "i"),
    ("radiogroup16caption", 987, "s"), ("radiogroup29caption", 1051, "s"),
    ("radiogroup30itemIndex", 1115, "i"), ("radiogroup31itemIndex", 1116, "i"),
    ("radiogroup30caption", 1117, "s"), ("radiogroup31caption", 1181, "s"),
    ("checkBox6Checked", 1245, "b"), ("checkBox7Checked", 1246, "b"),
    ("checkbox7caption", 1247, "s"), ("checkbox6caption", 1311, "s"),
    ("cCath1Set", 1375, "set"), ("cCath2Set", 1407, "set"), ("cCath3Set", 1439, "set"),
    ("cCath1Nbr", 1471, "b"), ("cCath2Nbr", 1472, "b"), ("cCath3Nbr", 1473, "b"),
    ("cF1cath1Nbr", 1474, "b"), ("cF1cath2Nbr", 1475, "b"), ("cF1cath3Nbr", 1476, "b"),
    ("cframeStep", 1480, "d"), ("cRate", 1488, "d"),
    ("cF1frameStep", 1496, "d"), ("cF1rate", 1504, "d"),
    ("cLifterTreshold0", 1512, "l"), ("cLifterTreshold1", 1516, "l"),
]
_FIELD_SIZES = {"s": 64, "b": 1, "i": 1, "d": 8, "l": 4, "set": 32}
_DAY_ZERO = _datetime.datetime(1899, 12, 30)


def _certificate(image: bytes) -> Dict[str, Any]:
    """The certificate's fields. Its last two bytes are not stored in a file:
    cLifterTreshold1 is then taken from its lower half, which carries the
    whole 16-bit value."""
    cert: Dict[str, Any] = {}
    for name, offset, kind in _CERTIFICATE_FIELDS:
        size = _FIELD_SIZES[kind]
        field = image[offset : offset + size]
        if kind == "l" and len(field) >= 2 and len(field) < 4:
            cert[name] = int.from_bytes(field[:2], "little", signed=True)
            continue
        if len(field) < size:
            continue
        if kind == "s":
            cert[name] = field[1 : 1 + min(field[0], 63)].decode("latin-1")
        elif kind == "b":
            cert[name] = field[0]
        elif kind == "i":
            cert[name] = int.from_bytes(field, "little", signed=True)
        elif kind == "d":
            cert[name] = float(_np.frombuffer(field, "<f8")[0])
        elif kind == "l":
            cert[name] = int.from_bytes(field, "little", signed=True)
        else:
            cert[name] = "".join(chr(c) for c in range(256) if field[c >> 3] >> (c & 7) & 1)
    if "cDate" in cert and "cTime" in cert:
        try:
            cert["written"] = _DAY_ZERO + _datetime.timedelta(days=cert["cDate"] + cert["cTime"])
        except (OverflowError, ValueError):
            cert["written"] = None
    return cert


class ZrtFile:
    """A combined output file (.zrt) read by read_zrt.

    certificate  dict of the certificate's fields under their own names
                 (cDate, cTime, cFileHeading, cGivenGroupNbr, cTreeFileDir,
                 radiogroup2itemIndex, ..., cLifterTreshold1; character sets
                 as str), and 'written', the date and time as a datetime.
    records      numpy structured array of ZRT_RECORD, one per coded event,
                 memory-mapped read-only for a file with records.
    """

    __slots__ = ("certificate", "records")

    def __init__(self, certificate: Dict[str, Any], records: _np.ndarray):
        self.certificate = certificate
        self.records = records

    def __repr__(self) -> str:
        return f"<zortan.ZrtFile {len(self.records)} records>"


def read_zrt(path: PathLike) -> ZrtFile:
    """Reads a combined output file (.zrt): the certificate and the event records."""
    path = _os.fspath(path)
    size_record = ZRT_RECORD.itemsize
    try:
        with open(path, "rb") as f:
            count_record = f.read(size_record)
            if len(count_record) < size_record:
                raise Error(f"Read beyond end of file: \"{path}\" holds no count record")
            pieces = int.from_bytes(count_record[:2], "little")
            image = f.read(pieces * size_record)
            size = _os.fstat(f.fileno()).st_size
    except OSError as e:
        raise _io_error(e, path) from None
    if len(image) < pieces * size_record:
        raise Error(f"Read beyond end of file: \"{path}\" ends within its certificate")
    start = size_record * (1 + pieces)
    count = (size - start) // size_record
    if count > 0:
        records = _np.memmap(path, dtype=ZRT_RECORD, mode="r", offset=start, shape=(count,))
    else:
        records = _np.zeros(0, dtype=ZRT_RECORD)
    return ZrtFile(_certificate(image), records)
