#!/usr/bin/env python3
"""Times sivo against ffmpeg's G.723.1 codec on the same speech, in one run.

usage: compare_peer.py BUILD_DIR [--repeats N] [--seconds S]

Builds nothing: BUILD_DIR must hold bench/sivo_codec_timer. The input is
the codec2 example recordings (/usr/share/codec2/raw) concatenated and
repeated to at least S seconds (default 300: 441 s, three passes of 147 s)
of 8 kHz mono speech. The peer's decoder takes well under a second for all
of it, so a shorter input leaves its time at the mercy of the clock's tick.

Method: every measurement is the CPU time (user + system) of one child
process, taken from getrusage; each is repeated N times (default 5) and the
median is kept.
  - ffmpeg: the time of the coding run less the time of the same ffmpeg
    command with the codec replaced by a stream copy to the null muxer
    (start-up, file reading and demuxing), so only the codec and its
    per-frame handling remain. Decoding is timed with the post-filter on
    (ffmpeg's default) and off (-postfilter 0), against sivo's decoder with
    its post-filter on and off.
  - sivo: sivo_codec_timer reports the CPU time spent inside the frame calls
    alone, measured in-process; file I/O and start-up are outside it.
The ratio is sivo's speed over ffmpeg's (x real time of each).
"""

import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

RECORDINGS = ["hts1a", "hts2a", "morig", "forig", "mmt1", "kristoff", "big_dog", "vk5qi",
              "ve9qrp"]
SPEECH_DIR = "/usr/share/codec2/raw"
FRAME_BYTES = 480  # 240 16-bit samples


def child_cpu(cmd):
    """Runs cmd and returns (CPU seconds of the child, its stderr)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), done.stderr.decode(errors="replace")))
    spent = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return spent, done.stderr.decode(errors="replace")


def median_cpu(cmd, repeats):
    return statistics.median(child_cpu(cmd)[0] for _ in range(repeats))


def timer_cpu(cmd, repeats):
    """Median of the in-process codec time that sivo_codec_timer reports."""
    times = []
    for _ in range(repeats):
        _, err = child_cpu(cmd)
        match = re.search(r"cpu_seconds=([0-9.]+)", err)
        if not match:
            sys.exit("no timing from: %s\n%s" % (" ".join(cmd), err))
        times.append(float(match.group(1)))
    return statistics.median(times)


def make_input(path, seconds):
    speech = b""
    for name in RECORDINGS:
        with open(os.path.join(SPEECH_DIR, name + ".raw"), "rb") as f:
            speech += f.read()
    data = b""
    while len(data) < seconds * 16000:
        data += speech
    data = data[: len(data) // FRAME_BYTES * FRAME_BYTES]
    with open(path, "wb") as f:
        f.write(data)
    return len(data) / 16000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=300.0)
    args = parser.parse_args()

    timer = os.path.join(args.build_dir, "bench", "sivo_codec_timer")
    if not os.access(timer, os.X_OK):
        sys.exit("%s not found: build the target sivo_codec_timer first" % timer)
    ffmpeg = shutil.which("ffmpeg")
    if not ffmpeg:
        sys.exit("ffmpeg not found")
    quiet = [ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]

    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "speech.raw")
        audio = make_input(raw, args.seconds)
        peer_stream = os.path.join(tmp, "peer.tco")
        pcm_in = ["-f", "s16le", "-ar", "8000", "-ac", "1", "-i", raw]
        peer_encode = quiet + pcm_in + ["-c:a", "g723_1", "-b:a", "6300", "-f", "g723_1"]
        subprocess.run(peer_encode + [peer_stream], check=True)

        print("input: %.1f s of codec2 speech, 8 kHz mono; median of %d runs, CPU time"
              % (audio, args.repeats))
        print("ffmpeg: run time less a stream-copy run of the same input (start-up, I/O, demux)")
        print("sivo: CPU time inside the frame calls, measured in-process\n")

        enc_base = median_cpu(quiet + pcm_in + ["-c:a", "copy", "-f", "null", "-"], args.repeats)
        enc_peer = median_cpu(peer_encode[:-2] + ["-f", "null", "-"], args.repeats) - enc_base
        dec_base = median_cpu(quiet + ["-f", "g723_1", "-i", peer_stream, "-c:a", "copy", "-f",
                                       "null", "-"], args.repeats)
        dec_peer = median_cpu(quiet + ["-f", "g723_1", "-i", peer_stream, "-f", "null", "-"],
                              args.repeats) - dec_base
        plain_peer = median_cpu(quiet + ["-postfilter", "0", "-f", "g723_1", "-i", peer_stream,
                                         "-f", "null", "-"], args.repeats) - dec_base

        rows = []
        print("%-38s %10s %12s %8s" % ("case", "cpu s", "x realtime", "ratio"))
        print("%-38s %10.3f %12.0f %8s" % ("ffmpeg g723_1 encode 6.3k", enc_peer, audio / enc_peer,
                                           "1.00"))
        for rate in range(4):
            stream = os.path.join(tmp, "sivo%d.bit" % rate)
            spent = timer_cpu([timer, "encode", str(rate), raw, stream], args.repeats)
            ratio = enc_peer / spent
            rows.append(("encode rate %d" % rate, ratio))
            print("%-38s %10.3f %12.0f %8.2f" % ("sivo encode rate %d" % rate, spent,
                                                 audio / spent, ratio))
        print("%-38s %10.3f %12.0f %8s" % ("ffmpeg g723_1 decode, post-filter", dec_peer,
                                           audio / dec_peer, "1.00"))
        for rate in range(4):
            stream = os.path.join(tmp, "sivo%d.bit" % rate)
            spent = timer_cpu([timer, "decode", "1", stream, os.path.join(tmp, "out.raw")],
                              args.repeats)
            ratio = dec_peer / spent
            rows.append(("decode rate %d, post-filter" % rate, ratio))
            print("%-38s %10.3f %12.0f %8.2f" % ("sivo decode rate %d, post-filter" % rate, spent,
                                                 audio / spent, ratio))
        print("%-38s %10.3f %12.0f %8s" % ("ffmpeg g723_1 decode, no post-filter", plain_peer,
                                           audio / plain_peer, "1.00"))
        for rate in range(4):
            stream = os.path.join(tmp, "sivo%d.bit" % rate)
            spent = timer_cpu([timer, "decode", "0", stream, os.path.join(tmp, "out.raw")],
                              args.repeats)
            ratio = plain_peer / spent
            rows.append(("decode rate %d, no post-filter" % rate, ratio))
            print("%-38s %10.3f %12.0f %8.2f" % ("sivo decode rate %d, no post-filter" % rate,
                                                 spent, audio / spent, ratio))
        print("\nratio rows (sivo speed / ffmpeg speed):")
        for name, ratio in rows:
            print("  %-30s %6.2f" % (name, ratio))


if __name__ == "__main__":
    main()
