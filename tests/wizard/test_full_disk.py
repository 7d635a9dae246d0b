# SPDX-License-Identifier: MIT
"""A disk that fills up while the workbook is written. The program runs
under a file-size limit that the workbook passes halfway; SIGXFSZ is
ignored, so the write that crosses it fails with EFBIG as on a full disk
instead of ending the process. Each format, new workbook and existing one:
the run fails with a message and status 1, an existing workbook keeps
every byte, and no temporary file stays behind."""
import hashlib
import os
import resource
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.environ["QUENDLE_TOOLS_DIR"])
from quendle_testing import Case, read_book, QUENDLE  # noqa: E402

LIMIT = 256 * 1024


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def full_disk():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (LIMIT, LIMIT))


class FullDisk(Case):
    def quendle_limited(self, *args):
        done = subprocess.run([QUENDLE, *args], env=self.env, cwd=self.dir,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300, preexec_fn=full_disk)
        return done.returncode, done.stderr.decode("utf-8", "replace")

    def test_failed_write_keeps_the_old_workbook_and_leaves_no_temporary(self):
        # Texts that neither format can squeeze under the limit: 40,000
        # distinct hex digests, about 1.7 MB. A new workbook gets them; an
        # existing one holds them already, and one small row is added, so
        # that its save must copy them over the limit.
        big = self.write("big.csv", "".join(
            "%d,%s\n" % (i, hashlib.sha1(str(i).encode()).hexdigest()) for i in range(40000)))
        small = self.write("small.csv", "added,1\n")
        cases = [
            # Both writers keep a new sheet's cells in scratch files while
            # they come in; that is where a new book meets the limit.
            ("xlsx, new", "book.xlsx", False, "Cannot write temporary sheet data: File too large"),
            ("xlsx, existing", "book.xlsx", True, "Cannot save XLSX file."),
            ("xls, new", "book.xls", False, "cannot write a scratch file: File too large"),
            # A loaded .xls book passes its string table on to a scratch
            # file as it loads, so there the limit is met before the save.
            ("xls, existing", "book.xls", True,
             "The shared strings cannot be kept: cannot write a scratch file: File too large"),
        ]
        for name, output, existing, failure in cases:
            with self.subTest(name):
                folder = self.path("out-" + name.replace(", ", "-"))
                os.makedirs(folder)
                out = os.path.join(folder, output)
                before = None
                if existing:
                    status, err = self.quendle(big, out, "/SILENT")
                    self.assertEqual(status, 0, err)
                    self.assertGreater(os.path.getsize(out), LIMIT)
                    before = digest(out)
                status, err = self.quendle_limited(small if existing else big, out, "/SILENT")
                self.assertEqual(status, 1, err)
                self.assertIn("Error: ", err)
                self.assertIn(failure, err)
                self.assertIn("File too large", err)  # the system's reason reaches the user
                if existing:
                    self.assertEqual(os.listdir(folder), [output])
                    self.assertEqual(digest(out), before)
                    self.assertEqual(list(read_book(out)), ["big"])
                else:
                    self.assertEqual(os.listdir(folder), [])
                # Without the limit the same run succeeds.
                status, err = self.quendle(small if existing else big, out, "/SILENT")
                self.assertEqual(status, 0, err)
                self.assertEqual(list(read_book(out)), ["big", "small"] if existing else ["big"])


if __name__ == "__main__":
    unittest.main()
