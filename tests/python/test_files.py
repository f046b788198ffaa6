"""read_fvs, write_fvs, read_zrt and read_tree: the files the program reads
and writes, and the failures it reports."""

import numpy as np
import pytest

import zortan


def test_fvs_sample_reads_and_writes_back_byte_for_byte(samples, tmp_path):
    fvs = zortan.read_fvs(samples / "vowels.fvs")
    assert fvs.header == {
        "records": 477, "fft_window_width": 256, "filter": 0, "scaling_constants": 0,
        "window_shape": 1, "preemphasis": True, "lifter_threshold": 24, "real_type_size": 4,
        "frame_step": 10.0, "rate": 16000.0, "wave_name": "C:\\Zortan\\samples\\vowels.wav",
        "cath_nbr": [5, 3, 2]}
    assert not isinstance(fvs.records, np.memmap) and fvs.records.shape == (477,)
    mapped = zortan.read_fvs(samples / "vowels.fvs", mmap=True)
    assert isinstance(mapped.records, np.memmap)
    np.testing.assert_array_equal(mapped.records, fvs.records)
    assert fvs.records.dtype["vectors"].base == np.dtype("<i2")
    assert set(fvs.records["cath3"]) == {b"u", b"v"}
    copy = tmp_path / "copy.fvs"
    zortan.write_fvs(copy, fvs.header, fvs.records)
    assert copy.read_bytes() == (samples / "vowels.fvs").read_bytes()


def test_written_fvs_is_coded_by_the_program(samples, tmp_path, console):
    fvs = zortan.read_fvs(samples / "vowels.fvs")
    # Every third record, backwards, with qualifiers of our own, and only the
    # fields that matter given.
    picked = fvs.records[::-3]
    records = np.zeros(len(picked), dtype=[("vectors", "<i2", (5, 129)), ("cath1", "S1"),
                                           ("cath2", "S1"), ("cath3", "S1")])
    records["vectors"] = picked["vectors"]
    records["cath1"], records["cath2"], records["cath3"] = b"x", b"y", b"z"
    header = dict(fvs.header, wave_name="short.wav", records=5)
    path = tmp_path / "picked.fvs"
    zortan.write_fvs(path, header, records)
    back = zortan.read_fvs(path)
    assert back.header == dict(header, records=len(picked))
    tree_path = samples / "vowels-cep16-centroids32.vq"
    teach, _ = console(tree_path, path)
    zrt = zortan.read_zrt(teach)
    codes = zortan.read_tree(tree_path).encode(picked["vectors"][:, 3]).codes
    np.testing.assert_array_equal(zrt.records["code"], codes)
    assert zrt.records["cath2"].tolist() == [b"y"] * len(picked)
    assert zrt.certificate["cWaveFileDir1"] == "short.wav"


def test_tree_items(samples):
    tree = zortan.read_tree(samples / "vowels-cep16-centroids32.vq")
    s = tree.settings
    assert (tree.centroids_nb, tree.full_size, tree.labels) == (32, 32, ["Vowel", "Speaker",
                                                                         "Voicing"])
    assert (s["feature_kind_name"], s["sets_dividing_method_name"]) == ("cepstrum", "Centroids")
    assert s["considered_components_nb"] == 16 and s["heap_top"] == 62
    assert tree.cath_lists[1].startswith("123")
    assert tree.centroids.shape == (63, 129) and tree.readings.shape == (63, 3)
    # The second sons of the splits carry the codes 1..31.
    second = tree.sons[tree.sons > 0] + 1
    assert sorted(tree.codes[second].tolist()) == list(range(1, 32))


def write(path, data):
    path.write_bytes(data)
    return path


@pytest.mark.parametrize("call, message", [
    (lambda d, s: zortan.read_tree(d / "missing.vq"), 'tree file ".*missing.vq" does not exist'),
    (lambda d, s: zortan.read_tree(s / "vowels.fvs"), "vowels.fvs\" is not a tree file"),
    (lambda d, s: zortan.read_tree(write(d / "cut.vq", (s / "vowels-melcep16-cart32.vq")
                                         .read_bytes()[:3000])), "ends too early: "),
    (lambda d, s: zortan.read_fvs(write(d / "empty.fvs", b"")), "Read beyond end of file"),
    (lambda d, s: zortan.read_zrt(write(d / "cut.zrt", b"\xfd\x00\0\0\0\0" + bytes(600))),
     "ends within its certificate"),
    (lambda d, s: zortan.read_fvs(d / "missing.fvs"), 'fvs file ".*missing.fvs" does not exist'),
    (lambda d, s: zortan.write_fvs(d / "no" / "x.fvs", {}, np.zeros(1, zortan.FVS_RECORD)),
     "x.fvs"),
])
def test_failures_raise_zortan_error(tmp_path, samples, call, message):
    with pytest.raises(zortan.Error, match=message):
        call(tmp_path, samples)


@pytest.mark.parametrize("rows, K, message", [
    (np.zeros((2, 130)), None, "at most 129 components"),
    (np.zeros((2, 16)), 0, "number of clusters must be 1 to 32"),
    (np.zeros((2, 16)), 33, "number of clusters must be 1 to 32"),
    (np.full((2, 16), 40000.0), None, "Range check error"),
    (np.full((2, 16), np.nan), None, "Range check error"),
])
def test_encode_refuses_rows_it_cannot_code(samples, rows, K, message):
    tree = zortan.read_tree(samples / "vowels-melcep16-cart32.vq")
    with pytest.raises(zortan.Error, match=message):
        tree.encode(rows, K=K)


def test_program_messages_that_do_not_refuse_are_warnings(samples, tmp_path):
    fvs = zortan.read_fvs(samples / "vowels.fvs")
    path = tmp_path / "old.fvs"
    zortan.write_fvs(path, dict(fvs.header, real_type_size=3), fvs.records[:2])
    with pytest.warns(UserWarning, match="realType size declaread in the Ondrix analyzer \\(=3\\)"):
        old = zortan.read_fvs(path)
    assert old.header["frame_step"] == old.header["rate"] == 0.0
    assert issubclass(zortan.Error, Exception) and zortan.Error.__module__ == "zortan"
