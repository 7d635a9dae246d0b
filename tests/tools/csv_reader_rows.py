#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints the rows that Python's csv module (default dialect) reads from files.

usage: csv_reader_rows.py [--delimiter D] [--lone-cr-is-text]
                          [--empty-line-is-one-field] [--crlf-in-field-as-lf]
                          [--cell-limit N] FILE...

For each file: a line "FILE <path>", then one line per row, the row as a JSON
array in UTF-8 (json.dumps with ensure_ascii=False: only quotes, backslashes
and control characters are escaped). Files are read as UTF-8.

Our reader differs from csv.reader in three documented ways; each option
makes the output follow our rule, so a test says which differences it accepts:
  --lone-cr-is-text          a CR not followed by LF is text, not a line end
  --empty-line-is-one-field  an empty line is one empty field, not []
  --crlf-in-field-as-lf      CR LF inside a quoted field is kept as LF
  --cell-limit N             a row with a field of more than N UTF-16 units
                             is printed as the word OVERLONG
"""
import argparse
import csv
import io
import json
import re
import sys

# Stands in for a lone CR while csv.reader runs: a private-use character that
# the test files never hold.
PLACEHOLDER = "\ue000"


def rows_of(text, delimiter, lone_cr_is_text):
    if lone_cr_is_text:
        if PLACEHOLDER in text:
            raise SystemExit("input holds the lone-CR placeholder U+E000")
        text = re.sub(r"\r(?!\n)", PLACEHOLDER, text)
    # newline="" hands csv.reader the line ends untouched, as the csv docs ask.
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    for row in reader:
        if lone_cr_is_text:
            row = [field.replace(PLACEHOLDER, "\r") for field in row]
        yield row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--delimiter", default=",")
    parser.add_argument("--lone-cr-is-text", action="store_true")
    parser.add_argument("--empty-line-is-one-field", action="store_true")
    parser.add_argument("--crlf-in-field-as-lf", action="store_true")
    parser.add_argument("--cell-limit", type=int, default=0)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    csv.field_size_limit(sys.maxsize)  # records of several MiB are part of the tests

    out = sys.stdout
    out.reconfigure(encoding="utf-8")
    for path in args.files:
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
        out.write("FILE " + path + "\n")
        for row in rows_of(text, args.delimiter, args.lone_cr_is_text):
            if args.empty_line_is_one_field and row == []:
                row = [""]
            if args.crlf_in_field_as_lf:
                row = [field.replace("\r\n", "\n") for field in row]
            if args.cell_limit and any(
                    len(field.encode("utf-16-le")) // 2 > args.cell_limit for field in row):
                out.write("OVERLONG\n")
                continue
            out.write(json.dumps(row, ensure_ascii=False) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
