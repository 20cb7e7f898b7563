# Encoder and Decoder objects shared by threads: every case runs in a child
# interpreter under a time limit, so that a deadlock fails the case (naming
# it) instead of stalling the suite, and a crash fails it with its signal.
import os
import subprocess
import sys
import textwrap

import pytest

# Each case: a script run with `sivo`, `np`, `threading` and `run(*threads)`
# (start the functions as threads, join them) in scope; it prints "ok" last.
CASES = {
    # A rate set from another thread never changes the frame size of a call
    # in progress: each call's frames all share one rate, sized as written.
    "rate flips during encode": """
        enc = sivo.Encoder(2)
        done = threading.Event()
        def flip():
            while not done.is_set():
                enc.rate = 3
                enc.rate = 2
        def encode():
            for _ in range(3):
                out = enc.encode(np.zeros(480_000, np.int16))
                kinds = {f.type for f in sivo.frames(out)}
                assert len(kinds) == 1, kinds
                assert len(out) == 2_000 * sivo.RATE_BYTES[kinds.pop()]
            done.set()
        run(flip, encode)
    """,
    # Two threads calling one encoder take turns: every sample is encoded
    # once, whole frames only, and neither thread waits for ever.
    "two threads encode on one encoder": """
        enc = sivo.Encoder(1)
        outs = []
        def encode():
            for _ in range(20):
                outs.append(enc.encode(np.ones(240 * 50 + 7, np.int16)))
        run(encode, encode)
        data = b"".join(outs) + enc.flush()
        assert len(data) == 31 * -(-(40 * (240 * 50 + 7)) // 240)
    """,
    # Properties read and written from other threads during long calls.
    "properties during calls": """
        enc, dec = sivo.Encoder(0), sivo.Decoder()
        stream = sivo.encode(np.ones(240 * 1000, np.int16), 3)
        done = threading.Event()
        def poke():
            while not done.is_set():
                enc.pending, enc.rate, enc.closed
                dec.postfilter = not dec.postfilter
                dec.pending, dec.consumed, dec.damaged_frames, dec.closed
        def work():
            for _ in range(3):
                enc.encode(np.ones(240 * 1000 + 3, np.int16))
                assert len(dec.decode(stream)) == 240 * 1000
            done.set()
        run(poke, work, work)
        assert dec.consumed == 6 * len(stream)
    """,
    # close() from another thread waits for the calls in progress, which
    # complete; calls after it are refused.
    "close during encode and decode": """
        enc, dec = sivo.Encoder(3), sivo.Decoder()
        stream = sivo.encode(np.ones(240 * 100, np.int16), 0) * 200
        calling, results = threading.Barrier(3), []
        def encode():
            calling.wait()
            results.append(len(enc.encode(np.ones(240 * 4000, np.int16))))
        def decode():
            calling.wait()
            results.append(len(dec.decode(stream)))
        def close():
            calling.wait()
            time.sleep(0.1)
            enc.close()
            dec.close()
        run(encode, decode, close)
        assert sorted(results) == [45 * 4000, 240 * 20000], results
        assert enc.closed and dec.closed
        for call in (lambda: enc.encode(np.ones(5, np.int16)), lambda: dec.decode(b"")):
            try:
                call()
                raise AssertionError("a closed object was used")
            except sivo.SivoError:
                pass
    """,
    # Two threads decoding whole frames on one decoder in turns, with
    # concealment between.
    "two threads decode on one decoder": """
        stream = sivo.encode(np.ones(240 * 100, np.int16), 2)
        dec = sivo.Decoder()
        got = []
        def decode():
            for _ in range(50):
                got.append(len(dec.decode(stream[:19 * 10])))
                got.append(len(dec.decode(memoryview(stream)[19 * 10:19 * 20])))
                got.append(len(dec.decode_lost()))
        run(decode, decode)
        assert sum(got) == 100 * 240 * 21 and dec.pending == 0
    """,
    # Many failed constructions leave nothing behind (the encoder's state
    # is about 17 KB: 20,000 leaked ones would hold some 340 MB). Counted as
    # the C heap's bytes in use, which neither huge pages nor a heap that
    # keeps its freed memory inflate, as they do the resident size.
    "failed constructors leak nothing": """
        import ctypes
        class Info(ctypes.Structure):
            _fields_ = [(n, ctypes.c_size_t) for n in (
                "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                "fsmblks", "uordblks", "fordblks", "keepcost")]
        mallinfo2 = ctypes.CDLL(None).mallinfo2
        mallinfo2.restype = Info
        def in_use():
            info = mallinfo2()
            return info.uordblks + info.hblkhd
        for _ in range(200):
            sivo.Encoder(0).close()
        before = in_use()
        for _ in range(20_000):
            try:
                sivo.Encoder(rate=9)
            except sivo.SivoError:
                pass
        assert in_use() - before < 30 << 20, (in_use() - before) >> 20
    """,
}

PRELUDE = """
import os, threading, time
import numpy as np
import sivo
def run(*functions):
    errors = []
    def guarded(f):
        try:
            f()
        except BaseException as e:
            errors.append(e)
    threads = [threading.Thread(target=guarded, args=(f,)) for f in functions]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]
"""


@pytest.mark.parametrize("name", sorted(CASES))
def test_objects_shared_by_threads(name):
    if "leak" in name and os.environ.get("SIVO_SANITIZED"):
        pytest.skip("a sanitizer's allocator keeps freed memory for a while: the plain build's case")
    script = PRELUDE + textwrap.dedent(CASES[name]) + "\nprint('ok')\n"
    try:
        result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                                timeout=120, env=os.environ)
    except subprocess.TimeoutExpired:
        pytest.fail(f"{name}: no end within 120 s (a deadlock)")
    assert result.returncode == 0 and result.stdout.strip() == "ok", (
        f"{name}: exit {result.returncode}\n{result.stderr[-3000:]}")
