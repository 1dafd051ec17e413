"""Input resistance from the fixed protocol of -50 pA current steps, one every 10 s, as the
"Rin" button measures it."""

import numpy as np

from . import _core
from ._frames import pandas
from .spikes import samples_and_interval


class RinSteps:
    """The complete steps of a record.

    t       ms: the sample time at which each step is measured
    Vrest   mV: the mean of the baseline window before the step
    V1      mV: the mean of the step window
    Rin     MOhm: (V1 - Vrest) * 1000 / (-50)
    lines   the lines of the Rin file: "n_step t Vrest V1 Rin", then one a step (t in s)
    """

    def __init__(self, result):
        self.t = result["t"]
        self.Vrest = result["Vrest"]
        self.V1 = result["V1"]
        self.Rin = result["Rin"]
        self.lines = result["lines"]

    def __len__(self):
        return len(self.t)

    def text(self):
        """The Rin file's content ("\\r\\n" line ends)."""
        return "".join(line + "\r\n" for line in self.lines)

    def to_pandas(self):
        """The steps as a DataFrame indexed by n_step (from 1); t in ms."""
        pd = pandas()
        index = pd.RangeIndex(1, len(self) + 1, name="n_step")
        return pd.DataFrame({"t": self.t, "Vrest": self.Vrest, "V1": self.V1, "Rin": self.Rin},
                            index=index)

    def __repr__(self):
        return f"<ictalscope.RinSteps: {len(self)} steps>"


def input_resistance(v, acq_ms=None, spike_times=()):
    """The steps of the input-resistance protocol in one record: a RinSteps.

    v            the samples in mV, or a Record
    acq_ms       the sampling interval in ms (taken from a Record)
    spike_times  the spike onsets in ms (a SpikeTable gives its tsp): a step with an onset
                 within 100 ms after it is measured looking back from the step
    """
    samples, interval = samples_and_interval(v, acq_ms)
    onsets = spike_times.tsp if hasattr(spike_times, "tsp") else spike_times
    return RinSteps(_core.input_resistance(samples, interval,
                                           np.asarray(onsets, dtype=np.float64).reshape(-1)))
