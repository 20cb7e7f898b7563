# Shared fixtures of the Python package's tests: the sivo program, speech
# and WAV files of any layout.
import glob
import os
import subprocess
import wave

import numpy as np
import pytest

SPEECH_DIR = os.environ.get("SIVO_SPEECH_DIR", "/usr/share/codec2/raw/")


def speech(seconds=None):
    """Real 8000 Hz speech: the recordings back to back, cut to `seconds`."""
    files = sorted(glob.glob(os.path.join(SPEECH_DIR, "*.raw")))
    pcm = np.concatenate([np.fromfile(f, dtype="<i2") for f in files]).astype(np.int16)
    return pcm if seconds is None else pcm[: int(seconds * 8000)]


def write_wav(path, samples, rate=8000, channels=1):
    """A 16-bit PCM WAV file of `samples` (8000 Hz), stretched to `rate` by
    repeating samples and copied into every channel."""
    pcm = np.asarray(samples, dtype=np.int16)
    if rate != 8000:
        pcm = pcm[(np.arange(len(pcm) * rate // 8000) * 8000 // rate)]
    pcm = np.repeat(pcm, channels)
    with wave.open(str(path), "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.astype("<i2").tobytes())


def run_cli(*args, check=True):
    """Runs the sivo program; returns the completed process."""
    result = subprocess.run([os.environ["SIVO_CLI"], *map(str, args)], capture_output=True,
                            timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"sivo {' '.join(map(str, args))}: {result.stderr.decode()}")
    return result


@pytest.fixture(scope="session")
def talk():
    return speech()
