"""examples/from_python.py, the README's example, run on the demo recording as a user runs it: its
table holds the demo's counts and its picture is a PNG; its failures are one line each."""

import os
import struct
import subprocess
import sys

import pytest

from conftest import SOURCE_DIR

EXAMPLE = SOURCE_DIR / "examples" / "from_python.py"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# The main README's counts for the demo: record -> (spikes, discharges, ictal discharges).
DEMO_COUNTS = {1: (34, 8, 0), 2: (92, 4, 1), 3: (31, 7, 0), 4: (156, 2, 1), 5: (0, 0, 0),
               6: (76, 5, 1)}


def run_example(*args, cwd):
    """The example run by this Python with the tests' environment (PYTHONPATH included)."""
    pytest.importorskip("matplotlib")
    return subprocess.run([sys.executable, str(EXAMPLE), *map(str, args)], cwd=cwd,
                          env=os.environ.copy(), capture_output=True, text=True, check=False)


def printed_counts(stdout):
    """The rows of the printed table, after its header line."""
    lines = stdout.splitlines()
    assert lines[0].split() == ["record", "spikes", "IID", "ID"]
    rows = [tuple(int(word) for word in line.split()) for line in lines[1:]]
    return {row[0]: row[1:] for row in rows}


def png_size(path):
    """Width and height of a PNG file (its IHDR chunk comes first)."""
    data = path.read_bytes()
    assert data[:8] == PNG_SIGNATURE and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


# (arguments, the folder it runs in, where the picture goes), the demo's folder given as "demo".
RUNS = {
    "defaults: 1.wcp in the current folder": ([], "demo", "demo/from_python.png"),
    "recording and picture named": (["demo/1.wcp", "-o", "pictures/record2.png"], ".",
                                    "pictures/record2.png"),
    "another record drawn": (["--record", "4", "demo/1.wcp", "-o", "r4.png"], ".", "r4.png"),
}


@pytest.mark.parametrize("args, cwd, picture", RUNS.values(), ids=RUNS.keys())
def test_counts_of_the_demo_and_a_picture(demo, tmp_path, args, cwd, picture):
    (tmp_path / "pictures").mkdir()
    absolute = [str(tmp_path / a) if "/" in a else a for a in args]
    done = run_example(*absolute, cwd=tmp_path / cwd)
    assert done.returncode == 0, done.stderr
    assert printed_counts(done.stdout) == DEMO_COUNTS
    width, height = png_size(tmp_path / picture)
    assert 600 <= width <= 4000 and 300 <= height <= 3000, (width, height)
    assert (tmp_path / picture).stat().st_size > 10_000


# (arguments, the message of its one line on stderr)
FAILURES = {
    "no recording": (["missing.wcp"], "from_python.py: File not found: missing.wcp"),
    "a broken file": (["broken.abf"], "from_python.py: Invalid ABF file broken.abf: "),
    "record beyond the file": (["demo/1.wcp", "--record", "7"],
                               "from_python.py: no record 7: the file holds 6"),
}


@pytest.mark.parametrize("args, message", FAILURES.values(), ids=FAILURES.keys())
def test_failures_say_why_and_draw_nothing(demo, tmp_path, args, message):
    (tmp_path / "broken.abf").write_bytes(b"ABF2\0\0 and no header")
    done = run_example(*[str(tmp_path / a) if "/" in a else a for a in args], cwd=tmp_path)
    assert done.returncode == 1
    assert done.stderr.splitlines()[-1].startswith(message), done.stderr
    assert "Traceback" not in done.stderr
    assert not (tmp_path / "from_python.png").exists()
