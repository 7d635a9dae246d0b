#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints a workbook's cells one per line, as openpyxl reads them, for tests
that compare against an expected table.

usage: xlsx_cells.py FILE

Lines: "date1904 true|false", then per sheet "sheet NAME" (JSON string) and
its cells "ROW COLUMN KIND VALUE" with zero-based row and column, the kinds of
read_workbook.py and the value as JSON. Text values have the spreadsheet's
_xHHHH_ escapes decoded (openpyxl's own unescape), as Excel shows them.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402
from openpyxl.utils.escape import unescape  # noqa: E402


def main():
    book, status = read_workbook.open_named_file("xlsx_cells.py", read_workbook.read_xlsx)
    if status is not None:
        return status
    out = ["date1904 " + ("true" if book["date1904"] else "false")]
    for sheet in book["sheets"]:
        out.append("sheet " + json.dumps(sheet["name"], ensure_ascii=False)
                   + (" chart" if sheet.get("chartsheet") else ""))
        for row, column, kind, value in sheet["cells"]:
            if kind == "s":
                value = unescape(value)
            out.append("%d %d %s %s" % (row, column, kind, json.dumps(value, ensure_ascii=False)))
    sys.stdout.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
