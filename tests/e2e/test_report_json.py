"""The JSON report, run for real: the document validates against the schema in docs/, its
figures are those of the text report written in the same run, its rounds add up to the totals,
and names of any bytes come back exactly."""

import json
import pathlib
import tempfile
import unittest

import jsonschema

from harness import DATA, run_program

SCHEMA = DATA.parent.parent / "docs" / "report-json.schema.json"
EXAMPLE_LOG = DATA.parent.parent / "examples" / "qconsole.log"

# The text report's lines of counters: the label, then the counters its numbers stand for.
TEXT_LINES = {
    "Kills/Deaths            : ": ["kills", "deaths"],
    "rocket/plasmagun/void/jumping/lava: ": [
        "rocket_suicides",
        "plasma_suicides",
        "void_suicides",
        "crater_suicides",
        "lava_suicides",
    ],
    "Gauntlet      : ": ["gauntlet_kills", "gauntlet_deaths"],
    "Machinegun    : ": ["mg_kills", "mg_deaths"],
    "Shotgun       : ": ["sg_kills", "sg_deaths"],
    "Direct hits RL: ": ["rl_direct_kills", "rl_direct_deaths"],
    "Close hits RL : ": ["rl_close_kills", "rl_close_deaths"],
    "Railgun       : ": ["rail_kills", "rail_deaths"],
    "Plasma Gun    : ": ["pg_kills", "pg_deaths"],
    "Lightning Gun : ": ["lg_kills", "lg_deaths"],
}


def name_bytes(text):
    """The bytes a name in the document stands for: each character's code is one byte."""
    return text.encode("latin-1")


def text_blocks(report):
    """The players of a text report whose names hold no line feed: (name, counters,
    opponents), the opponents as (name, kills, deaths) in the report's order."""
    blocks = []
    in_list = False
    for line in report.split(b"\n"):
        if line.startswith(b"-----===> "):
            blocks.append((line[10:], {}, []))
            in_list = False
        elif not blocks:
            continue
        elif line == b"Kills/Deaths by player:":
            in_list = True
        elif in_list and line:
            name, counts = line[3:].rsplit(b" - ", 1)
            kills, deaths = counts.split(b"/")
            blocks[-1][2].append((name, int(kills), int(deaths)))
        else:
            in_list = False
            text = line.decode("latin-1")
            for label, counters in TEXT_LINES.items():
                if text.startswith(label):
                    numbers = [int(n) for n in text[len(label) :].split("/")]
                    blocks[-1][1].update(zip(counters, numbers, strict=True))
    return blocks


def nonzero(counts):
    return {key: n for key, n in counts.items() if n}


def run_reports(log, args):
    """Runs the program on the log's bytes with the given arguments in a new folder; returns
    the run and every file there, by name, as bytes."""
    with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
        path = pathlib.Path(folder)
        (path / "qconsole.log").write_bytes(log)
        run = run_program(folder, args)
        return run, {p.name: p.read_bytes() for p in path.iterdir()}


class JsonReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.validator = jsonschema.Draft202012Validator(json.loads(SCHEMA.read_text("utf-8")))

    def document(self, raw):
        """Checks the bytes of a document against the schema and returns it parsed."""
        self.assertNotIn(b"\r", raw)
        self.assertTrue(raw.endswith(b"}\n"))
        doc = json.loads(raw.decode("utf-8"))
        self.validator.validate(doc)
        return doc

    def check_rounds_add_up(self, doc):
        players = doc["players"]
        sums = [dict.fromkeys(p["counters"], 0) for p in players]
        cells = {}
        next_line = 1
        for number, round_ in enumerate(doc["rounds"], 1):
            self.assertEqual(round_["round"], number)
            self.assertEqual(round_["first_line"], next_line)
            self.assertGreaterEqual(round_["last_line"], round_["first_line"])
            next_line = round_["last_line"] + 1
            for player in round_["players"]:
                self.assertTrue(any(player["counters"].values()))
                for counter, count in player["counters"].items():
                    sums[player["slot"]][counter] += count
                for o in player["opponents"]:
                    key = (player["slot"], o["slot"])
                    cells[key] = cells.get(key, 0) + o["kills"]
        self.assertEqual(next_line, doc["lines"] + 1)
        self.assertEqual(sum(r["ended"] for r in doc["rounds"]), doc["round_ends"])
        for player, summed in zip(players, sums, strict=True):
            self.assertEqual(summed, player["counters"], player["name"])
        totals = {(p["slot"], o["slot"]): o["kills"] for p in players for o in p["opponents"]}
        self.assertEqual(nonzero(cells), nonzero(totals))

    def test_figures_agree_with_the_text_report(self):
        logs = {
            "example": EXAMPLE_LOG,
            "server-derived": DATA / "server-derived.qconsole.log",
            "round limit": DATA / "report" / "round_limit.log",
            "opponent lists": DATA / "report" / "opponent_lists.log",
        }
        for what, log_path in logs.items():
            with self.subTest(what):
                log = log_path.read_bytes()
                run, files = run_reports(log, ["-o", "r.json", "-o", "r.txt"])
                self.assertEqual(run.status, 1)
                stopped = what == "round limit"
                # The notice at the round limit names the reports, on standard error with -o.
                notice = b"limit. Writing out r.json and r.txt now and quitting.\n"
                self.assertEqual(notice in run.stderr, stopped, run.stderr)
                doc = self.document(files["r.json"])
                self.assertEqual(doc["format"], "fragtally-report")
                self.assertEqual(doc["format_version"], 2)
                self.assertEqual(doc["rules"], "classic")
                self.assertEqual(doc["log"], "qconsole.log")
                self.assertEqual(doc["stopped_at_round_limit"], stopped)
                if not stopped:
                    self.assertEqual(doc["lines"], log.count(b"\n"))
                    self.assertEqual(doc["round_ends"], log.count(b"fraglimit"))
                blocks = text_blocks(files["r.txt"].replace(b"\r\n", b"\n"))
                self.assertEqual(len(doc["players"]), len(blocks))
                for slot, (player, (name, counters, opponents)) in enumerate(
                    zip(doc["players"], blocks, strict=True)
                ):
                    self.assertEqual(player["slot"], slot)
                    self.assertEqual(name_bytes(player["name"]), name)
                    # The text report shows the classic counters only.
                    shown = {c: n for c, n in player["counters"].items() if c in counters}
                    self.assertEqual(shown, counters)
                    self.assertEqual(len(counters), sum(map(len, TEXT_LINES.values())))
                    listed = [
                        (name_bytes(o["name"]), o["kills"], o["deaths"])
                        for o in player["opponents"]
                    ]
                    self.assertEqual(listed, opponents)
                self.check_rounds_add_up(doc)

    def test_standard_output_gives_the_same_bytes(self):
        log = (DATA / "server-derived.qconsole.log").read_bytes()
        run, files = run_reports(log, ["-o", "r.json"])
        self.assertEqual(run.status, 1)
        piped, _ = run_reports(log, ["-o", "-", "--format", "json"])
        self.assertEqual(piped.status, 1)
        # Standard output in binary mode: no carriage return on any platform.
        self.assertEqual(piped.raw_stdout, files["r.json"])

    def test_names_of_any_bytes(self):
        names = [
            b'a "quoted" name',
            b"back\\slash\\",
            b"<b>&amp;</b>",
            b"ABCDEFGHIJKLMNOPQRS",  # 19 bytes, the most a name holds
            bytes(b for b in range(1, 20) if b not in (10, 13)),
            bytes(range(20, 32)).replace(b"\x1a", b""),  # byte 26 would end the log
            bytes(range(128, 147)),
            bytes(range(237, 256)),
        ]
        log = b"".join(n + b" cratered\n" for n in names) + b"Bob was melted by Sam\n"
        run, files = run_reports(log, ["-o", "r.json"])
        self.assertEqual(run.status, 1)
        doc = self.document(files["r.json"])
        # A plasma gun line without "'s plasmagun" gives a killer whose name ends in a line feed.
        want = names + [b"Bob", b"Sam\n"]
        self.assertEqual([name_bytes(p["name"]) for p in doc["players"]], want)
        self.assertEqual(name_bytes(doc["players"][-2]["opponents"][0]["name"]), b"Sam\n")

    def test_who_ended_each_round(self):
        # The round-end line's forms, and lines of no form: their first 64 bytes, bytes from 128
        # as names are written; the open round after the last round end has none.
        long_line = b"\xe9" + b"x" * 70 + b" fraglimit"
        cases = [
            (b"^1Big Tom^7 hit the fraglimit.", "^1Big Tom"),
            (b"Red hit the fraglimit.", "Red"),
            (b"Blue hit the fraglimit.", "Blue"),
            (b"Red hit the fraglimit. gg", "Red hit the fraglimit. gg"),
            (long_line, long_line[:64].decode("latin-1")),
        ]
        log = b"".join(b"Ann was railed by Bob\n" + line + b"\n" for line, _ in cases)
        run, files = run_reports(log + b"Ann cratered\n", ["-o", "r.json"])
        self.assertEqual(run.status, 1)
        doc = self.document(files["r.json"])
        self.assertEqual([r["ended_by"] for r in doc["rounds"]],
                         [who for _, who in cases] + [None])

    def test_the_example_in_the_documentation(self):
        text = (DATA.parent.parent / "docs" / "report-json.md").read_text("utf-8")
        example = text.split("## Example", 1)[1]
        log_part, document = example.split("```json\n", 1)
        log = "".join(line[4:] + "\n" for line in log_part.splitlines() if line.startswith("    "))
        document = document.split("```", 1)[0]
        with tempfile.TemporaryDirectory(prefix="fragtally-") as folder:
            (pathlib.Path(folder) / "small.log").write_text(log)
            run = run_program(folder, ["-q", "-o", "small.json", "small.log"])
            self.assertEqual(run.status, 1)
            written = (pathlib.Path(folder) / "small.json").read_bytes()
        self.assertEqual(written.decode("utf-8"), document)
        self.document(written)


class FullRulesReport(unittest.TestCase):
    """--rules full on real logs: the document validates, its rounds add up, and on the log
    derived from a game server's events it holds exactly the counts taken from those events."""

    @classmethod
    def setUpClass(cls):
        cls.validator = jsonschema.Draft202012Validator(json.loads(SCHEMA.read_text("utf-8")))

    def full_document(self, log):
        run, files = run_reports(log, ["-q", "--rules", "full", "-o", "r.json", "-o", "r.txt"])
        self.assertEqual(run.status, 1, run.stderr)
        self.assertEqual(run.stderr, b"")
        doc = json.loads(files["r.json"].decode("utf-8"))
        self.validator.validate(doc)
        self.assertEqual(doc["rules"], "full")
        self.assertEqual(doc["format_version"], 2)
        JsonReport.check_rounds_add_up(self, doc)
        return doc, files["r.txt"]

    def test_who_ended_each_round(self):
        # Only the six round-end lines end a round under the full rules; each names who ended
        # it as under the classic rules, a name of the full rules' length cut with its line at
        # 64 bytes. Rounds are read back from the temporary file they were written to.
        long_name = b"^1" + b"n" * 50
        cases = [
            (b"^1Big^7 Tom^7 hit the fraglimit.", "^1Big^7 Tom"),
            (b"Red hit the fraglimit.", "Red"),
            (b"Blue hit the capturelimit.", "Blue"),
            (b"Timelimit hit.", "time limit"),
            (long_name + b"^7 hit the fraglimit.",
             (long_name + b"^7 hit the fraglimit.")[:64].decode("latin-1")),
        ]
        log = b"".join(b"Ann^7 was railed by Bob^7\nBob^7: fraglimit soon\n" + line + b"\n"
                       for line, _ in cases)
        doc, _ = self.full_document(log + b"Ann^7 cratered.\n")
        self.assertEqual(doc["round_ends"], len(cases))
        self.assertEqual([r["ended_by"] for r in doc["rounds"]],
                         [who for _, who in cases] + [None])

    def test_the_server_derived_log_holds_the_servers_own_counts(self):
        want = json.loads((DATA / "server-derived.full-counts.json").read_text("utf-8"))
        doc, text = self.full_document((DATA / "server-derived.qconsole.log").read_bytes())
        self.assertEqual(doc["lines"], want["lines"])
        self.assertEqual(doc["round_ends"], want["round_ends"])
        self.assertEqual(doc["uncounted_obituaries"], 0)
        players = {p["name"]: p for p in doc["players"]}
        self.assertEqual(sorted(players), sorted(p["name"] for p in want["players"]))
        for player in want["players"]:
            with self.subTest(player["name"]):
                counters = players[player["name"]]["counters"]
                self.assertEqual(nonzero(counters), player["counters"])
        slots = {p["slot"]: p["name"] for p in doc["players"]}
        cells = {(slots[p["slot"]], slots[o["slot"]]): o["kills"]
                 for p in doc["players"] for o in p["opponents"] if o["kills"]}
        self.assertEqual(cells, {(c["killer"], c["victim"]): c["kills"]
                                 for c in want["head_to_head"]})
        self.assertEqual(sum(p["counters"]["kills"] for p in doc["players"]), 768)
        # The text report's names are the game's without its "^7".
        self.assertIn(b"-----===> Dono da Bola\n", text.replace(b"\r\n", b"\n"))
        self.assertNotIn(b"^7\n", text)

    def test_the_example_log(self):
        doc, text = self.full_document(EXAMPLE_LOG.read_bytes())
        self.assertEqual(doc["round_ends"], 3)
        names = [p["name"] for p in doc["players"]]
        self.assertEqual(len(names), len(set(names)))
        for p in doc["players"]:
            c = p["counters"]
            weapons = [n for n in c if n.endswith("_kills")]
            self.assertEqual(c["kills"], sum(c[n] for n in weapons))
            self.assertEqual(c["deaths"], sum(c[n] for n in c if n.endswith("_deaths")))
            self.assertEqual(c["suicides"],
                             sum(c[n] for n in c if n.endswith("_suicides")))
        # Every block of the text report has a row for every weapon and every cause.
        self.assertEqual(text.count(b"\nRocket (direct hit)".ljust(25) + b": "), len(names))
        self.assertEqual(text.count(b"\n  Fell to death".ljust(25) + b": "), len(names))


if __name__ == "__main__":
    unittest.main()
