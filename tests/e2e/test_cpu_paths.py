"""The CPU path chosen through FRAGTALLY_CPU: every path the machine has gives the same report
and progress output, and a path it lacks, or a name that is none, is refused before the log is
read, with one line on standard error and status 2."""

import os
import unittest

from harness import DATA, progress, run_in_new_folder

PATHS = ["portable", "sse2", "avx2", "avx512"]
LOG_NAME = "server-derived.qconsole.log"


def run_with(value, log):
    env = dict(os.environ)
    if value is None:
        env.pop("FRAGTALLY_CPU", None)
    else:
        env["FRAGTALLY_CPU"] = value
    return run_in_new_folder(log, env=env)


class CpuPaths(unittest.TestCase):
    def setUp(self):
        self.log = (DATA / LOG_NAME).read_bytes()
        self.expected_report = (DATA / "server-derived.qconsole.txt").read_bytes()
        self.lines = self.log.replace(b"\r", b"").count(b"\n")

    def assert_refused(self, run, value):
        self.assertEqual(run.status, 2, value)
        self.assertEqual(run.stdout, b"", value)
        self.assertIsNone(run.report, value)
        lines = run.stderr.splitlines()
        self.assertEqual(len(lines), 1, value)
        self.assertTrue(lines[0].startswith(b"fragtally: FRAGTALLY_CPU"), lines[0])

    def test_every_path_gives_the_same_report_or_is_refused(self):
        taken = []
        for path in PATHS:
            run = run_with(path, self.log)
            if run.status == 2:
                self.assert_refused(run, path)
                continue
            taken.append(path)
            self.assertEqual(run.status, 1, path)
            self.assertEqual(run.stdout, progress(self.lines), path)
            self.assertEqual(run.report, self.expected_report, path)
            self.assertEqual(run.stderr, b"", path)
        # The portable path is there on every machine, and the fastest one is taken unset.
        self.assertIn("portable", taken)
        for value in (None, ""):
            run = run_with(value, self.log)
            self.assertEqual(run.status, 1)
            self.assertEqual(run.report, self.expected_report)

    def test_names_that_are_no_path_are_refused(self):
        for value in ["AVX2", "fastest", "avx512 ", "sse"]:
            self.assert_refused(run_with(value, self.log), value)


if __name__ == "__main__":
    unittest.main()
