#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes damaged and hostile .xlsx files from a good one, for loader tests.

usage: xlsx_hostile.py GOOD.xlsx OUTDIR

Writes into OUTDIR: truncated.xlsx (cut in half), not_zip.xlsx (plain text),
bomb.xlsx (workbook part of 100 MiB of zeros), lying_size.xlsx (workbook part
inflates past the size its directory entry states), doctype.xlsx (entity
expansion in a DOCTYPE), deep.xlsx (100,000 nested elements),
bad_offset.xlsx (a local header offset past the end), no_workbook.xlsx (the
workbook part is missing), and two good files: zip64.xlsx, the same package
with 64-bit sizes and offsets in every header and a zip64 end record, and
many_sheets.xlsx, a book of 19,990 empty sheets, near the loader's cap of
20,000 zip entries, with room left for a sheet added and its styles (each
sheet's part, name, relationship and content type listed once, in an order
unlike the sheets').
"""
import os
import struct
import sys
import zipfile


def rebuild(good, path, replace=None, drop=None):
    with zipfile.ZipFile(good) as source, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for info in source.infolist():
            if info.filename == drop:
                continue
            data = source.read(info)
            if replace and info.filename in replace:
                data = replace[info.filename]
            out.writestr(info.filename, data)


def patch_directory(path, name, field_offset, value):
    """Overwrites a 32-bit field of NAME's central directory header."""
    data = bytearray(open(path, "rb").read())
    at = data.find(b"PK\x01\x02")
    while at >= 0:
        name_length = struct.unpack_from("<H", data, at + 28)[0]
        if data[at + 46:at + 46 + name_length] == name.encode():
            struct.pack_into("<I", data, at + field_offset, value)
            break
        at = data.find(b"PK\x01\x02", at + 4)
    open(path, "wb").write(bytes(data))


MANY_SHEETS = 19990


def many_sheets(path):
    main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    package_ns = "http://schemas.openxmlformats.org/package/2006/relationships"
    sheet_type = rel_ns + "/worksheet"
    numbers = list(range(1, MANY_SHEETS + 1))
    # Relationships and parts listed backwards: no lookup finds its match first.
    types = ['<Override PartName="/xl/worksheets/sheet%d.xml" ContentType="application/'
             'vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>' % n
             for n in reversed(numbers)]
    content_types = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.'
                     'openxmlformats.org/package/2006/content-types"><Default Extension="rels" '
                     'ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                     '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.'
                     'openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>%s</Types>'
                     % "".join(types))
    sheets = "".join('<sheet name="S%d" sheetId="%d" r:id="rId%d"/>' % (n, n, n) for n in numbers)
    workbook = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s">'
                '<sheets>%s</sheets></workbook>' % (main_ns, rel_ns, sheets))
    links = "".join('<Relationship Id="rId%d" Type="%s" Target="worksheets/sheet%d.xml"/>'
                    % (n, sheet_type, n) for n in reversed(numbers))
    workbook_rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">%s'
                     '</Relationships>' % (package_ns, links))
    package_rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">'
                    '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/>'
                    '</Relationships>' % (package_ns, rel_ns))
    sheet = ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData/>'
             '</worksheet>' % main_ns).encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as out:
        out.writestr("[Content_Types].xml", content_types)
        out.writestr("_rels/.rels", package_rels)
        out.writestr("xl/workbook.xml", workbook)
        out.writestr("xl/_rels/workbook.xml.rels", workbook_rels)
        for n in reversed(numbers):
            out.writestr("xl/worksheets/sheet%d.xml" % n, sheet)


def main():
    good, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    raw = open(good, "rb").read()
    open(os.path.join(out, "truncated.xlsx"), "wb").write(raw[: len(raw) // 2])
    open(os.path.join(out, "not_zip.xlsx"), "w").write("a,b,c\n1,2,3\n")
    rebuild(good, os.path.join(out, "bomb.xlsx"), {"xl/workbook.xml": b"\0" * (100 << 20)})
    big = (b'<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/'
           b'spreadsheetml/2006/main">' + b"<!-- pad -->" * 100000 + b"</workbook>")
    lying = os.path.join(out, "lying_size.xlsx")
    rebuild(good, lying, {"xl/workbook.xml": big})
    patch_directory(lying, "xl/workbook.xml", 24, 100)
    laughs = ['<!ENTITY a0 "ha">'] + ['<!ENTITY a%d "%s">' % (i, ("&a%d;" % (i - 1)) * 10)
                                      for i in range(1, 10)]
    doctype = ('<?xml version="1.0"?><!DOCTYPE workbook [%s]><workbook xmlns="http://'
               'schemas.openxmlformats.org/spreadsheetml/2006/main"><sheets><sheet name="&a9;" '
               'sheetId="1"/></sheets></workbook>' % "".join(laughs))
    rebuild(good, os.path.join(out, "doctype.xlsx"), {"xl/workbook.xml": doctype.encode()})
    deep = (b'<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/'
            b'spreadsheetml/2006/main">' + b"<a>" * 100000 + b"</a>" * 100000 + b"</workbook>")
    rebuild(good, os.path.join(out, "deep.xlsx"), {"xl/workbook.xml": deep})
    offset = os.path.join(out, "bad_offset.xlsx")
    rebuild(good, offset)
    patch_directory(offset, "xl/workbook.xml", 42, 0x7FFFFFF0)
    rebuild(good, os.path.join(out, "no_workbook.xlsx"), drop="xl/workbook.xml")
    # zipfile switches to 64-bit fields past this limit; at 0 it uses them everywhere.
    saved_limit = zipfile.ZIP64_LIMIT
    zipfile.ZIP64_LIMIT = 0
    try:
        rebuild(good, os.path.join(out, "zip64.xlsx"))
    finally:
        zipfile.ZIP64_LIMIT = saved_limit
    many_sheets(os.path.join(out, "many_sheets.xlsx"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
