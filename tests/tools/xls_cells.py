#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints an .xls workbook as read by xlrd, one line per fact, so C++ tests can
compare with plain string tables:

  date1904 0|1
  sheet NAME
  cell SHEET ROW COLUMN KIND VALUE FORMAT

KIND and VALUE as read_workbook.py gives them (text as a JSON string, numbers
by repr); FORMAT is the cell's number format string. Exit status 1 and a
message when the file cannot be read.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402


def read_both(path):
    """The cells as read_workbook.py reads them, and xlrd's book for the formats."""
    import xlrd
    return read_workbook.read_xls(path), xlrd.open_workbook(path, formatting_info=True)


def main():
    both, status = read_workbook.open_named_file("xls_cells.py", read_both)
    if status is not None:
        return status
    dump, book = both
    print("date1904 %d" % (1 if dump["date1904"] else 0))
    for sheet_dump, sheet in zip(dump["sheets"], book.sheets()):
        print("sheet %s" % json.dumps(sheet_dump["name"]))
        for row, column, kind, value in sheet_dump["cells"]:
            xf = book.xf_list[sheet.cell_xf_index(row, column)]
            fmt = book.format_map[xf.format_key].format_str
            if kind == "s":
                shown = json.dumps(value)
            elif kind == "b":
                shown = "true" if value else "false"
            else:
                shown = repr(float(value))
            print("cell %s %d %d %s %s %s" % (json.dumps(sheet_dump["name"]), row, column, kind, shown,
                                              json.dumps(fmt)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
