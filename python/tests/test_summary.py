"""The statistics: summarise_discharges gives the lines that "stat" writes and the numbers of
its summary line."""

import math

import pytest

import ictalscope
from conftest import assert_rounds_to, batch, error_of, read_lines


def test_demo_summary_is_the_stat_file(demo):
    folder = demo.parent
    batch(folder, "name=1", "load", "each-record", "stat", "name=1mean", "check:read", "stat")
    summary = ictalscope.summarise_discharges(folder / "1ID")
    assert (folder / "1IDm").read_bytes() == summary.text().encode("latin-1")
    header, line = summary.lines[:2]
    assert header.split(" ") == list(summary.as_dict()) and summary.count == 3
    for value, token in zip(summary.as_dict().values(), line.split(" "), strict=True):
        assert_rounds_to(value, token)
    for inter_id, discharge_line in zip(summary.inter_id, summary.lines[3:]):
        assert_rounds_to(inter_id, discharge_line.split(" ")[1])
    assert ictalscope.summarise_discharges(str(folder / "1mean")).lines == read_lines(
        folder / "1meanm")


def test_rows_of_group_discharges_summarise_as_the_file(demo):
    ictalscope.Session(demo.parent).run("name=1 load each-record")
    rec = ictalscope.open(demo)
    closing, tables = 0.0, []
    for r in rec:
        d = ictalscope.group_discharges(ictalscope.detect_spikes(r), record=r.record,
                                        closing_interval_ms=closing)
        closing, tables = d.closing_interval_ms, tables + [d.mean]
    mean = ictalscope.Table.concat(tables)
    from_file = ictalscope.summarise_discharges(demo.parent / "1mean")
    # The file holds the values as printed: summarised from the lines' numbers, the same lines;
    # from the unrounded rows, the same numbers within the tables' 3 decimals.
    printed = [[float(x) for x in line.split(" ")] for line in mean.lines]
    assert ictalscope.summarise_discharges(printed).lines == from_file.lines
    from_rows = ictalscope.summarise_discharges(mean)
    for name, value in from_file.as_dict().items():
        assert from_rows.as_dict()[name] == pytest.approx(value, abs=1e-3), name
    assert ictalscope.summarise_discharges(mean.to_pandas()).lines == from_rows.lines


def test_known_summary_of_three_discharges():
    discharges = [(1, 1, 10.0, 0.02, 1.0, 10), (1, 2, 100.0, 0.04, 3.0, 30),
                  (2, 1, 50.0, 0.03, 2.0, 20)]
    s = ictalscope.summarise_discharges(discharges)
    # InterID: 100 - 10 within record 1; 300 - 100 + 50 into record 2.
    assert list(s.inter_id) == pytest.approx([90.0, 250.0])
    assert (s.InterIDm, s.InterIDsem) == pytest.approx((170.0, math.sqrt(2 * 80.0 ** 2) / 2))
    assert (s.IntraIDm, s.Durm, s.Nspm) == pytest.approx((0.03, 2.0, 20.0))
    assert (s.NSpsem, s.Nsplast_Nsp1) == pytest.approx((math.sqrt(200.0) / 3, 2.0))
    assert s.lines[1] == "3 170.00 56.57 0.03 0.00 2.00 0.47 20.00 4.71 2.000"
    keys = ["tr", "nIID", "tIID,s", "ISImean,s", "Duration,s", "nspIntra"]
    assert ictalscope.summarise_discharges([dict(zip(keys, d)) for d in discharges]).lines \
        == s.lines


def test_failures_are_the_programs_messages(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "oneID").write_bytes(b"header\r\n1 1 2.000000 0.020 1.000 12\r\n")
    with pytest.raises(ictalscope.Error, match="^stat needs at least two discharges: the "
                                               "table holds 1$"):
        ictalscope.summarise_discharges("oneID")
    assert error_of(tmp_path, "name=oneID", "check:read", "stat") == \
        "stat needs at least two discharges: oneID holds 1"
    # A first discharge without spikes: no ratio, and the file keeps its first header line.
    (tmp_path / "zeroID").write_bytes(b"header\r\n1 1 2 0.02 1 0\r\n1 2 9 0.02 1 5\r\n")
    s = ictalscope.summarise_discharges("zeroID")
    assert (s.Nsplast_Nsp1, s.ratio_fault) == (None, "Floating point division by zero")
    assert error_of(tmp_path, "name=zeroID", "check:read", "stat") == s.ratio_fault
    assert s.lines == read_lines(tmp_path / "zeroIDm")
    (tmp_path / "badID").write_bytes(b"header\r\n1 1 2 x 1 3\r\n")
    with pytest.raises(ictalscope.Error) as bad:
        ictalscope.summarise_discharges("badID")
    assert error_of(tmp_path, "name=badID", "check:read", "stat") == str(bad.value)
    with pytest.raises(ValueError, match="6 values"):
        ictalscope.summarise_discharges([(1, 2, 3), (1, 2, 3)])
