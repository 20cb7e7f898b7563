# The documentation site: the guide (Markdown, read by MyST), the C reference
# (Doxygen's XML, read by breathe) and the Python reference (the package's
# docstrings, read by autodoc). The docs target of the CMake build runs it
# and passes, through the environment:
#   SIVO_DOXYGEN_XML  Doxygen's XML of the public headers
#   SIVO_PYTHONPATH   the folder holding the built `sivo` package
#   SIVO_VERSION      the project's version
import os
import re
import sys

if os.environ.get("SIVO_PYTHONPATH"):
    sys.path.insert(0, os.environ["SIVO_PYTHONPATH"])

project = "sivo"
author = "The sivo authors"
copyright = "The sivo authors"
release = version = os.environ.get("SIVO_VERSION", "")

extensions = [
    "myst_parser",
    "breathe",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "sphinx.ext.doctest",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = ["_build"]
templates_path = []

myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3

# The C reference.
breathe_projects = {"sivo": os.environ.get("SIVO_DOXYGEN_XML", "")}
breathe_default_project = "sivo"
breathe_domain_by_extension = {"h": "c"}
breathe_show_include = True
breathe_show_define_initializer = True

# The Python reference: signatures from the docstrings' first lines (the
# compiled classes carry theirs there), members in the order of the source.
autodoc_docstring_signature = True
autodoc_member_order = "bysource"
autodoc_typehints = "none"
napoleon_google_docstring = True
napoleon_numpy_docstring = False



def drop_self(app, what, name, obj, options, signature, return_annotation):
    """The compiled methods' signatures name `self` and its class; a method's
    page leaves both out, as it does for methods written in Python."""
    if what == "method" and signature and signature.startswith("(self"):
        rest = signature[1:-1].split(",", 1)
        signature = "(" + (rest[1].strip() if len(rest) > 1 else "") + ")"
    return signature, return_annotation


def repository_file(app, env, node, contnode):
    """A Markdown link to a file of the repository outside this folder
    (`../bench/README.md`, which works where the repository is browsed)
    shows that file's path in the site, which has no copy of it; a link to
    a file that does not exist still fails the build."""
    target = node.get("reftarget", "")
    # MyST asks with the reference type "any".
    if node.get("reftype") not in ("myst", "any") or "://" in target:
        return None
    folder = os.path.dirname(os.path.join(app.srcdir, node.get("refdoc", "")))
    path = os.path.normpath(os.path.join(folder, target.split("#")[0]))
    top = os.path.dirname(app.srcdir)
    if not os.path.exists(path) or not path.startswith(top + os.sep) or \
            path.startswith(app.srcdir + os.sep):
        return None
    from docutils import nodes
    shown = nodes.literal(text=os.path.relpath(path, top))
    if contnode.astext() in (target, shown.astext()):
        return shown
    return nodes.inline("", "", contnode, nodes.Text(" ("), shown, nodes.Text(")"))


def list_new_pages(app, docname, source):
    """Adds to the front page's contents, under "More", each page of this
    folder that its tables of contents do not name yet, so that a page
    written beside the others is in the site (and in no warning) at once."""
    if docname != root_doc:
        return
    text = source[0]
    listed = set(re.findall(r"^([\w/-]+)\s*$", text, re.M))
    pages = sorted(os.path.splitext(name)[0] for name in os.listdir(app.srcdir)
                   if name.endswith(".md") and name != root_doc + ".md")
    more = [page for page in pages if page not in listed]
    if more:
        source[0] = text + "\n```{toctree}\n:caption: More\n\n" + "\n".join(more) + "\n```\n"


def reread_front_page(app, env, added, changed, removed):
    """The front page is read again when pages come or go."""
    return [root_doc] if added or removed else []


def setup(app):
    app.connect("source-read", list_new_pages)
    app.connect("env-get-outdated", reread_front_page)
    app.connect("autodoc-process-signature", drop_self)
    app.connect("missing-reference", repository_file)


# The examples run as tests (sphinx-build -b doctest) in a folder of their
# own, with the speech recording Debian's codec2-examples installs.
doctest_global_setup = """
import os, shutil, tempfile
import numpy as np
import sivo
SPEECH = "/usr/share/codec2/raw/hts1a.raw"
_cwd, _scratch = os.getcwd(), tempfile.mkdtemp(prefix="sivo-doctest-")
os.chdir(_scratch)
"""
doctest_global_cleanup = """
os.chdir(_cwd)
shutil.rmtree(_scratch)
"""

html_theme = "alabaster"
html_title = f"sivo {release}"
html_theme_options = {
    "description": "A narrow-band speech codec",
    "fixed_sidebar": True,
    "page_width": "1100px",
    "sidebar_width": "240px",
}
html_show_sourcelink = False
html_copy_source = False
