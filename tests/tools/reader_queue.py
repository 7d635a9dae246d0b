#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs, on Linux, the reader commands that test programs under Wine ask for.

usage: reader_queue.py QUEUE WINEPREFIX TOOLS_DIR

A Windows test program cannot start python3 or unzip, so its RunCommand
(tests/support_windows.cpp) leaves NAME.request in QUEUE: the test's name on
the first line, then the command as the POSIX side would give it to its
shell. This program runs the command and leaves NAME.answer: the exit code on
the first line, then stdout and stderr together. Windows paths in the command
("C:\\...", "Z:\\...") become the Unix paths Wine keeps them at, and back again
in what the command prints, so the test sees its own names.

Only the scripts in TOOLS_DIR (run by python3) and unzip are run; anything
else is answered with exit code 126. QUEUE/ready exists while requests are
answered; QUEUE/answered.tsv lists each one (test, exit code, command). Stops
on SIGTERM or SIGINT.
"""
import os
import re
import shlex
import signal
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

WINDOWS_PATH = re.compile(r"^([A-Za-z]):[\\/]")


def unix_path(prefix, text):
    """The Unix path of a Windows path under Wine, or None when not one."""
    match = WINDOWS_PATH.match(text)
    if not match:
        return None
    drive = os.path.realpath(os.path.join(prefix, "dosdevices", match.group(1).lower() + ":"))
    rest = text[match.end():].replace("\\", "/")
    return os.path.join(drive, rest) if rest else drive


def allowed(argv, tools):
    if not argv:
        return False
    if os.path.basename(argv[0]).startswith("python3"):
        return len(argv) > 1 and os.path.dirname(os.path.realpath(argv[1])) == tools
    return argv[0] == "unzip"


def answer(queue, prefix, tools, request):
    with open(request, "rb") as source:
        text = source.read().decode("utf-8", "surrogateescape")
    test, _, command = text.partition("\n")
    renamed = {}
    try:
        argv = shlex.split(command)
    except ValueError as error:
        argv = None
        status, output = 126, "cannot split the command: %s\n" % error
    if argv is not None:
        for i, word in enumerate(argv):
            path = unix_path(prefix, word)
            if path is not None:
                renamed[path] = word
                argv[i] = path
        if not allowed(argv, tools):
            status, output = 126, "refused: only %s/*.py and unzip run here: %s\n" % (tools, command)
        else:
            try:
                done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                status = done.returncode
                output = done.stdout.decode("utf-8", "surrogateescape")
            except OSError as error:  # a missing program: the shell's status
                status, output = 127, "cannot run %s: %s\n" % (argv[0], error)
            # Longest first, so a folder does not rename part of a file in it.
            for path in sorted(renamed, key=len, reverse=True):
                output = output.replace(path, renamed[path])
    base = request[: -len(".request")]
    os.remove(request)
    with open(base + ".partial-answer", "wb") as target:
        target.write(("%d\n%s" % (status, output)).encode("utf-8", "surrogateescape"))
    os.rename(base + ".partial-answer", base + ".answer")
    return test, status, command


def main():
    if len(sys.argv) != 4:
        sys.stderr.write("usage: reader_queue.py QUEUE WINEPREFIX TOOLS_DIR\n")
        return 2
    queue, prefix = sys.argv[1], sys.argv[2]
    tools = os.path.realpath(sys.argv[3])
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(True))
    ready = os.path.join(queue, "ready")
    open(ready, "w").close()
    taken = set()
    with open(os.path.join(queue, "answered.tsv"), "a") as log, ThreadPoolExecutor(2) as pool:
        pending = []
        try:
            while not stopping:
                names = sorted(n for n in os.listdir(queue) if n.endswith(".request"))
                for name in names:
                    if name not in taken:
                        taken.add(name)
                        pending.append(pool.submit(answer, queue, prefix, tools,
                                                   os.path.join(queue, name)))
                for future in [f for f in pending if f.done()]:
                    pending.remove(future)
                    test, status, command = future.result()
                    log.write("%s\t%d\t%s\n" % (test, status, command.replace("\n", " ")))
                    log.flush()
                time.sleep(0.005)
        finally:
            os.remove(ready)
    return 0


if __name__ == "__main__":
    sys.exit(main())
