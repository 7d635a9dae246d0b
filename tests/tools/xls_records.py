#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Walks the records of an .xls workbook, independently of Quendle's reader,
and prints the facts the tests compare, one per line:

  order SHEET TYPE...       the sheet's records outside the cell table, by
                            hexadecimal type (ROW, cells, DBCELL left out)
  index SHEET ok|WHY        INDEX against the records it points at
  dbcells SHEET N           DBCELL records in the sheet
  dimensions SHEET ok|covers|WHY  DIMENSIONS against the cells
  rows SHEET ok|WHY         each ROW record's columns against its cells
  sst total=T unique=U distinct=D labels=L
  extsst ok|WHY             EXTSST against the string table
  xfs N                     XF records in the globals
  xfcrc count=N crc=ok|bad  when the globals hold an XFCRC
  dsi sets N properties ID,...  DocumentSummaryInformation's property sets
                            and the ids in its first set (hexadecimal)
  dsi heading NAME COUNT    its heading pairs
  dsi part NAME             and its titles of parts

The compound file is read with xlrd's own reader, not with olefile, so the
two container readers the tests use stay independent. Exit status 1 and a
message when the file cannot be walked.
"""
import json
import struct
import sys

ROW = 0x0208
DBCELL = 0x00D7
INDEX = 0x020B
DEFCOLWIDTH = 0x0055
BOF = 0x0809
EOF = 0x000A
CELLS = {0x0201, 0x00BE, 0x00FD, 0x0204, 0x00D6, 0x0203, 0x027E, 0x00BD, 0x0205, 0x0006}
TABLE = CELLS | {ROW, DBCELL, 0x0207, 0x0221, 0x04BC, 0x0236, 0x003C}


def records(stream, at):
    """Yields (type, offset, body) from `at` to the matching EOF."""
    depth = 0
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        if at + 4 + length > len(stream):
            raise ValueError("record at %d runs past the stream" % at)
        yield kind, at, stream[at + 4:at + 4 + length]
        at += 4 + length
        if kind == BOF:
            depth += 1
        elif kind == EOF:
            depth -= 1
            if depth == 0:
                return
    raise ValueError("substream at %d has no EOF" % at)


def crc_table():
    table = []
    for i in range(256):
        value = i << 24
        for _ in range(8):
            value = ((value << 1) ^ 0xAF) if value & 0x80000000 else (value << 1)
            value &= 0xFFFFFFFF
        table.append(value)
    return table


def sst_strings(pieces, starts=None):
    """The shared strings of an SST body and its CONTINUE bodies. Where each
    string begins, as its record's index and the offset in that record's
    body, goes to `starts` when given."""
    data = pieces[0]
    piece, at = 0, 8
    total, unique = struct.unpack_from("<II", data, 0)

    def take(count):
        nonlocal piece, at
        out = b""
        while count:
            if at == len(pieces[piece]):
                piece, at = piece + 1, 0
            part = pieces[piece][at:at + count]
            out += part
            at += len(part)
            count -= len(part)
        return out

    strings = []
    for _ in range(unique):
        if at == len(pieces[piece]):
            piece, at = piece + 1, 0
        if starts is not None:
            starts.append((piece, at))
        chars, flags = struct.unpack("<HB", take(3))
        runs = struct.unpack("<H", take(2))[0] if flags & 0x08 else 0
        ext = struct.unpack("<I", take(4))[0] if flags & 0x04 else 0
        wide = flags & 1
        units = []  # UTF-16 units, so that a pair split over records joins again
        while len(units) < chars:
            if at == len(pieces[piece]):
                piece, at = piece + 1, 0
                wide = pieces[piece][0] & 1
                at = 1
            room = (len(pieces[piece]) - at) // (2 if wide else 1)
            n = min(chars - len(units), room)
            raw = take(n * (2 if wide else 1))
            units += struct.unpack("<%dH" % n, raw) if wide else list(raw)
        take(4 * runs + ext)
        strings.append(struct.pack("<%dH" % len(units), *units).decode("utf-16-le", "surrogatepass"))
    return total, unique, strings


def check_extsst(body, unique, starts, offsets):
    """EXTSST against the string table: the strings per bucket the format
    asks for, one bucket per started set, each pointing at its set's first
    string (`starts`, as sst_strings gives them) by stream position and by
    offset in its record (header counted)."""
    per = max(unique // 128 + 1, 8)
    dsst = struct.unpack_from("<H", body, 0)[0]
    if dsst != per:
        return "dsst %d for %d strings, not %d" % (dsst, unique, per)
    count = (len(body) - 2) // 8
    if count != (unique + per - 1) // per:
        return "%d buckets for %d strings" % (count, unique)
    for bucket in range(count):
        ib, cb = struct.unpack_from("<IH", body, 2 + 8 * bucket)
        piece, at = starts[bucket * per]
        if (ib, cb) != (offsets[piece] + 4 + at, 4 + at):
            return "bucket %d at %d+%d, its first string at %d+%d" % (
                bucket, ib, cb, offsets[piece] + 4 + at, 4 + at)
    return "ok"


def check_index(stream, start, body, dbcells, defcol, rows):
    if len(body) < 16:
        return "short"
    first, end, defpos = struct.unpack_from("<III", body, 4)
    pointers = [struct.unpack_from("<I", body, 16 + 4 * i)[0] for i in range((len(body) - 16) // 4)]
    if pointers != dbcells:
        return "pointers %s, DBCELLs at %s" % (pointers, dbcells)
    if defcol is not None and defpos != defcol:
        return "DEFCOLWIDTH at %d, INDEX says %d" % (defcol, defpos)
    if rows and (min(rows) < first or max(rows) >= end):
        return "rows %d..%d outside %d..%d" % (min(rows), max(rows), first, end - 1)
    return "ok"


def block_records(stream, at, end):
    while at < end:
        kind, length = struct.unpack_from("<HH", stream, at)
        yield kind, at, length
        at += 4 + length


def check_dbcell(stream, at, body):
    """A DBCELL's offsets lead to a ROW record and, when it has one entry per
    ROW record of its block (other programs' files may not), to each row's
    first cell."""
    back = struct.unpack_from("<I", body, 0)[0]
    entries = (len(body) - 4) // 2
    if back == 0 and entries == 0:
        return None
    first_row = at - back
    kind = struct.unpack_from("<H", stream, first_row)[0]
    if kind != ROW:
        return "DBCELL at %d: no ROW record %d bytes back" % (at, back)
    row_records = sum(1 for k, _, _ in block_records(stream, first_row, at) if k == ROW)
    if row_records != entries:
        return None
    cursor = first_row + 20
    last = -1
    for i in range(entries):
        cursor += struct.unpack_from("<H", body, 4 + 2 * i)[0]
        kind, _ = struct.unpack_from("<HH", stream, cursor)
        if kind not in CELLS:
            return "DBCELL at %d: entry %d lands on record %04x" % (at, i, kind)
        row = struct.unpack_from("<H", stream, cursor + 4)[0]
        if row <= last:
            return "DBCELL at %d: entry %d lands on row %d after row %d" % (at, i, row, last)
        last = row
    return None


def check_dimensions(dimensions, columns):
    """DIMENSIONS against the cells: first row and column, and one past the
    last; "covers" when it is wider than they are."""
    if dimensions is None:
        return "missing"
    if columns:
        rows = sorted(columns)
        want = (rows[0], rows[-1] + 1, min(c[0] for c in columns.values()),
                max(c[1] for c in columns.values()) + 1)
    else:
        want = (0, 0, 0, 0)
    got = struct.unpack_from("<IIHH", dimensions, 0)
    if got == want:
        return "ok"
    if not columns or (got[0] <= want[0] and got[1] >= want[1] and got[2] <= want[2]
                       and got[3] >= want[3]):
        return "covers"  # wider than the cells, as Excel writes for formatted blanks
    return "DIMENSIONS %s, cells %s" % (got, want)


def check_rows(row_records, columns):
    """Each ROW record's columns against its row's cells."""
    for row, first, end in row_records:
        if row in columns and (first, end) != (columns[row][0], columns[row][1] + 1):
            return "ROW %d columns %d-%d, cells %d-%d" % (
                row, first, end, columns[row][0], columns[row][1] + 1)
    return "ok"


def walk_sheet(stream, name, start, out):
    order, dbcells = [], []
    index_body, defcol, problems = None, None, []
    dimensions, row_records, columns = None, [], {}
    for kind, at, body in records(stream, start):
        if kind in CELLS:
            row, column = struct.unpack_from("<HH", body, 0)
            # MULRK and MULBLANK end with their last column.
            last = struct.unpack_from("<H", body, len(body) - 2)[0] if kind in (0x00BD, 0x00BE) \
                else column
            first_last = columns.get(row, (column, last))
            columns[row] = (min(first_last[0], column), max(first_last[1], last))
        if kind == 0x0200 and dimensions is None:
            dimensions = body
        if kind == ROW:
            row_records.append(struct.unpack_from("<HHH", body, 0))
        if kind == DBCELL:
            dbcells.append(at)
            why = check_dbcell(stream, at, body)
            if why:
                problems.append(why)
        if kind not in TABLE:
            order.append("%04x" % kind)
        if kind == INDEX and index_body is None:
            index_body = body
        if kind == DEFCOLWIDTH and defcol is None:
            defcol = at
    out.append("order %s %s" % (json.dumps(name), " ".join(order)))
    if index_body is not None:
        why = check_index(stream, start, index_body, dbcells, defcol, set(columns))
        out.append("index %s %s" % (json.dumps(name), "; ".join(problems) or why))
    out.append("dbcells %s %d" % (json.dumps(name), len(dbcells)))
    out.append("dimensions %s %s" % (json.dumps(name), check_dimensions(dimensions, columns)))
    out.append("rows %s %s" % (json.dumps(name), check_rows(row_records, columns)))


def walk(stream, out):
    sheets, xfs, sst, labels, crc = [], 0, None, 0, 0
    xfcrc = None
    table = crc_table()
    pending = None
    extsst = None
    offsets = []  # where the SST and its CONTINUE records are
    for kind, at, body in records(stream, 0):
        if pending is not None and kind != 0x003C:
            sst, pending = pending, None
        if kind == 0x0085:
            position = struct.unpack_from("<I", body, 0)[0]
            length, flags = body[6], body[7]
            raw = body[8:8 + length * (2 if flags & 1 else 1)]
            sheets.append((raw.decode("utf-16-le" if flags & 1 else "latin-1"), position, body[5]))
        elif kind == 0x00E0:
            xfs += 1
            for byte in body:
                crc = ((crc << 8) & 0xFFFFFFFF) ^ table[(crc >> 24) ^ byte]
        elif kind == 0x087C:
            xfcrc = struct.unpack_from("<HI", body, 14)
        elif kind == 0x00FC:
            pending, offsets = [body], [at]
        elif kind == 0x003C and pending is not None:
            pending.append(body)
            offsets.append(at)
        elif kind == 0x00FF:
            extsst = body
    for name, position, kind in sheets:
        if kind == 0x06:
            continue
        walk_sheet(stream, name, position, out)
        labels += sum(1 for k, _, _ in records(stream, position) if k == 0x00FD)
    if sst is not None:
        starts = []
        total, unique, strings = sst_strings(sst, starts)
        out.append("sst total=%d unique=%d distinct=%d labels=%d"
                   % (total, unique, len(set(strings)), labels))
        out.append("extsst " + (check_extsst(extsst, unique, starts, offsets)
                                if extsst is not None else "missing"))
    out.append("xfs %d" % xfs)
    if xfcrc is not None:
        out.append("xfcrc count=%d crc=%s" % (xfcrc[0], "ok" if xfcrc[1] == crc else "bad"))


def property_value(data, offset):
    kind = struct.unpack_from("<H", data, offset)[0]
    if kind == 0x1E:  # a byte string in the set's code page
        size = struct.unpack_from("<I", data, offset + 4)[0]
        # No padding inside a vector: the next element follows at once.
        return data[offset + 8:offset + 8 + size].split(b"\0")[0].decode("latin-1"), 8 + size
    if kind == 0x1F:  # UTF-16
        count = struct.unpack_from("<I", data, offset + 4)[0]
        raw = data[offset + 8:offset + 8 + 2 * count]
        return raw.decode("utf-16-le").split("\0")[0], 8 + (2 * count + 3) // 4 * 4
    if kind == 0x03:
        return struct.unpack_from("<i", data, offset + 4)[0], 8
    raise ValueError("property type %#x" % kind)


def walk_dsi(data, out):
    sets = struct.unpack_from("<I", data, 24)[0]
    if sets < 1:
        return
    base = struct.unpack_from("<I", data, 28 + 16)[0]
    count = struct.unpack_from("<I", data, base + 4)[0]
    props = dict(struct.unpack_from("<II", data, base + 8 + 8 * i) for i in range(count))
    out.append("dsi sets %d properties %s" % (sets, ",".join("%x" % p for p in sorted(props))))
    if 0x0C in props:  # heading pairs: a vector of variants, name then count
        at = base + props[0x0C]
        n = struct.unpack_from("<I", data, at + 4)[0]
        at += 8
        for _ in range(n // 2):
            name, size = property_value(data, at)
            at += size
            number, size = property_value(data, at)
            at += size
            out.append("dsi heading %s %d" % (json.dumps(name), number))
    if 0x0D in props:  # titles of parts: a vector of strings
        at = base + props[0x0D]
        kind, n = struct.unpack_from("<HxxI", data, at)
        at += 8
        for _ in range(n):
            if kind & 0xFF == 0x1E:
                size = struct.unpack_from("<I", data, at)[0]
                name = data[at + 4:at + 4 + size].split(b"\0")[0].decode("latin-1")
                at += 4 + size
            else:
                size = struct.unpack_from("<I", data, at)[0]
                name = data[at + 4:at + 4 + 2 * size].decode("utf-16-le").split("\0")[0]
                at += 4 + (2 * size + 3) // 4 * 4
            out.append("dsi part %s" % json.dumps(name))


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: xls_records.py FILE\n")
        return 2
    out = []
    try:
        from xlrd import compdoc
        with open(sys.argv[1], "rb") as handle:
            doc = compdoc.CompDoc(handle.read(), logfile=open("/dev/null", "w"))
        walk(doc.get_named_stream("Workbook"), out)
        dsi = doc.get_named_stream("\x05DocumentSummaryInformation")
        if dsi:
            walk_dsi(dsi, out)
    except Exception as error:  # any failure is the test's finding
        sys.stderr.write("cannot walk %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return 1
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
