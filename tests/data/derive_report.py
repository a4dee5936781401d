#!/usr/bin/env python3
"""Works out, without the program, the report fragtally must write for a console log.

Usage: derive_report.py LOG [REPORT]

Writes the report (to REPORT, or to standard output) and prints the figures it rests on to
standard error: lines, round ends, players, counted kills by weapon, deaths without a killer,
and the obituary lines of kinds the report does not count.

It is a second, plain implementation of the program's rules, kept apart from the C++ sources
so that an expected report made with it checks the program rather than repeating it:

- The log is split into lines after each line feed (carriage returns dropped, a byte 26 ends
  the data, a last line without a line feed still counts, a line ends at its first zero byte).
- A line holding "fraglimit" is a round end; the 51st one stops the run before it is looked at.
- Every obituary kind whose phrases are all in the line fires, in a fixed order, and its names
  are cut out by the rules of its kind (the KINDS table). Names keep at most 19 bytes.
- A name gets a slot the first time it is seen; the victim is looked up before the killer.
"""

import sys

MAX_NAME = 19
ROUND_LIMIT = 50
ANY = None  # in a pattern: one byte of any value

# The 23 counters of a player's row, in their order.
COUNTERS = [
    "kills", "deaths", "void_suicides", "crater_suicides", "mg_kills", "rl_direct_kills",
    "pg_kills", "sg_kills", "gauntlet_kills", "rail_kills", "rail_deaths", "rl_close_deaths",
    "rl_direct_deaths", "rl_close_kills", "sg_deaths", "mg_deaths", "gauntlet_deaths",
    "pg_deaths", "rocket_suicides", "plasma_suicides", "lava_suicides", "lg_kills", "lg_deaths",
]


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


# (phrases that must all be in the line, victim-or-single counter, killer counter or None,
#  first name's end mark, start pattern, end test of the second name), in the order they fire.
KINDS = [
    (["in the wrong place"], "void_suicides", None, pat(ANY, "wa"), None, None),
    (["melted himself"], "plasma_suicides", None, pat(ANY, "melt"), None, None),
    (["into the lava"], "lava_suicides", None, pat(ANY, "does"), None, None),
    (["blew himself up"], "rocket_suicides", None, pat(ANY, "blew"), None, None),
    (["cratered"], "crater_suicides", None, pat(" cr"), None, None),
    (["was railed by"], "rail_deaths", "rail_kills",
     pat(" wa"), pat("ed by"), line_feed_or_blanks(3)),
    (["was electrocuted by"], "lg_deaths", "lg_kills",
     pat(" wa"), pat("ed by"), line_feed_or_blanks(3)),
    (["was gunned down by"], "sg_deaths", "sg_kills",
     pat(" wa"), pat("wn by"), line_feed_or_blanks(2)),
    (["machinegunned by"], "mg_deaths", "mg_kills",
     pat(" wa"), pat("ed by"), line_feed_or_blanks(3)),
    (["melted by"], "pg_deaths", "pg_kills",
     pat(" wa"), pat("ed by"), mark(pat(ANY, "s p"))),
    (["almost dodged"], "rl_close_deaths", "rl_close_kills",
     pat(ANY, "almo"), pat("dged"), mark(pat(ANY, "s", ANY, "roc"))),
    (["was pummeled by"], "gauntlet_deaths", "gauntlet_kills",
     pat(ANY, "was"), pat("d", ANY, "by"), line_feed_or_blanks(3)),
    (["ate", "rocket"], "rl_direct_deaths", "rl_direct_kills",
     pat(ANY, "ate"), pat("ate"), mark(pat(ANY, "s", ANY, "ro"))),
]


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
WEAPONS = [
    ("Gauntlet", "gauntlet_kills", "gauntlet_deaths"),
    ("Machinegun", "mg_kills", "mg_deaths"),
    ("Shotgun", "sg_kills", "sg_deaths"),
    ("Direct hits RL", "rl_direct_kills", "rl_direct_deaths"),
    ("Close hits RL", "rl_close_kills", "rl_close_deaths"),
    ("Railgun", "rail_kills", "rail_deaths"),
    ("Plasma Gun", "pg_kills", "pg_deaths"),
    ("Lightning Gun", "lg_kills", "lg_deaths"),
]


def report(t):
    out = [HEADER]
    for p in t.names:
        r = t.rows[p]
        out.append(b"=" * 44 + b"\n")
        out.append(b"-----===> " + p + b"\n")
        out.append(b"=" * 44 + b"\n")
        out.append(b"Kills/Deaths".ljust(24) + b": %d/%d\n" % (r["kills"], r["deaths"]))
        out.append(b"Suicide by...\n")
        out.append(b"rocket/plasmagun/void/jumping/lava: %d/%d/%d/%d/%d\n" % (
            r["rocket_suicides"], r["plasma_suicides"], r["void_suicides"],
            r["crater_suicides"], r["lava_suicides"]))
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


def main():
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
