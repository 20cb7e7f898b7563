#!/usr/bin/python3
"""Fails when an exported C function or a public Python name is undocumented.

    docs_check.py --xml DOXYGEN_XML --man3 MAN3_DIR --site HTML_DIR
                  --library LIB [--library LIB ...] [--module NAME ...]

C: every function a shared library exports (its dynamic symbol table, as
`nm -D` lists it) needs, in Doxygen's XML, a description, every parameter
described and its return values; a manual page MAN3_DIR/NAME.3; and an entry
in the site's index (objects.inv). Python: every public name of each module
(its __all__, else the functions and classes it defines whose names do not
start with "_"), and every public method, property and attribute of each
public class, needs a docstring that says more than a signature, and an
entry in the site's index. Prints what is missing and exits 1; prints the
counts and exits 0 when nothing is.
"""
import argparse
import importlib
import inspect
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

# A pybind11 docstring line that is only a signature: "name(args) -> type".
SIGNATURE = re.compile(r"^\s*[\w.]+\(.*\)(\s*->\s*.+)?\s*$")
# Members every class has from the builtins it derives from.
BUILTIN_BASES = (object, tuple, BaseException)


def exported_functions(library):
    """Names of the functions `library` exports."""
    listing = subprocess.run(["nm", "-D", "--defined-only", library], check=True,
                             capture_output=True, text=True).stdout
    return sorted(fields[2] for fields in (line.split() for line in listing.splitlines())
                  if len(fields) == 3 and fields[1] == "T")


def doxygen_functions(xml_dir):
    """{name: memberdef} of every function in Doxygen's XML of the headers."""
    found = {}
    for path in sorted(os.listdir(xml_dir)):
        if not path.endswith("_8h.xml"):
            continue
        for member in ET.parse(os.path.join(xml_dir, path)).iter("memberdef"):
            if member.get("kind") == "function":
                found[member.findtext("name")] = member
    return found


def text_of(node):
    return " ".join("".join(node.itertext()).split()) if node is not None else ""


def c_faults(member):
    """What the Doxygen entry of one function lacks."""
    if member is None:
        return ["not declared in a documented header"]
    faults = []
    if not text_of(member.find("briefdescription")):
        faults.append("no description")
    detail = member.find("detaileddescription")
    described = {text_of(item.find("parameternamelist"))
                 for plist in detail.iter("parameterlist") if plist.get("kind") == "param"
                 for item in plist.findall("parameteritem")}
    for param in member.findall("param"):
        name = param.findtext("declname")
        if name and name not in described:
            faults.append(f"parameter {name} not described")
    has_return = any(p.get("kind") == "retval" for p in detail.iter("parameterlist")) or \
        any(s.get("kind") == "return" for s in detail.iter("simplesect"))
    if text_of(member.find("type")) != "void" and not has_return:
        faults.append("return value not described")
    return faults


def check_c(exports, xml_dir, man3, inventory):
    """(problems, count) over `exports`, {library name: [function names]}."""
    problems, count = [], 0
    documented = doxygen_functions(xml_dir)
    entries = inventory.get("c:function", {})
    for library, names in exports.items():
        for name in names:
            count += 1
            faults = c_faults(documented.get(name))
            if not os.path.isfile(os.path.join(man3, name + ".3")):
                faults.append(f"no manual page {name}(3)")
            if name not in entries:
                faults.append("not in the site's C reference")
            problems += [f"{library}: {name}: {f}" for f in faults]
    return problems, count


def documented(obj):
    """True when `obj` has a docstring beyond a bare signature line."""
    # A class's own docstring: inspect.getdoc would fall back on a base
    # class's (Exception's, say), which says nothing about this one.
    doc = inspect.cleandoc(obj.__doc__ or "") if inspect.isclass(obj) else inspect.getdoc(obj)
    doc = doc or ""
    lines = [line for line in doc.splitlines() if line.strip()]
    if lines and SIGNATURE.match(lines[0]):
        lines = lines[1:]
    return bool(lines)


def public_names(module):
    """The public names of `module`."""
    names = getattr(module, "__all__", None)
    if names is not None:
        return list(names)
    return [name for name, value in vars(module).items()
            if not name.startswith("_") and (inspect.isfunction(value) or inspect.isclass(value))
            and getattr(value, "__module__", None) == module.__name__]


def public_members(cls):
    """The public members of `cls` beyond those of the builtins it derives
    from (a namedtuple's fields count; tuple's count and index do not)."""
    inherited = set()
    for base in BUILTIN_BASES:
        if issubclass(cls, base):
            inherited |= set(dir(base))
    return [name for name in dir(cls) if not name.startswith("_") and name not in inherited]


def check_python(modules, inventory):
    """(problems, count) over the public names of `modules`. A name counts
    as in the site when any Python object type of the index holds it."""
    entries = set()
    for kind, items in inventory.items():
        if kind.startswith("py:"):
            entries |= set(items)
    problems, count = [], 0

    def need(qualified, obj, doc_required=True):
        nonlocal count
        count += 1
        if doc_required and not documented(obj):
            problems.append(f"{qualified}: no docstring")
        if qualified not in entries:
            problems.append(f"{qualified}: not in the site's Python reference")

    for module in modules:
        if not documented(module):
            problems.append(f"{module.__name__}: no module docstring")
        for name in public_names(module):
            obj = getattr(module, name)
            qualified = f"{module.__name__}.{name}"
            # Plain values (numbers, tuples) cannot hold a docstring; autodoc
            # lists them only when the source documents them with #:.
            is_value = not (callable(obj) or inspect.ismodule(obj))
            need(qualified, obj, doc_required=not is_value)
            if inspect.isclass(obj):
                for member in public_members(obj):
                    # A method or a descriptor (property, field) holds a
                    # docstring; a plain class attribute (None, a number)
                    # is documented in its class's docstring.
                    attr = inspect.getattr_static(obj, member)
                    holds_doc = callable(attr) or hasattr(type(attr), "__get__")
                    need(f"{qualified}.{member}", attr, doc_required=holds_doc)
    return problems, count


def load_inventory(site):
    from sphinx.util.inventory import InventoryFile
    with open(os.path.join(site, "objects.inv"), "rb") as f:
        return InventoryFile.load(f, "", lambda base, uri: uri)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--xml", required=True, help="Doxygen's XML folder")
    parser.add_argument("--man3", required=True, help="the folder of the man3 pages")
    parser.add_argument("--site", required=True, help="the Sphinx HTML folder")
    parser.add_argument("--library", action="append", default=[], help="a shared library")
    parser.add_argument("--module", action="append", default=None,
                        help="a Python module (default: sivo and sivo.corpus)")
    args = parser.parse_args(argv)
    if os.environ.get("SIVO_PYTHONPATH"):
        sys.path.insert(0, os.environ["SIVO_PYTHONPATH"])
    inventory = load_inventory(args.site)
    exports = {os.path.basename(lib): exported_functions(lib) for lib in args.library}
    c_problems, c_count = check_c(exports, args.xml, args.man3, inventory)
    modules = [importlib.import_module(m) for m in (args.module or ["sivo", "sivo.corpus"])]
    py_problems, py_count = check_python(modules, inventory)
    for problem in c_problems + py_problems:
        print(f"undocumented: {problem}", file=sys.stderr)
    if c_problems or py_problems:
        print(f"docs_check.py: {len(c_problems) + len(py_problems)} faults", file=sys.stderr)
        return 1
    print(f"docs_check.py: {c_count} exported C functions and {py_count} public Python "
          f"names documented")
    return 0


if __name__ == "__main__":
    sys.exit(main())
