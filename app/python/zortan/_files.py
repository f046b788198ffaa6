"""The package's failures, the opening of the files it reads, whole files
coded as the batch command codes them (zortan.code_files), and the tables of
results as pandas DataFrames (to_frame)."""
from __future__ import annotations

import errno as _errno
import numbers as _numbers
import os as _os
import stat as _stat
from typing import Dict, List, Optional, Sequence, Tuple, Union

import numpy as _np

from . import _zortan

PathLike = Union[str, "_os.PathLike[str]"]

Error = _zortan.Error
Error.__module__ = "zortan"
Error.__doc__ = """A failure of the program or of a call: its text says what is wrong.

Every exception the package raises is a zortan.Error. Those that Python
names otherwise are also of Python's kind: InvalidArgument is a ValueError,
WrongType a TypeError, and the failures of files are OSErrors
(FileNotFound a FileNotFoundError, IsADirectory an IsADirectoryError,
PermissionDenied a PermissionError, NotARegularFile and FileError OSErrors),
so that `except FileNotFoundError` and `except zortan.Error` both catch a
missing file."""


class InvalidArgument(Error, ValueError):
    """An argument whose value the call cannot take (a zortan.Error and a ValueError)."""


class WrongType(Error, TypeError):
    """An argument whose type the call cannot take (a zortan.Error and a TypeError)."""


class FileError(Error, OSError):
    """A file that cannot be read or written (a zortan.Error and an OSError).

    errno is the system's error number (None where no system call failed),
    filename the file's path; str() is the message alone."""

    def __str__(self) -> str:
        if self.strerror is not None:
            return str(self.strerror)
        return str(self.args[0]) if self.args else ""


class FileNotFound(FileError, FileNotFoundError):
    """A file that does not exist (also a FileNotFoundError)."""


class IsADirectory(FileError, IsADirectoryError):
    """A directory named where a file is read or written (also an IsADirectoryError)."""


class PermissionDenied(FileError, PermissionError):
    """A file the process may not read or write (also a PermissionError)."""


class NotARegularFile(FileError):
    """A FIFO, a device or a socket named where a file is read: only regular
    files are read, as the program reads them (a FIFO would wait for ever)."""


class MissingPackage(Error, ImportError):
    """A package a call needs is not installed: pandas for to_frame, Dask's
    distributed for zortan.corpus.code_corpus (a zortan.Error and an
    ImportError); its text names the package to install."""


def _needed(module: str, call: str, debian: str, pip: str):
    """The module `module` imported, or MissingPackage saying how to get it."""
    import importlib
    try:
        return importlib.import_module(module)
    except ImportError:
        raise MissingPackage(f"{call} needs {module}, which is not installed: install "
                             f"Debian's {debian} (or pip install {pip}).", name=module) from None


def _pandas():
    return _needed("pandas", "to_frame", "python3-pandas", "pandas")


def _column_names(labels: Sequence[str], suffixes: Sequence[str] = ("",),
                  taken: Sequence[str] = ()) -> List[str]:
    """The names of the three category columns: the labels, or cath1..cath3
    for them all when a label is empty or the columns they make (each label
    with each of `suffixes`) would not all differ, from one another and from
    `taken`."""
    for names in (list(labels), ["cath1", "cath2", "cath3"]):
        columns = [n + s for n in names for s in suffixes] + list(taken)
        if all(names) and len(set(columns)) == len(columns):
            return names
    return names


def _file_error(kind: type, err: Optional[int], message: str, path: str) -> FileError:
    if err:
        return kind(err, message, path)
    e = kind(message)
    e.filename = path
    return e


def _a(what: str) -> str:
    return ("an " if what[0] in "aeiou" or what.startswith("fvs") else "a ") + what


def _os_failure(e: OSError, path: str, what: str, verb: str = "read") -> FileError:
    """The failure of a file operation on `path`, the `what` ("tree file", ...)
    the call was to read or write, said for a script's user."""
    err = e.errno
    if err in (_errno.ENOENT, _errno.ENOTDIR):
        if verb == "read":
            return _file_error(FileNotFound, err, f'The {what} "{path}" does not exist.', path)
        return _file_error(FileNotFound, err, f'The {what} "{path}" cannot be {verb}: '
                           "its folder does not exist.", path)
    if err == _errno.EISDIR:
        return _file_error(IsADirectory, err, f'"{path}" is a directory, not {_a(what)}.', path)
    if err in (_errno.EACCES, _errno.EPERM):
        return _file_error(PermissionDenied, err,
                           f'The {what} "{path}" cannot be {verb}: permission denied.', path)
    text = _zortan.io_error_text(err) if err else str(e)
    return _file_error(FileError, err, f'The {what} "{path}" cannot be {verb}: {text}.', path)


_NON_REGULAR = [(_stat.S_ISFIFO, "a FIFO (a named pipe)"), (_stat.S_ISCHR, "a character device"),
                (_stat.S_ISBLK, "a block device"), (_stat.S_ISSOCK, "a socket")]


def _refuse_non_regular(mode: int, path: str, what: str) -> None:
    if _stat.S_ISREG(mode):
        return
    if _stat.S_ISDIR(mode):
        raise _os_failure(IsADirectoryError(_errno.EISDIR, "", path), path, what)
    kind = next((name for test, name in _NON_REGULAR if test(mode)), "no regular file")
    raise _file_error(NotARegularFile, None, f'"{path}" is {kind}, not a regular file: '
                      f"only regular files are read as {what}s.", path)


def _check_readable(path: str, what: str) -> None:
    """Refuses, as _open_input does, a file that cannot be opened for reading."""
    _open_input(path, what).close()


def _open_input(path: str, what: str):
    """The regular file at `path` opened for reading (binary, buffered). A
    file that does not exist, cannot be read, or is no regular file (a
    directory, a FIFO, a device) is refused with a FileError; a FIFO is
    never opened in a way that waits for a writer."""
    try:
        _refuse_non_regular(_os.stat(path).st_mode, path, what)
        flags = _os.O_RDONLY | getattr(_os, "O_NONBLOCK", 0) | getattr(_os, "O_BINARY", 0) \
            | getattr(_os, "O_CLOEXEC", 0)
        fd = _os.open(path, flags)
    except OSError as e:
        if isinstance(e, FileError):
            raise
        raise _os_failure(e, path, what) from None
    try:
        # The file may have been replaced since it was looked at.
        _refuse_non_regular(_os.fstat(fd).st_mode, path, what)
        if hasattr(_os, "set_blocking"):
            _os.set_blocking(fd, True)
        return _os.fdopen(fd, "rb")
    except BaseException:
        _os.close(fd)
        raise


def _read_records(f, dtype: _np.dtype, offset: int, count: int, mmap: bool) -> _np.ndarray:
    """`count` records of `dtype` from `offset` of the open file `f`: read
    into memory, or memory-mapped read-only with mmap=True. Records the file
    no longer holds when they are read (it was cut meanwhile) are left out."""
    if count <= 0:
        return _np.zeros(0, dtype=dtype)
    if mmap:
        return _np.memmap(f, dtype=dtype, mode="r", offset=offset, shape=(count,))
    records = _np.empty(count, dtype=dtype)
    view = memoryview(records.view(_np.uint8))
    f.seek(offset)
    done = 0
    while done < len(view):
        n = f.readinto(view[done:])
        if not n:
            break
        done += n
    whole = done // dtype.itemsize
    return records if whole == count else records[:whole].copy()


def _integer(value, name: str) -> int:
    """An integer argument: Python's or numpy's integers, not bool, float or str."""
    if isinstance(value, (bool, _np.bool_)) or not isinstance(value, _numbers.Integral):
        raise WrongType(f"{name} must be an integer, not {type(value).__name__} {value!r}")
    return int(value)


def _one_of(value, alias, name: str, alias_name: str):
    """The value of an argument that has an alias: the one given."""
    if alias is None:
        return value
    if value is not None:
        raise WrongType(f"give {name} or {alias_name}, not both")
    return alias


#: The names of the output choices, as zortan-batch --outputs takes them.
OUTPUTS = (
    "teach-combined", "teach-codes", "teach-cath1", "teach-cath2", "teach-cath3",
    "recog-combined", "recog-codes", "recog-cath1", "recog-cath2", "recog-cath3",
)

#: The most files code_files codes at once (zortan-batch --jobs).
MOST_JOBS = 1024


def _percent(counts: _np.ndarray, steps: int, compare: bool) -> _np.ndarray:
    """Counts as the error file gives them: x 100 / steps (x 200 in compare
    mode, where the steps are twice the pairs); NaN where no step was done."""
    with _np.errstate(invalid="ignore", divide="ignore"):
        return counts * (200.0 if compare else 100.0) / (steps if steps else _np.nan)


def _table_columns(labels: Sequence[str], compare: bool) -> List[str]:
    """The columns of an error table as corpus_error.csv names them (less
    their _errors and _percent)."""
    names = _column_names(labels, ("_errors", "_percent"))
    if not compare:
        return names
    columns = names + ["second_" + n for n in names] + ["diff_" + n for n in names]
    columns.append("diff_group")
    if len(set(columns)) < len(columns):
        columns = _table_columns(["cath1", "cath2", "cath3"], True)
    return columns


def _error_frame(counts: _np.ndarray, steps: int, labels: Sequence[str], compare: bool,
                 **attrs):
    """An error table as a DataFrame: one row per number of clusters 1..K."""
    pd = _pandas()
    columns = _table_columns(labels, compare)
    counts = _np.asarray(counts)
    percent = _percent(counts, steps, compare)
    data = {f"{c}_errors": counts[:, i] for i, c in enumerate(columns)}
    data.update({f"{c}_percent": percent[:, i] for i, c in enumerate(columns)})
    frame = pd.DataFrame(data, index=pd.RangeIndex(1, len(counts) + 1, name="n_clusters"))
    frame.attrs.update(attrs, steps=int(steps))
    return frame


class _ErrorTable:
    """What a run's and a corpus's error tables share: the number of
    clusters, the steps, the counts and the labels that name them."""

    def __init__(self, d: dict, labels: Sequence[str], compare: bool) -> None:
        self.n_clusters: int = d["clusters"]
        self.steps: int = d["steps"]
        self.counts: _np.ndarray = d["counts"]
        self._labels = list(labels)
        self._compare = compare

    @property
    def clusters(self) -> int:
        """n_clusters under its former name."""
        return self.n_clusters

    def _frame(self, **columns: int):
        return _error_frame(self.counts, self.steps, self._labels, self._compare,
                            n_clusters=self.n_clusters, **columns)


class RunResult(_ErrorTable):
    """One input coded at one number of clusters.

    n_clusters  the number of clusters K it was coded at (also as `clusters`).
    coded     True when the run went to its end and wrote every output asked for.
    message   why it did not, as the window says it ("" when coded).
    warnings  the file's warnings (FileResult.warnings).
    steps     coding steps done (events; twice the pairs in compare mode),
              also of a run that stopped.
    events    the events count of the error table; 0 for a run that was not
              coded (it wrote no error table row of its own; `steps` says how
              far it went).
    counts    (K, 3) uint64 error counts: row t is the tree of t+1 clusters,
              column c the events whose qualifier of category c differs
              from the reading of the node they reach in that tree (compare
              mode: (K, 10): the first series' three categories, the
              second's, the differences between the two series' readings
              per category, and the events whose two series reach other
              nodes). Row 0 (one cluster) counts every event, in every
              category.
    files     the output files written.

    to_frame()  the error table as a pandas DataFrame (see CorpusTable).
    """

    def __init__(self, d: dict, labels: Sequence[str] = ("cath1", "cath2", "cath3"),
                 compare: bool = False) -> None:
        super().__init__(d, labels, compare)
        self.coded: bool = d["coded"]
        self.message: str = d["message"]
        self.warnings: List[str] = list(d.get("warnings", []))
        # The engine keeps its bound for a count it never learned.
        self.events: int = d["events"] if self.coded else 0
        self.files: List[str] = list(d["files"])

    def to_frame(self):
        """The run's error table as a pandas DataFrame, as CorpusTable.to_frame
        gives the corpus's: what the file's <stem>_error.txt holds. A run
        that was not coded has no table: zortan.Error with its message."""
        if not self.coded:
            raise Error(f"The run at {self.n_clusters} clusters was not coded, so it has no "
                        f"error table: {self.message}")
        return self._frame(events=self.events)

    def __repr__(self) -> str:
        state = "coded" if self.coded else f"failed: {self.message!r}"
        return f"<RunResult n_clusters={self.n_clusters} {self.steps} steps {state}>"


def _run_of(runs: dict, n_clusters, what: str):
    """The result of `runs` ({K: ...}) at n_clusters (None: the largest K)."""
    if n_clusters is None:
        return runs[max(runs)]
    k = _integer(n_clusters, "n_clusters")
    if k not in runs:
        raise InvalidArgument(f"{what} has no run at {k} clusters: it was coded at "
                              f"{', '.join(str(r) for r in sorted(runs))}")
    return runs[k]


class FileResult:
    """One input (a file, or a pair in compare mode) at every number of clusters.

    inputs   the input's path(s).
    ok       every run was coded.
    message  the first failure's message ("" when ok).
    warnings what the window would have told along the way, in order: header
             remarks, settings that differ from the tree's training, the
             first faulty table row, an input that ended before its
             header's count, qualifiers outside the tree's value lists.
    runs     {n_clusters: RunResult}.

    to_frame(n_clusters=None)  the error table of the run at n_clusters (None:
             the largest) as a pandas DataFrame (RunResult.to_frame).
    """

    def __init__(self, d: dict, labels: Sequence[str] = ("cath1", "cath2", "cath3"),
                 compare: bool = False) -> None:
        self.inputs: List[str] = list(d["inputs"])
        self.ok: bool = d["ok"]
        self.message: str = d["message"]
        self.warnings: List[str] = list(d.get("warnings", []))
        self.runs: Dict[int, RunResult] = {
            r["clusters"]: RunResult(dict(r, warnings=self.warnings), labels, compare)
            for r in d["runs"]}
        self._raw = d

    def to_frame(self, n_clusters: Optional[int] = None):
        """The error table of the run at n_clusters (None: the largest)."""
        return _run_of(self.runs, n_clusters, " + ".join(self.inputs)).to_frame()

    def __repr__(self) -> str:
        return f"<FileResult {' + '.join(self.inputs)} {'ok' if self.ok else 'failed'}>"


class CorpusTable(_ErrorTable):
    """The corpus error table of one number of clusters K: the counts of every
    input coded whole, what OUT/K<K>/corpus_error.txt and .csv hold.

    n_clusters  K (also as `clusters`): the table has a row for each tree
             size 1..K.
    files    the inputs the table sums (this run's coded whole, and those of
             earlier runs into the same folder whose outputs are there).
    steps    their coding steps (events; twice the pairs in compare mode).
    events   their events (pairs in compare mode).
    counts   (K, 3) uint64 summed error counts, rows and columns as
             RunResult.counts (compare mode: (K, 10)). Row 0, the tree of one
             cluster, counts every event as an error in every category, so
             a chart of the errors starts at 100 %.
    percent  counts as the error file gives them: x 100 / steps (x 200 in
             compare mode); NaN where no step was done.

    to_frame()  a pandas DataFrame of the table: one row per number of
             clusters 1..K (the index, named n_clusters), the columns of
             corpus_error.csv: <label>_errors (the counts) for each category,
             then <label>_percent, named after the tree's category labels
             (Vowel_errors, ..., Vowel_percent, ...; cath1..cath3 when a
             label is empty or two are the same); in compare mode the
             labels, second_<label>, diff_<label> and diff_group. frame.attrs
             holds n_clusters, files, events and steps. Needs pandas
             (zortan.MissingPackage otherwise).

    corpus_error.txt, of which the percentages are these (K = 8, one file):

        Corpus Classification Error.
        ==================================
        Tree:                 "samples/vowels-cep16-centroids32.vq"
        Coded event files:    1
               8 - Number of used groups

        Events number=477
        Erronous recognitions for Vowel Speaker Voicing over the corpus; results in %:
        ----------------------------------
          Nbr of
          groups     Vowel Speaker Voicing
        ==================================
               1 100.000 100.000 100.000
               2  65.409  46.541  38.365
               ...
               8  33.962  39.413  15.723
        __________________________________

    Its five preamble lines (the title, a rule, the tree, the files coded,
    K), an empty line, "Events number=" and the events (the pairs in compare
    mode), the table's caption, its four heading lines (a rule, "Nbr of",
    "groups" and the labels, a double rule), one line per tree size 1..K
    with each category's percentage to three decimals (n/a when no step was
    done), and a closing rule. In compare mode the lines are 88 wide and
    each row holds the ten columns of counts, in % of the pairs. The CSV
    holds, per tree size, clusters, files, events, steps, the counts
    (<label>_errors) and the percentages (<label>_percent, empty for n/a).
    A file's own STEM_error.txt holds the header of the text outputs, then
    "Events number=", a caption naming the file, the same heading lines and
    rows, the closing rule and explanatory notes.
    """

    def __init__(self, d: dict, compare: bool,
                 labels: Sequence[str] = ("cath1", "cath2", "cath3")) -> None:
        super().__init__(d, labels, compare)
        self.files: int = d["files"]
        self.events: int = d["events"]
        self.percent = _percent(self.counts, self.steps, compare)

    def to_frame(self):
        """The table as a pandas DataFrame (see the class)."""
        return self._frame(files=self.files, events=self.events)

    def __repr__(self) -> str:
        return (f"<CorpusTable n_clusters={self.n_clusters} {self.files} files "
                f"{self.steps} steps>")


class CorpusResult:
    """What code_files and zortan.corpus.code_corpus give back.

    files   [FileResult], in the order of the inputs.
    tables  {n_clusters: CorpusTable}, also written as
            OUT/K<n_clusters>/corpus_error.txt and .csv.
    labels  the three category names (the tree's labels).
    failed  the FileResults that did not code whole.

    to_frame(n_clusters=None)  the corpus table at n_clusters (None: the
            largest) as a pandas DataFrame (CorpusTable.to_frame).
    """

    def __init__(self, files: List[FileResult], tables: Dict[int, CorpusTable],
                 labels: Sequence[str]) -> None:
        self.files = files
        self.tables = tables
        self.labels = list(labels)
        self.failed = [f for f in files if not f.ok]

    def to_frame(self, n_clusters: Optional[int] = None):
        """The corpus table at n_clusters (None: the largest) as a DataFrame."""
        return _run_of(self.tables, n_clusters, "The corpus").to_frame()

    def __repr__(self) -> str:
        return (f"<CorpusResult {len(self.files)} inputs, {len(self.failed)} failed, "
                f"n_clusters={sorted(self.tables)}>")


def _is_path(value) -> bool:
    return isinstance(value, (str, bytes, _os.PathLike))


def _path(value) -> str:
    return _os.fsdecode(_os.fspath(value))


def _refuse_what_would_wait(path: str) -> None:
    """An input that exists but is no regular file nor directory (a FIFO, a
    device) would keep the engine waiting: refused before anything is coded.
    A file that does not exist and a directory are the engine's to refuse,
    for that file alone."""
    try:
        mode = _os.stat(path).st_mode
    except OSError:
        return
    if not _stat.S_ISDIR(mode):
        _refuse_non_regular(mode, path, "event file")


def _inputs(files: Sequence, compare: bool) -> List[List[str]]:
    """The inputs of code_files: one path per file, or (A, B) pairs of paths
    with compare=True; refused as zortan-batch refuses its command line."""
    if _is_path(files):
        if compare:
            raise WrongType(f"with compare=True, files are (A, B) pairs of paths, not the "
                            f"path {files!r}")
        files = [files]
    try:
        items = list(files)
    except TypeError:
        raise WrongType(f"files must be a list of paths, not {type(files).__name__}") from None
    if not items:
        raise InvalidArgument("No event file to code: files is empty.")
    inputs = []
    for i, item in enumerate(items):
        if not compare:
            if not _is_path(item):
                pair = " (pairs are coded with compare=True)" if isinstance(
                    item, (tuple, list)) else ""
                raise WrongType(f"files[{i}] must be a path, not {type(item).__name__} "
                                f"{item!r}{pair}")
            inputs.append([_path(item)])
            continue
        if _is_path(item) or not isinstance(item, Sequence):
            raise WrongType(f"with compare=True, files[{i}] must be a pair (A, B) of paths, "
                            f"not {type(item).__name__} {item!r}")
        if len(item) != 2 or not all(_is_path(p) for p in item):
            raise InvalidArgument(f"with compare=True, files[{i}] must be a pair (A, B) of two "
                                  f"paths, not {item!r}")
        inputs.append([_path(p) for p in item])
    for pair in inputs:
        for path in pair:
            _refuse_what_would_wait(path)
    return inputs


def _arguments(tree_path: PathLike, clusters: Union[int, Sequence[int]],
               outputs: Union[str, Sequence[str]], out_dir: PathLike, overwrite: bool,
               compare: bool) -> Tuple:
    """The settings of code_files and code_corpus, refused as zortan-batch
    refuses its command line."""
    if clusters is None:
        raise WrongType("give the numbers of clusters: n_clusters=[K, ...]")
    if isinstance(clusters, (str, bytes)) or not isinstance(clusters, Sequence) and \
            not isinstance(clusters, _np.ndarray):
        clusters = [clusters]
    ks = [_integer(k, "each number of clusters") for k in clusters]
    if not ks:
        raise InvalidArgument("No number of clusters is given: n_clusters is empty.")
    for k in ks:
        if k < 1:
            raise InvalidArgument(f"A number of clusters is at least 1, not {k}.")
    if isinstance(outputs, str):
        outputs = [o for o in outputs.split(",") if o]
    outputs = list(outputs)
    for name in outputs:
        if not isinstance(name, str):
            raise WrongType(f"outputs are names of OUTPUTS or \"all\", not {name!r}")
    if compare and outputs:
        raise InvalidArgument("compare mode writes only the error file: give no outputs.")
    tree = _path(tree_path)
    _check_readable(tree, "tree file")
    return (tree, tuple(sorted(set(ks))), tuple(outputs), _path(out_dir), bool(overwrite),
            bool(compare))


def _result(raw_files: List[dict], raw_tables: List[dict], labels: Sequence[str],
            compare: bool) -> CorpusResult:
    return CorpusResult([FileResult(f, labels, compare) for f in raw_files],
                        {t["clusters"]: CorpusTable(t, compare, labels) for t in raw_tables},
                        labels)


def code_files(tree_path: PathLike, files: Sequence,
               n_clusters: Union[int, Sequence[int], None] = None,
               outputs: Union[str, Sequence[str]] = (), out_dir: PathLike = ".",
               jobs: Optional[int] = None, overwrite: bool = False,
               compare: bool = False, *,
               clusters: Union[int, Sequence[int], None] = None) -> CorpusResult:
    """Codes event files as zortan-batch does, with the same output bytes.

    Each file (fvs file or text table) is coded against the tree at every
    number of clusters K of `n_clusters` (an integer or a list; `clusters`
    is an alias), in one read, into OUT/K<K>/ under the names the window
    gives, with the chosen `outputs` (names of OUTPUTS, or "all"); the error
    file is always written. With compare=True, `files` are (A, B) pairs of
    paths coded side by side into their error files (no other outputs).
    `jobs` files are coded at once (None: one per core; at most 1024), each
    job reading the tree once. Outputs that exist are refused unless
    overwrite=True.

    A file that cannot be coded does not stop the others: its FileResult has
    ok False and the window's message. The corpus error tables (counts
    summed over the files coded whole) are returned and written as
    OUT/K<K>/corpus_error.txt and corpus_error.csv (CorpusTable says how
    they are laid out), with corpus_files.csv, the files they sum.

    The files of an input "STEM.fvs" in OUT/K<K>/ (inputs under the current
    folder in their subfolders of it; others in their subfolders of the
    folder they share), L the tree's label of each category:

      STEM_error.txt    always: the header of the text outputs (the date,
                        the sources, the settings of the tree and of the
                        input) and the error table: "Events number=N", one
                        row per tree size 1..K with each category's errors
                        in % of the events (the row of 1 cluster counts
                        every event as an error: 100 %), and notes.
      STEM_Teach.zrt, STEM_Recog.zrt  (teach-combined, recog-combined) the
                        certificate and one 6-byte record per event: its
                        code and qualifiers, the event's own in the teaching
                        file, the leaf's readings in the recognition file
                        (read_zrt reads them).
      STEM_code.txt     (teach-codes or recog-codes) the header (its last
                        line "Output codes:", as in the category files), then one
                        byte per event, no separator: the low byte of its
                        code as a character (code 0 is the byte 0; codes
                        above 255 wrap, 300 is written as 44).
      STEM_teach_L.txt, STEM_recog_L.txt  (teach-cath1.., recog-cath1..)
                        the header, the category's value list ("<N> Ynbr -
                        count of alphabet Y", "#list for L char values.",
                        a line "position character" for each value, a
                        character below 33 as #<byte>, and "Codes of the
                        cathegory "L" values"), then " position" per
                        event: the position in that list (as in
                        EncodeResult.categories) of the event's qualifier
                        (teach) or of its leaf's reading (recog), not the
                        character itself; a qualifier outside the list is
                        written as 0.

    Refused before anything is coded, as zortan-batch refuses its command
    line: no file, a file that is not a path (a pair without compare=True),
    with compare=True an item that is not a pair of two paths (a string is
    not a pair), no number of clusters or one below 1 or not an integer,
    both n_clusters and clusters, outputs with compare=True, an input that
    is a FIFO or a device (InvalidArgument, WrongType, NotARegularFile); a
    tree that cannot be read, a K beyond the tree, inputs that would write
    outputs of the same names, an unknown output (zortan.Error).

        result = zortan.code_files("tree.vq", ["a.fvs", "b.fvs"], n_clusters=[16, 64],
                                   outputs="all", out_dir="out")
        result.to_frame(64)       # the corpus table at 64 clusters, a DataFrame
    """
    n_clusters = _one_of(n_clusters, clusters, "n_clusters", "clusters")
    args = _arguments(tree_path, n_clusters, outputs, out_dir, overwrite, compare)
    inputs = _inputs(files, compare)
    if jobs is not None:
        jobs = _integer(jobs, "jobs")
        if not 1 <= jobs <= MOST_JOBS:
            raise InvalidArgument(f"jobs must be 1 to {MOST_JOBS} (or None: one per core), "
                                  f"not {jobs}")
    raw = _zortan.code_corpus(*args, inputs=inputs, jobs=jobs or 0)
    return _result(raw["files"], raw["tables"], raw["labels"], compare)
