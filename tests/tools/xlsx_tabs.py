#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints what openpyxl reads of an .xlsx workbook's tabs and defined names:

  sheet NAME STATE SELECTED   (NAME as a JSON string; STATE visible, hidden or
                               veryHidden; SELECTED 1 when its tab is selected)
  active INDEX                (the tab shown on opening, from 0)
  name NAME SHEET VALUE       (SHEET the local sheet's index, -1 for the
                               workbook; VALUE the formula as a JSON string)

Exit status 1 and a message when openpyxl cannot read the file.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402


def open_book(path):
    import openpyxl
    return openpyxl.load_workbook(path)


def main():
    book, status = read_workbook.open_named_file("xlsx_tabs.py", open_book)
    if status is not None:
        return status
    for sheet in book.worksheets + book.chartsheets:
        selected = 1 if getattr(sheet, "sheet_view", None) and sheet.sheet_view.tabSelected else 0
        print("sheet %s %s %d" % (json.dumps(sheet.title), sheet.sheet_state, selected))
    print("active %d" % book.index(book.active))
    for name in book.defined_names.definedName:
        local = -1 if name.localSheetId is None else int(name.localSheetId)
        print("name %s %d %s" % (json.dumps(name.name), local, json.dumps(name.attr_text)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
