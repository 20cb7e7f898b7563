# The corpus tool run as a careless or hostile user would run it, on the
# threads of its own process and on a Dask cluster of its own: it never
# writes over an input, never deletes a file it did not make, survives odd
# files, a second run, Ctrl-C and a wrong scheduler address, creates files
# as the umask says and listens on nothing but 127.0.0.1. Every run is bounded
# in time: a hang fails the test.
import csv
import os
import signal
import subprocess
import sys
import time

import psutil
import pytest

from conftest import run_cli, speech, write_wav

MANIFEST = "sivo-manifest.csv"
BOUND = 90  # seconds any one run may take


def launch(*args, umask=None):
    """Starts the tool; Ctrl-C reaches it as it would from a terminal."""
    def child():
        signal.signal(signal.SIGINT, signal.SIG_DFL)
        if umask is not None:
            os.umask(umask)
    args = [a if isinstance(a, (bytes, os.PathLike)) else str(a) for a in args]
    return subprocess.Popen([sys.executable, "-m", "sivo.corpus", *args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            preexec_fn=child)


def corpus(*args, umask=None):
    """Runs the tool to its end; returns (exit status, standard error)."""
    run = launch(*args, umask=umask)
    _, err = run.communicate(timeout=BOUND)
    return run.returncode, err


def manifest(dst):
    with open(dst / MANIFEST, newline="", encoding="utf-8", errors="surrogateescape") as f:
        return {row["path"]: row for row in csv.DictReader(f)}


def talk_files(folder, count, seconds, names=None):
    folder.mkdir(parents=True, exist_ok=True)
    pcm = speech()
    step = int(seconds * 8000)
    for i in range(count):
        write_wav(folder / (names[i] if names else f"t{i:02d}.wav"),
                  pcm[(i * 7919) % (len(pcm) - step):][:step])


def snapshot(root):
    """Every entry below `root`: a link's target or a file's bytes."""
    seen = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            seen[path] = os.readlink(path) if os.path.islink(path) else open(path, "rb").read()
    return seen


def wait_for(condition, what, process=None):
    deadline = time.monotonic() + BOUND
    while not condition():
        assert process is None or process.poll() is None, f"ended before {what}"
        assert time.monotonic() < deadline, f"no {what} within {BOUND} s"
        time.sleep(0.002)


def temporaries(dst):
    return sorted(p.name for p in dst.rglob("*") if ".sivo-part" in p.name)


# Each case builds SRC and DST below tmp so that an output would land on an
# input; the run must refuse before writing anything.
def same_folder(tmp):
    return "roundtrip", tmp / "a", tmp / "a"


def decode_in_place(tmp):
    (tmp / "a" / "x.siv").write_bytes(run_cli("encode", "-q", tmp / "a" / "x.wav", "-").stdout)
    return "decode", tmp / "a", tmp / "a"


def dst_inside_src(tmp):
    return "encode", tmp / "a", tmp / "a" / "coded"


def src_inside_dst(tmp):
    # a/s/x.wav would be the output of the input a/s/s/x.wav
    (tmp / "a" / "s" / "s").mkdir(parents=True)
    os.rename(tmp / "a" / "x.wav", tmp / "a" / "s" / "x.wav")
    os.link(tmp / "a" / "s" / "x.wav", tmp / "a" / "s" / "s" / "x.wav")
    return "roundtrip", tmp / "a" / "s", tmp / "a"


def dst_link_to_src(tmp):
    os.symlink("a", tmp / "b")
    return "roundtrip", tmp / "a", tmp / "b"


def output_linked_to_input(tmp):
    (tmp / "b").mkdir()
    os.symlink(tmp / "a" / "x.wav", tmp / "b" / "x.wav")
    return "roundtrip", tmp / "a", tmp / "b"


def input_linked_to_output(tmp):
    (tmp / "b").mkdir()
    os.rename(tmp / "a" / "x.wav", tmp / "b" / "x.wav")
    os.symlink(tmp / "b" / "x.wav", tmp / "a" / "x.wav")
    return "roundtrip", tmp / "a", tmp / "b"


def output_hard_link_of_input(tmp):
    (tmp / "b").mkdir()
    (tmp / "a" / "x.siv").write_bytes(run_cli("encode", "-q", tmp / "a" / "x.wav", "-").stdout)
    os.link(tmp / "a" / "x.siv", tmp / "b" / "x.wav")
    return "decode", tmp / "a", tmp / "b"


def manifest_is_input(tmp):
    (tmp / "b").mkdir()
    os.link(tmp / "a" / "x.wav", tmp / "b" / MANIFEST)
    return "encode", tmp / "a", tmp / "b"


@pytest.mark.parametrize("case, said", [
    (same_folder, "is the same folder as SRC"),
    (decode_in_place, "is the same folder as SRC"),
    (dst_inside_src, "is inside SRC"),
    (src_inside_dst, "is inside DST"),
    (dst_link_to_src, "is the same folder as SRC"),
    (output_linked_to_input, "under another name"),
    (input_linked_to_output, "under another name"),
    (output_hard_link_of_input, "under another name"),
    (manifest_is_input, "under another name"),
], ids=lambda c: getattr(c, "__name__", ""))
def test_refuses_any_output_on_an_input(tmp_path, case, said):
    talk_files(tmp_path / "a", 2, 1, ["x.wav", "y.wav"])
    command, src, dst = case(tmp_path)
    before = snapshot(tmp_path)
    status, err = corpus(command, src, dst, "--workers", 1)
    assert status == 2 and said in err and "Traceback" not in err, err
    assert snapshot(tmp_path) == before


def test_odd_files_fail_alone(tmp_path):
    src, dst = tmp_path / "src", tmp_path / "dst"
    odd_name = os.fsdecode(b"caf\xe9.wav")  # Latin-1, not UTF-8
    talk_files(src, 2, 2, ["plain.wav", odd_name])
    os.symlink("nowhere.wav", src / "dangling.wav")
    os.symlink("loop.wav", src / "loop.wav")
    os.symlink("/dev/zero", src / "device.wav")
    os.mkfifo(src / "fifo.wav")  # no writer: opening it would wait for ever
    expected = {
        "plain.wav": ("ok", ""),
        odd_name: ("ok", ""),
        "dangling.wav": ("failed", "symbolic link to a missing file (nowhere.wav)"),
        "loop.wav": ("failed", "symbolic link that loops"),
        "device.wav": ("failed", "is not a regular file"),
        "fifo.wav": ("failed", "is not a regular file"),
    }
    for attempt in ("first", "rerun"):
        status, err = corpus("encode", src, dst, "--workers", 2)
        assert status == 1 and "Traceback" not in err, err
        rows = manifest(dst)
        assert sorted(rows) == sorted(expected)
        for path, (state, error) in expected.items():
            assert rows[path]["status"] == state and rows[path]["error"].endswith(error) \
                and bool(rows[path]["error"]) == bool(error), rows[path]
        assert (dst / (odd_name[:-4] + ".siv")).stat().st_size == int(rows[odd_name]["bytes"])
    assert "4 transcoded, 2 unchanged and skipped, 4 failed" in err


def test_second_run_on_one_dst_is_refused(tmp_path):
    src, dst = tmp_path / "src", tmp_path / "dst"
    talk_files(src, 24, 40)
    dst.mkdir()
    first = launch("encode", src, dst, "--workers", 1)
    wait_for(lambda: temporaries(dst), "file in progress", first)
    status, err = corpus("encode", src, dst, "--workers", 1)
    assert first.poll() is None, "the first run ended too soon to test a second one"
    assert status == 2 and "another sivo-corpus run is writing to" in err, err
    _, first_err = first.communicate(timeout=BOUND)
    assert first.returncode == 0, first_err
    assert {r["status"] for r in manifest(dst).values()} == {"ok"}
    assert len(list(dst.glob("*.siv"))) == 24 and not temporaries(dst)


def test_killed_run_cleaned_by_next_run_only_of_its_own_files(tmp_path):
    src, dst = tmp_path / "src", tmp_path / "dst"
    talk_files(src, 8, 40)
    dst.mkdir()
    theirs = [dst / "notes.sivo-part.txt", dst / ".t00.siv.0123456789abcdef.sivo-part",
              dst / ".t01.siv.x7.sivo-part.Yz5Q1w"]
    for path in theirs:
        path.write_text("the user's, not the tool's")
    killed = launch("encode", src, dst, "--workers", 2)
    wait_for(lambda: len(temporaries(dst)) > len(theirs), "file in progress", killed)
    killed.kill()
    killed.communicate(timeout=BOUND)
    status, err = corpus("encode", src, dst, "--workers", 2)
    assert status == 0, err
    assert temporaries(dst) == sorted(p.name for p in theirs)
    assert all(p.read_text() == "the user's, not the tool's" for p in theirs)


@pytest.mark.parametrize("route, presses", [
    ([], 1),  # the files in progress finish
    ([], 2),  # they are dropped
    (["--dashboard", "127.0.0.1:0"], 1),  # dropped at once
])
def test_ctrl_c_commits_only_whole_files(tmp_path, route, presses):
    src, dst = tmp_path / "src", tmp_path / "dst"
    talk_files(src, 12, 40)
    run = launch("encode", src, dst, "--workers", 2, *route)
    wait_for(lambda: list(dst.glob("*.siv")), "output", run)
    for _ in range(presses):
        run.send_signal(signal.SIGINT)
        time.sleep(0.05)
    _, err = run.communicate(timeout=BOUND)
    assert run.returncode == 130 and "interrupted" in err and "Traceback" not in err, err
    rows = manifest(dst)
    outputs = sorted(p.name for p in dst.glob("*.siv"))
    assert outputs == sorted(r["output"] for r in rows.values())
    assert all(r["status"] == "ok" for r in rows.values()) and len(outputs) < 12
    for row in rows.values():
        cli = run_cli("encode", "-q", src / row["path"], "-").stdout
        assert (dst / row["output"]).read_bytes() == cli, row
    if not route and presses == 1:
        assert not temporaries(dst)
    status, err = corpus("encode", src, dst, "--workers", 2)  # does the rest
    assert status == 0 and f"{12 - len(outputs)} transcoded" in err, err
    assert not temporaries(dst) and len(list(dst.glob("*.siv"))) == 12


@pytest.mark.parametrize("mask, mode", [(0o022, 0o644), (0o027, 0o640), (0o002, 0o664)],
                         ids=["022", "027", "002"])
def test_files_get_the_umask_mode(tmp_path, mask, mode):
    src = tmp_path / "src"
    talk_files(src / "deep", 2, 1)
    for command in ("encode", "roundtrip"):
        dst = tmp_path / command
        status, err = corpus(command, src, dst, umask=mask)
        assert status == 0, err
        made = [p for p in dst.rglob("*") if p.is_file()]
        assert len(made) == 4  # two outputs, the manifest and the lock file
        assert {oct(p.stat().st_mode & 0o777) for p in made} == {oct(mode)}, made


def listening(process):
    """The listening TCP sockets of `process` and its children."""
    found = set()
    try:
        for p in [process] + process.children(recursive=True):
            found |= {(c.laddr.ip, c.laddr.port) for c in p.connections("inet")
                      if c.status == psutil.CONN_LISTEN}
    except psutil.NoSuchProcess:
        pass
    return found


@pytest.mark.parametrize("route, allowed", [
    ([], set()),  # threads of its own process: no socket at all
    (["--dashboard", "127.0.0.1:0"], {"127.0.0.1"}),
])
def test_local_run_listens_on_loopback_only(tmp_path, route, allowed):
    src, dst = tmp_path / "src", tmp_path / "dst"
    talk_files(src, 8, 30)
    run = launch("encode", src, dst, "--workers", 2, *route)
    process, seen = psutil.Process(run.pid), set()
    while run.poll() is None:
        seen |= listening(process)
        time.sleep(0.01)
    _, err = run.communicate(timeout=BOUND)
    assert run.returncode == 0, err
    assert len(list(dst.glob("*.siv"))) == 8
    assert {ip for ip, _ in seen} <= allowed, seen
    if allowed:
        assert seen, "the dashboard never listened"


@pytest.mark.parametrize("address", ["nonsense://host:1", "tcp://", "127.0.0.1:notaport"])
def test_bad_scheduler_says_so(tmp_path, address):
    src, dst = tmp_path / "src", tmp_path / "dst"
    talk_files(src, 1, 1)
    status, err = corpus("encode", src, dst, "--scheduler", address)
    assert status == 2 and "Traceback" not in err, err
    assert err.startswith(f"sivo-corpus: cannot reach the Dask scheduler at {address}: "), err
    assert not (dst / MANIFEST).exists()
