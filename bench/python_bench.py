"""The Python module's calls on the big record against the same work in C++:

    detect_spikes(v, acq_ms) on 10,000,000 samples   within 1.2x of DetectSpikes from C++
    open(path).record(1), 10,000,001 samples          within 1.3x of the plain read (BM_Baseline)

The C++ times come from detect_spikes_bench (bench/detect_spikes_bench.cpp), run with its JSON
output. Each side's time is its best repetition, a repetition being the mean of calls repeated
for at least --min-time seconds, as Google Benchmark times them. The samples must reach the
scan in place: the allocations that NumPy and Python trace during one call stay far below the
array's size, or the run fails.

    python3 bench/python_bench.py --build build [--repetitions 10] [--quick]

--quick: a build check, not a timing (1,000,000 samples, one call each, C++ included).
The script runs itself under the Python the build's module is made for (CMakeCache.txt's
Python_EXECUTABLE), with BUILD/python first on its path.
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import tracemalloc

SCAN_SAMPLES = 10_000_000
QUICK_SAMPLES = 1_000_000
BIG_SAMPLES = 10_000_001  # the loaded samples of big.wcp's record
BIG_SPIKES = 300
DETECT_TARGET = 1.2
LOAD_TARGET = 1.3
COPY_LIMIT = 0.1  # traced bytes during a scan, as a share of the array's


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=pathlib.Path("build"),
                        help="the build tree (module in BUILD/python)")
    parser.add_argument("--cpp-bench", type=pathlib.Path,
                        help="detect_spikes_bench (default: BUILD/bench/detect_spikes_bench)")
    parser.add_argument("--make-demo", type=pathlib.Path,
                        help="make_demo (default: BUILD/tools/make_demo)")
    parser.add_argument("--repetitions", type=int, default=10)
    parser.add_argument("--min-time", type=float, default=0.5,
                        help="seconds of calls in one repetition")
    parser.add_argument("--quick", action="store_true", help="a build check, not a timing")
    args = parser.parse_args()
    args.build = args.build.resolve()
    args.cpp_bench = args.cpp_bench or args.build / "bench" / "detect_spikes_bench"
    args.make_demo = args.make_demo or args.build / "tools" / "make_demo"
    if args.quick:
        args.repetitions, args.min_time = 1, 0.0
    return args


def module_python(build):
    """The Python the build's module is made for."""
    for line in (build / "CMakeCache.txt").read_text().splitlines():
        if line.startswith("Python_EXECUTABLE:"):
            return pathlib.Path(line.split("=", 1)[1])
    sys.exit(f"python_bench.py: no Python_EXECUTABLE in {build / 'CMakeCache.txt'}")


def run_under_module_python(build):
    python = module_python(build)
    if pathlib.Path(sys.executable).resolve() != python.resolve():
        os.execv(python, [str(python), __file__, *sys.argv[1:]])
    sys.path.insert(0, str(build / "python"))


def best_time(call, repetitions, min_time):
    """Seconds per call of the best repetition."""
    best = float("inf")
    for _ in range(repetitions):
        calls, start = 0, time.perf_counter()
        while True:
            call()
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= min_time:
                break
        best = min(best, elapsed / calls)
    return best


def traced_peak(call):
    """The peak of the allocations traced during one call, in bytes."""
    tracemalloc.start()
    try:
        call()
        return tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()


def cpp_times(args, folder):
    """Best real time in s of each benchmark of detect_spikes_bench."""
    out = folder / "detect_spikes_bench.json"
    command = [str(args.cpp_bench), f"--benchmark_out={out}", "--benchmark_out_format=json",
               f"--benchmark_repetitions={args.repetitions}"]
    if args.quick:
        command.append("--benchmark_min_time=0.01")
    else:
        command.append(f"--benchmark_min_time={args.min_time}")
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"python_bench.py: {args.cpp_bench.name} failed:\n{done.stderr}")
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    best = {}
    for run in json.loads(out.read_text())["benchmarks"]:
        if run.get("error_occurred"):
            sys.exit(f"python_bench.py: {run['name']}: {run.get('error_message')}")
        if run["run_type"] != "iteration":
            continue
        name = run["run_name"].split("/")[0]
        seconds = run["real_time"] * scale[run["time_unit"]]
        best[name] = min(best.get(name, seconds), seconds)
    return best


def verdict(ratio, target, quick):
    if quick:
        return "(quick run: not judged)"
    return "met" if ratio <= target else "NOT MET"


def report(what, python_s, cpp_name, cpp_s, target, quick):
    ratio = python_s / cpp_s
    print(f"{what}: Python {python_s * 1e3:.2f} ms / {cpp_name} {cpp_s * 1e3:.2f} ms = "
          f"{ratio:.2f} (target: within {target}x) {verdict(ratio, target, quick)}")


def check_in_place(ictalscope, v, acq_ms):
    """Whether a scan of v allocates far less than a copy of it; says what it found."""
    peak = traced_peak(lambda: ictalscope.detect_spikes(v, acq_ms))
    in_place = peak <= COPY_LIMIT * v.nbytes
    print(f"samples read in place: {'yes' if in_place else 'NO'} (allocations traced during a "
          f"scan peaked at {peak / 1e6:.2f} MB; the array holds {v.nbytes / 1e6:.1f} MB)")
    return in_place


def python_times(ictalscope, args, path):
    """The scanned samples' count, its spikes, the best times of detect_spikes and of
    open().record(1), and whether the scan read the samples in place."""
    record = ictalscope.open(path).record(1)
    if len(record) != BIG_SAMPLES:
        sys.exit(f"python_bench.py: big.wcp's record holds {len(record)} samples")
    v = record.v[:QUICK_SAMPLES if args.quick else SCAN_SAMPLES]
    in_place = check_in_place(ictalscope, v, record.acq_ms)
    spikes = ictalscope.detect_spikes(v, record.acq_ms).count
    if not args.quick and spikes != BIG_SPIKES:
        sys.exit(f"python_bench.py: {spikes} spikes found, not {BIG_SPIKES}")
    detect = best_time(lambda: ictalscope.detect_spikes(v, record.acq_ms), args.repetitions,
                       args.min_time)
    load = best_time(lambda: ictalscope.open(path).record(1), args.repetitions, args.min_time)
    return len(v), spikes, detect, load, in_place


def main():
    args = arguments()
    run_under_module_python(args.build)
    import ictalscope

    with tempfile.TemporaryDirectory(prefix="python-bench-") as tmp:
        folder = pathlib.Path(tmp)
        subprocess.run([str(args.make_demo), "--big", str(folder)], check=True)
        samples, spikes, detect, load, in_place = python_times(ictalscope, args,
                                                               str(folder / "big.wcp"))
        cpp = cpp_times(args, folder)
    report(f"detect_spikes, {samples:,} samples, {spikes} spikes", detect, "DetectSpikes",
           cpp["BM_DetectSpikes"], DETECT_TARGET, args.quick)
    report(f"open(path).record(1), {BIG_SAMPLES:,} samples", load, "BM_Baseline",
           cpp["BM_Baseline"], LOAD_TARGET, args.quick)
    read = cpp["BM_OpenReadRecord"]
    print(f"  for comparison: OpenRecording + ReadRecord from C++ {read * 1e3:.2f} ms, "
          f"{read / cpp['BM_Baseline']:.2f}x the baseline; open().record(1) is {load / read:.2f}x "
          "that")
    return 0 if in_place else 1


if __name__ == "__main__":
    sys.exit(main())
