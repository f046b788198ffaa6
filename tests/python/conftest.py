"""Shared fixtures: the bundled samples, the test trees and console runs."""

import os
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

import zortan

SAMPLES = Path(os.environ.get("ZORTAN_SAMPLES", Path(__file__).parents[2] / "samples"))
OUTPUT_NAMES = ["Error.txt", "code.txt", "_Teach.zrt", "_teach_Y1.txt", "_teach_Y2.txt",
                "_teach_Y3.txt", "_recog.zrt", "_recog_Y1.txt", "_recog_Y2.txt", "_recog_Y3.txt"]


@pytest.fixture(scope="session")
def samples():
    return SAMPLES


@pytest.fixture(scope="session")
def test_trees(tmp_path_factory):
    """closecall.vq, codebook.vq and centre.txt, written by zortan-python-testdata."""
    folder = tmp_path_factory.mktemp("trees")
    subprocess.run([os.environ["ZORTAN_TESTDATA"], str(folder)], check=True)
    return folder


def run_console(folder: Path, tree: Path, events: Path, clusters=None):
    """Codes `events` against `tree` with zortan-console in `folder`; returns
    the teaching and recognition .zrt files it wrote."""
    console = folder / "zortan-console"
    shutil.copy(os.environ["ZORTAN_CONSOLE"], console)
    init = ["0 1 0", r"C:\w\*.wav", r"C:\w\*.fvs", str(tree), r"C:\w\*.wav", r"C:\w\*.wav",
            str(events), str(events)] + [str(folder / name) for name in OUTPUT_NAMES]
    (folder / "Init.txt").write_bytes(("\r\n".join(init) + "\r\n").encode())
    script = ["read tree", str(tree), "set stepwiseProceeding off",
              "set showInputRecords off"]
    if clusters is not None:
        script.append(f"set clustersNb {clusters}")
    script += ["set outputTeachCombined on", "set outputRecogCombined on", "read data_1",
               str(events), "halt!"]
    done = subprocess.run([str(console)], input="\n".join(script) + "\n", cwd=folder,
                          capture_output=True, text=True, timeout=120)
    assert "Program Finished!" in done.stdout, done.stdout
    stem = events.name.split(".")[0]
    return folder / f"{stem}_Teach.zrt", folder / f"{stem}_Recog.zrt"


@pytest.fixture
def console(tmp_path):
    return lambda tree, events, clusters=None: run_console(tmp_path, tree, events, clusters)


def read_table(path: Path):
    """The events of a text table: qualifiers (n, 3) uint8 and components (n, m) int16."""
    lines = path.read_text().splitlines()
    header = next(i for i, line in enumerate(lines) if line.startswith("Vowel"))
    rows = [line.split() for line in lines[header + 1:] if line.strip()]
    cath = np.array([[ord(r[0]), ord(r[1]), ord(r[2])] for r in rows], dtype=np.uint8)
    values = np.array([[int(v) for v in r[3:]] for r in rows], dtype=np.int16)
    return cath, values
