"""Transcodes a tree of audio files with threads in this process or on a
Dask cluster.

Usage::

    python3 -m sivo.corpus encode|decode|roundtrip SRC DST [--rate R]
        [--workers N] [--scheduler ADDRESS | --dashboard [HOST:PORT]]
        [--glob PATTERN]

Mirrors SRC under DST (encode: NAME.siv; decode and roundtrip: NAME.wav) and
writes DST/sivo-manifest.csv with one row per file. Every output is written
under a temporary name and renamed when complete; a failed file (an odd one
too: a broken link, a FIFO) is recorded with its error and does not stop the
others; a rerun skips files whose output is complete and whose input kept
its size and modification time.

Without --scheduler the files run on N threads of this process (the codec
releases the interpreter lock); --dashboard runs the same threads as a Dask
cluster inside this process, with its dashboard at HOST:PORT.

A run refuses to start when an output could land on an input (DST and SRC
the same folder or one inside the other, an output that is an input under
another name) or when another run holds DST. It deletes only files that it
or an earlier, stopped run created: their names carry the run's id, and the
ids of runs that may have left some are kept in DST/.sivo-corpus.lock.
"""
import argparse
import csv
import errno
import fcntl
import fnmatch
import os
import re
import signal
import socket
import stat
import sys
import threading
import time
import uuid

import sivo

__all__ = ["main", "parse_args", "run", "Refused", "check_folders", "check_outputs", "plan",
           "transcode_one", "read_manifest", "write_manifest", "unchanged",
           "remove_temporaries"]

MANIFEST = "sivo-manifest.csv"
LOCK = ".sivo-corpus.lock"
PART = ".sivo-part"  # the name of a temporary is .NAME.RUNID.sivo-part[...]
RUN_ID = re.compile(r"[0-9a-f]{16}")
AUDIO_SUFFIXES = {".wav", ".wave", ".flac", ".ogg", ".oga", ".aif", ".aiff", ".aifc", ".caf",
                  ".au", ".snd", ".w64"}
FIELDS = ["path", "duration", "frames", "bytes", "bitrate", "segsnr", "status", "error",
          "output", "mode", "rate", "src_size", "src_mtime_ns", "out_size", "worker"]
JOB_FIELDS = ("path", "output", "mode", "src_size", "src_mtime_ns")
INTERRUPTED = 130  # the exit status of a run stopped by Ctrl-C, as a shell reports it


class Refused(Exception):
    """A run that must not start; the message says why."""


# --- Where outputs may go -------------------------------------------------

def _identity(st):
    return st.st_dev, st.st_ino


def _folder_chain(path):
    """The identities of `path` (or, when it does not exist yet, of its
    nearest existing ancestor) and of every folder above it."""
    path = os.path.realpath(path)
    chain = []
    while True:
        try:
            chain.append(_identity(os.stat(path)))
        except OSError:
            pass
        parent = os.path.dirname(path)
        if parent == path:
            return chain
        path = parent


def check_folders(src, dst):
    """Refuses DST == SRC, DST inside SRC and SRC inside DST, compared by
    device and inode along the resolved paths (so links and bind mounts do
    not hide an overlap)."""
    src_id = _identity(os.stat(src))
    if src_id in _folder_chain(dst):
        where = "the same folder as" if os.path.exists(dst) and \
            _identity(os.stat(dst)) == src_id else "inside"
        raise Refused(f"DST {dst} is {where} SRC {src}: outputs could overwrite inputs; "
                      "choose a DST outside SRC")
    if os.path.exists(dst) and _identity(os.stat(dst)) in _folder_chain(src)[1:]:
        raise Refused(f"SRC {src} is inside DST {dst}: outputs could overwrite inputs; "
                      "choose a DST outside SRC")


def check_outputs(jobs, dst):
    """Refuses a run where an existing output, or the manifest or lock file,
    is the same file (device and inode) as one of the inputs, e.g. through a
    symbolic or hard link."""
    inputs = {job["id"]: job["src"] for job in jobs if "id" in job}
    names = [job["dst"] for job in jobs] + [os.path.join(dst, MANIFEST), os.path.join(dst, LOCK)]
    for name in names:
        try:
            found = inputs.get(_identity(os.stat(name)))
        except OSError:
            continue
        if found is not None:
            raise Refused(f"the output {name} is the input {found} under another name: "
                          "the run would overwrite it")


# --- Planning -------------------------------------------------------------

def _odd_file(path, error):
    """The reason why `path`, which could not be examined, is no input."""
    if error.errno == errno.ELOOP:
        return f"{path} is a symbolic link that loops"
    if os.path.islink(path) and error.errno == errno.ENOENT:
        return f"{path} is a symbolic link to a missing file ({os.readlink(path)})"
    return f"cannot read {path}: {error.strerror}"


def plan(mode, src, dst, pattern):
    """The files to transcode: one job per input below `src`, in path order.
    A job with an "error" is recorded as failed without being run: an input
    that is no regular file, one that cannot be examined, a folder that
    cannot be listed, two inputs with one output."""
    jobs, claimed = [], {}

    def unlisted(error):
        rel = os.path.relpath(error.filename, src)
        jobs.append({"mode": mode, "path": rel + os.sep, "src": error.filename, "output": "",
                     "dst": "", "src_size": "", "src_mtime_ns": "",
                     "error": f"cannot list folder {error.filename}: {error.strerror}"})

    for folder, dirs, names in os.walk(src, onerror=unlisted):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, src)
            stem, suffix = os.path.splitext(rel)
            if pattern:
                if not (fnmatch.fnmatch(rel, pattern) or fnmatch.fnmatch(name, pattern)):
                    continue
            elif (suffix.lower() != ".siv") if mode == "decode" else \
                    (suffix.lower() not in AUDIO_SUFFIXES):
                continue
            out_rel = stem + (".siv" if mode == "encode" else ".wav")
            job = {"mode": mode, "path": rel, "src": path, "output": out_rel,
                   "dst": os.path.join(dst, out_rel), "src_size": "", "src_mtime_ns": ""}
            try:
                st = os.stat(path)
            except OSError as e:
                job["error"] = _odd_file(path, e)
            else:
                job.update(src_size=st.st_size, src_mtime_ns=st.st_mtime_ns, id=_identity(st))
                if not stat.S_ISREG(st.st_mode):
                    job["error"] = f"{path} is not a regular file"
            if "error" not in job:
                if out_rel in claimed:
                    job["error"] = f"output {out_rel} is also the output of {claimed[out_rel]}"
                else:
                    claimed[out_rel] = rel
            jobs.append(job)
    return jobs


# --- One file -------------------------------------------------------------

def _describe(error):
    """The text of an exception; a message that names a path which is not
    UTF-8 arrives as the bytes that failed to decode."""
    if isinstance(error, UnicodeDecodeError) and isinstance(error.object, bytes):
        return error.object.decode("utf-8", "backslashreplace")
    return str(error) or type(error).__name__


def _temporary(dst, run):
    return os.path.join(os.path.dirname(dst), f".{os.path.basename(dst)}.{run}{PART}")


def _discard(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


class _Gate:
    """The one way by which the outputs of a run's files in this process go
    into place; once closed, no other output does. Files on workers in other
    processes go straight into place."""

    def __init__(self, run):
        self.run, self.lock, self.open, self.committed = run, threading.Lock(), True, set()

    def commit(self, tmp, dst):
        """Moves tmp to dst; False, doing nothing, once closed."""
        with self.lock:
            if self.open:
                os.replace(tmp, dst)
                self.committed.add(dst)
            return self.open

    def close(self):
        """Returns the outputs that went in."""
        with self.lock:
            self.open = False
            return set(self.committed)


_gate = None  # the gate of the run in this process, if any


def transcode_one(job, rate, run, file_mode):
    """Runs one job; returns its manifest row, or None when its run no longer
    waits for it. The output is written under a temporary name that carries
    the run's id (the file helpers derive their own temporaries from it) and
    moved into place, with mode `file_mode`, when complete."""
    row = {k: job[k] for k in JOB_FIELDS}
    row.update(rate=rate if job["mode"] != "decode" else "", status="failed", error="",
               worker=f"{socket.gethostname()}:{os.getpid()}")
    if "error" in job:
        row["error"] = job["error"]
        return row
    dst, src = job["dst"], os.fsencode(job["src"])
    tmp = _temporary(dst, run)
    tmp_siv = tmp + ".siv"
    try:
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        if job["mode"] == "encode":
            done = sivo.encode_file(src, os.fsencode(tmp), rate)
        elif job["mode"] == "decode":
            done = sivo.decode_file(src, os.fsencode(tmp))
        else:
            done = sivo.encode_file(src, os.fsencode(tmp_siv), rate)
            sivo.decode_file(os.fsencode(tmp_siv), os.fsencode(tmp))
            # As `sivo compare SRC DST` measures it.
            seg, _, segments = sivo.segmental_snr(sivo.read_audio(src),
                                                  sivo.read_audio(os.fsencode(tmp)))
            row["segsnr"] = f"{seg:.2f}" if segments else ""
        os.chmod(tmp, file_mode)
        size = os.path.getsize(tmp)
        gate = _gate
        if gate is None or gate.run != run:
            os.replace(tmp, dst)
        elif not gate.commit(tmp, dst):
            return None
        frames, frame_bytes = done["frames"], done["frame_bytes"]
        duration = frames * sivo.FRAME_SAMPLES / sivo.SAMPLE_RATE
        row.update(frames=frames, bytes=frame_bytes, duration=f"{duration:.2f}",
                   bitrate=f"{frame_bytes * 8 / duration:.1f}" if duration else "",
                   out_size=size, status="ok")
    except Exception as e:  # recorded in the manifest; the other files go on
        row["error"] = _describe(e)
    finally:
        _discard(tmp)
        _discard(tmp_siv)
    return row


# --- The manifest and the lock --------------------------------------------

def read_manifest(path):
    """{relative path: row} of the manifest at `path`; empty when it is
    missing or unreadable."""
    try:
        with open(path, newline="", encoding="utf-8", errors="surrogateescape") as f:
            return {row["path"]: row for row in csv.DictReader(f)}
    except (OSError, csv.Error, KeyError):
        return {}


def write_manifest(path, rows, run, file_mode):
    """Writes `rows` ({relative path: row}) as the manifest at `path`, in path
    order, through a temporary of run `run` renamed into place, with mode
    `file_mode`. Names that are not UTF-8 are written as the bytes they are."""
    tmp = _temporary(path, run)
    fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, file_mode)
    try:
        os.fchmod(fd, file_mode)
        with open(fd, "w", newline="", encoding="utf-8", errors="surrogateescape") as f:
            writer = csv.DictWriter(f, fieldnames=FIELDS, extrasaction="ignore")
            writer.writeheader()
            for key in sorted(rows):
                writer.writerow(rows[key])
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, path)
    except BaseException:
        _discard(tmp)
        raise


def unchanged(job, previous, rate, dst):
    """True when `previous` records this input, unchanged, as done, and its
    output is still there, whole."""
    if "error" in job or not previous or previous.get("status") != "ok" or \
            previous.get("mode") != job["mode"]:
        return False
    if job["mode"] != "decode" and previous.get("rate") != str(rate):
        return False
    if previous.get("src_size") != str(job["src_size"]) or \
            previous.get("src_mtime_ns") != str(job["src_mtime_ns"]):
        return False
    try:
        return os.path.getsize(os.path.join(dst, job["output"])) == int(previous["out_size"])
    except (OSError, ValueError, KeyError):
        return False


class _DstLock:
    """Holds DST for one run: an exclusive lock on DST/.sivo-corpus.lock,
    released by the system when the process ends however it ends. The file
    lists the ids of the runs whose temporaries may remain in DST."""

    def __init__(self, dst, run, file_mode):
        self.path, self.run = os.path.join(dst, LOCK), run
        self.fd = os.open(self.path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, file_mode)
        try:
            fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            os.close(self.fd)
            raise Refused(f"another sivo-corpus run is writing to {dst} (it holds "
                          f"{self.path}); wait for it to end or choose another DST") from None

    def stopped_runs(self):
        os.lseek(self.fd, 0, os.SEEK_SET)
        text = os.read(self.fd, 1 << 16).decode("ascii", "replace")
        return {word for word in text.split() if RUN_ID.fullmatch(word)}

    def record(self, runs):
        os.ftruncate(self.fd, 0)
        os.pwrite(self.fd, "".join(f"{r}\n" for r in sorted(runs)).encode(), 0)
        os.fsync(self.fd)

    def close(self):
        os.close(self.fd)  # releases the lock


def remove_temporaries(dst, runs):
    """Removes the temporaries of `runs` below `dst`, and nothing else."""
    marks = [f".{run}{PART}" for run in runs]
    for folder, _, names in os.walk(dst):
        for name in names:
            if name.startswith(".") and any(mark in name for mark in marks):
                _discard(os.path.join(folder, name))


# --- Running --------------------------------------------------------------

class _Progress:
    """A one-line progress bar on a terminal; silent otherwise."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.done, self.stream = total, 0, stream
        self.shown = stream.isatty() and total > 0

    def step(self):
        self.done += 1
        if self.shown:
            filled = self.done * 40 // self.total
            self.stream.write(f"\rcorpus [{'#' * filled}{'.' * (40 - filled)}] "
                              f"{self.done}/{self.total}")
            self.stream.flush()

    def close(self):
        if self.shown:
            self.stream.write("\n")
            self.shown = False


def _lost_row(job, error):
    row = {k: job[k] for k in JOB_FIELDS}
    row.update(status="failed", error=f"{type(error).__name__}: {error}")
    return row


class _ThreadRoute:
    """The files on threads of this process: nothing to start, nothing that
    listens. Ctrl-C lets the files in progress finish."""

    waits_on_interrupt = True

    def __init__(self, workers):
        from concurrent.futures import ThreadPoolExecutor
        self.pool = ThreadPoolExecutor(max_workers=workers, thread_name_prefix="sivo-corpus")

    def submit(self, *args):
        return self.pool.submit(transcode_one, *args)

    def wait(self, futures):
        """The futures among `futures` that have ended, after waiting a
        moment for one to end."""
        from concurrent.futures import FIRST_COMPLETED, wait
        return wait(futures, timeout=0.1, return_when=FIRST_COMPLETED).done

    def stop(self, futures):
        """Cancels the files that have not started."""
        for future in futures:
            future.cancel()

    def close(self, wait=True):
        self.pool.shutdown(wait=wait, cancel_futures=True)


class _DaskRoute:
    """The files on a Dask cluster: the one at `scheduler`, or one of
    `workers` threads started in this process whose only listening sockets
    are its dashboard at `dashboard` (as the user asked, 127.0.0.1:8787 by
    default) and the worker's status page on 127.0.0.1."""

    def __init__(self, scheduler, dashboard, workers):
        try:
            from distributed import Client, LocalCluster
        except ImportError:
            raise Refused("--scheduler and --dashboard need Dask (python3-distributed)") from None
        self.cluster = None
        try:
            if scheduler:
                self.client = Client(scheduler, timeout="20s")
            else:
                # In-process transport between scheduler and worker; the HTTP
                # servers would otherwise take every interface.
                self.cluster = LocalCluster(
                    n_workers=1, threads_per_worker=workers, processes=False,
                    dashboard_address=dashboard, worker_dashboard_address="127.0.0.1:0")
                self.client = Client(self.cluster)
        except (OSError, ValueError, TimeoutError, RuntimeError) as e:
            if self.cluster is not None:
                self.cluster.close()
            where = f"the Dask scheduler at {scheduler}" if scheduler else \
                f"a local Dask cluster with its dashboard at {dashboard}"
            raise Refused(f"cannot reach {where}: {e}") from None
        if self.cluster is not None:
            try:
                import bokeh  # noqa: F401  (Dask draws its dashboard with it)
                print(f"sivo-corpus: Dask dashboard at {self.cluster.dashboard_link}",
                      file=sys.stderr)
            except ImportError:
                print("sivo-corpus: the Dask dashboard needs Bokeh (python3-bokeh); only "
                      f"Dask's status pages are served at {dashboard}", file=sys.stderr)

    def submit(self, *args):
        return self.client.submit(transcode_one, *args, pure=False)

    def wait(self, futures):
        """The futures among `futures` that have ended, after waiting a
        moment for one to end."""
        done = [f for f in futures if f.done()]
        if not done:
            time.sleep(0.02)
        return done

    # Which files are running is the workers' secret: Ctrl-C stops at once.
    # On a worker of another process a running file finishes (whole) or not
    # at all; it is no longer waited for.
    waits_on_interrupt = False

    def stop(self, futures):
        self.client.cancel([f for f in futures if not f.done()])

    def close(self, wait=True):
        self.client.close()
        if self.cluster is not None:
            self.cluster.close()


class _CtrlC:
    """Counts Ctrl-C presses instead of raising KeyboardInterrupt, while it
    is in force (on the main thread only, where signals arrive), so that no
    press can cut the bookkeeping of a run in half."""

    def __init__(self):
        self.presses, self.previous = 0, None

    def __enter__(self):
        if threading.current_thread() is threading.main_thread():
            self.previous = signal.signal(signal.SIGINT, self.press)
        return self

    def press(self, signum, frame):
        self.presses += 1

    def __exit__(self, *exc):
        if self.previous is not None:
            signal.signal(signal.SIGINT, self.previous)


def _transcode_all(route, todo, args, run, file_mode, rows, ctrl_c):
    """Runs `todo` on `route`, adding each file's row to `rows` as it ends,
    until every file has ended or Ctrl-C (counted by `ctrl_c`) stops the
    run: a first press on the threads of this process starts no new file and
    waits for those in progress, a second press, or a first on Dask, drops
    them. Returns True when files were dropped. Either way, the rows name
    every output that was moved into place."""
    progress = _Progress(len(todo))
    # The longest first, so that no worker is left with a long file at the end.
    order = sorted(todo, key=lambda job: -(job["src_size"] or 0))
    futures = {route.submit(job, args.rate, run, file_mode): job for job in order}
    pending = set(futures)

    def record(future):
        if not future.cancelled():
            try:
                row = future.result()
            except Exception as e:  # the task itself was lost (e.g. KilledWorker)
                row = _lost_row(futures[future], e)
            if row is not None:
                rows[row["path"]] = row
                progress.step()
        pending.discard(future)

    stopping = False
    while pending:
        if ctrl_c.presses > (1 if route.waits_on_interrupt else 0):
            break
        if ctrl_c.presses and not stopping:
            stopping = True
            route.stop(pending)
            progress.close()
            running = sum(not f.done() for f in pending)
            if running:
                print(f"sivo-corpus: interrupted; finishing the {running} file(s) in "
                      "progress (Ctrl-C again to stop at once)", file=sys.stderr)
        for future in route.wait(pending):
            record(future)
    else:
        progress.close()
        return False
    committed = _gate.close()
    for future, job in futures.items():
        if job["dst"] in committed and future in pending and not future.cancelled():
            future.exception()  # its row is on its way
            record(future)
    for future in list(pending):
        if future.done():
            record(future)
    route.stop(pending)
    progress.close()
    return True


def run(args):
    """Transcodes the tree as parse_args() describes it; returns the exit
    status: 0 when every file is done, 1 when any failed, 130 when Ctrl-C
    stopped the run. Raises Refused when the run must not start."""
    src, dst = args.src, args.dst
    check_folders(src, dst)
    jobs = plan(args.command, src, dst, args.glob)
    check_outputs(jobs, dst)
    mask = os.umask(0o22)
    os.umask(mask)
    file_mode = 0o666 & ~mask  # as the sivo program creates files
    os.makedirs(dst, exist_ok=True)
    run_id = uuid.uuid4().hex[:16]
    lock = _DstLock(dst, run_id, file_mode)
    try:
        stopped = lock.stopped_runs()
        if stopped:
            remove_temporaries(dst, stopped)
        lock.record({run_id})
        return _run_locked(args, jobs, lock, file_mode)
    finally:
        lock.close()


def _run_locked(args, jobs, lock, file_mode):
    dst, run_id = args.dst, lock.run
    manifest = os.path.join(dst, MANIFEST)
    previous = read_manifest(manifest)
    rows, todo = {}, []
    for job in jobs:
        if unchanged(job, previous.get(job["path"]), args.rate, dst):
            rows[job["path"]] = previous[job["path"]]
        else:
            todo.append(job)
    skipped = len(rows)
    # The output folders, made while this process has no other thread.
    for job in todo:
        if "error" not in job:
            try:
                os.makedirs(os.path.dirname(job["dst"]), exist_ok=True)
            except OSError:
                pass  # the job fails on it and says so

    abandoned = False
    route = None
    dask = bool(args.scheduler or args.dashboard)
    if todo:
        try:
            route = _DaskRoute(args.scheduler, args.dashboard, args.workers) if dask else \
                _ThreadRoute(args.workers)
        except Refused:
            lock.record(set())  # nothing started, nothing to clean
            raise
    global _gate
    _gate = _Gate(run_id)
    start = time.monotonic()  # the speed counts transcoding, not start-up
    seconds = 0.0
    with _CtrlC() as ctrl_c:
        try:
            if route is not None:
                abandoned = _transcode_all(route, todo, args, run_id, file_mode, rows, ctrl_c)
                seconds = time.monotonic() - start
        finally:
            write_manifest(manifest, rows, run_id, file_mode)
            if route is not None:
                route.close(wait=not abandoned)
        interrupted = ctrl_c.presses > 0
    # A file that ran to its end left no temporary; a lost Dask worker may
    # have left some, and files that were dropped may still be writing theirs.
    if dask and route is not None:
        remove_temporaries(dst, {run_id})
    if not abandoned:
        lock.record(set())

    done = [r for r in rows.values() if r.get("status") == "ok"]
    failed = len(rows) - len(done)
    redone = {job["path"] for job in todo} & rows.keys()
    audio = sum(float(rows[p].get("duration") or 0) for p in redone
                if rows[p].get("status") == "ok")
    speed = f", {audio / seconds:.1f}x real time" if seconds > 0 and audio else ""
    print(f"{len(redone)} transcoded, {skipped} unchanged and skipped, {failed} failed, "
          f"{audio:.1f} s of audio in {seconds:.2f} s{speed}; manifest {manifest}",
          file=sys.stderr)
    if interrupted:
        print(f"sivo-corpus: interrupted; {len(todo) - len(redone)} file(s) not done, "
              "a rerun does them", file=sys.stderr)
        if abandoned:
            sys.stderr.flush()
            os._exit(INTERRUPTED)  # the threads still running end with the process
        return INTERRUPTED
    return 1 if failed else 0


def parse_args(argv):
    """The command line `argv` (without the program name) as an
    argparse.Namespace; exits with a usage message when it is wrong."""
    parser = argparse.ArgumentParser(
        prog="sivo-corpus",
        description="Transcodes a tree of audio files with sivo, on threads of this process "
                    "or on a Dask cluster.")
    parser.add_argument("command", choices=["encode", "decode", "roundtrip"])
    parser.add_argument("src", help="folder of input files")
    parser.add_argument("dst", help="folder outside SRC that receives the mirrored outputs "
                                    "and the manifest")
    parser.add_argument("--rate", type=int, choices=range(4), default=0,
                        help="compression rate 0..3 (default 0)")
    parser.add_argument("--workers", type=int, default=len(os.sched_getaffinity(0)),
                        help="files transcoded at once on this machine (default: the number "
                             "of cores this process may use)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="address of a running Dask scheduler, "
                                           "e.g. tcp://HOST:PORT")
    where.add_argument("--dashboard", nargs="?", const="127.0.0.1:8787", metavar="HOST:PORT",
                       help="run the local workers as a Dask cluster whose dashboard "
                            "listens at HOST:PORT (default 127.0.0.1:8787)")
    parser.add_argument("--glob", help="only files whose relative path or name matches "
                                       "(default: audio files, or *.siv for decode)")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if not os.path.isdir(args.src):
        parser.error(f"{args.src} is not a folder")
    if os.path.exists(args.dst) and not os.path.isdir(args.dst):
        parser.error(f"{args.dst} is not a folder")
    return args


def main(argv=None):
    """The sivo-corpus command: runs `argv` (default: sys.argv[1:]) and
    returns its exit status (2 when the run was refused)."""
    args = parse_args(argv)
    try:
        return run(args)
    except Refused as e:
        print(f"sivo-corpus: {e}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:  # before any file started: nothing to undo
        print("sivo-corpus: interrupted", file=sys.stderr)
        return INTERRUPTED


if __name__ == "__main__":
    # Run as sivo.corpus, not as a copy named __main__: Dask then sends
    # transcode_one to its workers by name, and the run's gate is the one
    # that the files in this process pass through.
    from sivo.corpus import main as corpus_main
    sys.exit(corpus_main())
