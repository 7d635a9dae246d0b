#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints the part lists of a workbook's document properties, read with
ElementTree from the part that the package's relationships name.

usage: xlsx_app_lists.py FILE

Lines: per HeadingPairs group "group LABEL COUNT", then per TitlesOfParts
entry "title TEXT", then "theme yes|no" for whether the workbook part has a
theme relationship whose target exists with the theme content type. Exit
status 1, with the reason, when the two lists disagree in size, when a
vector's size attribute is wrong, or when the part cannot be read.
"""
import posixpath
import sys
import zipfile
import xml.etree.ElementTree as ET

REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"
EP = "{http://schemas.openxmlformats.org/officeDocument/2006/extended-properties}"
VT = "{http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes}"
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
APP_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties"
THEME_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme"
THEME_TYPE = "application/vnd.openxmlformats-officedocument.theme+xml"


def targets(archive, rels_part, source_folder, rel_type):
    try:
        root = ET.fromstring(archive.read(rels_part))
    except KeyError:
        return []
    found = []
    for rel in root.iter(REL + "Relationship"):
        if rel.get("Type") == rel_type:
            found.append(posixpath.normpath(posixpath.join(source_folder, rel.get("Target"))))
    return found


def vector(parent, name):
    element = parent.find(EP + name)
    if element is None:
        return None
    vec = element.find(VT + "vector")
    items = list(vec)
    if int(vec.get("size")) != len(items):
        raise ValueError("%s says size %s but holds %d" % (name, vec.get("size"), len(items)))
    return items


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: xlsx_app_lists.py FILE\n")
        return 2
    try:
        archive = zipfile.ZipFile(sys.argv[1])
        lines = []
        apps = targets(archive, "_rels/.rels", "", APP_REL)
        root = ET.fromstring(archive.read(apps[0]))
        pairs = vector(root, "HeadingPairs") or []
        titles = vector(root, "TitlesOfParts") or []
        counted = 0
        for label, count in zip(pairs[0::2], pairs[1::2]):
            number = int(count.find(VT + "i4").text)
            counted += number
            lines.append("group %s %d" % (label.find(VT + "lpstr").text, number))
        if counted != len(titles):
            raise ValueError("groups count %d titles, TitlesOfParts holds %d" %
                             (counted, len(titles)))
        lines += ["title " + (title.text or "") for title in titles]
        types = ET.fromstring(archive.read("[Content_Types].xml"))
        typed = {o.get("PartName").lstrip("/"): o.get("ContentType")
                 for o in types.iter(CT + "Override")}
        themes = targets(archive, "xl/_rels/workbook.xml.rels", "xl", THEME_REL)
        ok = any(t in archive.namelist() and typed.get(t) == THEME_TYPE for t in themes)
        lines.append("theme " + ("yes" if ok else "no"))
    except Exception as error:  # the reader's failure is the test's finding
        sys.stderr.write("cannot read %s: %s: %s\n" % (sys.argv[1], type(error).__name__, error))
        return 1
    sys.stdout.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
