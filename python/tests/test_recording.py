"""The reader: what open() and record() give is what a load in the batch tool finds."""

import csv

import numpy as np
import pytest

import ictalscope
from conftest import ABF_TWO_CHANNELS, REAL_DATA, TEXT_TRACE, batch, error_of, states


def loaded(folder, name, record, *fields):
    """The batch tool's state after loading `record` of `name`."""
    return states(batch(folder, f"name={name}", f"Analyse={record}", *fields, "load", "state"))[0]


def test_demo_info_is_what_a_load_finds(demo):
    rec = ictalscope.open(demo)
    state = loaded(demo.parent, "1", 1)
    found = state["recording"]
    for name in ("format", "layout", "version", "mode", "records"):
        assert getattr(rec, name) == found[name], name
    assert (rec.format, rec.layout, rec.records, len(rec)) == ("wcp", "classic", 6, 6)
    assert rec.channels == [(c["name"], c["unit"]) for c in found["channels"]]
    assert rec.analysed_channel == found["analysedChannel"] == 1
    assert rec.sampling_interval_ms == found["samplingIntervalMs"] == 0.0625
    assert state["headerLabel"].startswith(rec.summary)
    assert len(rec.header_text) == 512 and rec.header_text.startswith("VER=")


@pytest.mark.parametrize("record", [1, 6])
def test_demo_samples_are_the_loaded_trace(demo, record):
    r = ictalscope.open(demo).record(record)
    trace = loaded(demo.parent, "1", record)["trace"]
    assert (r.record, r.channel, r.acq_ms) == (record, 1, trace["acqTime"])
    assert r.v.dtype == np.float64 and len(r) == trace["lastIndex"] + 1 == 318977
    np.testing.assert_array_equal(r.v, trace["v"])
    assert (r.t[0], r.t[1]) == (0, 0.0625e-3)
    assert r.t[-1] == pytest.approx(318976 * 0.0625e-3, rel=1e-15)


def test_real_records_and_chosen_channels_are_the_loaded_ones(real):
    text = real(TEXT_TRACE)
    r = ictalscope.open(text).record(1)
    assert (len(r), r.acq_ms, ictalscope.open(text).format) == (12000, 0.25, "text")
    np.testing.assert_array_equal(r.v, loaded(text.parent, text.name, 1)["trace"]["v"])
    abf = real(ABF_TWO_CHANNELS)
    rec = ictalscope.open(abf)
    assert (rec.format, rec.version, rec.header_text) == ("abf", "1.83", "")
    assert rec.channels == [("stim", "V"), ("VmRK", "mV")] and rec.analysed_channel == 2
    for channel in (1, 2):
        r = rec.record(3, channel=channel)
        assert (r.record, r.channel) == (3, channel)
        state = loaded(abf.parent, abf.name, 3, f"Channel={channel}")
        np.testing.assert_array_equal(r.v, state["trace"]["v"])
    assert [r.record for r in rec] == [1, 2, 3, 4, 5]
    np.testing.assert_array_equal(list(rec)[2].v, rec.record(3, channel=2).v)


with open(REAL_DATA / "abf_sweep_values.csv", newline="") as table:
    SWEEPS = list(csv.DictReader(table))


@pytest.mark.parametrize("row", SWEEPS, ids=lambda r: f"{r['file']}-{r['sweep']}-{r['channel']}")
def test_abf_sweeps_hold_the_published_values(row):
    rec = ictalscope.open(REAL_DATA / row["file"])
    channel = int(row["channel"])
    r = rec.record(int(row["sweep"]), channel=channel)
    # The published values are in the channel's unit, the reader's in mV for a voltage.
    scale = {"V": 1000.0}.get(rec.channels[channel - 1][1], 1.0)
    assert len(r.v) == int(row["samples"])
    assert r.v[0] == pytest.approx(float(row["first"]) * scale, abs=1e-7 * scale)
    assert r.v[-1] == pytest.approx(float(row["last"]) * scale, abs=1e-7 * scale)
    assert np.std(r.v) == pytest.approx(float(row["stdev"]) * scale, rel=1e-6, abs=1e-7)


def test_errors_carry_the_batch_tools_messages(demo, monkeypatch):
    monkeypatch.chdir(demo.parent)
    with pytest.raises(ictalscope.Error) as missing:
        ictalscope.open("2.wcp")
    assert str(missing.value) == "File not found: 2.wcp" and isinstance(missing.value, RuntimeError)
    rec = ictalscope.open("1.wcp")
    with pytest.raises(ictalscope.Error) as record:
        rec.record(7)
    assert str(record.value) == "Record 7 does not exist: 1.wcp holds 6 records"
    assert error_of(demo.parent, "name=1", "Analyse=7", "load") == str(record.value)
    with pytest.raises(ictalscope.Error) as channel:
        rec.record(1, channel=3)
    assert str(channel.value) == "Channel 3 does not exist: 1.wcp has 2 channels"
    (demo.parent / "cut.abf").write_bytes((REAL_DATA / ABF_TWO_CHANNELS).read_bytes()[:3000])
    with pytest.raises(ictalscope.Error) as cut:
        ictalscope.open("cut.abf")
    assert str(cut.value) == "Invalid ABF file cut.abf: the file ends inside its header"
    assert error_of(demo.parent, "name=cut.abf", "load") == str(cut.value)


def test_a_message_of_bytes_that_are_no_utf8_keeps_them(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "bad.wcp").write_bytes(b"VER=9\r\nNC=2\r\nNBA=2\r\nNBD=\xffx\r\n")
    with pytest.raises(ictalscope.Error) as bad:
        ictalscope.open("bad.wcp")
    assert str(bad.value) == "'\xffx' is not a valid floating point value"
    done = batch(tmp_path, "name=bad", "load", expect=1, text=False)
    assert done.stderr == b"error: " + str(bad.value).encode("latin-1") + b"\n"
