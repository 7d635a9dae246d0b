#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""One long Shift-JIS record (code page 932) for timing how the converter
decodes a multi-byte page: `make OUT` writes a header line and a record of
about 100 KB in ten fields, every fifth character a bad byte pair (a lead
byte with no trail byte); `check BOOK` reads the workbook back with
openpyxl and compares every field with the text the record must decode to.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
import read_workbook  # noqa: E402

FIELDS = 10
PIECES = 6000  # per field, each a character or a bad pair
# Bytes and the text they stand for; the bad pair decodes to U+FFFD and a space.
GOOD = [(b"\x82\xa0", "\u3042"), (b"\x88\x9f", "\u4e9c"), (b"x", "x"), (b"\x83\x5c", "\u30bd")]
BAD = (b"\x82 ", "\ufffd ")


def field(index):
    data, text = bytearray(), []
    for i in range(PIECES):
        piece = BAD if (i + index) % 5 == 4 else GOOD[(i + index) % len(GOOD)]
        data += piece[0]
        text.append(piece[1])
    return bytes(data), "".join(text)


def main():
    command, path = sys.argv[1], sys.argv[2]
    fields = [field(i) for i in range(FIELDS)]
    if command == "make":
        header = ",".join("f%d" % i for i in range(FIELDS)).encode("ascii")
        with open(path, "wb") as out:
            out.write(header + b"\r\n" + b",".join(f[0] for f in fields) + b"\r\n")
        return 0
    cells = read_workbook.read_xlsx(path)["sheets"][0]["cells"]
    got = {(row, column): value for row, column, kind, value in cells if kind == "s"}
    for i, (_, text) in enumerate(fields):
        if got.get((1, i)) != text:
            print("%s: field %d does not decode to the expected text" % (path, i), file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
