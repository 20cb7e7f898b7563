"""Transcodes a tree of audio files on a Dask cluster.

Usage::

    python3 -m sivo.corpus encode|decode|roundtrip SRC DST [--rate R]
        [--workers N] [--scheduler ADDRESS] [--glob PATTERN]

Mirrors SRC under DST (encode: NAME.siv; decode and roundtrip: NAME.wav) and
writes DST/sivo-manifest.csv with one row per file. Every output is written
under a temporary name and renamed when complete; a failed file is recorded
with its error and does not stop the others; a rerun skips files whose
output is complete and whose input kept its size and modification time.
Without --scheduler the files run on a local cluster of N worker processes.
"""
import argparse
import csv
import fnmatch
import os
import socket
import sys
import tempfile
import time

import sivo

MANIFEST = "sivo-manifest.csv"
PART_SUFFIX = ".sivo-part"  # temporary outputs; none survives a finished run
AUDIO_SUFFIXES = {".wav", ".wave", ".flac", ".ogg", ".oga", ".aif", ".aiff", ".aifc", ".caf",
                  ".au", ".snd", ".w64"}
FIELDS = ["path", "duration", "frames", "bytes", "bitrate", "segsnr", "status", "error",
          "output", "mode", "rate", "src_size", "src_mtime_ns", "out_size", "worker"]


def plan(mode, src, dst, pattern):
    """The files to transcode: one job per input below `src`, in path order,
    leaving out anything below `dst`."""
    jobs, claimed = [], {}
    dst_real = os.path.realpath(dst)
    for folder, dirs, names in os.walk(src):
        dirs[:] = sorted(d for d in dirs
                         if os.path.realpath(os.path.join(folder, d)) != dst_real)
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
            stat = os.stat(path)
            out_rel = stem + (".siv" if mode == "encode" else ".wav")
            job = {"mode": mode, "path": rel, "src": path, "output": out_rel,
                   "dst": os.path.join(dst, out_rel), "src_size": stat.st_size,
                   "src_mtime_ns": stat.st_mtime_ns}
            if out_rel in claimed:
                job["conflict"] = f"output {out_rel} is also the output of {claimed[out_rel]}"
            else:
                claimed[out_rel] = rel
            jobs.append(job)
    return jobs


def _write_via_part(dst, write, keep=True):
    """Calls write(temporary name beside dst) and, when `keep`, renames the
    result to dst. A temporary name contains PART_SUFFIX, also in the names
    that the file helpers derive from it, so that the leftovers of a killed
    worker are recognised and removed."""
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(dst) + ".", suffix=PART_SUFFIX,
                               dir=os.path.dirname(dst) or ".")
    os.close(fd)
    try:
        result = write(tmp)
        if keep:
            os.replace(tmp, dst)
        return result
    finally:
        if os.path.exists(tmp):
            os.unlink(tmp)


def transcode_one(job, rate):
    """Runs one job on a worker; returns its manifest row."""
    row = {k: job[k] for k in ("path", "output", "mode", "src_size", "src_mtime_ns")}
    row.update(rate=rate if job["mode"] != "decode" else "", status="failed", error="",
               worker=f"{socket.gethostname()}:{os.getpid()}")
    try:
        if "conflict" in job:
            raise sivo.SivoError(job["conflict"])
        dst = job["dst"]
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        if job["mode"] == "encode":
            done = _write_via_part(dst, lambda tmp: sivo.encode_file(job["src"], tmp, rate))
        elif job["mode"] == "decode":
            done = _write_via_part(dst, lambda tmp: sivo.decode_file(job["src"], tmp))
        else:
            def roundtrip(tmp_wav):
                return _write_via_part(tmp_wav + ".siv", lambda tmp_siv: (
                    sivo.encode_file(job["src"], tmp_siv, rate),
                    sivo.decode_file(tmp_siv, tmp_wav))[0], keep=False)
            done = _write_via_part(dst, roundtrip)
            # As `sivo compare SRC DST` measures it.
            seg, _, segments = sivo.segmental_snr(sivo.read_audio(job["src"]),
                                                  sivo.read_audio(dst))
            row["segsnr"] = f"{seg:.2f}" if segments else ""
        frames, size = done["frames"], done["frame_bytes"]
        duration = frames * sivo.FRAME_SAMPLES / sivo.SAMPLE_RATE
        row.update(frames=frames, bytes=size, duration=f"{duration:.2f}",
                   bitrate=f"{size * 8 / duration:.1f}" if duration else "",
                   out_size=os.path.getsize(dst), status="ok")
    except Exception as e:  # recorded in the manifest; the other files go on
        row["error"] = str(e) or type(e).__name__
    return row


def read_manifest(path):
    """{relative path: row} of the manifest at `path`; empty when it is
    missing or unreadable."""
    try:
        with open(path, newline="") as f:
            return {row["path"]: row for row in csv.DictReader(f)}
    except (OSError, csv.Error, KeyError):
        return {}


def write_manifest(path, rows):
    """Writes `rows` ({relative path: row}) as the manifest at `path`, in path
    order, through a temporary file renamed into place."""
    folder = os.path.dirname(path) or "."
    fd, tmp = tempfile.mkstemp(prefix=".manifest.", suffix=PART_SUFFIX, dir=folder)
    try:
        with os.fdopen(fd, "w", newline="") as f:
            writer = csv.DictWriter(f, fieldnames=FIELDS, extrasaction="ignore")
            writer.writeheader()
            for key in sorted(rows):
                writer.writerow(rows[key])
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def unchanged(job, previous, rate, dst):
    """True when `previous` records this input, unchanged, as done, and its
    output is still there, whole."""
    if not previous or previous.get("status") != "ok" or previous.get("mode") != job["mode"]:
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


def remove_leftovers(dst):
    """Removes temporary outputs of runs or workers that were stopped."""
    for folder, _, names in os.walk(dst):
        for name in names:
            if PART_SUFFIX in name:
                try:
                    os.unlink(os.path.join(folder, name))
                except FileNotFoundError:
                    pass


class Progress:
    """A one-line progress bar on a terminal; silent otherwise."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.done, self.stream = total, 0, stream
        self.shown = stream.isatty() and total > 0

    def step(self):
        """Counts one more file done and redraws the bar."""
        self.done += 1
        if self.shown:
            filled = self.done * 40 // self.total
            self.stream.write(f"\rcorpus [{'#' * filled}{'.' * (40 - filled)}] "
                              f"{self.done}/{self.total}")
            self.stream.flush()

    def close(self):
        """Ends the bar's line."""
        if self.shown:
            self.stream.write("\n")


def connect(args):
    """(client, cluster): a client of the scheduler at args.scheduler, or of
    a new local cluster of args.workers single-threaded processes bound to
    127.0.0.1 (then also returned, for closing)."""
    from distributed import Client, LocalCluster
    if args.scheduler:
        return Client(args.scheduler, timeout="30s"), None
    cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                           host="127.0.0.1", dashboard_address=None)
    return Client(cluster), cluster


def run(args):
    """Transcodes the tree as parse_args() describes it; returns the exit
    status: 0 when every file is done, 1 when any failed."""
    os.makedirs(args.dst, exist_ok=True)
    manifest = os.path.join(args.dst, MANIFEST)
    previous = read_manifest(manifest)
    remove_leftovers(args.dst)
    rows, todo = {}, []
    for job in plan(args.command, args.src, args.dst, args.glob):
        if unchanged(job, previous.get(job["path"]), args.rate, args.dst):
            rows[job["path"]] = previous[job["path"]]
        else:
            todo.append(job)
    skipped = len(rows)
    start = time.monotonic()
    progress = Progress(len(todo))
    client = cluster = None
    try:
        if todo:
            from distributed import as_completed
            client, cluster = connect(args)
            start = time.monotonic()  # the speed counts transcoding, not start-up
            futures = {client.submit(transcode_one, job, args.rate, pure=False): job
                       for job in todo}
            for future in as_completed(futures):
                job = futures[future]
                try:
                    row = future.result()
                except Exception as e:  # the task itself was lost (e.g. KilledWorker)
                    row = {k: job[k] for k in ("path", "output", "mode", "src_size",
                                               "src_mtime_ns")}
                    row.update(status="failed", error=f"{type(e).__name__}: {e}")
                rows[row["path"]] = row
                progress.step()
    finally:
        progress.close()
        write_manifest(manifest, rows)
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    remove_leftovers(args.dst)
    seconds = time.monotonic() - start
    done = [r for r in rows.values() if r.get("status") == "ok"]
    failed = len(rows) - len(done)
    redone = {job["path"] for job in todo}
    audio = sum(float(r.get("duration") or 0) for p, r in rows.items()
                if r.get("status") == "ok" and p in redone)
    speed = f", {audio / seconds:.1f}x real time" if seconds > 0 and audio else ""
    print(f"{len(todo)} transcoded, {skipped} unchanged and skipped, {failed} failed, "
          f"{audio:.1f} s of audio in {seconds:.2f} s{speed}; manifest {manifest}",
          file=sys.stderr)
    return 1 if failed else 0


def parse_args(argv):
    """The command line `argv` (without the program name) as an
    argparse.Namespace; exits with a usage message when it is wrong."""
    parser = argparse.ArgumentParser(
        prog="sivo-corpus", description="Transcodes a tree of audio files with sivo on Dask.")
    parser.add_argument("command", choices=["encode", "decode", "roundtrip"])
    parser.add_argument("src", help="folder of input files")
    parser.add_argument("dst", help="folder that receives the mirrored outputs and manifest")
    parser.add_argument("--rate", type=int, choices=range(4), default=0,
                        help="compression rate 0..3 (default 0)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="local worker processes (default: the number of cores)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler, "
                                            "e.g. tcp://HOST:PORT")
    parser.add_argument("--glob", help="only files whose relative path or name matches "
                                       "(default: audio files, or *.siv for decode)")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if not os.path.isdir(args.src):
        parser.error(f"{args.src} is not a folder")
    return args


def main(argv=None):
    """The sivo-corpus command: runs `argv` (default: sys.argv[1:]) and
    returns its exit status."""
    return run(parse_args(argv))


if __name__ == "__main__":
    sys.exit(main())
