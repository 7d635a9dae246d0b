#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks a workbook that was loaded, changed and saved against its original.

usage: xlsx_compare.py ORIGINAL SAVED [--changed SHEET]... [--removed SHEET]...
                       [--replaced SHEET]...

Checks, with Python's zipfile and openpyxl:
- every part of ORIGINAL still in SAVED, other than the few package parts
  that list sheets and styles (the document properties among them) and the
  parts of --changed and --replaced sheets, is
  identical both inflated and in its stored (compressed) bytes;
- every sheet of ORIGINAL that is neither --changed, --replaced nor
  --removed reads back with the same cells (values and formulas); a
  --replaced sheet is there under its name, in a part of its own;
- the package is consistent: every internal relationship target and every
  content-type override names a part that exists, defined names point at
  existing sheets, the active and first tabs are in range.
Prints each problem; exit status 0 when there is none.
"""
import os
import posixpath
import re
import struct
import sys
import zipfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402

REL_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
MAIN_NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
R_ID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
CT_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"
LISTING_PARTS = {"[content_types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                 "xl/styles.xml", "docprops/app.xml"}


def stored_bytes(archive, info):
    with open(archive.filename, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
        name_length, extra_length = struct.unpack("<HH", header[26:30])
        f.seek(info.header_offset + 30 + name_length + extra_length)
        return f.read(info.compress_size)


def sheet_parts(archive):
    """Sheet name -> part name (lower case), in workbook order."""
    rels = ET.fromstring(archive.read("xl/_rels/workbook.xml.rels"))
    targets = {r.get("Id"): posixpath.normpath(posixpath.join("xl", r.get("Target")))
               for r in rels.iter(REL_NS + "Relationship")}
    book = ET.fromstring(archive.read("xl/workbook.xml"))
    return [(s.get("name"), targets.get(s.get(R_ID), "").lower())
            for s in book.iter(MAIN_NS + "sheet")]


def consistency(archive, problems):
    names = {n.lower() for n in archive.namelist()}
    for name in archive.namelist():
        if not name.endswith(".rels"):
            continue
        folder = posixpath.dirname(posixpath.dirname(name))
        for rel in ET.fromstring(archive.read(name)).iter(REL_NS + "Relationship"):
            if rel.get("TargetMode") == "External":
                continue
            target = rel.get("Target")
            path = target[1:] if target.startswith("/") else posixpath.normpath(
                posixpath.join(folder, target))
            if path.lower() not in names:
                problems.append("%s points at missing part %s" % (name, path))
    types = ET.fromstring(archive.read("[Content_Types].xml"))
    for override in types.iter(CT_NS + "Override"):
        if override.get("PartName").lstrip("/").lower() not in names:
            problems.append("content type for missing part " + override.get("PartName"))
    book = ET.fromstring(archive.read("xl/workbook.xml"))
    count = len(list(book.iter(MAIN_NS + "sheet")))
    for name in book.iter(MAIN_NS + "definedName"):
        local = name.get("localSheetId")
        if local is not None and int(local) >= count:
            problems.append("defined name %s points at sheet %s of %d" % (name.get("name"), local, count))
    for view in book.iter(MAIN_NS + "workbookView"):
        for attribute in ("activeTab", "firstSheet"):
            if view.get(attribute) is not None and int(view.get(attribute)) >= count:
                problems.append("%s %s is beyond %d sheets" % (attribute, view.get(attribute), count))


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        sys.stderr.write(__doc__)
        return 2
    original_path, saved_path = args[0], args[1]
    changed, removed, replaced = set(), set(), set()
    rest = args[2:]
    while rest:
        flag, value = rest[0], rest[1]
        {"--changed": changed, "--replaced": replaced}.get(flag, removed).add(value)
        rest = rest[2:]
    changed |= replaced
    problems = []
    original = zipfile.ZipFile(original_path)
    saved = zipfile.ZipFile(saved_path)
    if saved.testzip() is not None:
        problems.append("CRC error in " + saved.testzip())
    changed_parts = {part for name, part in sheet_parts(original) if name in changed}
    saved_names = {i.filename.lower(): i for i in saved.infolist()}
    for info in original.infolist():
        key = info.filename.lower()
        if key in LISTING_PARTS or key in changed_parts or key not in saved_names:
            continue
        other = saved_names[key]
        if original.read(info) != saved.read(other):
            problems.append("part %s changed" % info.filename)
        elif stored_bytes(original, info) != stored_bytes(saved, other):
            problems.append("part %s was recompressed" % info.filename)
    for name, part in sheet_parts(original):
        if name not in removed and name not in replaced and part not in saved_names:
            problems.append("part %s of kept sheet %s is gone" % (part, name))
    for name, part in sheet_parts(original):
        if name in removed and part in saved_names:
            problems.append("part %s of removed sheet %s is still there" % (part, name))
    before = {s["name"]: s for s in read_workbook.read_xlsx(original_path)["sheets"]}
    after = {s["name"]: s for s in read_workbook.read_xlsx(saved_path)["sheets"]}
    for name, sheet in before.items():
        if name in removed:
            if name in after:
                problems.append("removed sheet %s is still there" % name)
            continue
        if name in changed:
            if name not in after:
                problems.append("sheet %s is gone" % name)
            continue
        if name not in after:
            problems.append("sheet %s is gone" % name)
        elif after[name] != sheet:
            problems.append("sheet %s reads back differently" % name)
    consistency(saved, problems)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
