#!/usr/bin/python3
"""Writes the listening page's sample: the given 8000 Hz 16-bit headerless
recordings back to back, cut to whole 30 ms frames, as a mono WAV file.

    page_sample.py OUT.wav RAW...
"""
import sys
import wave

pcm = b"".join(open(p, "rb").read() for p in sys.argv[2:])
pcm = pcm[: len(pcm) // 480 * 480]
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(pcm)
