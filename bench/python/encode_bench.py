"""Times zortan's Tree.encode against scikit-learn and faiss on one thread.

    OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 PYTHONPATH=build/python \\
        /usr/bin/python3 bench/python/encode_bench.py build

500,000 vectors of 129 components, drawn near the leaves of a 256-leaf
codebook tree (written by the build's zortan-python-testdata), coded at
K=256 by:
  - Tree.encode (int16 rows, and float64 rows), one thread and two;
  - sklearn.cluster.BisectingKMeans.predict, fitted with 256 clusters on
    the same data;
  - faiss.IndexFlatL2 over the tree's 256 leaf centroids, one thread.
Prints the best of a few runs of each, wall time and vectors per second,
and processor time, which the speed-ups are computed from (one thread each).
Needs python3-sklearn and python3-faiss (not needed by the package).
"""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np

N, COMPONENTS, K = 500_000, 129, 256
REPEATS = 3


def best(label, action, n=N):
    """The best wall time of REPEATS runs, and the best processor time (all
    threads): on a busy machine the latter is the steadier figure."""
    walls, cpus = [], []
    for _ in range(REPEATS):
        wall, cpu = time.perf_counter(), time.process_time()
        result = action()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    t, c = min(walls), min(cpus)
    print(f"{label:<42} {t:7.3f} s {n / t / 1e6:6.2f} M/s  (processor {c:7.3f} s)",
          flush=True)
    return c, result


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    import zortan
    from sklearn.cluster import BisectingKMeans
    import faiss
    from threadpoolctl import threadpool_limits

    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([os.path.join(build, "app/python/zortan-python-testdata"), folder],
                       check=True)
        tree = zortan.read_tree(os.path.join(folder, "codebook256.vq"))
    leaves = np.flatnonzero(tree.sons <= 0)
    assert len(leaves) == K and tree.full_size == K
    rng = np.random.default_rng(2026)
    picked = rng.choice(leaves, N)
    words = np.clip(np.round(tree.centroids[picked] + rng.normal(0, 200, (N, COMPONENTS))),
                    -32768, 32767).astype(np.int16)
    reals = words.astype(np.float64)
    print(f"{N} vectors of {COMPONENTS} components, K={K}, best of {REPEATS}")

    t_zortan, coded = best("zortan Tree.encode int16, 1 thread", lambda: tree.encode(words))
    t_reals, _ = best("zortan Tree.encode float64, 1 thread", lambda: tree.encode(reals))
    best("zortan Tree.encode int16, 2 threads", lambda: tree.encode(words, threads=2))

    faiss.omp_set_num_threads(1)
    index = faiss.IndexFlatL2(COMPONENTS)
    index.add(np.ascontiguousarray(tree.centroids[leaves], dtype=np.float32))
    queries = words.astype(np.float32)
    t_faiss, (_, nearest) = best("faiss IndexFlatL2.search k=1, 1 thread",
                                 lambda: index.search(queries, 1))

    with threadpool_limits(1):
        start = time.perf_counter()
        model = BisectingKMeans(n_clusters=K, random_state=0).fit(reals)
        print(f"(BisectingKMeans fit: {time.perf_counter() - start:.1f} s)")
        t_sklearn, _ = best("sklearn BisectingKMeans.predict, 1 thread",
                            lambda: model.predict(reals))

    leaf_codes = tree.codes[leaves]
    agree = np.mean(coded.codes == leaf_codes[nearest[:, 0]])
    print(f"zortan codes the nearest leaf centroid for {agree:.2%} of the vectors")
    for kind, t in (("int16", t_zortan), ("float64", t_reals)):
        print(f"{kind:<7} speed-up over sklearn: {t_sklearn / t:.1f}x (target 5x), "
              f"over faiss: {t_faiss / t:.1f}x (target 2.5x)")


if __name__ == "__main__":
    main()
