"""Spike detection on the samples of one record, as the "Spikes" button runs it."""

import warnings

import numpy as np

from . import _core
from ._frames import pandas

# The spike table's columns and their units.
COLUMNS = ("VT", "tsp", "Vpeak", "tpeak", "Vrest", "Vmin", "AHP")
UNITS = {"VT": "mV", "tsp": "ms", "Vpeak": "mV", "tpeak": "ms", "Vrest": "mV", "Vmin": "mV",
         "AHP": "mV"}


class SpikeTable:
    """The spikes of one record: index i of each column is spike i + 1.

    VT, Vpeak, Vrest, Vmin, AHP   mV (AHP = VT - Vmin); tsp, tpeak   ms from the first sample
    markers            {"th": onsets, "peak": peaks, "V_min": ends}: arrays of shape (n, 2),
                       x in s and y in mV, as the chart draws them
    last_end_written   False when the record ended inside the last spike: its Vmin and AHP are
                       NaN (the window's table keeps what an earlier run left there)
    table_full         the run stopped at the table's capacity (100000 spikes)
    """

    def __init__(self, run):
        for name in COLUMNS:
            setattr(self, name, run[name])
        self.markers = {"th": run["th"], "peak": run["peak"], "V_min": run["V_min"]}
        self.last_end_written = run["last_end_written"]
        self.table_full = run["table_full"]

    @property
    def count(self):
        return len(self.tsp)

    def __len__(self):
        return self.count

    def __getitem__(self, column):
        """A column by its name: table["Vpeak"]."""
        if column not in COLUMNS:
            raise KeyError(column)
        return getattr(self, column)

    def to_pandas(self):
        """The columns as a DataFrame indexed by the spike's number (from 1)."""
        pd = pandas()
        index = pd.RangeIndex(1, self.count + 1, name="spike")
        return pd.DataFrame({name: getattr(self, name) for name in COLUMNS}, index=index)

    def __repr__(self):
        return f"<ictalscope.SpikeTable: {self.count} spikes>"


def samples_and_interval(v, acq_ms):
    """The samples and interval of a Record, or of an array and the interval given."""
    if hasattr(v, "v") and hasattr(v, "acq_ms"):
        return v.v, v.acq_ms if acq_ms is None else acq_ms
    if acq_ms is None:
        raise TypeError("acq_ms is needed with an array of samples")
    return np.asarray(v, dtype=np.float64), acq_ms


def detect_spikes(v, acq_ms=None, *, dt_Vrest=50.0, stimulation=False, StimInterval=5000.0,
                  StimDelay=1.0, StimDuration=1.0):
    """The spikes of one record: a SpikeTable.

    v             the samples in mV (array), or a Record (its samples and acq_ms)
    acq_ms        the sampling interval in ms
    dt_Vrest      ms: Vrest is the lowest V of this window ending at the onset
    stimulation   skip the samples of every stimulus artefact; nothing is discarded
    StimInterval, StimDelay, StimDuration
                  the stimulation timing in ms (read only with stimulation=True); the defaults
                  are the window's after ticking Stimulation: StimInterval = 1000 / StimHz
                  with StimHz 0.20

    A spike begins at the first sample from 15 on that rises faster than 10 mV/ms from the one
    before, and ends at the first later sample more than 2 ms after its running peak at which
    the slope's curvature is positive. A full table (100000 spikes) is said by a warning, as
    the window says it. Raises ictalscope.Error for an acq_ms of 0 and for
    stimulation settings that would hold the scan.
    """
    samples, interval = samples_and_interval(v, acq_ms)
    table = SpikeTable(_core.detect_spikes(samples, interval, dt_Vrest, stimulation,
                                           StimInterval, StimDelay, StimDuration))
    if table.table_full:
        warnings.warn("Spike table full: only the first 100000 spikes are kept", stacklevel=2)
    return table
