#!/usr/bin/python3
"""Times the codec of two builds against each other, interleaved.

usage: compare_builds.py BUILD_A BUILD_B [--rounds N] [--seconds S] [--decode-repeat R]

Builds nothing: each BUILD must hold bench/sivo_codec_timer (the target
sivo_codec_timer), which loads that build's libsivocore. Typical use: a
Release build against one with Debian's packaging flags (see docs/install.md).

The input is the codec2 example recordings (/usr/share/codec2/raw),
concatenated and repeated to at least S seconds (default 150). Each round
encodes the input at every rate and decodes each stream R times over (default
8, as decoding is about ten times faster) with the post-filter on, once with
each build, in alternating order (A then B, then B then A), so
that a load that comes and goes on the machine falls on both alike. The
figure per case is the median over N rounds (default 7) of the CPU time spent
inside the frame calls, as sivo_codec_timer measures it in-process. The last
line gives B's total over A's: above 1 means B is slower.
"""

import argparse
import os
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_peer import child_cpu, make_input  # noqa: E402


def codec_seconds(cmd):
    _, err = child_cpu(cmd)
    for field in err.split():
        if field.startswith("cpu_seconds="):
            return float(field.split("=", 1)[1])
    sys.exit("no timing from: %s\n%s" % (" ".join(cmd), err))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_a")
    parser.add_argument("build_b")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--seconds", type=float, default=150.0)
    parser.add_argument("--decode-repeat", type=int, default=8)
    args = parser.parse_args()

    timers = []
    for build in (args.build_a, args.build_b):
        timer = os.path.join(build, "bench", "sivo_codec_timer")
        if not os.access(timer, os.X_OK):
            sys.exit("%s not found: build the target sivo_codec_timer first" % timer)
        timers.append(timer)

    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "speech.raw")
        audio = make_input(raw, args.seconds)
        cases = []
        for rate in range(4):
            stream = os.path.join(tmp, "rate%d.bit" % rate)
            cases.append(("encode rate %d" % rate,
                          lambda t, r=rate, s=stream: [t, "encode", str(r), raw, s]))
            cases.append(("decode rate %d" % rate,
                          lambda t, s=stream: [t, "decode", "1", s, os.path.join(tmp, "out.raw"),
                                           str(args.decode_repeat)]))
        times = {(name, side): [] for name, _ in cases for side in (0, 1)}
        for round_index in range(args.rounds):
            order = (0, 1) if round_index % 2 == 0 else (1, 0)
            for name, command in cases:
                for side in order:
                    times[(name, side)].append(codec_seconds(command(timers[side])))

        print("input: %.1f s of codec2 speech; median of %d interleaved rounds, CPU s in the codec"
              % (audio, args.rounds))
        print("A: %s\nB: %s\n" % (args.build_a, args.build_b))
        print("%-16s %10s %10s %8s" % ("case", "A", "B", "B/A"))
        total = [0.0, 0.0]
        for name, _ in cases:
            a = statistics.median(times[(name, 0)])
            b = statistics.median(times[(name, 1)])
            total[0] += a
            total[1] += b
            print("%-16s %10.3f %10.3f %8.3f" % (name, a, b, b / a))
        print("%-16s %10.3f %10.3f %8.3f" % ("all", total[0], total[1], total[1] / total[0]))


if __name__ == "__main__":
    main()
