#!/usr/bin/python3
"""Writes the C reference's manual pages from Doxygen's XML.

    docs_man3.py XML_DIR MAN3_DIR VERSION

One page per exported function (sivo_encode_frame(3), SivoEncode(3), ...),
holding its synopsis, description, parameters, return values and the
threading and buffer rules of its header, and one page per header
(sivocore(3), sivowav(3)) listing its constants, types and functions.
Doxygen's own man output gives a page per header only, with the functions as
links into it; these pages stand alone.
"""
import os
import sys
import xml.etree.ElementTree as ET

# The library each header belongs to, for the synopsis's link line.
LIBRARIES = {"sivocore.h": "sivocore", "sivowav.h": "sivowav"}


def escape(text):
    """Text made safe for roff: backslashes doubled, hyphens as \\-."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def line_safe(text):
    """A roff text line that cannot be read as a request."""
    return "\\&" + text if text[:1] in (".", "'") else text


def inline(node):
    """The roff text of a paragraph's inline content (refs, code, emphasis)."""
    parts = [escape(node.text or "")]
    for child in node:
        if child.tag in ("parameterlist", "simplesect", "programlisting",
                         "itemizedlist", "orderedlist"):
            pass  # block content, rendered by blocks()
        elif child.tag in ("computeroutput", "bold"):
            parts.append("\\fB" + inline(child) + "\\fR")
        elif child.tag == "emphasis":
            parts.append("\\fI" + inline(child) + "\\fR")
        elif child.tag == "sp":
            parts.append(" ")
        else:  # ref, ulink and other wrappers: their text
            parts.append(inline(child))
        parts.append(escape(child.tail or ""))
    return "".join(parts)


def code_lines(listing):
    """The lines of a <programlisting>, as plain text."""
    lines = []
    for codeline in listing.iter("codeline"):
        text = []
        for node in codeline.iter():
            if node.tag == "sp":
                text.append(" ")
            elif node.text and node.tag != "codeline":
                text.append(node.text)
            if node is not codeline and node.tail:
                text.append(node.tail)
        lines.append("".join(text))
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def blocks(description, skip=("param", "retval", "return", "par")):
    """The roff lines of a description's paragraphs, leaving out the
    sections listed in `skip` (the caller renders those itself)."""
    out = []
    for para in description.findall("para"):
        text = inline(para).strip()
        if text:
            out += [".PP", line_safe(" ".join(text.split()))]
        for child in para:
            if child.tag == "programlisting":
                out += [".PP", ".RS 4", ".nf"]
                out += [line_safe(escape(line)) for line in code_lines(child)]
                out += [".fi", ".RE"]
            elif child.tag in ("itemizedlist", "orderedlist"):
                for item in child.findall("listitem"):
                    body = " ".join(" ".join(inline(p).split()) for p in item.findall("para"))
                    out += [".IP \\(bu 2", line_safe(body)]
            elif child.tag == "simplesect" and child.get("kind") not in skip:
                title = child.findtext("title") or child.get("kind").capitalize()
                out += [".PP", "\\fB" + escape(title) + "\\fR"]
                out += blocks(child, skip)
    return out


def sections(description, kind):
    """{title: paragraphs} of the description's @par sections."""
    found = {}
    for sect in description.iter("simplesect"):
        if sect.get("kind") == kind:
            found[sect.findtext("title") or ""] = sect
    return found


def parameter_items(description, kind):
    """[(name, direction, roff text)] of the @param or @retval list."""
    items = []
    for plist in description.iter("parameterlist"):
        if plist.get("kind") != kind:
            continue
        for item in plist.findall("parameteritem"):
            name = item.find("parameternamelist/parametername")
            body = " ".join(" ".join(inline(p).split())
                            for p in item.findall("parameterdescription/para"))
            items.append(("".join(name.itertext()).strip(), name.get("direction") or "", body))
    return items


def plain(node):
    return " ".join("".join(node.itertext()).split()) if node is not None else ""


def family(name):
    """The functions a page refers to: the encoder's, the decoder's, or the
    WAV job's."""
    return "encode" if "_encode" in name else "decode" if "_decode" in name else "job"


def title_header(name, version):
    return [f'.TH "{name.upper()}" 3 "" "sivo {version}" "sivo Library Functions"']


def function_page(member, header, siblings, rules, version):
    name = member.findtext("name")
    brief = plain(member.find("briefdescription")).rstrip(".")
    detail = member.find("detaileddescription")
    params = [(plain(p.find("type")), p.findtext("declname") or "")
              for p in member.findall("param")]
    out = title_header(name, version)
    out += [".SH NAME", f"{name} \\- {escape(brief)}"]
    out += [".SH SYNOPSIS", ".nf", f".B #include <{header}>", ".PP"]
    ret = plain(member.find("type"))
    head = f"{ret} {name}("
    if not params or params == [("void", "")]:
        out.append(f'.B "{head}void);"')
    for i, (ptype, pname) in enumerate(p for p in params if p != ("void", "")):
        lead = head if i == 0 else " " * len(head)
        gap = "" if ptype.endswith("*") else " "
        end = ");" if i == len(params) - 1 else ","
        out.append(f'.BI "{lead}{ptype}{gap}" {pname} "{end}"')
    out += [".fi", ".PP", f"Link with \\fI\\-l{LIBRARIES.get(header, 'sivocore')}\\fR."]
    out += [".SH DESCRIPTION", line_safe(escape(plain(member.find("briefdescription"))))]
    out += blocks(detail)
    params_doc = parameter_items(detail, "param")
    if params_doc:
        out.append(".SH PARAMETERS")
        for pname, direction, body in params_doc:
            direction = direction.replace("inout", "in,out")
            out += [".TP", f'.BR "{pname}" " [{direction}]"' if direction else f".B {pname}",
                    line_safe(body)]
    retvals = parameter_items(detail, "retval")
    returns = sections(detail, "return")
    if retvals or returns:
        out.append(".SH RETURN VALUE")
        for sect in returns.values():
            out.append(line_safe(" ".join(" ".join(inline(p).split())
                                          for p in sect.findall("para"))))
        for value, _, body in retvals:
            out += [".TP", f".B {escape(value)}", line_safe(body)]
    for title, sect in rules.items():
        out += [f".SH {title.upper()}"] + blocks(sect)[1:]
    related = [s for s in siblings if s != name and family(s) == family(name)]
    out += [".SH SEE ALSO", ",\n".join(f".BR {s} (3)" for s in [header[:-2]] + related)]
    return out


def header_page(compound, header, functions, version):
    stem = header[:-2]
    out = title_header(stem, version)
    out += [".SH NAME", f"{stem} \\- " +
            escape(plain(compound.find("briefdescription")).split(" - ", 1)[-1].rstrip("."))]
    out += [".SH SYNOPSIS", ".nf", f".B #include <{header}>", ".fi", ".PP",
            f"Link with \\fI\\-l{LIBRARIES.get(header, stem)}\\fR."]
    out += [".SH DESCRIPTION"] + blocks(compound.find("detaileddescription"), skip=())[1:]
    defines = [m for m in compound.iter("memberdef") if m.get("kind") == "define"]
    if defines:
        out.append(".SH CONSTANTS")
        for m in defines:
            value = plain(m.find("initializer"))
            out += [".TP", f".BR {m.findtext('name')} \" {escape(value)}\"",
                    line_safe(escape(plain(m.find("briefdescription")).rstrip(".")))]
    typedefs = [m for m in compound.iter("memberdef") if m.get("kind") == "typedef"]
    if typedefs:
        out.append(".SH TYPES")
        for m in typedefs:
            out += [".TP", f".B {m.findtext('name')}",
                    line_safe(escape(plain(m.find("briefdescription"))))]
    out.append(".SH FUNCTIONS")
    for m in functions:
        out += [".TP", f".BR {m.findtext('name')} (3)",
                line_safe(escape(plain(m.find("briefdescription"))))]
    return out


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: docs_man3.py XML_DIR MAN3_DIR VERSION")
    xml_dir, man3, version = argv[1:]
    os.makedirs(man3, exist_ok=True)
    index = ET.parse(os.path.join(xml_dir, "index.xml")).getroot()
    written = 0
    for entry in index.findall("compound[@kind='file']"):
        compound = ET.parse(os.path.join(xml_dir, entry.get("refid") + ".xml")).getroot()
        compound = compound.find("compounddef")
        header = compound.findtext("compoundname")
        functions = [m for m in compound.iter("memberdef") if m.get("kind") == "function"]
        if not functions:
            continue
        rules = sections(compound.find("detaileddescription"), "par")
        rules = {t: s for t, s in rules.items() if t in ("Threading", "Buffers", "Errors")}
        names = [m.findtext("name") for m in functions]
        pages = {header[:-2]: header_page(compound, header, functions, version)}
        for m in functions:
            pages[m.findtext("name")] = function_page(m, header, names, rules, version)
        for name, lines in pages.items():
            with open(os.path.join(man3, name + ".3"), "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            written += 1
    if written == 0:
        sys.exit(f"docs_man3.py: no documented functions in {xml_dir}")
    print(f"docs_man3.py: {written} pages in {man3}")


if __name__ == "__main__":
    main(sys.argv)
