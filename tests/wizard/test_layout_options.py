# SPDX-License-Identifier: MIT
"""The layout and size options and FIELDS=AUTO through the program in silent
mode: SPLITROWS's continuation sheets in both formats (read back with xlrd
and openpyxl, the 1,048,576-row .xlsx sheet by streaming its XML), what the
run says about them, and the delimiter FIELDS=AUTO finds in the corpus
files, in pipes and per file of a batch."""
import configparser
import csv
import io
import os
import re
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, CORPUS, QUENDLE  # noqa: E402

XLS_ROWS = 65536
XLSX_ROWS = 1048576
MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
RELATIONSHIP = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
PACKAGE_RELATIONSHIPS = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def numbers_csv(first, count, title="n"):
    """A title line (unless None) and one number per line."""
    lines = [] if title is None else [title]
    lines.extend(str(n) for n in range(first, first + count))
    return "\n".join(lines) + "\n"


def column(cells):
    """Column 0 of a sheet read by read_book, top to bottom, as Python values."""
    rows = sorted(row for row, col in cells if col == 0)
    return [cells[(row, 0)][1] for row in rows]


def xlsx_sheet_parts(path):
    """[(sheet name, part name)] in tab order, from the package itself."""
    with zipfile.ZipFile(path) as package:
        book = ElementTree.fromstring(package.read("xl/workbook.xml"))
        rels = ElementTree.fromstring(package.read("xl/_rels/workbook.xml.rels"))
    targets = {rel.get("Id"): rel.get("Target")
               for rel in rels.iter(PACKAGE_RELATIONSHIPS + "Relationship")}
    parts = []
    for sheet in book.iter(MAIN + "sheet"):
        target = targets[sheet.get(RELATIONSHIP)]
        parts.append((sheet.get("name"),
                      target.lstrip("/") if target.startswith("/") else "xl/" + target))
    return parts


def streamed_numbers(path, part):
    """The row numbers and the number values of one worksheet, read from its
    XML a block at a time: the rows a million-row sheet holds, without
    building them in memory."""
    rows = []
    values = []
    row_pattern = re.compile(rb'<row r="(\d+)"')
    value_pattern = re.compile(rb"<c r=\"A\d+\"><v>([^<]*)</v></c>")
    with zipfile.ZipFile(path) as package, package.open(part) as stream:
        tail = b""
        while True:
            block = stream.read(1 << 20)
            text = tail + block
            # The last row may be cut by the block: it waits for the next round.
            cut = max(text.rfind(b"<row "), 0) if block else len(text)
            for match in row_pattern.finditer(text, 0, cut):
                rows.append(int(match.group(1)))
            for match in value_pattern.finditer(text, 0, cut):
                values.append(float(match.group(1)))  # 100000 may come as 1e+05
            tail = text[cut:]
            if not block:
                break
    return rows, values


class SplitRows(Case):
    def status_records(self, status):
        parser = configparser.ConfigParser()
        parser.read(status)
        return int(parser["QUENDLE"]["Records"])

    def test_xls_rows_go_on_in_numbered_sheets_that_start_with_the_titles(self):
        data_rows = 2 * (XLS_ROWS - 1) + 7
        src = self.write("data.csv", numbers_csv(1, data_rows))
        out = self.path("data.xls")
        status = self.path("status.txt")
        code, err = self.quendle(src, out, "/SILENT", "/HEADER=1", "/ALLCHAR=0", "/SPLITROWS",
                                 "/STATUS=" + status)
        self.assertEqual(code, 0, err)
        book = read_book(out)
        self.assertEqual(list(book), ["data", "data (2)", "data (3)"])
        values = []
        for name, cells in book.items():
            with self.subTest(sheet=name):
                self.assertEqual(cells[(0, 0)], ("s", "n"))  # the titles head every sheet
                values.extend(column(cells)[1:])
        self.assertEqual(len(book["data"]), XLS_ROWS)
        self.assertEqual(values, list(range(1, data_rows + 1)))  # nothing lost, in order
        # The records of the input, title line included as it always was;
        # the titles repeated on the new sheets are no records.
        self.assertEqual(self.status_records(status), data_rows + 1)
        self.assertIn('Sheets: 3 written from %s ("data", "data (2)", "data (3)")' % src, err)

    def test_without_the_option_the_limit_stays_an_error(self):
        src = self.write("data.csv", numbers_csv(1, XLS_ROWS, title=None) + "last\n")
        out = self.path("data.xls")
        code, err = self.quendle(src, out, "/SILENT")
        self.assertEqual(code, 1)
        self.assertIn("Line %d, field 1 of %s" % (XLS_ROWS + 1, src), err)
        self.assertIn("Nothing was saved", err)
        self.assertNotIn("Sheets:", err)
        self.assertFalse(os.path.exists(out))
        # A run that fits one sheet writes exactly what it writes without the option.
        fits = self.write("fits.csv", numbers_csv(1, 100))
        for name, options in (("plain.xlsx", []), ("split.xlsx", ["/SPLITROWS"])):
            code, err = self.quendle(fits, self.path(name), "/SILENT", "/HEADER=1", *options)
            self.assertEqual(code, 0, err)
            self.assertNotIn("Sheets:", err)
        self.assertEqual(read_book(self.path("plain.xlsx")), read_book(self.path("split.xlsx")))

    def test_xlsx_million_row_sheet_goes_on_in_a_second_sheet(self):
        data_rows = XLSX_ROWS - 1 + 5
        src = self.write("big.csv", numbers_csv(1, data_rows))
        out = self.path("big.xlsx")
        status = self.path("status.txt")
        code, err = self.quendle(src, out, "/SILENT", "/HEADER=1", "/ALLCHAR=0", "/SPLITROWS",
                                 "/STATUS=" + status)
        self.assertEqual(code, 0, err)
        self.assertIn('Sheets: 2 written from %s ("big", "big (2)")' % src, err)
        self.assertEqual(self.status_records(status), data_rows + 1)
        parts = xlsx_sheet_parts(out)
        self.assertEqual([name for name, _ in parts], ["big", "big (2)"])
        rows, values = streamed_numbers(out, parts[0][1])
        self.assertEqual(rows, list(range(1, XLSX_ROWS + 1)))
        self.assertEqual(values, list(range(1, XLSX_ROWS)))
        # openpyxl reads the titles of the full sheet and the whole second one.
        import openpyxl
        book = openpyxl.load_workbook(out, read_only=True)
        try:
            self.assertEqual(book.sheetnames, ["big", "big (2)"])
            first = next(book["big"].iter_rows(min_row=1, max_row=2, values_only=True))
            self.assertEqual(first, ("n",))
            rest = [row[0] for row in book["big (2)"].iter_rows(values_only=True)]
        finally:
            book.close()
        self.assertEqual(rest, ["n"] + list(range(XLSX_ROWS, data_rows + 1)))

    def test_appending_fills_the_sheet_then_goes_on_in_fresh_sheets(self):
        out = self.path("book.xls")
        first = self.write("data.csv", numbers_csv(1, XLS_ROWS - 11))
        code, err = self.quendle(first, out, "/SILENT", "/HEADER=1", "/ALLCHAR=0")
        self.assertEqual(code, 0, err)
        # A sheet that merely has the name a continuation would take stays as it is.
        other = self.write("other.csv", "keep me\n")
        code, err = self.quendle(other, out, "/SILENT", "/TABLENAME=data (2)")
        self.assertEqual(code, 0, err)
        more = self.write("more/data.csv", numbers_csv(XLS_ROWS - 10, 30))
        code, err = self.quendle(more, out, "/SILENT", "/HEADER=1", "/ALLCHAR=0", "/SPLITROWS",
                                 "/OVERWRITETABLE=0")
        self.assertEqual(code, 0, err)
        self.assertIn('("data", "data (3)")', err)
        book = read_book(out)
        self.assertEqual(list(book), ["data", "data (2)", "data (3)"])
        self.assertEqual(book["data (2)"], {(0, 0): ("s", "keep me")})
        self.assertEqual(len(book["data"]), XLS_ROWS)
        self.assertEqual(book["data (3)"][(0, 0)], ("s", "n"))
        values = column(book["data"])[1:] + column(book["data (3)"])[1:]
        self.assertEqual(values, list(range(1, XLS_ROWS + 20)))

    def test_a_full_sheet_goes_on_only_when_a_record_needs_a_row(self):
        out = self.path("book.xls")
        # Exactly full: no empty sheet after it.
        src = self.write("data.csv", numbers_csv(1, XLS_ROWS - 1))
        code, err = self.quendle(src, out, "/SILENT", "/HEADER=1", "/SPLITROWS")
        self.assertEqual(code, 0, err)
        self.assertNotIn("Sheets:", err)
        self.assertEqual(list(read_book(out)), ["data"])
        # Appended below with other titles: the title line is the first
        # record that needs a row, and it heads the new sheet once.
        more = self.write("more/data.csv", numbers_csv(7, 3, title="other"))
        code, err = self.quendle(more, out, "/SILENT", "/HEADER=1", "/SPLITROWS",
                                 "/OVERWRITETABLE=0")
        self.assertEqual(code, 0, err)
        book = read_book(out)
        self.assertEqual(list(book), ["data", "data (2)"])
        self.assertEqual(column(book["data (2)"]), ["other", "7", "8", "9"])

    def test_replacing_replaces_the_continuation_sheets_in_place(self):
        for name in ("before", "after"):
            self.write(name + ".csv", name + "\n")
        big = self.write("data.csv", numbers_csv(1, 2 * (XLS_ROWS - 1) + 1))
        steps = [
            (self.path("before.csv"), []),
            (big, ["/HEADER=1", "/ALLCHAR=0", "/SPLITROWS"]),
            (self.path("after.csv"), []),
        ]
        xls = self.path("book.xls")
        for src, options in steps:
            code, err = self.quendle(src, xls, "/SILENT", *options)
            self.assertEqual(code, 0, err)
        self.assertEqual(list(read_book(xls)),
                         ["before", "data", "data (2)", "data (3)", "after"])
        # The same table again, shorter, with other titles: its sheets take
        # the old ones' places; the others stay.
        again = self.write("again/data.csv", numbers_csv(500, XLS_ROWS + 3, title="m"))
        code, err = self.quendle(again, xls, "/SILENT", "/HEADER=1", "/ALLCHAR=0", "/SPLITROWS")
        self.assertEqual(code, 0, err)
        book = read_book(xls)
        self.assertEqual(list(book), ["before", "data", "data (2)", "data (3)", "after"])
        self.assertEqual(book["before"], {(0, 0): ("s", "before")})
        self.assertEqual(book["after"], {(0, 0): ("s", "after")})
        self.assertEqual(book["data (2)"][(0, 0)], ("s", "m"))
        values = column(book["data"])[1:] + column(book["data (2)"])[1:]
        self.assertEqual(values, list(range(500, 500 + XLS_ROWS + 3)))

    def test_a_long_name_is_cut_to_keep_its_number(self):
        name = "A" * 29 + "é"  # 30 UTF-16 units
        src = self.write("t.csv", numbers_csv(1, XLS_ROWS + 1, title=None))
        out = self.path("t.xls")
        code, err = self.quendle(src, out, "/SILENT", "/SPLITROWS", "/TABLENAME=" + name)
        self.assertEqual(code, 0, err)
        book = read_book(out)
        self.assertEqual(list(book), [name, "A" * 27 + " (2)"])
        self.assertEqual(column(book["A" * 27 + " (2)"]), ["65537"])  # text: no HEADER=1, no titles

    def test_a_parallel_batch_splits_each_input(self):
        folder = self.path("in")
        os.makedirs(folder)
        sizes = {"a": XLS_ROWS + 2, "b": 10, "c": XLS_ROWS}
        for name, size in sizes.items():
            self.write(os.path.join("in", name + ".csv"), numbers_csv(1, size))
        env = dict(self.env, QUENDLE_JOBS="3")
        done = subprocess.run([QUENDLE, os.path.join(folder, "*.csv"), "/SILENT", "/TYPE=ANY",
                               "/HEADER=1", "/ALLCHAR=0", "/YYYY.MM.DD", "/SPLITROWS"],
                              env=env, cwd=self.dir, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=300)
        err = done.stderr.decode("utf-8", "replace")
        self.assertEqual(done.returncode, 0, err)
        notes = [line for line in err.splitlines() if line.startswith("Sheets:")]
        self.assertEqual(len(notes), 2, err)
        self.assertIn("a.csv", notes[0])
        self.assertIn("c.csv", notes[1])
        for name, size in sizes.items():
            with self.subTest(input=name):
                book = read_book(os.path.join(folder, name + ".xls"))
                sheets = [name] + (["%s (2)" % name] if size >= XLS_ROWS else [])
                self.assertEqual(list(book), sheets)
                values = []
                for cells in book.values():
                    self.assertEqual(cells[(0, 0)], ("s", "n"))
                    values.extend(column(cells)[1:])
                self.assertEqual(values, list(range(1, size + 1)))


class HeaderOptions(Case):
    def test_freeze_and_filter_need_a_title_line_and_say_so_once(self):
        for name in ("a", "b"):
            self.write(os.path.join("in", name + ".csv"), "x,y\n1,2\n")
        pattern = self.path("in", "*.csv")
        rows = [
            (["/FREEZEHEADER", "/AUTOFILTER"], "/FREEZEHEADER and /AUTOFILTER act"),
            (["/FREEZEHEADER"], "/FREEZEHEADER acts"),
            (["/AUTOFILTER", "/HEADER=0"], "/AUTOFILTER acts"),
            (["/FREEZEHEADER", "/AUTOFILTER", "/AUTOFIT", "/HEADER=1"], None),
            (["/AUTOFIT"], None),
        ]
        for options, note in rows:
            with self.subTest(options=options):
                code, err = self.quendle(pattern, "/SILENT", "/TYPE=2007", "/OVERWRITE=1",
                                         *options)
                self.assertEqual(code, 0, err)
                lines = [line for line in err.splitlines() if "title line" in line]
                if note is None:
                    self.assertEqual(lines, [])
                else:
                    self.assertEqual(len(lines), 1, err)  # once for the whole batch
                    self.assertIn(note, lines[0])
                for name in ("a", "b"):
                    self.assertEqual(read_book(self.path("in", name + ".xlsx"))[name],
                                     {(0, 0): ("s", "x"), (0, 1): ("s", "y"),
                                      (1, 0): ("s", "1"), (1, 1): ("s", "2")})

    def test_the_ini_file_turns_them_on_and_a_parameter_off(self):
        config = self.path("config", "Morvik")
        os.makedirs(config)
        with open(os.path.join(config, "quendle.ini"), "w") as ini:
            ini.write("[Common]\nFreezeHeader=1\nSplitRows=1\n")
        src = self.write("t.csv", numbers_csv(1, XLS_ROWS + 1, title=None))
        code, err = self.quendle(src, self.path("t.xls"), "/SILENT")
        self.assertEqual(code, 0, err)
        self.assertIn("/FREEZEHEADER acts", err)
        self.assertIn('("t", "t (2)")', err)
        code, err = self.quendle(src, self.path("u.xls"), "/SILENT", "/SPLITROWS=0",
                                 "/FREEZEHEADER=0")
        self.assertEqual(code, 1)
        self.assertNotIn("title line", err)
        self.assertIn("beyond the last row", err)


def written(rows, delimiter):
    out = io.StringIO()
    csv.writer(out, delimiter=delimiter, lineterminator="\n").writerows(rows)
    return out.getvalue()


TOOLS = os.environ["QUENDLE_TOOLS_DIR"]
LAYOUT_OPTIONS = ("/AUTOFIT", "/FREEZEHEADER", "/AUTOFILTER")
# An export with values of every kind and of very different widths.
EXPORT = ("Invoice;Date;Customer;Amount;Paid;Note\n"
          "10041;13.01.2025 08:15:00;Smith, Jones & Co;1234567.89;Y;\n"
          "10042;14.01.2025;ООО Ромашка;-310.75;N;" + "x" * 120 + "\n"
          "10043;15.01.2025;大阪商事株式会社;0.5;Y;short\n")
EXPORT_ARGS = ("/SILENT", "/FIELDS=;", "/HEADER=1", "/ALLCHAR=0", "/BOOLCHAR=YN",
               "/DATEFORMAT=DD.MM.YYYY")


def layout_lines(path):
    """What the readers see of a workbook's layout (tests/tools/x*_layout.py)."""
    with open(path, "rb") as file:
        tool = "xlsx_layout.py" if file.read(2) == b"PK" else "xls_layout.py"
    done = subprocess.run([sys.executable, os.path.join(TOOLS, tool), path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    if done.returncode != 0:
        raise AssertionError(done.stderr.decode("utf-8", "replace"))
    return done.stdout.decode("utf-8").splitlines()


def sheet_lines(lines, sheet):
    """The lines of one sheet in an xlsx_layout.py listing, its header aside."""
    out = []
    inside = False
    for line in lines:
        if line.startswith("sheet "):
            inside = line == 'sheet "%s"' % sheet
        elif line.startswith("name "):
            inside = False
        elif inside:
            out.append(line)
    return out


def xlsx_widths(lines, sheet):
    """{column letter: width} of one sheet, from "cols A:B 12" lines."""
    widths = {}
    for line in sheet_lines(lines, sheet):
        if line.startswith("cols "):
            span, width = line.split()[1:3]
            first, last = span.split(":")
            for code in range(ord(first), ord(last) + 1):  # the sheets here stay within A..Z
                widths[chr(code)] = float(width)
    return widths


def xls_widths(lines, sheet):
    """{column: width in characters} of one sheet, from xls_layout.py's lines."""
    widths = {}
    label = '"%s"' % sheet
    for line in lines:
        parts = line.split()
        if parts[0] == "width" and parts[1] == label:
            for column in range(int(parts[2]), int(parts[3]) + 1):
                widths[column] = int(parts[4]) / 256
    return widths


class LayoutOptions(Case):
    """AUTOFIT, FREEZEHEADER and AUTOFILTER end to end, read back by openpyxl
    and xlrd."""

    def convert(self, out, *options, src=None):
        src = src or self.write("export.csv", EXPORT)
        code, err = self.quendle(src, out, *EXPORT_ARGS, *options)
        self.assertEqual(code, 0, err)
        return src

    def test_xlsx_sheet_is_laid_out_as_asked(self):
        out = self.path("export.xlsx")
        self.convert(out, *LAYOUT_OPTIONS)
        lines = layout_lines(out)
        sheet = sheet_lines(lines, "export")
        self.assertIn("freeze A2", sheet)
        self.assertIn("filter A1:F4", sheet)
        widths = xlsx_widths(lines, "export")
        # Longest values: "Invoice" 7, a date-time 16, the wide Japanese name
        # 16, General's 11 characters of 1234567.89, "Paid" under the
        # default, the 120-character note at the cap.
        self.assertEqual(widths, {"A": 9, "B": 18, "C": 19, "D": 12, "F": 80})
        self.assertIn("name _xlnm._FilterDatabase local=0 hidden 'export'!$A$1:$F$4", lines)

    def test_xls_sheet_is_laid_out_as_asked(self):
        out = self.path("export.xls")
        self.convert(out, *LAYOUT_OPTIONS)
        lines = layout_lines(out)
        self.assertIn('frozen "export" 1 1 2', lines)
        self.assertIn('name "_FilterDatabase" 0 1 0:0:4:0:6', lines)
        widths = xls_widths(lines, "export")
        self.assertEqual({c: round(w) for c, w in widths.items()},
                         {0: 9, 1: 18, 2: 19, 3: 12, 5: 80})

    def test_a_plain_run_has_no_layout(self):
        for name in ("plain.xlsx", "plain.xls"):
            with self.subTest(workbook=name):
                out = self.path(name)
                self.convert(out)
                lines = layout_lines(out)
                self.assertFalse([line for line in lines
                                  if line.split()[0] in ("cols", "freeze", "filter", "frozen",
                                                         "width", "name")], lines)

    def test_appending_widens_and_never_narrows_or_freezes(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(format=extension):
                out = self.path("book." + extension)
                first = self.write("first.csv", "Name;Code\nBob;1\n")
                wider = self.write("wider.csv", "Name;Code\nBartholomew Smithers-Jones;2\n")
                narrower = self.write("narrower.csv", "Name;Code\nAl;3\n")
                for src in (first, wider, narrower):
                    # All three go into one sheet; only the later runs ask
                    # for a pane and a filter, which an appended sheet never gets.
                    options = ("/AUTOFIT",) if src == first else LAYOUT_OPTIONS
                    code, err = self.quendle(src, out, *EXPORT_ARGS, "/TABLENAME=data",
                                             "/OVERWRITETABLE=0", *options)
                    self.assertEqual(code, 0, err)
                lines = layout_lines(out)
                if extension == "xlsx":
                    self.assertEqual(xlsx_widths(lines, "data"), {"A": 28})
                    self.assertFalse([line for line in sheet_lines(lines, "data")
                                      if line.split()[0] in ("freeze", "filter")])
                else:
                    self.assertEqual({c: round(w) for c, w in xls_widths(lines, "data").items()},
                                     {0: 28})
                    self.assertFalse([line for line in lines
                                      if line.split()[0] in ("frozen", "name")])
                values = [cells[(row, 0)][1] for cells in [read_book(out)["data"]]
                          for row in range(4)]
                self.assertEqual(values, ["Name", "Bob", "Bartholomew Smithers-Jones", "Al"])

    def test_a_sheet_added_into_corpus_books_leaves_the_others_alone(self):
        for corpus in ("xlsx/defined_name01.xlsx", "xlsx/panes01.xlsx", "xls/namesdemo.xls",
                       "xls/SampleSS.xls"):
            with self.subTest(book=corpus):
                original = os.path.join(CORPUS, corpus)
                out = self.path(os.path.basename(corpus))
                with open(original, "rb") as source, open(out, "wb") as copy:
                    copy.write(source.read())
                before_cells = read_book(out)
                before_layout = layout_lines(out)
                self.convert(out, *LAYOUT_OPTIONS, "/TABLENAME=export")
                after_cells = read_book(out)
                self.assertEqual(list(after_cells), list(before_cells) + ["export"])
                for name in before_cells:
                    self.assertEqual(after_cells[name], before_cells[name], name)
                after_layout = layout_lines(out)
                if corpus.endswith(".xlsx"):
                    for name in before_cells:
                        self.assertEqual(sheet_lines(after_layout, name),
                                         sheet_lines(before_layout, name), name)
                    self.assertIn("filter A1:F4", sheet_lines(after_layout, "export"))
                    done = subprocess.run([sys.executable, os.path.join(TOOLS, "xlsx_compare.py"),
                                           original, out, "--changed", "export"],
                                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                    self.assertEqual(done.returncode, 0, done.stdout.decode())
                else:
                    # Every old line stays as it was and in its order: widths
                    # and panes of the kept sheets, the book's names.
                    added = [line for line in after_layout
                             if line.startswith(('width "export"', 'frozen "export"'))
                             or line.startswith('name "_FilterDatabase"')]
                    kept = [line for line in after_layout if line not in added]
                    self.assertEqual(kept, before_layout)
                    self.assertIn('frozen "export" 1 1 2', added)
                    index = len(before_cells)  # xlrd gives a local name its sheet's index
                    self.assertIn('name "_FilterDatabase" %d 1 %d:0:4:0:6' % (index, index),
                                  added)

    def test_continuation_sheets_are_laid_out_like_the_first(self):
        rows = XLS_ROWS + 10
        src = self.write("long.csv", numbers_csv(1, rows, title="amount"))
        out = self.path("long.xls")
        code, err = self.quendle(src, out, "/SILENT", "/HEADER=1", "/ALLCHAR=0", "/SPLITROWS",
                                 *LAYOUT_OPTIONS)
        self.assertEqual(code, 0, err)
        lines = layout_lines(out)
        self.assertIn('frozen "long" 1 1 2', lines)
        self.assertIn('frozen "long (2)" 1 1 2', lines)
        self.assertIn('name "_FilterDatabase" 0 1 0:0:%d:0:1' % XLS_ROWS, lines)
        self.assertIn('name "_FilterDatabase" 1 1 1:0:12:0:1', lines)


class FieldsAuto(Case):
    CORPUS_FILES = [
        "csv-spectrum/comma_in_quotes.csv", "csv-spectrum/empty.csv",
        "csv-spectrum/empty_crlf.csv", "csv-spectrum/escaped_quotes.csv",
        "csv-spectrum/json.csv", "csv-spectrum/location_coordinates.csv",
        "csv-spectrum/newlines.csv", "csv-spectrum/newlines_crlf.csv",
        "csv-spectrum/quotes_and_newlines.csv", "csv-spectrum/simple.csv",
        "csv-spectrum/simple_crlf.csv", "csv-spectrum/utf8.csv", "real-world/gdp.csv",
    ]

    def test_corpus_files_and_their_other_delimiters(self):
        for name in self.CORPUS_FILES:
            source = os.path.join(CORPUS, name)
            with open(source, encoding="utf-8", newline="") as f:
                rows = list(csv.reader(f))
            expected = read_book_of(self, source, "/FIELDS=,")
            for delimiter, shown in ((",", '","'), (";", '";"'), ("\t", "TAB"), ("|", '"|"')):
                with self.subTest(file=name, delimiter=shown):
                    src = self.write(os.path.join("auto", "t.csv"), written(rows, delimiter))
                    out = self.path("auto.xlsx")
                    code, err = self.quendle(src, out, "/SILENT", "/FIELDS=AUTO", "/OVERWRITE=1")
                    self.assertEqual(code, 0, err)
                    self.assertIn("Delimiter: %s (found in the input %s)" % (shown, src), err)
                    self.assertEqual(read_book(out)["t"], expected)

    def test_no_clear_answer_keeps_the_default_and_says_so(self):
        rows = [
            ("uneven", "a;b\n1;2;3\n", [[("s", "a;b")], [("s", "1;2;3")]], ","),
            ("a tie", "a;b|c\n1;2|3\n", [[("s", "a;b|c")], [("s", "1;2|3")]], ","),
            ("the default given", "a|b;c\n1|2|3;4;5\n",
             [[("s", "a"), ("s", "b;c")], [("s", "1"), ("s", "2"), ("s", "3;4;5")]], "|"),
        ]
        for what, text, cells, default in rows:
            with self.subTest(what):
                src = self.write("u.csv", text)
                out = self.path("u.xlsx")
                code, err = self.quendle(src, out, "/SILENT", "/FIELDS=" + default,
                                         "-fields=auto", "/OVERWRITE=1")
                self.assertEqual(code, 0, err)
                self.assertIn('Delimiter: "%s" (the default: the first lines of %s show no '
                              "clear delimiter)" % (default, src), err)
                self.assertEqual(read_book(out)["u"], {
                    (r, c): cell for r, row in enumerate(cells) for c, cell in enumerate(row)})

    def test_a_pipe_is_read_once(self):
        fifo = self.path("piped.csv")
        os.mkfifo(fifo)
        out = self.path("piped.xlsx")
        rows = 20000  # well past the start the choice looks at
        process = subprocess.Popen([QUENDLE, fifo, out, "/SILENT", "/FIELDS=AUTO"],
                                   env=self.env, cwd=self.dir, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        with open(fifo, "w") as writer:
            writer.write("".join("%d;x|y;z\n" % i for i in range(rows)))
        _, err = process.communicate(timeout=300)
        err = err.decode("utf-8", "replace")
        self.assertEqual(process.returncode, 0, err)
        self.assertIn('Delimiter: ";" (found in the input %s)' % fifo, err)
        cells = read_book(out)["piped"]
        self.assertEqual(len(cells), 3 * rows)
        self.assertEqual(cells[(0, 0)], ("s", "0"))
        self.assertEqual(cells[(rows - 1, 1)], ("s", "x|y"))

    def test_each_file_of_a_batch_chooses_its_own(self):
        inputs = {"a": "x;y\n1;2\n", "b": "x\ty\n1\t2\n", "c": "x,y\n1,2\n", "d": "x\n1\n"}
        for name, text in inputs.items():
            self.write(os.path.join("in", name + ".csv"), text)
        for jobs in ("1", "4"):
            with self.subTest(jobs=jobs):
                env = dict(self.env, QUENDLE_JOBS=jobs)
                done = subprocess.run([QUENDLE, self.path("in", "*.csv"), "/SILENT", "/LOG",
                                       "/FIELDS=AUTO", "/TYPE=ANY"],
                                      env=env, cwd=self.dir, stdin=subprocess.DEVNULL,
                                      capture_output=True, timeout=300)
                err = done.stderr.decode("utf-8", "replace")
                self.assertEqual(done.returncode, 0, err)
                notes = [line for line in err.splitlines() if line.startswith("Delimiter:")]
                self.assertEqual([note.split(" (")[0] for note in notes],
                                 ['Delimiter: ";"', "Delimiter: TAB", 'Delimiter: ","',
                                  'Delimiter: ","'])
                self.assertIn("the default", notes[3])
                for name in "abc":
                    self.assertEqual(read_book(self.path("in", name + ".xls"))[name], {
                        (0, 0): ("s", "x"), (0, 1): ("s", "y"),
                        (1, 0): ("s", "1"), (1, 1): ("s", "2")})
        with open(self.path("state", "Morvik", "wizards.log"), encoding="utf-8") as f:
            log = f.read()
        self.assertEqual(log.count("Delimiter: TAB (found in the input"), 2)


def read_book_of(case, source, *options):
    """The cells of the one sheet that `source` converts to with `options`."""
    out = case.path("reference.xlsx")
    src = case.path("ref", "t.csv")
    os.makedirs(os.path.dirname(src), exist_ok=True)
    with open(source, "rb") as f, open(src, "wb") as copy:
        copy.write(f.read())
    code, err = case.quendle(src, out, "/SILENT", "/OVERWRITE=1", *options)
    case.assertEqual(code, 0, err)
    return read_book(out)["t"]


if __name__ == "__main__":
    unittest.main()
