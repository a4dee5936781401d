"""--follow: a writer appends to a log while the program follows it. The reports written
meanwhile and at the stop are compared with the plain model of the rules
(tests/data/derive_report.py) over the lines written so far, never with the program's own
output. Every wait polls for its condition with a deadline."""

import io
import os
import pathlib
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest
from contextlib import redirect_stderr

from harness import (DATA, LOG, PROGRAM, RUNNER, TEXT_LINE_END, WINDOWS_PROGRAM,
                     load_derive_report, windows_skip)

derive_report = load_derive_report()

SERVER_LOG = (DATA / "server-derived.qconsole.log").read_bytes()
PEAK_RSS = os.environ.get("FRAGTALLY_PEAK_RSS", "")
# The driver of Windows console events, which the Windows build makes beside the program.
CONSOLE_EVENTS = os.environ.get("FRAGTALLY_CONSOLE_EVENTS") or (
    str(pathlib.Path(PROGRAM).with_name("console_events.exe")) if WINDOWS_PROGRAM else "")
# The long append of the memory test, in MiB (1024 by hand: it takes minutes under wine).
LONG_APPEND_MIB = int(os.environ.get("FRAGTALLY_LONG_APPEND_MIB", "256"))
SANITIZED = os.environ.get("FRAGTALLY_SANITIZED", "") == "1"
LIVE = re.compile(rb'<meta http-equiv="refresh" content="(\d+)">')
# A round end reaches the reports within 2 s; the margin is for a loaded machine (and wine).
REPORT_WAIT = 10 if RUNNER else 6


def whole_lines(data):
    """The bytes of data up to its last line feed: what a followed log has counted."""
    return data[: data.rfind(b"\n") + 1]


def expected_report(data):
    tally = derive_report.Tally()
    with redirect_stderr(io.StringIO()):
        tally.read(data)
    return derive_report.report(tally)


def first_lines_through(data, count):
    """The bytes of data's first count lines."""
    at = 0
    for _ in range(count):
        at = data.index(b"\n", at) + 1
    return data[:at]


def model_session(data):
    """What the history must hold of a session of data, by the model: its lines, its round
    ends, and each player's counters other than 0, by name."""
    tally = derive_report.Tally()
    with redirect_stderr(io.StringIO()):
        tally.read(data)
    counters = {(name, key): count for name, row in tally.rows.items()
                for key, count in row.items() if count}
    return tally.lines, tally.rounds, counters


def recorded_sessions(history):
    """Each session of a history, in order of start: its start, log bytes, and what
    model_session gives of a log."""
    with sqlite3.connect(history) as db:
        sessions = db.execute("SELECT id, started, log_bytes, lines, round_ends FROM sessions "
                              "ORDER BY started").fetchall()
        found = []
        for session, started, log_bytes, lines, round_ends in sessions:
            counters = dict(((bytes(name), key), count) for name, key, count in db.execute(
                "SELECT p.name, c.counter, c.count FROM session_counters c "
                "JOIN players p ON p.id = c.player WHERE c.session = ?", (session,)))
            found.append((started, log_bytes, (lines, round_ends, counters)))
        return found


def wait_for(condition, seconds, what):
    """Polls condition until it holds; fails the test with what after the given seconds."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("not within %s s: %s" % (seconds, what))
        time.sleep(0.02)


def assert_each_report_whole(test, follower, names, before, crlf=False):
    """After a second stop request: no temporary file is left, and each report is the live one
    it was before or the final one that a normal run over the log writes, never a part. With
    crlf, the normal run's line ends are read as the live reports hold them."""
    test.assertEqual(sorted(p.name for p in follower.folder.iterdir()), sorted([LOG, *names]))
    after = {name: follower.report(name) for name in names}
    subprocess.run(RUNNER + [PROGRAM, "-q", "-o", "n.txt", "-o", "n.html", "-o", "n.json", LOG],
                   cwd=follower.folder, stdin=subprocess.DEVNULL, capture_output=True,
                   timeout=60, check=False)
    for name in names:
        final = (follower.folder / ("n" + name[4:])).read_bytes()
        if crlf:
            final = final.replace(b"\r\n", b"\n")
        test.assertIn(after[name], [before[name], final], name)
    print("\n  reports kept live: %d of 3" % sum(after[n] == before[n] for n in names))


class Follower:
    """The program following qconsole.log in a folder of its own, with the text report, the page
    and the JSON report; stderr is kept in a file outside the folder."""

    def __init__(self, args=(), log=b"", rules="classic", launcher=(), stdin=subprocess.DEVNULL):
        self.scratch = tempfile.TemporaryDirectory(prefix="fragtally-")
        self.root = pathlib.Path(self.scratch.name)
        self.folder = self.root / "game"
        self.folder.mkdir()
        self.log = self.folder / LOG
        if log is not None:
            self.log.write_bytes(log)
        self.err_path = self.root / "stderr"
        self.err = open(self.err_path, "wb")
        env = dict(os.environ, LC_ALL="C.UTF-8") if RUNNER else None
        self.child = subprocess.Popen(
            RUNNER + [*launcher, PROGRAM, "-f", "-q", "--rules", rules, "-o", "live.txt", "-o",
                      "live.html", "-o", "live.json", *args, LOG],
            cwd=self.folder,
            stdin=stdin,
            stdout=subprocess.PIPE if launcher else subprocess.DEVNULL,
            stderr=self.err,
            env=env,
        )

    def report(self, name="live.txt"):
        path = self.folder / name
        try:
            data = path.read_bytes()
        except FileNotFoundError:
            return None
        return data.replace(b"\r\n", b"\n") if RUNNER else data

    def stderr(self):
        return self.err_path.read_bytes()

    def append(self, data):
        with open(self.log, "ab") as log:
            log.write(data)

    def wait_for_report(self, data, seconds=REPORT_WAIT):
        """Waits until the text report is the model's of data; returns the seconds it took."""
        start = time.monotonic()
        want = expected_report(data)
        wait_for(lambda: self.report() == want, seconds,
                 "the report of %d lines" % data.count(b"\n"))
        return time.monotonic() - start

    def stop(self, how=None):
        """Sends the stop and returns the exit status. Wine turns SIGINT into the Ctrl-C of a
        Windows console, and ends the program at once on SIGTERM."""
        if how is None:
            how = signal.SIGINT if RUNNER else signal.SIGTERM
        self.child.send_signal(how)
        return self.child.wait(timeout=60)

    def close(self):
        if self.child.poll() is None:
            self.child.kill()
            self.child.wait()
        for pipe in (self.child.stdin, self.child.stdout):
            if pipe:
                pipe.close()
        self.err.close()
        self.scratch.cleanup()


@unittest.skipUnless(PROGRAM, "FRAGTALLY is not set")
class Follow(unittest.TestCase):
    def follower(self, **kwargs):
        follower = Follower(**kwargs)
        self.addCleanup(follower.close)
        return follower

    def test_pieces_split_anywhere_count_each_line_once(self):
        # The log in pieces of 1 to 700 bytes, cut anywhere; the reports are those of the whole
        # lines written so far, whatever the pieces.
        follower = self.follower()
        pieces = random.Random(25)
        written = 0
        checked_at = 0
        while written < len(SERVER_LOG):
            size = pieces.randint(1, 700)
            follower.append(SERVER_LOG[written : written + size])
            written += size
            if written - checked_at > 15000:
                follower.wait_for_report(whole_lines(SERVER_LOG[:written]))
                checked_at = written
            time.sleep(0.002)
        follower.wait_for_report(SERVER_LOG)
        self.assertEqual(follower.stderr(), b"")

    def test_a_round_end_reaches_every_report(self):
        # Up to the line before the first round end, then the round end alone.
        before = first_lines_through(SERVER_LOG, 139)
        through = first_lines_through(SERVER_LOG, 140)
        self.assertIn(b"hit the fraglimit", through[len(before) :])
        follower = self.follower(log=before)
        follower.wait_for_report(before)
        follower.append(through[len(before) :])
        took = follower.wait_for_report(through, seconds=2.5 if not RUNNER else REPORT_WAIT)
        # Under wine a report renamed over another is missing for a moment, so each is waited
        # for; on Linux the rename replaces it at once.
        page = wait_for(lambda: follower.report("live.html"), REPORT_WAIT, "the page")
        self.assertEqual(LIVE.search(page).group(1), b"5")
        self.assertIn(b"Live: the log is being followed. Written at ", page)
        # The round the line ended, in the JSON report, written after the text report.
        wait_for(lambda: (follower.report("live.json") or b"").count(b'"ended":true') == 1,
                 REPORT_WAIT, "the JSON report's ended round")
        print("\n  round end to report: %.3f s" % took)

    def test_obituaries_without_a_round_end_come_within_2_s(self):
        data = first_lines_through(SERVER_LOG, 100)
        follower = self.follower(log=data)
        follower.wait_for_report(data)
        more = first_lines_through(SERVER_LOG, 130)
        self.assertNotIn(b"fraglimit", more[len(data) :])
        self.assertNotEqual(expected_report(more), expected_report(data))
        follower.append(more[len(data) :])
        follower.wait_for_report(more, seconds=2 + 1.5 if not RUNNER else REPORT_WAIT)

    def test_stop_requests_write_the_final_reports_and_end_with_status_1(self):
        # The last line has no line feed: it waits while following, and counts at the stop,
        # as in a normal run. The final page does not reload itself.
        whole = first_lines_through(SERVER_LOG, 300)
        last = b"Zeh^7 was railed by Isgalamido^7"
        stops = [("SIGTERM", signal.SIGTERM), ("SIGINT", signal.SIGINT), ("SIGHUP", signal.SIGHUP)]
        # Under wine only SIGINT reaches the program as a stop request (its Ctrl-C).
        for name, how in stops if not RUNNER else stops[1:2]:
            with self.subTest(name):
                follower = self.follower(log=whole + last)
                follower.wait_for_report(whole)
                # The page is written after the text report, and is renamed into place a moment
                # later, which under wine leaves a short gap.
                wait_for(lambda: LIVE.search(follower.report("live.html") or b"") is not None,
                         REPORT_WAIT, "the live page")
                status = follower.stop(how)
                self.assertEqual(status, 1)
                self.assertEqual(follower.report(), expected_report(whole + last))
                page = follower.report("live.html")
                self.assertIsNone(LIVE.search(page))
                self.assertNotIn(b"Live:", page)
                self.assertEqual(sorted(p.name for p in follower.folder.iterdir()),
                                 sorted([LOG, "live.html", "live.json", "live.txt"]))
                # The final reports are a normal run's of the same log, byte for byte.
                normal = subprocess.run(
                    RUNNER + [PROGRAM, "-q", "-o", "n.txt", "-o", "n.html", "-o", "n.json", LOG],
                    cwd=follower.folder, stdin=subprocess.DEVNULL, capture_output=True,
                    timeout=60, check=False)
                self.assertEqual(normal.returncode, 1)
                for kind in ("txt", "html", "json"):
                    self.assertEqual((follower.folder / ("live." + kind)).read_bytes(),
                                     (follower.folder / ("n." + kind)).read_bytes(), kind)
                self.assertEqual(follower.stderr(), b"")

    @windows_skip("wine ends the program at once on SIGTERM; console_events sends two Ctrl-Breaks")
    def test_a_second_stop_request_ends_at_once_with_each_report_whole(self):
        # Two signals of different kinds, so that neither is merged into the other (and not
        # SIGINT, which a shell's background job ignores): the first asks for the final
        # reports, the second ends the program with status 2, most often before it writes
        # any. A second signal that comes late may find some written: each report is then the
        # live one or the final one, never a part, and no temporary file is left.
        data = first_lines_through(SERVER_LOG, 300)
        follower = self.follower(log=data)
        follower.wait_for_report(data)
        names = ("live.txt", "live.html", "live.json")
        wait_for(lambda: LIVE.search(follower.report("live.html") or b"") is not None
                 and (follower.report("live.json") or b"").endswith(b"}\n"),
                 REPORT_WAIT, "the live page and JSON report")
        before = {name: follower.report(name) for name in names}
        os.kill(follower.child.pid, signal.SIGTERM)
        os.kill(follower.child.pid, signal.SIGHUP)
        self.assertEqual(follower.child.wait(timeout=60), 2)
        assert_each_report_whole(self, follower, names, before)

    def test_a_truncated_log_starts_a_new_tally(self):
        # The game starts again: the log is cut and written anew from a "logfile opened on"
        # line, shorter than what was read, or already longer by the time it is looked at.
        # Before that, obituaries came after the first session's last round end: the history
        # must keep them, though the log no longer holds them when the session is recorded.
        session_a = b"logfile opened on Fri Dec 11 20:00:00 2026\n" + first_lines_through(
            SERVER_LOG, 350)
        after_last_round = b"Bob was railed by Sam\nSam ate Bob's rocket\nBob was railed by Sam\n"
        played_a = session_a + after_last_round
        self.assertGreater(played_a.rfind(b"\n", 0, -1), played_a.rfind(b"hit the fraglimit"))
        session_b = b"logfile opened on Fri Dec 11 21:30:00 2026\n" + first_lines_through(
            SERVER_LOG, 200)
        longer_b = session_b + SERVER_LOG[len(first_lines_through(SERVER_LOG, 200)) :]
        self.assertGreater(len(longer_b), len(played_a))
        for name, new_log in [("shorter", session_b), ("longer", longer_b)]:
            with self.subTest(name):
                follower = self.follower(log=session_a, args=["--history", "../games.db"])
                follower.wait_for_report(session_a)
                follower.append(after_last_round)
                follower.wait_for_report(played_a)
                with open(follower.log, "r+b") as log:
                    log.truncate(0)
                    log.write(new_log)
                follower.wait_for_report(new_log)
                self.assertEqual(follower.stop(), 1, follower.stderr())
                self.assertEqual(follower.report(), expected_report(new_log))
                # Exactly two sessions, each as the model counts its log: the first with every
                # line read before the truncation, the second as at the stop.
                self.assertEqual(recorded_sessions(follower.root / "games.db"), [
                    ("2026-12-11 20:00:00", len(played_a), model_session(played_a)),
                    ("2026-12-11 21:30:00", len(new_log), model_session(new_log)),
                ])

    def test_a_deleted_log_is_waited_for_and_read_anew(self):
        data = first_lines_through(SERVER_LOG, 200)
        follower = self.follower(log=data)
        follower.wait_for_report(data)
        follower.log.unlink()
        wait_for(lambda: b"waiting for" in follower.stderr(), REPORT_WAIT, "the message")
        again = first_lines_through(SERVER_LOG, 120)
        follower.append(again)
        follower.wait_for_report(again)
        # A log replaced by another file (renamed over it) is read anew too.
        other = first_lines_through(SERVER_LOG, 60)
        (follower.folder / "new.log").write_bytes(other)
        os.replace(follower.folder / "new.log", follower.log)
        follower.wait_for_report(other)
        self.assertEqual(follower.stderr().count(b"\n"), 1, follower.stderr())
        self.assertEqual(follower.stop(), 1)

    def test_a_missing_log_is_waited_for(self):
        follower = self.follower(log=None)
        wait_for(lambda: follower.stderr() != b"", REPORT_WAIT, "the message")
        self.assertEqual(follower.stderr().replace(b"\r\n", b"\n"),
                         b"fragtally: waiting for qconsole.log: No such file or directory\n")
        data = first_lines_through(SERVER_LOG, 150)
        follower.append(data)
        follower.wait_for_report(data)
        self.assertEqual(follower.stop(), 1)

    def test_the_round_limit_stops_as_in_a_normal_run(self):
        # The classic rules stop at the 51st round end, with the notice, wherever it comes.
        game = b"Bob was railed by Sam\nSam ate Bob's rocket\nfraglimit hit\n"
        follower = self.follower(log=game * 30)
        follower.wait_for_report(game * 30)
        follower.append(game * 25)
        self.assertEqual(follower.child.wait(timeout=60), 1)
        self.assertEqual(follower.report(), expected_report(game * 55))
        self.assertIn(b"You seem to have hit that limit. Writing out live.txt, live.html and "
                      b"live.json now and quitting.", follower.stderr())
        self.assertIsNone(LIVE.search(follower.report("live.html")))

    @unittest.skipUnless(PEAK_RSS, "needs the peak_rss launcher (Linux)")
    @unittest.skipIf(SANITIZED, "the sanitizers keep freed memory")
    def test_memory_stays_as_a_normal_run_s_over_a_long_append(self):
        # 256 MiB appended in pieces of 1 MiB, each cut mid-line: the peak is a normal run's.
        # Under wine the peak is that of the Linux process that runs the Windows program, wine
        # and all, measured the same way for both runs.
        block = SERVER_LOG.replace(b"hit the fraglimit", b"hit the limit")
        piece = (block * (2**20 // len(block) + 1))[: 2**20 - 7]
        pieces = LONG_APPEND_MIB
        runner = [shutil.which(RUNNER[0]), *RUNNER[1:]] if RUNNER else []
        env = dict(os.environ, LC_ALL="C.UTF-8") if RUNNER else None
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            folder = pathlib.Path(folder)
            with open(folder / "whole.log", "wb") as whole:
                for _ in range(pieces):
                    whole.write(piece)
                whole.write(b"\n")
            normal = subprocess.run(
                [PEAK_RSS, str(folder / "normal.rss"), *runner, PROGRAM, "-q", "-o", "n.txt",
                 "whole.log"],
                cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, timeout=600,
                check=False, env=env)
            self.assertEqual(normal.returncode, 1, normal.stderr)
            normal_kib = int((folder / "normal.rss").read_text())
            (folder / "whole.log").unlink()
            (folder / LOG).write_bytes(b"")
            launcher = subprocess.Popen(
                [PEAK_RSS, str(folder / "follow.rss"), *runner, PROGRAM, "-f", "-q", "-o",
                 "f.txt", LOG],
                cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.PIPE, env=env)
            try:
                children = pathlib.Path("/proc/%d/task/%d/children" % (launcher.pid, launcher.pid))
                pid = int(wait_for(lambda: children.read_text().split(), 10, "the program")[0])
                # The program has started following (its first report) before the append.
                wait_for(lambda: (folder / "f.txt").is_file(), REPORT_WAIT, "the first report")
                started = time.monotonic()
                with open(folder / LOG, "ab") as log:
                    for _ in range(pieces):
                        log.write(piece)
                        log.flush()
                        time.sleep(0.005)
                    log.write(b"\n")
                wait_for(lambda: (folder / "f.txt").is_file()
                         and (folder / "f.txt").read_bytes() == (folder / "n.txt").read_bytes(),
                         120 + pieces * 0.5, "the report of the whole append")
                took = time.monotonic() - started
                # The peak so far, without the stop: under wine the stop runs the program's
                # handler on a thread that wine makes then, which adds about 1.2 MiB.
                status = pathlib.Path("/proc/%d/status" % pid).read_bytes()
                before_stop_kib = int(re.search(rb"VmHWM:\s+(\d+) kB", status).group(1))
                # Wine turns SIGINT into the Windows program's Ctrl-C.
                os.kill(pid, signal.SIGINT if RUNNER else signal.SIGTERM)
                self.assertEqual(launcher.wait(timeout=60), 1)
            finally:
                if launcher.poll() is None:
                    launcher.kill()
                    launcher.wait()
                launcher.stderr.close()
            follow_kib = int((folder / "follow.rss").read_text())
        print("\n  %d MiB appended in %.1f s; peak RSS: normal run %d KiB, following %d KiB "
              "(%d KiB before the stop)" % (pieces, took, normal_kib, follow_kib, before_stop_kib))
        self.assertLessEqual(before_stop_kib, normal_kib * 1.1 + 2048)
        self.assertLessEqual(follow_kib, normal_kib * 1.1 + 2048)


@unittest.skipUnless(WINDOWS_PROGRAM and RUNNER, "the Windows program under wine")
class WindowsConsoleEvents(unittest.TestCase):
    """Ctrl-Break and a closed console, sent by tests/windows/console_events.cpp, end a follow
    as Ctrl-C does: the final reports, and status 1. Wine 8 sends neither through the console:
    the driver then runs the system's control routine in the program with the event, and says
    so."""

    def follower(self, event, log, args=()):
        self.assertTrue(pathlib.Path(CONSOLE_EVENTS).is_file(),
                        "%s is missing: the Windows build makes it" % CONSOLE_EVENTS)
        follower = Follower(log=log, args=args, launcher=[CONSOLE_EVENTS, event],
                            stdin=subprocess.PIPE)
        self.addCleanup(follower.close)
        return follower

    def send(self, follower):
        """Has the driver send its event; returns the program's exit status and what the driver
        said on standard error (which the program shares)."""
        follower.child.stdin.write(b"go\n")
        follower.child.stdin.close()
        said = follower.child.stdout.read()
        self.assertEqual(follower.child.wait(timeout=90) != 125, True, follower.stderr())
        match = re.fullmatch(rb"exit (\d+)\r?\n", said)
        self.assertIsNotNone(match, (said, follower.stderr()))
        return int(match.group(1)), follower.stderr()

    def wait_for_live_reports(self, follower, data):
        follower.wait_for_report(data)
        wait_for(lambda: LIVE.search(follower.report("live.html") or b"") is not None,
                 REPORT_WAIT, "the live page")

    def test_ctrl_break_and_a_closed_console_write_the_final_reports(self):
        whole = first_lines_through(SERVER_LOG, 300)
        last = b"Zeh^7 was railed by Isgalamido^7"
        for event in ("break", "close"):
            with self.subTest(event):
                follower = self.follower(event, whole + last)
                self.wait_for_live_reports(follower, whole)
                status, said = self.send(follower)
                print("\n  %s: %s" % (event, said.decode(errors="replace").strip()))
                self.assertEqual(status, 1, said)
                # The last line, without a line feed, counts at the stop; the page is final.
                self.assertEqual(follower.report(), expected_report(whole + last))
                page = follower.report("live.html")
                self.assertIsNone(LIVE.search(page))
                self.assertNotIn(b"Live:", page)
                self.assertEqual(sorted(p.name for p in follower.folder.iterdir()),
                                 sorted([LOG, "live.html", "live.json", "live.txt"]))

    def test_a_second_ctrl_break_ends_at_once_with_each_report_whole(self):
        # The second event comes as soon as the first is handled, after 32 MiB of chat that
        # the final reports must read first (and that, with no obituary in it, writes no live
        # report), and before the session is recorded in the history, last: it ends the
        # program with status 2, most often before it writes any final report. One that comes
        # late may find some written: each report is then the live one or the final one,
        # never a part, and no temporary file is left.
        data = first_lines_through(SERVER_LOG, 300)
        chat = b"Bob: hello\n" * (32 * 2**20 // 11)
        names = ("live.txt", "live.html", "live.json")
        follower = self.follower("break-twice", data, args=["--history", "../games.db"])
        self.wait_for_live_reports(follower, data)
        wait_for(lambda: (follower.report("live.json") or b"").endswith(b"}\n"), REPORT_WAIT,
                 "the live JSON report")
        before = {name: follower.report(name) for name in names}
        follower.append(chat)
        status, said = self.send(follower)
        self.assertEqual(status, 2, said)
        assert_each_report_whole(self, follower, names, before, crlf=True)

if __name__ == "__main__":
    unittest.main()
