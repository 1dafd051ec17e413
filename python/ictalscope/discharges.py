"""Discharge grouping of one record's spikes, as the "IID" button runs it, and the statistics
of a discharge table, as "stat" computes them."""

import os

import numpy as np

from . import _core
from ._frames import pandas

# The five tables in the order "IID" writes them, named by the suffix of their files.
TABLE_NAMES = ("IID", "mean", "ID", "_sp", "_1sp")
# The columns of a "mean" or "ID" row that a discharge table holds for "stat".
DISCHARGE_COLUMNS = ("tr", "nIID", "tIID,s", "ISImean,s", "Duration,s", "nspIntra")


class Table:
    """One of the discharge tables: its rows as numbers and as the lines its file holds.

    name     "IID", "mean", "ID", "_sp" or "_1sp" (the suffix of the file's name)
    header   the file's first line; columns: its names ("tr", "nIID", "tsp,s", ...)
    rows     one dict a row, keyed by the column names (times in s, voltages in mV; reals as
             float, so a value exactly half-way between two printed decimals may print with the
             other last digit: `lines` hold the exact text)
    lines    the rows as the file writes them (without the line ends)
    """

    def __init__(self, name, header, rows, lines):
        self.name = name
        self.header = header
        self.columns = header.split(" ")
        self.rows = [dict(zip(self.columns, row)) for row in rows]
        self.lines = list(lines)

    @classmethod
    def concat(cls, tables):
        """The rows of several tables of one kind (several records) in one table."""
        tables = list(tables)
        if not tables:
            raise ValueError("concat needs at least one table")
        names = {(t.name, t.header) for t in tables}
        if len(names) != 1:
            raise ValueError(f"tables of different kinds: {sorted(n for n, _ in names)}")
        rows = [tuple(row.values()) for t in tables for row in t.rows]
        return cls(tables[0].name, tables[0].header, rows, [line for t in tables for line in t.lines])

    def column(self, name):
        """One column as a NumPy array."""
        if name not in self.columns:
            raise KeyError(name)
        return np.array([row[name] for row in self.rows], dtype=np.float64)

    def text(self, header=True):
        """The file's content ("\\r\\n" line ends), with its header line as record 1 writes it."""
        lines = ([self.header] if header else []) + self.lines
        return "".join(line + "\r\n" for line in lines)

    def to_pandas(self):
        """The rows as a DataFrame with the file's column names."""
        return pandas().DataFrame(self.rows, columns=self.columns)

    def __len__(self):
        return len(self.rows)

    def __iter__(self):
        return iter(self.rows)

    def __getitem__(self, key):
        """A row by its index, or a column by its name."""
        return self.column(key) if isinstance(key, str) else self.rows[key]

    def __repr__(self):
        return f"<ictalscope.Table {self.name}: {len(self.rows)} rows>"


class Discharges:
    """What "IID" makes of one record's spikes.

    tables               {"IID": Table, "mean": ..., "ID": ..., "_sp": ..., "_1sp": ...}; also
                         as the attributes iid, mean, id, sp, one_sp
    iid_marks, id_marks  the markers at each discharge's onset (x in s, y -30 and -20 mV), arrays
                         of shape (n, 2)
    closing_interval_ms  the most recent interval of at least ISImax: the next record's
                         closing_interval_ms
    record               the record's number
    """

    def __init__(self, result, record):
        self.tables = {name: Table(name, result[name]["header"], result[name]["rows"],
                                   result[name]["lines"]) for name in TABLE_NAMES}
        self.iid = self.tables["IID"]
        self.mean = self.tables["mean"]
        self.id = self.tables["ID"]
        self.sp = self.tables["_sp"]
        self.one_sp = self.tables["_1sp"]
        self.iid_marks = result["iid_marks"]
        self.id_marks = result["id_marks"]
        self.closing_interval_ms = result["closing_interval_ms"]
        self.record = record

    def __getitem__(self, name):
        return self.tables[name]

    def __repr__(self):
        return (f"<ictalscope.Discharges of record {self.record}: {len(self.mean)} discharges, "
                f"{len(self.id)} ID>")


def _column(spikes, name):
    return np.asarray(spikes[name], dtype=np.float64)


def group_discharges(spikes, record=1, ISImax=1000.0, NminSpikes=40, Vsilent=-65.0,
                     time_through_traces=False, closing_interval_ms=0.0):
    """The five discharge tables of one record: a Discharges.

    spikes   a SpikeTable, or any mapping of the columns VT, tsp, Vpeak, Vrest, Vmin, AHP
             (a dict of arrays, a DataFrame); tsp in ms, voltages in mV
    record   the record's number (column tr; with time_through_traces, 300 s a record are
             added to the times of "_sp" and "_1sp")
    ISImax   ms: consecutive spikes less apart belong to one discharge
    NminSpikes   a discharge of more spikes is also an ID discharge
    Vsilent  mV: the column Vr-Vsilent is Vrest - Vsilent
    closing_interval_ms
             the previous record's closing_interval_ms (0 for the first record): the ISI the
             first discharge shows when no interval of at least ISImax comes before it
    """
    columns = [_column(spikes, name) for name in ("VT", "tsp", "Vpeak", "Vrest", "Vmin", "AHP")]
    result = _core.group_discharges(*columns, ISImax, NminSpikes, Vsilent, time_through_traces,
                                    record, closing_interval_ms)
    return Discharges(result, record)


class DischargeSummary:
    """The statistics "stat" writes for a table of discharges (every record counts 300 s).

    count                 N_ID, the discharges
    inter_id              InterID of discharges 1 .. count - 1: onset to next onset, s
    InterIDm, InterIDsem  mean and standard error of InterID (s)
    IntraIDm, IntraIDsem  of ISImean (s)
    Durm, Dursem          of Duration (s)
    Nspm, NSpsem          of the spike counts
    Nsplast_Nsp1          last count / first count; None when the first count is 0, and
                          ratio_fault then holds the division's message
    lines                 the lines of the statistics file: header, summary, header, one line a
                          discharge (the first header line alone without the ratio)
    """

    def __init__(self, result):
        self.count = result["count"]
        self.inter_id = result["inter_id"]
        self.InterIDm, self.InterIDsem = result["inter"]
        self.IntraIDm, self.IntraIDsem = result["intra"]
        self.Durm, self.Dursem = result["duration"]
        self.Nspm, self.NSpsem = result["spikes"]
        self.Nsplast_Nsp1 = result["last_over_first"]
        self.ratio_fault = result["ratio_fault"]
        self.lines = result["lines"]

    def as_dict(self):
        """The summary line's values by the names of its header."""
        return {"N_ID": self.count, "InterIDm": self.InterIDm, "InterIDsem": self.InterIDsem,
                "IntraIDm": self.IntraIDm, "IntraIDsem": self.IntraIDsem, "Durm": self.Durm,
                "Dursem": self.Dursem, "Nspm": self.Nspm, "NSpsem": self.NSpsem,
                "Nsplast/Nsp1": self.Nsplast_Nsp1}

    def text(self):
        """The statistics file's content ("\\r\\n" line ends)."""
        return "".join(line + "\r\n" for line in self.lines)

    def __repr__(self):
        return f"<ictalscope.DischargeSummary of {self.count} discharges>"


def read_discharge_table(path):
    """The discharges of a table file ("mean" or "ID"), as (tr, nIID, tIID, ISImean, Duration,
    Nsp) tuples, read as "stat" reads them."""
    return _core.read_discharge_table(os.fsdecode(os.fspath(path)))


def _discharge_rows(table):
    if isinstance(table, (str, bytes, os.PathLike)):
        return read_discharge_table(table)
    if isinstance(table, Discharges):
        table = table.id
    if isinstance(table, Table):
        if table.name not in ("mean", "ID"):
            raise ValueError(f"the {table.name} table holds no discharges: use mean or ID")
        return [tuple(row[c] for c in DISCHARGE_COLUMNS) for row in table.rows]
    if hasattr(table, "columns") and hasattr(table, "to_numpy"):
        if all(c in table.columns for c in DISCHARGE_COLUMNS):
            table = table[list(DISCHARGE_COLUMNS)]
        return table.to_numpy(dtype=np.float64).tolist()
    return [tuple(row[c] for c in DISCHARGE_COLUMNS) if isinstance(row, dict) else tuple(row)
            for row in table]


def summarise_discharges(table):
    """The statistics of a table of discharges: a DischargeSummary.

    table   the path of a discharge table (its first line is skipped), a Table ("mean" or "ID")
            or a Discharges (its ID table), a DataFrame, or a list of discharges: dicts with the
            table's column names or sequences (tr, nIID, tIID, ISImean, Duration, Nsp)

    Raises ictalscope.Error("stat needs at least two discharges: the table holds N") below two.
    """
    return DischargeSummary(_core.summarise_discharges(_discharge_rows(table)))
