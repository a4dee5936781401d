#!/usr/bin/env python3
"""Renders fragtally's HTML pages in a headless Chromium and checks what a reader sees.

Usage: check_pages.py PROGRAM OUTPUT_FOLDER

For the example log, the server-derived log, a log of hostile names, generated logs of 84
players and of 41 rounds, an empty log, a log without an obituary and one whose only name is a
blank, it makes the text report and the HTML page with one run of PROGRAM ("-o NAME.txt -o
NAME.html NAME.log"), then:

- every page passes `tidy -errors` without a message;
- the rendered DOM's figures equal the text report's cell by cell: the players, the counters
  of each, every head-to-head cell, the leaderboard's order by score (kills minus suicides)
  and picks; the kills per round, the rounds' lines, who ended each round (as its round-end
  line names them) and its winners equal a plain count over the log
  (tests/data/derive_report.py's rules), with no round for lines after the last round end
  that hold no obituary, and, when the program writes JSON, the JSON report's rounds; the top
  rivalries equal a count from the JSON report;
- every leaderboard name links to an element of the page; the head-to-head shows at most 20
  players, the rest in a `details`, with headers that stick (computed style);
- in the page of hostile names no element came from a name, every name shows as text with its
  raw form as title, names that draw alike show different text, and no page makes a request (a
  probe page first shows that a request would be seen);
- screenshots at 1280 px (light and dark) and 375 px wide (light and dark) land in
  OUTPUT_FOLDER and are not blank; at 375 px no page is wider than the window and the
  leaderboard shows rank, player, score, kills, deaths and K/D only.
"""

import html.parser
import json
import pathlib
import random
import re
import subprocess
import sys
from collections import Counter

sys.dont_write_bytecode = True
import cdp  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(ROOT / "tests" / "data"))
import derive_report as plain  # noqa: E402

# Names that try to break out of text, attributes, the style sheet and comments, with colour
# codes, bytes from 128 and control bytes; each line gives the name before " was railed by".
HOSTILE_NAMES = [
    b"<script>alert(1)</script>",
    b'"><img src=x onerror=alert(1)>',
    b"</style><b>bold</b>",
    b"&amp;&lt;&#60;",
    b"'><svg onload=alert(1)>",
    b"<!--",
    b"^1Red^2Green^7",
    b"^0Black^7",
    b"^^^x^",
    b"\xe9l\xe8ve \xff\x85\xa0",
    b"tab\tbell\x07del\x7f",
    b"<a href=//x.test/>",
    b"<link rel=stylesheet",
    b"^7",
    # Names that draw alike: nothing at all, and a white "Bob".
    b"^^^7",
    b"Bob",
    b"^7Bob",
    b" ",
]


def hostile_log():
    lines = []
    for i, victim in enumerate(HOSTILE_NAMES):
        killer = HOSTILE_NAMES[(i + 1) % len(HOSTILE_NAMES)]
        lines.append(victim + b" was railed by " + killer + b"\n")
        if i == 6:
            lines.append(b"fraglimit hit\n")
    lines.append(b"<style>x melted himself.\n")
    return b"".join(lines)


def shown_bytes(raw):
    """A name's bytes as the page writes them: Latin-1, with controls as visible symbols."""
    out = []
    for b in raw:
        if b < 0x20:
            out.append(chr(0x2400 + b))
        elif b == 0x7F:
            out.append("\u2421")
        elif 0x80 <= b < 0xA0:
            out.append("\ufffd")
        else:
            out.append(chr(b))
    return "".join(out)


def drawn(raw):
    """What a name draws: its visible bytes with their colours (a caret and the byte after it
    set the colour, white to begin with), or None when it draws nothing but blanks."""
    colour, out, i = 7, [], 0
    while i < len(raw):
        if raw[i] == ord("^") and i + 1 < len(raw):
            colour = raw[i + 1] % 8
            i += 2
            continue
        out.append((colour, raw[i]))
        i += 1
    return None if all(b == ord(" ") for _, b in out) else tuple(out)


def shown_name(raw, alike=False):
    """The text of a name chip: the drawn bytes, then the raw bytes when another name draws
    alike; for a name that draws nothing or blanks, the raw bytes with blanks as visible
    symbols."""
    form = drawn(raw)
    raw_text = shown_bytes(raw).replace(" ", "\u2420")
    if form is None:
        return raw_text or "empty name"
    text = shown_bytes(bytes(b for _, b in form))
    return text + " " + raw_text if alike else text


def alike_names(names):
    """The names that draw like another of them."""
    forms = Counter(drawn(n) if drawn(n) is not None else ("raw", n) for n in names)
    return {n for n in names if forms[drawn(n) if drawn(n) is not None else ("raw", n)] > 1}


# Words for generated names; none holds a phrase of an obituary or a round end.
NAME_WORDS = ["Zed", "Kira", "Sol", "Vex", "Ivo", "Rook", "Nyx", "Bo", "Lux", "Pim", "Quill",
              "Tor", "Juno", "Fen", "Odo", "Wren"]

# Obituary lines of the generated logs: victim, then killer, as the game prints them.
GENERATED_KILLS = [
    b"%s was railed by %s",
    b"%s was machinegunned by %s",
    b"%s was gunned down by %s",
    b"%s almost dodged %s's rocket",
    b"%s ate %s's rocket",
    b"%s was melted by %s's plasmagun",
    b"%s was electrocuted by %s",
    b"%s was pummeled by %s",
]
GENERATED_SUICIDES = [b"%s cratered.", b"%s blew himself up.", b"%s melted himself."]


def generated_log(players, rounds, lines_per_round, seed, killers=None):
    """A seeded deathmatch log: players named in colour with the game's "^7" after each name,
    the first `killers` of them (all by default) killing, more often the earlier ones; each
    round ends with its top killer's fraglimit line, some with a team's; chat follows the
    last round end."""
    rng = random.Random(seed)
    names = [b"^%d%s%d^7" % (1 + i % 6, NAME_WORDS[i % len(NAME_WORDS)].encode(), i)
             for i in range(players)]
    killers = killers or players
    weights = [1 / (i + 1) for i in range(killers)]
    lines = []
    for r in range(rounds):
        kills = Counter()
        for _ in range(lines_per_round):
            victim = rng.choice(names)
            if rng.random() < 0.08:
                lines.append(rng.choice(GENERATED_SUICIDES) % victim)
                continue
            killer = names[rng.choices(range(killers), weights)[0]]
            if killer != victim:
                kills[killer] += 1
                lines.append(rng.choice(GENERATED_KILLS) % (victim, killer))
            else:
                lines.append(b"%s: nice shot" % victim)
        if r % 9 == 4:
            lines.append(b"Red hit the fraglimit." if r % 2 else b"Blue hit the fraglimit.")
        else:
            lines.append(kills.most_common(1)[0][0] + b" hit the fraglimit.")
    lines.append(names[0] + b": gg")
    return b"\n".join(lines) + b"\n"


# ---------------------------------------------------------------------------------------------
# The rendered DOM as a small tree.


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag = tag
        self.attrs = dict(attrs)
        self.parent = parent
        self.children = []

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def elements(self):
        for c in self.children:
            if isinstance(c, Node):
                yield c
                yield from c.elements()

    def find_all(self, tag=None, cls=None):
        for e in self.elements():
            if (tag is None or e.tag == tag) and (cls is None or cls in e.classes()):
                yield e

    def find(self, tag=None, cls=None):
        return next(self.find_all(tag, cls), None)

    def classes(self):
        return (self.attrs.get("class") or "").split()

    def kids(self, tag=None):
        return [c for c in self.children if isinstance(c, Node) and (tag is None or c.tag == tag)]


VOID = {"meta", "link", "br", "img", "input", "hr", "base", "col", "source", "wbr"}


class TreeBuilder(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Node("#document", {}, None)
        self.at = self.root

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.at)
        self.at.children.append(node)
        if tag not in VOID:
            self.at = node

    def handle_startendtag(self, tag, attrs):
        self.at.children.append(Node(tag, attrs, self.at))

    def handle_endtag(self, tag):
        node = self.at
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.at = node.parent

    def handle_data(self, data):
        self.at.children.append(data)


def parse_dom(text):
    builder = TreeBuilder()
    builder.feed(text)
    builder.close()
    return builder.root


def chip_name(node):
    """The raw name (as shown in the title) of the first name chip in node."""
    chip = node.find("span", "n")
    return None if chip is None else chip.attrs["title"]


def count_mark(node):
    mark = node.find("span", "x")
    return None if mark is None else int(mark.text())


# ---------------------------------------------------------------------------------------------
# What the page must show, from the text report and a plain count over the log.


class Expected:
    def __init__(self, log, report):
        self.players = []  # in slot order, as titles
        self.counters = {}  # title -> {counter: count}
        self.killed = Counter()  # (killer, victim) -> count
        weapon_counters = {label: (f, a) for label, f, a in plain.WEAPONS}
        suicide_order = [counter for _, counter in plain.SUICIDES]
        suicide_line = re.compile(re.escape("/".join(label for label, _ in plain.SUICIDES)) +
                                  r": ([\d/]+)")
        for block in report.split(b"-----===> ")[1:]:
            lines = block.decode("latin-1").split("\n")
            player = shown_bytes(lines[0].encode("latin-1"))
            self.players.append(player)
            row = {}
            for line in lines[1:]:
                m = re.fullmatch(r"Kills/Deaths +: (\d+)/(\d+)", line)
                if m:
                    row["kills"], row["deaths"] = int(m[1]), int(m[2])
                m = suicide_line.fullmatch(line)
                if m:
                    row.update(zip(suicide_order, map(int, m[1].split("/"))))
                m = re.fullmatch(r"(.+?) *: (\d+)/(\d+)", line)
                if m and m[1] in weapon_counters:
                    for counter, value in zip(weapon_counters[m[1]], (m[2], m[3])):
                        row[counter] = int(value)
                m = re.fullmatch(r"   (.*) - (\d+)/(\d+)", line)
                if m:
                    opponent = shown_bytes(m[1].encode("latin-1"))
                    self.killed[player, opponent] = int(m[2])
                    self.killed[opponent, player] = int(m[3])
            self.counters[player] = row
        # The counters the text report does not show, from the plain count; those it shows must
        # agree with it.
        tally = plain.Tally()
        tally.read(log)
        counted = {shown_bytes(name): tally.rows[name] for name in tally.names}
        assert sorted(counted) == sorted(self.counters), (sorted(counted), sorted(self.counters))
        for player, row in self.counters.items():
            assert all(counted[player][c] == v for c, v in row.items()), (player, row)
            row.update((c, v) for c, v in counted[player].items() if c not in row)
            assert sorted(row) == sorted(plain.COUNTERS), (player, sorted(row))
        self._count_rounds(log)

    def _count_rounds(self, log):
        """Kills per player in each round, each round's lines and round-end line, by the log's
        own rules; lines after the last round end that hold no obituary are no round."""
        self.round_kills = [Counter()]
        self.round_lines = []
        self.round_ends = []  # the round-end line of each round that has one
        self.lines = 0
        start, ends, self.stopped = 1, 0, False
        obituaries = 0  # in the round being read
        for text in plain.log_lines(log):
            self.lines += 1
            end = b"fraglimit" in text
            if end and ends + 1 > plain.ROUND_LIMIT:
                self.stopped = True
            for phrases, _, second, end_mark, start_pattern, end_test in plain.KINDS:
                if self.stopped or not all(p.encode() in text for p in phrases):
                    continue
                obituaries += 1
                if second is not None:
                    killer = plain.killer(text, start_pattern, end_test)
                    self.round_kills[-1][shown_bytes(killer)] += 1
            if end:
                ends += 1
                self.round_lines.append((start, self.lines))
                self.round_ends.append(text.rstrip(b"\n"))
                start, obituaries = self.lines + 1, 0
                if self.stopped:
                    break
                self.round_kills.append(Counter())
        if self.lines >= start and obituaries > 0:
            self.round_lines.append((start, self.lines))
        elif not self.stopped:
            self.round_kills.pop()

    def score(self, player):
        row = self.counters[player]
        return row["kills"] - sum(row[c] for _, c in ALL_SUICIDES)

    def ranking(self):
        slot = {p: i for i, p in enumerate(self.players)}
        return sorted(self.players, key=lambda p: (-self.score(p), -self.counters[p]["kills"],
                                                   self.counters[p]["deaths"], slot[p]))

    def most(self, player, as_killer):
        best, count = None, 0
        for other in self.players:
            n = self.killed[player, other] if as_killer else self.killed[other, player]
            if n > count:
                best, count = other, n
        return best, count


# ---------------------------------------------------------------------------------------------
# The checks.


class Failures(list):
    def check(self, ok, what):
        if not ok:
            self.append(what)
        return ok

    def equal(self, got, want, what):
        return self.check(got == want, "%s: page shows %r, expected %r" % (what, got, want))


def table_rows(table):
    return [tr for tr in table.find_all("tr") if tr.find("td") is not None]


def cells(tr):
    return [c for c in tr.kids() if c.tag in ("td", "th")]


# The page's words for the weapon and suicide labels, and the weapon as players name it, from
# the listing of the program's table of counters.
CAPTION_OF = {c["label"]: c["caption"] for c in plain.CLASSIC if c["group"] == "kill"}
FAMILY_OF = {c["label"]: c["family"] for c in plain.CLASSIC if c["group"] == "kill"}
SUICIDE_CAPTION_OF = {c["label"]: c["caption"] for c in plain.CLASSIC if c["group"] == "suicide"}
# Every weapon and every cause of suicide the classic rules count, shown in the text report or
# not: (label, kills counter, deaths counter) and (label, counter).
ALL_WEAPONS = [(c["label"], c["name"],
                next(d["name"] for d in plain.CLASSIC
                     if d["group"] == "death" and d["label"] == c["label"]))
               for c in plain.CLASSIC if c["group"] == "kill"]
ALL_SUICIDES = [(c["label"], c["name"]) for c in plain.CLASSIC if c["group"] == "suicide"]

# Round-end lines that name a team or the time limit, whole.
TEAM_ENDS = {b"Red hit the fraglimit.": "Red", b"Blue hit the fraglimit.": "Blue",
             b"Red hit the capturelimit.": "Red", b"Blue hit the capturelimit.": "Blue",
             b"Timelimit hit.": "time limit"}


def ended_by(line):
    """Who a round-end line names: ("player", raw name as a title), ("team", text) or ("line",
    its first 64 bytes as text)."""
    if line in TEAM_ENDS:
        return "team", TEAM_ENDS[line]
    m = re.fullmatch(rb"(.+)\^7 hit the fraglimit\.", line, re.S)
    if m:
        return "player", shown_bytes(m[1])
    return "line", shown_bytes(line[:64])


def rivalries(document, count=10):
    """The pairs with the most kills of each other from a JSON report, each as (raw name of the
    one with more kills of the other, his kills, the other's kills, the other's raw name);
    among equal totals in order of the lower slot, then the higher."""
    titles = {p["slot"]: shown_bytes(p["name"].encode("latin-1")) for p in document["players"]}
    killed = Counter()
    for p in document["players"]:
        for o in p["opponents"]:
            killed[p["slot"], o["slot"]] = o["kills"]
    pairs = []
    for a in sorted(titles):
        for b in sorted(titles):
            total = killed[a, b] + killed[b, a]
            if a < b and total:
                first, second = (b, a) if killed[b, a] > killed[a, b] else (a, b)
                pairs.append((-total, a, b, (titles[first], killed[first, second],
                                             killed[second, first], titles[second])))
    return [p[3] for p in sorted(pairs)[:count]]


def check_figures(dom, want, fail):
    # Summary.
    facts = {dl.find("dt").text(): dl.find("dd").text()
             for dl in dom.find("div", "facts").find_all("dl")}
    counted = sum(want.counters[p][c] for p in want.players
                  for c in ["kills"] + [c for _, c in ALL_SUICIDES])
    fail.equal(facts.get("Players"), str(len(want.players)), "summary: players")
    fail.equal(facts.get("Lines read"), str(want.lines), "summary: lines read")
    fail.equal(facts.get("Rounds", "").split(" ")[0], str(len(want.round_lines)),
               "summary: rounds")
    fail.equal(facts.get("Obituaries counted"), str(counted), "summary: obituaries counted")
    fail.equal(facts.get("Not counted"), "0", "summary: obituaries not counted")
    fail.equal(facts.get("Round limit"), "stopped the run" if want.stopped else "not reached",
               "summary: stopped")

    # Leaderboard: order by score, totals, picks, and links that lead somewhere.
    board = [cells(tr) for tr in table_rows(dom.find("table", "lb"))]
    fail.equal([chip_name(r[1]) for r in board], want.ranking(), "leaderboard order")
    ids = {e.attrs["id"] for e in dom.elements() if "id" in e.attrs}
    for r in board:
        player = chip_name(r[1])
        row = want.counters.get(player)
        if not fail.check(row is not None, "leaderboard: unknown player %r" % player):
            continue
        link = r[1].find("a")
        fail.check(link is not None and link.attrs.get("href", "")[1:] in ids,
                   "leaderboard: %s links to no element of the page" % player)
        suicides = sum(row[c] for _, c in ALL_SUICIDES)
        ratio = ("%.2f" % (row["kills"] / row["deaths"]) if row["deaths"]
                 else ("\u221e" if row["kills"] else "\u2013"))
        fail.equal([c.text() for c in r[2:7]],
                   [str(row["kills"] - suicides), str(row["kills"]), str(row["deaths"]), ratio,
                    str(suicides)],
                   "leaderboard: %s score (kills minus suicides) and totals" % player)
        families = {}
        for label, f, _ in ALL_WEAPONS:
            families[FAMILY_OF[label]] = families.get(FAMILY_OF[label], 0) + row[f]
        best = max(families, key=lambda f: families[f])  # the first among equals
        favourite = (best, families[best]) if families[best] else ("\u2013", None)
        label = "".join(c for c in r[7].children if isinstance(c, str)).strip()
        fail.equal((label, count_mark(r[7])), favourite, "leaderboard: %s favourite weapon" % player)
        for cell, as_killer in ((r[8], True), (r[9], False)):
            fail.equal((chip_name(cell), count_mark(cell)),
                       want.most(player, as_killer) if want.most(player, as_killer)[0] else (None, None),
                       "leaderboard: %s %s" % (player, "killed most" if as_killer else "killed by"))

    # Player cards for those with a kill, a line for the others.
    cards = list(dom.find_all("article", "card"))
    quiet = [chip_name(li) for li in dom.find_all("li") if li.parent.attrs.get("class") == "quiet"]
    fail.equal(sorted(chip_name(c.find("h3")) for c in cards),
               sorted(p for p in want.players if want.counters[p]["kills"]), "cards")
    fail.equal(sorted(quiet), sorted(p for p in want.players if not want.counters[p]["kills"]),
               "lines of players without a kill")
    weapon_of = {CAPTION_OF[label]: (f, a) for label, f, a in ALL_WEAPONS}
    suicide_of = {SUICIDE_CAPTION_OF[label]: c for label, c in ALL_SUICIDES}
    for card in cards:
        player = chip_name(card.find("h3"))
        row = want.counters.get(player, {})
        shown = dict.fromkeys(plain.COUNTERS, 0)
        m = re.match(r"Score (-?\d+) \u00b7 (\d+) kills? \u00b7 (\d+) deaths? ", card.find("p").text())
        if fail.check(m is not None, "card %s: no totals" % player):
            shown["kills"], shown["deaths"] = int(m[2]), int(m[3])
            fail.equal(int(m[1]), want.score(player), "card %s: score" % player)
        for tr in table_rows(card.find("table", "w")):
            c = cells(tr)
            for counter, cell in zip(weapon_of[c[0].text()], c[1:3]):
                shown[counter] = int(cell.text())
        causes = card.find("ul", "su")
        for li in causes.kids("li")[1:] if causes else []:
            label, value = li.text().rsplit(" ", 1)
            shown[suicide_of[label]] = int(value)
        fail.equal(shown, row, "card %s: counters" % player)

    # Head to head: the most involved first, at most 20, the rest folded away; every cell.
    matrices = list(dom.find_all("table", "m"))
    victims = [chip_name(th) for th in matrices[0].find("thead").find_all("th", "v")]
    fail.equal(len(victims), min(20, len(want.players)), "head to head: players shown")
    involved = {p: want.counters[p]["kills"] + want.counters[p]["deaths"] for p in want.players}
    left = [p for p in want.players if p not in victims]
    fail.check(not left or min(involved[p] for p in victims) >= max(involved[p] for p in left),
               "head to head: shows players less involved than some left out")
    folded = [m for m in matrices[1:] if m.parent.parent.tag == "details"]
    fail.equal(len(folded), 1 if left else 0, "head to head: a details with all players")
    for matrix in matrices:
        columns = [chip_name(th) for th in matrix.find("thead").find_all("th", "v")]
        for tr in table_rows(matrix):
            killer = chip_name(tr.kids("th")[0])
            got = [int(td.text()) for td in tr.kids("td")]
            fail.equal(got, [want.killed[killer, v] for v in columns], "head to head: %s" % killer)
    if folded:
        fail.equal(sorted(chip_name(th) for th in folded[0].find("thead").find_all("th", "v")),
                   sorted(want.players), "head to head: all players in the details")

    # Rounds: each player's kills per round, the rounds' lines, kills, who ended them and their
    # winners.
    per_round = dom.find("table", "r")
    for tr in table_rows(per_round):
        player = chip_name(tr.kids("th")[0])
        got = [int(td.text()) for td in tr.kids("td") if "sp" not in td.classes()]
        wanted = [want.counters[player]["kills"]] + [k[player] for k in want.round_kills]
        fail.equal(got, wanted, "kills per round: %s" % player)
    rows = [cells(tr) for tr in table_rows(dom.find("table", "rt"))]
    fail.equal(len(rows), len(want.round_lines), "rounds")
    ranked = want.ranking()
    for r, (row, lines, kills) in enumerate(zip(rows, want.round_lines, want.round_kills)):
        fail.equal(row[1].text(), "%d\u2013%d" % lines, "round %d: lines" % (r + 1))
        if r < len(want.round_ends):
            kind, who = ended_by(want.round_ends[r])
            got = chip_name(row[2]) if kind == "player" else row[2].text()
            if want.stopped and r == len(rows) - 1:
                got = got.replace(" (the round limit)", "")
        else:
            who, got = "the end of the log", row[2].text()
        fail.equal(got, who, "round %d: ended by" % (r + 1))
        fail.equal(int(row[3].text()), sum(kills.values()), "round %d: kills" % (r + 1))
        top = max(kills.values(), default=0)
        leaders = [p for p in ranked if kills[p] == top] if top else []
        fail.equal([c.attrs["title"] for c in row[4].find_all("span", "n")], leaders,
                   "round %d: winners" % (r + 1))
    fail.equal(len(list(dom.find_all("details", "rs"))), len(want.round_lines),
               "a scoreboard for every round")


def check_rivalries(dom, document, fail):
    shown = []
    for li in dom.find("ol", "rv").kids("li"):
        names = [c.attrs["title"] for c in li.find_all("span", "n")]
        a, b = (int(n) for n in li.find("span", "x2").text().split(" : "))
        shown.append((names[0], a, b, names[1]))
    fail.equal(shown, rivalries(document), "top rivalries against the JSON report")


def check_inert(dom, page_tags, names, fail):
    """No element came from a name: chips hold only colour spans, every other element is one
    the page has anyway, no attribute starts a script; every name shows as text."""
    for e in dom.elements():
        fail.check(not any(a.lower().startswith("on") for a in e.attrs),
                   "an element with an event attribute: %s %s" % (e.tag, e.attrs))
        fail.check(e.tag in page_tags, "an element the page does not make: <%s>" % e.tag)
        if "n" in e.classes() and e.tag == "span":
            for inner in e.elements():
                fail.check(inner.tag == "span" and set(inner.classes()) <= {"c%d" % i for i in range(7)} | {"e", "raw"},
                           "inside a name: <%s %s>" % (inner.tag, inner.attrs))
    fail.equal(sum(1 for _ in dom.find_all("style")), 1, "style elements")
    fail.equal(sum(1 for _ in dom.find_all("meta")), 5, "meta elements")
    shown = {(c.attrs["title"], c.text()) for c in dom.find_all("span", "n")}
    alike = alike_names(names)
    for raw in names:
        fail.check((shown_bytes(raw), shown_name(raw, raw in alike)) in shown,
                   "name %r not shown as %r" % (raw, shown_name(raw, raw in alike)))
    # Names that draw alike are told apart by their text.
    texts = {}
    for c in dom.find_all("span", "n"):
        texts.setdefault(c.text(), set()).add(c.attrs["title"])
    fail.equal({t: v for t, v in texts.items() if len(v) > 1}, {},
               "different names with the same text")
    fail.check({b"Bob", b"^7Bob"} <= alike, "the hostile names that draw alike: %r" % alike)


def blank(browser):
    """Whether the page, shot at a tenth of its size, shows fewer than 8 colours."""
    pixels = cdp.png_pixels(browser.screenshot(scale=0.1))
    return len({bytes(p[:3]) for row in pixels for p in row}) < 8


def run_program(program, out, args):
    return subprocess.run([program, "-q", *args], cwd=out, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120,
                          check=False)


def make_reports(program, logs, out):
    """Writes NAME.txt and NAME.html beside every NAME.log in out, in one run each, and
    NAME.json when the program writes JSON; returns whether it does."""
    with_json = True
    for name in logs:
        run = run_program(program, out, ["-o", name + ".txt", "-o", name + ".html", name + ".log"])
        if run.returncode != 1 or run.stderr:
            raise SystemExit("%s: the program failed: %s" % (name, run.stderr.decode()))
        (out / (name + ".json")).unlink(missing_ok=True)
        with_json = with_json and run_program(program, out, ["-o", name + ".json", name + ".log"]).returncode == 1
    return with_json


def json_round_kills(document):
    """Kills per player (by title) in each round of a JSON report, and each round's lines; a
    last round that is open and counts nobody is left out, as the page leaves it out."""
    titles = {p["slot"]: shown_bytes(p["name"].encode("latin-1")) for p in document["players"]}
    rounds = document["rounds"]
    if rounds and not rounds[-1]["ended"] and not rounds[-1]["players"]:
        rounds = rounds[:-1]
    kills = [Counter({titles[p["slot"]]: p["counters"]["kills"] for p in r["players"]})
             for r in rounds]
    lines = [(r["first_line"], r["last_line"]) for r in rounds]
    return kills, lines


# Pages whose figures are checked against the text report and a plain count of the log.
FIGURE_PAGES = ("example", "server-derived", "84-players", "41-rounds")

# The leaderboard's columns a phone shows; the others are in the player's card.
PHONE_COLUMNS = ["#", "Player", "Score", "Kills", "Deaths", "K/D"]

# Screenshots are cut at this height: the browser renders no taller picture.
SHOT_HEIGHT = 16000


def main():
    program, out = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    out.mkdir(parents=True, exist_ok=True)
    logs = {
        "example": (ROOT / "examples" / "qconsole.log").read_bytes(),
        "server-derived": (ROOT / "tests" / "data" / "server-derived.qconsole.log").read_bytes(),
        "84-players": generated_log(84, 4, 700, seed=84, killers=60),
        "41-rounds": generated_log(12, 41, 60, seed=41),
        "empty": b"",
        "no-obituary": b"Kestrel^7 entered the game\nthe fraglimit, of no known form\n",
        "blank-name": b"  was railed by Sam\n",
        # Last, so that the tags of every other page are known.
        "hostile-names": hostile_log(),
    }
    for name, log in logs.items():
        (out / (name + ".log")).write_bytes(log)
    with_json = make_reports(program, logs, out)
    print("per-round kills against the plain count%s" % (
        " and the JSON report" if with_json else " only: the program writes no JSON report"))

    fail = Failures()
    for name in logs:
        tidy = subprocess.run(["tidy", "-errors", "-quiet", str(out / (name + ".html"))],
                              capture_output=True, text=True, check=False)
        fail.check(tidy.returncode == 0 and not tidy.stderr.strip(),
                   "%s: tidy says: %s" % (name, tidy.stderr.strip()))

    browser = cdp.Browser()
    try:
        # A page that loads a style sheet and an image shows that requests would be seen.
        probe = out / "probe.html"
        probe.write_text('<!DOCTYPE html><html><head><link rel="stylesheet" '
                         'href="http://127.0.0.1:9/probe.css"><title>probe</title></head>'
                         '<body><img src="probe.png" alt=""></body></html>')
        seen = browser.load(probe.as_uri(), 1280)
        if len(seen) != 2:
            raise SystemExit("the request check saw %r on the probe page, not its 2 loads" % seen)
        probe.unlink()

        page_tags = set()  # every tag the pages of plain names hold
        for name, log in logs.items():
            url = (out / (name + ".html")).as_uri()
            for width, dark in ((1280, False), (1280, True), (375, False), (375, True)):
                shot = out / ("%s-%d%s.png" % (name, width, "-dark" if dark else ""))
                requests = browser.load(url, width, dark=dark)
                fail.equal(requests, [], "%s at %d px: requests" % (name, width))
                content_width, _ = browser.content_size()
                fail.check(content_width <= width,
                           "%s: %d px wide in a window of %d px" % (name, content_width, width))
                if name in FIGURE_PAGES and not dark:
                    shown = [d != "none" for d in browser.computed("table.lb thead th", "display")]
                    heads = [th.text() for th in
                             parse_dom(browser.dom()).find("table", "lb").find("thead").find_all("th")]
                    visible = [h for h, v in zip(heads, shown) if v]
                    if width == 375:
                        fail.equal(visible, PHONE_COLUMNS, "%s at 375 px: leaderboard columns" % name)
                    else:
                        fail.equal(visible, heads, "%s at 1280 px: leaderboard columns" % name)
                        for where in ("table.m thead th", "table.m tbody th"):
                            fail.equal(set(browser.computed(where, "position")), {"sticky"},
                                       "%s: %s stays in view" % (name, where))
                browser.screenshot(shot, most=SHOT_HEIGHT)
                fail.check(not blank(browser), "%s: blank screenshot" % shot.name)
            dom = parse_dom(browser.dom())
            if name != "hostile-names":
                page_tags |= {e.tag for e in dom.elements()}
            if name == "hostile-names":
                t = plain.Tally()
                t.read(log)
                check_inert(dom, page_tags, t.names, fail)
            elif name in FIGURE_PAGES:
                want = Expected(log, (out / (name + ".txt")).read_bytes())
                if with_json:
                    document = json.loads((out / (name + ".json")).read_text(encoding="utf-8"))
                    fail.equal(json_round_kills(document), (want.round_kills, want.round_lines),
                               "%s: the JSON report's rounds against the plain count" % name)
                    check_rivalries(dom, document, fail)
                check_figures(dom, want, fail)
            print("%s: %d name chips, %d elements checked" % (
                name, len(list(dom.find_all("span", "n"))), len(list(dom.elements()))))
    finally:
        browser.close()

    for name in logs:
        print("%s.html: %d bytes" % (name, (out / (name + ".html")).stat().st_size))
    if fail:
        print("\n".join(fail))
        sys.exit(1)
    print("all pages as expected; screenshots in", out)


if __name__ == "__main__":
    main()
