"""Grows trees with zortan.train against scikit-learn on the same events, one thread each.

    OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 PYTHONPATH=build/python \\
        /usr/bin/python3 bench/python/train_bench.py [N]

N events (100,000 by default) of 129 components, 16-bit integers as an fvs
file holds them: 300 Gaussian clusters whose centres and spreads shrink
along the components, as spectral features do; the category of an event is
its cluster's number modulo 10. At K = 16, 64 and 256:
  - centroids by distortion (zortan.train, rule="centroids") against
    sklearn.cluster.BisectingKMeans(bisecting_strategy="biggest_inertia"):
    fit time and the total distortion of the training events (sum of squared
    distances to their cluster's mean);
  - CART supervised by the category (rule="cart", next_split and split_by
    "recognition-error") against sklearn.tree.DecisionTreeClassifier(
    max_leaf_nodes=K, criterion="gini"): fit time and training recognition
    error (each leaf answering its most frequent category);
  - the centroid tree's search against a full search over the same K leaf
    centroids: signal to quantization noise, 10 log10(sum |x|^2 / sum
    |x - q(x)|^2), in dB, and the loss of the tree's search.
Times are the best of REPEATS fits, processor time (one thread each).
Needs python3-sklearn (not needed by the package).
"""

import sys
import time

import numpy as np

COMPONENTS = 129
CLUSTERS = (16, 64, 256)
REPEATS = 2


def events(n, seed=5):
    rng = np.random.default_rng(seed)
    fade = np.linspace(1.0, 0.2, COMPONENTS)
    centres = rng.normal(0, 1500, size=(300, COMPONENTS)) * fade
    which = rng.integers(0, 300, size=n)
    noise = rng.normal(0, 400, size=(n, COMPONENTS)) * np.linspace(1.0, 0.3, COMPONENTS)
    x = np.clip(np.rint(centres[which] + noise), -32768, 32767).astype(np.int16)
    return x, (which % 10).astype(np.uint8)


def fit_time(fit):
    best, result = None, None
    for _ in range(REPEATS):
        start = time.process_time()
        result = fit()
        spent = time.process_time() - start
        best = spent if best is None else min(best, spent)
    return best, result


def distortion(x, labels):
    """Sum of squared distances of the rows to their label's mean."""
    total = 0.0
    for label in np.unique(labels):
        rows = x[labels == label]
        total += float(((rows - rows.mean(axis=0)) ** 2).sum())
    return total


def recognition_error(labels, category):
    """The share of rows whose category is not their label's most frequent."""
    wrong = 0
    for label in np.unique(labels):
        counts = np.bincount(category[labels == label])
        wrong += counts.sum() - counts.max()
    return wrong / len(labels)


def full_search(x, centroids):
    """The nearest of the centroids for every row, in blocks."""
    nearest = np.empty(len(x), dtype=np.int64)
    norms = (centroids ** 2).sum(axis=1)
    for at in range(0, len(x), 20_000):
        block = x[at:at + 20_000]
        nearest[at:at + 20_000] = np.argmin(norms - 2.0 * block @ centroids.T, axis=1)
    return nearest


def snr(x, quantized_error):
    return 10.0 * np.log10(float((x ** 2).sum()) / quantized_error)


def blas():
    try:
        from threadpoolctl import threadpool_info
        infos = [f"{i.get('internal_api')} {i.get('version')} ({i.get('threading_layer', '')})"
                 for i in threadpool_info() if i.get("user_api") == "blas"]
        return ", ".join(infos) or "none found"
    except ImportError:
        return "threadpoolctl missing: unknown"


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    import sklearn
    import zortan
    from sklearn.cluster import BisectingKMeans
    from sklearn.tree import DecisionTreeClassifier

    x16, category = events(n)
    x = x16.astype(np.float64)
    cath = np.zeros((n, 3), dtype=np.uint8)
    cath[:, 0] = ord("0") + category
    cath[:, 1:] = ord("a")
    print(f"{n} events of {COMPONENTS} components; scikit-learn {sklearn.__version__}, "
          f"BLAS: {blas()}")

    print("\ncentroids by distortion    fit [s]  zortan  sklearn  speed-up   "
          "distortion zortan / sklearn")
    for k in CLUSTERS:
        ours_s, tree = fit_time(lambda: zortan.train(x16, cath, n_clusters=k))
        theirs_s, km = fit_time(lambda: BisectingKMeans(
            n_clusters=k, bisecting_strategy="biggest_inertia", random_state=0).fit(x))
        ours = distortion(x, tree.encode(x16, n_clusters=k).codes)
        theirs = distortion(x, km.labels_)
        print(f"  K = {k:<4}                      {ours_s:7.2f} {theirs_s:8.2f} {theirs_s / ours_s:8.1f}x"
              f"   {ours:.4e} / {theirs:.4e} ({ours / theirs:.4f})", flush=True)

    print("\nCART by recognition error  fit [s]  zortan  sklearn  speed-up   "
          "training error zortan / sklearn (gini)")
    for k in CLUSTERS:
        ours_s, tree = fit_time(lambda: zortan.train(
            x16, cath, n_clusters=k, rule="cart", next_split="recognition-error",
            split_by="recognition-error", supervised_by=1))
        theirs_s, dt = fit_time(lambda: DecisionTreeClassifier(
            max_leaf_nodes=k, criterion="gini", random_state=0).fit(x, category))
        ours = recognition_error(tree.encode(x16, n_clusters=k).codes, category)
        theirs = 1.0 - dt.score(x, category)
        print(f"  K = {k:<4}                      {ours_s:7.2f} {theirs_s:8.2f} {theirs_s / ours_s:8.1f}x"
              f"   {100 * ours:.2f} % / {100 * theirs:.2f} % ({100 * (ours - theirs):+.2f} points)",
              flush=True)

    print("\ntree search against a full search over the same leaves (centroids, distortion)")
    print("  K      SNR tree [dB]  SNR full [dB]  loss [dB]")
    tree = zortan.train(x16, cath, n_clusters=max(CLUSTERS))
    for k in CLUSTERS:
        codes = tree.encode(x16, n_clusters=k).codes
        centroids = np.stack([x[codes == c].mean(axis=0) for c in range(k)])
        tree_error = float(((x - centroids[codes]) ** 2).sum())
        full_error = float(((x - centroids[full_search(x, centroids)]) ** 2).sum())
        print(f"  {k:<6} {snr(x, tree_error):13.2f} {snr(x, full_error):14.2f} "
              f"{snr(x, full_error) - snr(x, tree_error):10.2f}", flush=True)


if __name__ == "__main__":
    main()
