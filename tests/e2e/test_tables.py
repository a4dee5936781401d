"""The lists that scripts and tests keep of their own, against the program's table of counters
and table of kinds as the build lists them (FRAGTALLY_TABLES): the plain model's counters,
weapon and suicide lines and kinds (which the browser check reads too), the JSON schema's
counters, the text report's lines that the JSON test reads, and the kinds in the benchmarks'
generated logs (FRAGTALLY_GEN_LOG)."""

import json
import os
import pathlib
import subprocess
import unittest

from harness import DATA, load_derive_report, run_in_new_folder
import test_report_json

derive_report = load_derive_report()

TABLES = os.environ.get("FRAGTALLY_TABLES", "")
GEN_LOG = os.environ.get("FRAGTALLY_GEN_LOG", "")


@unittest.skipUnless(TABLES and pathlib.Path(TABLES).is_file(), "FRAGTALLY_TABLES is not set")
class Tables(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tables = json.loads(pathlib.Path(TABLES).read_text("utf-8"))
        # The classic rules' counters; the full rules' are checked against the schema apart.
        cls.counters = [c for c in tables["counters"] if c["classic"]]
        cls.full_counters = tables["full_counters"]
        cls.kinds = tables["kinds"]
        cls.by_id = [c["name"] for c in sorted(cls.counters, key=lambda c: c["id"])]
        assert cls.by_id == tables["classic_counters"]

    def group(self, group):
        return [c for c in self.counters if c["group"] == group]

    def test_the_plain_model_counts_the_same_counters_in_the_same_order(self):
        self.assertEqual(derive_report.COUNTERS, self.by_id)

    def test_the_plain_model_prints_the_text_reports_lines(self):
        deaths = {c["label"]: c["name"] for c in self.group("death")}
        weapons = [(c["label"], c["name"], deaths[c["label"]])
                   for c in self.group("kill") if c["text_report"]]
        self.assertEqual(derive_report.WEAPONS, weapons)
        suicides = [(c["label"], c["name"]) for c in self.group("suicide") if c["text_report"]]
        self.assertEqual(derive_report.SUICIDES, suicides)

    def test_the_plain_model_knows_every_kind_with_its_counters(self):
        want = [(k["phrases"], k["victim"], k["killer"]) for k in self.kinds]
        # The model lists a kind's phrases in the order it needs them.
        have = [(sorted(phrases), victim, killer)
                for phrases, victim, killer, *_ in derive_report.KINDS]
        self.assertEqual(have, [(sorted(p), v, k) for p, v, k in want])

    def test_the_schema_names_every_counter_in_order(self):
        schema = json.loads((DATA.parent.parent / "docs" / "report-json.schema.json")
                            .read_text("utf-8"))
        for name, want in (("classic_counters", self.by_id),
                           ("full_counters", self.full_counters)):
            with self.subTest(name):
                counters = schema["$defs"][name]
                self.assertEqual(counters["required"], want)
                self.assertEqual(list(counters["properties"]), want)

    def test_the_json_test_reads_each_counter_of_the_text_report_once(self):
        read = [c for counters in test_report_json.TEXT_LINES.values() for c in counters]
        shown = [c["name"] for c in self.counters if c["text_report"]]
        self.assertEqual(sorted(read), sorted(shown))

    @unittest.skipUnless(GEN_LOG, "FRAGTALLY_GEN_LOG is not set")
    def test_the_benchmark_logs_hold_every_kind(self):
        for shape in ("churn", "games"):
            with self.subTest(shape):
                log = subprocess.run([GEN_LOG, "--shape=" + shape, "20", "1M"], check=True,
                                     capture_output=True, timeout=60).stdout
                run = run_in_new_folder(log, args=["-q", "-o", "-", "--format", "json"])
                self.assertEqual(run.status, 1, run.stderr)
                players = json.loads(run.stdout)["players"]
                for kind in self.kinds:
                    counted = sum(p["counters"][kind["victim"]] for p in players)
                    self.assertGreater(counted, 0, kind["name"])


if __name__ == "__main__":
    unittest.main()
