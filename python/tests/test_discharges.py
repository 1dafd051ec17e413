"""Discharge grouping: the rows of group_discharges are the lines of the five tables that the
batch tool's "iid" writes, and their numbers are the lines' numbers."""

import numpy as np
import pytest

import ictalscope
from conftest import assert_rounds_to, batch, read_lines, states
from ictalscope.discharges import TABLE_NAMES


def each_record(rec, **settings):
    """group_discharges over every record, each given the previous one's closing interval."""
    closing, results = 0.0, []
    for r in rec:
        d = ictalscope.group_discharges(ictalscope.detect_spikes(r), record=r.record,
                                        closing_interval_ms=closing, **settings)
        closing = d.closing_interval_ms
        results.append(d)
    return results


def assert_tables_are_the_files(results, folder):
    for name in TABLE_NAMES:
        table = ictalscope.Table.concat(d[name] for d in results)
        assert (folder / f"1{name}").read_bytes() == table.text().encode("latin-1"), name
        for row, line in zip(table.rows, table.lines, strict=True):
            for column, token in zip(table.columns, line.split(" "), strict=True):
                if column in ("tr", "nIID", "nspIntra", "nsp"):
                    assert row[column] == int(token)
                else:
                    assert_rounds_to(row[column], token)


def test_demo_each_record_writes_the_tables_of_the_returned_rows(demo):
    batch(demo.parent, "name=1", "load", "each-record")
    results = each_record(ictalscope.open(demo))
    assert_tables_are_the_files(results, demo.parent)
    # The main README's counts: 26 discharges, 3 of them ictal (ID).
    assert sum(len(d.mean) for d in results) == 26
    assert [len(d.id) for d in results] == [0, 1, 0, 1, 0, 1]
    assert results[1].id.rows[0]["nspIntra"] == 82


def test_the_settings_are_the_panels_fields(demo):
    fields = ["ISImax=300", "NminSpikes=10", "Vsilent=-60", "check:time-through-traces"]
    batch(demo.parent, "name=1", *fields, "load", "each-record")
    results = each_record(ictalscope.open(demo), ISImax=300, NminSpikes=10, Vsilent=-60,
                          time_through_traces=True)
    assert_tables_are_the_files(results, demo.parent)
    assert sum(len(d.id) for d in results) > 3
    row = results[1].sp.rows[0]
    assert row["tsp,s"] > 300 and row["Vr-Vsilent"] == pytest.approx(row["Vrest"] + 60)


def test_markers_and_frames(demo):
    [state] = states(batch(demo.parent, "name=1", "Analyse=2", "load", "spikes", "iid", "state"))
    d = ictalscope.group_discharges(ictalscope.detect_spikes(ictalscope.open(demo).record(2)),
                                    record=2)
    np.testing.assert_array_equal(d.iid_marks, state["series"]["IID"])
    np.testing.assert_array_equal(d.id_marks, state["series"]["ID"])
    np.testing.assert_array_equal(d.id_marks[:, 1], [-20.0])
    pd = pytest.importorskip("pandas")
    written = pd.read_csv(demo.parent / "1_sp", sep=" ")
    assert list(d.sp.to_pandas().columns) == list(written.columns) == d.sp.columns
    np.testing.assert_allclose(d.sp.to_pandas().to_numpy(), written.to_numpy(), atol=5e-3)
    assert d["ID"] is d.id and d.sp[0] == d.sp.rows[0]
    np.testing.assert_array_equal(d.sp["nsp"], np.arange(1, len(d.sp) + 1))


def spike_columns(tsp_ms):
    n = len(tsp_ms)
    return {"VT": np.full(n, -50.0), "tsp": np.asarray(tsp_ms, dtype=float),
            "Vpeak": np.full(n, 20.0), "Vrest": np.full(n, -66.0), "Vmin": np.full(n, -70.0),
            "AHP": np.full(n, 20.0)}


def test_known_discharges_of_synthetic_spikes():
    # 45 spikes 50 ms apart from 1 s, a lone spike at 5 s, 3 spikes 100 ms apart from 8 s.
    tsp = [1000 + 50 * i for i in range(45)] + [5000] + [8000, 8100, 8200]
    d = ictalscope.group_discharges(spike_columns(tsp), record=3)
    first, last = d.mean.rows
    assert first == {"tr": 3, "nIID": 1, "tIID,s": pytest.approx(1.0),
                     "ISImean,s": pytest.approx(0.05), "Duration,s": pytest.approx(2.2),
                     "nspIntra": 45}
    assert (last["nIID"], last["tIID,s"], last["Duration,s"], last["nspIntra"]) == (
        2, pytest.approx(8.0), pytest.approx(0.2), 3)
    assert d.id.rows == [first]
    assert [r["nspIntra"] for r in d.iid] == list(range(1, 46)) + [1, 2, 3]
    # The first spike of a discharge shows the last interval of at least ISImax as its ISI.
    assert [d.iid[k]["ISI"] for k in (0, 1, 45)] == pytest.approx([0.0, 0.05, 3.0])
    assert d.iid[0]["Vr-Vsilent"] == pytest.approx(-1.0)
    # "_sp" has a row for the earlier spike of every pair, "_1sp" for the first alone.
    assert [r["nsp"] for r in d.sp] == list(range(1, 49))
    assert [r["nIID"] for r in d.sp][44:] == [1, 1, 1, 2]
    assert [r["nsp"] for r in d.one_sp] == [1]
    assert d.closing_interval_ms == pytest.approx(3000.0)
    carried = ictalscope.group_discharges(spike_columns([200, 250]), record=4,
                                          closing_interval_ms=d.closing_interval_ms)
    assert carried.iid[0]["ISI"] == pytest.approx(3.0)


def test_columns_of_unequal_length_are_refused():
    columns = spike_columns([100, 200, 300])
    columns["Vmin"] = columns["Vmin"][:2]
    with pytest.raises(ValueError, match="Vmin holds 2 values, tsp 3"):
        ictalscope.group_discharges(columns)
    with pytest.raises(KeyError):
        ictalscope.group_discharges({"tsp": [1.0]})
