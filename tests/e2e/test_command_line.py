"""The command line, one table of cases: each run's exit status, the first line of its
standard output and of its standard error, the files present afterwards, and the log left
byte for byte as it was."""

import os
import pathlib
import tempfile
import unittest
from dataclasses import dataclass, field

from harness import RUNNER, files_under, run_program

LOG = b"Bob was railed by Alice\nchat\n"
ROUND_LIMIT_LOG = b"fraglimit hit\n" * 51 + LOG
NOTICE = b"How much have you been playing? I never anticipated anyone playing more than"
PROGRESS = b"1 lines parsed."
HELP = b"Reads the console log of a deathmatch game and reports every player's kills and"
VERSION = b"fragtally 0.23b"
REPORT = b"fragtally, version 0.23b"
PAGE = b"<!DOCTYPE html>"
TRY_HELP = b"Try 'fragtally --help' for more information."
FOLDER = "Zo\u00eb's games/\u65e5\u672c"  # blanks and characters beyond ASCII

ONLY_LOG = ["qconsole.log"]
# Every one of 100 players killed by every other: a report far larger than a pipe holds.
MANY_PLAYERS_LOG = b"".join(
    b"P%d was railed by P%d\n" % (victim, killer)
    for victim in range(100)
    for killer in range(100)
    if victim != killer
)
WITH_REPORT = ["qconsole.log", "qconsole.txt"]


@dataclass
class Case:
    args: list
    status: int
    stdout: bytes  # the first line, b"" for none
    stderr: bytes  # the first line, b"" for none
    files: list  # every file afterwards
    logs: list = field(default_factory=lambda: ["qconsole.log"])  # written before the run
    links: dict = field(default_factory=dict)  # link -> what it points to
    folders: list = field(default_factory=list)  # made empty before the run
    windows_only: str = ""  # why the case cannot run for a POSIX program
    posix_only: str = ""  # why the case cannot run for a Windows program
    log: bytes = LOG  # what every log holds
    stdout_closed: bool = False  # standard output a pipe whose reader is gone


def usage(text):
    return b"fragtally: " + text


CASES = {
    "no arguments: today's run": Case([], 1, PROGRESS, b"", WITH_REPORT),
    "-q": Case(["-q"], 1, b"", b"", WITH_REPORT),
    "--quiet": Case(["--quiet"], 1, b"", b"", WITH_REPORT),
    "-h": Case(["-h"], 0, HELP, b"", ONLY_LOG),
    "--help": Case(["--help"], 0, HELP, b"", ONLY_LOG),
    "--help among other arguments": Case(["-o", "x.txt", "--help", "a.log"], 0, HELP, b"", ONLY_LOG),
    "-V": Case(["-V"], 0, VERSION, b"", ONLY_LOG),
    "--version": Case(["--version"], 0, VERSION, b"", ONLY_LOG),
    "/? on Windows": Case(
        ["/?"], 0, HELP, b"", ONLY_LOG, windows_only="on POSIX systems /? is a path"
    ),
    "a LOG in another folder": Case(
        ["games/match.log"],
        1,
        PROGRESS,
        b"",
        ["games/match.log", "games/match.txt"],
        logs=["games/match.log"],
    ),
    "a LOG in another folder, named with backslashes": Case(
        ["games\\match.log"],
        1,
        PROGRESS,
        b"",
        ["games/match.log", "games/match.txt"],
        logs=["games/match.log"],
        windows_only="on POSIX systems a backslash is part of a name",
    ),
    "a LOG with blanks and non-ASCII characters in its path": Case(
        [FOLDER + "/first game.log"],
        1,
        PROGRESS,
        b"",
        [FOLDER + "/first game.log", FOLDER + "/first game.txt"],
        logs=[FOLDER + "/first game.log"],
    ),
    "a LOG named after --": Case(
        ["--", "-odd.log"], 1, PROGRESS, b"", ["-odd.log", "-odd.txt"], logs=["-odd.log"]
    ),
    "the report named after the log, beside another log's": Case(
        ["a.log"], 1, PROGRESS, b"", ["a.log", "a.txt", "qconsole.log", "qconsole.txt"],
        logs=["a.log", "qconsole.log", "qconsole.txt"],
    ),
    "a.txt given as the log": Case(
        ["a.txt"], 1, PROGRESS, b"", ["a.report.txt", "a.txt"], logs=["a.txt"]
    ),
    "a log without an extension": Case(
        ["games/match"], 1, PROGRESS, b"", ["games/match", "games/match.txt"],
        logs=["games/match"],
    ),
    "a missing LOG": Case(
        ["missing.log"],
        2,
        b"",
        b"fragtally: cannot open missing.log: No such file or directory",
        ONLY_LOG,
    ),
    "-q at the round limit: the notice still shows, on standard error": Case(
        ["-q"], 1, b"", NOTICE, WITH_REPORT, log=ROUND_LIMIT_LOG
    ),
    "-o - at the round limit: the notice goes to standard error": Case(
        ["-o", "-"], 1, REPORT, NOTICE, ONLY_LOG, log=ROUND_LIMIT_LOG
    ),
    "-o FILE": Case(["-o", "week.txt"], 1, PROGRESS, b"", ["qconsole.log", "week.txt"]),
    "--output=FILE, the extension in capitals": Case(
        ["--output=WEEK.TXT"], 1, PROGRESS, b"", ["WEEK.TXT", "qconsole.log"]
    ),
    "-o twice, into a folder with non-ASCII characters": Case(
        ["-o", "a.txt", "-o", FOLDER + "/b.txt"],
        1,
        PROGRESS,
        b"",
        [FOLDER + "/b.txt", "a.txt", "qconsole.log"],
        folders=[FOLDER],
    ),
    "-o and a LOG elsewhere": Case(
        ["-q", "-o", "week.txt", "games/match.log"],
        1,
        b"",
        b"",
        ["games/match.log", "week.txt"],
        logs=["games/match.log"],
    ),
    "-o -: the report on standard output, no progress": Case(
        ["-o", "-"], 1, REPORT, b"", ONLY_LOG
    ),
    "--format txt -o -": Case(["--format", "txt", "-o", "-"], 1, REPORT, b"", ONLY_LOG),
    "-o FILE.html: the page": Case(
        ["-q", "-o", "week.html"], 1, b"", b"", ["qconsole.log", "week.html"]
    ),
    "-o FILE.htm: the page too": Case(
        ["-q", "-o", "week.htm"], 1, b"", b"", ["qconsole.log", "week.htm"]
    ),
    "--format html -o -": Case(["--format", "html", "-o", "-"], 1, PAGE, b"", ONLY_LOG),
    "-o - and a file": Case(["-o", "-", "-o", "a.txt"], 1, REPORT, b"", ["a.txt", "qconsole.log"]),
    "-o into a missing folder: before any progress line": Case(
        ["-o", "a.txt", "-o", "none/b.txt"],
        2,
        b"",
        b"fragtally: cannot create none/b.txt: No such file or directory",
        ONLY_LOG,
    ),
    "-o - into a closed pipe: silent": Case(
        ["-o", "-"],
        2,
        b"",
        b"",
        ONLY_LOG,
        stdout_closed=True,
        log=MANY_PLAYERS_LOG,
        posix_only="wine's C runtime reports a pipe without a reader as an invalid argument",
    ),
    "a path with a line feed and an escape: shown escaped, on one line": Case(
        ["no\nsuch\x1b[2J.log"],
        2,
        b"",
        b"fragtally: cannot open no\\nsuch\\x1b[2J.log: No such file or directory",
        ONLY_LOG,
        posix_only="Windows names hold no control characters",
    ),
    # Usage errors: nothing is read or written.
    "--rules full": Case(["--rules", "full"], 1, PROGRESS, b"", WITH_REPORT),
    "--rules classic": Case(["--rules", "classic", "-q"], 1, b"", b"", WITH_REPORT),
    "a rule set this program does not know": Case(
        ["--rules", "fair"], 2, b"", usage(b"--rules: fair not in {classic,full}"), ONLY_LOG
    ),
    "--rules without a set": Case(
        ["--rules"], 2, b"", usage(b"--rules: 1 required SET:{classic,full} missing"), ONLY_LOG
    ),
    "an unknown option": Case(
        ["--frobnicate"], 2, b"", usage(b"unknown option '--frobnicate'"), ONLY_LOG
    ),
    "a mistyped option: the nearest suggested": Case(
        ["-q", "--quite"], 2, b"", usage(b"unknown option '--quite'; did you mean '--quiet'?"),
        ONLY_LOG,
    ),
    "a long option cut short": Case(
        ["--out", "a.txt"], 2, b"", usage(b"unknown option '--out'; did you mean '--output'?"),
        ONLY_LOG,
    ),
    "-o without its value": Case(
        ["-o"], 2, b"", usage(b"--output: 1 required FILE missing"), ONLY_LOG
    ),
    "--format without its value": Case(
        ["--format"], 2, b"", usage(b"--format: 1 required NAME missing"), ONLY_LOG
    ),
    "three LOGs: the extra ones as typed, in order": Case(
        ["qconsole.log", "b.log", "c.log"],
        2,
        b"",
        usage(b"only one LOG is read; not expected: b.log c.log"),
        ONLY_LOG,
    ),
    "two LOGs after --, which is not listed": Case(
        ["--", "qconsole.log", "-b.log"],
        2,
        b"",
        usage(b"only one LOG is read; not expected: -b.log"),
        ONLY_LOG,
    ),
    "an extension with no format": Case(
        ["-o", "week.csv"],
        2,
        b"",
        usage(b"-o week.csv: the extension names no report format (.txt, .json, .html, .htm)"),
        ONLY_LOG,
    ),
    "no extension": Case(
        ["-o", "week"],
        2,
        b"",
        usage(b"-o week: the extension names no report format (.txt, .json, .html, .htm)"),
        ONLY_LOG,
    ),
    "-o FILE.json": Case(["-o", "week.json"], 1, PROGRESS, b"", ["qconsole.log", "week.json"]),
    "--format json": Case(["--format", "json", "-o", "-"], 1, b"{", b"", ONLY_LOG),
    "an unknown --format": Case(
        ["--format", "pdf", "-o", "-"],
        2,
        b"",
        usage(b"--format pdf: not a report format (txt, json, html)"),
        ONLY_LOG,
    ),
    "--format without -o -": Case(
        ["--format", "txt"],
        2,
        b"",
        usage(b"--format applies only to standard output, -o -"),
        ONLY_LOG,
    ),
    "two outputs naming one file": Case(
        ["-o", "a.txt", "-o", "./a.txt"],
        2,
        b"",
        usage(b"-o ./a.txt: names the same file as -o a.txt"),
        ONLY_LOG,
    ),
    "two outputs naming one file in a missing folder": Case(
        ["-o", "none/a.txt", "-o", "none/a.txt"],
        2,
        b"",
        usage(b"-o none/a.txt: names the same file as -o none/a.txt"),
        ONLY_LOG,
    ),
    "two outputs naming one file through a linked folder": Case(
        ["-o", "out/a.txt", "-o", "via/a.txt"],
        2,
        b"",
        usage(b"-o via/a.txt: names the same file as -o out/a.txt"),
        ["qconsole.log", "via"],
        folders=["out"],
        links={"via": "out"},
    ),
    "-o - twice": Case(
        ["-o", "-", "-o", "-"], 2, b"", usage(b"-o -: names the same file as -o -"), ONLY_LOG
    ),
    "-o naming the log": Case(
        ["-o", "qconsole.txt", "qconsole.txt"],
        2,
        b"",
        usage(b"the report qconsole.txt would overwrite the log qconsole.txt"),
        ["qconsole.txt"],
        logs=["qconsole.txt"],
    ),
    "the report named after the log naming it through a link": Case(
        ["a.log"],
        2,
        b"",
        usage(b"the report a.report.txt would overwrite the log a.log"),
        ["a.log", "a.report.txt", "a.txt"],
        logs=["a.log"],
        links={"a.txt": "a.log", "a.report.txt": "a.log"},
    ),
    "an -o with a control byte: shown escaped": Case(
        ["-o", "week\x07.csv"],
        2,
        b"",
        usage(b"-o week\\x07.csv: the extension names no report format (.txt, .json, .html, .htm)"),
        ONLY_LOG,
        posix_only="Windows names hold no control characters",
    ),
    "-o naming the log through a symbolic link": Case(
        ["-o", "link.txt"],
        2,
        b"",
        usage(b"the report link.txt would overwrite the log qconsole.log"),
        ["link.txt", "qconsole.log"],
        links={"link.txt": "qconsole.log"},
    ),
    "--history: the session recorded, the history made": Case(
        ["-q", "--history", "h.db"], 1, b"", b"", ["h.db", "qconsole.log", "qconsole.txt"]
    ),
    "--history naming the log": Case(
        ["--history", "qconsole.log"], 2, b"",
        usage(b"the history qconsole.log is the log itself"), ONLY_LOG
    ),
    "--history naming a report": Case(
        ["--history", "r.json", "-o", "r.json"], 2, b"",
        usage(b"the report r.json would overwrite the history r.json"), ONLY_LOG
    ),
    "--from-history without --history": Case(
        ["--from-history"], 2, b"", usage(b"--from-history needs --history FILE"), ONLY_LOG
    ),
    "--follow with --from-history": Case(
        ["--history", "h.db", "--from-history", "--follow"], 2, b"",
        usage(b"--from-history reads no log to follow; not expected: --follow"), ONLY_LOG
    ),
    "--from-history with a LOG": Case(
        ["--history", "h.db", "--from-history", "qconsole.log"], 2, b"",
        usage(b"--from-history reads no LOG; not expected: qconsole.log"), ONLY_LOG
    ),
    "--from-history of a missing history": Case(
        ["--history", "h.db", "--from-history"], 2, b"",
        usage(b"cannot read the history h.db: unable to open database file"), ONLY_LOG
    ),
    "--since without --from-history": Case(
        ["--history", "h.db", "--since", "2026-12-01"], 2, b"",
        usage(b"--since and --until apply only to --from-history"), ONLY_LOG
    ),
    "--until not a date": Case(
        ["--history", "h.db", "--from-history", "--until", "2026-13-01"], 2, b"",
        usage(b"--until 2026-13-01: not a date as YYYY-MM-DD"), ONLY_LOG
    ),
}

# Cases whose stderr is a usage error, which the pointer to --help follows.
USAGE_ERRORS = {name for name, case in CASES.items() if case.stderr.startswith(b"fragtally: ")}
USAGE_ERRORS -= {
    "a missing LOG",
    "-o into a missing folder: before any progress line",
    "a path with a line feed and an escape: shown escaped, on one line",
    "--from-history of a missing history",
}


def first_line(data):
    return data.split(b"\n", 1)[0]


class CommandLine(unittest.TestCase):
    def test_table(self):
        for name, case in CASES.items():
            with self.subTest(name):
                if case.windows_only and not RUNNER:
                    self.skipTest(case.windows_only)
                if case.posix_only and RUNNER:
                    self.skipTest(case.posix_only)
                self.check(name, case)

    def check(self, name, case):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            root = pathlib.Path(folder)
            for made in case.folders:
                (root / made).mkdir(parents=True)
            for log in case.logs:
                (root / log).parent.mkdir(parents=True, exist_ok=True)
                (root / log).write_bytes(case.log)
            for link, target in case.links.items():
                os.symlink(target, root / link)
            if case.stdout_closed:
                reader, writer = os.pipe()
                os.close(reader)
                try:
                    run = run_program(folder, case.args, stdout=writer)
                finally:
                    os.close(writer)
            else:
                run = run_program(folder, case.args)
            self.assertEqual(run.status, case.status)
            self.assertEqual(first_line(run.stdout), case.stdout)
            self.assertEqual(first_line(run.stderr), case.stderr)
            if name in USAGE_ERRORS:
                self.assertEqual(run.stderr.split(b"\n")[1:], [TRY_HELP, b""])
            self.assertEqual(files_under(folder), sorted(case.files))
            for log in case.logs:
                self.assertEqual((root / log).read_bytes(), case.log, log)


class Reports(unittest.TestCase):
    """What the table cannot show in a first line."""

    def test_every_report_holds_the_same_text(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            root = pathlib.Path(folder)
            (root / "games").mkdir()
            (root / "games" / "match.log").write_bytes(LOG)
            by_default = run_program(folder, ["-q", "games/match.log"])
            to_files = run_program(folder, ["-q", "-o", "a.txt", "-o", "b.TXT", "games/match.log"])
            to_stdout = run_program(folder, ["-o", "-", "games/match.log"])
            self.assertEqual([by_default.status, to_files.status, to_stdout.status], [1, 1, 1])
            report = (root / "games" / "match.txt").read_bytes()
            self.assertIn(b"-----===> Bob\n", report.replace(b"\r\n", b"\n"))
            self.assertEqual((root / "a.txt").read_bytes(), report)
            self.assertEqual((root / "b.TXT").read_bytes(), report)
            self.assertEqual(to_stdout.raw_stdout, report)

    def test_the_page_is_the_same_bytes_in_a_file_and_on_standard_output(self):
        # Binary on every platform: line feeds only, also from a Windows program.
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            (pathlib.Path(folder) / "qconsole.log").write_bytes(LOG)
            to_file = run_program(folder, ["-q", "-o", "week.html", "-o", "a.txt"])
            to_stdout = run_program(folder, ["--format", "html", "-o", "-"])
            self.assertEqual([to_file.status, to_stdout.status], [1, 1])
            page = (pathlib.Path(folder) / "week.html").read_bytes()
            self.assertEqual(to_stdout.raw_stdout, page)
            self.assertTrue(page.startswith(b"<!DOCTYPE html>\n"))
            self.assertIn(b'title="Alice">Alice</span>', page)
            self.assertNotIn(b"\r", page)

    def test_a_failed_report_keeps_the_earlier_one_and_the_others_are_written(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            root = pathlib.Path(folder)
            (root / "qconsole.log").write_bytes(LOG)
            (root / "folder.txt").mkdir()
            (root / "b.txt").write_bytes(b"earlier\n")
            run = run_program(folder, ["-q", "-o", "folder.txt", "-o", "b.txt"])
            self.assertEqual(run.status, 2)
            self.assertEqual(run.stderr, b"fragtally: cannot write folder.txt: Is a directory\n")
            self.assertTrue((root / "folder.txt").is_dir())
            self.assertIn(b"-----===> Bob", (root / "b.txt").read_bytes())
            self.assertEqual(files_under(folder), ["b.txt", "qconsole.log"])


if __name__ == "__main__":
    unittest.main()
