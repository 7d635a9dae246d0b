#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the Windows wizard's walks under 64-bit Wine (on the display the
caller provides) and reads the workbooks they wrote back with openpyxl.

    run_walks.py WALK_EXE WORK_FOLDER QUENDLE_EXE

Each row of WALKS names a scenario of quendle_wizard_walk.exe, the command
line it starts with, and what must be in the workbook afterwards. Exit status
0 when every walk passed."""
import json
import os
import subprocess
import sys
import time

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools")
PYTHON = "/usr/bin/python3"  # the interpreter Debian's openpyxl belongs to
SOURCE_TEXT = "name,amount\nAlpha,1\nBeta,2.5\nGamma,-3\n"

# scenario, input, output, parameters after the walk's own, expected cells
# (row, column, kind, value) or None when no workbook may appear.
WALKS = [
    # By hand: all-text unticked, so the amounts are numbers.
    # Its sheet name holds characters cmd.exe takes as commands outside quotes:
    # the copied command line must run as it stands.
    ("walk", "good.csv", "walk.xlsx", ["--", "/TABLENAME=a&b^c(d)"],
     [(0, 0, "s", "name"), (1, 0, "s", "Alpha"), (2, 1, "n", 2.5), (3, 1, "n", -3)]),
    # BATCH from the command line: the defaults keep every field as text.
    ("batch", "good.csv", "batch.xlsx", ["--", "{input}", "{output}", "/BATCH"],
     [(1, 0, "s", "Alpha"), (2, 1, "s", "2.5")]),
    ("batch-wait", "good.csv", "wait.xls",
     ["--", "{input}", "{output}", "/BATCH", "/WAIT", '/TABLENAME=q"&echo hi&"'],
     [(1, 0, "s", "Alpha"), (3, 1, "s", "-3")]),
    # An existing file that is no workbook, kept: the run fails; Back and
    # another name convert into broken-fixed.xlsx.
    ("failure", "good.csv", "broken.xlsx", [], None),
    # The same unattended: no box waits, the reason goes to stderr.
    ("batch-failure", "good.csv", "broken.xlsx",
     ["--", "{input}", "{output}", "/BATCH", "/OVERWRITE=0"], None),
    ("missing", "absent.csv", "never.xlsx", [], None),
    ("missing-box", "absent.csv", "never.xlsx", [], None),
    # Cancelled on the progress page: the rows written so far are saved.
    ("cancel", "long.csv", "cancel.xlsx", [], [(0, 0, "s", "name"), (1, 0, "s", "item 0")]),
]
# Enough that no machine converts them all in the moments the cancel takes.
LONG_RECORDS = 1000000


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def cells_of(path):
    dump = subprocess.run([PYTHON, os.path.join(TOOLS, "read_workbook.py"), path],
                          capture_output=True, text=True, timeout=60)
    if dump.returncode != 0:
        raise AssertionError("cannot read %s: %s" % (path, dump.stderr.strip()))
    sheets = json.loads(dump.stdout)["sheets"]
    return {(r, c): (kind, value) for r, c, kind, value in sheets[0]["cells"]}


def run_walk(exe, program, work, scenario, source, output, parameters, expected):
    folder = os.path.join(work, scenario)
    os.makedirs(folder, exist_ok=True)
    source_path = os.path.join(folder, source)
    output_path = os.path.join(folder, output)
    if source == "long.csv":
        with open(source_path, "w", newline="") as f:
            f.write("name,amount\n")
            f.writelines("item %d,%d\n" % (i, i) for i in range(LONG_RECORDS))
    elif source != "absent.csv":
        with open(source_path, "w", newline="") as f:
            f.write(SOURCE_TEXT)
    broken = b"this is not a workbook\n"
    if scenario in ("failure", "batch-failure"):
        with open(output_path, "wb") as f:
            f.write(broken)
    elif os.path.exists(output_path):
        os.remove(output_path)
    names = {"input": windows_path(source_path), "output": windows_path(output_path)}
    command = ["wine", exe, scenario, names["input"], names["output"]]
    command += [p.format(**names) for p in parameters]
    started = time.monotonic()
    environment = dict(os.environ, QUENDLE_PROGRAM=windows_path(program))
    result = subprocess.run(command, capture_output=True, text=True, timeout=240,
                            env=environment)
    seconds = time.monotonic() - started
    problems = [line for line in result.stderr.splitlines() if line.startswith("FAILED")]
    if result.returncode != 0:
        problems.append("exit status %d" % result.returncode)
    if expected is None:
        if scenario in ("failure", "batch-failure"):
            with open(output_path, "rb") as f:
                if f.read() != broken:
                    problems.append("the failed run changed the existing file")
        elif os.path.exists(output_path):
            problems.append("a workbook appeared: %s" % output_path)
        if scenario == "failure":
            try:
                if cells_of(output_path[:-5] + "-fixed.xlsx").get((1, 0)) != ("s", "Alpha"):
                    problems.append("the run after Back did not convert")
            except AssertionError as error:
                problems.append(str(error))
        if scenario == "batch-failure" and \
                "Error: Cannot open the existing workbook" not in result.stderr:
            problems.append("the reason did not reach stderr")
    else:
        try:
            cells = cells_of(output_path)
            if scenario == "cancel" and max(r for r, _ in cells) >= LONG_RECORDS:
                problems.append("every record was written despite the cancel")
            for row, column, kind, value in expected:
                if cells.get((row, column)) != (kind, value):
                    problems.append("cell (%d, %d): %r, expected %r" %
                                    (row, column, cells.get((row, column)), (kind, value)))
        except AssertionError as error:
            problems.append(str(error))
    return seconds, problems, result.stderr


def run_program(program, work):
    """quendle.exe without /SILENT opens the wizard; /BATCH walks it to the
    end and closes it, leaving the workbook. A failed unattended run waits
    for no one and exits with status 1."""
    folder = os.path.join(work, "program")
    os.makedirs(folder, exist_ok=True)
    source = os.path.join(folder, "good.csv")
    output = os.path.join(folder, "program.xlsx")
    with open(source, "w", newline="") as f:
        f.write(SOURCE_TEXT)
    broken = os.path.join(folder, "broken.xlsx")
    with open(broken, "wb") as f:
        f.write(b"this is not a workbook\n")
    started = time.monotonic()
    problems = []
    try:
        failed = subprocess.run(["wine", program, windows_path(source), windows_path(broken),
                                 "/BATCH", "/OVERWRITE=0"], capture_output=True, text=True,
                                timeout=60)
        if failed.returncode != 1:
            problems.append("a failed BATCH run: exit status %d" % failed.returncode)
    except subprocess.TimeoutExpired:
        problems.append("a failed BATCH run waited for a person")
    result = subprocess.run(["wine", program, windows_path(source), windows_path(output),
                             "/BATCH"], capture_output=True, text=True, timeout=240)
    seconds = time.monotonic() - started
    if result.returncode != 0:
        problems.append("exit status %d: %s" % (result.returncode, result.stderr.strip()))
    try:
        cells = cells_of(output)
        if cells.get((1, 0)) != ("s", "Alpha"):
            problems.append("cell (1, 0): %r" % (cells.get((1, 0)),))
    except AssertionError as error:
        problems.append(str(error))
    return seconds, problems, result.stderr


def main():
    exe, work, program = sys.argv[1], sys.argv[2], sys.argv[3]
    failed = 0
    seconds, problems, log = run_program(program, work)
    print("%-11s %s  %.1f s" % ("program", "FAILED" if problems else "ok", seconds))
    for problem in problems:
        print("    " + problem)
    failed += 1 if problems else 0
    for scenario, source, output, parameters, expected in WALKS:
        seconds, problems, log = run_walk(exe, program, work, scenario, source, output,
                                          parameters, expected)
        print("%-11s %s  %.1f s" % (scenario, "FAILED" if problems else "ok", seconds))
        for problem in problems:
            print("    " + problem)
        if problems:
            failed += 1
            sys.stdout.write("    log:\n" + "".join("      " + l + "\n" for l in log.splitlines()))
    print("%d of %d walks passed" % (len(WALKS) + 1 - failed, len(WALKS) + 1))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
