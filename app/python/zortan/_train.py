"""Trees grown from arrays (zortan.train, the scikit-learn estimator
zortan.TreeQuantizer) and trees put together from splits grown elsewhere
(zortan.Tree.from_splits), with the program's training library."""
from __future__ import annotations

from typing import Any, Dict, List, Mapping, Optional, Sequence, Tuple

import numpy as _np

from . import _zortan
from . import (  # defined by the package before it imports this module
    _COMPONENTS,
    _HEADER_KEYS,
    Tree,
    _components,
    _looks_transposed,
    _numbers_of,
    _qualifiers,
    _tree_of_text,
)
from ._files import InvalidArgument, WrongType, _integer

#: The qualifier every row takes when none are given.
DEFAULT_QUALIFIER = b"a"
_DEFAULT_LABELS = ("cath1", "cath2", "cath3")
_LARGEST = _zortan.LARGEST_CLUSTERS
_MOST_JOBS = 64


def _clusters_of(n_clusters: Any, clusters: Any, K: Any) -> int:
    given = [(name, v) for name, v in (("n_clusters", n_clusters), ("clusters", clusters),
                                       ("K", K)) if v is not None]
    if not given:
        raise WrongType("give the number of clusters: n_clusters=K")
    if len(given) > 1:
        raise WrongType(f"give one of {', '.join(name for name, _ in given)}, not several")
    k = _integer(given[0][1], "the number of clusters")
    if not -2**31 < k < 2**31:
        raise InvalidArgument(f"The number of clusters must be 1 to {_LARGEST}, not {k}.")
    return k


def _name(value: Any, what: str) -> str:
    if not isinstance(value, str):
        raise WrongType(f"{what} must be a name (str), not {type(value).__name__} {value!r}")
    return value


def _components_text(components: Any, m: int) -> str:
    """The components that count as ComponentsNamed takes them."""
    if components is None:
        return f"0-{m - 1}"
    if isinstance(components, str):
        return components
    if isinstance(components, (bytes, Mapping)) or not hasattr(components, "__iter__"):
        raise WrongType(f'components must be None, a str ("0-15", "0-11,13") or a sequence of '
                        f"component numbers, not {type(components).__name__}")
    numbers = [_integer(c, "each component") for c in components]
    if any(not 0 <= c < _COMPONENTS for c in numbers):
        raise InvalidArgument(f"components are numbered 0 to {_COMPONENTS - 1}: {numbers}")
    return ",".join(str(c) for c in sorted(set(numbers)))


def _one_line(text: Any, what: str) -> str:
    if not isinstance(text, str):
        raise WrongType(f"{what} must be a str, not {type(text).__name__}")
    if "\r" in text or "\n" in text or len(text.encode("utf-8")) > 255:
        raise InvalidArgument(f"{what} must be one line of at most 255 bytes: {text!r}")
    return text


def _labels_of(labels: Any) -> List[str]:
    if labels is None:
        return list(_DEFAULT_LABELS)
    if isinstance(labels, str) or not isinstance(labels, Sequence) or len(labels) != 3:
        raise InvalidArgument(f"labels must be the three category names, not {labels!r}")
    return [_one_line(label, "each label") for label in labels]


def _settings_of(settings: Optional[Mapping[str, Any]]) -> Dict[str, Any]:
    """The analysis settings a tree records, checked: the keys of an fvs
    header (FvsFile.header; its records and real_type_size are the file's own
    and not recorded) and feature_kind."""
    if settings is None:
        return {}
    if not isinstance(settings, Mapping):
        raise WrongType(f"settings must be a dict (an fvs header's keys and feature_kind), not "
                        f"{type(settings).__name__}")
    out: Dict[str, Any] = {}
    for key, value in settings.items():
        if key == "feature_kind":
            out[key] = _integer(value, "settings['feature_kind']")
        elif key in _HEADER_KEYS:
            if key in ("records", "real_type_size"):
                continue
            out[key] = _HEADER_KEYS[key](key, value)
            if key == "wave_name":
                out[key] = _one_line(out[key], "settings['wave_name']").encode("latin-1")
        else:
            raise InvalidArgument(f"settings has no key {key!r}: its keys are feature_kind, "
                                  + ", ".join(k for k in _HEADER_KEYS
                                              if k not in ("records", "real_type_size")))
    return out


def _rows(vectors: Any) -> _np.ndarray:
    """(n, m) rows as Tree.encode takes them: int16, or float64 whose values
    round half to even to 16-bit components."""
    array = _numbers_of(vectors, "vectors")
    if array.ndim != 2:
        raise InvalidArgument(f"vectors must be (n, m) rows, one event a row, not an array of "
                              f"shape {array.shape}")
    n, m = array.shape
    if m > _COMPONENTS:
        raise InvalidArgument(f"An event has at most {_COMPONENTS} components, not {m}."
                              + _looks_transposed(n, m, -1))
    if m == 0:
        raise InvalidArgument("The rows hold no components: an event has 1 to "
                              f"{_COMPONENTS}.")
    if array.dtype != _np.int16:
        _components(array, "vectors")
    return _np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))


def _grow(vectors: Any, cath: Any, clusters: int, rule: str, next_split: str, split_by: str,
          supervised_by: Optional[int], components: Any, averaging_ms: Optional[int], jobs: int,
          labels: Any, settings: Optional[Mapping[str, Any]]) -> Tuple[Tree, _np.ndarray]:
    """The tree, and the full tree's leaf (node) of each row."""
    rows = _rows(vectors)
    n, m = rows.shape
    if cath is None:
        given = _np.full((n, 3), DEFAULT_QUALIFIER[0], dtype=_np.uint8)
    else:
        given = _qualifiers(cath, n)
    if supervised_by is None:
        category = 0
    else:
        category = _integer(supervised_by, "supervised_by")
        if not 1 <= category <= 3:
            raise InvalidArgument(f"supervised_by is the category that recognition-error and "
                                  f"info-radius measure, 1, 2 or 3, not {category}")
    ms = 0
    if averaging_ms is not None:
        ms = _integer(averaging_ms, "averaging_ms")
        if not 1 <= ms <= 100000:
            raise InvalidArgument(f"averaging_ms must be 1 to 100000, not {ms}")
    jobs = _integer(jobs, "jobs")
    if not 1 <= jobs <= _MOST_JOBS:
        raise InvalidArgument(f"jobs must be 1 to {_MOST_JOBS}, not {jobs}")
    try:
        text, leaves = _zortan.grow(
            rows, given, clusters, _name(rule, "rule"), _name(next_split, "next_split"),
            _name(split_by, "split_by"), category, _components_text(components, m), ms, jobs,
            _labels_of(labels), _settings_of(settings))
    except _zortan.TrainingRefused as refused:
        raise InvalidArgument(str(refused)) from None
    return _tree_of_text(text, "zortan.train"), leaves


def train(vectors: Any, cath: Any = None, n_clusters: Optional[int] = None,
          rule: str = "centroids", next_split: str = "distortion", split_by: str = "distortion",
          supervised_by: Optional[int] = None, components: Any = None,
          averaging_ms: Optional[int] = None, jobs: int = 1, labels: Optional[Sequence[str]] = None,
          *, settings: Optional[Mapping[str, Any]] = None, clusters: Optional[int] = None,
          K: Optional[int] = None) -> Tree:
    """Grows a quantization tree from rows of events, as zortan-train grows one
    from event files, and returns it ready to code (no file needed).

    vectors   (n, m) array, one event a row, m <= 129. int16 rows are the
              program's 16-bit components; rows of any other real type are
              float64 reals, rounded half to even to the 16-bit components:
              the training sees each row exactly as Tree.encode hands it to
              the coder, so that tree.encode(vectors) takes every row to the
              leaf the training gave it (CART splits read the rounded
              components, the centroid rule's distances the reals). A NaN,
              an infinity or a value that rounds outside -32768..32767 is
              refused naming its row.
    cath      (n, 3) qualifiers (one-byte strings, one-character str or byte
              values 0..255, as Tree.encode's cath); None: every qualifier
              is "a" (one value per category).
    n_clusters  the leaves of the tree (1 to 16384); `clusters` and `K` are
              aliases (give one). No more leaves than the rows allow: a leaf
              of one row, or of rows all alike (in the 16-bit components, for
              CART), is not split.
    rule      "centroids" (an event goes to the nearer son's centroid, the
              second on a tie) or "cart" (one component against a threshold).
    next_split, split_by  "distortion", "recognition-error" or "info-radius":
              which leaf is split next, and how a leaf is split.
    supervised_by  1, 2 or 3: the category the supervised measures read.
    components  the components that count: None (all m), "FIRST-LAST" or a
              list as zortan-train --components takes it ("0-11,13"), or a
              sequence of component numbers. The tree considers the
              components up to the last one named: code rows of
              tree.components components (vectors[:, :tree.components]).
    averaging_ms  time averaging as zortan-train --averaging-ms: the rows are
              one series in time order, their running average removed from
              the 16-bit components (those CART reads) over a window of
              this many ms, which needs settings["frame_step"]; the tree
              records it, and tree.encode averages rows alike.
    jobs      threads (1..64); the tree is the same for any number. The GIL
              is released while the tree grows.
    labels    the three category names (default "cath1", "cath2", "cath3").
    settings  what the tree records of the analysis: an fvs header's keys
              (FvsFile.header: fft_window_width, filter, scaling_constants,
              window_shape, preemphasis, lifter_threshold, frame_step,
              rate, wave_name, cath_nbr, whose categories of no values are
              recorded inactive) and feature_kind (0..4, the fvs vector the
              rows are). settings=fvs.header records what zortan-train
              records of that file. Not given: feature kind, filter, scaling
              constants and window shape are -1 (no choice), frame step,
              rate, FFT window width and lifter threshold 0, no preemphasis,
              every category active.

    The tree records the choices, the considered components and the set that
    counts, the categories' value lists of cath, each node's reading (the
    most frequent among its rows, the lower among equals), the rows of each
    leaf (group_table) and in all; its heading is "date not recorded" and its
    teaching sample "teaching sample of N events given as arrays". It is the
    tree its file gives: tree.write(path) writes that file.

    Refused: choices of other names or types, and what the training library
    refuses (no rows, more clusters than the rows give leaves, a supervised
    measure without supervised_by) with its reason, as InvalidArgument (a
    ValueError) or WrongType (a TypeError).
    """
    k = _clusters_of(n_clusters, clusters, K)
    return _grow(vectors, cath, k, rule, next_split, split_by, supervised_by, components,
                 averaging_ms, jobs, labels, settings)[0]


def _split_list(splits: Any) -> _np.ndarray:
    try:
        array = _np.asarray(splits)
    except ValueError:
        array = _np.zeros((0, 0))
    if array.size == 0:
        return _np.zeros((0, 3), dtype=_np.int64)
    if array.ndim != 2 or array.shape[1] != 3 or array.dtype.kind not in "iu":
        raise InvalidArgument("splits must list (father, first_son, second_son) node numbers, "
                              f"one row per split, not {splits!r}"[:300])
    return array.astype(_np.int64)


def from_splits(centroids: Any, splits: Any, rule: str = "centroids", thresholds: Any = None,
                readings: Any = None, labels: Optional[Sequence[str]] = None,
                components: Any = None, settings: Optional[Mapping[str, Any]] = None) -> Tree:
    """A tree grown elsewhere, from its nodes' centroids and its splits.

    centroids  (nodes, m) array, the centroid of each node in your own node
               numbering (rows 0..nodes-1), m <= 129 components; nodes is
               2 * len(splits) + 1.
    splits     (father, first_son, second_son) node numbers, one per split,
               in the order the tree was grown: the first splits the root,
               each later one a leaf of the tree the splits before it made;
               every node is made once.
    rule       "centroids": an event goes to the son whose centroid is
               nearer (over the components that count), the second son on a
               tie. "cart": at splits[i], to the first son when the row's
               component thresholds[i][0] (rounded half to even to 16 bits,
               as Tree.encode rounds it) is below thresholds[i][1], else to
               the second (a tie too).
    thresholds for "cart", one (component, threshold) per split; the tree
               file keeps a split's threshold in its father's centroid at
               that component, which the father's centroid then holds.
    readings   each node's reading of the three categories, (nodes, 3)
               qualifiers as Tree.encode's cath; the value lists are the
               characters read. None: every reading "a".
    labels     the three category names.
    components the components that count (None: all m; a str or a sequence
               as train takes them, each below m); the tree considers m.
    settings   the analysis settings recorded, as train takes them.

    The nodes are numbered as the program's trees are: split t (t = 1, 2,
    ...) makes nodes 2t-1 (first son) and 2t (second son), the first son
    keeps its father's code and the second son's code is t, so the tree cut
    at K clusters codes its leaves 0..K-1 and codes a row at the leaf its
    walk reaches among the splits 1..K-1. Nothing is recorded of training
    rows (group_table 0). Malformed input is refused with InvalidArgument
    saying what is wrong.
    """
    array = _numbers_of(centroids, "centroids")
    if array.ndim != 2 or not 1 <= array.shape[1] <= _COMPONENTS or array.shape[0] == 0:
        raise InvalidArgument(f"centroids must be (nodes, m) rows of 1 to {_COMPONENTS} "
                              f"components, not an array of shape {array.shape}")
    array = array.astype(_np.float64)
    if not _np.isfinite(array).all():
        raise InvalidArgument("centroids must be finite numbers, not NaN or infinities")
    nodes, m = array.shape
    pairs = _split_list(splits)
    s = len(pairs)
    if nodes != 2 * s + 1:
        raise InvalidArgument(f"{s} splits make {2 * s + 1} nodes, but centroids has {nodes} "
                              "rows")
    if s >= _LARGEST:
        raise InvalidArgument(f"A tree has at most {_LARGEST} leaves, not {s + 1}")
    if rule not in ("centroids", "cart"):
        raise InvalidArgument(f'rule must be "centroids" or "cart", not {rule!r}')
    cart = rule == "cart"
    if cart:
        if not isinstance(thresholds, (Sequence, _np.ndarray)) or len(thresholds) != s:
            raise InvalidArgument(f"a CART tree needs a (component, threshold) for each of its "
                                  f"{s} splits")
    elif thresholds is not None:
        raise InvalidArgument("thresholds are for CART trees (rule=\"cart\")")

    new = _np.full(nodes, -1, dtype=_np.int64)     # your node -> the tree's
    root = int(pairs[0][0]) if s else 0
    new[root] = 0
    leaves = {root}
    for t, (father, first, second) in enumerate(pairs.tolist(), start=1):
        for node in (father, first, second):
            if not 0 <= node < nodes:
                raise InvalidArgument(f"split {t} names node {node}: the nodes are 0 to "
                                      f"{nodes - 1}")
        if father not in leaves:
            raise InvalidArgument(f"split {t} splits node {father}, which is not a leaf of the "
                                  f"tree the splits before it made")
        for node in (first, second):
            if new[node] >= 0:
                raise InvalidArgument(f"split {t} makes node {node}, which is made already")
        if first == second:
            raise InvalidArgument(f"split {t} makes node {first} twice")
        leaves.remove(father)
        leaves.update((first, second))
        new[first], new[second] = 2 * t - 1, 2 * t

    son = _np.zeros(nodes, dtype=_np.int16)
    brother = _np.zeros(nodes, dtype=_np.int16)
    code = _np.zeros(nodes, dtype=_np.uint16)
    split = _np.zeros(nodes, dtype=_np.uint8)
    ordered = _np.empty_like(array)
    ordered[new] = array
    for t, (father, _, _) in enumerate(pairs.tolist(), start=1):
        f = new[father]
        son[f], brother[2 * t - 1] = 2 * t - 1, 2 * t
        code[2 * t - 1], code[2 * t] = code[f], t
        if cart:
            try:
                component, threshold = thresholds[t - 1]
            except (TypeError, ValueError):
                raise InvalidArgument(f"thresholds[{t - 1}] must be (component, threshold), not "
                                      f"{thresholds[t - 1]!r}") from None
            component = _integer(component, f"thresholds[{t - 1}]'s component")
            if not 0 <= component < m:
                raise InvalidArgument(f"thresholds[{t - 1}] compares component {component}, but "
                                      f"the centroids have {m} (0 to {m - 1})")
            threshold = float(threshold)
            if not _np.isfinite(threshold):
                raise InvalidArgument(f"thresholds[{t - 1}] holds {threshold}, no threshold")
            split[f] = component
            ordered[f, component] = threshold
    if readings is None:
        chars = _np.full((nodes, 3), DEFAULT_QUALIFIER[0], dtype=_np.uint8)
    else:
        chars = _np.empty((nodes, 3), dtype=_np.uint8)
        chars[new] = _qualifiers(readings, nodes)
    counted = list(range(m))
    if components is not None:
        try:
            considered, counted = _zortan.components_named(_components_text(components, m))
        except _zortan.TrainingRefused as refused:
            raise InvalidArgument(str(refused)) from None
        if considered > m:
            raise InvalidArgument(f"components name component {considered - 1}, but the "
                                  f"centroids have {m} (0 to {m - 1})")
    try:
        text = _zortan.assemble(ordered, son.tolist(), brother.tolist(), code.tolist(),
                                split.tolist(), chars, counted, 0 if cart else 1,
                                _labels_of(labels), _settings_of(settings))
    except _zortan.TrainingRefused as refused:
        raise InvalidArgument(str(refused)) from None
    return _tree_of_text(text, "Tree.from_splits")


def _leaf_nodes(tree: Tree, K: int) -> _np.ndarray:
    """The node of each code 0..K-1 of the tree cut at K clusters: split t
    makes nodes 2t-1 and 2t, so the nodes below 2K-1 are those of the splits
    below K, and a leaf at K is a node with no son made by them."""
    nodes = _np.arange(min(len(tree.sons), 2 * K - 1))
    sons = tree.sons[nodes].astype(_np.int64)
    leaf = nodes[(sons <= 0) | ((sons + 1) // 2 >= K)]
    table = _np.zeros(K, dtype=_np.int64)
    table[tree.codes[leaf]] = leaf
    return table


def _y_qualifiers(y: Any, n: int) -> Tuple[Optional[_np.ndarray], int]:
    """(n, 3) qualifiers of y and the categories it gives (1 or 3)."""
    if y is None:
        return None, 0
    if hasattr(y, "toarray"):
        raise WrongType("y must be dense qualifiers, not a sparse matrix")
    given = _np.asarray(y)
    if given.dtype.kind == "O":
        given = _np.asarray(given.tolist())
    if given.dtype.kind == "b":
        given = given.astype(_np.uint8)
    if given.dtype.kind == "f":
        # Labels often come as floats: whole numbers are byte values.
        if not (_np.isfinite(given).all() and (given == _np.round(given)).all()):
            raise InvalidArgument("y must hold qualifiers (one-character strings or byte values "
                                  "0..255), not reals")
        given = given.astype(_np.int64)
    if given.ndim not in (1, 2) or given.shape[0] != n:
        raise InvalidArgument(f"y must be (n,) or (n, 3) qualifiers for the {n} rows of X, not "
                              f"of shape {given.shape}")
    if given.ndim == 2:
        return _qualifiers(given, n), 3
    cath = _np.full((n, 3), DEFAULT_QUALIFIER[0], dtype=_np.uint8)
    cath[:, 0] = _qualifiers(_np.stack([given] * 3, axis=1), n)[:, 0]
    return cath, 1


class TreeQuantizer:
    """A quantization tree as a scikit-learn clusterer: zortan.train behind
    fit, the program's coder behind predict.

    TreeQuantizer(n_clusters=8, rule="centroids", next_split="distortion",
                  split_by="distortion", supervised_by=None, components=None,
                  jobs=1)

    The parameters are train's, stored as given
    and checked by fit; get_params and set_params follow scikit-learn's
    conventions, without scikit-learn being needed.

    fit(X, y=None)  grows the tree from the rows of X ((n, m), m <= 129, as
              train takes them). y: None (every qualifier "a"), (n,)
              qualifiers taken as category 1 (supervised measures then read
              it: supervised_by defaults to 1), or (n, 3) qualifiers (the
              three categories); qualifiers are one-character strings or
              byte values 0..255 (whole-number floats are taken as byte
              values). Returns self.
    predict(X) the code (0..n_clusters-1, int64) of the leaf each row walks
              to, as Tree.encode codes it; fit_predict(X) is fit(X).labels_.
    score(X, y=None)  higher is better: with y None, minus the total
              distortion (the sum over the rows of the squared distance to
              their leaf's centroid over the components that count), as
              KMeans.score; with y, minus the number of qualifiers that
              differ from their leaf's reading (category 1 for y of shape
              (n,), the three for (n, 3)).

    Attributes after fit: tree_ (the zortan.Tree, which tree_.write(path)
    writes), labels_ (the code of each training row, which predict gives
    them), cluster_centers_ ((n_clusters, tree_.components): the leaves'
    centroids by code), n_features_in_.

    scikit-learn's estimator checks (check_estimator, and the clusterers'
    check_clustering) pass, none of them marked as an expected failure
    (tests/python/test_train.py runs them). Where a tree differs from
    KMeans: values that round outside the 16-bit components are refused, a
    tree has no more leaves than its rows allow (n_clusters above the rows,
    or above the distinct rows, is refused), and the CART rule reads the
    rows rounded to whole numbers (scale small features up first).
    TreeQuantizer is no ClusterMixin (the package does not import
    scikit-learn), so check_estimator does not run the clusterers' checks
    by itself; _estimator_type is "clusterer".
    """

    _PARAMETERS = ("n_clusters", "rule", "next_split", "split_by", "supervised_by",
                   "components", "jobs")
    _estimator_type = "clusterer"

    def __init__(self, n_clusters: int = 8, rule: str = "centroids",
                 next_split: str = "distortion", split_by: str = "distortion",
                 supervised_by: Optional[int] = None, components: Any = None, jobs: int = 1):
        self.n_clusters = n_clusters
        self.rule = rule
        self.next_split = next_split
        self.split_by = split_by
        self.supervised_by = supervised_by
        self.components = components
        self.jobs = jobs

    def get_params(self, deep: bool = True) -> Dict[str, Any]:
        """The parameters by name (deep is scikit-learn's: nothing is nested)."""
        return {name: getattr(self, name) for name in self._PARAMETERS}

    def set_params(self, **params: Any) -> "TreeQuantizer":
        """Sets parameters by name, unchecked until fit; returns self."""
        for name, value in params.items():
            if name not in self._PARAMETERS:
                raise InvalidArgument(f"Invalid parameter {name!r} for estimator TreeQuantizer: "
                                      f"its parameters are {', '.join(self._PARAMETERS)}")
            setattr(self, name, value)
        return self

    def __repr__(self) -> str:
        defaults = TreeQuantizer().get_params()
        changed = [f"{name}={value!r}" for name, value in self.get_params().items()
                   if repr(value) != repr(defaults[name])]
        return f"TreeQuantizer({', '.join(changed)})"

    def _X(self, X: Any, fitted: bool) -> _np.ndarray:
        """X checked as scikit-learn checks an estimator's input."""
        if hasattr(X, "toarray") or type(X).__module__.startswith("scipy.sparse"):
            raise WrongType("TreeQuantizer takes dense rows, not a sparse matrix: pass "
                            "X.toarray()")
        array = _np.asarray(X)
        if array.dtype.kind == "c":
            raise InvalidArgument("Complex data not supported: X must hold real numbers")
        if array.dtype.kind == "O":
            try:
                array = array.astype(_np.float64)
            except (TypeError, ValueError) as e:
                raise WrongType(f"X must hold numbers: {e}") from None
        if array.ndim != 2:
            raise InvalidArgument(
                f"Expected 2D array, got {array.ndim}D array instead: X must be (n, m) rows. "
                "Reshape your data either using array.reshape(-1, 1) if your data has a single "
                "feature or array.reshape(1, -1) if it contains a single sample.")
        n, m = array.shape
        for count, what in ((n, "sample"), (m, "feature")):
            if count == 0:
                raise InvalidArgument(f"Found array with 0 {what}(s) (shape={array.shape}) "
                                      "while a minimum of 1 is required.")
        if fitted:
            if not hasattr(self, "tree_"):
                raise InvalidArgument("This TreeQuantizer is not fitted yet: call fit first.")
            if m != self.n_features_in_:
                raise InvalidArgument(f"X has {m} features, but TreeQuantizer is expecting "
                                      f"{self.n_features_in_} features as input.")
        return array

    def fit(self, X: Any, y: Any = None) -> "TreeQuantizer":
        """Grows the tree from the rows of X (see the class); returns self."""
        rows = self._X(X, fitted=False)
        cath, categories = _y_qualifiers(y, len(rows))
        k = _clusters_of(self.n_clusters, None, None)
        if len(rows) < k:
            raise InvalidArgument(f"n_samples={len(rows)} should be >= n_clusters={k}: a tree "
                                  "has no more leaves than rows.")
        supervised_by = self.supervised_by
        if supervised_by is None and categories:
            supervised_by = 1
        tree, leaves = _grow(rows, cath, k, self.rule, self.next_split, self.split_by,
                             supervised_by, self.components, None, self.jobs, None, None)
        self.tree_ = tree
        self.n_features_in_ = rows.shape[1]
        self.labels_ = tree.codes[leaves].astype(_np.int64)
        self.cluster_centers_ = tree.centroids[_leaf_nodes(tree, tree.tree_sizes),
                                               :tree.components]
        return self

    def fit_predict(self, X: Any, y: Any = None) -> _np.ndarray:
        """fit(X, y).labels_: the code of each row."""
        return self.fit(X, y).labels_

    def _encode(self, X: Any, cath: Optional[_np.ndarray] = None):
        rows = self._X(X, fitted=True)
        tree = self.tree_
        return rows, tree.encode(rows[:, :tree.components], n_clusters=tree.tree_sizes, cath=cath)

    def predict(self, X: Any) -> _np.ndarray:
        """The code of the leaf each row of X walks to, (n,) int64."""
        return self._encode(X)[1].codes.astype(_np.int64)

    def score(self, X: Any, y: Any = None) -> float:
        """Minus the total distortion of X, or with y minus its recognition
        errors (see the class)."""
        rows = self._X(X, fitted=True)
        cath, categories = _y_qualifiers(y, len(rows))
        rows, result = self._encode(rows, cath)
        tree = self.tree_
        if categories:
            read = result.category_chars.view(_np.uint8)[:, :categories]
            return -float((read != cath[:, :categories]).sum())
        counted = [c for c in tree.settings["constrained_set"] if c < tree.components]
        centres = tree.centroids[_leaf_nodes(tree, tree.tree_sizes)[result.codes]]
        gaps = rows[:, counted].astype(_np.float64) - centres[:, counted]
        return -float(_np.einsum("ij,ij->", gaps, gaps))
