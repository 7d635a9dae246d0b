#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints what xlrd reads of an .xls workbook's sheets and sheet references:

  sheet NAME HIDDEN SELECTED (NAME as a JSON string; HIDDEN 0 visible, 1 hidden,
                              2 very hidden; SELECTED 1 when its tab is selected)
  name NAME SCOPE HIDDEN     (SCOPE -1 for the workbook)
  xti BOOK FIRST LAST        (one per EXTERNSHEET entry)

Exit status 1 and a message when xlrd cannot read the file.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402


def open_book(path):
    import xlrd
    return xlrd.open_workbook(path, formatting_info=True)


def main():
    book, status = read_workbook.open_named_file("xls_names.py", open_book)
    if status is not None:
        return status
    for sheet in book.sheets():
        print("sheet %s %d %d" % (json.dumps(sheet.name), sheet.visibility, sheet.sheet_selected))
    for name in book.name_obj_list:
        print("name %s %d %d" % (json.dumps(name.name), name.scope, name.hidden))
    for book_index, first, last in book._externsheet_info:
        print("xti %d %d %d" % (book_index, first, last))
    return 0


if __name__ == "__main__":
    sys.exit(main())
