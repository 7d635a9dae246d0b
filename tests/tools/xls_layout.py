#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints what xlrd reads of an .xls workbook's sheet layout, one fact a line:

  width SHEET FIRST LAST WIDTH XF HIDDEN LEVEL  columns FIRST..LAST of equal
                            COLINFO fields (WIDTH in 1/256 of a character)
  frozen SHEET ROWS TOP PANE  when the sheet's panes are frozen: the row split,
                            the first row shown below it, the active pane
  name NAME SCOPE HIDDEN AREA  each defined name; AREA is SHEET:ROW1:ROW2:COL1:COL2
                            (ends exclusive) when it refers to one area, else -

SHEET and NAME as JSON strings. Exit status 1 and a message when xlrd cannot
read the file.
"""
import json
import os
import sys


def widths(sheet):
    """Runs of columns whose COLINFO fields are equal, in column order."""
    runs = []
    for column in sorted(sheet.colinfo_map):
        info = sheet.colinfo_map[column]
        fields = (info.width, info.xf_index, info.hidden, info.outline_level)
        if runs and runs[-1][1] == column - 1 and runs[-1][2] == fields:
            runs[-1][1] = column
        else:
            runs.append([column, column, fields])
    return runs


def area(name):
    try:
        sheet, rlo, rhi, clo, chi = name.area2d(clipped=False)
    except Exception:  # not a single area: a constant, a union, #REF!
        return "-"
    return "%d:%d:%d:%d:%d" % (name.book.sheet_names().index(sheet.name), rlo, rhi, clo, chi)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: xls_layout.py FILE\n")
        return 2
    try:
        import xlrd
        # xlrd dumps names it cannot take as one area to its log.
        book = xlrd.open_workbook(sys.argv[1], formatting_info=True,
                                  logfile=open(os.devnull, "w"))
        for sheet in book.sheets():
            label = json.dumps(sheet.name)
            for first, last, (width, xf, hidden, level) in widths(sheet):
                print("width %s %d %d %d %d %d %d" % (label, first, last, width, xf, hidden, level))
            if sheet.panes_are_frozen:
                print("frozen %s %d %d %d" % (label, sheet.horz_split_pos,
                                              sheet.horz_split_first_visible,
                                              sheet.split_active_pane))
        for name in book.name_obj_list:
            print("name %s %d %d %s" % (json.dumps(name.name), name.scope, name.hidden, area(name)))
    except Exception as error:  # any reader failure is the test's finding
        sys.stderr.write("cannot read %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
