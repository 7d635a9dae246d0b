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
import sys


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: xls_names.py FILE\n")
        return 2
    try:
        import xlrd
        book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
    except Exception as error:  # any reader failure is the test's finding
        sys.stderr.write("cannot read %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return 1
    for sheet in book.sheets():
        print("sheet %s %d %d" % (json.dumps(sheet.name), sheet.visibility, sheet.sheet_selected))
    for name in book.name_obj_list:
        print("name %s %d %d" % (json.dumps(name.name), name.scope, name.hidden))
    for book_index, first, last in book._externsheet_info:
        print("xti %d %d %d" % (book_index, first, last))
    return 0


if __name__ == "__main__":
    sys.exit(main())
