#!/usr/bin/python3
"""Times whole-buffer sivo.encode and sivo.decode against the C API on the
same samples, in one run: the C side is sivo_codec_timer (CPU time of the
frame calls alone), the Python side the CPU time of one package call. Both
are the median of alternating runs; the outputs must be equal byte for byte.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_vs_c.py build [--runs N]
"""
import argparse
import glob
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np


def c_time(timer, args):
    out = subprocess.run([timer, *map(str, args)], capture_output=True, text=True, check=True)
    return float(re.search(r"cpu_seconds=([0-9.]+)", out.stderr).group(1))


def py_time(call):
    start = time.process_time()
    result = call()
    return time.process_time() - start, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="build folder")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--speech", default="/usr/share/codec2/raw")
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import sivo

    timer = os.path.join(args.build, "bench", "sivo_codec_timer")
    pcm = np.concatenate([np.fromfile(f, dtype="<i2")
                          for f in sorted(glob.glob(os.path.join(args.speech, "*.raw")))])
    pcm = pcm[: len(pcm) // 240 * 240].astype(np.int16)
    seconds = len(pcm) / 8000
    print(f"{seconds:.1f} s of speech, median of {args.runs} alternating runs, CPU time")
    print(f"{'case':<22}{'C API s':>10}{'Python s':>10}{'Python/C':>10}")
    with tempfile.TemporaryDirectory() as tmp:
        raw, bits, out = (os.path.join(tmp, n) for n in ("in.raw", "c.bit", "c.raw"))
        pcm.astype("<i2").tofile(raw)
        worst = 0.0
        for rate in range(4):
            c_runs, py_runs = [], []
            for _ in range(args.runs):
                c_runs.append(c_time(timer, ["encode", rate, raw, bits]))
                spent, data = py_time(lambda: sivo.encode(pcm, rate))
                py_runs.append(spent)
            assert data == open(bits, "rb").read(), "encode differs from the C API"
            worst = max(worst, report(f"encode rate {rate}", c_runs, py_runs))
            for postfilter in (1, 0):
                c_runs, py_runs = [], []
                for _ in range(args.runs):
                    c_runs.append(c_time(timer, ["decode", postfilter, bits, out]))
                    spent, samples = py_time(lambda: sivo.decode(data, bool(postfilter)))
                    py_runs.append(spent)
                assert samples.astype("<i2").tobytes() == open(out, "rb").read(), \
                    "decode differs from the C API"
                worst = max(worst, report(f"decode r{rate} pf{postfilter}", c_runs, py_runs))
    print(f"largest Python/C ratio: {worst:.3f}")


def report(name, c_runs, py_runs):
    c, p = statistics.median(c_runs), statistics.median(py_runs)
    print(f"{name:<22}{c:>10.3f}{p:>10.3f}{p / c:>10.3f}")
    return p / c


if __name__ == "__main__":
    main()
