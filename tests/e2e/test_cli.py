"""The program's own statuses and messages, run for real."""

import os
import pathlib
import stat
import tempfile
import unittest

from harness import files_under, progress, run_on_log, run_program, windows_skip

LOG = b"Bob was railed by Alice\nchat\n"


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


class ReportFiles(unittest.TestCase):
    def run_in(self, folder, args):
        (pathlib.Path(folder) / "qconsole.log").write_bytes(LOG)
        return run_program(folder, ["-q", *args])

    def test_names_as_long_as_the_folder_takes(self):
        # The temporary file beside a report must fit wherever the report's name fits.
        names = {
            "255 bytes": "r" * 251 + ".txt",
            "254 bytes of two-byte characters": "\u00e9" * 125 + ".txt",
            "249 bytes": "r" * 245 + ".txt",
        }
        for what, name in names.items():
            with self.subTest(what), tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
                run = self.run_in(folder, ["-o", name])
                self.assertEqual((run.status, run.stderr), (1, b""))
                self.assertEqual(files_under(folder), sorted(["qconsole.log", name]))

    @windows_skip("file modes are POSIX ones")
    def test_an_existing_report_keeps_its_mode_and_a_new_one_gets_the_usual(self):
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            kept = pathlib.Path(folder) / "kept.txt"
            kept.write_bytes(b"earlier\n")
            os.chmod(kept, 0o600)
            old_mask = os.umask(0o027)
            try:
                run = self.run_in(folder, ["-o", "kept.txt", "-o", "new.txt"])
            finally:
                os.umask(old_mask)
            self.assertEqual(run.status, 1)
            self.assertIn(b"-----===> Bob", kept.read_bytes())
            self.assertEqual(stat.S_IMODE(kept.stat().st_mode), 0o600)
            self.assertEqual(stat.S_IMODE((pathlib.Path(folder) / "new.txt").stat().st_mode), 0o640)


if __name__ == "__main__":
    unittest.main()
