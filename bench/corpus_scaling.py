#!/usr/bin/python3
"""The corpus route against the obvious alternative, side by side in one run:
`ls | xargs -P N` over `sivo encode` and `sivo-corpus encode --workers N`,
at N = 1 and 2, on a small and a large corpus of WAV files, the runs
interleaved so that a change in the machine's load touches every route
alike. Each figure is the whole command's wall time, start-up included
(seconds of audio per second); sivo-corpus's start-up and shut-down is the
wall time outside its own transcoding span.

    /usr/bin/python3 bench/corpus_scaling.py [--build build] [--repeats 3]
        [--files 96] [--small-minutes 12] [--large-minutes 120]
        [--sample-rate 16000] [--rate 1]

The machine's state is reported with the figures: the load average, and the
share of the cores that other processes used during each route's runs.
"""
import argparse
import glob
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import wave

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BOOKKEEPING = {".sivo-corpus.lock", "sivo-manifest.csv"}


def make_corpus(root, files, minutes, sample_rate, speech_dir):
    """`files` mono WAV files of real speech, `minutes` in all, stretched to
    `sample_rate` by repeating samples."""
    talk = np.concatenate([np.fromfile(f, dtype="<i2")
                           for f in sorted(glob.glob(os.path.join(speech_dir, "*.raw")))])
    length = int(minutes * 60 * 8000 / files)
    os.makedirs(root)
    for i in range(files):
        pcm = np.resize(np.roll(talk, -(i * 7919 * 240) % len(talk)), length)
        pcm = pcm[np.arange(length * sample_rate // 8000) * 8000 // sample_rate]
        with wave.open(os.path.join(root, f"talk{i:03d}.wav"), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(sample_rate)
            w.writeframes(pcm.astype("<i2").tobytes())
    return files * length / 8000


def busy_jiffies():
    """Clock ticks that all cores spent busy since boot."""
    with open("/proc/stat") as f:
        fields = [int(x) for x in f.readline().split()[1:]]
    return sum(fields) - fields[3] - fields[4]  # less idle and iowait


def process_times():
    """CPU clock ticks used so far by each process: {(pid, name): ticks}."""
    times = {}
    for path in glob.glob("/proc/[0-9]*/stat"):
        try:
            with open(path) as f:
                text = f.read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        times[(int(path.split("/")[2]), name)] = int(fields[11]) + int(fields[12])
    return times


def first_output(folder, start, seen):
    """Records in seen[0] the seconds from `start` until the first output, or
    the temporary of one, appears in `folder`: the first file has begun."""
    while True:
        try:
            if any(name not in BOOKKEEPING for name in os.listdir(folder)):
                seen.append(time.monotonic() - start)
                return
        except FileNotFoundError:
            pass
        time.sleep(0.001)


def timed(command, env, out):
    """Runs `command`, which writes into `out`; returns (wall seconds, its
    standard error, seconds until its first file began, the share of the
    cores that other processes used meanwhile, its CPU seconds)."""
    tick = os.sysconf("SC_CLK_TCK")
    cores = len(os.sched_getaffinity(0))
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    busy = busy_jiffies()
    begun = []
    start = time.monotonic()
    watcher = threading.Thread(target=first_output, args=(out, start, begun), daemon=True)
    watcher.start()
    done = subprocess.run(command, env=env, capture_output=True, text=True)
    wall = time.monotonic() - start
    watcher.join(timeout=1)
    busy = (busy_jiffies() - busy) / tick
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stderr}")
    ours = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, done.stderr, begun[0], max(0.0, busy - ours) / (wall * cores), ours


def xargs_run(sivo, src, out, workers, rate, env):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    command = ["sh", "-c", f'cd "$1" && ls | xargs -P {workers} -I{{}} "$2" encode -q '
                           f'-r {rate} {{}} "$3/{{}}.siv"', "sh", src, sivo, out]
    wall, _, begun, others, cpu = timed(command, env, out)
    return wall, None, begun, others, cpu


def corpus_run(src, out, workers, rate, env):
    shutil.rmtree(out, ignore_errors=True)
    command = [sys.executable, "-m", "sivo.corpus", "encode", src, out, "--rate", str(rate),
               "--workers", str(workers)]
    wall, err, begun, others, cpu = timed(command, env, out)
    span = float(err.split(" s of audio in ")[1].split(" s")[0])
    return wall, wall - span, begun, others, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"),
                        help="build folder with tools/sivo and python/sivo (default: build)")
    parser.add_argument("--repeats", type=int, default=3,
                        help="interleaved runs of every case; the best is reported")
    parser.add_argument("--files", type=int, default=96)
    parser.add_argument("--small-minutes", type=float, default=12)
    parser.add_argument("--large-minutes", type=float, default=120)
    parser.add_argument("--sample-rate", type=int, default=16000)
    parser.add_argument("--rate", type=int, default=1, choices=range(4))
    parser.add_argument("--speech", default=os.environ.get("SIVO_SPEECH_DIR",
                                                           "/usr/share/codec2/raw"))
    args = parser.parse_args()
    sivo = os.path.join(os.path.abspath(args.build), "tools", "sivo")
    env = dict(os.environ, PYTHONPATH=os.path.join(os.path.abspath(args.build), "python"))
    load_before = os.getloadavg()
    procs_before = process_times()

    with tempfile.TemporaryDirectory(prefix="sivo-corpus-bench.") as tmp:
        corpora = {}
        for name, minutes in (("small", args.small_minutes), ("large", args.large_minutes)):
            src = os.path.join(tmp, name)
            corpora[name] = (src, make_corpus(src, args.files, minutes, args.sample_rate,
                                              args.speech))
        routes = {
            "xargs": lambda src, out, n: xargs_run(sivo, src, out, n, args.rate, env),
            "sivo-corpus": lambda src, out, n: corpus_run(src, out, n, args.rate, env),
        }
        results = {}  # (corpus, route, workers) -> [(wall, overhead, begun, others, cpu)]
        for _ in range(args.repeats):
            for name, (src, _) in corpora.items():
                for workers in (1, 2):
                    for route, go in routes.items():
                        out = os.path.join(tmp, "out")
                        results.setdefault((name, route, workers), []).append(
                            go(src, out, workers))
        procs_after = process_times()
    load_after = os.getloadavg()

    print(f"{args.files} WAV files, {args.sample_rate} Hz mono, encoded at rate {args.rate}; "
          f"best of {args.repeats} interleaved runs; x real time of the whole command")
    print(f"{'corpus':<16}{'route':<14}{'1 worker':>10}{'2 workers':>11}{'scaling':>9}"
          f"{'first s':>9}{'start+stop s':>14}{'CPU s':>8}{'others':>8}")
    for name, (_, audio) in corpora.items():
        for route in routes:
            speed, overhead, begun, others, cpu = {}, [], [], [], []
            for workers in (1, 2):
                runs = results[(name, route, workers)]
                speed[workers] = audio / min(r[0] for r in runs)
                overhead += [r[1] for r in runs if r[1] is not None]
                begun += [r[2] for r in runs]
                others += [r[3] for r in runs]
                cpu += [r[4] for r in runs]
            label = f"{name} ({audio / 60:.0f} min)"
            start_stop = f"{min(overhead):.2f}-{max(overhead):.2f}" if overhead else "-"
            print(f"{label:<16}{route:<14}{speed[1]:>9.0f}x{speed[2]:>10.0f}x"
                  f"{speed[2] / speed[1]:>8.2f}x{max(begun):>9.2f}{start_stop:>14}"
                  f"{statistics.median(cpu):>8.1f}{100 * statistics.median(others):>7.0f}%")
    print("first s: the longest wait from the command's launch until its first file began "
          "(its first output or temporary appeared); start+stop: sivo-corpus's wall time "
          "outside its transcoding span (fastest-slowest run); CPU s: the command's own CPU "
          "time (median); others: the share of the cores that other processes used during "
          "its runs (median)")
    print(f"machine: {len(os.sched_getaffinity(0))} cores; load average (1 min) "
          f"{load_before[0]:.2f} before, {load_after[0]:.2f} after")
    ours = {os.getpid()}
    busiest = sorted(((t - procs_before.get(key, 0), key) for key, t in procs_after.items()
                      if key[0] not in ours), reverse=True)[:5]
    tick = os.sysconf("SC_CLK_TCK")
    print("busiest other processes alive at the end: " + (", ".join(
        f"{name} (pid {pid}) {ticks / tick:.1f} s" for ticks, (pid, name) in busiest
        if ticks > 0) or "none"))


if __name__ == "__main__":
    main()
