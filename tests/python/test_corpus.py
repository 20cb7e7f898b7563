# The corpus tool on a real Dask cluster on 127.0.0.1: a worker killed
# mid-run loses nothing, every output equals the sivo program's, and a rerun
# redoes only what changed.
import csv
import os
import signal
import socket
import subprocess
import sys
import time

import numpy as np
import psutil
import pytest

import sivo
from conftest import run_cli, speech, write_wav

MANIFEST = "sivo-manifest.csv"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start(args, log):
    return subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """A scheduler and workers A and B (one thread each, no nanny, so a
    killed worker stays dead); yields (address, {name: process})."""
    folder = tmp_path_factory.mktemp("cluster")
    port = free_port()
    address = f"tcp://127.0.0.1:{port}"
    log = open(folder / "cluster.log", "wb")
    # The status pages are served even without a dashboard, on every
    # interface unless told otherwise.
    procs = [start(["dask", "scheduler", "--host", "127.0.0.1", "--port", str(port),
                    "--no-dashboard", "--dashboard-address", "127.0.0.1:0"], log)]
    workers = {}
    try:
        for name in ("A", "B"):
            workers[name] = start(["dask", "worker", address, "--name", name, "--nthreads", "1",
                                   "--no-nanny", "--host", "127.0.0.1", "--no-dashboard",
                                   "--dashboard-address", "127.0.0.1:0",
                                   "--local-directory", str(folder / name)], log)
            procs.append(workers[name])
        from distributed import Client
        with Client(address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=30)
        listening = {c.laddr.ip for p in procs for c in psutil.Process(p.pid).connections("inet")
                     if c.status == psutil.CONN_LISTEN}
        assert listening == {"127.0.0.1"}, listening
        yield address, workers
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGTERM)
        for p in procs:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        log.close()


def make_corpus(root, count, seconds):
    """`count` files of mixed formats (WAV at four rates, mono and stereo,
    FLAC, AIFF) in two folders, plus one file that is not audio."""
    talk = speech()
    layouts = [(8000, 1), (8000, 2), (11025, 1), (16000, 2), (44100, 1), (44100, 2)]
    step = int(seconds * 8000)
    for i in range(count):
        pcm = talk[(i * step) % (len(talk) - step):][:step]
        folder = root / ("deep" if i % 3 == 0 else "")
        folder.mkdir(parents=True, exist_ok=True)
        if i % 8 == 7:
            siv = root / f".{i}.siv"
            siv.write_bytes(sivo.encode(pcm, 3))
            sivo.decode_file(siv, folder / f"f{i:02d}.{'flac' if i % 16 == 7 else 'aiff'}",
                             rate=16000)
            siv.unlink()
        else:
            rate, channels = layouts[i % len(layouts)]
            write_wav(folder / f"f{i:02d}_{rate}_{channels}.wav", pcm, rate, channels)
    (root / "deep" / "broken.wav").write_bytes(b"RIFF????WAVEnot really")


def run_corpus(*args):
    return subprocess.Popen([sys.executable, "-m", "sivo.corpus", *map(str, args)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def manifest(dst):
    with open(dst / MANIFEST, newline="") as f:
        return {row["path"]: row for row in csv.DictReader(f)}


def inputs(src):
    return sorted(str(p.relative_to(src)) for p in src.rglob("*") if p.is_file())


def test_lost_worker_loses_nothing(cluster, tmp_path):
    address, workers = cluster
    src, dst, ref = tmp_path / "src", tmp_path / "dst", tmp_path / "ref"
    make_corpus(src, 36, 8)
    from distributed import Client
    with Client(address, timeout="30s") as watcher:
        addresses = {info["name"]: a for a, info in
                     watcher.scheduler_info()["workers"].items()}
        run = run_corpus("encode", src, dst, "--rate", 1, "--scheduler", address)
        deadline = time.monotonic() + 60
        while not any(dst.rglob("*.siv")) and time.monotonic() < deadline:
            time.sleep(0.005)
        held = len(watcher.processing()[addresses["A"]])
        workers["A"].kill()
        workers["A"].wait()
    at_kill = len(list(dst.rglob("*.siv")))
    assert held > 0 and at_kill < 36  # killed mid-run, holding files to redo
    out, err = run.communicate(timeout=90)
    assert run.returncode == 1, err  # the broken file fails, nothing else

    rows = manifest(dst)
    assert sorted(rows) == inputs(src)
    for rel, row in rows.items():
        siv = dst / (os.path.splitext(rel)[0] + ".siv")
        (ref / rel).parent.mkdir(parents=True, exist_ok=True)
        cli = run_cli("encode", "-q", "-r", 1, src / rel, ref / rel, check=False)
        if cli.returncode == 0:
            assert row["status"] == "ok", row
            assert siv.read_bytes() == (ref / rel).read_bytes(), rel
            assert int(row["frames"]) * 31 == int(row["bytes"]) == siv.stat().st_size
        else:
            assert row["status"] == "failed" and row["error"] and not siv.exists(), row
    assert not [p for p in dst.rglob("*") if ".sivo-part" in p.name]  # A's too
    by_worker = {}
    for row in rows.values():
        by_worker[row["worker"]] = by_worker.get(row["worker"], 0) + 1
    print(f"\nworker A (pid {workers['A'].pid}) killed holding {held} files, {at_kill} of 36 "
          "outputs written; "
          f"files by worker: {by_worker}; {err}")


def test_rerun_redoes_only_what_changed(cluster, tmp_path):
    address, _ = cluster
    src, dst = tmp_path / "src", tmp_path / "dst"
    make_corpus(src, 8, 2)
    first = run_corpus("roundtrip", src, dst, "--scheduler", address)
    first.communicate(timeout=60)
    before = {p: p.stat().st_mtime_ns for p in dst.rglob("*.wav")}
    rows = manifest(dst)
    # The SNR is the one `sivo compare` reports for the same two files.
    for rel in ("f00_8000_1.wav", "f01_8000_2.wav", "f07.flac"):
        rel = next(r for r in rows if r.endswith(rel))
        out = dst / (os.path.splitext(rel)[0] + ".wav")
        said = run_cli("compare", src / rel, out).stdout.decode()
        assert f"segmental SNR: {rows[rel]['segsnr']} dB" in said, rows[rel]

    changed = src / "f01_8000_2.wav"
    write_wav(changed, speech(3), 8000, 2)
    gone = dst / "f02_11025_1.wav"
    gone.unlink()
    foreign = dst / "deep" / ".f03.wav.x7.sivo-part.Yz5Q1w"
    foreign.write_bytes(b"named like a temporary, but not the tool's")
    again = run_corpus("roundtrip", src, dst, "--scheduler", address)
    _, err = again.communicate(timeout=60)
    # The two changed files and the broken one, which is tried again.
    assert "3 transcoded, 6 unchanged and skipped, 1 failed" in err
    after = {p: p.stat().st_mtime_ns for p in dst.rglob("*.wav")}
    redone = sorted(p.name for p in after if before.get(p) != after[p])
    assert redone == ["f01_8000_2.wav", "f02_11025_1.wav"]
    assert foreign.exists() and sorted(manifest(dst)) == inputs(src)
    assert manifest(dst)["f01_8000_2.wav"]["duration"] == "3.00"


def test_decode_mode_records_cut_streams(cluster, tmp_path):
    address, _ = cluster
    src, dst = tmp_path / "src", tmp_path / "dst"
    src.mkdir()
    data = sivo.encode(speech(2), 2)
    (src / "whole.siv").write_bytes(data)
    (src / "cut.siv").write_bytes(data[:-5])
    (src / "notes.txt").write_text("not taken: decode reads *.siv")
    run = run_corpus("decode", src, dst, "--scheduler", address)
    run.communicate(timeout=60)
    rows = manifest(dst)
    assert sorted(rows) == ["cut.siv", "whole.siv"]
    run_cli("decode", "-q", src / "whole.siv", tmp_path / "cli.wav")
    assert (dst / "whole.wav").read_bytes() == (tmp_path / "cli.wav").read_bytes()
    assert rows["whole.siv"]["frames"] == str(len(data) // 19)
    assert rows["cut.siv"]["status"] == "failed" and not (dst / "cut.wav").exists()
    assert f"truncated frame at byte offset {len(data) - 19}" in rows["cut.siv"]["error"]


def test_rerun_redoes_files_whose_options_changed(cluster, tmp_path):
    # Reruns of one DST in turn, each against what the run before left: an
    # output made with other options is made again, and equals the program's.
    address, _ = cluster
    src, dst, ref = tmp_path / "src", tmp_path / "dst", tmp_path / "ref"
    make_corpus(src, 3, 1)
    files = [r for r in inputs(src) if not r.endswith("broken.wav")]
    runs = [  # (mode, rate, files made again; the broken one is tried every time)
        ("encode", 1, 3),
        ("encode", 1, 0),
        ("encode", 3, 3),
        ("encode", 3, 0),
        ("roundtrip", 3, 3),  # another mode writes other outputs
        ("encode", 3, 3),
    ]
    for mode, rate, redone in runs:
        run = run_corpus(mode, src, dst, "--rate", rate, "--scheduler", address)
        _, err = run.communicate(timeout=60)
        assert f"{redone + 1} transcoded, {3 - redone} unchanged and skipped, 1 failed" in err, \
            (mode, rate, err)
        rows = manifest(dst)
        for rel in files:
            assert rows[rel]["mode"] == mode and rows[rel]["rate"] == str(rate), rows[rel]
    for rel in files:
        (ref / rel).parent.mkdir(parents=True, exist_ok=True)
        run_cli("encode", "-q", "-r", 3, src / rel, ref / rel)
        siv = dst / (os.path.splitext(rel)[0] + ".siv")
        assert siv.read_bytes() == (ref / rel).read_bytes(), rel
