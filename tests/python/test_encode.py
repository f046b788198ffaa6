"""Tree.encode against the program: the reference coder on close calls, and
zortan-console runs on the bundled samples."""

import numpy as np
import pytest

import zortan
from conftest import read_table


def close_call_rows(test_trees):
    """Events at the centre the close-call tree's centroids are all nearly
    equidistant from, and a few one unit off it."""
    centre = np.loadtxt(test_trees / "centre.txt")
    rng = np.random.default_rng(3)
    rows = np.repeat(centre[None, :], 60, axis=0)
    for row in rows[1:]:
        row[rng.integers(0, 129, 3)] += rng.integers(-1, 2, 3)
    return rows


@pytest.mark.parametrize("K", [1, 6, 16])
@pytest.mark.parametrize("kind", ["int16", "float64"])
def test_close_calls_go_as_the_reference_coder_decides(test_trees, K, kind):
    tree = zortan.read_tree(test_trees / "closecall.vq")
    rows = close_call_rows(test_trees).astype(kind)
    cath = np.tile(np.frombuffer(b"".join(l[:1].encode() for l in tree.cath_lists), np.uint8),
                   (len(rows), 1))
    fast = tree.encode(rows, K=K, paths=True, threads=3, cath=cath)
    reference = tree.encode(rows, K=K, paths=True, cath=cath, _reference=True)
    for name in ("codes", "categories", "paths", "errors", "error_counts"):
        np.testing.assert_array_equal(getattr(fast, name), getattr(reference, name), name)
    if K == 16:
        # The close calls do not all go one way.
        assert len(np.unique(fast.codes)) > 1
        # Leaves' codes at the full size are the tree's codes 0..K-1 and a
        # path ends at the leaf.
        assert fast.codes.max() < K
        np.testing.assert_array_equal(tree.codes[fast.paths[:, -1]], fast.codes)


def test_fractional_reals_decide_by_their_distances(test_trees):
    tree = zortan.read_tree(test_trees / "codebook.vq")
    rng = np.random.default_rng(5)
    leaves = np.flatnonzero(tree.sons <= 0)
    rows = tree.centroids[rng.choice(leaves, 300)] + rng.normal(0, 400, (300, 129))
    coded = tree.encode(rows, threads=2)
    np.testing.assert_array_equal(coded.codes, tree.encode(rows, _reference=True).codes)
    # Far from a split the walk ends at the nearest leaf.
    near = tree.encode(tree.centroids[leaves] + 0.25)
    np.testing.assert_array_equal(near.codes, tree.codes[leaves])
    # A vector of fewer components is padded with zeros when asked to be.
    np.testing.assert_array_equal(tree.encode(rows[:, :100], pad=True).codes,
                                  tree.encode(np.pad(rows[:, :100], ((0, 0), (0, 29)))).codes)


@pytest.mark.parametrize("tree_name, clusters", [
    ("vowels-cep16-centroids32.vq", None),
    ("vowels-cep16-centroids32.vq", 7),
    ("vowels-melcep16-cart32.vq", None),
    ("vowels-cep16-cart8-avg10.vq", None),
    ("vowels-cep16-cart8-avg10.vq", 3),
])
def test_codes_equal_a_console_run_on_the_fvs_sample(samples, console, tree_name, clusters):
    tree = zortan.read_tree(samples / tree_name)
    fvs = zortan.read_fvs(samples / "vowels.fvs")
    teach, recog = (zortan.read_zrt(p) for p in console(samples / tree_name,
                                                        samples / "vowels.fvs", clusters))
    K = clusters or tree.full_size
    result = tree.encode(fvs.records["vectors"][:, tree.feature_kind], K=K, threads=2,
                         cath=zortan.cath_of(fvs.records))
    np.testing.assert_array_equal(result.codes, teach.records["code"])
    np.testing.assert_array_equal(result.codes, recog.records["code"])
    np.testing.assert_array_equal(zortan.cath_of(teach.records), zortan.cath_of(fvs.records))
    leaf_chars = np.array([[ord(tree.cath_lists[c][r]) for c, r in enumerate(row)]
                           for row in result.categories], dtype=np.uint8)
    np.testing.assert_array_equal(leaf_chars, zortan.cath_of(recog.records))
    assert teach.certificate["cGivenGroupNbr"] == K
    assert teach.certificate["cFileHeading"] == " teaching output file "
    assert recog.certificate["cFileHeading"] == " recognition output file "
    assert teach.certificate["cTreeFileDir"] == str(samples / tree_name)
    assert teach.certificate["radiogroup2itemIndex"] == tree.feature_kind
    assert teach.certificate["cCath1Set"] == "aeiou"
    assert teach.certificate["cLifterTreshold1"] == fvs.header["lifter_threshold"]
    assert teach.certificate["cF1rate"] == fvs.header["rate"] == 16000.0
    # Every record is an error at one cluster.
    assert list(result.error_counts[0]) == [len(fvs.records)] * 3


def test_averaging_is_a_series_in_time_order(samples):
    tree = zortan.read_tree(samples / "vowels-cep16-cart8-avg10.vq")
    assert tree.settings["averaging"] and tree.settings["averaging_frames"] == 10
    vectors = zortan.read_fvs(samples / "vowels.fvs").records["vectors"][:, 3]
    averaged = tree.encode(vectors, threads=3).codes
    plain = tree.encode(vectors, averaging=False).codes
    assert (averaged != plain).any()
    np.testing.assert_array_equal(plain, tree.encode(vectors, averaging=False,
                                                     _reference=True).codes)
    # Each call starts a new series: the first rows code alike in both.
    np.testing.assert_array_equal(tree.encode(vectors[:50]).codes, averaged[:50])


def test_codes_equal_a_console_run_on_the_text_table(samples, console):
    tree_path = samples / "vowels-table-centroids16.vq"
    tree = zortan.read_tree(tree_path)
    cath, values = read_table(samples / "vowels-melcep16.txt")
    teach, _ = console(tree_path, samples / "vowels-melcep16.txt")
    codes = zortan.read_zrt(teach).records["code"]
    np.testing.assert_array_equal(tree.encode(values, cath=cath).codes, codes)
    np.testing.assert_array_equal(tree.encode(values.astype(float)).codes, codes)


def test_reals_round_half_to_even_for_cart_splits(samples):
    tree = zortan.read_tree(samples / "vowels-melcep16-cart32.vq")
    assert tree.settings["sets_dividing_method_name"] == "CART"
    # The root compares one component with a threshold between two integers:
    # below it the first son (code 0 at two clusters), else the second (1).
    f, threshold = tree.split_components[0], tree.centroids[0, tree.split_components[0]]
    assert threshold % 1 == 0.5
    below = threshold - 0.5
    offsets = np.array([-0.6, -0.5, 0.4, 0.5, 0.6, 1.5]) + (below if below % 2 == 0 else below - 1)
    rows = np.zeros((len(offsets), 16))
    rows[:, f] = offsets
    expected = [int(np.round(v) >= threshold) for v in offsets]
    assert tree.encode(rows, K=2).codes.tolist() == expected
    assert tree.encode(np.round(rows).astype(np.int16), K=2).codes.tolist() == expected


def codebook_rows(tree, n, spread, seed):
    rng = np.random.default_rng(seed)
    leaves = np.flatnonzero(tree.sons <= 0)
    return tree.centroids[rng.choice(leaves, n)] + rng.normal(0, spread, (n, 129))


@pytest.mark.parametrize("tree_name", ["codebook.vq", "closecall.vq"])
def test_float64_rows_of_whole_numbers_code_as_int16_rows(test_trees, tree_name):
    tree = zortan.read_tree(test_trees / tree_name)
    words = np.clip(np.round(codebook_rows(tree, 400, 300, 7)), -32768, 32767).astype(np.int16)
    words[:5, :9] = [[-32768], [32767], [0], [-1], [1]]
    cath = np.tile(np.frombuffer(b"".join(l[:1].encode() for l in tree.cath_lists), np.uint8),
                   (len(words), 1))
    as_int16 = tree.encode(words, paths=True, cath=cath)
    as_float64 = tree.encode(words.astype(np.float64), paths=True, threads=2, cath=cath)
    for name in ("codes", "categories", "paths", "errors", "error_counts"):
        np.testing.assert_array_equal(getattr(as_float64, name), getattr(as_int16, name), name)


def test_float64_fractions_and_halves_round_as_the_reference_coder_does(samples):
    # A CART tree compares the rounded components, so every rounding shows.
    tree = zortan.read_tree(samples / "vowels-melcep16-cart32.vq")
    rng = np.random.default_rng(11)
    base = np.rint(tree.centroids[rng.integers(0, len(tree.centroids), 500), :16])
    fractions = rng.choice([0.0, 0.5, -0.5, 0.49, -0.49, 0.51, -0.51, 1.5, -1.5, 0.25], (500, 16))
    rows = base + fractions
    rows[0, :4] = [-32768.5, 32767.49, -0.5, 2.5]
    fast = tree.encode(rows, paths=True)
    reference = tree.encode(rows, paths=True, _reference=True)
    as_int16 = tree.encode(np.rint(rows).astype(np.int16), paths=True)
    for name in ("codes", "categories", "paths"):
        np.testing.assert_array_equal(getattr(fast, name), getattr(reference, name), name)
        np.testing.assert_array_equal(getattr(fast, name), getattr(as_int16, name), name)


@pytest.mark.parametrize("column", [0, 7, 8, 128])
@pytest.mark.parametrize("value", [32767.5, -32768.51, 1e300, -np.inf, np.nan])
def test_the_coder_refuses_a_component_out_of_range_as_the_reference_does(test_trees, column,
                                                                           value):
    # Past the package's own check: the module's rounding refuses it too.
    tree = zortan.read_tree(test_trees / "codebook.vq")
    rows = np.zeros((300, 129))
    rows[290, column] = value
    for reference in (False, True):
        with pytest.raises(zortan.Error, match="Range check error"):
            tree._tree.encode(rows, 16, False, 1, True, None, reference)
