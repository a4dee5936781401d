"""The Windows program as a player starts it, under wine: a log dragged onto
fragtally-page.cmd (Explorer passes its path as the first argument) gets both reports beside it,
and a program with a console of its own, as after a double-click, waits for a key when it
failed, so that its message can be read, and closes at once when all went well. Wine gives a
program started from a Unix terminal a console of its own, which stands in for the window of a
double-click."""

import os
import pathlib
import pty
import re
import select
import shutil
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
            self.assertEqual((games / "week one.txt").read_bytes(), EXPECTED)
            self.assertTrue((games / "week one.html").read_bytes().startswith(b"<!DOCTYPE html>"))
            self.assertEqual(sorted(p.name for p in root.iterdir()), ["bin", "my games"])

    def run_in_own_console(self, folder, key_after=None):
        """Runs the program in folder on a pseudo-terminal; returns (status, what it showed,
        whether it was still running after three seconds)."""
        pid, terminal = pty.fork()
        if pid == 0:
            os.chdir(folder)
            os.execvp(RUNNER[0], RUNNER + [PROGRAM])
        shown, waiting, status = b"", None, None
        deadline = time.monotonic() + 60
        started = time.monotonic()
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
                elif waiting is None and time.monotonic() - started > 3 and key_after:
                    waiting = key_after in without_escapes(shown)
                    os.write(terminal, b"k")
            return status, without_escapes(shown), waiting
        finally:
            if status is None:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
            os.close(terminal)

    def test_a_double_clicked_program_waits_for_a_key_only_after_a_failure(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            status, shown, waiting = self.run_in_own_console(folder, b"Pressanykey")
            self.assertEqual(status, 2)
            self.assertTrue(waiting, shown)
            self.assertIn(b"cannotopenqconsole.log", shown)
            self.assertIn(b"Pressanykeytoclosethiswindow...", shown)

            shutil.copy(EXAMPLE_LOG, pathlib.Path(folder) / "qconsole.log")
            status, shown, _ = self.run_in_own_console(folder)
            self.assertEqual(status, 1)
            self.assertNotIn(b"Pressanykey", shown)
            self.assertEqual((pathlib.Path(folder) / "qconsole.txt").read_bytes(), EXPECTED)


if __name__ == "__main__":
    unittest.main()
