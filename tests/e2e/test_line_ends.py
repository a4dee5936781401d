"""Line ends on every platform: the log is read by the same text-mode rules everywhere, and
the report and the progress lines are stored with the platform's own line end, CR LF for the
Windows program."""

import unittest

from harness import DATA, TEXT_LINE_END, progress, run_on_log

CASES = DATA / "report"
GAMES_LOG = (DATA / "server-derived.qconsole.log").read_bytes()
GAMES_REPORT = (DATA / "server-derived.qconsole.txt").read_bytes()


def stored(text):
    return text.replace(b"\n", TEXT_LINE_END)


class LineEnds(unittest.TestCase):
    def test_output_is_stored_with_the_platforms_line_end(self):
        # The killer "Sam\n" puts a line feed inside a name; it too goes through the text stream.
        log = (CASES / "name_with_line_feed.log").read_bytes()
        run = run_on_log(log)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.raw_stdout, stored(progress(log.count(b"\n"))))
        self.assertEqual(run.raw_report, stored((CASES / "name_with_line_feed.txt").read_bytes()))

    def test_a_log_reads_the_same_whatever_its_line_ends(self):
        variants = {
            "CR LF line ends": GAMES_LOG.replace(b"\n", b"\r\n"),
            # Carriage returns are dropped wherever they stand, even inside a phrase.
            "a CR before every byte": b"".join(b"\r" + bytes([c]) for c in GAMES_LOG),
            # A byte 26 ends the data; the kill after it is never counted.
            "a byte 26 before more lines": GAMES_LOG + b"\x1aBob was railed by Alice\n",
        }
        for name, log in variants.items():
            with self.subTest(name):
                run = run_on_log(log)
                self.assertEqual(run.status, 1)
                self.assertEqual(run.stderr, b"")
                self.assertEqual(run.stdout, progress(GAMES_LOG.count(b"\n")))
                self.assertEqual(run.report, GAMES_REPORT)


if __name__ == "__main__":
    unittest.main()
