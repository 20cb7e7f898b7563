# The build step of the Python package (pyproject.toml holds its metadata):
# the extension module is built by the project's CMake tree, never by
# setuptools, and the wheel carries it with the codec's shared libraries
# beside it (the module finds them through its $ORIGIN run path).
#
#   python3 -m build --no-isolation      sdist and wheel in dist/
#   pip install --no-build-isolation .   from a checkout
#
# Environment:
#   SIVO_CMAKE_BUILD_DIR    an already configured build tree to take the
#                           module from (built there first if out of date);
#                           without it a tree of its own is configured under
#                           setuptools' build folder
#   SIVO_CMAKE_ARGS         more arguments for that configuration
#   CMAKE_BUILD_PARALLEL_LEVEL   the build's parallelism (default: all cores)
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = Path(__file__).resolve().parent


def cmake_version():
    """The project's version: the one CMakeLists.txt declares."""
    text = (TOP / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^project\(sivo\s+VERSION\s+([0-9][0-9.]*)", text, re.MULTILINE)
    if not found:
        sys.exit("setup.py: no 'project(sivo VERSION ...)' in CMakeLists.txt")
    return found.group(1)


class CMakeBuild(build_ext):
    """Builds the target sivo_wheel of the CMake tree and copies the folder it
    fills (the module and the libraries it needs) into the package."""

    def build_extension(self, ext):
        given = os.environ.get("SIVO_CMAKE_BUILD_DIR")
        if given:
            tree = Path(given).resolve()
            if not (tree / "CMakeCache.txt").is_file():
                sys.exit(f"setup.py: SIVO_CMAKE_BUILD_DIR={given} is not a configured CMake tree")
        else:
            tree = Path(self.build_temp).resolve() / "cmake"
            self.configure(tree)
        cache = (tree / "CMakeCache.txt").read_text(encoding="utf-8", errors="replace")
        if not re.search(r"^SIVO_PYTHON:INTERNAL=", cache, re.MULTILINE):
            sys.exit(f"setup.py: the CMake tree {tree} builds no Python package; it needs "
                     "python3-dev, python3-numpy and pybind11-dev (its configure output says "
                     "which is missing)")
        build = ["cmake", "--build", str(tree), "--target", "sivo_wheel"]
        if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            build.append(f"-j{os.cpu_count() or 1}")
        call(build)

        made = tree / "python-wheel" / "sivo"
        files = sorted(p for p in made.iterdir() if p.is_file()) if made.is_dir() else []
        module = Path(self.get_ext_fullpath(ext.name))
        if module.name not in [p.name for p in files]:
            sys.exit(f"setup.py: the build made no {module.name} in {made} (is this the "
                     f"interpreter the tree was configured for? {sys.executable})")
        module.parent.mkdir(parents=True, exist_ok=True)
        # Binaries of an earlier build that this one no longer makes stay out.
        for old in module.parent.glob("*.so*"):
            if old.name not in [p.name for p in files]:
                old.unlink()
        for source in files:
            shutil.copy2(source, module.parent / source.name)

    def configure(self, tree):
        args = ["cmake", "-S", str(TOP), "-B", str(tree),
                "-DCMAKE_BUILD_TYPE=Release",
                f"-DPython3_EXECUTABLE={sys.executable}",
                "-DSIVO_BUILD_TESTS=OFF", "-DSIVO_BUILD_BENCHMARKS=OFF"]
        args += shlex.split(os.environ.get("SIVO_CMAKE_ARGS", ""))
        call(args)


def call(args):
    print(" ".join(map(shlex.quote, args)), flush=True)
    subprocess.run(args, check=True)


def scratch_options():
    """setuptools' own scratch folders: in the given CMake tree when there is
    one (nothing is then written to the source tree but the package
    metadata), else build-python/ beside this file rather than build/, the
    usual name of a CMake tree."""
    given = os.environ.get("SIVO_CMAKE_BUILD_DIR")
    base = Path(given).resolve() / "python-setuptools" if given else TOP / "build-python"
    options = {"build": {"build_base": str(base)}}
    if given:
        base.mkdir(parents=True, exist_ok=True)
        options["egg_info"] = {"egg_base": str(base)}
    return options


setup(
    version=cmake_version(),
    options=scratch_options(),
    ext_modules=[Extension("sivo._sivo", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
