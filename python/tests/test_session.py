"""The batch language: a Session writes the files of ictalscope-batch byte for byte, prints what
it prints, and keeps its state between runs."""

import os
import shutil

import pytest

import ictalscope
from conftest import batch, states


def files_of(folder):
    return {p.name: p.read_bytes() for p in folder.iterdir()}


@pytest.fixture
def twins(demo):
    """The demo's folder, for the tool, and a second one with a copy of the demo."""
    twin = demo.parent.parent / "twin"
    twin.mkdir()
    shutil.copy(demo, twin)
    return demo.parent, twin


def test_the_usual_work_writes_the_batch_tools_files(twins):
    by_tool, by_session = twins
    done = batch(by_tool, "name=1", "load", "each-record", "stat")
    result = ictalscope.Session(by_session).run("name=1 load each-record stat")
    assert result == (0, done.stdout, done.stderr)
    assert set(files_of(by_session)) == {"1.wcp", "1IID", "1mean", "1ID", "1_sp", "1_1sp",
                                         "1IDm"}
    assert files_of(by_session) == files_of(by_tool)


def test_runs_keep_the_panel_and_the_workspace(twins, monkeypatch):
    by_tool, by_session = twins
    done = batch(by_tool, "name=1", "ISImax=500", "Analyse=2", "load", "spikes", "iid", "rin",
                 "state")
    monkeypatch.chdir(by_session.parent)
    session = ictalscope.Session("twin")  # taken as it names a folder now
    monkeypatch.chdir("/")
    runs = [session.run(c) for c in ("name=1 ISImax=500", "Analyse=2", "load", "spikes",
                                     "iid rin")]
    assert os.getcwd() == "/" and session.directory == str(by_session)
    assert "".join(r.stderr for r in runs) == done.stderr
    assert session.state() == states(done)[0]
    assert session.state(brief=True)["trace"]["v"] == 318977
    assert files_of(by_session) == files_of(by_tool)


def test_failures_raise_the_programs_message(demo):
    session = ictalscope.Session(demo.parent)
    before = os.getcwd()
    done = batch(demo.parent, "name=missing", "load", expect=1)
    with pytest.raises(ictalscope.BatchError) as failure:
        session.run("name=missing load")
    assert done.stderr.endswith(f"error: {failure.value}\n") and os.getcwd() == before
    assert isinstance(failure.value, ictalscope.Error)
    assert failure.value.result == (1, done.stdout, done.stderr)
    args = ["--keep-going", "spikes", "name=1", "load", "spikes"]
    done = batch(demo.parent, *args, expect=1)
    assert session.run(args, check=False) == (1, done.stdout, done.stderr)
    assert session.run("--quiet name=1 load") == (0, "", "")
    missing = demo.parent / "nowhere"
    with pytest.raises(ictalscope.BatchError) as nowhere:
        ictalscope.Session(missing).run("state:brief")
    assert batch(missing, "state:brief", expect=1).stderr == f"error: {nowhere.value}\n"


def test_usage_errors_and_help_are_the_tools(demo):
    session = ictalscope.Session(demo.parent)
    assert session.run("bogus", check=False) == (2, "", batch(demo.parent, "bogus",
                                                              expect=2).stderr)
    with pytest.raises(ictalscope.BatchError, match="^unknown action: bogus$"):
        session.run("name=other bogus")
    assert session.run("--help") == (0, batch(demo.parent, "--help").stdout, "")
    with pytest.raises(ValueError, match="--dir"):
        session.run(["--dir", "elsewhere", "load"])
    assert session.state(brief=True)["nameBox"] == "1"  # nothing of them ran


def test_words_are_split_as_a_shell_splits_them(twins):
    for folder in twins:
        shutil.move(folder / "1.wcp", folder / "my rec.wcp")
    batch(twins[0], "name=my rec", "load", "spikes", "iid")
    ictalscope.Session(twins[1]).run("'name=my rec' load spikes iid")
    assert "my recIID" in files_of(twins[1]) and files_of(twins[1]) == files_of(twins[0])
