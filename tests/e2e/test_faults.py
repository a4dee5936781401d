"""Faults of the real program: logs that are missing, unreadable, empty, random or huge, and
more players than the tables hold. Every failure must say what went wrong, end with the right
status and leave an earlier report as it was."""

import json
import os
import pathlib
import random
import subprocess
import tempfile
import unittest

from harness import (
    LOG,
    PROGRAM,
    REPORT,
    WINDOWS_PROGRAM,
    Run,
    progress,
    run_in_new_folder,
    run_on_log,
    windows_skip,
)

EARLIER = b"an earlier report\n"
HEADER_LINES = 9
EIO_SHIM = os.environ.get("FRAGTALLY_EIO_SHIM", "")
PEAK_RSS = os.environ.get("FRAGTALLY_PEAK_RSS", "")
SANITIZED = os.environ.get("FRAGTALLY_SANITIZED", "") == "1"


def earlier_report(folder):
    (folder / REPORT).write_bytes(EARLIER)


def expected_steps(log):
    """The number of lines the program sees in a log: a byte 26 ends the data, carriage
    returns vanish, and a last line without a line feed counts."""
    data = log.split(b"\x1a")[0].replace(b"\r", b"")
    return data.count(b"\n") + (1 if data and not data.endswith(b"\n") else 0)


def blocks(report):
    """The report's player blocks as {name: "kills/deaths"}, in report order."""
    lines = report.split(b"\n")
    found = {}
    for i, line in enumerate(lines):
        if line.startswith(b"-----===> "):
            found[line[len(b"-----===> ") :]] = lines[i + 2].split(b": ")[1]
    return found


# What the results model handed to the writers takes for the logs of 100 players over 51 rounds
# below, where each player kills one other in each round: it copies each round's counts other
# than 0, 12 bytes each, four counters of each player and one kill per player.
RESULTS_KIB = 51 * (100 * 4 + 100) * 12 // 1024


def run_measured(log, args=(), output=None):
    """Runs the program with the given arguments on log under the peak_rss launcher and
    returns the Run and the program's peak resident memory in KiB. With output, the Run's
    output holds the bytes of that file in the run's folder (None when it is missing)."""
    if not PROGRAM:
        raise unittest.SkipTest("FRAGTALLY is not set")
    with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
        folder = pathlib.Path(folder)
        (folder / LOG).write_bytes(log)
        result = folder.parent / (folder.name + ".rss")
        try:
            completed = subprocess.run(
                [PEAK_RSS, str(result), PROGRAM, *args],
                cwd=folder,
                stdin=subprocess.DEVNULL,
                capture_output=True,
                timeout=120,
                check=False,
            )
            peak = int(result.read_text())
        finally:
            result.unlink(missing_ok=True)
        run = Run(folder, completed)
        if output is not None:
            run.output = (folder / output).read_bytes() if (folder / output).is_file() else None
        return run, peak


class FaultTest(unittest.TestCase):
    def assert_failed_untouched(self, run, message):
        self.assertEqual(run.status, 2)
        self.assertEqual(run.stderr, message)
        self.assertEqual(run.report, EARLIER)
        self.assertEqual([f for f in run.files if f != LOG], [REPORT], "no file left behind")


class UnreadableLog(FaultTest):
    def test_missing_or_a_folder(self):
        def folder_as_log(folder):
            earlier_report(folder)
            (folder / LOG).mkdir()

        # POSIX opens a folder and fails to read it; Windows refuses to open it.
        cases = [
            (earlier_report, b"fragtally: cannot open qconsole.log: No such file or directory\n"),
            (
                folder_as_log,
                b"fragtally: cannot open qconsole.log: Permission denied\n"
                if WINDOWS_PROGRAM
                else b"fragtally: cannot read qconsole.log: Is a directory\n",
            ),
        ]
        for prepare, message in cases:
            with self.subTest(message=message):
                run = run_in_new_folder(None, prepare)
                self.assert_failed_untouched(run, message)
                self.assertEqual(run.stdout, b"")

    @windows_skip("LD_PRELOAD")
    @unittest.skipUnless(EIO_SHIM, "needs the preloaded library (Linux)")
    def test_a_read_failing_part_way(self):
        line = b"Bob was railed by Sam\n"
        log = line * 40000  # 880,000 bytes: several reads
        env = dict(os.environ, LD_PRELOAD=EIO_SHIM, FRAGTALLY_FAIL_AFTER="300000")
        run = run_in_new_folder(log, earlier_report, env=env)
        self.assert_failed_untouched(
            run, b"fragtally: cannot read qconsole.log: Input/output error\n"
        )
        # The lines read before the failure were parsed, and no more than those.
        steps = run.stdout.count(b"\n")
        self.assertGreater(steps, 0)
        self.assertLessEqual(steps, 300000 // len(line))
        self.assertEqual(run.stdout, progress(steps))

    @windows_skip("LD_PRELOAD")
    @unittest.skipUnless(EIO_SHIM, "needs the preloaded library (Linux)")
    def test_the_shim_reads_normally_up_to_the_failure(self):
        # With the failure point past the end, the preloaded library changes nothing, so the
        # failure above comes from the failure point alone.
        log = b"Bob was railed by Sam\n" * 20000
        env = dict(os.environ, LD_PRELOAD=EIO_SHIM, FRAGTALLY_FAIL_AFTER=str(len(log) + 1))
        run = run_in_new_folder(log, earlier_report, env=env)
        self.assertEqual((run.status, run.stderr), (1, b""))
        self.assertEqual(run.stdout, progress(20000))
        self.assertEqual(blocks(run.report)[b"Sam"], b"20000/0")


class UnwritableReport(FaultTest):
    @windows_skip("LD_PRELOAD")
    @unittest.skipUnless(EIO_SHIM, "needs the preloaded library (Linux)")
    def test_no_stream_on_the_temporary_file(self):
        # The temporary file beside the report is made, but no stream can be opened on it: the
        # report's file is made before the log is read, so nothing is read.
        env = dict(os.environ, LD_PRELOAD=EIO_SHIM, FRAGTALLY_FAIL_FDOPEN="1")
        run = run_in_new_folder(b"Bob was railed by Sam\n", earlier_report, env=env)
        self.assert_failed_untouched(
            run, b"fragtally: cannot create qconsole.txt: Cannot allocate memory\n"
        )
        self.assertEqual(run.stdout, b"")


class StrangeLogs(unittest.TestCase):
    def test_an_empty_log(self):
        run = run_in_new_folder(b"", earlier_report)
        self.assertEqual((run.status, run.stdout, run.stderr), (1, b"", b""))
        self.assertEqual(run.report.count(b"\n"), HEADER_LINES)
        self.assertEqual(blocks(run.report), {})

    def test_random_bytes_around_obituary_phrases(self):
        rng = random.Random(20261210)
        pieces = []
        phrases = [b" was railed by ", b" ate ", b"'s rocket", b" cratered", b" almost dodged ",
                   b" was pummeled by ", b" melted by ", b"\n", b"\r", b"\0"]
        for _ in range(4000):
            pieces.append(rng.randbytes(rng.randrange(0, 60)).replace(b"\x1a", b""))
            pieces.append(rng.choice(phrases))
        pieces.append(rng.randbytes(5000).replace(b"\x1a", b""))  # no line feed at the end
        log = b"".join(pieces)
        self.assertLess(log.count(b"fraglimit"), 51)
        run = run_on_log(log, timeout=60)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, progress(expected_steps(log)))
        # Hundreds of garbled names fill the tables; the rest is counted as not counted.
        self.assertTrue(run.report.startswith(b"fragtally, version 0.23b\n"))
        self.assertEqual(run.report.count(b"=" * 44 + b"\n-----===> "), 100)
        self.assertRegex(
            run.stderr, rb"\Afragtally: more than 100 players: \d+ obituaries were not counted\n\Z"
        )

    @windows_skip("the peak_rss launcher")
    @unittest.skipUnless(PEAK_RSS, "needs the peak_rss launcher (Linux)")
    def test_an_8_mib_line_then_an_obituary(self):
        small, small_rss = run_measured(b"Bob was railed by Sam\n")
        log = b"x" * (8 * 1024 * 1024) + b"\nBob was railed by Sam\n"
        run, rss = run_measured(log)
        self.assertEqual((run.status, run.stderr), (1, b""))
        self.assertEqual(run.stdout, progress(2))
        self.assertEqual(blocks(run.report), {b"Bob": b"0/1", b"Sam": b"1/0"})
        self.assertEqual(small.status, 1)
        # Memory does not grow with the line: the log streams through one fixed buffer, and the
        # whole program stays well below the size of the line.
        self.assertLess(rss - small_rss, 2 * 1024, (small_rss, rss))
        if not SANITIZED:
            self.assertLess(rss, 8 * 1024)

    @windows_skip("the peak_rss launcher")
    @unittest.skipUnless(PEAK_RSS, "needs the peak_rss launcher (Linux)")
    def test_a_json_report_of_every_round_and_player(self):
        # 51 rounds, the last stopping the run, each with all 100 players: a document of some
        # megabytes, written piece by piece.
        game = b"".join(b"P%d was railed by P%d\n" % ((p + 1) % 100, p) for p in range(100))
        log = (game + b"fraglimit\n") * 51
        args = ["-o", "-", "--format", "json"]
        small, small_rss = run_measured(b"Bob was railed by Sam\n", args)
        run, rss = run_measured(log, args)
        self.assertEqual((small.status, run.status), (1, 1))
        # The round-limit notice goes to standard error when the report takes standard output.
        self.assertTrue(run.stderr.startswith(b"How much have you been playing?"), run.stderr)
        doc = json.loads(run.stdout)
        self.assertEqual([len(r["players"]) for r in doc["rounds"]], [100] * 51)
        self.assertGreater(len(run.stdout), 2 * 1024 * 1024)
        # AddressSanitizer keeps freed memory aside for a while, so every piece written counts.
        # Beyond the per-round tables, which this log fills and a one-round log leaves
        # untouched, and the results' copy of them, the document written piece by piece may
        # take little memory.
        kept_kib = 51 * (100 * 23 + 100 * 100) * 4 // 1024 + RESULTS_KIB
        if not SANITIZED:
            self.assertLess(rss - small_rss, kept_kib + 1024, (small_rss, rss))
            self.assertLess(rss, 8 * 1024)

    @windows_skip("the peak_rss launcher")
    @unittest.skipUnless(PEAK_RSS, "needs the peak_rss launcher (Linux)")
    def test_every_report_of_100_players_over_50_rounds(self):
        # In each round every player kills the next one, so all 100 share each round's most
        # kills and the page names them all in every row of its round-by-round table; names of
        # 19 bytes in six colours, each colour a span of its own, make those names long.
        names = [b"^1x^2y^3z^4w^5v^6%02d" % p for p in range(100)]
        game = b"".join(names[(p + 1) % 100] + b" was railed by " + names[p] + b"\n"
                        for p in range(100))
        log = (game + b"fraglimit\n") * 50
        # Format, a size the report must reach, how it must end, and whether its memory is
        # bounded under the sanitizers too: the JSON writer makes each line as a value of its
        # own, and AddressSanitizer keeps freed memory aside for a while.
        cases = [
            ("html", 1500 * 1000, b"</html>\n", True),
            ("json", 2500 * 1000, b"}\n", False),
            ("txt", 50 * 1000, b"\n", True),
        ]
        kept_kib = 51 * (100 * 23 + 100 * 100) * 4 // 1024 + RESULTS_KIB
        for extension, least_size, end, bounded_when_sanitized in cases:
            with self.subTest(extension):
                report = "r." + extension
                args = ["-q", "-o", report]
                small, small_rss = run_measured(b"Bob was railed by Sam\n", args)
                run, rss = run_measured(log, args, report)
                self.assertEqual((small.status, run.status), (1, 1))
                self.assertEqual((run.stdout, run.stderr), (b"", b""))
                self.assertGreater(len(run.output), least_size)
                self.assertTrue(run.output.endswith(end))
                # Beyond the per-round tables, which this log fills, and the results' copy of
                # them, a report written as it is made takes little memory.
                if bounded_when_sanitized or not SANITIZED:
                    self.assertLess(rss - small_rss, kept_kib + 1024, (small_rss, rss))
                if not SANITIZED:
                    self.assertLess(rss, 8 * 1024)

    def test_zero_carriage_return_and_byte_26_inside_lines(self):
        log = (
            b"Bob was railed by Sam\0junk was railed by Xer\n"  # the text ends at the zero byte
            b"A\rl was gunned down by S\ram\r\n"  # carriage returns vanish
            b"Cy cra\rtered\n"
            b"Dee cratered\x1a was railed by Sam\n"  # byte 26 ends the data
            b"Eve cratered\n"
        )
        run = run_on_log(log)
        self.assertEqual((run.status, run.stderr), (1, b""))
        self.assertEqual(run.stdout, progress(4))
        self.assertEqual(
            list(blocks(run.report).items()),
            [(b"Bob", b"0/1"), (b"Sam", b"2/0"), (b"Al", b"0/1"), (b"Cy", b"0/0"),
             (b"Dee", b"0/0")],
        )
        self.assertNotIn(b"\r", run.report)


class TooManyPlayers(unittest.TestCase):
    def test_obituaries_needing_a_101st_slot_change_nothing(self):
        log = b"".join(b"P%d cratered\n" % i for i in range(100))
        log += (
            b"New1 cratered\n"  # not counted
            b"P5 was railed by New2\n"  # not counted: the victim is known, the killer is not
            b"P5 was railed by P6\n"
            b"New1 was railed by New3\n"  # not counted
            b"P7 was railed by P7\n"
            b"P8 blew himself up\n"
        )
        run = run_on_log(log)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, progress(106))
        self.assertEqual(
            run.stderr, b"fragtally: more than 100 players: 3 obituaries were not counted\n"
        )
        found = blocks(run.report)
        self.assertEqual(len(found), 100)
        self.assertEqual((found[b"P5"], found[b"P6"], found[b"P7"]), (b"0/1", b"1/0", b"1/1"))
        self.assertNotIn(b"New", run.report)
        self.assertIn(b"rocket/plasmagun/void/jumping/lava: 1/0/0/1/0\n", run.report)


if __name__ == "__main__":
    unittest.main()
