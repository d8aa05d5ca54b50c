"""Times every function of the core against its NumPy/SciPy peer on realistic inputs.

Usage: python bench/run.py [--repeat N] [--only NAME,...]

For each function it runs ours, the peer and the interface floor in turn, N times interleaved,
and prints the medians: ours, peer, ours/peer, floor, ours/floor. The floor is what any
implementation pays to cross the Python boundary: the same inputs converted to float arrays with
array.array, and as many output values built into a list. Then it prints the peak resident
memory of the stft and yin cases, each measured in a fresh process.
"""

import argparse
import array
import os
import platform
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
import cases  # noqa: E402

INDEX_KEYS = {"frames"}
DOUBLE_KEYS = {"hz", "mels", "notes", "times"}


def floor_for(inputs, keys, n_out):
    def run():
        for key in keys:
            array.array("q" if key in INDEX_KEYS else "d" if key in DOUBLE_KEYS else "f", inputs[key])
        return array.array("f", bytes(4 * n_out)).tolist()
    return run


def output_size(result):
    return len(result[0]) + 2 if isinstance(result, tuple) else len(result)


def timed(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def peak_memory(name, side):
    # VmHWM is the high-water mark of this process's own memory (ru_maxrss would also count what
    # the forking parent held before the child started).
    code = (
        "import sys; sys.path.insert(0, sys.argv[1]); import cases\n"
        "def peak():\n"
        "    return next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith('VmHWM'))\n"
        "inputs = {'signal': cases.make_signal().tolist()}\n"
        "case = {c[0]: c for c in cases.CASES}[sys.argv[2]]\n"
        "before = peak()\n"
        "case[1 if sys.argv[3] == 'ours' else 2](inputs)\n"
        "print(before, peak())\n"
    )
    out = subprocess.run([sys.executable, "-c", code, os.path.dirname(__file__), name, side],
                         check=True, capture_output=True, text=True).stdout.split()
    before, after = (int(v) / 1024 for v in out)
    return before, after


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    only = set(filter(None, args.only.split(",")))

    inputs = cases.make_inputs()
    print(f"# {platform.machine()}, {os.cpu_count()} cores, Python {platform.python_version()}, "
          f"numpy {cases.np.__version__}, scipy {cases.scipy.__version__}, {time.strftime('%Y-%m-%d')}")
    print(f"# medians of {args.repeat} interleaved runs; times in ms")
    print(f"{'function':<20}{'ours':>10}{'peer':>10}{'ours/peer':>11}{'floor':>10}{'ours/floor':>12}")
    for name, ours, peer, keys in cases.CASES:
        if only and name not in only:
            continue
        n_out = output_size(ours(inputs))
        floor = floor_for(inputs, keys, n_out)
        samples = {"ours": [], "peer": [], "floor": []}
        for _ in range(args.repeat):
            samples["ours"].append(timed(lambda: ours(inputs)))
            samples["peer"].append(timed(lambda: peer(inputs)))
            samples["floor"].append(timed(floor))
        t = {side: statistics.median(values) * 1e3 for side, values in samples.items()}
        print(f"{name:<20}{t['ours']:>10.2f}{t['peer']:>10.2f}{t['ours'] / t['peer']:>11.2f}"
              f"{t['floor']:>10.2f}{t['ours'] / t['floor']:>12.2f}", flush=True)

    if not only or "conversion" in only:
        # get_rms with a frame longer than the signal converts its argument and computes nothing.
        signal = inputs["signal"]
        as_array = cases.np.asarray(signal, dtype=cases.F32)
        frame = len(signal) + 1
        samples = {"list": [], "ndarray": []}
        for _ in range(args.repeat * 5):
            samples["list"].append(timed(lambda: cases._core.get_rms(signal, frame_length=frame)))
            samples["ndarray"].append(timed(lambda: cases._core.get_rms(as_array, frame_length=frame)))
        t = {side: statistics.median(values) * 1e3 for side, values in samples.items()}
        print(f"\n# converting {len(signal)} samples: list {t['list']:.3f} ms, float32 ndarray "
              f"{t['ndarray']:.3f} ms, {t['list'] / t['ndarray']:.1f}x faster")

    print("\n# peak resident memory of a fresh process (MiB): with its input list -> after the call")
    for name in ("stft", "yin"):
        if only and name not in only:
            continue
        for side in ("ours", "peer"):
            before, after = peak_memory(name, side)
            print(f"{name:<8}{side:<6}{before:8.1f} -> {after:8.1f}  (+{after - before:.1f})")


if __name__ == "__main__":
    main()
