#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Windows build under 64-bit Wine, checked from the Linux side: silent
runs of quendle.exe compared cell by cell with the Linux program's output for
the same input, the library loaded by name and by ordinal, and the failure
paths (a missing input, a workbook another program holds open, a folder
that takes no new file). Workbooks are read back with openpyxl and xlrd.

Environment: QUENDLE_WIN_BIN (quendle.exe), QUENDLE_WIN_TESTS (folder of
library_loader_test.exe and hold_file.exe), QUENDLE_BIN (the Linux program),
WINEPREFIX with a running wineserver."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quendle_testing import read_book  # noqa: E402

WIN_BIN = os.environ.get("QUENDLE_WIN_BIN", "")
WIN_TESTS = os.environ.get("QUENDLE_WIN_TESTS", "")
LINUX_BIN = os.environ.get("QUENDLE_BIN", "")
WINE = shutil.which("wine") or "wine"

# CR inside quoted fields, CR LF and LF line ends, Cyrillic, a date, numbers
# with decimal commas and booleans: bytes a text-mode file would change.
SALES = (
    "Date;Item;Qty;Price;Paid\r\n"
    "05.03.2024;\"Bolt\rM6\";10;0,25;Y\r\n"
    "06.03.2024;Гайка;5;1,5;N\n"
    "07.03.2024;\"two\r\nlines\";-3;12,75;y\r\n"
)
# 0x98 is a hole in Windows-1251: both systems must give U+FFFD.
LEGACY = b"\xcf\xf0\xe8\xe2\xe5\xf2;a\x98b\r\n\xc0\xc1\xc2;1\r\n"


def windows_path(path):
    """The path as a Windows program under Wine names it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WindowsBuild(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quendle-win-")
        self.env = dict(os.environ)
        # Wine sets %APPDATA% from its prefix, whatever the caller passes: the
        # run log lands in the prefix, which belongs to this build.
        self.appdata = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users",
                                    os.environ.get("USER", "root"), "AppData", "Roaming")
        shutil.rmtree(os.path.join(self.appdata, "Morvik"), ignore_errors=True)
        self.env["XDG_STATE_HOME"] = os.path.join(self.dir, "state")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode("utf-8") if isinstance(data, str) else data)
        return path

    def run_windows(self, *arguments, program=None):
        command = [WINE, program or WIN_BIN] + list(arguments)
        return subprocess.run(command, env=self.env, capture_output=True, timeout=300)

    def run_linux(self, *arguments):
        return subprocess.run([LINUX_BIN] + list(arguments), env=self.env,
                              capture_output=True, timeout=300)

    def leftovers(self, folder):
        return [n for n in os.listdir(folder) if n.startswith(".quendle-save-")]

    def test_silent_runs_match_the_linux_build(self):
        cases = [
            # (what, input name, input bytes, output name, options)
            ("xlsx typed", "sales.csv", SALES, "out.xlsx", ["/FIELDS=;", "/ALLCHAR=0"]),
            ("xls typed", "sales.csv", SALES, "out.xls", ["/FIELDS=;", "/ALLCHAR=0"]),
            ("xlsx text, header", "sales.csv", SALES, "out.xlsx", ["/FIELDS=;", "/HEADER=1"]),
            ("Cyrillic names", "Отчёт за март.csv", SALES, "Сводка.xlsx",
             ["/FIELDS=;", "/ALLCHAR=0"]),
            ("legacy code page", "legacy.csv", LEGACY, "legacy.xls",
             ["/FIELDS=;", "/CODEPAGE=1251"]),
            ("legacy code page, xlsx", "legacy.csv", LEGACY, "legacy.xlsx",
             ["/FIELDS=;", "/CODEPAGE=1251", "/ALLCHAR=0"]),
        ]
        for what, input_name, data, output_name, options in cases:
            with self.subTest(what):
                linux_in = self.write(os.path.join("linux", input_name), data)
                win_in = self.write(os.path.join("win", "sub", input_name), data)
                linux_out = os.path.join(self.dir, "linux", output_name)
                win_out = os.path.join(self.dir, "win", output_name)
                linux = self.run_linux(linux_in, linux_out, "/SILENT", "/OVERWRITE=1",
                                       *options)
                self.assertEqual(linux.returncode, 0, linux.stderr)
                # Backslashes, and a relative part, as Windows users write paths.
                win = self.run_windows(windows_path(win_in).replace("\\sub\\", "\\sub\\.\\"),
                                       windows_path(win_out), "/SILENT", "/OVERWRITE=1",
                                       *options)
                self.assertEqual(win.returncode, 0, win.stderr.decode("utf-8", "replace"))
                self.assertEqual(read_book(win_out), read_book(linux_out))
                self.assertEqual(self.leftovers(os.path.dirname(win_out)), [])

    def test_replacing_and_adding_to_an_existing_workbook(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension):
                first = self.write("first.csv", "a,1\r\n")
                second = self.write("second.csv", "b,2\r\n")
                out = os.path.join(self.dir, "book." + extension)
                for source, overwrite in ((first, "1"), (first, "1"), (second, "0")):
                    result = self.run_windows(windows_path(source), windows_path(out),
                                              "/SILENT", "/OVERWRITE=" + overwrite)
                    self.assertEqual(result.returncode, 0,
                                     result.stderr.decode("utf-8", "replace"))
                book = read_book(out)
                self.assertEqual(list(book), ["first", "second"])
                self.assertEqual(book["second"][(0, 0)], ("s", "b"))
                self.assertEqual(self.leftovers(self.dir), [])

    def test_paths_longer_than_max_path(self):
        # MAX_PATH is 260: beyond it only the "\\?\" form of a name opens.
        deep = os.path.join("длинный " + "a" * 90, "b" * 100, "c" * 100)
        linux_in = self.write(os.path.join("linux", "in.csv"), SALES)
        win_in = self.write(os.path.join(deep, "in.csv"), SALES)
        linux_out = os.path.join(self.dir, "linux", "out.xlsx")
        win_out = os.path.join(self.dir, deep, "Сводка за год.xlsx")
        self.assertGreater(len(windows_path(win_out)), 300)
        linux = self.run_linux(linux_in, linux_out, "/SILENT", "/FIELDS=;", "/ALLCHAR=0")
        self.assertEqual(linux.returncode, 0, linux.stderr)
        for _ in range(2):  # made, then replaced
            win = self.run_windows(windows_path(win_in), windows_path(win_out), "/SILENT",
                                   "/FIELDS=;", "/ALLCHAR=0", "/OVERWRITE=1")
            self.assertEqual(win.returncode, 0, win.stderr.decode("utf-8", "replace"))
        self.assertEqual(read_book(win_out), read_book(linux_out))
        self.assertEqual(self.leftovers(os.path.dirname(win_out)), [])

    def test_wildcards_convert_every_match_into_one_workbook(self):
        self.write("in/a.csv", "1\r\n")
        self.write("in/B.CSV", "2\r\n")
        self.write("in/c.txt", "3\r\n")
        self.write("in/d.csvx", "4\r\n")  # its short name ends in .CSV
        out = os.path.join(self.dir, "all.xlsx")
        pattern = windows_path(os.path.join(self.dir, "in")) + "\\*.csv"
        result = self.run_windows(pattern, windows_path(out), "/SILENT", "/ALLCHAR=0")
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        self.assertEqual(list(read_book(out)), ["B", "a"])

    def test_failures_name_the_file_and_keep_the_workbook(self):
        source = self.write("in.csv", "a,1\r\n")
        out = os.path.join(self.dir, "held.xlsx")
        result = self.run_windows(windows_path(source), windows_path(out), "/SILENT")
        self.assertEqual(result.returncode, 0)
        before = open(out, "rb").read()

        with self.subTest("missing input"):
            missing = windows_path(os.path.join(self.dir, "absent.csv"))
            result = self.run_windows(missing, windows_path(out), "/SILENT", "/OVERWRITE=1")
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("absent.csv", result.stderr.decode("utf-8", "replace"))

        with self.subTest("workbook held open by another program"):
            stop = os.path.join(self.dir, "stop")
            holder = subprocess.Popen(
                [WINE, os.path.join(WIN_TESTS, "hold_file.exe"), windows_path(out),
                 windows_path(stop)], env=self.env, stdout=subprocess.PIPE,
                stderr=subprocess.PIPE)
            try:
                self.assertEqual(holder.stdout.readline().strip(), b"holding")
                result = self.run_windows(windows_path(source), windows_path(out), "/SILENT",
                                          "/OVERWRITE=1", "/LOG")
            finally:
                open(stop, "w").close()
                holder.wait(timeout=60)
            message = result.stderr.decode("utf-8", "replace")
            self.assertEqual(result.returncode, 1, message)
            self.assertIn("is open in another program; close it and try again", message)
            self.assertIn("held.xlsx", message)
            self.assertEqual(open(out, "rb").read(), before)
            self.assertEqual(self.leftovers(self.dir), [])
            # The run log sits in the redirected application-data folder.
            log = os.path.join(self.appdata, "Morvik", "wizards.log")
            self.assertTrue(os.path.exists(log), os.listdir(self.appdata))

    def test_a_folder_that_takes_no_new_file_keeps_its_workbook(self):
        # Root passes every permission check, so a folder without write
        # permission takes new files; an immutable folder refuses them to root
        # as well, and Wine reports that as access denied, as Windows does a
        # folder its user may not write to.
        source = self.write("in.csv", "a,1\r\n")
        folder = os.path.join(self.dir, "locked")
        out = os.path.join(folder, "kept.xlsx")
        os.makedirs(folder)
        result = self.run_windows(windows_path(source), windows_path(out), "/SILENT")
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        with open(out, "rb") as f:
            before = f.read()
        if subprocess.run(["chattr", "+i", folder], capture_output=True).returncode != 0:
            self.skipTest("chattr +i is not allowed here, and root writes to any folder")
        try:
            result = self.run_windows(windows_path(source), windows_path(out), "/SILENT",
                                      "/OVERWRITE=1")
            listed = os.listdir(folder)
        finally:
            subprocess.run(["chattr", "-i", folder], check=True)
        message = result.stderr.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 1, message)
        self.assertIn("does not allow new files", message)
        self.assertIn("kept.xlsx", message)
        with open(out, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertEqual(listed, ["kept.xlsx"])

    def test_the_library_loads_by_name_and_ordinal(self):
        self.write("lib/café.csv", "x,1\r\nÿ,2.5\r\n")
        folder = os.path.join(self.dir, "lib")
        result = self.run_windows(windows_path(folder),
                                  program=os.path.join(WIN_TESTS, "library_loader_test.exe"))
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        vector = read_book(os.path.join(folder, "résumé-vector.xlsx"))
        text = read_book(os.path.join(folder, "résumé-text.xls"))
        self.assertEqual(vector["Vector"], text["Text"])
        self.assertEqual(vector["Vector"][(1, 0)], ("s", "ÿ"))
        self.assertEqual(vector["Vector"][(1, 1)][1], 2.5)


if __name__ == "__main__":
    for name, value in (("QUENDLE_WIN_BIN", WIN_BIN), ("QUENDLE_WIN_TESTS", WIN_TESTS),
                        ("QUENDLE_BIN", LINUX_BIN)):
        if not value or not os.path.exists(value):
            sys.exit(f"windows_checks.py: {name} does not name a file or folder: {value!r}")
    unittest.main()
