#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks a compound file with olefile and lists its streams and storages:

  stream PATH SIZE SHA1
  storage PATH CLSID

PATH joins names with "/" and shows control characters as \\xNN. Exit status
1 and a message when olefile rejects the file.
"""
import hashlib
import sys


def shown(parts):
    return "/".join("".join(c if 32 <= ord(c) < 127 else "\\x%02x" % ord(c) for c in part)
                    for part in parts)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: xls_container.py FILE\n")
        return 2
    try:
        import olefile
        ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
        lines = []
        for parts in ole.listdir(streams=True, storages=True):
            kind = ole.get_type(parts)
            if kind == olefile.STGTY_STREAM:
                data = ole.openstream(parts).read()
                lines.append("stream %s %d %s" % (shown(parts), len(data), hashlib.sha1(data).hexdigest()))
            else:
                lines.append("storage %s %s" % (shown(parts), ole.getclsid(parts)))
    except Exception as error:  # any reader failure is the test's finding
        sys.stderr.write("cannot read %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return 1
    for line in sorted(lines):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
