"""sivo: a narrow-band speech codec (8000 Hz, 30 ms frames of 240 samples).

    import numpy as np, sivo
    data = sivo.encode(samples, rate=1)        # int16 array -> frame bytes
    speech = sivo.decode(data)                 # frame bytes -> int16 array
    for frame in sivo.frames(data): ...        # (type, rate, data) per frame

    with sivo.Encoder(rate=0) as enc, sivo.Decoder() as dec:
        out = dec.decode(enc.encode(chunk))    # any chunk sizes
        out = dec.decode(enc.flush())          # last frame padded with silence

Rates: 0 (24-byte frames, 6400 bit/s), 1 (31, 8266.7), 2 (19, 5066.7),
3 (45, 12000). Frame types 6 and 7 are reserved and skipped by the decoder.
Failures raise SivoError, whose `status` holds the library's status code
when one applies; FrameError (also a ValueError) names the byte `offset` of
an invalid or cut frame.
"""
import collections
import os

import numpy as np

from . import _sivo
from ._sivo import FrameError, SivoError

__all__ = [
    "FRAME_SAMPLES", "SAMPLE_RATE", "RATE_BYTES", "Frame", "SivoError", "FrameError",
    "encode", "decode", "frames", "Encoder", "Decoder", "encode_file", "decode_file",
    "read_audio", "segmental_snr",
]

FRAME_SAMPLES = _sivo.FRAME_SAMPLES
SAMPLE_RATE = _sivo.SAMPLE_RATE
RATE_BYTES = (24, 31, 19, 45)  # frame bytes of rates 0..3
LOOKAHEAD = 60  # decoded sample n matches input sample n - 60

# One frame of a stream: its type (0..3 speech, 6 or 7 reserved), its
# compression rate (the type for speech, None for reserved frames) and bytes.
Frame = collections.namedtuple("Frame", "type rate data")


def _samples(samples):
    """A contiguous one-dimensional int16 array of `samples`, refusing values
    that int16 cannot hold rather than wrapping them."""
    array = np.asarray(samples)
    if array.ndim != 1:
        raise ValueError(f"samples must be one-dimensional (mono), not of shape {array.shape}")
    if array.dtype != np.int16:
        if array.size and array.dtype.kind not in "iub":
            raise TypeError(f"samples must be 16-bit integers, not {array.dtype}")
        if array.size and (array.min() < -32768 or array.max() > 32767):
            raise ValueError("samples exceed the 16-bit range -32768..32767")
        array = array.astype(np.int16)
    return np.ascontiguousarray(array)


def encode(samples, rate=0):
    """Encodes 8000 Hz mono int16 samples of any length into frame bytes at
    `rate` (0..3); the last partial frame is padded with silence."""
    return _sivo.encode_buffer(_samples(samples), rate)


def decode(data, postfilter=True):
    """Decodes a byte string of whole frames into int16 samples, 240 per speech
    frame. Raises FrameError naming the offset of an invalid or cut frame."""
    return _sivo.decode_buffer(data, bool(postfilter))


def frames(data):
    """Yields each frame of `data` as Frame(type, rate, data); raises
    FrameError at an invalid type or a frame cut short by the end."""
    view = memoryview(data).cast("B")
    offset = 0
    while offset < len(view):
        frame_type, length = _sivo.frame_at(view, offset)
        yield Frame(frame_type, frame_type if frame_type <= 3 else None,
                    bytes(view[offset:offset + length]))
        offset += length


class Encoder(_sivo.Encoder):
    """Streaming encoder. `encode(chunk)` takes any number of samples and
    returns the frames completed so far; `flush()` pads the rest with silence.
    `rate` may be changed between calls and applies to the next frame."""

    def __init__(self, rate=0):
        super().__init__(rate)

    def encode(self, samples):
        return super().encode(_samples(samples))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Decoder(_sivo.Decoder):
    """Streaming decoder. `decode(data)` takes any number of bytes and returns
    the samples of the frames completed so far; a cut frame waits for its
    remaining bytes. An invalid frame type raises FrameError, whose `samples`
    hold the frames decoded before it; the rest of that chunk is skipped.
    Offsets (`consumed`, FrameError.offset) count every byte given since
    construction or `reset()`. `decode_lost()` returns 240 samples concealing
    a lost frame. `finish()` raises FrameError when bytes of a cut frame
    remain (they are dropped). The JavaScript package's Decoder is the same."""

    def __init__(self, postfilter=True):
        super().__init__(bool(postfilter))

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        try:
            if exc_type is None:
                self.finish()
        finally:
            self.close()


def encode_file(src, dst, rate=0):
    """Encodes the audio file `src` (any format libsndfile reads, any sample
    rate and channel count; "-" for standard input) into the frame file `dst`
    exactly as `sivo encode -r RATE SRC DST` does: `dst` appears only when
    complete. Returns a summary (frames, frame_bytes, input_format)."""
    return _sivo.encode_file(os.fspath(src), os.fspath(dst), rate)


def decode_file(src, dst, postfilter=True, rate=SAMPLE_RATE, format=None):
    """Decodes the frame file `src` into audio `dst` exactly as `sivo decode`
    does: WAV, raw, FLAC, Ogg/Vorbis or AIFF by `format` or by the extension,
    at `rate` Hz. Returns a summary (frames, samples, damaged_frames, ...)."""
    return _sivo.decode_file(os.fspath(src), os.fspath(dst), bool(postfilter), rate,
                             format or "")


def read_audio(path):
    """Any audio file as 8000 Hz mono int16 samples, converted as `sivo
    encode` converts it."""
    return _sivo.read_audio(os.fspath(path))


def segmental_snr(reference, test, delay=LOOKAHEAD):
    """(segmental dB, overall dB, segments) of `test`, `delay` samples behind
    `reference`, as `sivo compare` measures them."""
    return _sivo.segmental_snr(_samples(reference), _samples(test), delay)
