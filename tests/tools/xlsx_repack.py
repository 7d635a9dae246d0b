#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Rewrites an .xlsx package with Python's zipfile, so that loaders meet
archives laid out by another writer.

usage: xlsx_repack.py IN.xlsx OUT.xlsx deflated|stored [PART FILE]...

Every entry is copied in order, deflated by zlib at level 9 (blocks of its
choosing, none of them byte-aligned) or stored; each PART given is replaced
by the bytes of its FILE.
"""
import sys
import zipfile


def main():
    if len(sys.argv) < 4 or len(sys.argv) % 2 != 0 or sys.argv[3] not in ("deflated", "stored"):
        sys.stderr.write(__doc__)
        return 2
    source, target, mode = sys.argv[1:4]
    replaced = {}
    for part, path in zip(sys.argv[4::2], sys.argv[5::2]):
        with open(path, "rb") as file:
            replaced[part] = file.read()
    method = zipfile.ZIP_DEFLATED if mode == "deflated" else zipfile.ZIP_STORED
    with zipfile.ZipFile(source) as original, \
            zipfile.ZipFile(target, "w", method, compresslevel=9 if mode == "deflated" else None) \
            as out:
        for info in original.infolist():
            out.writestr(info.filename, replaced.get(info.filename, original.read(info)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
