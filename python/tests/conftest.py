"""Shared by the tests: the batch tool and copies of the recordings in fresh folders. CTest sets
ICTALSCOPE_BATCH, ICTALSCOPE_EXAMPLES_DIR (where the build writes the demo 1.wcp) and
ICTALSCOPE_REAL_DATA_DIR, and puts the build tree's package on PYTHONPATH."""

import json
import os
import pathlib
import shutil
import subprocess

import pytest

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
BATCH = os.environ.get("ICTALSCOPE_BATCH")
REAL_DATA = pathlib.Path(os.environ.get("ICTALSCOPE_REAL_DATA_DIR",
                                        SOURCE_DIR / "tests" / "data" / "real"))
EXAMPLES = [pathlib.Path(os.environ.get("ICTALSCOPE_EXAMPLES_DIR", SOURCE_DIR / "examples")),
            SOURCE_DIR / "examples"]

# Real recordings (tests/data/real/README.md describes them).
ABF_TWO_CHANNELS = "pyabf_File_axon_3.abf"
TEXT_TRACE = "efel_testdata.txt"


def batch(directory, *args, expect=0, text=True):
    """Runs ictalscope-batch in `directory`: its CompletedProcess, the status checked."""
    if not BATCH:
        pytest.fail("ICTALSCOPE_BATCH must name the batch tool (CTest sets it)")
    done = subprocess.run([BATCH, "--dir", str(directory), *args], capture_output=True,
                          text=text, check=False)
    assert done.returncode == expect, done.stderr
    return done


def error_of(directory, *args):
    """The message of the batch tool's last "error: " line."""
    return batch(directory, *args, expect=1).stderr.splitlines()[-1].removeprefix("error: ")


def states(done):
    """The objects that the run's "state" actions printed."""
    return [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]


@pytest.fixture
def demo(tmp_path):
    """A copy of the demo recording, 1.wcp, alone in a fresh folder."""
    source = next((p / "1.wcp" for p in EXAMPLES if (p / "1.wcp").is_file()), None)
    if source is None:
        pytest.skip("the demo recording examples/1.wcp is not built")
    (tmp_path / "demo").mkdir()
    return pathlib.Path(shutil.copy(source, tmp_path / "demo"))


@pytest.fixture
def real(tmp_path):
    """real(name): a copy of a real recording in a fresh folder."""
    (tmp_path / "real").mkdir()
    return lambda name: pathlib.Path(shutil.copy(REAL_DATA / name, tmp_path / "real"))


def read_lines(path):
    """The lines of a table file, which ends each with "\\r\\n"."""
    data = pathlib.Path(path).read_bytes().decode("latin-1")
    assert data.endswith("\r\n")
    return data[:-2].split("\r\n")


def assert_rounds_to(value, token):
    """`value` printed with the decimals of `token` is `token`, give or take the last digit
    when it lies within a rounding error of the half-way point."""
    if token.upper() == "NAN":
        assert value != value
        return
    decimals = len(token.split(".")[1]) if "." in token else 0
    half_step = 0.5 * 10.0 ** -decimals
    assert abs(value - float(token)) <= half_step * (1 + 1e-9) + 1e-12 * abs(value), (value, token)
