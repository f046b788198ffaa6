"""Coding whole files as the batch command does: zortan.code_files."""
from __future__ import annotations

import os as _os
from typing import Dict, List, Optional, Sequence, Tuple, Union

import numpy as _np

from . import _zortan

PathLike = Union[str, "_os.PathLike[str]"]

#: The names of the output choices, as zortan-batch --outputs takes them.
OUTPUTS = (
    "teach-combined", "teach-codes", "teach-cath1", "teach-cath2", "teach-cath3",
    "recog-combined", "recog-codes", "recog-cath1", "recog-cath2", "recog-cath3",
)


class RunResult:
    """One input coded at one number of clusters.

    clusters  K.
    coded     True when the run went to its end and wrote every output asked for.
    message   why it did not, as the window says it ("" when coded).
    steps     coding steps (events; twice the pairs in compare mode).
    events    the events count of the error table.
    counts    (K, 3) uint64 error counts per tree size 1..K and category
              (compare mode: (K, 10): the first series' three categories, the
              second's, the three categories' differences and the groups').
    files     the output files written.
    """

    def __init__(self, d: dict) -> None:
        self.clusters: int = d["clusters"]
        self.coded: bool = d["coded"]
        self.message: str = d["message"]
        self.warnings: List[str] = list(d.get("warnings", []))
        self.steps: int = d["steps"]
        self.events: int = d["events"]
        self.counts: _np.ndarray = d["counts"]
        self.files: List[str] = list(d["files"])

    def __repr__(self) -> str:
        state = "coded" if self.coded else f"failed: {self.message!r}"
        return f"<RunResult K={self.clusters} {self.steps} steps {state}>"


class FileResult:
    """One input (a file, or a pair in compare mode) at every K.

    inputs   the input's path(s).
    ok       every run was coded.
    message  the first failure's message ("" when ok).
    warnings what the window would have told along the way, in order: header
             remarks, settings that differ from the tree's training, the
             first faulty table row, an input that ended before its
             header's count, qualifiers outside the tree's value lists.
    runs     {K: RunResult}.
    """

    def __init__(self, d: dict) -> None:
        self.inputs: List[str] = list(d["inputs"])
        self.ok: bool = d["ok"]
        self.message: str = d["message"]
        self.runs: Dict[int, RunResult] = {r["clusters"]: RunResult(r) for r in d["runs"]}
        self._raw = d

    def __repr__(self) -> str:
        return f"<FileResult {' + '.join(self.inputs)} {'ok' if self.ok else 'failed'}>"


class CorpusTable:
    """The corpus error table of one K: the counts of every input coded whole.

    clusters, files, steps, events
    counts   (K, 3) uint64 summed error counts (compare mode: (K, 10)).
    percent  counts as the error file gives them: x 100 / steps (x 200 in
             compare mode); NaN where no step was done.
    """

    def __init__(self, d: dict, compare: bool) -> None:
        self.clusters: int = d["clusters"]
        self.files: int = d["files"]
        self.steps: int = d["steps"]
        self.events: int = d["events"]
        self.counts: _np.ndarray = d["counts"]
        scale = 200.0 if compare else 100.0
        with _np.errstate(invalid="ignore", divide="ignore"):
            self.percent = self.counts * scale / (self.steps if self.steps else _np.nan)

    def __repr__(self) -> str:
        return f"<CorpusTable K={self.clusters} {self.files} files {self.steps} steps>"


class CorpusResult:
    """What code_files and zortan.corpus.code_corpus give back.

    files   [FileResult], in the order of the inputs.
    tables  {K: CorpusTable}, also written as OUT/K<K>/corpus_error.txt and .csv.
    labels  the three category names.
    failed  the FileResults that did not code whole.
    """

    def __init__(self, files: List[FileResult], tables: Dict[int, CorpusTable],
                 labels: Sequence[str]) -> None:
        self.files = files
        self.tables = tables
        self.labels = list(labels)
        self.failed = [f for f in files if not f.ok]

    def __repr__(self) -> str:
        return f"<CorpusResult {len(self.files)} inputs, {len(self.failed)} failed, K={sorted(self.tables)}>"


def _inputs(files: Sequence, compare: bool) -> List[List[str]]:
    if isinstance(files, (str, _os.PathLike)):
        files = [files]
    if compare:
        pairs = [[_os.fspath(a), _os.fspath(b)] for a, b in files]
        return pairs
    return [[_os.fspath(f)] for f in files]


def _arguments(tree_path: PathLike, clusters: Union[int, Sequence[int]],
               outputs: Union[str, Sequence[str]], out_dir: PathLike, overwrite: bool,
               compare: bool) -> Tuple:
    if isinstance(clusters, int):
        clusters = [clusters]
    if isinstance(outputs, str):
        outputs = [o for o in outputs.split(",") if o]
    return (_os.fspath(tree_path), tuple(sorted(set(int(k) for k in clusters))), tuple(outputs),
            _os.fspath(out_dir), bool(overwrite), bool(compare))


def _result(raw_files: List[dict], raw_tables: List[dict], labels: Sequence[str],
            compare: bool) -> CorpusResult:
    return CorpusResult([FileResult(f) for f in raw_files],
                        {t["clusters"]: CorpusTable(t, compare) for t in raw_tables}, labels)


def code_files(tree_path: PathLike, files: Sequence, clusters: Union[int, Sequence[int]],
               outputs: Union[str, Sequence[str]] = (), out_dir: PathLike = ".",
               jobs: Optional[int] = None, overwrite: bool = False,
               compare: bool = False) -> CorpusResult:
    """Codes event files as zortan-batch does, with the same output bytes.

    Each file (fvs file or text table) is coded against the tree at every K
    of `clusters`, in one read, into OUT/K<K>/ under the names the window
    gives, with the chosen `outputs` (names of OUTPUTS, or "all"); the error
    file is always written. With compare=True, `files` are (A, B) pairs
    coded side by side into their error files. `jobs` files are coded at
    once (None: one per core), each job reading the tree once. Outputs that
    exist are refused unless overwrite=True.

    A file that cannot be coded does not stop the others: its FileResult has
    ok False and the window's message. The corpus error tables (counts
    summed over the files coded whole) are returned and written as
    OUT/K<K>/corpus_error.txt and corpus_error.csv. Raises zortan.Error when
    nothing can be coded (the tree cannot be read, a K beyond the tree,
    inputs that would write outputs of the same names, an unknown output).
    """
    args = _arguments(tree_path, clusters, outputs, out_dir, overwrite, compare)
    raw = _zortan.code_corpus(*args, inputs=_inputs(files, compare), jobs=int(jobs or 0))
    return _result(raw["files"], raw["tables"], raw["labels"], compare)
