# SPDX-License-Identifier: MIT
"""The shared library as another program uses it: through ctypes, with the
batch rules of the library and calls on several threads at once."""
import ctypes
import os
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, LIBRARY  # noqa: E402


def load():
    lib = ctypes.CDLL(LIBRARY)
    lib.Quendle_Converter.argtypes = [ctypes.c_int32, ctypes.c_int32,
                                      ctypes.POINTER(ctypes.c_char_p)]
    lib.Quendle_Converter.restype = ctypes.c_int32
    lib.Quendle_ConverterStr.argtypes = [ctypes.c_int32, ctypes.c_char_p]
    lib.Quendle_ConverterStr.restype = ctypes.c_int32
    return lib


LIB = load()


def convert(*elements):
    array = (ctypes.c_char_p * (len(elements) + 1))(
        b"caller", *[e.encode() for e in elements])
    return LIB.Quendle_Converter(0, len(elements) + 1, array)


class LibraryBatches(Case):
    def setUp(self):
        super().setUp()
        for name in ("a", "b", "c"):
            self.write(os.path.join("in", name + ".csv"), name + ";1\n")
        self.pattern = self.path("in", "*.csv")

    def test_one_workbook_keeps_every_files_sheet(self):
        # OVERWRITE and TABLENAME apply to the first file only, as in the program.
        for output in ("new.xls", "new.xlsx"):
            with self.subTest(output=output):
                out = self.path(output)
                self.assertEqual(convert(self.pattern, out, "/OVERWRITE=1",
                                         "/TABLENAME=First", "/FIELDS=;"), 0)
                self.assertEqual(list(read_book(out)), ["First", "b", "c"])

    def test_existing_names_choose_per_file_workbooks(self):
        os.makedirs(self.path("out.xls"))  # a folder with a workbook's name
        self.assertEqual(convert(self.pattern, self.path("out.xls")), 0)
        for name in "abc":
            self.assertIn(name, read_book(self.path("out.xls", name + ".xls")))
        self.write("existing.xlsx", b"")
        self.assertEqual(convert(self.pattern, self.path("existing.xlsx")), 0)
        for name in "abc":
            self.assertIn(name, read_book(self.path(name + ".xlsx")))

    def test_bare_existing_xlsx_name_uses_the_current_folder(self):
        self.write("here.xlsx", b"")
        old = os.getcwd()
        os.chdir(self.dir)
        try:
            self.assertEqual(convert(self.pattern, "here.xlsx"), 0)
        finally:
            os.chdir(old)
        self.assertIn("a", read_book(self.path("a.xlsx")))

    def test_calls_on_threads_run_side_by_side(self):
        rows = "\n".join("%d,%d.5,text %d" % (i, i, i) for i in range(3000)) + "\n"
        inputs = [self.write("t%d.csv" % i, rows) for i in range(4)]
        results = [None] * 4

        def work(i):
            ext = ".xlsx" if i % 2 else ".xls"
            results[i] = LIB.Quendle_ConverterStr(
                0, ("caller#%s#%s#/ALLCHAR=0" % (inputs[i], self.path("t%d%s" % (i, ext)))
                    ).encode())

        threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, [0, 0, 0, 0])
        for i in range(4):
            ext = ".xlsx" if i % 2 else ".xls"
            cells = read_book(self.path("t%d%s" % (i, ext)))["t%d" % i]
            self.assertEqual(len(cells), 9000)
            self.assertEqual(cells[(2999, 1)], ("n", 2999.5))

    def test_failures_reach_the_run_log_with_log(self):
        state = self.path("state")
        old = os.environ.get("XDG_STATE_HOME")
        os.environ["XDG_STATE_HOME"] = state
        try:
            self.write("bad.xls", b"not a workbook")
            self.assertEqual(convert(self.pattern, self.path("ok.xlsx"), "/LOG"), 0)
            self.assertFalse(os.path.exists(os.path.join(state, "Morvik", "wizards.log")))
            self.assertEqual(convert(self.pattern, self.path("bad.xls"), "/LOG"), 3)
        finally:
            if old is None:
                del os.environ["XDG_STATE_HOME"]
            else:
                os.environ["XDG_STATE_HOME"] = old
        with open(os.path.join(state, "Morvik", "wizards.log"), encoding="utf-8") as f:
            log = f.read()
        # One entry per file that failed, each naming the workbook.
        self.assertEqual(log.count("QUENDLE    Error: Cannot open the existing workbook"), 3)
        self.assertIn(self.path("bad.xls"), log)

    def test_fields_auto_chooses_per_file_and_says_nothing(self):
        # In a process of its own, so that its stderr can be read.
        self.write(os.path.join("auto", "semi.csv"), "x;y\n1;2\n")
        self.write(os.path.join("auto", "tab.csv"), "x\ty\n1\t2\n")
        state = self.path("state")
        script = ("import ctypes, sys\n"
                  "lib = ctypes.CDLL(sys.argv[1])\n"
                  "lib.Quendle_ConverterStr.argtypes = [ctypes.c_int32, ctypes.c_char_p]\n"
                  "sys.exit(lib.Quendle_ConverterStr(0, sys.argv[2].encode()))\n")
        line = "#".join(["me", self.path("auto", "*.csv"), self.path("auto.xlsx"),
                         "/FIELDS=AUTO", "/LOG"])
        done = subprocess.run([sys.executable, "-c", script, LIBRARY, line],
                              env=dict(self.env, XDG_STATE_HOME=state),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr, b"")
        book = read_book(self.path("auto.xlsx"))
        for name in ("semi", "tab"):
            self.assertEqual(book[name], {(0, 0): ("s", "x"), (0, 1): ("s", "y"),
                                          (1, 0): ("s", "1"), (1, 1): ("s", "2")})
        # The run log notes what was chosen.
        with open(os.path.join(state, "Morvik", "wizards.log"), encoding="utf-8") as f:
            log = f.read()
        self.assertIn('Delimiter: ";" (found in the input %s)' % self.path("auto", "semi.csv"),
                      log)
        self.assertIn("Delimiter: TAB (found in the input %s)" % self.path("auto", "tab.csv"),
                      log)

    def test_only_the_two_entry_points_are_exported(self):
        symbols = subprocess.run(["nm", "-D", "--defined-only", LIBRARY],
                                 stdout=subprocess.PIPE, check=True).stdout.decode()
        names = sorted(line.split()[-1] for line in symbols.splitlines()
                       if line.split()[1] not in ("A",))
        self.assertEqual(names, ["Quendle_Converter", "Quendle_ConverterStr"])


if __name__ == "__main__":
    unittest.main()
