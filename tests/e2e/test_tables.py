"""The program's table of counters and table of kinds as the build lists them (FRAGTALLY_TABLES),
against what keeps lists of its own or depends on them: the plain model's rules of names (it
reads its kinds and counters from the listing, which the browser check reads through it), the
counters of the JSON documents, the text report's lines that the JSON test reads, and the kinds
in the benchmarks' generated logs (FRAGTALLY_GEN_LOG)."""

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
        cls.tables = tables
        cls.by_id = [c["name"] for c in sorted(cls.counters, key=lambda c: c["id"])]
        assert cls.by_id == tables["classic_counters"]

    def group(self, group):
        return [c for c in self.counters if c["group"] == group]

    def test_the_plain_model_cuts_names_by_every_rule_of_the_table(self):
        # The plain model takes its kinds and counters from the listing, but spells out each
        # rule of names itself, under the name the table gives it.
        rules = {r["name"]: r["two_names"] for r in self.tables["cut_rules"]}
        have = {name: rule[1] is not None for name, rule in derive_report.CUT_RULES.items()}
        self.assertEqual(have, rules)

    def test_the_reports_list_every_counter_of_the_table_in_order(self):
        # The schema names no counter but the totals: the documents hold the table's counters.
        log = b"Bob was railed by Sam\nSam cratered.\nSam^7 was railed by Bob^7\n"
        for rules, want in (("classic", self.by_id), ("full", self.full_counters)):
            with self.subTest(rules):
                run = run_in_new_folder(log, args=["-q", "--rules", rules, "-o", "-",
                                                   "--format", "json"])
                self.assertEqual(run.status, 1, run.stderr)
                document = json.loads(run.stdout)
                self.assertTrue(document["players"])
                for player in document["players"]:
                    self.assertEqual(list(player["counters"]), want)
                for rnd in document["rounds"]:
                    for player in rnd["players"]:
                        self.assertEqual(list(player["counters"]), want)

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
