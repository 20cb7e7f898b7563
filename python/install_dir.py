# Prints the folder, relative to the install prefix given as the argument,
# where that prefix's Python finds installed packages.
import sys
import sysconfig

prefix = sys.argv[1].rstrip("/") or "/"
schemes = sysconfig.get_scheme_names()
if prefix == "/usr" and "deb_system" in schemes:
    path = sysconfig.get_path("platlib", "deb_system", vars={"platbase": ".", "base": "."})
elif prefix == "/usr/local" and "posix_local" in schemes:
    path = sysconfig.get_path("platlib", "posix_local", vars={"platbase": ".", "base": "."})
    path = path.removeprefix("./").removeprefix("local/")
else:
    path = sysconfig.get_path("platlib", "posix_prefix", vars={"platbase": ".", "base": "."})
print(path.removeprefix("./"))
