#!/usr/bin/python3
"""Transcodes one corpus with 1 and with 2 local Dask workers and reports the
aggregate speed (seconds of audio per second of transcoding, counted from a
ready cluster to the last file) and the scaling from 1 to 2 workers.

    PYTHONPATH=build/python /usr/bin/python3 bench/corpus_scaling.py
        [--files 24] [--seconds 20] [--mode encode] [--runs 1]
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import wave

import numpy as np


def make_corpus(root, files, seconds, speech_dir):
    talk = np.concatenate([np.fromfile(f, dtype="<i2")
                           for f in sorted(glob.glob(os.path.join(speech_dir, "*.raw")))])
    length = int(seconds * 8000)
    for i in range(files):
        start = (i * 7919 * 240) % len(talk)
        pcm = np.resize(np.roll(talk, -start), length).astype("<i2")
        with wave.open(os.path.join(root, f"talk{i:03d}.wav"), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(pcm.tobytes())


def run(mode, src, dst, workers):
    shutil.rmtree(dst, ignore_errors=True)
    done = subprocess.run([sys.executable, "-m", "sivo.corpus", mode, src, dst, "--workers",
                           str(workers)], capture_output=True, text=True, check=True)
    found = re.search(r"([0-9.]+) s of audio in ([0-9.]+) s", done.stderr)
    return float(found.group(1)), float(found.group(2))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=24)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--mode", default="encode", choices=["encode", "roundtrip"])
    parser.add_argument("--runs", type=int, default=1, help="best of this many runs")
    parser.add_argument("--speech", default="/usr/share/codec2/raw")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src")
        os.mkdir(src)
        make_corpus(src, args.files, args.seconds, args.speech)
        speed = {}
        for workers in (1, 2):
            best = None
            for _ in range(args.runs):
                audio, seconds = run(args.mode, src, os.path.join(tmp, "dst"), workers)
                best = seconds if best is None else min(best, seconds)
            speed[workers] = audio / best
            print(f"{args.mode}, {workers} worker(s): {audio:.0f} s of audio in {best:.2f} s, "
                  f"{speed[workers]:.1f}x real time")
        print(f"scaling 1 -> 2 workers: {speed[2] / speed[1]:.2f}x "
              f"(on {os.cpu_count()} cores; load average {os.getloadavg()[0]:.2f})")


if __name__ == "__main__":
    main()
