"""The report qconsole.txt, run for real: every case compares the whole report byte for byte
with an expected file under tests/data, and checks the progress output and the exit status."""

import os
import unittest

from harness import DATA, REPORT, progress, run_in_new_folder, run_on_log

CASES = DATA / "report"
EXAMPLE_LOG = DATA.parent.parent / "examples" / "qconsole.log"

ROUND_LIMIT_NOTICE = (
    b"How much have you been playing? I never anticipated anyone playing more than\n"
    b"50 rounds... You seem to have hit that limit. Writing out qconsole.txt now and quitting.\n"
    b"Mail me at fragtally@example.org and I'll give you a version with even higher\n"
    b"rounds limit.\n"
    b"\nPress any key... "
)


def line_count(log):
    return log.count(b"\n")


class Report(unittest.TestCase):
    def check_case(self, case, log_file=None, expected_file=None):
        log = (log_file or CASES / (case + ".log")).read_bytes()
        run = run_on_log(log)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stderr, b"")
        self.assertEqual(run.stdout, progress(line_count(log)))
        self.assertEqual(run.report, (expected_file or CASES / (case + ".txt")).read_bytes())
        return run

    def test_reports_match_their_expected_files(self):
        cases = [
            # "Bob was railed by Alice": Bob's block first, each in the other's list.
            "one_rail",
            # X killed Y twice, Y killed X five times, Z killed X three times, X never killed Z,
            # and Z has the lowest slot: X lists Y (2/5) and then Z (0/3).
            "opponent_lists",
            # "Bob was railed by Bob" puts Bob into his own list, with both counts equal.
            "own_list",
            # A plasma gun line without "'s plasmagun" gives the killer "Sam\n", another player
            # than "Sam"; the lines that print his name break in two.
            "name_with_line_feed",
            # "NULL" and its look-alikes are names like any other.
            "null_player",
            # Join and chat lines only: just the nine header lines.
            "no_players",
            # Counts of three and four digits widen their lines.
            "many_digits",
        ]
        for case in cases:
            with self.subTest(case):
                self.check_case(case)

    def test_a_log_of_real_games(self):
        # 21 games of ten players; the expected report was derived from the log's lines by
        # tests/data/derive_report.py and checked against the log's own tallies.
        run = self.check_case(
            "server-derived",
            DATA / "server-derived.qconsole.log",
            DATA / "server-derived.qconsole.txt",
        )
        self.assertEqual(run.report.count(b"-----===> "), 10)

    def test_the_example_in_the_readme(self):
        # The expected report was checked by hand against the log for Pip^7 and Mara^7.
        self.check_case("example", EXAMPLE_LOG, DATA / "example.qconsole.txt")

    def test_the_round_limit_stop_writes_the_tallies_before_it(self):
        # Fifty rounds, a kill, then the 51st "fraglimit" line and a kill that is never read.
        # Standard input is a pipe kept open, not a terminal: the notice must not wait on it.
        log = (CASES / "round_limit.log").read_bytes()
        read_end, write_end = os.pipe()
        try:
            run = run_on_log(log, stdin=read_end, timeout=30)
        finally:
            os.close(read_end)
            os.close(write_end)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stderr, b"")
        self.assertEqual(run.stdout, progress(101) + ROUND_LIMIT_NOTICE)
        self.assertEqual(run.report, (CASES / "round_limit.txt").read_bytes())
        self.assertNotIn(b"Cy^7", run.report)

    def test_an_earlier_report_is_replaced(self):
        old_report = b"an earlier report, longer than the new one\n" * 200

        def put_old_report(folder):
            (folder / REPORT).write_bytes(old_report)

        log = (CASES / "one_rail.log").read_bytes()
        run = run_in_new_folder(log, put_old_report)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.report, (CASES / "one_rail.txt").read_bytes())
        self.assertEqual(run.files, ["qconsole.log", "qconsole.txt"])


if __name__ == "__main__":
    unittest.main()
