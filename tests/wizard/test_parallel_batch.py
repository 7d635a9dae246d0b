# SPDX-License-Identifier: MIT
"""A silent batch that converts several inputs at once, each into a workbook
of its own, against the same batch converted one input at a time: the same
stderr, run log (but for the times), status file and workbooks."""
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, QUENDLE  # noqa: E402

# The program's exit status when a conversion failed.
EXIT_CONVERSION_FAILED = 1
# A field longer than a cell holds: the run that meets it fails.
TOO_LONG = "x" * 33000


def batch_inputs():
    """Twenty inputs: typed values, dates whose order the first date fixes,
    a quote never closed, a field no cell holds, and two whose workbooks
    cannot be written (see obstacles)."""
    inputs = {}
    for i in range(20):
        kind = i % 5
        if kind == 0:
            text = "id,amount,when,flag\n%d,%d.5,13.03.2016,Y\n2,-3,01.02.2016 10:30,N\n" % (i, i)
        elif kind == 1:
            text = "a,b\n1,2016-03-13\n3,\"never closed\n4,5\n"
        elif kind == 2:
            text = "a,b\n1,2\n3,%s\n" % (TOO_LONG if i == 7 else "ok")
        elif kind == 3:
            text = "d,n\n03.13.2016,1.234\n%d,\"1,234.5\"\n007,1e5\n" % i
        else:
            text = "x\n" + "".join("%d,%d.25,05.06.2017,T\n" % (r, r) for r in range(300))
        inputs["f%02d.csv" % i] = text
    return inputs


def strip_times(log):
    """The run log without the time stamp of each entry."""
    return re.sub(r"\n\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d ", "\n<time> ", log)


class ParallelBatch(Case):
    def run_batch(self, name, jobs, pattern, *options):
        """Converts a fresh copy of the batch in folder `name` with
        QUENDLE_JOBS=jobs; gives everything the batch said and wrote."""
        root = self.path(name)
        folder = os.path.join(root, "in")
        os.makedirs(folder)
        for file, text in batch_inputs().items():
            with open(os.path.join(folder, file), "w", encoding="utf-8") as f:
                f.write(text)
        # f03's workbook is a folder, f09's an existing file that is no workbook.
        os.makedirs(os.path.join(folder, "f03.xls"))
        with open(os.path.join(folder, "f09.xls"), "wb") as f:
            f.write(b"not a workbook")
        env = dict(self.env)
        env["QUENDLE_JOBS"] = str(jobs)
        env["XDG_STATE_HOME"] = os.path.join(root, "state")
        done = subprocess.run([QUENDLE, os.path.join("in", pattern), "/SILENT", "/LOG",
                               "/STATUS=status.ini", *options],
                              env=env, cwd=root, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        log_path = os.path.join(root, "state", "Morvik", "wizards.log")
        with open(log_path, encoding="utf-8") as f:
            log = strip_times(f.read())
        with open(os.path.join(root, "status.ini"), encoding="utf-8") as f:
            status = f.read()
        books = {}
        for file in sorted(os.listdir(folder)):
            path = os.path.join(folder, file)
            if file.endswith(".xls") and os.path.isfile(path) and file != "f09.xls":
                books[file] = read_book(path)
        return {"exit": done.returncode, "stderr": done.stderr.decode("utf-8"), "log": log,
                "status": status, "files": sorted(os.listdir(folder)), "books": books}

    def assertSameBatch(self, one, many):
        for key in ("exit", "stderr", "log", "status", "files"):
            with self.subTest(compared=key):
                self.assertEqual(many[key], one[key])
        self.assertEqual(sorted(many["books"]), sorted(one["books"]))
        for name in one["books"]:
            with self.subTest(workbook=name):
                self.assertEqual(many["books"][name], one["books"][name])

    def test_typed_batch_says_and_writes_what_one_at_a_time_does(self):
        one = self.run_batch("one", 1, "*.csv", "/ALLCHAR=0")
        many = self.run_batch("many", 4, "*.csv", "/ALLCHAR=0")
        self.assertSameBatch(one, many)
        # The batch did meet every obstacle, and the first date's order held.
        self.assertEqual(one["exit"], EXIT_CONVERSION_FAILED)
        self.assertIn("Errors=3", one["status"])
        self.assertIn("Records=", one["status"])
        self.assertEqual(len(re.findall(r"(?m)^Warning: .*never closed", one["stderr"])), 4)
        self.assertIn("f07.csv: ", one["stderr"])
        self.assertNotIn("f07.xls", one["files"])
        self.assertEqual(one["books"]["f00.xls"]["f00"][(1, 2)], ("d", 42442.0))
        self.assertEqual(one["books"]["f18.xls"]["f18"][(1, 0)], ("s", "03.13.2016"))
        self.assertEqual(one["books"]["f04.xls"]["f04"][(300, 3)], ("b", True))

    def test_text_batch_says_and_writes_what_one_at_a_time_does(self):
        self.assertSameBatch(self.run_batch("one", 1, "*.csv"), self.run_batch("many", 2, "*.csv"))

    def test_inputs_that_share_a_workbook_go_one_at_a_time(self):
        # The pattern matches f00.csv and f00.CSV, and both go to f00.xls:
        # the second run adds its sheet to what the first one wrote.
        def run(name, jobs):
            root = self.path(name)
            os.makedirs(os.path.join(root, "in"))
            for ext in ("csv", "CSV"):
                with open(os.path.join(root, "in", "f00." + ext), "w") as f:
                    f.write("1,%s\n" % ext)
            env = dict(self.env)
            env["QUENDLE_JOBS"] = str(jobs)
            done = subprocess.run([QUENDLE, os.path.join("in", "*.csv"), "/SILENT"], env=env,
                                  cwd=root, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=300)
            return done.returncode, done.stderr, read_book(os.path.join(root, "in", "f00.xls"))
        one, many = run("one", 1), run("many", 2)
        self.assertEqual(many, one)
        self.assertEqual(one[2], {"f00": {(0, 0): ("s", "1"), (0, 1): ("s", "CSV")},
                                  "f00 (2)": {(0, 0): ("s", "1"), (0, 1): ("s", "csv")}})

    @unittest.skipUnless(hasattr(os, "mkfifo"), "needs named pipes")
    def test_a_second_input_is_converted_while_the_first_waits(self):
        # The first input is a pipe nobody writes to yet: only a batch that
        # converts inputs at once writes the second workbook meanwhile.
        folder = self.path("pipe")
        os.makedirs(folder)
        os.mkfifo(os.path.join(folder, "a.csv"))
        with open(os.path.join(folder, "b.csv"), "w") as f:
            f.write("1,2\n")
        env = dict(self.env)
        env["QUENDLE_JOBS"] = "2"
        process = subprocess.Popen([QUENDLE, os.path.join(folder, "*.csv"), "/SILENT"], env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while not os.path.exists(os.path.join(folder, "b.xls")) and time.monotonic() < deadline:
            time.sleep(0.05)
        converted_meanwhile = os.path.exists(os.path.join(folder, "b.xls"))
        with open(os.path.join(folder, "a.csv"), "w") as pipe:
            pipe.write("3,4\n")
        _, err = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 0, err)
        self.assertTrue(converted_meanwhile)
        self.assertEqual(read_book(os.path.join(folder, "a.xls"))["a"][(0, 1)], ("s", "4"))


if __name__ == "__main__":
    unittest.main()
