# SPDX-License-Identifier: MIT
"""Shared pieces of the end-to-end tests: a private temporary home for each
test (so the run log and INI files of the machine stay out of it), running
the program, and reading workbooks back with openpyxl and xlrd."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_workbook  # noqa: E402

QUENDLE = os.environ.get("QUENDLE_BIN", "")
LIBRARY = os.environ.get("QUENDLE_LIB", "")
CORPUS = os.environ.get("QUENDLE_CORPUS_DIR", "")
SAMPLES = os.environ.get("QUENDLE_SAMPLES_DIR", "")


def read_book(path):
    """The workbook as {sheet name: {(row, column): (kind, value)}}, in order."""
    with open(path, "rb") as file:
        zipped = file.read(2) == b"PK"
    if zipped:
        data = read_workbook.read_xlsx(path)
    else:
        data = read_workbook.read_xls(path)
    book = {}
    for sheet in data["sheets"]:
        book[sheet["name"]] = {(r, c): (k, v) for r, c, k, v in sheet["cells"]}
    return book


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quendle-e2e-")
        self.env = dict(os.environ)
        self.env["HOME"] = self.dir
        self.env["XDG_STATE_HOME"] = os.path.join(self.dir, "state")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        self.env["LANG"] = "C.UTF-8"
        self.env.pop("LC_ALL", None)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write(self, name, text, encoding="utf-8"):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text.encode(encoding) if isinstance(text, str) else text)
        return path

    def quendle(self, *args, cwd=None):
        """Runs the program; gives (exit status, stderr)."""
        done = subprocess.run([QUENDLE, *args], env=self.env, cwd=cwd or self.dir,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        return done.returncode, done.stderr.decode("utf-8", "replace")

    def assertCells(self, cells, expected):
        """Each (row, column): (kind, value) of `expected` is in `cells`;
        numbers compare to 9 places."""
        for key, (kind, value) in expected.items():
            with self.subTest(cell=key):
                self.assertIn(key, cells)
                got_kind, got_value = cells[key]
                self.assertEqual(got_kind, kind)
                if kind in ("n", "d"):
                    self.assertAlmostEqual(got_value, value, places=9)
                else:
                    self.assertEqual(got_value, value)
