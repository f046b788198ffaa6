"""Coding a corpus on a Dask distributed cluster: code_corpus, zortan.code_files
spread over Dask's workers (Debian's python3-distributed).

    from zortan.corpus import code_corpus
    result = code_corpus("tree.vq", files, n_clusters=[16, 64], outputs=["all"],
                         out_dir="/shared/out", client=None)
    result.to_frame(64)           # the corpus error table at 64 clusters

The module is zortan.corpus after `import zortan`; Dask itself is imported
only when code_corpus makes a cluster of its own (client=None).

One task per group of files; each worker process reads the tree once per
thread and keeps it for the tasks that follow. The workers write the outputs
themselves, so `out_dir` and the inputs must be paths every worker sees (a
shared file system). The files written equal zortan-batch's.
"""
from __future__ import annotations

import threading as _threading
from typing import Sequence, Union

from . import _files, _zortan

__all__ = ["code_corpus"]

# The jobs of this worker process, one per thread and set of settings.
_local = _threading.local()


def _job(args: tuple) -> "_zortan.CorpusJob":
    jobs = getattr(_local, "jobs", None)
    if jobs is None:
        jobs = _local.jobs = {}
    job = jobs.get(args)
    if job is None:
        job = jobs[args] = _zortan.CorpusJob(*args)
    return job


def _code_group(group: list, args: tuple) -> list:
    job = _job(args)
    return [job.code(plan) for plan in group]


def code_corpus(tree_path: _files.PathLike, files: Sequence,
                n_clusters: Union[int, Sequence[int], None] = None,
                outputs: Union[str, Sequence[str]] = (), out_dir: _files.PathLike = ".",
                client=None, overwrite: bool = False, compare: bool = False,
                files_per_task: int = 1, *,
                clusters: Union[int, Sequence[int], None] = None) -> _files.CorpusResult:
    """zortan.code_files on a Dask cluster; the same arguments (n_clusters, with
    `clusters` as an alias), outputs and result (a CorpusResult).

    With client=None a LocalCluster of worker processes (one thread each) is
    made for the call and closed after it (Dask's distributed missing:
    zortan.MissingPackage); otherwise the given dask.distributed.Client's
    cluster is used. `files_per_task` groups small files into one task.
    """
    n_clusters = _files._one_of(n_clusters, clusters, "n_clusters", "clusters")
    args = _files._arguments(tree_path, n_clusters, outputs, out_dir, overwrite, compare)
    inputs = _files._inputs(files, compare)
    if client is None:
        # Before anything is prepared: without Dask nothing is written.
        distributed = _files._needed("dask.distributed", "code_corpus with client=None",
                                     "python3-distributed", "dask[distributed]")
    # The tree and the settings are checked here, before anything is sent.
    labels = _zortan.CorpusJob(*args).labels
    # Where each file's outputs go and which exist is settled here, once: a
    # task tried again (its worker lost) codes its files as planned and
    # replaces what it had written.
    plans = _zortan.prepare_corpus(*args, inputs=inputs)
    groups = [plans[i:i + max(1, files_per_task)]
              for i in range(0, len(plans), max(1, files_per_task))]

    own = None
    if client is None:
        Client, LocalCluster = distributed.Client, distributed.LocalCluster
        own = LocalCluster(threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(own)
    try:
        futures = client.map(_code_group, groups, args=args, pure=False)
        raw_files = [r for group in client.gather(futures) for r in group]
    finally:
        if own is not None:
            client.close()
            own.close()
    raw_tables = _zortan.finish_corpus(*args, labels=labels, files=raw_files)
    return _files._result(raw_files, raw_tables, labels, compare)
