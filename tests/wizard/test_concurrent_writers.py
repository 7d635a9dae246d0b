# SPDX-License-Identifier: MIT
"""Conversions that meet on one workbook: several programs started together
all land their sheets; a run waits for one that holds the workbook, or gives
up after the wait and leaves the workbook alone; a workbook an office program
has open is refused; a killed run holds nothing. A run is held in the middle
of its conversion by an input that is a named pipe the test writes."""
import errno
import fcntl
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, QUENDLE  # noqa: E402

EXIT_CONVERSION_FAILED = 1
IN_USE = "is open in another program; close it and try again"
ROWS = 30000
HELD_ROWS = 8000  # about 100 KB


def rows_text(name, count):
    return "".join("%s-%d,%d\n" % (name, i, i) for i in range(count))


class ConcurrentWriters(Case):
    def start(self, *args):
        return subprocess.Popen([QUENDLE, *args, "/SILENT", "/OVERWRITE=0"], env=self.env,
                                cwd=self.dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def finish(self, process):
        out, err = process.communicate(timeout=300)
        return process.returncode, err.decode("utf-8", "replace")

    def make_book(self, name):
        """A workbook holding one sheet, "base", with one row."""
        self.write("base.csv", "kept,1\n")
        book = self.path(name)
        status, err = self.quendle("base.csv", book, "/SILENT")
        self.assertEqual(status, 0, err)
        return book

    def leftovers(self):
        return sorted(f for f in os.listdir(self.dir) if f.startswith(".quendle-"))

    def held_run(self, book, table):
        """A run whose input is a named pipe: it holds `book`'s lock until
        release() gives it the rest of its input."""
        fifo = self.path(table + ".csv")
        os.mkfifo(fifo)
        process = self.start(fifo, book, "/TABLENAME=" + table)
        writer = open(fifo, "w")  # waits until the run opens its input
        # More than the reader's first probe (64 KiB, read before the first
        # record), so the run gets to its records and takes the lock.
        writer.write(rows_text(table, HELD_ROWS))
        writer.flush()
        lock = os.path.join(os.path.dirname(book), ".quendle-lock-" + os.path.basename(book))
        deadline = time.monotonic() + 60
        while not self.lock_is_held(lock):
            self.assertLess(time.monotonic(), deadline, "the held run never took the lock")
            self.assertIsNone(process.poll(), "the held run ended early")
            time.sleep(0.02)

        def release():
            writer.write(rows_text(table, 10))
            writer.close()
        return process, release

    @staticmethod
    def lock_is_held(path):
        try:
            fd = os.open(path, os.O_RDONLY)
        except FileNotFoundError:
            return False
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            fcntl.flock(fd, fcntl.LOCK_UN)
            return False
        except OSError as e:
            return e.errno in (errno.EWOULDBLOCK, errno.EAGAIN)
        finally:
            os.close(fd)

    def test_programs_started_together_all_land_their_sheets(self):
        for extension in ("xlsx", "xls"):
            with self.subTest(extension=extension):
                book = self.make_book("together." + extension)
                names = ["w1", "w2", "w3"]
                for name in names:
                    self.write(name + ".csv", rows_text(name, ROWS))
                runs = [self.start(name + ".csv", book, "/TABLENAME=" + name) for name in names]
                results = [self.finish(run) for run in runs]
                for name, (status, err) in zip(names, results):
                    self.assertEqual(status, 0, name + ": " + err)
                sheets = read_book(book)
                self.assertEqual(sorted(sheets), ["base"] + names)
                self.assertEqual(sheets["base"][(0, 0)], ("s", "kept"))
                for name in names:
                    cells = sheets[name]
                    self.assertEqual(len(cells), 2 * ROWS, name)
                    self.assertEqual(cells[(ROWS - 1, 0)], ("s", "%s-%d" % (name, ROWS - 1)))
                self.assertEqual(self.leftovers(), [])

    def test_a_second_run_waits_and_adds_to_what_the_first_saved(self):
        book = self.make_book("wait.xlsx")
        first, release = self.held_run(book, "first")
        self.write("second.csv", "b,2\n")
        second = self.start("second.csv", book)
        time.sleep(1.0)
        self.assertIsNone(second.poll(), "the second run did not wait")
        release()
        self.assertEqual(self.finish(first)[0], 0)
        status, err = self.finish(second)
        self.assertEqual(status, 0, err)
        waits = [line for line in err.splitlines() if line.startswith("Waiting: ")]
        self.assertEqual(len(waits), 1, err)
        self.assertIn(book, waits[0])
        sheets = read_book(book)
        self.assertEqual(list(sheets), ["base", "first", "second"])
        self.assertEqual(len(sheets["first"]), 2 * (HELD_ROWS + 10))
        self.assertEqual(sheets["second"], {(0, 0): ("s", "b"), (0, 1): ("s", "2")})
        self.assertEqual(self.leftovers(), [])

    def test_a_run_that_waits_too_long_fails_and_leaves_the_workbook(self):
        book = self.make_book("timeout.xls")
        with open(book, "rb") as f:
            before = f.read()
        first, release = self.held_run(book, "first")
        self.write("late.csv", "c,3\n")
        started = time.monotonic()
        status, err = self.finish(self.start("late.csv", book))
        waited = time.monotonic() - started
        with open(book, "rb") as f:
            after = f.read()
        release()
        self.assertEqual(self.finish(first)[0], 0)
        self.assertEqual(status, EXIT_CONVERSION_FAILED, err)
        self.assertGreaterEqual(waited, 29)
        self.assertIn("Error: " + book, err)
        self.assertIn("after 30 seconds", err)
        self.assertEqual(after, before)
        self.assertEqual(list(read_book(book)), ["base", "first"])

    def test_a_workbook_with_an_office_owner_file_is_refused(self):
        book = self.make_book("owned.xlsx")
        with open(book, "rb") as f:
            before = f.read()
        self.write("new.csv", "d,4\n")
        for owner in (".~lock.owned.xlsx#", "~$owned.xlsx"):
            with self.subTest(owner=owner):
                owner_path = self.write(owner, "someone,host,me,01.01.2026 10:00,\n")
                status, err = self.quendle("new.csv", book, "/SILENT")
                os.remove(owner_path)
                self.assertEqual(status, EXIT_CONVERSION_FAILED, err)
                self.assertIn(book + " " + IN_USE, err)
                self.assertIn(owner_path, err)
                with open(book, "rb") as f:
                    self.assertEqual(f.read(), before)
                self.assertEqual(self.leftovers(), [])

    def test_a_killed_run_holds_nothing(self):
        book = self.make_book("killed.xlsx")
        first, _ = self.held_run(book, "first")
        first.send_signal(signal.SIGKILL)
        first.wait(timeout=60)
        self.write("after.csv", "e,5\n")
        started = time.monotonic()
        status, err = self.quendle("after.csv", book, "/SILENT")
        self.assertEqual(status, 0, err)
        self.assertLess(time.monotonic() - started, 10)
        self.assertNotIn("Waiting", err)
        self.assertEqual(list(read_book(book)), ["base", "after"])
        self.assertEqual(self.leftovers(), [])


if __name__ == "__main__":
    unittest.main()
