"""A report that cannot be written: one line on standard error, status 2, no half-written
report and no temporary file left behind, any earlier report kept as it was."""

import resource
import signal
import unittest

from harness import DATA, REPORT, progress, run_in_new_folder, windows_skip

LOG = (DATA / "server-derived.qconsole.log").read_bytes()
LINES = LOG.count(b"\n")


class ReportFailures(unittest.TestCase):
    def check_failed_run(self, run, reason, files):
        self.assertEqual(run.status, 2)
        self.assertEqual(run.stdout, progress(LINES))
        self.assertEqual(run.stderr, b"fragtally: cannot write qconsole.txt: " + reason + b"\n")
        self.assertEqual(run.files, files)  # no temporary file is left

    def test_a_folder_named_like_the_report(self):
        def make_folder(folder):
            (folder / REPORT).mkdir()

        run = run_in_new_folder(LOG, make_folder)
        self.check_failed_run(run, b"Is a directory", ["qconsole.log", "qconsole.txt"])
        self.assertIsNone(run.report)  # still the folder

    @windows_skip("a file-size limit is set the POSIX way")
    def test_a_write_cut_off_by_a_file_size_limit(self):
        # The report of this log is about 6 kB; the limit stops its writing after 1 kB. The
        # program itself keeps the limit's signal from killing it.
        earlier = b"the report of an earlier run\n"

        def put_earlier_report(folder):
            (folder / REPORT).write_bytes(earlier)

        for ignored_by_caller in (True, False):
            with self.subTest(ignored_by_caller=ignored_by_caller):

                def limit_file_size():
                    resource.setrlimit(resource.RLIMIT_FSIZE, (1024, 1024))
                    handling = signal.SIG_IGN if ignored_by_caller else signal.SIG_DFL
                    signal.signal(signal.SIGXFSZ, handling)

                run = run_in_new_folder(LOG, put_earlier_report, preexec_fn=limit_file_size)
                self.check_failed_run(run, b"File too large", ["qconsole.log", "qconsole.txt"])
                self.assertEqual(run.report, earlier)


if __name__ == "__main__":
    unittest.main()
