"""What a newcomer meets: n_clusters everywhere, help(zortan), the results
as pandas DataFrames named after the tree's labels."""

import inspect
import subprocess
import sys

import numpy as np
import pytest

import zortan

TREE = "vowels-cep16-centroids32.vq"


def test_every_number_of_clusters_is_n_clusters_and_the_old_names_still_work(samples):
    public = [getattr(zortan, name) for name in zortan.__all__]
    calls = [c for c in public if inspect.isfunction(c)] + [
        f for c in public if inspect.isclass(c)
        for _, f in inspect.getmembers(c, inspect.isfunction)]
    for call in calls:
        parameters = inspect.signature(call).parameters
        if {"K", "clusters"} & set(parameters):
            assert "n_clusters" in parameters, call
    rows = zortan.read_fvs(samples / "vowels.fvs").records["vectors"][:, 3, :16]
    text = lambda tree: tree._tree.text()  # noqa: E731
    trees = [zortan.train(rows, None, 6), zortan.train(rows, n_clusters=6),
             zortan.train(rows, clusters=6), zortan.train(rows, K=6)]
    assert all(text(t) == text(trees[0]) for t in trees)
    codes = trees[0].encode(rows, 3).codes
    assert codes.max() == 2 and codes.tolist() == trees[0].encode(rows, K=3).codes.tolist()
    with pytest.raises(TypeError, match="not both"):
        zortan.code_corpus(samples / TREE, [samples / "vowels.fvs"], 4, clusters=4)


def test_help_lists_every_public_name_and_corpus_comes_without_dask():
    script = ("import pydoc, sys, zortan\n"
              "text = pydoc.render_doc(zortan, renderer=pydoc.plaintext)\n"
              "functions = text[text.index('FUNCTIONS'):]\n"
              "print([n for n in zortan.__all__ if n not in text],\n"
              "      [n for n in ('code_files', 'code_corpus') if n + '(' not in functions],\n"
              "      zortan.corpus.code_corpus is zortan.code_corpus, 'dask' in sys.modules)")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          check=True)
    assert done.stdout.split() == ["[]", "[]", "True", "False"]


def test_an_encode_result_is_a_frame_named_after_the_tree_labels(samples):
    pd = pytest.importorskip("pandas")
    tree = zortan.read_tree(samples / TREE)
    fvs = zortan.read_fvs(samples / "vowels.fvs")
    cath = zortan.cath_of(fvs.records)
    result = tree.encode(fvs.records["vectors"][:, tree.feature_kind], 8, cath=cath)
    frame = result.to_frame()
    assert list(frame) == ["code", "Vowel", "Vowel_recognised", "Speaker", "Speaker_recognised",
                           "Voicing", "Voicing_recognised"]
    given = [c.decode() for c in zortan.cath_of(fvs.records, chars=True)[:, 2]]
    read = [c.decode() for c in result.category_chars[:, 0]]
    assert (frame["code"].tolist(), frame["Voicing"].tolist(),
            frame["Vowel_recognised"].tolist()) == (result.codes.tolist(), given, read)
    # The diagonal of the confusion table is what the error table does not count.
    confusion = pd.crosstab(frame["Vowel"], frame["Vowel_recognised"])
    assert len(frame) - np.trace(confusion.values) == result.error_counts[7, 0]
    records = fvs.to_frame(tree.labels, feature_kind=3)
    assert records["Vowel"].tolist() == frame["Vowel"].tolist()
    assert records["c5"].tolist() == fvs.records["vectors"][:, 3, 5].tolist()
    twins = zortan.train(np.arange(8.0).reshape(4, 2), n_clusters=2, labels=["a", "a", ""])
    assert list(twins.encode(np.zeros((1, 2))).to_frame()) == [
        "code", "cath1_recognised", "cath2_recognised", "cath3_recognised"]


def test_error_table_frames_hold_the_csv_table(samples, tmp_path):
    pd = pytest.importorskip("pandas")
    result = zortan.code_files(samples / TREE, [samples / "vowels.fvs"], n_clusters=[4, 8],
                               out_dir=tmp_path)
    frame = result.to_frame()
    csv = pd.read_csv(tmp_path / "K8" / "corpus_error.csv", index_col="clusters")
    assert list(frame) == list(csv)[3:] and frame.index.tolist() == list(range(1, 9))
    np.testing.assert_allclose(frame.values, csv[list(frame)].values, atol=5e-4)
    assert (frame.loc[1].filter(like="_percent") == 100).all()
    pd.testing.assert_frame_equal(result.files[0].to_frame(4), result.to_frame(4))
    with pytest.raises(ValueError, match="coded at 4, 8"):
        result.to_frame(5)


def test_to_frame_without_pandas_says_how_to_get_it(samples, monkeypatch):
    result = zortan.read_tree(samples / TREE).encode(np.zeros((2, 16)))
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="python3-pandas") as refused:
        result.to_frame()
    assert isinstance(refused.value, zortan.Error)
