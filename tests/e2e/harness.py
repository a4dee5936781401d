"""Runs the real fragtally program in a temporary folder and collects what it did.

The program is named by the environment variable FRAGTALLY (CTest sets it). When
FRAGTALLY_RUNNER is set (for example "wine" for a Windows build), the program runs under it,
and line ends written as CR LF are read back as LF, so the same expectations hold.
"""

import os
import pathlib
import runpy
import shlex
import subprocess
import tempfile
import types
import unittest

PROGRAM = os.environ.get("FRAGTALLY", "")
RUNNER = shlex.split(os.environ.get("FRAGTALLY_RUNNER", ""))
DATA = pathlib.Path(__file__).resolve().parent.parent / "data"

LOG = "qconsole.log"
REPORT = "qconsole.txt"

# A Windows program (an .exe, run under wine elsewhere) stores text lines ending in CR LF.
WINDOWS_PROGRAM = PROGRAM.lower().endswith(".exe")
TEXT_LINE_END = b"\r\n" if WINDOWS_PROGRAM else b"\n"


class Run:
    """What one run of the program left behind."""

    def __init__(self, folder, completed):
        self.folder = pathlib.Path(folder)
        self.status = completed.returncode
        self.stdout = self._lines(completed.stdout or b"")
        self.stderr = self._lines(completed.stderr)
        report = self.folder / REPORT
        self.report = self._lines(report.read_bytes()) if report.is_file() else None
        # The bytes as the program wrote them, line ends unchanged.
        self.raw_stdout = completed.stdout or b""
        self.raw_report = report.read_bytes() if report.is_file() else None
        self.files = sorted(p.name for p in self.folder.iterdir())

    @staticmethod
    def _lines(data):
        return data.replace(b"\r\n", b"\n") if RUNNER else data


def run_program(folder, args=(), timeout=120, **popen_args):
    """Runs the program with the given arguments and folder as its current folder; returns a
    Run. Standard output is collected unless popen_args name another stdout."""
    if not PROGRAM:
        raise unittest.SkipTest("FRAGTALLY is not set")
    if RUNNER and "env" not in popen_args:
        # Wine hands the program file names beyond ASCII only under a UTF-8 locale.
        popen_args["env"] = {**os.environ, "LC_ALL": "C.UTF-8"}
    completed = subprocess.run(
        RUNNER + [PROGRAM, *args],
        cwd=folder,
        stdin=popen_args.pop("stdin", subprocess.DEVNULL),
        stdout=popen_args.pop("stdout", subprocess.PIPE),
        stderr=subprocess.PIPE,
        timeout=timeout,
        check=False,
        **popen_args,
    )
    return Run(folder, completed)


def run_on_log(log, **popen_args):
    """Writes the bytes of log (None: no log at all) as qconsole.log in a new temporary
    folder, runs the program there and returns a Run. The folder is removed afterwards."""
    with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
        if log is not None:
            (pathlib.Path(folder) / LOG).write_bytes(log)
        return run_program(folder, **popen_args)


def progress(count):
    """The progress output of a run over count lines."""
    return b"".join(b"%d lines parsed.\n" % i for i in range(1, count + 1))


def run_in_new_folder(log, prepare=None, **popen_args):
    """Like run_on_log, but first calls prepare(folder) (a pathlib.Path) when given, so a test
    can put files or folders beside the log before the program runs."""
    with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
        path = pathlib.Path(folder)
        if log is not None:
            (path / LOG).write_bytes(log)
        if prepare is not None:
            prepare(path)
        return run_program(folder, **popen_args)


def files_under(folder):
    """Every file and link below folder, as sorted paths relative to it with "/" between
    parts."""
    root = pathlib.Path(folder)
    return sorted(
        p.relative_to(root).as_posix()
        for p in root.rglob("*")
        if p.is_symlink() or not p.is_dir()
    )


def windows_skip(reason):
    """Skips the decorated test when the program runs under a runner such as wine, where what
    the test needs (a pseudo-terminal, a resource limit, a POSIX error text) does not reach a
    Windows program; reason says which."""
    return unittest.skipIf(bool(RUNNER), "not under %s: %s" % (" ".join(RUNNER), reason))


def load_derive_report():
    """The plain model of the rules, tests/data/derive_report.py, loaded as a module."""
    return types.SimpleNamespace(**runpy.run_path(str(DATA / "derive_report.py")))
