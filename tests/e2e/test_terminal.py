"""The round-limit stop on a real terminal (a pseudo-terminal) and without one: the screen is
cleared only on a terminal, the program waits for one key only when its input is a terminal,
does not echo the key, and puts the terminal's settings back, also after Ctrl-C, SIGTERM or
SIGHUP, which remove the temporary report. With -q or -o the notice names the reports and goes
to standard error, and nothing waits."""

import fcntl
import os
import pathlib
import pty
import select
import signal
import subprocess
import tempfile
import termios
import time
import unittest

from harness import LOG, PROGRAM, REPORT, progress, run_on_log, windows_skip

CLEAR = b"\033[H\033[2J"
NOTICE = (
    b"How much have you been playing? I never anticipated anyone playing more than\n"
    b"50 rounds... You seem to have hit that limit. Writing out qconsole.txt now and quitting.\n"
    b"Mail me at fragtally@example.org and I'll give you a version with even higher\n"
    b"rounds limit.\n"
    b"\n"
    b"Press any key... "
)
PROMPT = b"Press any key... "


def notice_on_stderr(reports):
    """The notice as a run with -q or -o gives it: naming its reports, with no key to press."""
    return NOTICE.replace(b"qconsole.txt", reports).replace(b"\n\n" + PROMPT, b"\n")


# One kill, 51 round ends (the 51st stops the run before it counts) and a line never read.
LOG_BYTES = b"Bob was railed by Sam\n" + b"fraglimit hit\n" * 51 + b"Al cratered\n"
STEPS = 51
EARLIER = b"an earlier report\n"


def echo_and_canonical(fd):
    lflag = termios.tcgetattr(fd)[3]
    return bool(lflag & termios.ECHO), bool(lflag & termios.ICANON)


class OnTerminal:
    """The program started in a new folder with a pseudo-terminal as its controlling terminal;
    stdin and stdout each on the terminal or not, stderr on a pipe."""

    def __init__(self, stdin_tty=True, stdout_tty=True, args=()):
        self.folder = tempfile.TemporaryDirectory(prefix="fragtally-")
        self.path = pathlib.Path(self.folder.name)
        (self.path / LOG).write_bytes(LOG_BYTES)
        (self.path / REPORT).write_bytes(EARLIER)
        self.master, self.slave = pty.openpty()
        self.settings_before = termios.tcgetattr(self.slave)
        self.output = b""

        def controlling_terminal():
            os.setsid()
            fcntl.ioctl(self.slave, termios.TIOCSCTTY, 0)

        self.child = subprocess.Popen(
            [PROGRAM, *args],
            cwd=self.path,
            stdin=self.slave if stdin_tty else subprocess.DEVNULL,
            stdout=self.slave if stdout_tty else subprocess.PIPE,
            stderr=subprocess.PIPE,
            preexec_fn=controlling_terminal,
            pass_fds=(self.slave,),
        )

    def read_terminal(self, until=None, seconds=30):
        """Collects what the program wrote to the terminal, until the bytes until appear or
        the program ended and the terminal stayed quiet; returns everything so far."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if until is not None and until in self.output:
                break
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                self.output += os.read(self.master, 65536)
            elif self.child.poll() is not None:
                break
        # The terminal turns each line feed into CR LF on output.
        return self.output.replace(b"\r\n", b"\n")

    def wait_until_raw(self, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and echo_and_canonical(self.slave) != (False, False):
            time.sleep(0.02)
        return echo_and_canonical(self.slave)

    def close(self):
        if self.child.poll() is None:
            self.child.kill()
            self.child.wait()
        for stream in (self.child.stdout, self.child.stderr):
            if stream is not None:
                stream.close()
        os.close(self.master)
        os.close(self.slave)
        self.folder.cleanup()


@windows_skip("a pseudo-terminal")
@unittest.skipUnless(PROGRAM, "FRAGTALLY is not set")
class RoundLimitOnTerminal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        try:
            master, slave = pty.openpty()
        except OSError as error:
            raise unittest.SkipTest("no pseudo-terminal here: %s" % error)
        os.close(master)
        os.close(slave)

    def start(self, **streams):
        run = OnTerminal(**streams)
        self.addCleanup(run.close)
        return run

    def test_clears_waits_for_one_key_without_echo_and_restores_the_terminal(self):
        run = self.start()
        shown = run.read_terminal(until=PROMPT)
        self.assertEqual(shown, progress(STEPS) + CLEAR + NOTICE)
        self.assertEqual(run.wait_until_raw(), (False, False), "no echo, no line editing")
        time.sleep(0.3)
        self.assertIsNone(run.child.poll(), "still waiting for a key")
        self.assertEqual((run.path / REPORT).read_bytes(), EARLIER, "report after the key")

        os.write(run.master, b"k")
        self.assertEqual(run.child.wait(timeout=30), 1)
        self.assertEqual(run.read_terminal(), shown, "the key is not echoed, nothing follows")
        self.assertEqual(termios.tcgetattr(run.slave), run.settings_before)
        self.assertEqual(run.child.stderr.read(), b"")
        report = (run.path / REPORT).read_bytes()
        self.assertIn(b"-----===> Bob\n", report)
        self.assertNotIn(b"Al", report)

    def test_a_stop_during_the_wait_restores_the_terminal_and_removes_the_temporary_file(self):
        stops = {
            "Ctrl-C": lambda run: os.write(run.master, b"\x03"),
            "SIGTERM": lambda run: run.child.send_signal(signal.SIGTERM),
            "SIGHUP": lambda run: run.child.send_signal(signal.SIGHUP),
        }
        for name, stop in stops.items():
            with self.subTest(name):
                run = self.start()
                run.read_terminal(until=PROMPT)
                self.assertEqual(run.wait_until_raw(), (False, False))
                files = sorted(p.name for p in run.path.iterdir())
                self.assertEqual(len(files), 3, "the report's temporary file is there: %s" % files)
                stop(run)
                self.assertEqual(run.child.wait(timeout=30), 2)
                self.assertEqual(termios.tcgetattr(run.slave), run.settings_before)
                self.assertEqual(run.child.stderr.read(), b"")
                # Stopped before the report was written: the earlier one stays, no leftovers.
                self.assertEqual((run.path / REPORT).read_bytes(), EARLIER)
                self.assertEqual(sorted(p.name for p in run.path.iterdir()), [LOG, REPORT])

    def test_with_q_or_o_the_notice_names_the_reports_on_stderr_and_nothing_waits(self):
        cases = {
            "-q": (["-q"], b"qconsole.txt", REPORT),
            "-q -o": (["-q", "-o", "limit.html", "-o", "b.txt"], b"limit.html and b.txt", "b.txt"),
            "-o": (["-o", "week.txt"], b"week.txt", "week.txt"),
        }
        for name, (args, names, report) in cases.items():
            with self.subTest(name):
                run = self.start(args=args)
                self.assertEqual(run.child.wait(timeout=30), 1, "no key needed")
                shown = run.read_terminal()
                self.assertNotIn(CLEAR, shown)
                self.assertNotIn(b"How much", shown)
                self.assertEqual(run.child.stderr.read(), notice_on_stderr(names))
                self.assertEqual(termios.tcgetattr(run.slave), run.settings_before)
                self.assertIn(b"-----===> Bob\n", (run.path / report).read_bytes())

    def test_output_on_the_terminal_and_input_elsewhere_clears_but_does_not_wait(self):
        run = self.start(stdin_tty=False)
        self.assertEqual(run.child.wait(timeout=30), 1)
        self.assertEqual(run.read_terminal(), progress(STEPS) + CLEAR + NOTICE)
        self.assertIn(b"-----===> Bob\n", (run.path / REPORT).read_bytes())

    def test_input_on_the_terminal_and_output_elsewhere_waits_without_clearing(self):
        run = self.start(stdout_tty=False)
        self.assertEqual(run.wait_until_raw(), (False, False))
        time.sleep(0.3)
        self.assertIsNone(run.child.poll(), "still waiting for a key")
        os.write(run.master, b"k")
        self.assertEqual(run.child.wait(timeout=30), 1)
        self.assertEqual(run.child.stdout.read(), progress(STEPS) + NOTICE)
        self.assertEqual(run.read_terminal(), b"", "nothing written to the terminal")
        self.assertEqual(termios.tcgetattr(run.slave), run.settings_before)


class RoundLimitWithoutTerminal(unittest.TestCase):
    def test_nothing_blocks_and_no_escape_codes(self):
        run = run_on_log(LOG_BYTES, timeout=30)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, progress(STEPS) + NOTICE)
        self.assertEqual(run.stderr, b"")
        self.assertIn(b"-----===> Sam\n", run.report)
        self.assertNotIn(b"Al", run.report)

    def test_a_run_given_arguments_tells_on_standard_error(self):
        run = run_on_log(LOG_BYTES, args=["qconsole.log"], timeout=30)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, progress(STEPS))
        self.assertEqual(run.stderr, notice_on_stderr(b"qconsole.txt"))
        self.assertIn(b"-----===> Sam\n", run.report)


if __name__ == "__main__":
    unittest.main()
