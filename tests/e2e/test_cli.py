"""The program's own statuses and messages, run for real."""

import unittest

from harness import progress, run_on_log


class Cli(unittest.TestCase):
    def test_a_log_gives_progress_and_status_1(self):
        run = run_on_log(b"Bob was railed by Alice\nchat\n")
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, progress(2))
        self.assertEqual(run.stderr, b"")
        self.assertIn("qconsole.txt", run.files)

    def test_a_missing_log_is_reported_with_status_2(self):
        run = run_on_log(None)
        self.assertEqual(run.status, 2)
        self.assertEqual(run.stdout, b"")
        self.assertEqual(
            run.stderr, b"fragtally: cannot open qconsole.log: No such file or directory\n"
        )
        self.assertIsNone(run.report)


if __name__ == "__main__":
    unittest.main()
