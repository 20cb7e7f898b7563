# Installs the package as a user would, into a fresh virtual environment
# that sees Debian's numpy, Dask and pytest, and checks it there:
#
#   install_check.py wheel SRC BUILD   the wheel, built from BUILD's objects;
#                                      the whole test suite is run against it
#   install_check.py sdist SRC BUILD   the source distribution, unpacked in a
#                                      scratch folder and built there on its
#                                      own; the rebuilt codec must give the
#                                      sivo program's bytes
#
# SIVO_CLI names the sivo program. Either way the metadata is checked, and `pip uninstall` must leave the
# environment exactly as it was.
import email.parser
import glob
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile
from pathlib import Path

MODE, SRC, BUILD = sys.argv[1], Path(sys.argv[2]).resolve(), Path(sys.argv[3]).resolve()
PYTHON = sys.executable


def run(args, **kwargs):
    print("$", " ".join(map(str, args)), flush=True)
    kwargs.setdefault("timeout", 900)
    result = subprocess.run(list(map(str, args)), text=True, capture_output=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result


def project_version():
    text = (SRC / "CMakeLists.txt").read_text()
    return re.search(r"^project\(sivo\s+VERSION\s+([0-9.]+)", text, re.MULTILINE).group(1)


def plain_env(**extra):
    """This environment without anything that points at the build tree's
    package or libraries, and pip without this machine's configuration."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("PYTHONPATH", "LD_LIBRARY_PATH", "SIVO_CMAKE_BUILD_DIR")
           and not k.startswith("PIP_")}
    env.update(PIP_CONFIG_FILE=os.devnull, PIP_DISABLE_PIP_VERSION_CHECK="1", **extra)
    return env


def build(kind, source, outdir, **env):
    """python3 -m build of `kind` (--wheel or --sdist), run from outside the
    source so that a CMake folder named build/ cannot shadow the module."""
    started = time.monotonic()
    run([PYTHON, "-m", "build", "--no-isolation", kind, "--outdir", outdir, source],
        cwd=outdir.parent, env=plain_env(**env))
    made = sorted(outdir.iterdir())
    print(f"built {', '.join(f'{p.name} ({p.stat().st_size} bytes)' for p in made)} "
          f"in {time.monotonic() - started:.1f} s", flush=True)
    assert len(made) == 1, made
    return made[0]


def check_metadata(text, requires=True):
    meta = email.parser.Parser().parsestr(text)
    assert meta["Name"] == "sivo" and meta["Version"] == project_version(), (
        meta["Name"], meta["Version"])
    assert meta["License"] == "BSD-3-Clause", meta["License"]
    if requires:  # an sdist's PKG-INFO lists none (setuptools 66)
        found = sorted(meta.get_all("Requires-Dist") or [])
        assert found == ["dask ; extra == 'corpus'", "distributed ; extra == 'corpus'",
                         "numpy"], found
    assert "narrow-band speech codec" in meta.get_payload(), "no description from the README"


def check_wheel(wheel):
    abi = f"cp{sys.version_info.major}{sys.version_info.minor}"
    expected = f"sivo-{project_version()}-{abi}-{abi}-linux_x86_64.whl"
    assert wheel.name == expected, f"{wheel.name}, not {expected}"
    with zipfile.ZipFile(wheel) as z:
        names = z.namelist()
        package = sorted(n for n in names if not n.startswith("sivo-"))
        binaries = [n for n in package if ".so" in n]
        assert sorted(n for n in package if n not in binaries) == [
            "sivo/__init__.py", "sivo/corpus.py"], package
        # The module, the codec, and only libraries of this project beside.
        shapes = sorted(re.sub(r"\.cpython-.*\.so$", ".so", n) for n in binaries)
        assert "sivo/_sivo.so" in shapes and "sivo/libsivocore.so.2" in shapes, shapes
        assert all(re.fullmatch(r"sivo/(_sivo\.so|lib(sivocore|ratelib|sivowav)\.so\.\d+)", n)
                   for n in shapes), shapes
        # Nothing in the binaries points back at the build tree.
        for name in binaries:
            assert str(BUILD).encode() not in z.read(name), f"{name} names {BUILD}"
        info = f"sivo-{project_version()}.dist-info/"
        check_metadata(z.read(info + "METADATA").decode())
        entry = z.read(info + "entry_points.txt").decode()
        assert "sivo-corpus = sivo.corpus:main" in entry, entry
        assert info + "LICENSE" in names


def tree(root):
    return {str(p.relative_to(root)) for p in Path(root).rglob("*")}


def install(wheel, scratch):
    """A fresh venv with the wheel installed: its python, and its files
    before the install."""
    venv = scratch / "venv"
    run([PYTHON, "-m", "venv", "--system-site-packages", venv])
    before = tree(venv)
    started = time.monotonic()
    result = run([venv / "bin" / "python", "-m", "pip", "install", "--no-index", "--no-deps",
                  wheel], env=plain_env())
    print(result.stdout, end="")
    print(f"pip install took {time.monotonic() - started:.1f} s", flush=True)
    python = venv / "bin" / "python"
    # The package, its module and the codec's libraries come from the venv.
    code = ("import sivo, numpy\n"
            "assert len(sivo.decode(sivo.encode(numpy.zeros(480, 'int16')))) == 480\n"
            "maps = open('/proc/self/maps').read()\n"
            "libs = {l.split()[-1] for l in maps.splitlines() if 'libsivocore' in l"
            " or 'libratelib' in l or '_sivo' in l}\n"
            "print(sivo.__file__); print('\\n'.join(sorted(libs)))\n")
    where = run([python, "-c", code], cwd=scratch, env=plain_env()).stdout.split()
    assert all(p.startswith(f"{venv}/lib/") for p in where), where
    assert {Path(p).name.split(".")[0] for p in where} >= {"__init__", "_sivo", "libsivocore"}, where
    usage = run([venv / "bin" / "sivo-corpus", "--help"], cwd=scratch, env=plain_env())
    assert "--scheduler" in usage.stdout
    return python, before


def uninstall(python, before):
    venv = python.parent.parent
    print(run([python, "-m", "pip", "uninstall", "-y", "sivo"], env=plain_env()).stdout, end="")
    left = tree(venv) - before
    assert not left, f"left behind by pip uninstall: {sorted(left)}"


def suite_env():
    return plain_env(SIVO_BUILD_DIR=str(BUILD))


def wheel_mode(scratch):
    wheel = build("--wheel", SRC, scratch / "dist", SIVO_CMAKE_BUILD_DIR=str(BUILD))
    check_wheel(wheel)
    python, before = install(wheel, scratch)
    # The test suite and the case tables it shares with the other tests,
    # copied out of the source tree and run there.
    for folder in ("python", "support"):
        shutil.copytree(SRC / "tests" / folder, scratch / "tests" / folder,
                        ignore=shutil.ignore_patterns("__pycache__"))
    suite = scratch / "tests" / "python"
    started = time.monotonic()
    tests = sorted(p.name for p in suite.glob("test_*.py"))
    result = subprocess.run([python, "-m", "pytest", "-q", "-p", "no:cacheprovider", *tests],
                            cwd=suite, env=suite_env(), timeout=1200)
    print(f"the Python test suite against the installed wheel: "
          f"{time.monotonic() - started:.1f} s", flush=True)
    if result.returncode != 0:
        sys.exit("the test suite failed against the installed package")
    uninstall(python, before)


def sdist_mode(scratch):
    sdist = build("--sdist", SRC, scratch / "dist")
    assert sdist.name == f"sivo-{project_version()}.tar.gz", sdist.name
    top = f"sivo-{project_version()}/"
    with tarfile.open(sdist) as t:
        members = [m.name for m in t.getmembers() if m.isfile()]
        check_metadata(t.extractfile(top + "PKG-INFO").read().decode(), requires=False)
        t.extractall(scratch / "unpacked")
    files = {m.removeprefix(top) for m in members}
    # Sources only: every file is one of the checkout's (tracked, or new and
    # not ignored as a build product), or the format's own metadata.
    if (SRC / ".git").exists():
        tracked = set(run(["git", "-C", SRC, "ls-files", "--cached", "--others",
                           "--exclude-standard"]).stdout.split())
        made = {f for f in files - tracked
                if f not in ("PKG-INFO", "setup.cfg") and not f.startswith("python/sivo.egg-info/")}
        assert not made, f"files in the sdist that the checkout does not track: {sorted(made)}"
        assert "setup.py" in files and "codec/CMakeLists.txt" in files
    # Built on its own, with the scratch folder's copy only.
    unpacked = scratch / "unpacked" / top
    wheel = build("--wheel", unpacked, scratch / "wheel",
                  CMAKE_BUILD_PARALLEL_LEVEL=os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2"))
    check_wheel(wheel)
    python, before = install(wheel, scratch)
    # The rebuilt codec gives the bytes the sivo program gives.
    speech = sorted(glob.glob(os.path.join(
        os.environ.get("SIVO_SPEECH_DIR", "/usr/share/codec2/raw/"), "*.raw")))[0]
    wav, native = scratch / "talk.wav", scratch / "native.siv"
    code = ("import sys, wave, numpy, sivo\n"
            "pcm = numpy.fromfile(sys.argv[1], '<i2')\n"
            "w = wave.open(sys.argv[2], 'wb'); w.setnchannels(1); w.setsampwidth(2)\n"
            "w.setframerate(8000); w.writeframes(pcm.tobytes()); w.close()\n"
            "sys.stdout.buffer.write(sivo.encode(pcm, 1))\n")
    encoded = subprocess.run([python, "-c", code, speech, wav], cwd=scratch, env=plain_env(),
                             capture_output=True, timeout=120, check=True).stdout
    run([os.environ["SIVO_CLI"], "encode", "-q", "-r", "1", wav, native])
    assert encoded and encoded == native.read_bytes(), "the sdist's codec gives other bytes"
    uninstall(python, before)


with tempfile.TemporaryDirectory(prefix="sivo-install-") as scratch:
    {"wheel": wheel_mode, "sdist": sdist_mode}[MODE](Path(scratch))
print(f"{MODE}: ok")
