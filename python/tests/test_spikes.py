"""Spike detection: the columns and markers of detect_spikes are the spike table and markers of
the batch tool's "spikes" on the same record."""

import numpy as np
import pytest

import ictalscope
from conftest import ABF_TWO_CHANNELS, TEXT_TRACE, batch, states
from ictalscope.spikes import COLUMNS


def batch_spikes(folder, name, records, *settings):
    """The batch tool's state after "spikes" on each of `records`, in one run."""
    actions = [f"name={name}", *settings]
    for r in records:
        actions += [f"Analyse={r}", "load", "spikes", "state"]
    return states(batch(folder, *actions))


def assert_same_table(table, state):
    spikes = state["spikes"]
    assert table.count == spikes["count"]
    for name in COLUMNS:
        expected = [np.nan if x is None else x for x in spikes[name]]
        np.testing.assert_array_equal(table[name], expected, err_msg=name)
    for name, title in (("th", "th"), ("peak", " peak        "), ("V_min", "V_min")):
        points = np.array(state["series"][title], dtype=float).reshape(-1, 2)
        np.testing.assert_array_equal(table.markers[name], points, err_msg=name)


def test_demo_spikes_of_every_record_are_the_batch_tools(demo):
    rec = ictalscope.open(demo)
    tables = [ictalscope.detect_spikes(rec.record(r)) for r in range(1, 7)]
    for table, state in zip(tables, batch_spikes(demo.parent, "1", range(1, 7))):
        assert_same_table(table, state)
    # The counts that the main README gives for the demo.
    assert [len(t) for t in tables] == [34, 92, 31, 156, 0, 76]


def test_real_recordings(real):
    for path in (real(ABF_TWO_CHANNELS), real(TEXT_TRACE)):
        [state] = batch_spikes(path.parent, path.name, [1])
        table = ictalscope.detect_spikes(ictalscope.open(path).record(1))
        assert_same_table(table, state)
    # The six action potentials of the trace, near these times (its README).
    np.testing.assert_allclose(table.tpeak, [707.5, 910.5, 1404.75, 1710.75, 2386.25, 2636.5],
                               atol=3)


def test_the_settings_are_the_panels_fields(real):
    path = real(TEXT_TRACE)
    record = ictalscope.open(path).record(1)
    [state] = batch_spikes(path.parent, path.name, [1], "dt_Vrest=20")
    assert_same_table(ictalscope.detect_spikes(record.v, 0.25, dt_Vrest=20), state)
    # Ticked, stimulation takes StimInterval = 1000 / StimHz: 5000 ms by default.
    [state] = batch_spikes(path.parent, path.name, [1], "check:stimulation")
    assert state["stimTiming"] == {"intervalMs": 5000, "delayMs": 1, "durationMs": 1}
    assert_same_table(ictalscope.detect_spikes(record, stimulation=True), state)
    # Stimuli every 500 ms from 908 ms: the artefact blanked to 912.5 ms hides the onset of the
    # action potential at 910 ms.
    fields = ["StimHz=2", "StimDelay=408", "StimDuration=4.5", "check:stimulation"]
    [state] = batch_spikes(path.parent, path.name, [1], *fields)
    table = ictalscope.detect_spikes(record, stimulation=True, StimInterval=500, StimDelay=408,
                                     StimDuration=4.5)
    assert_same_table(table, state)
    assert len(table) == 5 and 910.0 not in table.tsp


def synthetic_trace(onsets, acq_ms=0.1, samples=4000):
    """-70 mV with spikes: at each onset sample -40 mV (300 mV/ms), +20 mV one sample later,
    a fall to -75 mV over 1 ms and a recovery towards -70 mV."""
    v = np.full(samples, -70.0)
    for k in onsets:
        v[k:k + 12] = [-40.0, 20.0, *np.linspace(20.0, -75.0, 11)[1:]]
        v[k + 12:k + 62] = -75.0 + 5.0 * (1 - np.exp(-np.arange(50) / 10.0))
    return v


def test_a_synthetic_trace_gives_its_spikes():
    onsets = [500, 1500, 2500]
    table = ictalscope.detect_spikes(synthetic_trace(onsets), 0.1)
    np.testing.assert_allclose(table.tsp, np.array(onsets) * 0.1, rtol=1e-12)
    np.testing.assert_allclose(table.tpeak, (np.array(onsets) + 1) * 0.1, rtol=1e-12)
    np.testing.assert_array_equal(table.VT, [-40.0] * 3)
    np.testing.assert_array_equal(table.Vpeak, [20.0] * 3)
    np.testing.assert_array_equal(table.Vrest, [-70.0] * 3)
    np.testing.assert_allclose(table.AHP, table.VT - table.Vmin)
    np.testing.assert_allclose(table.markers["th"], np.c_[table.tsp / 1000, table.VT])
    frame = table.to_pandas()
    assert list(frame.columns) == list(COLUMNS) and list(frame.index) == [1, 2, 3]
    empty = ictalscope.detect_spikes(np.full(1000, -70.0), 0.1)
    assert len(empty) == 0 and len(empty.VT) == 0 and empty.markers["peak"].shape == (0, 2)


def test_failures_carry_the_programs_messages():
    v = synthetic_trace([500])
    with pytest.raises(ictalscope.Error) as zero:
        ictalscope.detect_spikes(v, 0.0)
    assert str(zero.value) in ("Floating point division by zero",
                               "Invalid floating point operation")
    with pytest.raises(ictalscope.Error, match="^Stimulation interval must be positive$"):
        ictalscope.detect_spikes(v, 0.1, stimulation=True, StimInterval=0, StimDuration=0)
    with pytest.raises(ValueError, match="one-dimensional"):
        ictalscope.detect_spikes(v.reshape(2, -1), 0.1)
    with pytest.raises(TypeError, match="acq_ms"):
        ictalscope.detect_spikes(v)
