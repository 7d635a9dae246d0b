#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Converts a workbook to .xlsx with LibreOffice (headless, a profile of its
own in OUTDIR) and prints what openpyxl finds of the first sheet's layout:

  freeze CELL              the top-left cell of the scrolling pane, if frozen
  filter RANGE             the autofilter's range, if any
  width FIRST:LAST CHARACTERS  columns with a width of their own, rounded

Exit status 1 and a message when the conversion or the reading fails.
"""
import os
import subprocess
import sys


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: office_layout.py FILE OUTDIR\n")
        return 2
    source, outdir = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(outdir, exist_ok=True)
    profile = "file://" + os.path.join(outdir, "profile")
    try:
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "xlsx", "--outdir", outdir, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       timeout=300)
        import openpyxl
        name = os.path.splitext(os.path.basename(source))[0] + ".xlsx"
        sheet = openpyxl.load_workbook(os.path.join(outdir, name)).worksheets[0]
    except Exception as error:  # any failure is the test's finding
        sys.stderr.write("cannot convert %s: %s: %s\n" % (source, type(error).__name__, error))
        return 1
    if sheet.freeze_panes:
        print("freeze %s" % sheet.freeze_panes)
    if sheet.auto_filter.ref:
        print("filter %s" % sheet.auto_filter.ref)
    from openpyxl.utils import get_column_letter
    for dimension in sorted(sheet.column_dimensions.values(), key=lambda d: d.min or 0):
        if dimension.customWidth and dimension.width:
            print("width %s:%s %d" % (get_column_letter(dimension.min),
                                      get_column_letter(dimension.max), round(dimension.width)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
