"""Zortan from Python: quantization trees, coding, fvs event files and .zrt outputs.

Zortan codes acoustic events (feature vectors of up to 129 components with
three one-character qualifiers, cath1..cath3) against a binary quantization
tree cut at a number of clusters, n_clusters. This package reads the files
the program reads and writes, and codes events exactly as a coding run of
the program does, with the program's own tree reader and coder (the C++
extension zortan._zortan).

    import zortan
    tree = zortan.read_tree("samples/vowels-cep16-centroids32.vq")
    fvs = zortan.read_fvs("samples/vowels.fvs")
    result = tree.encode(fvs.records["vectors"][:, tree.feature_kind], n_clusters=8,
                         cath=zortan.cath_of(fvs.records))
    result.codes           # (n,) uint16, the leaf's code of each event, 0..7
    result.error_counts    # (8, 3): the error table's counts per tree size
    result.to_frame()      # a pandas DataFrame: code, Vowel, Vowel_recognised, ...

Every number of clusters is given as n_clusters (Tree.encode, train,
TreeQuantizer, code_files, zortan.corpus.code_corpus); the former names K
and clusters are still taken as aliases.

Functions:
  read_tree(path)        a tree file (.vq) as a Tree, ready to code.
  Tree.encode(vectors, n_clusters)  codes rows as a run codes events: an
                         EncodeResult of codes and category readings.
  train(vectors, cath, n_clusters)  grows a Tree from arrays, as
                         zortan-train grows one from files.
  TreeQuantizer          train and encode as a scikit-learn estimator.
  Tree.from_splits(centroids, splits)  a Tree grown elsewhere.
  Tree.write(path)       writes any tree as a tree file.
  read_fvs(path)         an fvs event file: its header and records.
  write_fvs(path, header, records)  writes an fvs event file.
  read_zrt(path)         a combined output file (.zrt): certificate, records.
  cath_of(records)       the qualifiers of fvs or .zrt records, (n, 3).
  code_files(tree, files, n_clusters, outputs=..., out_dir=...)  codes whole
                         files as zortan-batch does, writing its outputs and
                         the corpus error tables: a CorpusResult.
  code_corpus(tree, files, n_clusters, client=None, ...)  code_files on a
                         Dask distributed cluster (zortan.corpus.code_corpus,
                         also zortan.code_corpus after `import zortan`; Dask
                         is imported only when it is used).
  read_audio(path)       a recording's samples (where READS_AUDIO).
  read_labels(path)      an annotation (TextGrid, HTK/ESPS, TIMIT, Audacity).
  analyse(samples, rate, cath=...)  the fvs records zortan-analyse makes of
                         a recording; LabelMap makes labels qualifiers.

    tree = zortan.train(vectors, cath, n_clusters=32, rule="cart")
    tree.encode(vectors).codes    # each row at the leaf the training gave it
    tree.write("mine.vq")         # the file zortan-train writes

    samples, rate = zortan.read_audio("talk.wav")
    records = zortan.analyse(samples, rate, cath=zortan.read_labels("talk.TextGrid"))
    zortan.write_fvs("talk.fvs", records.header, records)

Tables: to_frame() makes a pandas DataFrame (pandas is needed only there;
without it zortan.MissingPackage says how to install it) of an
EncodeResult (one row per event: code, and per category, named after the
tree's label, the qualifier given and the reading recognised), of the
error tables of code_files (CorpusResult, CorpusTable, FileResult,
RunResult: one row per number of clusters 1..K, the columns
<label>_errors and <label>_percent of corpus_error.csv; the row of 1
cluster always counts every event as an error, so it is 100 %), and of
the records of FvsFile, ZrtFile and analyse.

    result = zortan.code_files("samples/vowels-cep16-centroids32.vq",
                               ["samples/vowels.fvs"], n_clusters=[8, 32],
                               outputs="all", out_dir="/tmp/vowels-py")
    result.to_frame(32)["Vowel_percent"]   # the corpus table at 32 clusters

The outputs code_files writes (code_files says what each file holds): the
error file, the combined files (.zrt), the code file (the low byte of each
code as a character: codes above 255 wrap) and the category files (the
positions of the qualifiers in the tree's value lists, not the characters).

Qualifiers and category readings: an event's three qualifiers are
characters (one byte each, the fields cath1..cath3 of fvs and .zrt records).
cath_of(records) gives their byte values, (n, 3) uint8 (chars=True: the
one-byte strings themselves); Tree.encode takes them as `cath`.
EncodeResult.categories gives the leaf's category readings as positions in
the tree's value lists, (n, 3) uint8 indexes into Tree.cath_lists, not
characters; EncodeResult.category_chars gives the characters those positions
stand for (what a recognition .zrt file holds), comparable with
cath_of(..., chars=True).

Failures raise zortan.Error (its text says what is wrong), or one of its
subclasses that is also Python's exception of that kind: InvalidArgument
(ValueError), WrongType (TypeError), FileNotFound (FileNotFoundError),
IsADirectory (IsADirectoryError), PermissionDenied (PermissionError),
NotARegularFile and FileError (OSError), MissingPackage (ImportError).
"""

from __future__ import annotations

import datetime as _datetime
import errno as _errno
import math as _math
import numbers as _numbers
import os as _os
import warnings as _warnings
from typing import Any, Dict, List, Mapping, Optional, Sequence, Union

import numpy as _np

from . import _zortan

#: The package's version, every program's --version too.
__version__: str = _zortan.__version__
from ._files import (
    Error,
    FileError,
    FileNotFound,
    InvalidArgument,
    IsADirectory,
    MissingPackage,
    NotARegularFile,
    PermissionDenied,
    WrongType,
)

# Whole files as the batch command codes them; the Dask form is in
# zortan.corpus.
from ._files import OUTPUTS, CorpusResult, CorpusTable, FileResult, RunResult, code_files
from ._files import (_column_names, _integer, _one_of, _open_input, _os_failure, _pandas,
                     _read_records)

__all__ = [
    "Error",
    "InvalidArgument",
    "WrongType",
    "FileError",
    "FileNotFound",
    "IsADirectory",
    "PermissionDenied",
    "NotARegularFile",
    "MissingPackage",
    "Tree",
    "EncodeResult",
    "FvsFile",
    "ZrtFile",
    "FVS_RECORD",
    "ZRT_RECORD",
    "FEATURE_KINDS",
    "read_tree",
    "train",
    "TreeQuantizer",
    "read_fvs",
    "write_fvs",
    "read_zrt",
    "cath_of",
    "analyse",
    "read_audio",
    "read_labels",
    "AnalysedRecords",
    "Labels",
    "Tier",
    "LabelMap",
    "WINDOWS",
    "READS_AUDIO",
    "code_files",
    "code_corpus",
    "OUTPUTS",
    "CorpusResult",
    "CorpusTable",
    "FileResult",
    "RunResult",
]

for _public in (InvalidArgument, WrongType, FileError, FileNotFound, IsADirectory,
                   PermissionDenied, NotARegularFile, MissingPackage, CorpusResult, CorpusTable,
                   FileResult, RunResult, code_files):
    _public.__module__ = __name__

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

#: The five feature kinds of an fvs record's vectors, by index (write_fvs's
#: feature_kind, Tree.feature_kind).
FEATURE_KINDS = ("power spectrum", "cepstrally smoothed power spectrum",
                 "mel smoothed power spectrum", "cepstrum", "mel cepstrum")

_COMPONENTS = _zortan.COMPONENTS
_INT16 = (-32768, 32767)


def _warn(messages: Sequence[str]) -> None:
    for message in messages:
        _warnings.warn(message.replace("\r\n", "\n"), stacklevel=3)


def _first(mask: _np.ndarray):
    """The (row, column) of the first True of a 2-D mask."""
    return tuple(int(i) for i in _np.argwhere(mask)[0])


def _components(values: _np.ndarray, name: str) -> None:
    """Refuses reals that are no 16-bit components once rounded half to even,
    naming the first row that holds one."""
    # Rounded half to even, -32768.5 and 32767.49.. are the bounds; a NaN
    # fails both comparisons. One pass for the rows that are all good.
    if ((values >= _INT16[0] - 0.5) & (values < _INT16[1] + 0.5)).all():
        return
    bad = ~_np.isfinite(values)
    if bad.any():
        row, col = _first(bad)
        raise InvalidArgument(f"Range check error: row {row} of {name} holds "
                              f"{values[row, col]} at component {col}; every component must "
                              "be a finite number (not NaN nor an infinity).")
    rounded = _np.rint(values)
    bad = (rounded < _INT16[0]) | (rounded > _INT16[1])
    if bad.any():
        row, col = _first(bad)
        raise InvalidArgument(f"Range check error: row {row} of {name} holds "
                              f"{values[row, col]} at component {col}, which rounds outside "
                              f"the 16-bit components' {_INT16[0]}..{_INT16[1]}.")


def _numbers_of(values: Any, name: str) -> _np.ndarray:
    """An array of int16 or float64 numbers."""
    array = _np.asarray(values)
    if array.dtype == _np.int16:
        return array
    if array.dtype.kind == "c":
        raise WrongType(f"{name} must hold real numbers, not {array.dtype}")
    if array.dtype.kind not in "biuf":
        if array.dtype.kind == "O":
            try:
                return array.astype(_np.float64)
            except (TypeError, ValueError):
                pass
        raise WrongType(f"{name} must hold numbers, not {array.dtype}")
    return array.astype(_np.float64, copy=False)


def _looks_transposed(n: int, m: int, components: int) -> str:
    if n == components or (0 < n < m and n <= _COMPONENTS):
        return (f" The array looks transposed: if its {n} rows are components and its "
                f"{m} columns frames (librosa's layout), pass vectors.T.")
    return ""


def _qualifiers(cath: Any, n: int) -> _np.ndarray:
    """(n, 3) uint8 qualifiers: one-byte strings, one-character str, or byte values 0..255."""
    given = _np.asarray(cath)
    if given.ndim == 1 and n == 1 and given.shape[0] == 3:
        given = given.reshape(1, 3)
    if given.shape != (n, 3):
        raise InvalidArgument(f"cath must be (n, 3) qualifiers, one row of three per vector: "
                              f"it has shape {given.shape} for {n} rows.")
    kind = given.dtype.kind
    if kind == "S":
        if given.dtype.itemsize != 1:
            raise InvalidArgument("cath's strings must be one byte each, as records' cath1 "
                                  f"fields are, not {given.dtype}")
        return _np.ascontiguousarray(given.view(_np.uint8))
    if kind == "U":
        if given.dtype.itemsize != 4:
            raise InvalidArgument(f"cath's strings must be one character each, not {given.dtype}")
        codes = given.view(_np.uint32)
    elif kind in "iu":
        codes = given
    else:
        raise WrongType(f"cath must hold one-byte strings or byte values 0..255, not {given.dtype}")
    bad = (codes < 0) | (codes > 255)
    if bad.any():
        row, col = _first(bad)
        raise InvalidArgument(f"cath holds {given[row, col]!r} at row {row}, qualifier {col + 1}: "
                              "a qualifier is one byte, 0 to 255.")
    return _np.ascontiguousarray(codes, dtype=_np.uint8)


class EncodeResult:
    """What Tree.encode gives for n rows at n_clusters = K clusters.

    codes        (n,) uint16: the code of the leaf each row reached, 0..K-1
                 (as a .zrt file holds it; the code file keeps its low byte).
    categories   (n, 3) uint8: the leaf's category readings as positions in
                 the tree's value lists (indexes, not characters): the reading
                 r of category c stands for the character
                 Tree.cath_lists[c][r]. These are what the category files
                 (STEM_recog_<label>.txt) hold. Not comparable with cath_of,
                 which gives characters: see category_chars.
    category_chars (n, 3) one-byte strings (dtype S1): the characters the
                 readings stand for, as a recognition .zrt file holds them;
                 equal to cath_of(recog.records, chars=True), and
                 category_chars.view(numpy.uint8) to cath_of(recog.records).
    paths        (n, K) uint16, with paths=True: paths[i, t] is the node row
                 i stood at in the tree of t+1 clusters (column 0: the root);
                 else None.
    errors       (n, K, 3) uint8, with paths=True and cath given: 1 where the
                 reading of the node at that tree size differs from the
                 row's qualifier, per category (tree size 1 always counts as
                 an error; categories the tree leaves inactive are 0); else None.
    error_counts (K, 3) uint32, with cath given: the errors summed over the
                 rows per tree size, the counts of the program's error table
                 (row 0, one cluster, counts every row); else None.

    to_frame()   a pandas DataFrame, one row per row coded (the index, named
                 event): the column code, and for each category, named after
                 the tree's label (Tree.labels; cath1..cath3 when a label is
                 empty or two are the same), the row's qualifier given as
                 cath (a one-character str; only with cath) and the leaf's
                 reading, <label>_recognised. Needs pandas (zortan.MissingPackage
                 otherwise).

        frame = tree.encode(vectors, cath=zortan.cath_of(records)).to_frame()
        pandas.crosstab(frame["Vowel"], frame["Vowel_recognised"])
    """

    __slots__ = ("codes", "categories", "paths", "errors", "error_counts", "_lists", "_labels",
                 "_given")

    def __init__(self, codes, categories, paths, errors, error_counts, cath_lists=("", "", ""),
                 labels=("cath1", "cath2", "cath3"), cath=None):
        self.codes = codes
        self.categories = categories
        self.paths = paths
        self.errors = errors
        self.error_counts = error_counts
        self._lists = cath_lists
        self._labels = tuple(labels)
        self._given = cath

    @property
    def category_chars(self) -> _np.ndarray:
        """(n, 3) S1: the characters of the leaf's readings (see the class)."""
        chars = _np.zeros(self.categories.shape, dtype="S1")
        for c, values in enumerate(self._lists):
            table = _np.zeros(256, dtype=_np.uint8)
            listed = _np.frombuffer(values.encode("latin-1"), _np.uint8)[:256]
            table[: len(listed)] = listed
            chars[:, c] = table[self.categories[:, c]].view("S1")
        return chars

    def to_frame(self):
        """The rows' codes and categories as a pandas DataFrame (see the class)."""
        pd = _pandas()
        names = _column_names(self._labels, ("", "_recognised"), ("code",))
        data: Dict[str, Any] = {"code": self.codes}
        recognised = _chars(self.category_chars)
        given = None if self._given is None else _chars(self._given)
        for c, name in enumerate(names):
            if given is not None:
                data[name] = given[:, c]
            data[f"{name}_recognised"] = recognised[:, c]
        return pd.DataFrame(data, index=pd.RangeIndex(len(self.codes), name="event"))

    def __repr__(self) -> str:
        return f"EncodeResult({len(self.codes)} rows)"


_LATIN1 = _np.array([chr(b) for b in range(256)], dtype=object)


def _chars(codes: _np.ndarray) -> _np.ndarray:
    """Qualifiers (byte values or one-byte strings) as one-character str
    (Latin-1), for tables."""
    codes = _np.ascontiguousarray(codes)
    return _LATIN1[codes.view(_np.uint8) if codes.dtype.kind == "S" else codes]


class Tree:
    """A quantization tree read by read_tree.

    centroids_nb  the number of groups the tree was grown to.
    full_size     the number of clusters a run (and encode) codes at by default.
    tree_sizes    the most clusters the tree can be cut at: encode's n_clusters
                  is 1..tree_sizes.
    components    the components a row to code holds: the tree's considered
                  components (settings["considered_components_nb"], at most 129).
    labels        the three category names (lines 43 to 45 of the file): the
                  names of the output files' categories and of the category
                  columns of to_frame.
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
    feature_kind  which of the five fvs feature vectors the tree codes
                  (FEATURE_KINDS).
    centroids     (nodes, 129) float64 node centroids.
    sons, brothers (nodes,) int16: the first son of a node (0 for a leaf) and
                  the second son beside a first son.
    codes         (nodes,) uint16: the node codes (a second son's code is the
                  tree size index of its split).
    readings      (nodes, 3) uint8: the category readings of the nodes, as
                  positions in cath_lists (as EncodeResult.categories).
    split_components (nodes,) uint8: the component a CART split compares.

    Trees come from read_tree, train and Tree.from_splits; tree.write(path)
    writes any of them as a tree file. A tree pickles as its file's text.
    """

    def __init__(self, handle: "_zortan.Tree"):
        self._tree = handle
        self.centroids_nb: int = handle.centroids_nb
        self.full_size: int = handle.full_size
        self.tree_sizes: int = handle.tree_sizes
        self.labels: List[str] = handle.labels
        self.settings: Dict[str, Any] = handle.settings
        self.cath_lists: List[str] = handle.cath_lists
        self.feature_kind: int = self.settings["feature_kind"]
        self.components: int = min(max(self.settings["considered_components_nb"], 0), _COMPONENTS)
        nodes = handle.nodes
        self.centroids: _np.ndarray = nodes["centroids"]
        self.sons: _np.ndarray = nodes["son"]
        self.brothers: _np.ndarray = nodes["brother"]
        self.codes: _np.ndarray = nodes["code"]
        self.readings: _np.ndarray = nodes["readings"]
        self.split_components: _np.ndarray = nodes["split_component"]

    def __reduce__(self):
        return (_tree_of_text, (self._tree.text(), "pickled tree"))

    def write(self, path: PathLike) -> None:
        """Writes the tree as a tree file, whole or not at all: the text goes to
        a file beside `path` first, which then takes its name (replacing a
        file of that name).

        A tree from train writes the file zortan-train writes for those
        events and choices. A tree read from a file writes an equivalent
        file: the same tree, settings and texts (line ends CR LF, reals as
        the writer writes them; the items no reader uses, on lines 9, 16,
        17 and 21, as 0), the file itself where it was written so. A folder
        that does not exist, a directory or no permission: the FileError
        subclasses, as read_tree.
        """
        path = _os.fsdecode(_os.fspath(path))
        if _os.path.isdir(path):
            raise _os_failure(IsADirectoryError(_errno.EISDIR, "", path), path, "tree file",
                              "written")
        failed = self._tree.write(path)
        if failed is not None:
            code, text = failed
            err = _RUNTIME_ERRNO.get(code, code)
            raise _os_failure(OSError(err, text), path, "tree file", "written") from None

    @classmethod
    def from_splits(cls, centroids: Any, splits: Any, rule: str = "centroids",
                    thresholds: Any = None, readings: Any = None,
                    labels: Optional[Sequence[str]] = None, components: Any = None,
                    settings: Optional[Mapping[str, Any]] = None) -> "Tree":
        return _train.from_splits(centroids, splits, rule, thresholds, readings, labels,
                                  components, settings)

    def __repr__(self) -> str:
        return (
            f"<zortan.Tree {self.centroids_nb} groups, "
            f"{self.settings['sets_dividing_method_name']}, "
            f"feature kind {self.feature_kind}>"
        )

    def encode(
        self,
        vectors: Any,
        n_clusters: Optional[int] = None,
        paths: bool = False,
        threads: int = 1,
        averaging: bool = True,
        cath: Any = None,
        *,
        pad: bool = False,
        K: Optional[int] = None,
        _reference: bool = False,
    ) -> EncodeResult:
        """Codes each row of `vectors` as a coding run codes an event at
        n_clusters clusters; an EncodeResult (to_frame() makes it a DataFrame).

        vectors  (n, m) array, or one row (m,), whose results are those of
                 one row (codes of shape (1,)). Each row is the feature
                 vector of one event: for an fvs file,
                 records["vectors"][:, tree.feature_kind]; for a text table,
                 its component columns. m is the tree's considered components
                 (tree.components), or 129 (an fvs file's whole vectors: the
                 components beyond tree.components are not used, as in a
                 run); fewer are refused unless pad=True. int16 rows are
                 taken as the program takes 16-bit components: the reals the
                 distances use equal them. Rows of any other real number type
                 are taken as float64 reals, used as they are for the
                 distances, and rounded half to even to the 16-bit components
                 that CART splits and the time averaging use. A NaN or an
                 infinity, or a value that rounds outside -32768..32767, is
                 refused naming its row (InvalidArgument, "Range check error").
                 An array of another width whose rows look like components
                 and columns like frames (librosa's (n_mfcc, frames)) is
                 refused saying it looks transposed.
        n_clusters  the number of clusters K the tree is cut at, an integer
                 1..tree.tree_sizes; None: tree.full_size. `K` is an alias
                 (give one of them). 1.5, "4" or True are refused (WrongType),
                 a number outside the tree InvalidArgument.
        paths    also give the node paths (and, with cath, the error flags).
        threads  rows are split over this many threads (an integer 1..1024);
                 the GIL is released while coding. The results do not depend
                 on it. A thread the system cannot start raises zortan.Error
                 (after the threads started have ended).
        averaging when the tree was trained with time averaging, the rows are
                 one series in time order and the running average is removed
                 from their components first, as a run does from its first
                 event on (each call starts a new series). As in a run, only
                 the 16-bit components are averaged: the CART splits see the
                 averaged values, while the distances of a centroids tree use
                 the rows' reals as given. False codes the rows as given.
        cath     optional (n, 3) qualifiers of the rows (for one row, (3,)):
                 one-byte strings, or their byte values 0..255 as cath_of
                 gives them; a value outside one byte is refused. Only the
                 error flags and counts need them; the codes do not.
        pad      True takes rows of fewer components than tree.components,
                 the missing components being 0 (a text table of fewer
                 components is coded by the program over its own components
                 instead: the result can differ).

        Decisions are those of the program's coder, whose distances are summed
        in extended precision, so close calls go as the program's.
        """
        K = _one_of(n_clusters, K, "n_clusters", "K")
        K = self.full_size if K is None else _integer(K, "n_clusters (the number of clusters)")
        if not 1 <= K <= self.tree_sizes:
            raise InvalidArgument(f"The number of clusters must be 1 to {self.tree_sizes}, "
                                  f"not {K}")
        threads = _integer(threads, "threads")
        if not 1 <= threads <= _zortan.MOST_THREADS:
            raise InvalidArgument(f"threads must be 1 to {_zortan.MOST_THREADS}, not {threads}")
        array = _numbers_of(vectors, "vectors")
        if array.ndim == 1:
            array = array.reshape(1, -1)
        if array.ndim != 2:
            raise InvalidArgument(f"vectors must be (n, m) rows or one row (m,), not an array "
                                  f"of shape {array.shape}")
        n, m = array.shape
        wanted = self.components
        if m > _COMPONENTS:
            raise InvalidArgument(f"An event has at most {_COMPONENTS} components, not {m}."
                                  + _looks_transposed(n, m, wanted))
        if m != wanted and m != _COMPONENTS and not (pad and m < wanted):
            more = ("" if m > wanted else
                    " (pad=True takes the missing components as 0)")
            whole = ("" if wanted == _COMPONENTS else
                     f" (or of {_COMPONENTS}, an fvs file's vectors)")
            raise InvalidArgument(
                f"The rows have {m} components, but the tree considers {wanted}: give rows of "
                f"{wanted} components{whole}{more}." + _looks_transposed(n, m, wanted))
        array = _np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))
        given = None if cath is None else _qualifiers(cath, n)
        try:
            codes, categories, node_paths, errors, counts = self._tree.encode(
                array, K, bool(paths), threads, bool(averaging), given, bool(_reference)
            )
        except Error as error:
            # The module refuses the same reals as _components, without
            # naming them: only then is the array read once more, to say
            # which row holds one.
            if array.dtype != _np.int16 and "Range check error" in str(error):
                _components(array, "vectors")
            raise
        return EncodeResult(codes, categories, node_paths, errors, counts, tuple(self.cath_lists),
                            tuple(self.labels), given)


# The classic runtime error numbers of the writer's failures, as errno values.
_RUNTIME_ERRNO = {2: _errno.ENOENT, 3: _errno.ENOTDIR, 4: _errno.EMFILE, 5: _errno.EACCES,
                  101: _errno.ENOSPC}


def _tree_of_text(text: bytes, name: str) -> Tree:
    """The tree a tree file's text gives, read as the file would be."""
    return Tree(_zortan.tree_from_text(text, name))


def read_tree(path: PathLike) -> Tree:
    """Reads a quantization tree file (.vq) with the program's tree reader.

    Messages the program shows without refusing the tree (an old file without
    the FFT window width) come as warnings. A file that does not exist is a
    FileNotFound, a directory an IsADirectory, a FIFO or a device a
    NotARegularFile (it is not opened: it would wait for ever), a file that
    may not be read a PermissionDenied; a file that is not a tree file, or a
    damaged one, raises zortan.Error saying why.
    """
    path = _os.fsdecode(_os.fspath(path))
    _open_input(path, "tree file").close()
    handle = _zortan.read_tree(path)
    _warn(handle.messages)
    return Tree(handle)


def cath_of(records: _np.ndarray, chars: bool = False) -> _np.ndarray:
    """The qualifiers of fvs or .zrt records (their fields cath1..cath3), (n, 3).

    By default their byte values, uint8 (ord of each character), as
    Tree.encode takes them for `cath`; with chars=True the one-byte strings
    themselves (dtype S1), as EncodeResult.category_chars gives a leaf's.
    Neither is a position in the tree's value lists (EncodeResult.categories).
    """
    codes = _np.stack(
        [_np.asarray(records[f"cath{c}"]).view(_np.uint8) for c in (1, 2, 3)], axis=1
    )
    return codes.view("S1") if chars else codes


def _records_frame(records: _np.ndarray, labels: Optional[Sequence[str]],
                   feature_kind: Optional[int] = None):
    """The records' fields as a DataFrame, one row per record (see
    FvsFile.to_frame and ZrtFile.to_frame)."""
    pd = _pandas()
    if labels is None:
        labels = ("cath1", "cath2", "cath3")
    if isinstance(labels, str) or len(labels) != 3 or \
            not all(isinstance(label, str) for label in labels):
        raise InvalidArgument(f"labels are the three category names (str), not {labels!r}")
    if feature_kind is not None:
        feature_kind = _integer(feature_kind, "feature_kind")
        if not 0 <= feature_kind < len(FEATURE_KINDS):
            raise InvalidArgument(f"feature_kind must be 0 to {len(FEATURE_KINDS) - 1}, "
                                  f"not {feature_kind}")
    columns = [] if feature_kind is None else [f"c{i}" for i in range(_COMPONENTS)]
    taken = ["code"] if "code" in records.dtype.names else []
    data: Dict[str, Any] = {"code": _np.asarray(records["code"])} if taken else {}
    for c, name in enumerate(_column_names(labels, ("",), taken + columns)):
        data[name] = _chars(_np.asarray(records[f"cath{c + 1}"]))
    frame = pd.DataFrame(data, index=pd.RangeIndex(len(records), name="event"))
    if feature_kind is None:
        return frame
    vectors = pd.DataFrame(_np.asarray(records["vectors"][:, feature_kind]), index=frame.index,
                           columns=columns)
    return pd.concat([frame, vectors], axis=1)


class FvsFile:
    """An fvs event file read by read_fvs.

    header   dict of the header record's fields as the program reads them:
             records (the declared event count), fft_window_width, filter,
             scaling_constants, window_shape (-1: a value that names no
             choice), preemphasis, lifter_threshold, real_type_size,
             frame_step, rate, wave_name ("Unknown" when empty), cath_nbr.
    records  numpy structured array of FVS_RECORD, one per event record of
             the file: a copy in memory, or with read_fvs(mmap=True) a
             read-only numpy.memmap of the file.

    to_frame(labels=None, feature_kind=None)  the records as a pandas
             DataFrame, one row per event (the index, named event): the
             three qualifiers as one-character str in columns named
             `labels` (the category names, e.g. tree.labels; None: cath1,
             cath2, cath3), and with feature_kind (0..4, FEATURE_KINDS; e.g.
             tree.feature_kind) that vector's 129 components as int16
             columns c0..c128. Needs pandas (zortan.MissingPackage otherwise).
    """

    __slots__ = ("header", "records")

    def __init__(self, header: Dict[str, Any], records: _np.ndarray):
        self.header = header
        self.records = records

    def to_frame(self, labels: Optional[Sequence[str]] = None,
                 feature_kind: Optional[int] = None):
        """The records as a pandas DataFrame (see the class)."""
        return _records_frame(self.records, labels, feature_kind)

    def __repr__(self) -> str:
        return f"<zortan.FvsFile {len(self.records)} records>"


def read_fvs(path: PathLike, mmap: bool = False) -> FvsFile:
    """Reads an fvs event file: its header record and its event records.

    The records are read into memory (a copy, yours to change). With
    mmap=True they are memory-mapped read-only instead, which reads only
    the records touched, for files larger than memory; but then a file cut
    (truncated) afterwards, by another program or a copy over it, makes
    touching a record past the cut kill the whole process (SIGBUS): map
    only files nothing changes while the records are in use.

    A file the program would not read as an fvs file is refused with
    zortan.Error saying what it is: audio (a WAV file), a combined output
    file, a tree, text, a file shorter than the 1812-byte header record or
    whose size is no whole number of 1812-byte records, a header record of
    zeros. Not found, a directory, a FIFO or device, no permission: the
    FileError subclasses, as read_tree. Remarks the program makes on the
    header (a realType size of another program) come as warnings.
    """
    path = _os.fsdecode(_os.fspath(path))
    size_record = _zortan.RECORD_SIZE
    with _open_input(path, "fvs file") as f:
        try:
            head = f.read(size_record)
            size = _os.fstat(f.fileno()).st_size
            _zortan.check_fvs(head, size, path)
            header, messages = _zortan.fvs_header(head)
            records = _read_records(f, FVS_RECORD, size_record, size // size_record - 1,
                                    bool(mmap))
        except OSError as e:
            if isinstance(e, Error):
                raise
            raise _os_failure(e, path, "fvs file") from None
    _warn(messages)
    return FvsFile(header, records)


# The header's keys write_fvs takes: the check of each value.
def _int16(key: str, value: Any) -> int:
    v = _integer(value, f'the header\'s "{key}"')
    if not _INT16[0] <= v <= _INT16[1]:
        raise InvalidArgument(f'The header\'s "{key}" must be a 16-bit integer '
                              f"({_INT16[0]}..{_INT16[1]}), not {v}")
    return v


def _real(key: str, value: Any) -> float:
    if isinstance(value, (bool, _np.bool_)) or not isinstance(value, _numbers.Real):
        raise WrongType(f'The header\'s "{key}" must be a real number, not '
                        f"{type(value).__name__} {value!r}")
    v = float(value)
    if not _math.isfinite(v):
        raise InvalidArgument(f'The header\'s "{key}" must be a finite number, not {v}')
    return v


def _flag(key: str, value: Any) -> bool:
    if isinstance(value, (bool, _np.bool_)) or value in (0, 1):
        return bool(value)
    raise WrongType(f'The header\'s "{key}" must be True or False, not {value!r}')


def _name(key: str, value: Any) -> str:
    if isinstance(value, bytes):
        value = value.decode("latin-1")
    if not isinstance(value, str):
        raise WrongType(f'The header\'s "{key}" must be a str, not {type(value).__name__}')
    try:
        size = len(value.encode("latin-1"))
    except UnicodeEncodeError:
        raise InvalidArgument(f'The header\'s "{key}" must be Latin-1 text: {value!r}') from None
    if size > 255:
        raise InvalidArgument(f'The header\'s "{key}" has {size} characters, more than 255')
    return value


def _counts(key: str, value: Any) -> List[int]:
    try:
        counts = list(value)
    except TypeError:
        counts = []
    if len(counts) != 3:
        raise InvalidArgument(f'The header\'s "{key}" must be three counts, not {value!r}')
    out = [_integer(c, f'each of the header\'s "{key}"') for c in counts]
    if any(not 0 <= c <= 255 for c in out):
        raise InvalidArgument(f'The header\'s "{key}" counts must be 0 to 255, not {out}')
    return out


_HEADER_KEYS = {
    "records": None, "fft_window_width": _int16, "filter": _int16, "scaling_constants": _int16,
    "window_shape": _int16, "preemphasis": _flag, "lifter_threshold": _int16,
    "real_type_size": _int16, "frame_step": _real, "rate": _real, "wave_name": _name,
    "cath_nbr": _counts,
}


def _header_of(header: Optional[Mapping[str, Any]], given: Dict[str, Any]) -> Dict[str, Any]:
    if header is None:
        header = {}
    if not isinstance(header, Mapping):
        raise WrongType(f"header must be a dict as FvsFile.header holds it, not "
                        f"{type(header).__name__}")
    out: Dict[str, Any] = {}
    for key, value in header.items():
        if key not in _HEADER_KEYS:
            raise InvalidArgument(f"The header has no key {key!r}: its keys are "
                                  + ", ".join(_HEADER_KEYS))
        check = _HEADER_KEYS[key]
        if check is not None:
            out[key] = check(key, value)
    for key, value in given.items():
        if value is None:
            continue
        value = _HEADER_KEYS[key](key, value)
        if key in out and out[key] != value:
            raise InvalidArgument(f'{key}={value} differs from the header\'s "{key}" '
                                  f"({out[key]}): give one of them")
        out[key] = value
    return out


def _plain_records(rows: _np.ndarray, feature_kind: Any, unit: Any, cath: Any) -> _np.ndarray:
    """FVS_RECORD records holding (frames, m) rows as feature vector `feature_kind`."""
    if feature_kind is None:
        raise WrongType("write_fvs takes plain (frames, m) rows with feature_kind= "
                        "(0..4, FEATURE_KINDS): the vector of the records they are")
    kind = _integer(feature_kind, "feature_kind")
    if not 0 <= kind < len(FEATURE_KINDS):
        raise InvalidArgument(f"feature_kind must be 0 to {len(FEATURE_KINDS) - 1}, not {kind}")
    array = _numbers_of(rows, "records")
    if array.ndim != 2:
        raise InvalidArgument(f"records must be a structured array of FVS_RECORD or plain "
                              f"(frames, m) rows, not an array of shape {array.shape}")
    n, m = array.shape
    if m > _COMPONENTS:
        raise InvalidArgument(f"An event has at most {_COMPONENTS} components, not {m}."
                              + _looks_transposed(n, m, -1))
    if isinstance(unit, (bool, _np.bool_)) or not isinstance(unit, _numbers.Real) \
            or not (_math.isfinite(unit) and unit > 0):
        raise InvalidArgument(f"unit must be a positive number, not {unit!r}")
    if array.dtype != _np.int16 or unit != 1:
        values = array.astype(_np.float64) / float(unit)
        try:
            _components(values, "records")
        except InvalidArgument as e:
            raise InvalidArgument(f"{e} (stored in units of {unit}: a larger unit stores "
                                  "larger values)") from None
        array = _np.rint(values).astype(_np.int16)
    out = _np.zeros(n, dtype=FVS_RECORD)
    out["vectors"][:, kind, :m] = array
    if cath is not None:
        codes = _qualifiers(cath, n).view("S1")
        for c in range(3):
            out[f"cath{c + 1}"] = codes[:, c]
    return out


def write_fvs(path: PathLike, header: Optional[Mapping[str, Any]] = None, records: Any = None,
              *, feature_kind: Optional[int] = None, unit: float = 1.0,
              frame_step: Optional[float] = None, rate: Optional[float] = None,
              cath: Any = None) -> None:
    """Writes an fvs event file the program reads.

    header   a dict as FvsFile.header holds it (None: the header records
             from analyse carry, else {}); missing keys take
             the defaults of the project's writer (FFT width 256, filter 0,
             realType size 4, step 10 ms, rate 16000 Hz, ...). The declared
             event count is always len(records) ('records' in the dict is not
             used). A key that is no header key, or a value its field cannot
             hold (a str for the rate, 70000 for a 16-bit field), is refused
             naming the key (InvalidArgument or WrongType).
    records  either a structured array whose fields are those of FVS_RECORD
             it has (others are ignored, missing ones written as zeros), or
             plain rows: a (frames, m) array of numbers (int16 or float,
             m <= 129), features computed elsewhere, one record per frame,
             written as feature vector `feature_kind` of the records (the
             other vectors and the signal zeros, components m.. 0):

    feature_kind  for plain rows, which vector they are (0..4, FEATURE_KINDS;
             3 cepstrum, 4 mel cepstrum): the one a tree trained on that
             kind codes. Required with plain rows.
    unit     for plain rows, the value of one stored step: each value is
             stored as round(value / unit), half to even, in the 16-bit
             components (unit=0.001 stores thousandths). A value that falls
             outside -32768..32767, a NaN or an infinity is refused naming
             its row.
    frame_step, rate  the header's frame step in ms and sampling rate in Hz
             (the same as header["frame_step"] and header["rate"]; give
             either).
    cath     for plain rows, their (frames, 3) qualifiers (one-byte strings
             or byte values, as Tree.encode's cath); None writes zero bytes.

        zortan.write_fvs("talk.fvs", records=mfcc.T, feature_kind=3,
                         unit=0.01, frame_step=10, rate=16000)
    """
    if records is None:
        raise WrongType("write_fvs needs the records to write")
    if header is None:
        header = getattr(records, "header", None)
    fields = _header_of(header, {"frame_step": frame_step, "rate": rate})
    array = _np.asarray(records)
    if array.dtype.names is None:
        out = _plain_records(array, feature_kind, unit, cath)
    else:
        if feature_kind is not None or cath is not None or unit != 1.0:
            raise WrongType("feature_kind, unit and cath are for plain (frames, m) rows; "
                            "structured records carry their vectors and qualifiers")
        out = _np.zeros(len(array), dtype=FVS_RECORD)
        for name in array.dtype.names:
            if name in FVS_RECORD.names:
                out[name] = array[name]
    head = _zortan.fvs_header_record(fields, len(out))
    path = _os.fsdecode(_os.fspath(path))
    try:
        with open(path, "wb") as f:
            f.write(head)
            out.tofile(f)
    except OSError as e:
        raise _os_failure(e, path, "fvs file", "written") from None


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
    records      numpy structured array of ZRT_RECORD, one per coded event:
                 a copy in memory, or with read_zrt(mmap=True) a read-only
                 numpy.memmap of the file.

    to_frame(labels=None)  the records as a pandas DataFrame, one row per
                 event (the index, named event): code, and the three
                 qualifiers as one-character str in columns named `labels`
                 (the category names, e.g. tree.labels; None: cath1, cath2,
                 cath3). Needs pandas (zortan.MissingPackage otherwise).
    """

    __slots__ = ("certificate", "records")

    def __init__(self, certificate: Dict[str, Any], records: _np.ndarray):
        self.certificate = certificate
        self.records = records

    def to_frame(self, labels: Optional[Sequence[str]] = None):
        """The records as a pandas DataFrame (see the class)."""
        return _records_frame(self.records, labels)

    def __repr__(self) -> str:
        return f"<zortan.ZrtFile {len(self.records)} records>"


def _what_else(head: bytes, size: int) -> str:
    """What a file that opens with no certificate seems to be, as a hint."""
    if head[:4] == b"RIFF" and head[8:12] == b"WAVE":
        return " It is a WAV audio file."
    if head[:4] == b"date":
        return " It looks like a tree file: read it with read_tree."
    if size >= _zortan.RECORD_SIZE and size % _zortan.RECORD_SIZE == 0:
        return " It looks like an fvs file: read it with read_fvs."
    return ""


def _check_certificate(image: bytes, path: str) -> None:
    """Refuses a certificate whose fields the outputs cannot have written."""
    if not any(image):
        raise Error(f'"{path}" is not a combined output file (.zrt): its certificate is all '
                    "zeros.")
    for name, offset, kind in _CERTIFICATE_FIELDS:
        if kind == "s" and image[offset] > 63:
            raise Error(f'"{path}" is not a combined output file (.zrt): the certificate\'s '
                        f"{name} declares {image[offset]} characters, where it holds 63 at most.")
    for name in ("cDate", "cTime"):
        offset = next(o for n, o, _ in _CERTIFICATE_FIELDS if n == name)
        value = float(_np.frombuffer(image[offset:offset + 8], "<f8")[0])
        if not _math.isfinite(value) or (name == "cTime" and not 0.0 <= value <= 1.0):
            raise Error(f'"{path}" is not a combined output file (.zrt): the certificate\'s '
                        f"{name} is {value}, no date or time of day.")


def read_zrt(path: PathLike, mmap: bool = False) -> ZrtFile:
    """Reads a combined output file (.zrt): the certificate and the event records.

    The records are read into memory (a copy, yours to change). With
    mmap=True they are memory-mapped read-only instead; but then a file cut
    (truncated) afterwards makes touching a record past the cut kill the
    whole process (SIGBUS): map only files nothing changes meanwhile.

    A file that does not open with a certificate as the outputs write it (the
    count record of its 253 six-byte pieces, text fields of at most 63
    characters, a date and a time of day) is refused with zortan.Error,
    saying what the file looks like when it is another kind (an fvs file, a
    tree, audio); so is one cut within its certificate. A partial last
    record (a file still being written) is left out. Not found, a directory,
    a FIFO or device, no permission: the FileError subclasses, as read_tree.
    """
    path = _os.fsdecode(_os.fspath(path))
    size_record = _zortan.OUTPUT_RECORD_SIZE
    count_record = _zortan.CERTIFICATE_COUNT_RECORD
    pieces = _zortan.CERTIFICATE_SIZE // size_record
    with _open_input(path, "combined output file") as f:
        try:
            size = _os.fstat(f.fileno()).st_size
            head = f.read(size_record)
            if len(head) < size_record:
                raise Error(f'Read beyond end of file: "{path}" holds no count record: '
                            f"{len(head)} bytes, where a combined output file (.zrt) opens "
                            f"with a {size_record}-byte count record.")
            if head != count_record:
                f.seek(0)
                raise Error(f'"{path}" is not a combined output file (.zrt): it does not open '
                            f"with the count record of a certificate ({count_record.hex(' ')})."
                            + _what_else(f.read(12), size))
            image = f.read(pieces * size_record)
            if len(image) < pieces * size_record:
                raise Error(f'Read beyond end of file: "{path}" ends within its certificate '
                            f"({len(image)} of its {pieces * size_record} bytes).")
            _check_certificate(image, path)
            start = size_record * (1 + pieces)
            records = _read_records(f, ZRT_RECORD, start, (size - start) // size_record,
                                    bool(mmap))
        except OSError as e:
            if isinstance(e, Error):
                raise
            raise _os_failure(e, path, "combined output file") from None
    return ZrtFile(_certificate(image), records)


# Training (zortan._train reads the helpers above).
from . import _train  # noqa: E402
from ._train import TreeQuantizer, train  # noqa: E402

Tree.from_splits.__func__.__doc__ = _train.from_splits.__doc__
for _public in (TreeQuantizer, train):
    _public.__module__ = __name__

# Recordings and annotations (zortan._analysis reads the helpers above).
from ._analysis import (  # noqa: E402
    READS_AUDIO,
    WINDOWS,
    AnalysedRecords,
    LabelMap,
    Labels,
    Tier,
    analyse,
    read_audio,
    read_labels,
)

for _public in (AnalysedRecords, LabelMap, Labels, Tier, analyse, read_audio, read_labels):
    _public.__module__ = __name__

# The Dask form of code_files (the module zortan.corpus comes with it); Dask
# itself is imported only when it is used.
from .corpus import code_corpus  # noqa: E402
