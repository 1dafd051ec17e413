"""Spikes and discharges of a recording from Python: a table of counts and one record drawn.

Each record's spikes are found and grouped into discharges as `each-record` does. The table
gives, record by record, the spikes, the discharges (rows of the "mean" table, the ictal ones
included) and the ictal discharges (ID); the picture shows one record (2 by default) with the
markers of its spikes and discharges.

    PYTHONPATH=build/python /usr/bin/python3 examples/from_python.py build/examples/1.wcp
    cd examples && PYTHONPATH=../build/python /usr/bin/python3 from_python.py  # after ./run.sh
"""

import argparse
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import ictalscope  # noqa: E402


def analyse(rec):
    """(record, spikes, discharges) of each record, each record's grouping carried on from the
    previous one's closing interval, as `each-record` runs them."""
    closing, results = 0.0, []
    for r in rec:
        spikes = ictalscope.detect_spikes(r)
        d = ictalscope.group_discharges(spikes, record=r.record, closing_interval_ms=closing)
        closing = d.closing_interval_ms
        results.append((r, spikes, d))
    return results


def print_counts(results):
    print("record spikes IID  ID")
    for r, spikes, d in results:
        print(f"{r.record:6} {spikes.count:6} {len(d.mean):3} {len(d.id):3}")


def draw(r, spikes, d, path):
    """The record's voltage, its spike onsets and peaks, its discharges' onsets (every row of
    the "mean" table) and the span of its ictal discharges."""
    fig, ax = plt.subplots(figsize=(12, 4.5), layout="constrained")
    ax.plot(r.t, r.v, color="0.3", linewidth=0.4, label="membrane voltage")
    ax.plot(*spikes.markers["th"].T, "o", color="tab:blue", markersize=3, label="spike onset")
    ax.plot(*spikes.markers["peak"].T, "v", color="tab:green", markersize=3, label="spike peak")
    ax.vlines(d.iid_marks[:, 0], 0, 1, transform=ax.get_xaxis_transform(), colors="tab:orange",
              linestyles="dashed", linewidth=1, zorder=1, label="discharge onset (IID)")
    for n, row in enumerate(d.id):
        ax.axvspan(row["tIID,s"], row["tIID,s"] + row["Duration,s"], color="tab:red", alpha=0.12,
                   label="ictal discharge (ID)" if n == 0 else None)
    ax.set(xlabel="time (s)", ylabel="membrane voltage (mV)", xlim=(r.t[0], r.t[-1]),
           title=f"Record {r.record}: {spikes.count} spikes, {len(d.mean)} discharges, "
                 f"{len(d.id)} ictal")
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.12), ncols=5, frameon=False)
    fig.savefig(path, dpi=100)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("recording", nargs="?", default="1.wcp")
    parser.add_argument("-o", "--output", default="from_python.png", help="the picture (PNG)")
    parser.add_argument("--record", type=int, default=2, help="the record drawn (from 1)")
    args = parser.parse_args()
    try:
        results = analyse(ictalscope.open(args.recording))
    except ictalscope.Error as error:  # "File not found: 1.wcp", ...
        sys.exit(f"from_python.py: {error}")
    print_counts(results)
    if not 1 <= args.record <= len(results):
        sys.exit(f"from_python.py: no record {args.record}: the file holds {len(results)}")
    draw(*results[args.record - 1], args.output)


if __name__ == "__main__":
    main()
