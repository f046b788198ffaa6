"""Bad inputs to the package: refused with a zortan.Error that is also
Python's exception of its kind, saying what is wrong for a script's user;
never a crash nor a wait. Whatever could kill or hang the interpreter runs
in a child process with a timeout, so that a regression fails the test."""

import errno
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import zortan

CART = "vowels-melcep16-cart32.vq"        # 16 considered components, 32 clusters
CENTROIDS = "vowels-cep16-centroids32.vq"


def child(script, timeout=60):
    """Runs `script` in a fresh interpreter with the package; its stdout."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                          text=True, timeout=timeout)
    assert done.returncode == 0, (done.returncode, done.stdout, done.stderr)
    return done.stdout


@pytest.fixture(scope="module")
def cart(samples):
    return zortan.read_tree(samples / CART)


@pytest.fixture(scope="module")
def vowels(samples):
    return zortan.read_fvs(samples / "vowels.fvs")


@pytest.fixture
def zrt_file(samples, tmp_path):
    """A teaching .zrt the batch coder wrote for the fvs sample."""
    result = zortan.code_files(samples / CENTROIDS, [samples / "vowels.fvs"], clusters=8,
                               outputs="teach-combined", out_dir=tmp_path / "out")
    return tmp_path / "out" / "K8" / "vowels_Teach.zrt"


# A run that fails reports no events.

def test_a_run_that_stops_reports_no_events(test_trees, tmp_path):
    tree = zortan.read_tree(test_trees / "beyond.vq")
    leaf = len(tree.sons) - 1          # its son lies beyond the tree
    others = np.flatnonzero(tree.sons <= 0)[:-1]
    rows = np.round(tree.centroids[np.r_[others, others, leaf]]).astype(np.int16)
    events = tmp_path / "e.fvs"
    zortan.write_fvs(events, records=rows, feature_kind=tree.feature_kind)
    result = zortan.code_files(test_trees / "beyond.vq", [events], clusters=[2, 8],
                               out_dir=tmp_path / "out")
    coded, stopped = result.files[0].runs[2], result.files[0].runs[8]
    assert coded.coded and coded.events == coded.steps == len(rows)
    assert not stopped.coded and "The run stopped at event" in stopped.message
    assert stopped.events == 0 and 0 < stopped.steps < len(rows)
    assert result.tables[8].files == 0 and result.tables[8].events == 0
    assert isinstance(result.files[0].warnings, list)


# Threads.

@pytest.mark.parametrize("threads, kind", [(0, ValueError), (1025, ValueError), (1.5, TypeError),
                                           ("2", TypeError), (True, TypeError)])
def test_threads_are_an_integer_within_bounds(cart, threads, kind):
    with pytest.raises(kind, match="threads"):
        cart.encode(np.zeros((4, 16)), threads=threads)


def test_a_thread_that_cannot_start_is_an_error_not_an_abort(samples):
    # The address space is kept too small for the threads' stacks.
    out = child(f"""
        import resource, numpy as np, zortan
        tree = zortan.read_tree({str(samples / CENTROIDS)!r})
        rows = np.zeros((400, 16))
        expected = tree.encode(rows).codes
        size = next(int(l.split()[1]) for l in open("/proc/self/status") if l.startswith("VmSize:"))
        limit = size * 1024 + 24 * 2**20
        hard = resource.getrlimit(resource.RLIMIT_AS)[1]
        resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
        try:
            tree.encode(rows, threads=40)
        except zortan.Error as e:
            print("refused:", e)
        resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
        assert (tree.encode(rows, threads=2).codes == expected).all()
        print("alive")
    """)
    assert "could not be started" in out and "code with fewer threads" in out
    assert out.endswith("alive\n")


# Records copied unless mapped.

def test_records_survive_a_file_cut_after_reading(samples, tmp_path, zrt_file):
    fvs = tmp_path / "cut.fvs"
    fvs.write_bytes((samples / "vowels.fvs").read_bytes())
    out = child(f"""
        import os, numpy as np, zortan
        fvs = zortan.read_fvs({str(fvs)!r})
        zrt = zortan.read_zrt({str(zrt_file)!r})
        os.truncate({str(fvs)!r}, 2 * 1812)
        os.truncate({str(zrt_file)!r}, 6 * 254 + 6)
        print(int(fvs.records["vectors"].astype(np.int64).sum()) != 0, len(fvs.records),
              int(zrt.records["code"].astype(np.int64).sum()) > 0, len(zrt.records))
        print(type(fvs.records).__name__, fvs.records.flags.writeable)
        mapped = zortan.read_fvs({str(fvs)!r}, mmap=True)
        print(type(mapped.records).__name__, len(mapped.records))
    """)
    assert out.splitlines() == ["True 477 True 477", "ndarray True", "memmap 1"]


def test_docstrings_tell_what_a_mapped_file_risks():
    for function in (zortan.read_fvs, zortan.read_zrt):
        assert "mmap=True" in function.__doc__ and "SIGBUS" in function.__doc__


# FIFOs, directories and devices are not read.

def test_a_fifo_a_directory_and_a_device_are_refused_without_waiting(tmp_path, samples):
    fifo = tmp_path / "pipe.fvs"
    os.mkfifo(fifo)
    out = child(f"""
        import zortan
        for read in (zortan.read_fvs, zortan.read_tree, zortan.read_zrt):
            for path in ({str(fifo)!r}, {str(tmp_path)!r}, "/dev/null"):
                try:
                    read(path)
                except OSError as e:
                    assert isinstance(e, zortan.Error)
                    print(read.__name__, type(e).__name__, e)
        try:
            zortan.code_files({str(samples / CENTROIDS)!r}, [{str(fifo)!r}], clusters=4,
                              out_dir={str(tmp_path / "out")!r})
        except zortan.NotARegularFile as e:
            print("code_files", e)
    """, timeout=30)
    lines = out.splitlines()
    assert len(lines) == 10, out
    for line in lines[0:9:3]:
        assert "NotARegularFile" in line and "is a FIFO (a named pipe), not a regular file" in line
    for line in lines[1:9:3]:
        assert "IsADirectory" in line and "is a directory, not a" in line
    for line in lines[2:9:3]:
        assert "NotARegularFile" in line and "character device" in line
    assert lines[9].startswith("code_files") and "pipe.fvs" in lines[9]
    assert issubclass(zortan.IsADirectory, IsADirectoryError)


# write_fvs: bad header values, plain rows.

@pytest.mark.parametrize("header, kind, key", [
    ({"rate": "abc"}, TypeError, "rate"),
    ({"frame_step": float("nan")}, ValueError, "frame_step"),
    ({"fft_window_width": 70000}, ValueError, "fft_window_width"),
    ({"filter": 1.5}, TypeError, "filter"),
    ({"preemphasis": "yes"}, TypeError, "preemphasis"),
    ({"cath_nbr": [5, 3]}, ValueError, "cath_nbr"),
    ({"cath_nbr": [5, 3, 300]}, ValueError, "cath_nbr"),
    ({"wave_name": "w" * 256}, ValueError, "wave_name"),
    ({"wave_name": 12}, TypeError, "wave_name"),
    ({"rates": 16000.0}, ValueError, "rates"),
])
def test_a_bad_header_value_is_refused_naming_its_key(tmp_path, header, kind, key):
    with pytest.raises(kind, match=key) as refused:
        zortan.write_fvs(tmp_path / "x.fvs", header, np.zeros(1, zortan.FVS_RECORD))
    assert isinstance(refused.value, zortan.Error)
    assert not (tmp_path / "x.fvs").exists()


def test_the_module_names_the_key_it_cannot_take():
    from zortan import _zortan
    with pytest.raises(zortan.Error, match='"rate" cannot be a real number'):
        _zortan.fvs_header_record({"rate": "abc"}, 1)
    with pytest.raises(zortan.Error, match='"filter" cannot be a 16-bit integer'):
        _zortan.fvs_header_record({"filter": 70000}, 1)


def test_plain_rows_are_written_as_one_feature_kind(tmp_path, samples, vowels):
    rng = np.random.default_rng(7)
    features = rng.normal(0, 20, (50, 13))
    cath = np.frombuffer(b"aeu" * 50, "S1").reshape(50, 3)
    path = tmp_path / "plain.fvs"
    zortan.write_fvs(path, {"wave_name": "talk.wav"}, features, feature_kind=4, unit=0.01,
                     frame_step=12.5, rate=22050, cath=cath)
    back = zortan.read_fvs(path)
    assert back.header["frame_step"] == 12.5 and back.header["rate"] == 22050.0
    assert back.header["wave_name"] == "talk.wav" and back.header["records"] == 50
    vectors = back.records["vectors"]
    np.testing.assert_array_equal(vectors[:, 4, :13], np.rint(features / 0.01))
    assert not vectors[:, 4, 13:].any() and not vectors[:, :4].any()
    np.testing.assert_array_equal(zortan.cath_of(back.records, chars=True), cath)

    # int16 rows as they are: the sample's cepstra code as the sample does.
    tree = zortan.read_tree(samples / CENTROIDS)
    kind = tree.feature_kind
    zortan.write_fvs(path, vowels.header, vowels.records["vectors"][:, kind], feature_kind=kind,
                     cath=zortan.cath_of(vowels.records))
    again = zortan.read_fvs(path)
    np.testing.assert_array_equal(again.records["vectors"][:, kind],
                                  vowels.records["vectors"][:, kind])
    np.testing.assert_array_equal(tree.encode(again.records["vectors"][:, kind]).codes,
                                  tree.encode(vowels.records["vectors"][:, kind]).codes)


@pytest.mark.parametrize("rows, options, kind, message", [
    (np.zeros((3, 13)), {}, TypeError, "feature_kind"),
    (np.zeros((3, 13)), {"feature_kind": 5}, ValueError, "feature_kind must be 0 to 4"),
    (np.array([[0.0, 1.0], [2.0, np.nan]]), {"feature_kind": 3}, ValueError, "row 1"),
    (np.array([[0.0, 1.0], [400.0, 2.0]]), {"feature_kind": 3, "unit": 0.01}, ValueError,
     "row 1 .* larger unit"),
    (np.zeros((3, 13)), {"feature_kind": 3, "unit": 0}, ValueError, "unit"),
    (np.zeros((3, 130)), {"feature_kind": 3}, ValueError, "at most 129 components"),
    (np.zeros((3, 13)), {"feature_kind": 3, "frame_step": "10"}, TypeError, "frame_step"),
])
def test_plain_rows_that_cannot_be_written(tmp_path, rows, options, kind, message):
    with pytest.raises(kind, match=message):
        zortan.write_fvs(tmp_path / "x.fvs", None, rows, **options)


def test_a_frame_step_given_twice_must_agree(tmp_path):
    with pytest.raises(ValueError, match="frame_step"):
        zortan.write_fvs(tmp_path / "x.fvs", {"frame_step": 10.0}, np.zeros((2, 3)),
                         feature_kind=3, frame_step=5)


# encode checks its input.

@pytest.mark.parametrize("K, kind", [(1.5, TypeError), ("4", TypeError), (True, TypeError),
                                     (4.0, TypeError), (0, ValueError), (33, ValueError)])
def test_K_is_an_integer_of_the_tree(cart, K, kind):
    with pytest.raises(kind) as refused:
        cart.encode(np.zeros((2, 16)), K=K)
    assert isinstance(refused.value, zortan.Error)


def test_n_clusters_is_K_under_another_name(cart, vowels):
    rows = vowels.records["vectors"][:40, cart.feature_kind, :16]
    np.testing.assert_array_equal(cart.encode(rows, n_clusters=np.int64(7)).codes,
                                  cart.encode(rows, K=7).codes)
    with pytest.raises(TypeError, match="not both"):
        cart.encode(rows, K=7, n_clusters=7)


def test_rows_of_another_width_are_refused_unless_padded(cart, vowels):
    rows = vowels.records["vectors"][:, cart.feature_kind]
    with pytest.raises(ValueError, match="13 components, but the tree considers 16") as refused:
        cart.encode(rows[:, :13])
    assert isinstance(refused.value, zortan.Error) and "pad=True" in str(refused.value)
    padded = np.pad(rows[:, :13], ((0, 0), (0, 3)))
    np.testing.assert_array_equal(cart.encode(rows[:, :13], pad=True).codes,
                                  cart.encode(padded).codes)
    # The tree's width and an fvs file's whole vectors are both taken.
    np.testing.assert_array_equal(cart.encode(rows[:, :16]).codes, cart.encode(rows).codes)
    with pytest.raises(ValueError, match="20 components, but the tree considers 16"):
        cart.encode(rows[:, :20])


def test_an_array_in_librosas_layout_looks_transposed(cart):
    for shape in [(13, 100), (16, 100), (16, 200)]:
        with pytest.raises(ValueError, match="looks transposed.*vectors.T"):
            cart.encode(np.zeros(shape))


@pytest.mark.parametrize("cath, kind, message", [
    (300, ValueError, "one byte"), (-1, ValueError, "one byte"),
    (b"ab", ValueError, "one byte each"), (0.5, TypeError, "one-byte strings"),
])
def test_qualifiers_out_of_a_byte_are_refused(cart, cath, kind, message):
    qualifiers = np.full((3, 3), 97, dtype=object)
    qualifiers[2, 1] = cath
    qualifiers = np.array(qualifiers.tolist())
    with pytest.raises(kind, match=message) as refused:
        cart.encode(np.zeros((3, 16)), cath=qualifiers)
    assert isinstance(refused.value, zortan.Error)


def test_qualifiers_as_strings_or_bytes_count_alike(cart, vowels):
    rows = vowels.records["vectors"][:, cart.feature_kind]
    codes = cart.encode(rows, cath=zortan.cath_of(vowels.records)).error_counts
    chars = cart.encode(rows, cath=zortan.cath_of(vowels.records, chars=True)).error_counts
    text = cart.encode(rows, cath=zortan.cath_of(vowels.records, chars=True).astype("U1"))
    np.testing.assert_array_equal(codes, chars)
    np.testing.assert_array_equal(codes, text.error_counts)
    with pytest.raises(ValueError, match=r"\(3, 3\) qualifiers|shape"):
        cart.encode(rows, cath=np.zeros((3, 3), np.uint8))


@pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf, 40000.0])
def test_a_value_that_is_no_component_names_its_row(cart, bad):
    rows = np.zeros((10, 16))
    rows[7, 3] = bad
    with pytest.raises(ValueError, match="row 7 .* component 3") as refused:
        cart.encode(rows)
    assert isinstance(refused.value, zortan.Error)


def test_the_bounds_of_a_component_are_those_of_rounding_half_to_even(cart):
    rows = np.zeros((2, 16))
    rows[:, 5] = [32767.49, -32768.5]       # 32767 and -32768
    cart.encode(rows)
    for bad in (32767.5, -32768.51):        # 32768 and -32769
        rows[1, 5] = bad
        with pytest.raises(ValueError, match="row 1 .* component 5"):
            cart.encode(rows)


def test_vectors_must_be_real_numbers(cart):
    with pytest.raises(TypeError, match="real numbers"):
        cart.encode(np.zeros((2, 16), complex))
    with pytest.raises(TypeError, match="numbers"):
        cart.encode([["a"] * 16])


def test_one_row_codes_as_a_row_of_many(cart, vowels):
    rows = vowels.records["vectors"][:5, cart.feature_kind, :16]
    many = cart.encode(rows, paths=True, cath=zortan.cath_of(vowels.records[:5]), averaging=False)
    one = cart.encode(rows[2], paths=True, cath=zortan.cath_of(vowels.records[2:3])[0],
                      averaging=False)
    assert one.codes.shape == (1,) and one.categories.shape == (1, 3)
    np.testing.assert_array_equal(one.codes, many.codes[2:3])
    np.testing.assert_array_equal(one.paths, many.paths[2:3])
    np.testing.assert_array_equal(one.errors, many.errors[2:3])


def test_category_readings_are_positions_and_their_characters_a_field_apart(samples, vowels):
    tree = zortan.read_tree(samples / CENTROIDS)
    result = tree.encode(vowels.records["vectors"][:, tree.feature_kind])
    expected = np.array([[tree.cath_lists[c][r].encode("latin-1") for c, r in enumerate(row)]
                         for row in result.categories], dtype="S1")
    assert result.category_chars.dtype == np.dtype("S1") and result.categories.dtype == np.uint8
    np.testing.assert_array_equal(result.category_chars, expected)
    # Positions are not characters: the vowels are read as 0..4, written as "aeiou".
    assert tree.cath_lists[0].startswith("aeiou") and result.categories[:, 0].max() < 5
    assert set(result.category_chars[:, 0].tolist()) <= {b"a", b"e", b"i", b"o", b"u"}
    assert zortan.cath_of(vowels.records, chars=True).dtype == np.dtype("S1")
    for doc in (zortan.EncodeResult.__doc__, zortan.cath_of.__doc__, zortan.__doc__):
        assert "position" in doc


# Files not of their kind.

def write(path, data):
    path.write_bytes(data)
    return path


def wav_bytes(frames=900):
    data = np.zeros(frames, "<i2").tobytes()
    return (b"RIFF" + (36 + len(data)).to_bytes(4, "little") + b"WAVEfmt " +
            (16).to_bytes(4, "little") + bytes([1, 0, 1, 0]) + (16000).to_bytes(4, "little") +
            (32000).to_bytes(4, "little") + bytes([2, 0, 16, 0]) + b"data" +
            len(data).to_bytes(4, "little") + data)


@pytest.mark.parametrize("make, message", [
    (lambda d, s, z: write(d / "zeros.zrt", bytes(60)), "not a combined output file"),
    (lambda d, s, z: s / "vowels.fvs", "not a combined output file .* like an fvs file"),
    (lambda d, s, z: s / CENTROIDS, "like a tree file"),
    (lambda d, s, z: write(d / "a.wav", wav_bytes()), "WAV audio"),
    (lambda d, s, z: write(d / "late.zrt", z.read_bytes()[:14] + np.float64(5.0).tobytes() +
                           z.read_bytes()[22:]), "cTime is 5.0, no date or time of day"),
    (lambda d, s, z: write(d / "nul.zrt", z.read_bytes()[:6] + bytes(1518)), "all zeros"),
    (lambda d, s, z: write(d / "t.zrt", z.read_bytes()[:6] + bytes(16) + bytes([200]) +
                           z.read_bytes()[23:]), "cFileHeading declares 200 characters"),
])
def test_read_zrt_refuses_what_is_no_zrt_file(tmp_path, samples, zrt_file, make, message):
    with pytest.raises(zortan.Error, match=message):
        zortan.read_zrt(make(tmp_path, samples, zrt_file))


@pytest.mark.parametrize("make, message", [
    (lambda d, s, z: write(d / "zeros.fvs", bytes(60)), "holds no header record"),
    (lambda d, s, z: write(d / "odd.fvs", (s / "vowels.fvs").read_bytes()[:5000]),
     "holds 5000 bytes, no whole number of 1812-byte records"),
    (lambda d, s, z: write(d / "a.wav", wav_bytes()), "is a WAV audio file, not an fvs file"),
    (lambda d, s, z: write(d / "a.fvs", wav_bytes(1812 * 2 - 22)), "WAV audio"),
    (lambda d, s, z: z, "is a combined output file \\(.zrt\\), not an fvs file"),
    (lambda d, s, z: s / CENTROIDS, "is a tree file, not an fvs file"),
    (lambda d, s, z: write(d / "z.fvs", bytes(3 * 1812)), "header record .* all zeros"),
    (lambda d, s, z: write(d / "t.fvs", b"Vowel 1 2\r\n" * (1812 * 2 // 11)
                           + b"x" * (1812 * 2 % 11)),
     "holds text"),
])
def test_read_fvs_refuses_what_is_no_fvs_file(tmp_path, samples, zrt_file, make, message):
    path = make(tmp_path, samples, zrt_file)
    with _no_warning():
        with pytest.raises(zortan.Error, match=message):
            zortan.read_fvs(path)


class _no_warning:
    """Fails when a warning is given inside (a refused file gives none)."""

    def __enter__(self):
        import warnings
        self._catch = warnings.catch_warnings(record=True)
        self._seen = self._catch.__enter__()
        warnings.simplefilter("always")

    def __exit__(self, *exc):
        self._catch.__exit__(*exc)
        assert not self._seen, [str(w.message) for w in self._seen]
        return False


def test_a_zrt_file_reads_whole(zrt_file):
    zrt = zortan.read_zrt(zrt_file)
    assert len(zrt.records) == 477 and zrt.certificate["cGivenGroupNbr"] == 8
    assert zrt.certificate["cFileHeading"] == " teaching output file "


# code_files refuses what zortan-batch refuses.

@pytest.mark.parametrize("files, options, kind, message", [
    ([], {}, ValueError, "No event file"),
    (["ab"], {"compare": True}, TypeError, "pair .* not str 'ab'"),
    ("ab", {"compare": True}, TypeError, "pairs of paths"),
    ([("a.fvs", "b.fvs", "c.fvs")], {"compare": True}, ValueError, "two paths"),
    ([("a.fvs", 3)], {"compare": True}, ValueError, "two paths"),
    ([("a.fvs", "b.fvs")], {}, TypeError, "compare=True"),
    (["a.fvs"], {"clusters": []}, ValueError, "No number of clusters"),
    (["a.fvs"], {"clusters": [4, 0]}, ValueError, "at least 1"),
    (["a.fvs"], {"clusters": 1.5}, TypeError, "integer"),
    (["a.fvs"], {"clusters": "4"}, TypeError, "integer"),
    (["a.fvs"], {"clusters": None}, TypeError, "numbers of clusters"),
    (["a.fvs"], {"n_clusters": 4, "clusters": 4}, TypeError, "not both"),
    ([("a.fvs", "b.fvs")], {"compare": True, "outputs": "all"}, ValueError,
     "compare mode writes only the error file"),
    (["a.fvs"], {"jobs": 0}, ValueError, "jobs must be 1 to 1024"),
    (["a.fvs"], {"jobs": 2.0}, TypeError, "jobs"),
])
def test_code_files_refuses_what_the_batch_command_refuses(samples, tmp_path, files, options,
                                                           kind, message):
    options = dict({"clusters": 4}, **options) if "n_clusters" not in options else options
    with pytest.raises(kind, match=message) as refused:
        zortan.code_files(samples / CENTROIDS, files, out_dir=tmp_path / "out", **options)
    assert isinstance(refused.value, zortan.Error)
    assert not (tmp_path / "out").exists()


def test_code_files_takes_n_clusters(samples, tmp_path):
    result = zortan.code_files(samples / CENTROIDS, [samples / "vowels.fvs"], n_clusters=[4, 8],
                               out_dir=tmp_path / "out")
    assert sorted(result.tables) == [4, 8] and not result.failed
    assert result.files[0].runs[8].events == 477


# Exceptions of Python's kinds, with messages for a script's user.

@pytest.mark.parametrize("read, what", [(zortan.read_tree, "tree file"),
                                        (zortan.read_fvs, "fvs file"),
                                        (zortan.read_zrt, "combined output file")])
def test_a_missing_file_is_a_file_not_found_error(tmp_path, read, what):
    path = tmp_path / "missing"
    with pytest.raises(FileNotFoundError) as refused:
        read(path)
    e = refused.value
    assert isinstance(e, zortan.Error) and isinstance(e, zortan.FileNotFound)
    assert str(e) == f'The {what} "{path}" does not exist.'
    assert e.errno == errno.ENOENT and e.filename == str(path)
    for window_words in ("choose", "Ondrix", "Results", "\r", "\n"):
        assert window_words not in str(e)


def test_a_file_that_may_not_be_read_is_a_permission_error(tmp_path, samples, monkeypatch):
    # The tests may run as root, who reads anything: the refusal is the system's.
    def refuse(path, flags, *args):
        raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)
    monkeypatch.setattr(zortan._files._os, "open", refuse)
    for read in (zortan.read_tree, zortan.read_fvs, zortan.read_zrt):
        with pytest.raises(PermissionError, match="cannot be read: permission denied") as refused:
            read(samples / "vowels.fvs")
        assert isinstance(refused.value, zortan.PermissionDenied)


def test_an_output_that_cannot_be_written_is_an_os_error(tmp_path):
    with pytest.raises(FileNotFoundError, match="cannot be written: its folder does not exist"):
        zortan.write_fvs(tmp_path / "no" / "x.fvs", {}, np.zeros(1, zortan.FVS_RECORD))
    with pytest.raises(IsADirectoryError, match="is a directory"):
        zortan.write_fvs(tmp_path, {}, np.zeros(1, zortan.FVS_RECORD))


def test_a_file_that_is_no_tree_says_so_plainly(samples):
    with pytest.raises(zortan.Error) as refused:
        zortan.read_tree(samples / "vowels.fvs")
    assert "is not a tree file" in str(refused.value)
    assert "trree" not in str(refused.value) and "TRB" not in str(refused.value)


def test_the_exceptions_are_documented_and_of_the_package():
    for name in ("Error", "InvalidArgument", "WrongType", "FileError", "FileNotFound",
                 "IsADirectory", "PermissionDenied", "NotARegularFile"):
        kind = getattr(zortan, name)
        assert kind.__module__ == "zortan" and kind.__doc__ and name in zortan.__all__
        assert issubclass(kind, zortan.Error)
    assert issubclass(zortan.InvalidArgument, ValueError)
    assert issubclass(zortan.WrongType, TypeError)
    assert issubclass(zortan.NotARegularFile, OSError)
