"""code_files and the Dask form against zortan-batch: the same bytes in
every output, the corpus tables from the files' own counts, failures kept
to their file."""

import os
import shutil
import subprocess

import numpy as np
import pytest

import zortan
from zortan.corpus import code_corpus

TREE = "vowels-cep16-centroids32.vq"


def without_date(path):
    """A file's bytes without the run's date: the certificate's date and time
    fields of a combined file, the first line of a text file."""
    data = path.read_bytes()
    if path.suffix == ".zrt":
        return data[:7] + data[23:]
    return data[data.index(b"\r\n"):]


def same_files(ours, theirs):
    names = sorted(p.name for p in ours.iterdir())
    assert names == sorted(p.name for p in theirs.iterdir())
    for name in names:
        assert without_date(ours / name) == without_date(theirs / name), name
    return names


@pytest.fixture
def corpus(samples, tmp_path):
    files = []
    for name in ("a.fvs", "b.fvs"):
        shutil.copy(samples / "vowels.fvs", tmp_path / name)
        files.append(str(tmp_path / name))
    shutil.copy(samples / "vowels-melcep16.txt", tmp_path / "t.txt")
    return files


def batch(samples, out, files, *options):
    done = subprocess.run([os.environ["ZORTAN_BATCH"], "--tree", str(samples / TREE),
                           "--clusters", "4,16", "--out", str(out), *options, *files],
                          capture_output=True, text=True, timeout=120)
    return done.returncode, done.stderr


def test_code_files_and_dask_write_what_the_batch_command_writes(samples, tmp_path, corpus):
    status, err = batch(samples, tmp_path / "batch", corpus, "--outputs", "all", "--jobs", "2")
    assert status == 0, err
    result = zortan.code_files(samples / TREE, corpus, clusters=[16, 4], outputs="all",
                               out_dir=tmp_path / "py", jobs=2)
    from dask.distributed import Client, LocalCluster
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        dask = code_corpus(samples / TREE, corpus, clusters=[4, 16], outputs=["all"],
                           out_dir=tmp_path / "dask", client=client)
    for k in (4, 16):
        names = same_files(tmp_path / "py" / f"K{k}", tmp_path / "batch" / f"K{k}")
        same_files(tmp_path / "dask" / f"K{k}", tmp_path / "batch" / f"K{k}")
        assert "corpus_error.csv" in names and "b_Recog.zrt" in names

    assert not result.failed and [f.inputs for f in dask.files] == [[f] for f in corpus]
    for r in (result, dask):
        table = r.tables[16]
        runs = [f.runs[16] for f in r.files]
        assert table.steps == sum(run.steps for run in runs) == 954
        np.testing.assert_array_equal(table.counts, sum(run.counts for run in runs))
        assert table.counts.shape == (16, 3) and table.counts[0].tolist() == [954] * 3
    # The percentages are the text table's.
    text = (tmp_path / "py" / "K16" / "corpus_error.txt").read_text()
    second_row = text.split("\n======")[-1].splitlines()[2].split()
    assert [float(v) for v in second_row[1:]] == pytest.approx(result.tables[16].percent[1],
                                                               abs=5e-4)


def test_a_file_that_fails_is_kept_to_itself(samples, tmp_path, corpus):
    files = corpus + [str(tmp_path / "missing.fvs"), str(tmp_path / "t.txt")]
    result = zortan.code_files(samples / TREE, files, clusters=[4, 16],
                               outputs=["recog-codes"], out_dir=tmp_path / "out")
    assert [f.ok for f in result.files] == [True, True, False, False]
    assert result.files[2].message.endswith("missing.fvs\" does not exist.")
    # A text table fixes its own number of clusters (its components count).
    assert "is coded at 16 clusters, not at 4." in result.files[3].runs[4].message
    assert result.files[3].runs[16].coded
    assert result.tables[4].files == 2 and result.tables[16].files == 3
    assert (tmp_path / "out" / "K16" / "a_code.txt").exists()
    assert not (tmp_path / "out" / "K16" / "a_Recog.zrt").exists()

    with pytest.raises(zortan.Error, match="cannot be read"):
        zortan.code_files(samples / "vowels.fvs", corpus, clusters=4, out_dir=tmp_path / "x")
    with pytest.raises(zortan.Error, match="has 32 clusters at most"):
        code_corpus(samples / TREE, corpus, clusters=[64], out_dir=tmp_path / "x")
    with pytest.raises(zortan.Error, match="is no output"):
        zortan.code_files(samples / TREE, corpus, clusters=4, outputs="teach", out_dir=tmp_path)


def test_a_task_tried_again_replaces_what_it_wrote(samples, tmp_path, corpus):
    """A Dask task whose worker was lost is run again with the same plan: it
    replaces its own outputs instead of finding them in its way."""
    from zortan import _files, _zortan
    from zortan.corpus import _code_group
    args = _files._arguments(samples / TREE, [4], ["all"], tmp_path / "out", False, False)
    plans = _zortan.prepare_corpus(*args, inputs=[[f] for f in corpus])
    first = _code_group(plans, args)
    (tmp_path / "out" / "K4" / "a_error.txt").write_bytes(b"half")
    again = _code_group(plans, args)
    assert all(f["ok"] for f in first + again), again
    assert (tmp_path / "out" / "K4" / "a_error.txt").read_bytes() != b"half"
    assert not [p for p in (tmp_path / "out" / "K4").iterdir() if p.name.startswith(".zortan-")]
    # A failed file counts no event.
    result = zortan.code_files(samples / TREE, [str(tmp_path / "none.fvs")], clusters=4,
                               out_dir=tmp_path / "x")
    assert result.files[0].runs[4].events == 0
