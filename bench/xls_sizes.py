#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Compares the sizes of two .xls files of the same CSV: ours and a peer's.

Prints, for each, the file size and the bytes of its string table, its cell
records and the records a writer may leave out: text cells holding the
empty text (Quendle writes an empty field as one, as the conversion rules
ask; a writer that skips empty fields does not), and DBCELL and INDEX (the
row-block index the format asks for, which some writers omit). The last
line compares the two with those records taken out of both, so that equal
content is compared.

usage: xls_sizes.py OURS.xls PEER.xls
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
from xls_records import sst_strings  # noqa: E402
from xlrd import compdoc  # noqa: E402

SST, CONTINUE, LABELSST, DBCELL, INDEX = 0x00FC, 0x003C, 0x00FD, 0x00D7, 0x020B


def sizes(path):
    with open(path, "rb") as f:
        data = f.read()
    stream = compdoc.CompDoc(data).get_named_stream("Workbook")
    kinds, pieces, at, in_sst = {}, [], 0, False
    labels = []
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        body = stream[at + 4:at + 4 + length]
        if kind == SST or (kind == CONTINUE and in_sst):
            pieces.append(body)
            in_sst = True
            kind = SST
        else:
            in_sst = False
        if kind == LABELSST:
            labels.append(struct.unpack_from("<I", body, 6)[0])
        kinds[kind] = kinds.get(kind, 0) + 4 + length
        at += 4 + length
    strings = sst_strings(pieces)[2] if pieces else []
    empty = sum(1 for index in labels if strings[index] == "")
    return {
        "file": len(data),
        "stream": len(stream),
        "sst": kinds.get(SST, 0),
        "labels": kinds.get(LABELSST, 0),
        "empty": empty,
        "emptyBytes": empty * 14,
        "index": kinds.get(DBCELL, 0) + kinds.get(INDEX, 0),
    }


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: xls_sizes.py OURS.xls PEER.xls\n")
        return 2
    ours, peer = sizes(sys.argv[1]), sizes(sys.argv[2])
    for name, s in (("ours", ours), ("peer", peer)):
        print("%s: file %d, string table %d, text cells %d, of them %d empty texts (%d bytes), "
              "DBCELL+INDEX %d" % (name, s["file"], s["sst"], s["labels"], s["empty"],
                                    s["emptyBytes"], s["index"]))
    same = [s["stream"] - s["emptyBytes"] - s["index"] for s in (ours, peer)]
    print("workbook streams without empty-text cells and DBCELL+INDEX: ours %d, peer %d (%.1f%%)"
          % (same[0], same[1], 100.0 * same[0] / same[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
