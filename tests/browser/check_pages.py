#!/usr/bin/env python3
"""Renders fragtally's HTML pages in a headless Chromium and checks what a reader sees.

Usage: check_pages.py PROGRAM OUTPUT_FOLDER

For the example log, the server-derived log and a log of hostile names it makes the text
report and the HTML page with one run of PROGRAM ("-o NAME.txt -o NAME.html NAME.log"), then:

- the page passes `tidy -errors` without a message;
- the rendered DOM's figures equal the text report's cell by cell: the players, the 23
  counters of each, every head-to-head cell, the leaderboard's picks; the kills per round and
  the rounds' lines equal a plain count over the log (tests/data/derive_report.py's rules)
  and, when the program writes JSON, the JSON report's rounds;
- in the page of hostile names no element came from a name, every name shows as text with its
  raw form as title, and no page makes a request (a probe page first shows that a request
  would be seen);
- screenshots at 1280 px (light and dark) and 375 px wide land in OUTPUT_FOLDER, are not blank,
  and the page is no wider than the window at 375 px.
"""

import html.parser
import json
import pathlib
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


def shown_name(raw):
    """The visible text of a name: colour codes (a caret and the byte after it) left out."""
    kept = bytearray()
    i = 0
    while i < len(raw):
        if raw[i] == ord("^") and i + 1 < len(raw):
            i += 2
            continue
        kept.append(raw[i])
        i += 1
    return shown_bytes(bytes(kept)) or "no name"


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
            assert sorted(row) == sorted(plain.COUNTERS), (player, sorted(row))
            self.counters[player] = row
        self._count_rounds(log)

    def _count_rounds(self, log):
        """Kills per player in each round and each round's lines, by the log's own rules."""
        self.round_kills = [Counter()]
        self.round_lines = []
        self.lines = 0
        start, ends, self.stopped = 1, 0, False
        for text in plain.log_lines(log):
            self.lines += 1
            end = b"fraglimit" in text
            if end and ends + 1 > plain.ROUND_LIMIT:
                self.stopped = True
            for phrases, _, second, end_mark, start_pattern, end_test in plain.KINDS:
                if self.stopped or second is None:
                    continue
                if all(p.encode() in text for p in phrases):
                    killer = plain.killer(text, start_pattern, end_test)
                    self.round_kills[-1][shown_bytes(killer)] += 1
            if end:
                ends += 1
                self.round_lines.append((start, self.lines))
                start = self.lines + 1
                if self.stopped:
                    break
                self.round_kills.append(Counter())
        if self.lines >= start:
            self.round_lines.append((start, self.lines))
        elif not self.stopped:
            self.round_kills.pop()

    def ranking(self):
        slot = {p: i for i, p in enumerate(self.players)}
        return sorted(self.players, key=lambda p: (-self.counters[p]["kills"],
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


def check_figures(dom, want, fail):
    # Summary tiles.
    tiles = {dl.find("dt").text(): dl.find("dd").text() for dl in dom.find("section").find_all("dl")}
    counted = sum(want.counters[p][c] for p in want.players
                  for c in ["kills"] + [c for c in plain.COUNTERS if c.endswith("_suicides")])
    fail.equal(tiles.get("Players"), str(len(want.players)), "summary: players")
    fail.equal(tiles.get("Lines read"), str(want.lines), "summary: lines read")
    fail.equal(tiles.get("Rounds"), str(len(want.round_lines)), "summary: rounds")
    fail.equal(tiles.get("Obituaries counted"), str(counted), "summary: obituaries counted")
    fail.equal(tiles.get("Obituaries not counted"), "0", "summary: obituaries not counted")
    fail.equal(tiles.get("Stopped at the round limit"), "yes" if want.stopped else "no",
               "summary: stopped")

    # Leaderboard: order, totals and picks.
    board = [cells(tr) for tr in table_rows(dom.find("table", "lb"))]
    fail.equal([chip_name(r[1]) for r in board], want.ranking(), "leaderboard order")
    weapon_labels = [(label, f) for label, f, _ in plain.WEAPONS]
    for r in board:
        player = chip_name(r[1])
        row = want.counters.get(player)
        if not fail.check(row is not None, "leaderboard: unknown player %r" % player):
            continue
        suicides = sum(v for c, v in row.items() if c.endswith("_suicides"))
        ratio = ("%.2f" % (row["kills"] / row["deaths"]) if row["deaths"]
                 else ("\u221e" if row["kills"] else "\u2013"))
        fail.equal([c.text() for c in r[2:6]],
                   [str(row["kills"]), str(row["deaths"]), ratio, str(suicides)],
                   "leaderboard: %s totals" % player)
        best = max(weapon_labels, key=lambda w: row[w[1]])
        favourite = (best[0], row[best[1]]) if row[best[1]] else ("\u2013", None)
        label = "".join(c for c in r[6].children if isinstance(c, str)).strip()
        fail.equal((label, count_mark(r[6])), favourite, "leaderboard: %s favourite weapon" % player)
        for cell, as_killer in ((r[7], True), (r[8], False)):
            fail.equal((chip_name(cell), count_mark(cell)),
                       want.most(player, as_killer) if want.most(player, as_killer)[0] else (None, None),
                       "leaderboard: %s %s" % (player, "killed most" if as_killer else "killed by"))

    # Player cards: the 23 counters.
    cards = list(dom.find_all("article", "card"))
    fail.equal(sorted(chip_name(c.find("h3")) for c in cards), sorted(want.players), "cards")
    suicide_labels = dict(plain.SUICIDES)
    for card in cards:
        player = chip_name(card.find("h3"))
        row = want.counters.get(player, {})
        shown = {}
        m = re.match(r"(\d+) kills? \u00b7 (\d+) deaths? ", card.find("p").text())
        if fail.check(m is not None, "card %s: no totals" % player):
            shown["kills"], shown["deaths"] = int(m[1]), int(m[2])
        labels = {label: (f, a) for label, f, a in plain.WEAPONS}
        for tr in table_rows(card.find("table", "w")):
            c = cells(tr)
            for counter, cell in zip(labels[c[0].text()], c[1:3]):
                shown[counter] = int(cell.text())
        for li in card.find("ul", "su").kids("li")[1:]:
            label, value = li.text().rsplit(" ", 1)
            shown[suicide_labels[label]] = int(value)
        fail.equal(shown, row, "card %s: counters" % player)

    # Head to head: every cell of killers by victims.
    matrix = dom.find("table", "m")
    victims = [chip_name(th) for th in matrix.find("thead").find_all("th", "v")]
    fail.equal(sorted(victims), sorted(want.players), "head to head: victims")
    for tr in table_rows(matrix):
        killer = chip_name(tr.kids("th")[0])
        got = [int(td.text()) for td in tr.kids("td")]
        fail.equal(got, [want.killed[killer, v] for v in victims], "head to head: %s" % killer)

    # Rounds: each player's kills per round, and the rounds' lines, kills and top players.
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
        fail.equal(int(row[3].text()), sum(kills.values()), "round %d: kills" % (r + 1))
        top = max(kills.values(), default=0)
        leaders = [p for p in ranked if kills[p] == top] if top else []
        fail.equal([c.attrs["title"] for c in row[4].find_all("span", "n")], leaders,
                   "round %d: top players" % (r + 1))


def check_inert(dom, page_tags, names, fail):
    """No element came from a name: chips hold only colour spans, every other element is one
    the page has anyway, no attribute starts a script; every name shows as text."""
    for e in dom.elements():
        fail.check(not any(a.lower().startswith("on") for a in e.attrs),
                   "an element with an event attribute: %s %s" % (e.tag, e.attrs))
        fail.check(e.tag in page_tags, "an element the page does not make: <%s>" % e.tag)
        if "n" in e.classes() and e.tag == "span":
            for inner in e.elements():
                fail.check(inner.tag == "span" and set(inner.classes()) <= {"c%d" % i for i in range(7)} | {"e"},
                           "inside a name: <%s %s>" % (inner.tag, inner.attrs))
    fail.equal(sum(1 for _ in dom.find_all("style")), 1, "style elements")
    fail.equal(sum(1 for _ in dom.find_all("meta")), 5, "meta elements")
    shown = {(c.attrs["title"], c.text()) for c in dom.find_all("span", "n")}
    for raw in names:
        fail.check((shown_bytes(raw), shown_name(raw)) in shown,
                   "name %r not shown as %r" % (raw, shown_name(raw)))


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
    """Kills per player (by title) in each round of a JSON report, and each round's lines."""
    titles = {p["slot"]: shown_bytes(p["name"].encode("latin-1")) for p in document["players"]}
    kills = [Counter({titles[p["slot"]]: p["counters"]["kills"] for p in r["players"]})
             for r in document["rounds"]]
    lines = [(r["first_line"], r["last_line"]) for r in document["rounds"]]
    return kills, lines


def main():
    program, out = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    out.mkdir(parents=True, exist_ok=True)
    logs = {
        "example": (ROOT / "examples" / "qconsole.log").read_bytes(),
        "server-derived": (ROOT / "tests" / "data" / "server-derived.qconsole.log").read_bytes(),
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

        page_tags = None
        for name, log in logs.items():
            url = (out / (name + ".html")).as_uri()
            for width, dark in ((1280, False), (1280, True), (375, False)):
                shot = out / ("%s-%d%s.png" % (name, width, "-dark" if dark else ""))
                requests = browser.load(url, width, dark=dark)
                fail.equal(requests, [], "%s at %d px: requests" % (name, width))
                content_width, _ = browser.content_size()
                fail.check(content_width <= width,
                           "%s: %d px wide in a window of %d px" % (name, content_width, width))
                browser.screenshot(shot)
                fail.check(not blank(browser), "%s: blank screenshot" % shot.name)
            dom = parse_dom(browser.dom())
            if page_tags is None:
                page_tags = {e.tag for e in dom.elements()}
            if name == "hostile-names":
                t = plain.Tally()
                t.read(log)
                check_inert(dom, page_tags, t.names, fail)
            else:
                want = Expected(log, (out / (name + ".txt")).read_bytes())
                if with_json:
                    document = json.loads((out / (name + ".json")).read_text(encoding="utf-8"))
                    fail.equal(json_round_kills(document), (want.round_kills, want.round_lines),
                               "%s: the JSON report's rounds against the plain count" % name)
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
