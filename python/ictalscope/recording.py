"""Recordings opened and read as plain data: what a load in a fresh window reads."""

import functools
import os

from . import _core


class Record:
    """One record (sweep) of one channel.

    v        the samples in mV (NumPy float64 array), sample k at k * acq_ms
    t        the time of each sample in s (computed when first asked for)
    acq_ms   the sampling interval in ms
    record   the record's number, from 1
    channel  the channel read, from 1
    calib_v  mV per count of that channel, as the CalibV field shows it
    calib_i  the factor of the first current channel, as the CalibI field shows it
    """

    def __init__(self, data):
        self.v = data["v"]
        self.acq_ms = data["acq_ms"]
        self.record = data["record"]
        self.channel = data["channel"]
        self.calib_v = data["calib_v"]
        self.calib_i = data["calib_i"]

    @functools.cached_property
    def t(self):
        return _core.sample_times(len(self.v), self.acq_ms)

    def __len__(self):
        return len(self.v)

    def __repr__(self):
        return (f"<ictalscope.Record {self.record}, channel {self.channel}: "
                f"{len(self.v)} samples at {self.acq_ms:g} ms>")


class Recording:
    """A recording file (ABF, .wcp or text trace), recognised by its content.

    format               "abf", "wcp" or "text"
    file                 the file's name as given to open()
    version, mode        the format's version ("9", "2.6.0.0", ...) and an ABF file's
                         acquisition mode ("episodic stimulation", ...); empty when none
    layout               a .wcp file's layout, "classic" or "header"; empty otherwise
    records              the records (sweeps) the file holds
    channels             [(name, unit), ...]
    analysed_channel     the channel analysed by default, from 1: the first in mV, then the
                         first in V or µV, else channel 1
    voltage_found        False when that channel is in no voltage unit
    sampling_interval_ms the interval between samples
    header_text          the first 512 bytes of a .wcp file, one character per byte; "" otherwise
    summary              the line the window's header label shows first
    """

    def __init__(self, handle):
        self._handle = handle
        info = handle.info()
        self.format = info["format"]
        self.file = info["file"]
        self.version = info["version"]
        self.mode = info["mode"]
        self.layout = info["layout"]
        self.records = info["records"]
        self.channels = info["channels"]
        self.analysed_channel = info["analysed_channel"]
        self.voltage_found = info["voltage_found"]
        self.sampling_interval_ms = info["sampling_interval_ms"]
        self.header_text = info["header_text"]
        self.summary = info["summary"]

    def record(self, n, channel=None):
        """Record n (from 1) of `channel` (from 1; None or 0: the first voltage channel, as the
        Channel field 0 does) as a Record. Raises ictalscope.Error("Record N does not exist: ...")
        and the like."""
        return Record(self._handle.read(n, 0 if channel is None else channel))

    def __len__(self):
        return self.records

    def __iter__(self):
        """The records 1 .. records of the analysed channel."""
        for n in range(1, self.records + 1):
            yield self.record(n)

    def __repr__(self):
        return f"<ictalscope.Recording {self.file}: {self.summary}>"


def open(path):
    """Opens the recording file `path` (exactly that file; only its header is read).

    Raises ictalscope.Error with the program's message: "File not found: PATH",
    "Invalid ABF file ...", ...
    """
    return Recording(_core.open_recording(os.fsdecode(os.fspath(path))))
