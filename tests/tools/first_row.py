#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints each sheet's first row as openpyxl (.xlsx) or xlrd (.xls) reads it,
one line per sheet: the name, a tab, then either "!" when the row holds a
cell that is not a text, or the texts by column joined by tabs (a gap is an
empty text; empty texts at the end are left out). Tabs, line feeds and
backslashes inside texts are written as \\t, \\n and \\\\."""
import sys

import read_workbook


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        zipped = f.read(2) == b"PK"
    data = read_workbook.read_xlsx(path) if zipped else read_workbook.read_xls(path)
    for sheet in data["sheets"]:
        row = {c: (k, v) for r, c, k, v in sheet["cells"] if r == 0}
        if any(kind != "s" for kind, _ in row.values()):
            line = "!"
        else:
            texts = [row[c][1] if c in row else "" for c in range(max(row, default=-1) + 1)]
            while texts and texts[-1] == "":
                texts.pop()
            line = "\t".join(escaped(text) for text in texts)
        sys.stdout.write(escaped(sheet["name"]) + "\t" + line + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
