#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Dumps a workbook's sheets and cells as JSON, read by independent readers
(openpyxl for .xlsx, xlrd for .xls), so tests compare what other programs see.

Output: {"reader": ..., "date1904": bool, "sheets": [{"name": ..., "cells":
[[row, column, kind, value], ...]}]} with zero-based rows and columns and the
kinds "s" text, "n" number, "d" number shown as a date (value: the serial
number in the workbook's date system), "b" boolean, "f" formula (value: its
text, .xlsx only), "e" error. Empty cells are left out. Exit status 1 and a
message on stderr when the file cannot be read.
"""
import datetime
import json
import sys


def serial_from_datetime(value, date1904):
    base = datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30)
    if isinstance(value, datetime.date) and not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    if isinstance(value, datetime.time):
        return (value.hour * 3600 + value.minute * 60 + value.second) / 86400.0
    delta = value - base
    serial = delta.days + delta.seconds / 86400.0
    if not date1904 and serial < 61:
        # Serials below 61 sit before the 29 February 1900 that the 1900
        # system counts; Python's calendar has no such day.
        serial -= 1
    return serial


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, data_only=False)
    date1904 = bool(book.epoch == openpyxl.utils.datetime.CALENDAR_MAC_1904)
    sheets = []
    for sheet in book.worksheets:
        cells = []
        for row in sheet.iter_rows():
            for cell in row:
                value = cell.value
                if value is None:
                    continue
                if cell.data_type == "f":
                    cells.append([cell.row - 1, cell.column - 1, "f", str(value)])
                elif cell.data_type == "b":
                    cells.append([cell.row - 1, cell.column - 1, "b", bool(value)])
                elif cell.data_type == "e":
                    cells.append([cell.row - 1, cell.column - 1, "e", str(value)])
                elif cell.is_date:
                    cells.append([cell.row - 1, cell.column - 1, "d",
                                  serial_from_datetime(value, date1904)])
                elif isinstance(value, (int, float)):
                    cells.append([cell.row - 1, cell.column - 1, "n", value])
                else:
                    cells.append([cell.row - 1, cell.column - 1, "s", str(value)])
        sheets.append({"name": sheet.title, "cells": cells})
    for chart in book.chartsheets:
        sheets.append({"name": chart.title, "cells": [], "chartsheet": True})
    return {"reader": "openpyxl", "date1904": date1904, "sheets": sheets}


def read_xls(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    sheets = []
    for sheet in book.sheets():
        cells = []
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                kind = cell.ctype
                if kind in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if kind == xlrd.XL_CELL_TEXT:
                    cells.append([r, c, "s", cell.value])
                elif kind == xlrd.XL_CELL_NUMBER:
                    cells.append([r, c, "n", cell.value])
                elif kind == xlrd.XL_CELL_DATE:
                    cells.append([r, c, "d", cell.value])
                elif kind == xlrd.XL_CELL_BOOLEAN:
                    cells.append([r, c, "b", bool(cell.value)])
                else:
                    cells.append([r, c, "e", str(cell.value)])
        sheets.append({"name": sheet.name, "cells": cells})
    return {"reader": "xlrd", "date1904": bool(book.datemode), "sheets": sheets}


def open_named_file(tool, opener):
    """The reader tools' start: opener(FILE) for the one argument FILE, as
    (result, None); or (None, exit status) after a usage line (2) or the
    reader's complaint (1) on stderr. Any reader failure is the test's
    finding, so it is reported, never raised."""
    if len(sys.argv) != 2:
        sys.stderr.write("usage: %s FILE\n" % tool)
        return None, 2
    try:
        return opener(sys.argv[1]), None
    except Exception as error:
        sys.stderr.write("cannot read %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return None, 1


def read_any(path):
    with open(path, "rb") as f:
        magic = f.read(8)
    return read_xlsx(path) if magic.startswith(b"PK") else read_xls(path)


def main():
    result, status = open_named_file("read_workbook.py", read_any)
    if status is not None:
        return status
    json.dump(result, sys.stdout, ensure_ascii=False)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
