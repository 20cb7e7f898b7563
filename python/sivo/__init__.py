"""sivo: a narrow-band speech codec (8000 Hz, 30 ms frames of 240 samples).

::

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
    "read_audio", "same_file", "segmental_snr",
]

#: Samples per frame: 240 (30 ms).
FRAME_SAMPLES = _sivo.FRAME_SAMPLES
#: Samples per second, in and out: 8000.
SAMPLE_RATE = _sivo.SAMPLE_RATE
#: Frame bytes of rates 0..3: (24, 31, 19, 45).
RATE_BYTES = (24, 31, 19, 45)
#: The codec's look-ahead in samples: decoded sample n matches input sample n - 60.
LOOKAHEAD = 60

Frame = collections.namedtuple("Frame", "type rate data")
Frame.__doc__ = """Frame(type, rate, data): one frame of a stream, as frames() yields it."""
Frame.type.__doc__ = "The frame type, 0..3 for speech, 6 or 7 for reserved frames."
Frame.rate.__doc__ = "The compression rate (the type) of a speech frame; None for a reserved one."
Frame.data.__doc__ = "The frame's bytes, its first byte included."


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
    """encode(samples, rate=0) -> bytes

    Encodes 8000 Hz mono samples of any length into frames.

    Args:
        samples: a one-dimensional array of 16-bit samples (any integer
            array whose values fit is taken).
        rate: the compression rate, 0..3.

    Returns:
        bytes: the frames back to back; the last partial frame is padded
        with silence.

    Raises:
        SivoError: `rate` is not 0..3 (status 3).
        ValueError, TypeError: `samples` is not one-dimensional, holds values
            beyond the 16-bit range or is not of integers.
    """
    return _sivo.encode_buffer(_samples(samples), rate)


def decode(data, postfilter=True):
    """decode(data, postfilter=True) -> numpy.ndarray

    Decodes a stream of whole frames.

    Args:
        data: the frames back to back (a bytes-like object).
        postfilter: apply the pitch and formant post-filters.

    Returns:
        numpy.ndarray: int16 samples, 240 per speech frame; reserved frames
        give none, damaged frames are concealed.

    Raises:
        FrameError: an invalid frame type or a frame cut short, with its
            byte offset; nothing is decoded.
    """
    return _sivo.decode_buffer(data, bool(postfilter))


def frames(data):
    """frames(data) -> iterator of Frame

    Walks a stream of frames.

    Args:
        data: the frames back to back (a bytes-like object).

    Yields:
        Frame: each frame in turn, reserved frames included.

    Raises:
        FrameError: at an invalid frame type or a frame cut short by the
            end, after the frames before it were yielded.
    """
    view = memoryview(data).cast("B")
    offset = 0
    while offset < len(view):
        frame_type, length = _sivo.frame_at(view, offset)
        yield Frame(frame_type, frame_type if frame_type <= 3 else None,
                    bytes(view[offset:offset + length]))
        offset += length


class Encoder(_sivo.Encoder):
    """Encoder(rate=0)

    Streaming encoder: `encode(chunk)` takes any number of samples and
    returns the frames completed so far; `flush()` pads the rest with
    silence. `rate` may be changed between calls and applies to the next
    frame. A context manager: leaving the block closes it. Threads may share
    an encoder: its calls take turns, a rate set during a call applies from
    the next call, and close() waits for a call in progress.

    Args:
        rate: the compression rate, 0..3.
    """

    def __init__(self, rate=0):
        super().__init__(rate)

    def encode(self, samples):
        """encode(samples) -> bytes

        Encodes the frames that `samples` completes; the samples short of a
        whole frame wait for the next call or for flush().

        Args:
            samples: a one-dimensional array of 16-bit samples, of any length.

        Returns:
            bytes: the completed frames, at the rate of the call.
        """
        return super().encode(_samples(samples))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Decoder(_sivo.Decoder):
    """Decoder(postfilter=True)

    Streaming decoder: `decode(data)` takes any number of bytes and returns
    the samples of the frames completed so far; a cut frame waits for its
    remaining bytes. An invalid frame type raises FrameError, whose `samples`
    hold the frames decoded before it; the rest of that chunk is skipped.
    Offsets (`consumed`, FrameError.offset) count every byte given since
    construction or `reset()`. `decode_lost()` returns 240 samples concealing
    a lost frame. `finish()` raises FrameError when bytes of a cut frame
    remain (they are dropped). The JavaScript package's Decoder behaves the
    same. A context manager: leaving the block without an exception calls
    finish(), and leaving it in any way closes the decoder. Threads may share
    a decoder as they may share an Encoder.

    Args:
        postfilter: apply the pitch and formant post-filters.
    """

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


def _path(path):
    """`path` (str, bytes or path-like) as the bytes the file system takes,
    names that are not UTF-8 included; the compiled side refuses a NUL inside
    it with ValueError, as os.open does."""
    return os.fsencode(path)


def encode_file(src, dst, rate=0):
    """encode_file(src, dst, rate=0) -> dict

    Encodes an audio file into a frame file exactly as
    ``sivo encode -r RATE SRC DST`` does.

    Args:
        src: any file libsndfile reads, at any sample rate and channel
            count; "-" for standard input.
        dst: the frame file; a regular file appears only when complete.
        rate: the compression rate, 0..3.

    Returns:
        dict: ``frames``, ``frame_bytes``, ``input_format`` and the other
        counters of the run.

    Raises:
        SivoError: with the program's message; an earlier `dst` is left as
            it was.
        ValueError: a path holds a NUL.
        KeyboardInterrupt: Ctrl-C (or the exception of any signal handler
            that raises), between blocks; `dst` is left as it was.
    """
    return _sivo.encode_file(_path(src), _path(dst), rate)


def decode_file(src, dst, postfilter=True, rate=SAMPLE_RATE, format=None):
    """decode_file(src, dst, postfilter=True, rate=8000, format=None) -> dict

    Decodes a frame file into audio exactly as ``sivo decode`` does.

    Args:
        src: the frame file; "-" for standard input.
        dst: the audio file; a regular file appears only when complete.
        postfilter: apply the pitch and formant post-filters.
        rate: the output's sample rate in Hz (converted with libsoxr).
        format: "wav", "raw", "flac", "ogg" or "aiff"; None chooses by the
            extension of `dst`.

    Returns:
        dict: ``frames``, ``samples``, ``damaged_frames``,
        ``reserved_frames`` and the other counters of the run.

    Raises:
        SivoError: with the program's message (an invalid or cut frame names
            its byte offset); an earlier `dst` is left as it was.
        ValueError: a path holds a NUL.
        KeyboardInterrupt: Ctrl-C (or the exception of any signal handler
            that raises), between blocks; `dst` is left as it was.
    """
    return _sivo.decode_file(_path(src), _path(dst), bool(postfilter), rate,
                             format or "")


def read_audio(path):
    """read_audio(path) -> numpy.ndarray

    Reads any audio file as ``sivo encode`` reads it.

    Args:
        path: any file libsndfile reads.

    Returns:
        numpy.ndarray: int16 samples at 8000 Hz, mixed to mono.

    Raises:
        SivoError: the file cannot be read.
        ValueError: the path holds a NUL.
        KeyboardInterrupt: Ctrl-C (or the exception of any signal handler
            that raises), between blocks.
    """
    return _sivo.read_audio(_path(path))


def same_file(src, dst):
    """same_file(src, dst) -> bool

    Tells whether writing `dst` would replace or overwrite the file `src`,
    the pair that `encode_file`, `decode_file` and ``sivo`` refuse.

    Args:
        src: the input; "-" is whatever standard input reads.
        dst: the output; "-" is whatever standard output writes, and a
            link counts as the file it finally names.

    Returns:
        bool: True when both are one regular file, by any names, links or
        folders; False when either does not exist or is not a regular file.

    Raises:
        ValueError: a path holds a NUL.
    """
    return _sivo.same_file(_path(src), _path(dst))


def segmental_snr(reference, test, delay=LOOKAHEAD):
    """segmental_snr(reference, test, delay=60) -> (float, float, int)

    Measures `test` against `reference` as ``sivo compare`` does: over
    240-sample segments, skipping those more than 40 dB below the loudest.

    Args:
        reference: the original int16 samples.
        test: the decoded int16 samples (decoded with the post-filter off
            for a meaningful figure).
        delay: how many samples `test` lags `reference`.

    Returns:
        tuple: the segmental SNR in dB, the overall SNR in dB and the number
        of segments measured.
    """
    return _sivo.segmental_snr(_samples(reference), _samples(test), delay)
