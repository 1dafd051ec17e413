"""Input resistance: the steps of input_resistance are the lines of the batch tool's Rin table."""

import numpy as np
import pytest

import ictalscope
from conftest import batch, read_lines

ACQ_MS = 0.5


def step_trace(seconds=25.0):
    """-70 mV with a step to -80 mV from 100 to 400 ms of every 10 s: -50 pA into 200 MOhm."""
    t = np.arange(int(seconds * 1000 / ACQ_MS)) * ACQ_MS
    return np.where((t % 10000 >= 100) & (t % 10000 < 400), -80.0, -70.0)


def test_known_steps_of_a_synthetic_trace():
    steps = ictalscope.input_resistance(step_trace(), ACQ_MS)
    # Measured 100 ms after the 10 ms of the first baseline, then every 10 s.
    assert steps.lines == ["n_step t Vrest V1 Rin", "1 0.110 -70.000 -80.000 200.000",
                           "2 10.110 -70.000 -80.000 200.000"]
    np.testing.assert_allclose(np.c_[steps.t, steps.Vrest, steps.V1, steps.Rin],
                               [[110, -70, -80, 200], [10110, -70, -80, 200]])
    assert list(steps.to_pandas().columns) == ["t", "Vrest", "V1", "Rin"]
    # An onset within 100 ms after the second step: V1 is the mean from 20 ms before it to it,
    # 10090 to 10110 ms: 20 samples of rest and 21 of the step.
    looking_back = ictalscope.input_resistance(step_trace(), ACQ_MS, spike_times=[10150.0])
    expected = (20 * -70.0 + 21 * -80.0) / 41
    assert list(looking_back.V1) == pytest.approx([-80.0, expected], rel=1e-12)
    assert looking_back.Rin[1] == pytest.approx((expected + 70) * 1000 / -50, rel=1e-12)
    short = ictalscope.input_resistance(np.full(100, -70.0), 0.1)
    assert len(short) == 0 and short.lines == ["n_step t Vrest V1 Rin"]


def test_the_lines_are_the_rin_files(tmp_path, demo):
    v = step_trace()
    v[220:230] += np.arange(10) * 0.25  # a V1 that is no round number
    rows = "".join(f"{k * ACQ_MS:g} 0 {x:g}\r\n" for k, x in enumerate(v))
    (tmp_path / "steps.txt").write_bytes(("#\r\n" * 10 + rows).encode("ascii"))
    batch(tmp_path, "name=steps.txt", "load", "rin")
    steps = ictalscope.input_resistance(ictalscope.open(tmp_path / "steps.txt").record(1))
    assert (tmp_path / "steps.txtRin").read_bytes() == steps.text().encode("ascii")
    assert steps.V1[0] != -80.0
    for r in (1, 2):
        batch(demo.parent, "name=1", f"Analyse={r}", "load", "spikes", "rin")
        record = ictalscope.open(demo).record(r)
        steps = ictalscope.input_resistance(record, spike_times=ictalscope.detect_spikes(record))
        assert len(steps) == 1 and steps.lines == read_lines(demo.parent / "1Rin")


def test_an_interval_of_zero_is_the_divisions_fault():
    with pytest.raises(ictalscope.Error) as fault:
        ictalscope.input_resistance(step_trace(1.0), 0.0)
    assert str(fault.value) in ("Floating point division by zero",
                                "Invalid floating point operation")
