#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks a grown .xls book for bench/xls_grow.sh.

usage: xls_grow_check.py GROWN BEFORE ALL_AT_ONCE SHEET

Prints "ok" when GROWN's sheet SHEET holds, cell for cell (kind, value and
number format, as xls_cells.py prints them), the sheet Data of ALL_AT_ONCE;
every other sheet of GROWN reads as in BEFORE, in the same order; and every
INDEX record xls_records.py walks is right. Otherwise prints what differs.
"""
import os
import subprocess
import sys

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools")


def run(tool, path):
    done = subprocess.run([sys.executable, os.path.join(TOOLS, tool), path],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit("%s fails on %s: %s" % (tool, path, done.stderr.strip()))
    return done.stdout.splitlines()


def sheets(path):
    """Sheet names in order, and each sheet's cell lines without the name."""
    order, cells = [], {}
    for line in run("xls_cells.py", path):
        if line.startswith("sheet "):
            name = line[len("sheet "):]
            order.append(name)
            cells[name] = []
        elif line.startswith("cell "):
            name = line[len("cell "):].split(" ", 1)[0]
            cells[name].append(line[len("cell ") + len(name):])
    return order, cells


def main():
    if len(sys.argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    grown, before, reference, sheet = sys.argv[1:]
    sheet = '"%s"' % sheet
    grown_order, grown_cells = sheets(grown)
    before_order, before_cells = sheets(before)
    _, reference_cells = sheets(reference)
    problems = []
    if grown_cells.get(sheet) != reference_cells['"Data"']:
        problems.append("sheet %s differs from the one converted at once" % sheet)
    others = [name for name in before_order if name != sheet]
    if [name for name in grown_order if name != sheet] != others:
        problems.append("sheets %s, before %s" % (grown_order, before_order))
    for name in others:
        if grown_cells.get(name) != before_cells[name]:
            problems.append("sheet %s changed" % name)
    for line in run("xls_records.py", grown):
        if line.startswith("index ") and not line.endswith(" ok"):
            problems.append(line)
    print("; ".join(problems) if problems else "ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
