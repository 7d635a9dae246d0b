#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints what openpyxl reads of each sheet's layout, for tests that compare
against an expected listing.

usage: xlsx_layout.py FILE
       xlsx_layout.py --part FILE INDEX

Lines: per sheet "sheet NAME" (JSON string), then "freeze CELL" when it has
a frozen pane, "filter REF" when it has filter buttons, and one line per
column element with a width: "cols FIRST:LAST WIDTH", with "hidden" and
"outline N" when set. Then one line per defined name:
"name NAME local=SHEET|- hidden|- VALUE", as the workbook part has them.
With --part, prints the name of the part of the INDEX-th sheet (from 0).
"""
import os
import posixpath
import sys
import xml.etree.ElementTree as ET
import zipfile

from openpyxl import load_workbook
from openpyxl.utils import get_column_letter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402


MAIN_NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
R_ID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
REL_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def sheet_part(path, index):
    archive = zipfile.ZipFile(path)
    sheets = list(ET.fromstring(archive.read("xl/workbook.xml")).iter(MAIN_NS + "sheet"))
    wanted = sheets[index].get(R_ID)
    rels = ET.fromstring(archive.read("xl/_rels/workbook.xml.rels"))
    for rel in rels.iter(REL_NS + "Relationship"):
        if rel.get("Id") == wanted:
            return posixpath.normpath(posixpath.join("xl", rel.get("Target")))
    return ""


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--part":
        sys.stdout.write(sheet_part(sys.argv[2], int(sys.argv[3])))
        return 0
    book, status = read_workbook.open_named_file("xlsx_layout.py", load_workbook)
    if status is not None:
        return status
    out = []
    for sheet in book.worksheets:
        out.append('sheet "%s"' % sheet.title)
        if sheet.freeze_panes is not None:
            out.append("freeze " + sheet.freeze_panes)
        if sheet.auto_filter.ref:
            out.append("filter " + sheet.auto_filter.ref)
        for dimension in sorted(sheet.column_dimensions.values(), key=lambda d: d.min or 0):
            if not dimension.customWidth:
                continue
            line = "cols %s:%s %g" % (get_column_letter(dimension.min),
                                      get_column_letter(dimension.max), dimension.width)
            if dimension.hidden:
                line += " hidden"
            if dimension.outlineLevel:
                line += " outline %d" % dimension.outlineLevel
            out.append(line)
    # openpyxl drops the filter-range names on loading: the workbook part
    # is read for the names, in its order.
    workbook = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read("xl/workbook.xml"))
    for name in workbook.iter(MAIN_NS + "definedName"):
        hidden = name.get("hidden") in ("1", "true")
        out.append("name %s local=%s %s %s" % (name.get("name"), name.get("localSheetId", "-"),
                                              "hidden" if hidden else "-", name.text))
    sys.stdout.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
