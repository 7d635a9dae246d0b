#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the XML parts of an .xlsx package against the ECMA-376 schemas.

usage: xlsx_schema_check.py PACKAGE [--original ORIGINAL]

Every XML part ([Content_Types].xml and each part whose content type, from
[Content_Types].xml, is XML) is checked with `xmllint --noout --schema` against
the schema for its content type, and its root element must be the one that
content type names. A part whose content type has no schema here, a part
with no content type, or an XML part that is not well formed is a problem.
With --original, parts whose inflated bytes and content type equal those of
the same part of ORIGINAL are passed over: they were copied, not written.
The schemas are those in tests/data/ooxml-schemas. Prints each problem;
exit status 0 when there is none.
"""
import os
import posixpath
import re
import subprocess
import sys
import tempfile
import zipfile
import xml.etree.ElementTree as ET

SCHEMA_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                          "data", "ooxml-schemas")
CT_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"
SML = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
SML_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml."

# Content type -> (schema, root element as {namespace}name).
SCHEMAS = {
    SML_TYPE + "sheet.main+xml": ("sml.xsd", SML, "workbook"),
    SML_TYPE + "template.main+xml": ("sml.xsd", SML, "workbook"),
    SML_TYPE + "worksheet+xml": ("sml.xsd", SML, "worksheet"),
    SML_TYPE + "chartsheet+xml": ("sml.xsd", SML, "chartsheet"),
    SML_TYPE + "styles+xml": ("sml.xsd", SML, "styleSheet"),
    SML_TYPE + "sharedStrings+xml": ("sml.xsd", SML, "sst"),
    SML_TYPE + "calcChain+xml": ("sml.xsd", SML, "calcChain"),
    SML_TYPE + "table+xml": ("sml.xsd", SML, "table"),
    SML_TYPE + "comments+xml": ("sml.xsd", SML, "comments"),
    "application/vnd.openxmlformats-officedocument.theme+xml":
        ("dml-main.xsd", "http://schemas.openxmlformats.org/drawingml/2006/main", "theme"),
    "application/vnd.openxmlformats-officedocument.drawing+xml":
        ("dml-spreadsheetDrawing.xsd",
         "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing", "wsDr"),
    "application/vnd.openxmlformats-officedocument.extended-properties+xml":
        ("shared-documentPropertiesExtended.xsd",
         "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties",
         "Properties"),
    "application/vnd.openxmlformats-package.core-properties+xml":
        ("core-properties.xsd",
         "http://schemas.openxmlformats.org/package/2006/metadata/core-properties",
         "coreProperties"),
    "application/vnd.openxmlformats-package.relationships+xml":
        ("opc-xsd/opc-relationships.xsd",
         "http://schemas.openxmlformats.org/package/2006/relationships", "Relationships"),
}
CONTENT_TYPES = ("opc-xsd/opc-contentTypes.xsd",
                 "http://schemas.openxmlformats.org/package/2006/content-types", "Types")


def is_xml(content_type):
    return content_type.endswith("+xml") or content_type in ("application/xml", "text/xml")


def content_types(archive):
    """Part name (lower case, no leading slash) -> content type, by override
    or else by the extension's default."""
    root = ET.fromstring(archive.read("[Content_Types].xml"))
    defaults = {d.get("Extension", "").lower(): d.get("ContentType", "")
                for d in root.iter(CT_NS + "Default")}
    overrides = {o.get("PartName", "").lstrip("/").lower(): o.get("ContentType", "")
                 for o in root.iter(CT_NS + "Override")}
    types = {}
    for name in archive.namelist():
        if name.endswith("/") or name == "[Content_Types].xml":
            continue
        key = name.lower()
        base = posixpath.basename(key)
        extension = base.rsplit(".", 1)[1] if "." in base else ""
        types[name] = overrides.get(key, defaults.get(extension))
    return types


def root_of(path):
    for _, element in ET.iterparse(path, events=("start",)):
        return element.tag
    return None


# xml:space is XML's own attribute, which any element may carry and Excel
# writes on text elements; the schemas do not declare it, so it is checked
# here and taken out before xmllint sees the part.
SPACE = re.compile(rb'\sxml:space\s*=\s*("[^"]*"|\'[^\']*\')')


def without_xml_space(name, data, problems):
    for match in SPACE.finditer(data):
        if match.group(1)[1:-1] not in (b"preserve", b"default"):
            problems.append("%s: xml:space=%s" % (name, match.group(1).decode("utf-8", "replace")))
            break
    return SPACE.sub(b"", data)


def check_part(name, data, expected, folder, env):
    schema, namespace, element = expected
    path = os.path.join(folder, "part.xml")
    problems = []
    with open(path, "wb") as f:
        f.write(without_xml_space(name, data, problems))
    try:
        root = root_of(path)
    except ET.ParseError as error:
        return problems + ["%s: not well-formed XML: %s" % (name, error)]
    if root != "{%s}%s" % (namespace, element):
        problems.append("%s: root element %s, expected {%s}%s" % (name, root, namespace, element))
    try:
        result = subprocess.run(
            ["xmllint", "--nonet", "--noout", "--stream", "--schema",
             os.path.join(SCHEMA_DIR, schema), path],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    except FileNotFoundError:
        return problems + ["%s: not checked: no xmllint (Debian's libxml2-utils)" % name]
    if result.returncode != 0:
        said = result.stdout.decode("utf-8", "replace").replace(path, name).strip()
        # A huge part can fail on every row; the first complaints tell enough.
        lines = said.splitlines()
        if len(lines) > 12:
            lines = lines[:12] + ["... %d more lines" % (len(lines) - 12)]
        problems.append("%s: fails %s:\n  %s" % (name, schema, "\n  ".join(lines)))
    return problems


def main():
    args = sys.argv[1:]
    original = None
    if len(args) == 3 and args[1] == "--original":
        original = args[2]
        args = args[:1]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    env = dict(os.environ, XML_CATALOG_FILES=os.path.join(SCHEMA_DIR, "catalog.xml"))
    problems = []
    with zipfile.ZipFile(args[0]) as archive, tempfile.TemporaryDirectory() as folder:
        old = {}
        old_types = {}
        if original is not None:
            with zipfile.ZipFile(original) as before:
                old = {name: before.read(name) for name in before.namelist()}
                old_types = content_types(before)
        types = content_types(archive)

        def copied(name):
            return (original is not None and archive.read(name) == old.get(name) and
                    types.get(name) == old_types.get(name))

        parts = [("[Content_Types].xml", CONTENT_TYPES)]
        for name, content_type in sorted(types.items()):
            if content_type is None:
                if not copied(name):
                    problems.append("%s: no content type" % name)
            elif content_type in SCHEMAS:
                parts.append((name, SCHEMAS[content_type]))
            elif is_xml(content_type):
                parts.append((name, None))
        checked = 0
        for name, expected in parts:
            if copied(name):
                continue
            data = archive.read(name)
            if expected is None:
                problems.append("%s: written, but no schema here for its content type" % name)
                continue
            problems += check_part(name, data, expected, folder, env)
            checked += 1
    for problem in problems:
        print(problem)
    if not problems:
        print("%d parts valid" % checked)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
