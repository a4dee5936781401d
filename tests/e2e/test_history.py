"""The history, run for real: sessions recorded once, grown logs replacing theirs, reports from
the history that add up the logs' own reports for any number of players, and every fault
leaving the file as it was."""

import json
import os
import pathlib
import re
import resource
import shutil
import signal
import sqlite3
import tempfile
import time
import unittest

import jsonschema

from harness import DATA, run_program
from test_report_html import Page

HISTORY = "h.db"
OPENED = b"logfile opened on Fri Dec 11 21:04:05 2026\n"


def game(kills, rounds_ended=0):
    """A log of the kills, each (victim, killer, weapon) with weapon "rail" or "mg", and then
    as many round-end lines."""
    lines = []
    for victim, killer, weapon in kills:
        phrase = "was railed by" if weapon == "rail" else "was machinegunned by"
        lines.append("%s %s %s\n" % (victim, phrase, killer))
    lines += ["Exit: fraglimit hit.\n"] * rounds_ended
    return "".join(lines).encode()


# Three small games: B continues A (as a log still being written does), C is another game.
A = game([("Ann", "Bob", "rail"), ("Bob", "Ann", "mg"), ("Cy", "Bob", "rail")], 1)
B = game([("Bob", "Cy", "rail"), ("Ann", "Bob", "mg"), ("Dee", "Ann", "rail")])
C = game([("Eve", "Ann", "mg"), ("Ann", "Eve", "rail"), ("Eve", "Ann", "mg")], 1)


def totals(doc):
    """The counters of each player by name and the head-to-head by (killer, victim) names, of
    a JSON report, zeros left out."""
    players = {}
    cells = {}
    for player in doc["players"]:
        name = player["name"]
        for key, count in player["counters"].items():
            if count:
                players.setdefault(name, {})[key] = count
        for opponent in player["opponents"]:
            if opponent["kills"]:
                cells[(name, opponent["name"])] = opponent["kills"]
    return players, cells


def summed(docs):
    """The totals of several JSON reports added up."""
    players = {}
    cells = {}
    for doc in docs:
        doc_players, doc_cells = totals(doc)
        for name, counters in doc_players.items():
            for key, count in counters.items():
                players.setdefault(name, {})
                players[name][key] = players[name].get(key, 0) + count
        for pair, count in doc_cells.items():
            cells[pair] = cells.get(pair, 0) + count
    return players, cells


def rows_of(path):
    """Every row of every table of a history, table by table, for comparing before and after."""
    with sqlite3.connect(path) as db:
        names = [r[0] for r in db.execute("SELECT name FROM sqlite_schema WHERE type = 'table' "
                                          "ORDER BY name")]
        return {name: sorted(db.execute("SELECT * FROM %s" % name).fetchall(), key=repr)
                for name in names}


class HistoryCase(unittest.TestCase):
    def setUp(self):
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="fragtally-"))
        self.addCleanup(shutil.rmtree, self.folder)

    def run_here(self, *args, **popen_args):
        return run_program(self.folder, list(args), **popen_args)

    def record(self, name, log, *more):
        (self.folder / name).write_bytes(log)
        run = self.run_here("-q", "--history", HISTORY, *more, name)
        self.assertEqual((run.status, run.stderr), (1, b""))
        return run

    def own_report(self, log):
        """The JSON report of a log by itself."""
        (self.folder / "own.log").write_bytes(log)
        run = self.run_here("-q", "-o", "own.json", "own.log")
        self.assertEqual(run.status, 1, run.stderr)
        return json.loads((self.folder / "own.json").read_bytes())

    def from_history(self, *args, expect=1):
        run = self.run_here("--history", HISTORY, "--from-history", "-o", "h.json", *args)
        self.assertEqual(run.status, expect, run.stderr)
        return json.loads((self.folder / "h.json").read_bytes()) if expect == 1 else run

    def check_sums(self, doc, logs):
        """The history's report against the logs' own reports, and its sessions against its
        totals."""
        self.assertEqual(summed(doc for doc in map(self.own_report, logs)), totals(doc))
        self.assertEqual(doc["lines"], sum(log.count(b"\n") for log in logs))
        per_session = {}
        for session in doc["sessions"]:
            for player in session["players"]:
                name = doc["players"][player["slot"]]["name"]
                for key, count in player["counters"].items():
                    per_session[(name, key)] = per_session.get((name, key), 0) + count
        for player in doc["players"]:
            for key, count in player["counters"].items():
                self.assertEqual(per_session.get((player["name"], key), 0), count)


class Recording(HistoryCase):
    # Each case: the logs recorded in order (as name, bytes), and the logs whose sessions the
    # history must then hold.
    CASES = [
        ("the same log twice", [("a.log", A), ("a.log", A)], [A]),
        ("the same log under another name", [("a.log", A), ("b.log", A)], [A]),
        ("a grown log", [("a.log", A), ("a.log", A + B)], [A + B]),
        ("a log grown twice", [("a.log", A), ("a.log", A + B), ("a.log", A + B + C)],
         [A + B + C]),
        ("a different log", [("a.log", A), ("b.log", C)], [A, C]),
        ("a new game in the same file", [("a.log", A + B), ("a.log", C)], [A + B, C]),
        ("the same first line, other content",
         [("a.log", OPENED + A), ("a.log", OPENED + C)], [OPENED + A, OPENED + C]),
        ("a log without a first line of its start", [("a.log", C), ("b.log", OPENED + A)],
         [C, OPENED + A]),
    ]

    def test_cases(self):
        for label, steps, remaining in self.CASES:
            with self.subTest(label):
                (self.folder / HISTORY).unlink(missing_ok=True)
                for name, log in steps:
                    self.record(name, log)
                sessions = rows_of(self.folder / HISTORY)["sessions"]
                self.assertEqual(sorted(s[10] for s in sessions), sorted(map(len, remaining)))
                for session in sessions:
                    # started is the log's first line's date, or NULL without that line.
                    log = next(log for log in remaining if len(log) == session[10])
                    expected = "2026-12-11 21:04:05" if log.startswith(OPENED) else None
                    self.assertEqual(session[2], expected)
                doc = self.from_history()
                self.assertEqual(doc["history"]["sessions"], len(remaining))
                self.check_sums(doc, remaining)

    def test_sessions_of_other_rules_are_kept_apart(self):
        self.record("a.log", A)
        # A session as a run of the full rules records it.
        with sqlite3.connect(self.folder / HISTORY) as db:
            db.execute("UPDATE sessions SET rules = 'full'")
        self.record("a.log", A)  # not the same session: other rules
        self.record("c.log", C)
        run = self.run_here("--history", HISTORY, "--from-history", "-o", "h.json")
        self.assertEqual(run.stderr,
                         b"fragtally: 1 session recorded under other rules than classic left out\n")
        doc = json.loads((self.folder / "h.json").read_bytes())
        self.assertEqual(doc["history"]["other_rules_left_out"], 1)
        self.assertEqual([s["log"] for s in doc["sessions"]], ["a.log", "c.log"])
        self.check_sums(doc, [A, C])
        with sqlite3.connect(self.folder / HISTORY) as db:
            db.execute("UPDATE sessions SET rules = 'full'")
        run = self.from_history(expect=2)
        self.assertEqual(run.stderr.count(b"\n"), 1)
        self.assertIn(b"3 recorded under other rules than classic", run.stderr)

    def test_since_and_until_by_start_or_by_recording(self):
        today = time.strftime("%Y-%m-%d", time.gmtime())
        self.record("a.log", b"logfile opened on Mon Nov 30 23:59:59 2026\n" + A)
        self.record("b.log", OPENED + B)
        self.record("c.log", C)  # no start: counts by today, when it was recorded
        cases = [
            ([], [A, B, C]),
            (["--since", "2026-12-01"], [B, C]),
            (["--until", "2026-11-30"], [A]),
            (["--since", "2026-12-11", "--until", "2026-12-11"], [B] + ([C] if today ==
                                                                        "2026-12-11" else [])),
            (["--since", today, "--until", today], [C] + ([B] if today == "2026-12-11" else [])),
        ]
        for args, kept in cases:
            with self.subTest(args=args):
                doc = self.from_history(*args)
                self.assertEqual(len(doc["sessions"]), len(kept))
                self.assertEqual(doc["history"]["out_of_range_left_out"], 3 - len(kept))
                self.assertEqual(totals(doc), summed(map(self.own_report, kept)))
        run = self.from_history("--until", "2000-01-01", expect=2)
        self.assertIn(b"3 begun outside the dates asked for", run.stderr)

    def test_a_newer_schema_is_refused_and_left_as_it_was(self):
        self.record("a.log", A)
        with sqlite3.connect(self.folder / HISTORY) as db:
            db.execute("PRAGMA user_version = 99")
        before = (self.folder / HISTORY).read_bytes()
        (self.folder / "c.log").write_bytes(C)
        run = self.run_here("-q", "--history", HISTORY, "c.log")
        self.assertEqual(run.status, 2)
        self.assertRegex(run.stderr, rb"^fragtally: .*schema is version 99, newer .*\n$")
        self.assertEqual((self.folder / HISTORY).read_bytes(), before)
        self.assertTrue((self.folder / "c.txt").is_file())


# The tables of schema version 1 that version 2 keeps as JSON objects in the rows of
# session_players and rounds, as that version made them: the fixture of an old history.
VERSION_1_TABLES = """
CREATE TABLE session_counters (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    player INTEGER NOT NULL REFERENCES players(id),
    counter TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (session, player, counter)
) WITHOUT ROWID;
CREATE TABLE head_to_head (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    killer INTEGER NOT NULL REFERENCES players(id),
    victim INTEGER NOT NULL REFERENCES players(id),
    count INTEGER NOT NULL,
    PRIMARY KEY (session, killer, victim)
) WITHOUT ROWID;
CREATE TABLE round_counters (
    session INTEGER NOT NULL,
    round INTEGER NOT NULL,
    player INTEGER NOT NULL REFERENCES players(id),
    counter TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (session, round, player, counter),
    FOREIGN KEY (session, round) REFERENCES rounds(session, round) ON DELETE CASCADE
) WITHOUT ROWID;
"""
COUNT_VIEWS = ["session_counters", "head_to_head", "round_counters"]


def view_rows(path):
    """The rows of the counts, through the views of version 2 or the tables of version 1."""
    with sqlite3.connect(path) as db:
        return {name: sorted(db.execute("SELECT * FROM %s" % name).fetchall())
                for name in COUNT_VIEWS}


def make_version_1(path):
    """Turns a history of version 2 into what version 1 wrote of the same sessions."""
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("BEGIN")
    rows = {name: db.execute("SELECT * FROM %s" % name).fetchall() for name in COUNT_VIEWS}
    for name in COUNT_VIEWS:
        db.execute("DROP VIEW %s" % name)
    db.execute("ALTER TABLE session_players DROP COLUMN counters")
    db.execute("ALTER TABLE session_players DROP COLUMN kills")
    db.execute("ALTER TABLE rounds DROP COLUMN counters")
    for statement in VERSION_1_TABLES.split(";")[:-1]:
        db.execute(statement)
    for name, table_rows in rows.items():
        for row in table_rows:
            db.execute("INSERT INTO %s VALUES (%s)" % (name, ", ".join("?" * len(row))), row)
    db.execute("PRAGMA user_version = 1")
    db.execute("COMMIT")
    db.close()


M64 = (1 << 64) - 1


def lanes_hash(data):
    """The hash that sessions were known by before stripe_hash, as its 16 digits: four lanes
    of one 8-byte word each, a multiply per word, the last words padded with zeros."""
    multiplier = 0x9E3779B97F4A7C15

    def mix(value):
        value ^= value >> 33
        value = value * 0xFF51AFD7ED558CCD & M64
        value ^= value >> 33
        value = value * 0xC4CEB9FE1A85EC53 & M64
        return value ^ (value >> 33)

    def word(at):
        return int.from_bytes(data[at:at + 8].ljust(8, b"\0"), "little")

    lanes = [0x243F6A8885A308D3, 0x13198A2E03707344, 0xA4093822299F31D0, 0x082EFA98EC4E6C89]
    whole = len(data) // 32 * 32
    for block in range(0, whole, 32):
        for lane in range(4):
            state = (lanes[lane] ^ word(block + 8 * lane)) * multiplier & M64
            lanes[lane] = state ^ (state >> 32)
    value = len(data)
    for lane in range(4):
        value = mix(value ^ lanes[lane] ^ (word(whole + 8 * lane) * multiplier & M64))
    return "%016x" % value


class EarlierHash(HistoryCase):
    def recorded_by_the_earlier_hash(self, log, stored):
        """A history of the log's session as the program before stripe_hash recorded it, with
        the given hash text."""
        (self.folder / HISTORY).unlink(missing_ok=True)
        self.record("a.log", log)
        with sqlite3.connect(self.folder / HISTORY) as db:
            (new,) = db.execute("SELECT log_hash FROM sessions").fetchone()
            self.assertRegex(new, "^stripes:[0-9a-f]{16}$")
            db.execute("UPDATE sessions SET log_hash = ?", (stored,))

    def test_sessions_of_the_earlier_hash_are_still_known(self):
        log = OPENED + A
        # Longer than a few blocks of either hash, and not a whole number of them.
        grown = log + B * 40 + b"chat\n"
        # Each case: the hash the session was recorded with, the logs whose sessions the
        # history holds after recording the log again, and after recording it grown.
        cases = [
            ("its own", lanes_hash(log), [log], [grown]),
            ("another log's", lanes_hash(C), [log, log], [log, grown]),
        ]
        for label, stored, recorded_again, after_growing in cases:
            with self.subTest(label):
                self.recorded_by_the_earlier_hash(log, stored)
                before = rows_of(self.folder / HISTORY)["sessions"]
                self.record("a.log", log)
                if len(recorded_again) == 1:
                    self.assertEqual(rows_of(self.folder / HISTORY)["sessions"], before)
                doc = self.from_history()
                self.assertEqual(doc["history"]["sessions"], len(recorded_again))
                self.check_sums(doc, recorded_again)
                # The grown log replaces the session whose hash it matches, and is known by
                # the new hash from then on.
                self.record("a.log", grown)
                doc = self.from_history()
                self.assertEqual(doc["history"]["sessions"], len(after_growing))
                self.check_sums(doc, after_growing)
                with sqlite3.connect(self.folder / HISTORY) as db:
                    hashes = db.execute("SELECT log_hash FROM sessions WHERE log_bytes = ?",
                                        (len(grown),)).fetchall()
                self.assertEqual(len(hashes), 1)
                self.assertRegex(hashes[0][0], "^stripes:[0-9a-f]{16}$")

    def test_the_earlier_hash_as_the_program_before_took_it(self):
        # The model above is checked against values the earlier program stored.
        self.assertEqual(lanes_hash(b""), "aa80f7466ca3941f")
        self.assertEqual(lanes_hash(bytes((i * 131 + i // 7) & 0xFF for i in range(1100))),
                         "910a237941254a19")


class Upgrade(HistoryCase):
    def test_a_history_of_version_1_is_upgraded_with_its_sessions(self):
        self.record("a.log", OPENED + A)
        self.record("c.log", C, "--rules", "full")
        self.record("e.log", game([("Ann", "Bob", "mg")] * 3 + [("Bob", "Ann", "rail")], 2))
        counts = view_rows(self.folder / HISTORY)
        # A session's counters are the sums of its rounds'.
        summed_rounds = {}
        for session, _, player, counter, count in counts["round_counters"]:
            key = (session, player, counter)
            summed_rounds[key] = summed_rounds.get(key, 0) + count
        self.assertEqual(sorted((*key, count) for key, count in summed_rounds.items()),
                         counts["session_counters"])
        self.assertTrue(counts["head_to_head"])
        reports = [self.from_history(*rules) for rules in ([], ["--rules", "full"])]
        make_version_1(self.folder / HISTORY)
        with sqlite3.connect(self.folder / HISTORY) as db:
            self.assertEqual(db.execute("PRAGMA user_version").fetchone(), (1,))
        self.assertEqual(view_rows(self.folder / HISTORY), counts)
        # Reading upgrades it: the same rows through the views, the same reports.
        self.assertEqual([self.from_history(*rules) for rules in ([], ["--rules", "full"])],
                         reports)
        with sqlite3.connect(self.folder / HISTORY) as db:
            self.assertEqual(db.execute("PRAGMA user_version").fetchone(), (2,))
            self.assertEqual(
                sorted(r[0] for r in db.execute("SELECT name FROM sqlite_schema "
                                                "WHERE type = 'view'")), sorted(COUNT_VIEWS))
        self.assertEqual(view_rows(self.folder / HISTORY), counts)
        # Its sessions are still known: the same log adds nothing, a grown one replaces its own.
        sessions = rows_of(self.folder / HISTORY)["sessions"]
        self.record("a.log", OPENED + A)
        self.assertEqual(rows_of(self.folder / HISTORY)["sessions"], sessions)
        self.record("a.log", OPENED + A + B)
        doc = self.from_history()
        self.assertEqual(doc["history"]["sessions"], 2)
        self.check_sums(doc, [OPENED + A + B,
                              game([("Ann", "Bob", "mg")] * 3 + [("Bob", "Ann", "rail")], 2)])

    def test_an_upgrade_that_fails_leaves_the_file_as_it_was(self):
        self.record("a.log", A)
        make_version_1(self.folder / HISTORY)
        # A column added by hand under a name the upgrade adds: its step fails half-way.
        with sqlite3.connect(self.folder / HISTORY) as db:
            db.execute("ALTER TABLE rounds ADD COLUMN counters TEXT")
        before = (self.folder / HISTORY).read_bytes()
        (self.folder / "c.log").write_bytes(C)
        run = self.run_here("-q", "--history", HISTORY, "c.log")
        self.assertEqual(run.status, 2)
        self.assertRegex(run.stderr, rb"^fragtally: cannot record .*\n$")
        self.assertEqual((self.folder / HISTORY).read_bytes(), before)
        self.assertTrue((self.folder / "c.txt").is_file())


class ManyPlayers(HistoryCase):
    def test_320_players_in_every_format(self):
        # 8 sessions of 40 players each, none shared: player i of session s kills player
        # i + 1 (i + 1 times) with the railgun and player i + 2 once with the machinegun.
        kills = {}  # name -> [kills, deaths, rail kills, rail deaths, mg kills, mg deaths]
        per_session = {}
        session_lines = []
        for s in range(8):
            names = ["S%dP%02d" % (s, i) for i in range(40)]
            events = []
            for i, name in enumerate(names):
                events += [(names[(i + 1) % 40], name, "rail")] * (i % 5 + 1)
                events.append((names[(i + 2) % 40], name, "mg"))
            for victim, killer, weapon in events:
                k = kills.setdefault(killer, [0] * 6)
                v = kills.setdefault(victim, [0] * 6)
                k[0] += 1
                v[1] += 1
                k[2 if weapon == "rail" else 4] += 1
                v[3 if weapon == "rail" else 5] += 1
                per_session[(killer, s)] = per_session.get((killer, s), 0) + 1
            self.record("s%d.log" % s, game(events, 2))
            session_lines.append(len(events) + 2)
        run = self.run_here("--history", HISTORY, "--from-history", "-o", "h.txt", "-o",
                            "h.json", "-o", "h.html")
        self.assertEqual((run.status, run.stderr), (1, b""))

        doc = json.loads((self.folder / "h.json").read_bytes())
        schema = json.loads((DATA.parent.parent / "docs" / "report-json.schema.json").read_text())
        jsonschema.Draft202012Validator(schema).validate(doc)
        self.assertEqual(len(doc["players"]), 320)
        for player in doc["players"]:
            c = player["counters"]
            self.assertEqual([c["kills"], c["deaths"], c["rail_kills"], c["rail_deaths"],
                              c["mg_kills"], c["mg_deaths"]], kills[player["name"]])
        self.assertEqual(len(doc["sessions"]), 8)
        self.assertEqual(doc["round_ends"], 16)

        text = (self.folder / "h.txt").read_bytes().replace(b"\r\n", b"\n").decode()
        blocks = re.findall(r"-----===> (\S+)\n=+\nKills/Deaths +: (\d+)/(\d+)", text)
        self.assertEqual({n: [int(k), int(d)] for n, k, d in blocks},
                         {n: v[:2] for n, v in kills.items()})

        page = Page((self.folder / "h.html").read_text("utf-8"))
        self.assertEqual((page.tiles["History"], page.tiles["Sessions"], page.tiles["Players"]),
                         (HISTORY, "8", "320"))
        head, rows = page.table("rt")
        self.assertEqual([c.text for c in head][:3], ["Session", "Lines", "Began"])
        self.assertEqual([row[1].text for row in rows],
                         ["1\u2013%d" % lines for lines in session_lines])
        head, rows = page.table("r")
        self.assertEqual([c.text for c in head[3:]], [str(s) for s in range(1, 9)])
        self.assertEqual(len(rows), 320)
        for row in rows:
            name = row[0].names[0]
            self.assertEqual(int(row[2].text), kills[name][0])
            self.assertEqual([int(c.text) for c in row[3:]],
                             [per_session.get((name, s), 0) for s in range(8)])


class Faults(HistoryCase):
    def check_refused(self, args, message, files_kept=(HISTORY,), lines=1):
        before = {name: (self.folder / name).read_bytes() for name in files_kept}
        run = self.run_here(*args)
        self.assertEqual(run.status, 2)
        self.assertEqual(run.stderr.count(b"\n"), lines, run.stderr)
        self.assertRegex(run.stderr, b"^fragtally: " + message)
        for name, data in before.items():
            self.assertEqual((self.folder / name).read_bytes(), data, name)
        return run

    def test_not_a_database_or_damaged(self):
        (self.folder / "c.log").write_bytes(C)
        self.record("a.log", A)
        good = (self.folder / HISTORY).read_bytes()
        damaged = bytearray(good)
        # Past the first page, which holds the header and the schema: a table's pages. The
        # page size is the header's big-endian 16 bits at offset 16.
        page = int.from_bytes(good[16:18], "big")
        self.assertGreater(len(good), 2 * page)
        for i in range(page + 8, page + 400):
            damaged[i] = 0x5A
        cases = [
            ("random bytes", os.urandom(8192), rb"cannot record .*: file is not a database"),
            ("a text file", A, rb"cannot record .*: file is not a database"),
            ("damaged pages", bytes(damaged), rb"cannot record .*(damaged|malformed)"),
        ]
        for label, data, message in cases:
            with self.subTest(label):
                (self.folder / HISTORY).write_bytes(data)
                (self.folder / "c.txt").unlink(missing_ok=True)
                self.check_refused(["-q", "--history", HISTORY, "c.log"], message)
                # The log's own report is written all the same.
                self.assertTrue((self.folder / "c.txt").is_file())
                self.check_refused(["--history", HISTORY, "--from-history", "-o", "x.txt"],
                                   message.replace(b"record", b"read"))
                self.assertFalse((self.folder / "x.txt").exists())

    def test_the_history_named_as_the_log_or_a_report(self):
        self.record("a.log", A)
        for args in (["--history", "a.log", "a.log"],
                     ["--history", "qconsole.log"],
                     ["--history", "h.json", "-o", "h.json", "a.log"],
                     ["--history", "a.txt", "a.log"],
                     ["--history", "h.txt", "--from-history", "-o", "./h.txt"],
                     ["--history", "qconsole.txt", "--from-history"],
                     ["--history", HISTORY, "--from-history", "a.log"],
                     ["--from-history"],
                     ["--history", HISTORY, "--since", "2026-01-01", "a.log"],
                     ["--history", HISTORY, "--from-history", "--since", "2026-02-30"],
                     ["--history", HISTORY, "--from-history", "--since", "2026-03-02",
                      "--until", "2026-03-01"]):
            with self.subTest(args=args):
                shutil.copy(self.folder / "a.log", self.folder / "qconsole.log")
                self.check_refused(args, b".*\nTry 'fragtally --help'",
                                   (HISTORY, "a.log", "a.txt"), lines=2)

    def test_a_history_held_by_another_writer(self):
        self.record("a.log", A)
        (self.folder / "c.log").write_bytes(C)
        before = rows_of(self.folder / HISTORY)
        db = sqlite3.connect(self.folder / HISTORY, isolation_level=None)
        db.execute("BEGIN EXCLUSIVE")
        try:
            started = time.monotonic()
            self.check_refused(["-q", "--history", HISTORY, "c.log"],
                               rb"cannot record .*: database is locked", ())
            waited = time.monotonic() - started
        finally:
            db.execute("ROLLBACK")
            db.close()
        self.assertGreater(waited, 2)
        self.assertLess(waited, 10)
        self.assertEqual(rows_of(self.folder / HISTORY), before)

    def test_a_full_disk_keeps_the_history_and_writes_the_report(self):
        # A history larger than the next session's report, so that a limit of the history's
        # size lets the report be written and stops the history's growth.
        for s in range(10):
            self.record("big%d.log" % s,
                        game([("P%d_%d" % (s, i), "Q%d_%d" % (s, i), "rail") for i in range(45)]))
        size = (self.folder / HISTORY).stat().st_size
        log = game([("R%d" % i, "S%d" % i, "mg") for i in range(45)])
        (self.folder / "new.log").write_bytes(log)
        before = (self.folder / HISTORY).read_bytes()

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        run = self.run_here("-q", "--history", HISTORY, "-o", "new.txt", "new.log",
                            preexec_fn=limit_file_size)
        self.assertEqual(run.status, 2)
        self.assertRegex(run.stderr, rb"^fragtally: cannot record .*\n$")
        self.assertEqual((self.folder / HISTORY).read_bytes(), before)
        self.assertFalse((self.folder / (HISTORY + "-journal")).exists())
        self.assertLess((self.folder / "new.txt").stat().st_size, size)

    def test_a_folder_that_is_missing(self):
        (self.folder / "a.log").write_bytes(A)
        run = self.run_here("-q", "--history", "no/such/folder/h.db", "a.log")
        self.assertEqual(run.status, 2)
        self.assertRegex(run.stderr, rb"^fragtally: cannot record .*no/such/folder/h\.db: .*\n$")
        self.assertTrue((self.folder / "a.txt").is_file())
        self.assertFalse((self.folder / "no").exists())

    def test_killed_while_recording(self):
        shim = os.environ.get("FRAGTALLY_KILL_SHIM")
        if not shim:
            self.skipTest("FRAGTALLY_KILL_SHIM is not set")
        self.record("a.log", A)
        self.record("c.log", C)
        (self.folder / "a.log").write_bytes(A + B)  # grown: replaces a session
        before = (self.folder / HISTORY).read_bytes()
        rows = rows_of(self.folder / HISTORY)
        killed = 0
        for at in range(1, 200):
            (self.folder / HISTORY).write_bytes(before)
            env = {**os.environ, "LD_PRELOAD": shim, "FRAGTALLY_KILL_FILE": HISTORY,
                   "FRAGTALLY_KILL_AT_WRITE": str(at)}
            run = self.run_here("-q", "--history", HISTORY, "a.log", env=env)
            if run.status != -signal.SIGKILL:
                self.assertEqual(run.status, 1, run.stderr)
                break
            killed += 1
            # The next opening rolls the journal back: the history is as it was, to the byte.
            self.assertEqual(rows_of(self.folder / HISTORY), rows)
            self.assertEqual((self.folder / HISTORY).read_bytes(), before, at)
        self.assertGreater(killed, 3)
        # Left to finish, the run replaces the grown log's session.
        self.assertNotEqual(rows_of(self.folder / HISTORY), rows)


class Documentation(HistoryCase):
    def test_the_example_queries(self):
        doc = (DATA.parent.parent / "docs" / "history.md").read_text("utf-8")
        queries = re.findall(r"```sql\n(.*?)```", doc, re.S)
        self.assertEqual(len(queries), 4)
        self.record("a.log", OPENED + A + B)
        self.record("c.log", b"logfile opened on Sat Dec 12 10:00:00 2026\n" + C)
        with sqlite3.connect(self.folder / HISTORY) as db:
            results = [db.execute(q.replace(":name", "'Ann'")).fetchall() for q in queries]
        kills_per_session, rivalries, railgun_month, sessions = results
        # Ann's kills: 1 machinegun + 1 rail in a.log, 2 machinegun in c.log.
        self.assertEqual([row[-1] for row in kills_per_session], [2, 2])
        # The top rivalries, three kills each: Ann and Bob (1 and 2), Ann and Eve (2 and 1).
        self.assertEqual(rivalries[:3], [("Ann", "Bob", 1, 2, 3), ("Ann", "Eve", 2, 1, 3),
                                         ("Bob", "Cy", 1, 1, 2)])
        # Railgun kills of December 2026: Bob 2, Ann 1, Cy 1, Eve 1.
        self.assertEqual(railgun_month, [("Bob", 2), ("Ann", 1), ("Cy", 1), ("Eve", 1)])
        self.assertEqual([row[1:3] for row in sessions],
                         [("2026-12-11 21:04:05", "a.log"), ("2026-12-12 10:00:00", "c.log")])


if __name__ == "__main__":
    unittest.main()
