#!/usr/bin/env python3
"""Works out, without the program, the report fragtally must write for a console log.

Usage: derive_report.py LOG [REPORT]
       derive_report.py --cross-check LOG REPORT

Writes the report (to REPORT, or to standard output) and prints the figures it rests on to
standard error: lines, round ends, players, counted kills by weapon, deaths without a killer,
and the obituary lines of kinds the report does not count. With --cross-check it reads a
report instead and checks each player's totals, suicides, weapon lines and opponent lists
against a count made with plain regular expressions, which holds for logs of well-formed
lines (names without blanks before "wa", "ate" inside them, and so on).

It is a second, plain implementation of the program's rules, kept apart from the C++ sources
so that an expected report made with it checks the program rather than repeating it:

- The log is split into lines after each line feed (carriage returns dropped, a byte 26 ends
  the data, a last line without a line feed still counts, a line ends at its first zero byte).
- A line holding "fraglimit" is a round end; the 51st one stops the run before it is looked at.
- Every obituary kind whose phrases are all in the line fires, in the table's order, and its
  names are cut out by its rule of names, which this script spells out itself (CUT_RULES).
  Names keep at most 19 bytes.
- A name gets a slot the first time it is seen; the victim is looked up before the killer.

Lines longer than 64 KiB, which the program examines on their start only, are not handled.

What kinds and counters there are it reads from the listing of the program's tables that the
build writes (tests/table_listing.cpp): each kind's phrases, counters and the name of its rule
of names, each counter's name, label and whether the text report shows it. It looks for the
listing where FRAGTALLY_TABLES points, else in the dev build (build/dev/tests/tables.json).
"""

import json
import os
import pathlib
import re
import sys
from collections import Counter

MAX_NAME = 19
ROUND_LIMIT = 50
ANY = None  # in a pattern: one byte of any value

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent


def load_tables():
    """The listing of the program's tables of counters and kinds."""
    path = pathlib.Path(os.environ.get("FRAGTALLY_TABLES") or
                        ROOT / "build" / "dev" / "tests" / "tables.json")
    try:
        return json.loads(path.read_text("utf-8"))
    except OSError as e:
        raise SystemExit("derive_report.py: cannot read the listing of the tables: %s (build the "
                         "dev preset, or point FRAGTALLY_TABLES at a build's tests/tables.json)"
                         % e) from e


TABLES = load_tables()
# The classic counters, in the order of the program's table (the reports' order).
CLASSIC = [c for c in TABLES["counters"] if c["classic"]]
# The counters of a player's row, in their order.
COUNTERS = TABLES["classic_counters"]

def pat(*parts):
    """A pattern from strings (bytes to match) and ANY (one byte not tested)."""
    out = []
    for part in parts:
        if part is ANY:
            out.append(ANY)
        else:
            out.extend(part.encode())
    return out


def at(text, pos, pattern):
    """Whether the pattern lies in text at pos, all of it inside the text."""
    if pos + len(pattern) > len(text):
        return False
    return all(want is ANY or text[pos + i] == want for i, want in enumerate(pattern))


def line_feed_or_blanks(count):
    """End test: a line feed, or `count` blanks in a row."""
    blanks = pat(" " * count)
    return lambda text, m: text[m] == 0x0A or at(text, m, blanks)


def mark(pattern):
    """End test: the pattern begins here."""
    return lambda text, m: at(text, m, pattern)


# The rules of names by the names the table gives them: the first name's end mark, and for two
# names the start pattern and the end test of the second.
CUT_RULES = {
    "any_before_wa": (pat(ANY, "wa"), None, None),
    "any_before_melt": (pat(ANY, "melt"), None, None),
    "any_before_does": (pat(ANY, "does"), None, None),
    "any_before_blew": (pat(ANY, "blew"), None, None),
    "blank_before_cr": (pat(" cr"), None, None),
    "by_to_line_end": (pat(" wa"), pat("ed by"), line_feed_or_blanks(3)),
    "down_by_to_two_blanks": (pat(" wa"), pat("wn by"), line_feed_or_blanks(2)),
    "by_to_s_p": (pat(" wa"), pat("ed by"), mark(pat(ANY, "s p"))),
    "dodged_to_s_roc": (pat(ANY, "almo"), pat("dged"), mark(pat(ANY, "s", ANY, "roc"))),
    "pummeled_by_to_line_end": (pat(ANY, "was"), pat("d", ANY, "by"), line_feed_or_blanks(3)),
    "ate_to_s_ro": (pat(ANY, "ate"), pat("ate"), mark(pat(ANY, "s", ANY, "ro"))),
}


def kind_of(row):
    """A kind of the listing as (phrases that must all be in the line, victim-or-single counter,
    killer counter or None, first name's end mark, start pattern, end test of the second)."""
    if row["cut_rule"] not in CUT_RULES:
        raise SystemExit("derive_report.py: no rule of names %r (kind %r)"
                         % (row["cut_rule"], row["name"]))
    rule = CUT_RULES[row["cut_rule"]]
    if (rule[1] is None) != (row["killer"] is None):
        raise SystemExit("derive_report.py: rule %r cuts %s names, kind %r has %s"
                         % (row["cut_rule"], "one" if rule[1] is None else "two", row["name"],
                            "a killer" if row["killer"] else "none"))
    return (row["phrases"], row["victim"], row["killer"]) + rule


# The kinds, in the order they fire.
KINDS = [kind_of(row) for row in TABLES["kinds"]]


def victim_or_single(text, end_mark):
    """The name at the start of the line: up to the end mark (looked for from position 1),
    the end of the text, or 19 bytes, whichever comes first."""
    end = len(text)
    for k in range(1, len(text)):
        if at(text, k, end_mark):
            end = k
            break
    return text[:min(end, MAX_NAME)]


def killer(text, start, end_test):
    """The name after the first occurrence of the start pattern and one skipped byte, ending
    where the end test holds (from its second byte on), at the end of the text or after 19."""
    j = next(j for j in range(len(text)) if at(text, j, start))
    s = j + len(start) + 1
    if s >= len(text):
        return b""
    f = min(len(text), s + MAX_NAME)
    for m in range(s + 1, f):
        if end_test(text, m):
            f = m
            break
    return text[s:f]


def log_lines(data):
    """The lines the program steps through."""
    data = data.split(b"\x1a")[0].replace(b"\r", b"")
    pieces = data.split(b"\n")
    lines = [p + b"\n" for p in pieces[:-1]]
    if pieces[-1]:
        lines.append(pieces[-1])
    return [line.split(b"\0")[0] for line in lines]


class Tally:
    def __init__(self):
        self.names = []  # slot order
        self.rows = {}  # name -> {counter: count}
        self.killed = {}  # (killer, victim) -> count
        self.rounds = 0
        self.stopped = False
        self.lines = 0
        self.fired = {}  # first phrase of a kind -> lines it fired on

    def slot(self, player):
        if player not in self.rows:
            self.names.append(player)
            self.rows[player] = {c: 0 for c in COUNTERS}
        return self.rows[player]

    def read(self, data):
        for text in log_lines(data):
            if b"fraglimit" in text:
                self.rounds += 1
                if self.rounds > ROUND_LIMIT:
                    self.stopped = True
                    return
            self.lines += 1
            for phrases, first, second, end_mark, start, end_test in KINDS:
                if not all(p.encode() in text for p in phrases):
                    continue
                self.fired[phrases[0]] = self.fired.get(phrases[0], 0) + 1
                victim = victim_or_single(text, end_mark)
                if second is None:
                    self.slot(victim)[first] += 1
                    continue
                row = self.slot(victim)
                row["deaths"] += 1
                row[first] += 1
                aggressor = killer(text, start, end_test)
                row = self.slot(aggressor)
                row["kills"] += 1
                row[second] += 1
                pair = (aggressor, victim)
                self.killed[pair] = self.killed.get(pair, 0) + 1


HEADER = (
    b"fragtally, version 0.23b\n"
    b"Written by the fragtally developers.\n"
    b"Free software under the MIT licence, with no warranty.\n"
    b"\n"
    b"Webpage: https://fragtally.example.org/\n"
    b"E-mail : fragtally@example.org\n"
    b"\n\n\n"
)

# Label, filled to 14 characters, then the "for" and "against" counters of each weapon line.
WEAPONS = [(c["label"], c["name"],
            next(d["name"] for d in CLASSIC if d["group"] == "death" and d["label"] == c["label"]))
           for c in CLASSIC if c["group"] == "kill" and c["text_report"]]

# Label and counter of each cause on the suicide line, in its order.
SUICIDES = [(c["label"], c["name"]) for c in CLASSIC if c["group"] == "suicide" and c["text_report"]]


def report(t):
    out = [HEADER]
    for p in t.names:
        r = t.rows[p]
        out.append(b"=" * 44 + b"\n")
        out.append(b"-----===> " + p + b"\n")
        out.append(b"=" * 44 + b"\n")
        out.append(b"Kills/Deaths".ljust(24) + b": %d/%d\n" % (r["kills"], r["deaths"]))
        out.append(b"Suicide by...\n")
        out.append(b"/".join(label.encode() for label, _ in SUICIDES) + b": " +
                   b"/".join(b"%d" % r[c] for _, c in SUICIDES) + b"\n")
        out.append(b"\n")
        out.append(b"Weapon stats (kills for/kills against)\n")
        out.append(b"-" * 38 + b"\n")
        for label, kills_for, kills_against in WEAPONS:
            out.append(label.encode().ljust(14) + b": %d/%d\n" % (r[kills_for], r[kills_against]))
        out.append(b"\n")
        out.append(b"Kills/Deaths by player:\n")
        won = lambda q: t.killed.get((p, q), 0)
        lost = lambda q: t.killed.get((q, p), 0)
        listed = [q for q in t.names if won(q) > 0]
        listed += [q for q in t.names if lost(q) > 0 and won(q) == 0]
        for q in listed:
            out.append(b"   " + q + b" - %d/%d\n" % (won(q), lost(q)))
        out.append(b"\n\n\n")
    return b"".join(out)


# Well-formed obituary lines: (pattern, weapon line or suicide cause, two names?).
PLAIN_FORMS = [
    (r"(.*) was railed by (.*)", "Railgun", True),
    (r"(.*) was electrocuted by (.*)", "Lightning Gun", True),
    (r"(.*) was gunned down by (.*)", "Shotgun", True),
    (r"(.*) was machinegunned by (.*)", "Machinegun", True),
    (r"(.*) was melted by (.*)'s plasmagun", "Plasma Gun", True),
    (r"(.*) almost dodged (.*)'s rocket", "Close hits RL", True),
    (r"(.*) was pummeled by (.*)", "Gauntlet", True),
    (r"(.*) ate (.*)'s rocket", "Direct hits RL", True),
    (r"(.*) blew himself up\.?", 0, False),
    (r"(.*) melted himself\.?", 1, False),
    (r"(.*) was in the wrong place\.?", 2, False),
    (r"(.*) cratered\.?", 3, False),
    (r"(.*) does .*into the lava\.?", 4, False),
]


def cross_check(log, report_text):
    """Returns the differences between the report and a plain count over the log."""
    count = Counter()
    for line in log.decode("latin-1").splitlines():
        for pattern, what, two_names in PLAIN_FORMS:
            m = re.fullmatch(pattern, line)
            if m and two_names:
                victim, killer_name = m.groups()
                count[killer_name, "kills"] += 1
                count[victim, "deaths"] += 1
                count[killer_name, what, "for"] += 1
                count[victim, what, "against"] += 1
                count[killer_name, "killed", victim] += 1
            elif m:
                count[m.group(1), "suicide", what] += 1
    problems = []
    blocks = report_text.decode("latin-1").split("-----===> ")[1:]
    for block in blocks:
        player = block.split("\n")[0]
        value = lambda label: re.search("^" + re.escape(label) + " *: (.*)$", block, re.M).group(1)
        want = "%d/%d" % (count[player, "kills"], count[player, "deaths"])
        if value("Kills/Deaths") != want:
            problems.append("%s: totals %s, counted %s" % (player, value("Kills/Deaths"), want))
        suicides = "/".join(str(count[player, "suicide", i]) for i in range(5))
        if value("rocket/plasmagun/void/jumping/lava") != suicides:
            problems.append("%s: suicides differ" % player)
        for label, _, _ in WEAPONS:
            want = "%d/%d" % (count[player, label, "for"], count[player, label, "against"])
            if value(label) != want:
                problems.append("%s: %s %s, counted %s" % (player, label, value(label), want))
        listed = re.findall(r"^   (.*) - (\d+)/(\d+)$", block, re.M)
        opponents = {k[2] for k in count if k[:2] == (player, "killed")}
        opponents |= {k[0] for k in count if k[1:] == ("killed", player)}
        if sorted(o for o, _, _ in listed) != sorted(opponents):
            problems.append("%s: opponents %s, counted %s" % (player, listed, opponents))
        for opponent, won, lost in listed:
            if (int(won), int(lost)) != (count[player, "killed", opponent],
                                         count[opponent, "killed", player]):
                problems.append("%s: against %s %s/%s" % (player, opponent, won, lost))
    return len(blocks), problems


def main():
    if sys.argv[1] == "--cross-check":
        with open(sys.argv[2], "rb") as f, open(sys.argv[3], "rb") as g:
            players, problems = cross_check(f.read(), g.read())
        print("\n".join(problems) or "%d players, all as counted" % players)
        sys.exit(1 if problems else 0)
    t = Tally()
    with open(sys.argv[1], "rb") as f:
        t.read(f.read())
    text = report(t)
    if len(sys.argv) > 2:
        with open(sys.argv[2], "wb") as f:
            f.write(text)
    else:
        sys.stdout.buffer.write(text)

    def show(label, value):
        print("%-32s %s" % (label, value), file=sys.stderr)

    show("lines stepped through", t.lines)
    show("round ends", t.rounds)
    show("stopped at the round limit", t.stopped)
    show("players", len(t.names))
    show("kills counted", sum(r["kills"] for r in t.rows.values()))
    show("deaths counted", sum(r["deaths"] for r in t.rows.values()))
    show("kill-matrix total", sum(t.killed.values()))
    for c in COUNTERS:
        total = sum(r[c] for r in t.rows.values())
        if total and c not in ("kills", "deaths"):
            show("  " + c, total)
    show("lines firing each kind", t.fired)
    show("players in slot order", [n.decode(errors="replace") for n in t.names])


if __name__ == "__main__":
    main()
