"""ictalscope for Python: the recordings, the analyses and the batch language of ictalscope.

    import ictalscope
    rec = ictalscope.open("1.wcp")
    r = rec.record(1)                       # r.v (mV), r.t (s), r.acq_ms
    spikes = ictalscope.detect_spikes(r)     # columns VT, tsp, Vpeak, ... (ms, mV)
    d = ictalscope.group_discharges(spikes, record=1)
    d.mean.rows, d.ID.lines ...

Failures raise ictalscope.Error with the program's own message.
"""

from ._core import Error
from .discharges import (DischargeSummary, Discharges, Table, group_discharges,
                         read_discharge_table, summarise_discharges)
from .input_resistance import RinSteps, input_resistance
from .recording import Record, Recording, open
from .session import BatchError, RunResult, Session
from .spikes import SpikeTable, detect_spikes

__all__ = ["Error", "BatchError", "open", "Recording", "Record", "detect_spikes", "SpikeTable",
           "group_discharges", "Discharges", "Table", "summarise_discharges",
           "DischargeSummary", "read_discharge_table", "input_resistance", "RinSteps", "Session",
           "RunResult"]
