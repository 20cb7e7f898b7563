# The package against the sivo program (an independent user of the C API):
# arrays, streams, the frame walk and the file helpers.
import os
import random
import signal
import subprocess
import sys

import json
import pathlib

import numpy as np
import pytest

import sivo
from conftest import run_cli, speech, write_wav


@pytest.fixture(scope="module")
def program_frames(tmp_path_factory, talk):
    """Frames and decoded samples that the sivo program makes of 20 s of
    speech at each rate: {rate: (frames, {postfilter: samples})}."""
    folder = tmp_path_factory.mktemp("program")
    pcm = talk[: 240 * 666]
    write_wav(folder / "in.wav", pcm)
    made = {}
    for rate in range(4):
        bits = folder / f"r{rate}.siv"
        run_cli("encode", "-q", "-r", rate, folder / "in.wav", bits)
        decoded = {}
        for postfilter in (True, False):
            out = folder / f"r{rate}{postfilter}.wav"
            run_cli("decode", "-q", *([] if postfilter else ["--no-postfilter"]), bits, out)
            decoded[postfilter] = np.frombuffer(out.read_bytes()[44:], dtype="<i2")
        made[rate] = (bits.read_bytes(), decoded)
    return pcm, made


@pytest.mark.parametrize("rate", range(4))
def test_arrays_equal_the_program(program_frames, rate):
    pcm, made = program_frames
    frames, decoded = made[rate]
    assert sivo.encode(pcm, rate) == frames
    for postfilter in (True, False):
        assert np.array_equal(sivo.decode(frames, postfilter=postfilter), decoded[postfilter])


def test_stream_of_mixed_rates_and_reserved_frames(program_frames, tmp_path):
    # A stream switching rate every few frames, with reserved frames between
    # them, decoded by the program and by the package.
    _, made = program_frames
    pieces, frame_lists = [], [list(sivo.frames(made[r][0])) for r in range(4)]
    for i in range(60):
        pieces.append(frame_lists[(i // 7) % 4][i].data)
        if i % 11 == 5:
            pieces.append(bytes([6, 1, 2, 3, 4]) if i % 2 else bytes([7]))
    stream = b"".join(pieces)
    (tmp_path / "mixed.siv").write_bytes(stream)
    run_cli("decode", "-q", tmp_path / "mixed.siv", tmp_path / "mixed.wav")
    expected = np.frombuffer((tmp_path / "mixed.wav").read_bytes()[44:], dtype="<i2")
    assert np.array_equal(sivo.decode(stream), expected)
    walked = list(sivo.frames(stream))
    assert b"".join(f.data for f in walked) == stream
    assert [f.rate for f in walked if f.type > 3] == [None] * sum(f.type > 3 for f in walked)

    # Any chunking gives the same samples; the rate may change between frames.
    rng = random.Random(7)
    for _ in range(5):
        with sivo.Decoder() as dec:
            out, pos = [], 0
            while pos < len(stream):
                step = rng.randint(0, 120)
                out.append(dec.decode(stream[pos:pos + step]))
                pos += step
        assert np.array_equal(np.concatenate(out), expected)


def test_streaming_encoder_equals_whole_buffer(talk):
    pcm = talk[:8000 * 6 + 77]
    rng = random.Random(3)
    for rate in range(4):
        with sivo.Encoder(rate) as enc:
            out, pos = [], 0
            while pos < len(pcm):
                step = rng.choice([0, 1, 239, 240, 241, rng.randint(1, 2000)])
                out.append(enc.encode(pcm[pos:pos + step]))
                pos += step
            out.append(enc.flush())
        assert b"".join(out) == sivo.encode(pcm, rate)

    # A rate set between calls applies from the next whole frame on.
    with sivo.Encoder() as enc:
        first = enc.encode(pcm[:300])
        enc.rate = 3
        rest = enc.encode(pcm[300:720]) + enc.flush()
    assert [f.type for f in sivo.frames(first + rest)] == [0, 3, 3]


def test_concealment_and_bad_frames():
    pcm = speech(2)
    data = sivo.encode(pcm, 1)
    with sivo.Decoder() as dec:
        good = dec.decode(data[:31 * 10])
        lost = dec.decode_lost()
    assert len(lost) == 240 and np.any(lost) and len(good) == 2400

    cases = [  # (bytes, offset of the fault, status, text)
        (data[:31 * 3 + 10], 93, None, "truncated frame at byte offset 93: type 1 needs 31"),
        (data[:62] + b"\x04" + data[62:], 62, 1, "invalid frame type 4 at byte offset 62"),
        (b"\x0d", 0, 1, "invalid frame type 5 at byte offset 0"),
        (bytes([6, 0, 0]), 0, None, "truncated frame at byte offset 0: type 6 needs 5"),
    ]
    for stream, offset, status, text in cases:
        for attempt in (sivo.decode, lambda s: list(sivo.frames(s))):
            with pytest.raises(sivo.FrameError) as caught:
                attempt(stream)
            assert caught.value.offset == offset and caught.value.status == status
            assert text in str(caught.value) and isinstance(caught.value, ValueError)

    for bad, error in [(np.zeros(10, np.float32), TypeError), (np.zeros((2, 240), np.int16),
                       ValueError), (np.array([40000]), ValueError)]:
        with pytest.raises(error):
            sivo.encode(bad)
    with pytest.raises(TypeError):
        sivo.decode(memoryview(data)[::2])
    for call in (lambda: sivo.encode(pcm, 4), lambda: sivo.Encoder(-1)):
        with pytest.raises(sivo.SivoError) as caught:
            call()
        assert caught.value.status == 3
    enc = sivo.Encoder()
    enc.close()
    with pytest.raises(sivo.SivoError):
        enc.encode(pcm)


@pytest.mark.parametrize("rate,channels,frames_kept", [
    (8000, 1, 100), (8000, 2, 100), (11025, 1, 100), (16000, 2, 100), (44100, 1, 100),
    (44100, 2, 100)])
def test_file_helpers_equal_the_program(tmp_path, rate, channels, frames_kept):
    write_wav(tmp_path / "in.wav", speech(3.05), rate, channels)
    run_cli("encode", "-q", "-r", 2, tmp_path / "in.wav", tmp_path / "cli.siv")
    sivo.encode_file(tmp_path / "in.wav", tmp_path / "py.siv", 2)
    assert (tmp_path / "py.siv").read_bytes() == (tmp_path / "cli.siv").read_bytes()
    assert len((tmp_path / "py.siv").read_bytes()) >= 19 * frames_kept
    run_cli("decode", "-q", tmp_path / "cli.siv", tmp_path / "cli.wav")
    sivo.decode_file(tmp_path / "cli.siv", tmp_path / "py.wav")
    assert (tmp_path / "py.wav").read_bytes() == (tmp_path / "cli.wav").read_bytes()


@pytest.mark.parametrize("name,rate,postfilter", [
    ("out.flac", 16000, True), ("out.aiff", 44100, False), ("out.raw", 8000, True),
    ("out.wav", 11025, False)])
def test_other_containers_equal_the_program(tmp_path, name, rate, postfilter):
    (tmp_path / "in.siv").write_bytes(sivo.encode(speech(2), 1))
    flags = ["--rate", rate] + ([] if postfilter else ["--no-postfilter"])
    run_cli("decode", "-q", *flags, tmp_path / "in.siv", tmp_path / f"cli-{name}")
    summary = sivo.decode_file(tmp_path / "in.siv", tmp_path / name, postfilter, rate)
    assert (tmp_path / name).read_bytes() == (tmp_path / f"cli-{name}").read_bytes()
    assert summary["frames"] == 67
    if not name.endswith(".raw"):
        run_cli("encode", "-q", "-r", 3, tmp_path / name, tmp_path / "cli.siv")
        sivo.encode_file(tmp_path / name, tmp_path / "py.siv", 3)
        assert (tmp_path / "py.siv").read_bytes() == (tmp_path / "cli.siv").read_bytes()


def test_failed_file_calls_leave_the_output_alone(tmp_path):
    (tmp_path / "old").write_bytes(b"keep me")
    (tmp_path / "text.wav").write_bytes(b"not audio at all")
    (tmp_path / "cut.siv").write_bytes(sivo.encode(speech(1))[:-3])
    failures = [
        lambda: sivo.encode_file(tmp_path / "missing.wav", tmp_path / "old"),
        lambda: sivo.encode_file(tmp_path / "text.wav", tmp_path / "old"),
        lambda: sivo.encode_file(tmp_path / "text.wav", tmp_path / "text.wav"),
        lambda: sivo.decode_file(tmp_path / "missing.siv", tmp_path / "old"),
    ]
    for call in failures:
        with pytest.raises((sivo.SivoError, OSError)):
            call()
    assert (tmp_path / "old").read_bytes() == b"keep me"
    assert (tmp_path / "text.wav").read_bytes() == b"not audio at all"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cut.siv", "old", "text.wav"]

    # A cut stream fails as the command fails, keeping the same frames.
    assert run_cli("decode", "-q", tmp_path / "cut.siv", tmp_path / "cli.wav",
                   check=False).returncode == 1
    with pytest.raises(sivo.SivoError, match="truncated frame at byte offset"):
        sivo.decode_file(tmp_path / "cut.siv", tmp_path / "py.wav")
    assert (tmp_path / "py.wav").read_bytes() == (tmp_path / "cli.wav").read_bytes()


@pytest.mark.skipif(bool(os.environ.get("SIVO_SANITIZED")),
                    reason="installing is the plain build's test")
def test_installed_package(tmp_path):
    build = os.environ["SIVO_BUILD_DIR"]
    subprocess.run(["cmake", "--install", build, "--prefix", tmp_path], check=True,
                   capture_output=True, timeout=120)
    found = list(tmp_path.glob("lib/python3*/*-packages/sivo/__init__.py"))
    assert len(found) == 1
    env = dict(os.environ, PYTHONPATH=str(found[0].parent.parent))
    code = "import sivo, numpy; print(len(sivo.decode(sivo.encode(numpy.zeros(480, 'int16')))))"
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                         cwd=tmp_path, timeout=60)
    assert out.stdout.strip() == "480", out.stderr
    usage = subprocess.run([tmp_path / "bin" / "sivo-corpus", "--help"], env=env,
                           capture_output=True, text=True, timeout=60)
    assert usage.returncode == 0 and "--scheduler" in usage.stdout


@pytest.fixture(scope="module")
def long_inputs(tmp_path_factory, talk):
    """100 s of speech as 44100 Hz stereo WAV, and ten minutes of frames."""
    folder = tmp_path_factory.mktemp("long")
    pcm = np.tile(talk, 100 * 8000 // len(talk) + 1)[:100 * 8000]
    write_wav(folder / "talk.wav", pcm, 44100, 2)
    (folder / "talk.siv").write_bytes(sivo.encode(pcm, 0) * 6)
    return folder


class Stop(Exception):
    pass


def raise_stop(signum, frame):
    raise Stop()


@pytest.mark.parametrize("handler,error", [(signal.default_int_handler, KeyboardInterrupt),
                                           (raise_stop, Stop)])
def test_interrupted_file_calls_commit_nothing(long_inputs, tmp_path, handler, error):
    # A signal handler that raises during a call ends the call with its
    # exception, and nothing is renamed into place: an earlier file of the
    # output's name stays as it was, and no temporary remains.
    calls = [
        ("out.siv", lambda out: sivo.encode_file(long_inputs / "talk.wav", out, 1)),
        ("out.wav", lambda out: sivo.decode_file(long_inputs / "talk.siv", out)),
        ("out.flac", lambda out: sivo.decode_file(long_inputs / "talk.siv", out, rate=16000)),
        (None, lambda out: sivo.read_audio(long_inputs / "talk.wav")),
    ]
    previous = signal.signal(signal.SIGALRM, handler)
    try:
        for name, call in calls:
            out = tmp_path / (name or "unused")
            out.write_bytes(b"earlier")
            signal.setitimer(signal.ITIMER_REAL, 0.02)
            with pytest.raises(error):
                call(out)
            signal.setitimer(signal.ITIMER_REAL, 0)
            assert out.read_bytes() == b"earlier", name
            assert [p.name for p in tmp_path.iterdir()] == [out.name]
            out.unlink()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


def test_paths_with_a_nul_are_refused(tmp_path):
    # The name would be cut at the NUL by the system: the call is refused
    # before anything is opened or written.
    write_wav(tmp_path / "in.wav", speech(1))
    (tmp_path / "in.siv").write_bytes(sivo.encode(speech(1)))
    calls = [
        lambda: sivo.encode_file(tmp_path / "in.wav\0.flac", tmp_path / "a.siv"),
        lambda: sivo.encode_file(tmp_path / "in.wav", str(tmp_path / "a.siv") + "\0x"),
        lambda: sivo.decode_file(str(tmp_path / "in.siv\0"), tmp_path / "b.wav"),
        lambda: sivo.decode_file(tmp_path / "in.siv", bytes(tmp_path / "b.wav") + b"\0x"),
        lambda: sivo.read_audio(str(tmp_path / "in.wav") + "\0"),
    ]
    for call in calls:
        with pytest.raises(ValueError, match="null byte"):
            call()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.siv", "in.wav"]


def test_outputs_that_are_the_input_are_refused(tmp_path):
    # By any name (the same, a symbolic or hard link, another spelling of
    # the folder, standard input): refused before anything is written.
    write_wav(tmp_path / "a.wav", speech(2))
    (tmp_path / "x.siv").write_bytes(sivo.encode(speech(2)))
    os.symlink(tmp_path / "a.wav", tmp_path / "link.wav")
    os.link(tmp_path / "a.wav", tmp_path / "hard.wav")
    (tmp_path / "sub").mkdir()
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir() if p.is_file()}
    calls = [
        lambda: sivo.encode_file(tmp_path / "a.wav", tmp_path / "a.wav"),
        lambda: sivo.encode_file(tmp_path / "a.wav", tmp_path / "link.wav"),
        lambda: sivo.encode_file(tmp_path / "hard.wav", str(tmp_path / "sub/../a.wav")),
        lambda: sivo.decode_file(tmp_path / "x.siv", tmp_path / "x.siv"),
        lambda: sivo.decode_file(tmp_path / "x.siv", str(tmp_path / "sub/../x.siv"), rate=16000),
    ]
    for call in calls:
        with pytest.raises(sivo.SivoError, match="name the same file"):
            call()
    code = "import sivo, sys; sivo.encode_file('-', sys.argv[1])"
    with open(tmp_path / "hard.wav", "rb") as stdin:
        child = subprocess.run([sys.executable, "-c", code, tmp_path / "link.wav"], stdin=stdin,
                               capture_output=True, text=True, timeout=60)
    assert child.returncode == 1 and "standard input and" in child.stderr, child.stderr
    assert {p.name: p.read_bytes() for p in tmp_path.iterdir() if p.is_file()} == before
    assert [sivo.same_file(tmp_path / "a.wav", tmp_path / name)
            for name in ("link.wav", "hard.wav", "x.siv", "new.wav", "sub")] == [
                True, True, False, False, False]


def test_long_decodes_convert_to_any_rate(long_inputs, tmp_path):
    # Ten minutes at 48000 Hz: every sample, not a failure after the first
    # minute.
    summary = sivo.decode_file(long_inputs / "talk.siv", tmp_path / "out.raw", rate=48000)
    assert summary["frames"] == 6 * 3334 and summary["samples"] == 6 * 3334 * 240 * 6
    assert (tmp_path / "out.raw").stat().st_size == 2 * summary["samples"]


# The streaming decoder's cases that the JavaScript package's tests run too.
DECODER_CASES = json.loads((pathlib.Path(__file__).parent.parent / "support" /
                            "streaming_decoder_cases.json").read_text())


def case_stream(case):
    frames = DECODER_CASES["frames"]
    return b"".join(bytes.fromhex(frames[n]["hex"]).ljust(frames[n]["length"], b"\0")
                    for n in case["stream"])


@pytest.mark.parametrize("case", DECODER_CASES["cases"], ids=lambda c: c["name"])
def test_streaming_decoder_cases(case):
    stream = case_stream(case)
    dec = sivo.Decoder()
    for number, step in enumerate(case["steps"]):
        where = f"step {number}: {step}"
        error = None
        try:
            if "decode" in step:
                a, b = step["decode"]
                samples = dec.decode(stream[a:b])
            elif "finish" in step:
                dec.finish()
            else:
                dec.reset()
        except sivo.FrameError as e:
            error = {"offset": e.offset, "text": str(e)}
            samples = getattr(e, "samples", None)
        if "error" in step:
            assert error == step["error"], where
        elif error is not None:
            raise AssertionError(f"{where}: unexpected {error}")
        if "samples" in step:
            assert samples is not None and len(samples) == step["samples"], where
        for name, got in (("pending", dec.pending), ("consumed", dec.consumed),
                          ("damaged", dec.damaged_frames)):
            if name in step:
                assert got == step[name], f"{where}: {name} {got}"
    dec.close()


def test_object_options_take_effect(program_frames):
    # Each object's option against the whole-buffer call with that option,
    # and against the other setting, which must differ.
    _, made = program_frames
    frames, decoded = made[1]
    cases = [  # (name, make the samples, expected post-filter)
        ("Decoder(postfilter=False)", lambda: streamed(sivo.Decoder(postfilter=False), frames),
         False),
        ("Decoder(postfilter=True)", lambda: streamed(sivo.Decoder(postfilter=True), frames), True),
        ("Decoder() default", lambda: streamed(sivo.Decoder(), frames), True),
        ("postfilter set to False", lambda: streamed(switched(sivo.Decoder(), False), frames),
         False),
        ("decode(postfilter=False)", lambda: sivo.decode(frames, postfilter=False), False),
    ]
    assert not np.array_equal(decoded[True], decoded[False])
    for name, make, postfilter in cases:
        assert np.array_equal(make(), decoded[postfilter]), name


def streamed(dec, frames):
    with dec:
        return np.concatenate([dec.decode(frames[i:i + 100]) for i in range(0, len(frames), 100)])


def switched(dec, postfilter):
    dec.postfilter = postfilter
    return dec
