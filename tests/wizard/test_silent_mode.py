# SPDX-License-Identifier: MIT
"""The program's silent mode end to end: command lines in, workbooks out,
read back with openpyxl and xlrd."""
import configparser
import csv
import hashlib
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, QUENDLE, SAMPLES  # noqa: E402

# Serial numbers of the 1900 date system.
JAN_13_2025 = 45670.0
FEB_12_2025 = 45700.0


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class SampleConversion(Case):
    def test_bundled_sample_typed_in_both_formats(self):
        sample = os.path.join(SAMPLES, "sales.csv")
        for name in ("sales.xlsx", "sales.xls"):
            with self.subTest(output=name):
                out = self.path(name)
                status, err = self.quendle(sample, out, "/SILENT", "/FIELDS=;", "/HEADER=1",
                                           "/ALLCHAR=0")
                self.assertEqual(status, 0, err)
                book = read_book(out)
                self.assertEqual(list(book), ["sales"])
                self.assertCells(book["sales"], {
                    (0, 0): ("s", "Invoice"),          # the header stays text
                    (1, 0): ("n", 10041),
                    (1, 1): ("d", JAN_13_2025),         # 13.01.2025 fixes day first
                    (1, 2): ("d", FEB_12_2025),         # 12/02/2025 in the same order
                    (1, 3): ("s", "Smith, Jones & Co"),
                    (1, 5): ("n", 1234.5),              # 1.234,50
                    (1, 7): ("b", True),                # Y
                    (2, 3): ("s", "ООО «Ромашка»"),
                    (2, 7): ("b", False),               # N
                    (2, 8): ("s", 'Счёт "предварительный"'),
                    (3, 5): ("n", -310.75),
                    (4, 8): ("s", "two\nlines"),        # a quoted line break
                    (5, 8): ("s", "0012-77"),
                })

    def test_text_mode_writes_every_field_as_text(self):
        src = self.write("t.csv", "1,2016-03-13,Y,\n")
        out = self.path("t.xlsx")
        status, err = self.quendle(src, out, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(out)["t"], {
            (0, 0): ("s", "1"), (0, 1): ("s", "2016-03-13"), (0, 2): ("s", "Y"),
            (0, 3): ("s", "")})


class PipedInput(Case):
    def test_an_ambiguous_first_date_loses_no_record_of_a_pipe(self):
        # A file is read ahead for the date that tells the order; a pipe
        # cannot be read twice, so its records must all reach the sheet.
        fifo = self.path("piped.csv")
        os.mkfifo(fifo)
        out = self.path("piped.xlsx")
        rows = 20000  # well past the reader's first block
        process = subprocess.Popen([QUENDLE, fifo, out, "/SILENT", "/ALLCHAR=0"], env=self.env,
                                   cwd=self.dir, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        with open(fifo, "w") as writer:
            writer.write("".join("03.01.2024,%d\n" % i for i in range(rows)))
        _, err = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 0, err.decode("utf-8", "replace"))
        cells = read_book(out)["piped"]
        self.assertEqual(len(cells), 2 * rows)
        self.assertEqual(cells[(rows - 1, 1)], ("n", rows - 1))


@unittest.skipUnless(shutil.which("soffice"), "LibreOffice is not installed")
class LibreOfficeReadsBack(Case):
    def test_both_formats_convert_back_to_the_same_values(self):
        sample = os.path.join(SAMPLES, "sales.csv")
        for name in ("lo.xlsx", "lo.xls"):
            with self.subTest(output=name):
                out = self.path(name)
                status, err = self.quendle(sample, out, "/SILENT", "/FIELDS=;", "/HEADER=1",
                                           "/ALLCHAR=0", "/OVERWRITE=1")
                self.assertEqual(status, 0, err)
                folder = self.path("lo-" + name.replace(".", "-"))
                # Comma-separated, double quotes, UTF-8, values rather than formats.
                done = subprocess.run(
                    ["soffice", "--headless", "-env:UserInstallation=file://" + self.path("lo-profile"),
                     "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false",
                     "--outdir", folder, out],
                    env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, timeout=300)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(os.path.join(folder, "lo.csv"), encoding="utf-8", newline="") as f:
                    rows = list(csv.reader(f))
                self.assertEqual(rows[0][:4], ["Invoice", "Date", "Due", "Customer"])
                self.assertEqual(rows[1][0], "10041")
                self.assertEqual(rows[1][3], "Smith, Jones & Co")
                self.assertEqual(float(rows[1][5]), 1234.5)
                self.assertEqual(rows[2][3], "ООО «Ромашка»")
                self.assertEqual(rows[2][8], 'Счёт "предварительный"')
                self.assertEqual(rows[4][8], "two\nlines")
                self.assertEqual(len(rows), 6)


class OutputFormat(Case):
    def test_extension_or_type_chooses_the_format(self):
        src = self.write("a.csv", "x\n")
        cases = [
            # arguments, file written, its magic
            (["report.xlsx"], "report.xlsx", b"PK"),
            (["report.xls"], "report.xls", b"\xd0\xcf"),
            (["report.xlsx", "/TYPE=ANY"], "report.xls", b"\xd0\xcf"),
            (["report.xls", "/TYPE=2007"], "report.xlsx", b"PK"),
        ]
        for args, written, magic in cases:
            with self.subTest(args=args):
                out = self.path(args[0])
                status, err = self.quendle(src, out, "/SILENT", "/OVERWRITE=1", *args[1:])
                self.assertEqual(status, 0, err)
                with open(self.path(written), "rb") as f:
                    self.assertEqual(f.read(2), magic)
                for leftover in (self.path("report.xls"), self.path("report.xlsx")):
                    if os.path.exists(leftover):
                        os.remove(leftover)


class ExistingWorkbooks(Case):
    def make_book(self, name):
        import openpyxl
        book = openpyxl.Workbook()
        book.active.title = "Keep"
        book.active["A1"] = "kept"
        book.active["B1"] = "=1+1"
        data = book.create_sheet("Data")
        data["A1"] = "old1"
        data["A2"] = "old2"
        path = self.path(name)
        book.save(path)
        return path

    def test_append_below_a_sheet_of_the_same_name_ignoring_case(self):
        out = self.make_book("book.xlsx")
        src = self.write("in.csv", "new1\nnew2\n")
        status, err = self.quendle(src, out, "/SILENT", "/OVERWRITETABLE=0", "/TABLENAME=data")
        self.assertEqual(status, 0, err)
        book = read_book(out)
        self.assertEqual(list(book), ["Keep", "Data"])
        self.assertEqual(book["Keep"], {(0, 0): ("s", "kept"), (0, 1): ("f", "=1+1")})
        self.assertEqual(book["Data"], {(0, 0): ("s", "old1"), (1, 0): ("s", "old2"),
                                        (2, 0): ("s", "new1"), (3, 0): ("s", "new2")})

    def test_appending_with_a_header_writes_the_titles_once(self):
        import openpyxl
        first = self.write("first.csv", "Name,Qty,\na,1,\n")
        same = self.write("same.csv", "Name,Qty\nb,2\n")
        other = self.write("other.csv", "Name,Count\nc,3\n")
        options = ["/SILENT", "/HEADER=1", "/OVERWRITETABLE=0", "/TABLENAME=T",
                   "/STATUS=" + self.path("s.ini")]
        for name in ("ours.xlsx", "ours.xls", "shared.xlsx"):
            with self.subTest(name):
                out = self.path(name)
                if name == "shared.xlsx":
                    # Another writer's titles, in its shared string table.
                    book = openpyxl.Workbook()
                    book.active.title = "T"
                    book.active.append(["Name", "Qty"])
                    book.active.append(["a", "1", ""])
                    book.save(out)
                else:
                    status, err = self.quendle(first, out, *options)
                    self.assertEqual(status, 0, err)
                status, err = self.quendle(same, out, *options)
                self.assertEqual(status, 0, err)
                records = configparser.ConfigParser()
                records.read(self.path("s.ini"))
                self.assertEqual(records["QUENDLE"]["records"], "1")  # the titles not counted
                status, err = self.quendle(other, out, *options)
                self.assertEqual(status, 0, err)
                cells = read_book(out)["T"]
                cells = {key: value for key, value in cells.items() if value != ("s", "")}
                self.assertEqual(cells, {
                    (0, 0): ("s", "Name"), (0, 1): ("s", "Qty"),
                    (1, 0): ("s", "a"), (1, 1): ("s", "1"),
                    (2, 0): ("s", "b"), (2, 1): ("s", "2"),
                    (3, 0): ("s", "Name"), (3, 1): ("s", "Count"),  # other titles are kept
                    (4, 0): ("s", "c"), (4, 1): ("s", "3")})

    def test_replaced_sheet_keeps_its_place(self):
        # The sheet of the same name (letter case aside) is replaced where it
        # stands, in both formats; the sheets around it stay.
        for kind in ("2007", "ANY"):
            with self.subTest(kind=kind):
                out = self.path("places." + ("xlsx" if kind == "2007" else "xls"))
                for name in ("Keep", "Data", "After"):
                    src = self.write("in.csv", name.lower() + "\n")
                    status, err = self.quendle(src, out, "/SILENT", "/TYPE=" + kind,
                                               "/TABLENAME=" + name)
                    self.assertEqual(status, 0, err)
                src = self.write("in.csv", "new\n")
                status, err = self.quendle(src, out, "/SILENT", "/TYPE=" + kind, "/TABLENAME=DATA")
                self.assertEqual(status, 0, err)
                book = read_book(out)
                self.assertEqual(list(book), ["Keep", "DATA", "After"])
                self.assertEqual(book["DATA"], {(0, 0): ("s", "new")})
                self.assertEqual(book["After"], {(0, 0): ("s", "after")})

    def test_loaded_workbooks_recalculate_on_opening(self):
        # Formulas elsewhere may read the converted sheet; their stored results
        # are stale, so every loaded workbook asks for a full recalculation,
        # placed where the workbook schema wants it.
        import glob
        import xml.etree.ElementTree as ET
        import zipfile
        order = ["fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews",
                 "sheets", "functionGroups", "externalReferences", "definedNames", "calcPr",
                 "oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
                 "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"]
        src = self.write("in.csv", "1\n")
        corpus = sorted(glob.glob(os.path.join(os.environ["QUENDLE_CORPUS_DIR"],
                                               "xlsx", "*.xlsx")))
        self.assertGreater(len(corpus), 10)
        for path in corpus:
            with self.subTest(os.path.basename(path)):
                out = self.path("book.xlsx")
                shutil.copy(path, out)
                status, err = self.quendle(src, out, "/SILENT")
                self.assertEqual(status, 0, err)
                with zipfile.ZipFile(out) as z:
                    root = ET.fromstring(z.read("xl/workbook.xml"))
                children = [child.tag.split("}")[1] for child in root]
                self.assertEqual(children.count("calcPr"), 1)
                calc = root[children.index("calcPr")]
                self.assertEqual(calc.get("fullCalcOnLoad"), "1")
                ranks = [order.index(name) for name in children if name in order]
                self.assertEqual(ranks, sorted(ranks))
                self.assertIn("in", read_book(out))

    def test_loaded_xls_workbooks_recalculate_on_opening(self):
        # The record naming the engine that last calculated the workbook goes,
        # so Excel recalculates formulas that may read the converted sheet.
        import olefile
        import struct

        def globals_records(path):
            data = olefile.OleFileIO(path).openstream("Workbook").read()
            types, at = [], 0
            while at + 4 <= len(data):
                kind, length = struct.unpack_from("<HH", data, at)
                types.append(kind)
                if kind == 0x000A:  # EOF of the globals
                    break
                at += 4 + length
            return types

        source = os.path.join(os.environ["QUENDLE_CORPUS_DIR"], "xls",
                              "SimpleWithFormula.xls")
        self.assertIn(0x01C1, globals_records(source))
        out = self.path("book.xls")
        shutil.copy(source, out)
        status, err = self.quendle(self.write("in.csv", "1\n"), out, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertNotIn(0x01C1, globals_records(out))
        self.assertIn("in", read_book(out))

    def test_failures_leave_the_existing_workbook_untouched(self):
        wide = ",".join(["x"] * 300) + "\n"  # more columns than an .xls sheet has
        cases = [
            ("corrupt workbook", b"PK\x03\x04 not really a zip", "book.xlsx", "x\n", []),
            ("text file named .xls", b"just text", "book.xls", "x\n", []),
            ("too many columns, overwrite", None, "book.xls", wide, ["/OVERWRITE=1"]),
            ("too many columns, add", None, "book.xls", wide, []),
        ]
        for name, content, output, csv, extra in cases:
            with self.subTest(name):
                out = self.path(output)
                if content is None:
                    ok, err = self.quendle(self.write("seed.csv", "seed\n"), out, "/SILENT",
                                           "/OVERWRITE=1")
                    self.assertEqual(ok, 0, err)
                else:
                    self.write(output, content)
                before = digest(out)
                status, err = self.quendle(self.write("in.csv", csv), out, "/SILENT", *extra)
                self.assertEqual(status, 1)
                self.assertIn("Error: ", err)
                self.assertEqual(digest(out), before)
                os.remove(out)

    def test_sheet_limits_fail_with_the_line_and_save_nothing(self):
        cases = [
            ("rows of .xls", "o.xls", "x\n" * 65537, "Line 65537"),
            ("long field", "o.xlsx", "ok\n" + "y" * 32768 + "\n", "Line 2"),
        ]
        for name, output, csv, where in cases:
            with self.subTest(name):
                src = self.write("big.csv", csv)
                status, err = self.quendle(src, self.path(output), "/SILENT")
                self.assertEqual(status, 1)
                self.assertIn(where, err)
                self.assertFalse(os.path.exists(self.path(output)))

    def test_too_many_columns_names_the_line(self):
        src = self.write("in.csv", "a\nb\n" + ",".join(["x"] * 257) + "\n")
        status, err = self.quendle(src, self.path("o.xls"), "/SILENT")
        self.assertEqual(status, 1)
        self.assertIn("Line 3", err)
        self.assertFalse(os.path.exists(self.path("o.xls")))


class Typing(Case):
    def test_overrides_never_lose_text(self):
        src = self.write("in.csv", "2016-03-13,12,hello,007\nsoon,abc,Y,5\n")
        out = self.path("o.xlsx")
        status, err = self.quendle(src, out, "/SILENT", "/ALLCHAR=0", "/CT:0=d", "/CT:1=N",
                                   "/CT:2=c")
        self.assertEqual(status, 0, err)
        self.assertCells(read_book(out)["in"], {
            (0, 0): ("d", 42442.0), (0, 1): ("n", 12), (0, 2): ("s", "hello"),
            (0, 3): ("s", "007"),
            (1, 0): ("s", "soon"),  # forced date, no date: its text
            (1, 1): ("s", "abc"),   # forced number, no number: its text
            (1, 2): ("s", "Y"),     # forced text
            (1, 3): ("n", 5),
        })

    def test_header_and_types_line(self):
        src = self.write("in.csv", "Name;When;Count\nc;d;c\nAnn;13.03.2016;12\n")
        out = self.path("o.xls")
        status, err = self.quendle(src, out, "/SILENT", "/FIELDS=;", "/HEADER=1",
                                   "/TYPESINFILE=1", "/ALLCHAR=0")
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(out)["in"], {
            (0, 0): ("s", "Name"), (0, 1): ("s", "When"), (0, 2): ("s", "Count"),
            (1, 0): ("s", "Ann"), (1, 1): ("d", 42442.0), (1, 2): ("s", "12")})

    def test_field_types_name_their_own_columns(self):
        src = self.write("in.csv", "1,2,3,4\n")
        cases = [
            # options, the cells of the one row
            (["/FIELDTYPES=n;;c"],
             {(0, 0): ("n", 1), (0, 1): ("n", 2), (0, 2): ("s", "3"), (0, 3): ("n", 4)}),
            (["/CT:3=c", "/FIELDTYPES=n;;c"],
             {(0, 0): ("n", 1), (0, 1): ("n", 2), (0, 2): ("s", "3"), (0, 3): ("s", "4")}),
            (["/CT:1=c", "/FIELDTYPES=;;c"],
             {(0, 0): ("n", 1), (0, 1): ("s", "2"), (0, 2): ("s", "3"), (0, 3): ("n", 4)}),
        ]
        for options, cells in cases:
            with self.subTest(options=options):
                for name in ("o.xlsx", "o.xls"):
                    out = self.path(name)
                    status, err = self.quendle(src, out, "/SILENT", "/ALLCHAR=0",
                                               "/OVERWRITE=1", *options)
                    self.assertEqual(status, 0, err)
                    self.assertEqual(read_book(out)["in"], cells)


class StatusFile(Case):
    def status(self, name):
        status_file = configparser.ConfigParser()
        status_file.read(self.path(name))
        return dict(status_file["QUENDLE"])

    def test_option_values_ending_like_file_names(self):
        src = self.write("in.csv", "a\nb\n")
        out = self.path("o.xlsx")
        state = self.path("state.txt")
        status, err = self.quendle(src, out, "/SILENT", "/STATUS=" + state,
                                   "/TABLENAME=Q1.csv")
        self.assertEqual(status, 0, err)
        self.assertEqual(err, "")
        self.assertEqual(list(read_book(out)), ["Q1.csv"])
        self.assertEqual(self.status("state.txt"),
                         {"result": "Successful", "records": "2", "errors": "0"})

    def test_replaced_names_are_said(self):
        first = self.write("first.csv", "1\n")
        second = self.write("second.csv", "2\n")
        status, err = self.quendle(first, self.path("a.xlsx"), second, self.path("b.xlsx"),
                                   "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertIn("input " + first + " was replaced by " + second, err)
        self.assertIn("second workbook name " + self.path("b.xlsx") + " was ignored", err)
        self.assertEqual(read_book(self.path("a.xlsx")), {"second": {(0, 0): ("s", "2")}})

    def test_a_refused_run_writes_its_failure(self):
        self.write("s.ini", "[QUENDLE]\nResult=Successful\nRecords=7\nErrors=0\n")
        too_long = self.path("x" * 5000 + ".csv")
        status, err = self.quendle(too_long, self.path("o.xlsx"), "/SILENT",
                                   "/STATUS=" + self.path("s.ini"))
        self.assertEqual(status, 1, err)
        self.assertEqual(self.status("s.ini"),
                         {"result": "Successful", "records": "0", "errors": "1"})

    def test_nothing_matched_ends_successful_with_no_counts(self):
        self.write("s.ini", "[QUENDLE]\nResult=Successful\nRecords=7\nErrors=2\n")
        status, _ = self.quendle(self.path("none", "*.csv"), "/SILENT",
                                 "/STATUS=" + self.path("s.ini"))
        self.assertEqual(status, 2)
        self.assertEqual(self.status("s.ini"),
                         {"result": "Successful", "records": "0", "errors": "0"})


class SheetNames(Case):
    def test_names_are_made_valid_and_used_to_find_sheets(self):
        src = self.write("in.csv", "v\n")
        cases = [
            ("/TABLENAME=a/b:c*?[x]", "a_b_c___x_"),
            ("/TABLENAME=" + "n" * 40, "n" * 31),
            ("/TABLENAME='quoted'", "_quoted_"),
        ]
        for option, expected in cases:
            with self.subTest(option):
                out = self.path("o.xlsx")
                for _ in range(2):  # the second run finds and replaces the sheet
                    status, err = self.quendle(src, out, "/SILENT", option)
                    self.assertEqual(status, 0, err)
                self.assertEqual(list(read_book(out)), [expected])
                os.remove(out)

    def test_sheet_name_from_the_input_file(self):
        src = self.write("sales.2016.csv", "v\n")
        out = self.path("o.xlsx")
        self.assertEqual(self.quendle(src, out, "/SILENT")[0], 0)
        self.assertEqual(list(read_book(out)), ["sales.2016"])


class Batches(Case):
    def setUp(self):
        super().setUp()
        for name in ("b", "a", "c"):
            self.write(os.path.join("in", name + ".csv"), name + "\n")

    def test_one_workbook_for_all_files(self):
        out = self.path("all.xlsx")
        self.write("all.xlsx", b"")  # replaced once, by the first file
        status, err = self.quendle(self.path("in", "*.csv"), out, "/SILENT", "/OVERWRITE=1",
                                   "/TABLENAME=Sales", "/STATUS=" + self.path("status.ini"))
        self.assertEqual(status, 0, err)
        book = read_book(out)
        self.assertEqual(list(book), ["Sales", "b", "c"])
        status_file = configparser.ConfigParser()
        status_file.read(self.path("status.ini"))
        self.assertEqual(dict(status_file["QUENDLE"]),
                         {"result": "Successful", "records": "3", "errors": "0"})

    def test_workbooks_beside_each_input(self):
        status, err = self.quendle(self.path("in", "?.CSV"), "/BATCH", "/TYPE=2007")
        self.assertEqual(status, 0, err)
        for name in "abc":
            self.assertEqual(read_book(self.path("in", name + ".xlsx")),
                             {name: {(0, 0): ("s", name)}})

    def test_failures_and_no_match_give_distinct_exit_codes(self):
        self.write(os.path.join("in", "bad.xls"), b"not a workbook")
        status, err = self.quendle(self.path("in", "*.csv"), self.path("in", "bad.xls"),
                                   "/SILENT", "/STATUS=" + self.path("s.ini"))
        self.assertEqual(status, 1)
        status_file = configparser.ConfigParser()
        status_file.read(self.path("s.ini"))
        self.assertEqual(status_file["QUENDLE"]["result"], "Successful")
        self.assertEqual(status_file["QUENDLE"]["errors"], "3")
        self.assertEqual(self.quendle(self.path("in", "*.txt"), "/SILENT")[0], 2)
        self.assertEqual(self.quendle("/SILENT")[0], 2)


class CommandLine(Case):
    def test_help_version_and_no_wizard(self):
        status, _ = self.quendle("--help")
        self.assertEqual(status, 0)
        status, _ = self.quendle("--version")
        self.assertEqual(status, 0)
        env = dict(self.env)
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("QT_QPA_PLATFORM", None)
        status, err = self.quendle(self.write("a.csv", "x\n"))
        self.env = env
        self.assertEqual(status, 3)
        self.assertIn("/SILENT", err)

    def test_progress_line_only_on_a_terminal(self):
        import pty
        src = self.write("p.csv", "a,b\n" * 5000)
        leader, follower = pty.openpty()
        try:
            done = subprocess.run([QUENDLE, src, self.path("p.xlsx"), "/SILENT"],
                                  env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=follower, timeout=120)
            os.close(follower)
            shown = b""
            while True:
                try:
                    chunk = os.read(leader, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            os.close(leader)
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"records", shown)
        status, err = self.quendle(src, self.path("p.xlsx"), "/SILENT")
        self.assertEqual((status, err), (0, ""))


if __name__ == "__main__":
    unittest.main()
