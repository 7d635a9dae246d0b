# SPDX-License-Identifier: MIT
"""Inputs that real files and users bring, end to end: typed values read back
by openpyxl and xlrd, line ends, quotes that never close, paths too long to
hold, and the library's DECIMAL= choice."""
import ctypes
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, LIBRARY, QUENDLE  # noqa: E402

MAR_5_2024 = 45356.0
AT_14_22_10 = (14 * 3600 + 22 * 60 + 10) / 86400.0


def number_format(path, row, column):
    """The number-format text of a cell, as the independent reader sees it."""
    if path.endswith(".xlsx"):
        import openpyxl
        return openpyxl.load_workbook(path).worksheets[0].cell(row + 1, column + 1).number_format
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    xf = book.xf_list[book.sheet_by_index(0).cell_xf_index(row, column)]
    return book.format_map[xf.format_key].format_str


class TypedValues(Case):
    def test_values_as_other_programs_print_them(self):
        src = self.write("v.csv", "2024-03-05 14:22:10,2024-03-05T14:22:10,2024-03-05,"
                                  "0.30000000000000004,3521418059.923445,4111111111111111,"
                                  "2020.12.07-0-1\n")
        for name in ("v.xlsx", "v.xls"):
            with self.subTest(output=name):
                out = self.path(name)
                status, err = self.quendle(src, out, "/SILENT", "/ALLCHAR=0", "/OVERWRITE=1")
                self.assertEqual(status, 0, err)
                self.assertCells(read_book(out)["v"], {
                    (0, 0): ("d", MAR_5_2024 + AT_14_22_10),
                    (0, 1): ("d", MAR_5_2024 + AT_14_22_10),
                    (0, 2): ("d", MAR_5_2024),
                    (0, 3): ("n", 0.30000000000000004),
                    (0, 4): ("n", 3521418059.923445),
                    (0, 5): ("s", "4111111111111111"),
                    (0, 6): ("s", "2020.12.07-0-1"),
                })
                self.assertIn("h", number_format(out, 0, 0).lower())
                self.assertNotIn("h", number_format(out, 0, 2).lower())

    def test_lone_cr_line_ends_make_rows(self):
        src = self.write("mac.csv", b"a,b\r1,\"x,y\"\r2,3")
        out = self.path("mac.xlsx")
        status, err = self.quendle(src, out, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(out)["mac"], {
            (0, 0): ("s", "a"), (0, 1): ("s", "b"), (1, 0): ("s", "1"), (1, 1): ("s", "x,y"),
            (2, 0): ("s", "2"), (2, 1): ("s", "3")})

    def test_utf8_after_a_legacy_line_stays_utf8(self):
        src = self.write("mix.csv", "caf\u00e9\n".encode("cp1252") + "\u041e\u041a\n".encode())
        out = self.path("mix.xlsx")
        status, err = self.quendle(src, out, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(out)["mix"], {(0, 0): ("s", "caf\u00e9"),
                                                (1, 0): ("s", "\u041e\u041a")})

    def test_quote_never_closed_is_named_with_its_line(self):
        src = self.write("q.csv", "a\nb\n\"c,d\ne\n")
        out = self.path("q.xlsx")
        status, err = self.quendle(src, out, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertIn("quote opened on line 3 is never closed", err)
        self.assertEqual(read_book(out)["q"][(2, 0)], ("s", "c,d\ne\n"))


class BatchSheetNames(Case):
    def test_alike_names_never_replace_an_earlier_sheet(self):
        long_a = "Quarterly report of the northern region 2023"
        long_b = "Quarterly report of the northern region 2024"
        for name, value in ((long_a, "1"), (long_b, "2"), ("SALES", "3"), ("sales", "4")):
            self.write(os.path.join("in", name + ".csv"), value + "\n")
        for output in ("all.xlsx", "all.xls"):
            with self.subTest(output=output):
                out = self.path(output)
                status, err = self.quendle(self.path("in", "*.csv"), out, "/SILENT",
                                           "/OVERWRITE=1", "/ALLCHAR=0", "/LOG")
                self.assertEqual(status, 0, err)
                book = read_book(out)
                cut = long_a[:31]
                self.assertEqual(list(book), [cut, cut[:27] + " (2)", "SALES", "sales (2)"])
                self.assertEqual([cells[(0, 0)] for cells in book.values()],
                                 [("n", 1), ("n", 2), ("n", 3), ("n", 4)])
                self.assertEqual(err.count("already used in this batch"), 2, err)
                log = open(self.path("state", "Morvik", "wizards.log"), encoding="utf-8").read()
                self.assertIn("the sheet is named sales (2) instead", log)

    def test_appending_batches_still_gather_into_one_sheet(self):
        for name, value in (("a", "1"), ("A", "2")):
            self.write(os.path.join("in", name + ".csv"), value + "\n")
        out = self.path("one.xlsx")
        status, err = self.quendle(self.path("in", "*.csv"), out, "/SILENT", "/OVERWRITE=1",
                                   "/OVERWRITETABLE=0")
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(out), {"A": {(0, 0): ("s", "2"), (1, 0): ("s", "1")}})


class IgnoredParameters(Case):
    def test_silent_runs_name_what_they_ignore(self):
        src = self.write("in.csv", "1;2\n")
        status, err = self.quendle(src, "report.ods", "/SILENT", "/FIELD=;", "/HEADERS=1")
        self.assertEqual(status, 0, err)
        self.assertIn("/FIELD=; is not known", err)
        self.assertIn("/HEADERS=1 is not known", err)
        self.assertIn("report.ods is neither", err)
        self.assertIn("the workbook is " + self.path("in.xls"), err)
        self.assertTrue(os.path.exists(self.path("in.xls")))

    def test_help_on_slash_question_mark_and_h(self):
        for flag in ("/?", "-h"):
            with self.subTest(flag=flag):
                done = subprocess.run([QUENDLE, flag], env=self.env, cwd=self.dir,
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertTrue(done.stdout.startswith(b"Usage: quendle"), done.stdout[:80])


class WorkingFolder(Case):
    def test_files_in_the_working_folder_are_never_loaded_as_libraries(self):
        # A download folder may hold anything; a file there named like one of
        # the program's libraries must not be loaded in its place.
        dynamic = subprocess.run(["readelf", "-d", QUENDLE], capture_output=True, text=True,
                                 check=True).stdout
        needed = [line.split("[", 1)[1].rstrip("]")
                  for line in dynamic.splitlines() if "(NEEDED)" in line]
        self.assertIn("libc.so.6", needed)
        for name in needed:
            self.write(name, b"not a library")
        src = self.write("in.csv", "a,1\n")
        status, err = self.quendle(src, self.path("in.xlsx"), "/SILENT", cwd=self.dir)
        self.assertEqual(status, 0, err)
        self.assertEqual(read_book(self.path("in.xlsx"))["in"],
                         {(0, 0): ("s", "a"), (0, 1): ("s", "1")})


class LongPaths(Case):
    def test_a_path_too_long_is_refused_not_cut(self):
        src = self.write("in.csv", "1\n")
        long_name = self.path("o" * 4200 + ".xlsx")
        # What a cut name would have replaced must stay as it was.
        for args in ([src, long_name, "/SILENT", "/OVERWRITE=1"],
                     [self.path("i" * 4200 + ".csv"), self.path("out.xlsx"), "/SILENT"]):
            with self.subTest(args=[a[:30] for a in args]):
                before = sorted(os.listdir(self.dir))
                status, err = self.quendle(*args)
                self.assertEqual(status, 1, err)
                self.assertIn("refused", err)
                self.assertEqual(sorted(os.listdir(self.dir)), before)

    def test_library_refuses_too(self):
        lib = ctypes.CDLL(LIBRARY)
        lib.Quendle_ConverterStr.argtypes = [ctypes.c_int32, ctypes.c_char_p]
        lib.Quendle_ConverterStr.restype = ctypes.c_int32
        src = self.write("in.csv", "1\n")
        text = "#".join(["x", src, self.path("o" * 4200 + ".xls")])
        self.assertEqual(lib.Quendle_ConverterStr(0, text.encode()), 3)
        self.assertEqual(sorted(os.listdir(self.dir)), ["in.csv"])


class DecimalSeparator(Case):
    def test_decimal_choice_in_program_and_library(self):
        lib = ctypes.CDLL(LIBRARY)
        lib.Quendle_ConverterStr.argtypes = [ctypes.c_int32, ctypes.c_char_p]
        lib.Quendle_ConverterStr.restype = ctypes.c_int32
        src = self.write("d.csv", "1.234,1,234,\"1,234.5\"\n")
        cases = [
            ("", {(0, 0): ("n", 1.234), (0, 1): ("n", 1), (0, 2): ("n", 234)}),
            ("/DECIMAL=.", {(0, 0): ("n", 1.234), (0, 3): ("n", 1234.5)}),
            ("/DECIMAL=,", {(0, 0): ("n", 1234), (0, 3): ("s", "1,234.5")}),
        ]
        for option, expected in cases:
            for via in ("program", "library"):
                with self.subTest(option=option, via=via):
                    out = self.path("d.xlsx")
                    args = [src, out, "/ALLCHAR=0", "/OVERWRITE=1"] + ([option] if option else [])
                    if via == "program":
                        status, err = self.quendle(*args, "/SILENT")
                        self.assertEqual(status, 0, err)
                    else:
                        text = "#".join(["x"] + args)
                        self.assertEqual(lib.Quendle_ConverterStr(0, text.encode()), 0)
                    self.assertCells(read_book(out)["d"], expected)


if __name__ == "__main__":
    unittest.main()
