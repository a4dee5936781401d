"""The Windows program as a player starts it, under wine: a log dragged onto
fragtally-page.cmd (Explorer passes its path as the first argument) gets both reports beside it,
and a program with a console of its own, as after a double-click, waits for a key when it
failed, so that its message can be read, and closes at once when all went well; Ctrl-C in that
console removes the temporary report. Wine gives a program started from a Unix terminal a
console of its own, which stands in for the window of a double-click."""

import os
import pathlib
import pty
import re
import select
import shutil
import sqlite3
import subprocess
import tempfile
import time
import unittest

from harness import DATA, PROGRAM, RUNNER, TEXT_LINE_END, WINDOWS_PROGRAM

PAGE_CMD = pathlib.Path(__file__).resolve().parents[2] / "packaging" / "fragtally-page.cmd"
EXAMPLE_LOG = DATA.parent.parent / "examples" / "qconsole.log"
EXPECTED = (DATA / "example.qconsole.txt").read_bytes().replace(b"\n", TEXT_LINE_END)


def without_escapes(data):
    """The text the console shows: escape sequences and blanks dropped (wine's console moves the
    cursor instead of writing a blank)."""
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\s", b"", data)


@unittest.skipUnless(WINDOWS_PROGRAM and RUNNER, "the Windows program under wine")
class PlayersWindows(unittest.TestCase):
    def test_a_log_dragged_onto_the_page_command(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            root = pathlib.Path(folder)
            (root / "bin").mkdir()
            shutil.copy(PROGRAM, root / "bin" / "fragtally.exe")
            shutil.copy(PAGE_CMD, root / "bin")
            games = root / "my games"
            games.mkdir()
            shutil.copy(EXAMPLE_LOG, games / "week one.log")
            # Started elsewhere, as Explorer starts it, with the log's path alone. Wine has no
            # browser to open the page with, so the command's last step fails there.
            subprocess.run(
                RUNNER + ["cmd", "/c", "bin\\fragtally-page.cmd", "my games\\week one.log"],
                cwd=root,
                stdin=subprocess.DEVNULL,
                capture_output=True,
                timeout=120,
                check=False,
            )
            # The shortcut counts by the full rules: the report is the program's own under
            # --rules full, with the names as the game shows them, without the appended "^7".
            direct = root / "direct.txt"
            subprocess.run(
                RUNNER + [str(PROGRAM), "-q", "--rules", "full", "-o", "direct.txt",
                          "my games\\week one.log"],
                cwd=root, stdin=subprocess.DEVNULL, capture_output=True, timeout=120, check=False)
            report = (games / "week one.txt").read_bytes()
            self.assertEqual(report, direct.read_bytes())
            direct.unlink()
            self.assertIn(b"-----===> Sarge" + TEXT_LINE_END, report)
            self.assertNotIn(b"Sarge^7", report)
            self.assertTrue((games / "week one.html").read_bytes().startswith(b"<!DOCTYPE html>"))
            self.assertEqual(sorted(p.name for p in root.iterdir()), ["bin", "my games"])
            # The session is kept in the history beside the log, and the page is the history's.
            self.assertIn(b"fragtally-history.db", (games / "week one.html").read_bytes())
            with sqlite3.connect(games / "fragtally-history.db") as db:
                logs = [row[0] for row in db.execute("SELECT log FROM sessions")]
            self.assertEqual(len(logs), 1)
            self.assertTrue(logs[0].endswith("my games\\week one.log"), logs)

    def run_in_own_console(self, folder, key_after=None, key=b"k"):
        """Runs the program in folder on a pseudo-terminal; once it has shown key_after and
        still runs a second later, presses key. Returns (status, what it showed, whether it
        was waiting so, the files in folder before the key)."""
        pid, terminal = pty.fork()
        if pid == 0:
            os.chdir(folder)
            os.execvp(RUNNER[0], RUNNER + [PROGRAM])
        shown, waiting, status, files, seen_at = b"", False, None, None, None
        deadline = time.monotonic() + 60
        try:
            while time.monotonic() < deadline and status is None:
                ready, _, _ = select.select([terminal], [], [], 0.1)
                if ready:
                    try:
                        shown += os.read(terminal, 65536)
                    except OSError:
                        pass
                done, code = os.waitpid(pid, os.WNOHANG)
                if done:
                    status = os.waitstatus_to_exitcode(code)
                elif key_after and not waiting:
                    if seen_at is None and key_after in without_escapes(shown):
                        seen_at = time.monotonic()
                    if seen_at is not None and time.monotonic() - seen_at > 1:
                        waiting = True
                        files = sorted(p.name for p in pathlib.Path(folder).iterdir())
                        os.write(terminal, key)
            return status, without_escapes(shown), waiting, files
        finally:
            if status is None:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
            os.close(terminal)

    def test_a_double_clicked_program_waits_for_a_key_only_after_a_failure(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            status, shown, waiting, _ = self.run_in_own_console(folder, b"Pressanykey")
            self.assertEqual(status, 2)
            self.assertTrue(waiting, shown)
            self.assertIn(b"cannotopenqconsole.log", shown)
            self.assertIn(b"Pressanykeytoclosethiswindow...", shown)

            shutil.copy(EXAMPLE_LOG, pathlib.Path(folder) / "qconsole.log")
            status, shown, _, _ = self.run_in_own_console(folder)
            self.assertEqual(status, 1)
            self.assertNotIn(b"Pressanykey", shown)
            self.assertEqual((pathlib.Path(folder) / "qconsole.txt").read_bytes(), EXPECTED)

    def test_ctrl_c_removes_the_temporary_report_and_ends_with_status_2(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            root = pathlib.Path(folder)
            # At the round limit the classic run waits for a key with its report begun.
            (root / "qconsole.log").write_bytes(b"Bob was railed by Sam\n" + b"fraglimit\n" * 51)
            (root / "qconsole.txt").write_bytes(b"earlier\n")
            status, _, waiting, files = self.run_in_own_console(folder, b"Pressanykey", b"\x03")
            self.assertTrue(waiting)
            self.assertEqual(len(files), 3, "the temporary report is there: %s" % files)
            self.assertEqual(status, 2)
            self.assertEqual(sorted(p.name for p in root.iterdir()), ["qconsole.log", "qconsole.txt"])
            self.assertEqual((root / "qconsole.txt").read_bytes(), b"earlier\n")


if __name__ == "__main__":
    unittest.main()
