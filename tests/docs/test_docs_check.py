"""The documentation check finds each kind of missing documentation, and
passes what is documented."""
import os
import sys
import types

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import docs_check  # noqa: E402


def member(name, brief="Does it.", params=("a",), described=("a",), retval=True):
    params_xml = "".join(f"<param><type>int</type><declname>{p}</declname></param>"
                         for p in params)
    items = "".join(
        f"<parameteritem><parameternamelist><parametername>{p}</parametername>"
        f"</parameternamelist><parameterdescription><para>x</para></parameterdescription>"
        f"</parameteritem>" for p in described)
    ret = ('<parameterlist kind="retval"><parameteritem><parameternamelist>'
           '<parametername>SIVO_OK</parametername></parameternamelist>'
           '<parameterdescription><para>always</para></parameterdescription>'
           '</parameteritem></parameterlist>') if retval else ""
    return (f'<memberdef kind="function"><type>int32_t</type><name>{name}</name>{params_xml}'
            f"<briefdescription><para>{brief}</para></briefdescription>"
            f'<detaileddescription><para><parameterlist kind="param">{items}</parameterlist>'
            f"{ret}</para></detaileddescription></memberdef>")


C_CASES = [
    # name, its Doxygen entry (None: not in any header), man page, in site, fault
    ("good", member("good"), True, True, None),
    ("no_brief", member("no_brief", brief=""), True, True, "no description"),
    ("one_param", member("one_param", params=("a", "b")), True, True,
     "parameter b not described"),
    ("no_return", member("no_return", retval=False), True, True,
     "return value not described"),
    ("no_page", member("no_page"), False, True, "no manual page no_page(3)"),
    ("not_in_site", member("not_in_site"), True, False, "not in the site's C reference"),
    ("undeclared", None, True, True, "not declared in a documented header"),
]


@pytest.mark.parametrize("name,entry,page,in_site,fault", C_CASES, ids=[c[0] for c in C_CASES])
def test_c_exports(tmp_path, name, entry, page, in_site, fault):
    xml = tmp_path / "xml"
    man3 = tmp_path / "man3"
    xml.mkdir()
    man3.mkdir()
    (xml / "lib_8h.xml").write_text(
        '<doxygen><compounddef kind="file"><sectiondef kind="func">'
        f'{entry or ""}</sectiondef></compounddef></doxygen>')
    if page:
        (man3 / f"{name}.3").write_text(".TH X 3\n")
    inventory = {"c:function": {name: ()} if in_site else {}}
    problems, count = docs_check.check_c({"libx.so": [name]}, str(xml), str(man3), inventory)
    assert count == 1
    assert problems == ([] if fault is None else [f"libx.so: {name}: {fault}"])


def make_module():
    """A module with one public name of each kind, documented or not."""
    module = types.ModuleType("pkg", "A package.")

    def documented():
        """Says what it does."""

    def bare():
        pass

    def signature_only():
        pass
    signature_only.__doc__ = "signature_only(x: int) -> int\n"

    class Error(Exception):
        pass  # would inherit Exception's docstring

    class Thing:
        """A thing."""
        count = None  # a plain attribute, described in the class docstring

        def said(self):
            """Says."""

        def unsaid(self):
            pass

        @property
        def size(self):
            pass

    for obj in (documented, bare, signature_only, Error, Thing):
        obj.__module__ = "pkg"
        setattr(module, obj.__name__, obj)
    module.LIMIT = 3
    module.__all__ = ["documented", "bare", "signature_only", "Error", "Thing", "LIMIT"]
    return module


def test_python_names():
    everything = ["pkg.documented", "pkg.bare", "pkg.signature_only", "pkg.Error",
                  "pkg.Thing", "pkg.Thing.count", "pkg.Thing.said", "pkg.Thing.unsaid",
                  "pkg.Thing.size"]  # pkg.LIMIT left out of the site
    problems, count = docs_check.check_python([make_module()], {"py:function": everything})
    assert count == 10
    assert sorted(problems) == sorted([
        "pkg.bare: no docstring",
        "pkg.signature_only: no docstring",
        "pkg.Error: no docstring",
        "pkg.Thing.unsaid: no docstring",
        "pkg.Thing.size: no docstring",
        "pkg.LIMIT: not in the site's Python reference",
    ])


def test_public_names_without_all():
    module = make_module()
    del module.__all__
    helper = types.FunctionType(make_module.__code__, {}, "_helper")
    helper.__module__ = "pkg"
    module._helper = helper
    module.os = os  # imported, not defined here
    assert sorted(docs_check.public_names(module)) == [
        "Error", "Thing", "bare", "documented", "signature_only"]
