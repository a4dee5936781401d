"""The HTML page, run for real and read back with html.parser: its summary, the head-to-head
heat map, the kills per round with their trend charts, the round-by-round table with who ended
each round and who won it, and the rounds' scoreboards, against small logs counted by hand."""

import html.parser
import unittest

from harness import run_on_log

# Three rounds; the third is not closed by a round end. Bob also kills himself once.
THREE_ROUNDS = (
    b"Ann was railed by Bob\n"  # 1
    b"Bob was railed by Bob\n"  # 2
    b"Cy was railed by Bob\n"  # 3
    b"Bob was railed by Ann\n"  # 4
    b"fraglimit hit\n"  # 5: round 1 ends
    b"Cy was railed by Ann\n"  # 6
    b"Ann was railed by Cy\n"  # 7
    b"Ann was railed by Bob\n"  # 8
    b"fraglimit hit\n"  # 9: round 2 ends
    b"chat\n"  # 10
    b"Bob was railed by Cy\n"  # 11
)
# By hand: Bob 4 kills and 3 deaths, Cy 2 and 2, Ann 2 and 3, none a suicide, so their scores
# are their kills and the page ranks them Bob, Cy, Ann (fewer deaths first among equals); rows
# and columns of its tables come in that order.
RANKED = ["Bob", "Cy", "Ann"]


class Cell:
    """A th or td: its tag, classes and text, the raw names of its name chips, its count mark,
    and the viewBox and points of a chart in it."""

    def __init__(self, tag, classes):
        self.tag = tag
        self.classes = classes
        self.text = ""
        self.names = []
        self.mark = None
        self.view_box = None
        self.points = None


class Page(html.parser.HTMLParser):
    """A page's tables as lists of rows of Cells, listed by their class; the summary's tiles
    as {label: value}; the texts of its notes."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.source = text
        self.tables = {}
        self.tiles = {}
        self.notes = []
        self._rows = None  # of the table being read
        self._cell = None
        self._mark = None  # the text of a count mark being read
        self._texts = None  # of the dt, dd or note being read
        self._tile = []
        self.feed(text)
        self.close()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = set((attrs.get("class") or "").split())
        if tag == "table":
            self._rows = []
            self.tables.setdefault(attrs.get("class"), []).append(self._rows)
        elif tag == "tr" and self._rows is not None:
            self._rows.append([])
        elif tag in ("th", "td") and self._rows is not None:
            self._cell = Cell(tag, classes)
            self._rows[-1].append(self._cell)
        elif tag in ("dt", "dd") or (tag == "p" and "note" in classes):
            self._texts = []
        elif self._cell is None:
            return
        elif tag == "span" and "n" in classes:
            self._cell.names.append(attrs["title"])
        elif tag == "span" and "x" in classes:
            self._mark = ""
        elif tag == "svg":
            self._cell.view_box = attrs["viewbox"]  # the parser lowers attribute names
        elif tag == "polygon":
            self._cell.points = attrs["points"]

    def handle_endtag(self, tag):
        if tag == "table":
            self._rows = None
        elif tag in ("th", "td"):
            self._cell = None
        elif tag == "span" and self._mark is not None:
            self._cell.mark = int(self._mark)
            self._mark = None
        elif tag in ("dt", "dd", "p") and self._texts is not None:
            text = "".join(self._texts)
            self._texts = None
            if tag == "p":
                self.notes.append(text)
            elif tag == "dt":
                self._tile = [text]
            else:
                self.tiles[self._tile[0]] = text

    def handle_data(self, data):
        if self._mark is not None:
            self._mark += data
        elif self._cell is not None:
            self._cell.text += data
        if self._texts is not None:
            self._texts.append(data)

    def table(self, cls):
        """The page's one table of the class, as (header row, body rows)."""
        tables = self.tables.get(cls, [])
        assert len(tables) == 1, (cls, len(tables))
        return tables[0][0], tables[0][1:]


def page_of(log, rules="classic"):
    """The page the program writes for the log's bytes."""
    run = run_on_log(log, args=["--rules", rules, "--format", "html", "-o", "-"])
    if run.status != 1:
        raise AssertionError("status %d: %r" % (run.status, run.stderr))
    return Page(run.stdout.decode("utf-8"))


def texts(cells):
    return [c.text for c in cells]


def heat_cells(cells):
    """Cells of counts as (count, classes), classes as one sorted string."""
    return [(int(c.text), " ".join(sorted(c.classes))) for c in cells]


class PageFigures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.page = page_of(THREE_ROUNDS)

    def test_summary(self):
        self.assertEqual(
            self.page.tiles,
            {
                "Log": "qconsole.log",
                "Lines read": "11",
                "Rounds": "3",
                "Round ends": "2",
                "Players": "3",
                "Obituaries counted": "8",
                "Not counted": "0",
                "Round limit": "not reached",
                "Rules": "classic",
            },
        )
        self.assertTrue(any("--rules full counts every obituary" in n for n in self.page.notes))

    def test_the_full_rules_show_the_weapons_and_causes_that_occur(self):
        log = (b"Bob^7 ate Sam^7's grenade\n"
               b"Sam^7 almost dodged Bob^7's rocket\n"
               b"Bob^7 was railed by Bob^7\n"
               b"Sam^7 cratered.\n")
        page = page_of(log, "full")
        self.assertEqual(page.tiles["Rules"], "full")
        self.assertEqual(page.tiles["Obituaries counted"], "4")
        self.assertFalse(any("--rules full" in n for n in page.notes))
        cards = page.tables["w"]
        self.assertEqual(len(cards), 2)
        self.assertEqual(cards[0][0][0].text, "Weapon")
        # Each card lists the weapons of the player's kills and deaths, in table B's order.
        # Bob, first by score: a grenade death, a rocket splash kill, and a rail kill and death
        # of his own; Sam: the grenade kill and the rocket splash death.
        self.assertEqual([[c.text for c in row[:3]] for row in cards[0][1:]],
                         [["Grenade (direct hit)", "0", "1"], ["Rocket (splash)", "1", "0"],
                          ["Railgun", "1", "1"]])
        self.assertEqual([[c.text for c in row[:3]] for row in cards[1][1:]],
                         [["Grenade (direct hit)", "1", "0"], ["Rocket (splash)", "0", "1"]])
        # Sam's fall is a cause under its plain label.
        self.assertIn("<li>Fell to death <b>1</b></li>", page.source)

    def test_head_to_head_marks_the_diagonal(self):
        # Killers in rows, victims in columns. The largest count is 2: a count of 1 is heat
        # level 4 of 8, 2 is level 8. A player against himself is hatched ("s") whatever his
        # count, and only he.
        head, rows = self.page.table("m")
        # The most involved first (kills and deaths): Bob 7, Ann 5, Cy 4.
        involved = ["Bob", "Ann", "Cy"]
        self.assertEqual([c.names for c in head[1:]], [[n] for n in involved])
        self.assertEqual([row[0].names for row in rows], [[n] for n in involved])
        self.assertEqual(
            [heat_cells(row[1:]) for row in rows],
            [
                [(1, "h4 s"), (2, "h8"), (1, "h4")],  # Bob killed himself, Ann twice, and Cy
                [(1, "h4"), (0, "s"), (1, "h4")],  # Ann killed Bob and Cy
                [(1, "h4"), (1, "h4"), (0, "s")],  # Cy killed Bob and Ann
            ],
        )

    def test_kills_per_round_and_their_trends(self):
        # The most kills in one round is Bob's 3 in round 1: 3 is heat level 8, 1 is level 3.
        head, rows = self.page.table("r")
        self.assertEqual(texts(head), ["Player", "Trend", "Total", "1", "2", "3"])
        self.assertEqual([row[0].names for row in rows], [[n] for n in RANKED])
        self.assertEqual(
            [(row[2].text, heat_cells(row[3:])) for row in rows],
            [
                ("4", [(3, "h8"), (1, "h3"), (0, "")]),
                ("2", [(0, ""), (1, "h3"), (1, "h3")]),
                ("2", [(1, "h3"), (1, "h3"), (0, "")]),
            ],
        )
        # Each trend is a filled step line three rounds wide and 3 kills high, y growing
        # downwards: from the base line up to each round's count and back down at the end.
        self.assertEqual({row[1].view_box for row in rows}, {"0 0 3 3"})
        self.assertEqual(
            [row[1].points for row in rows],
            [
                "0,3 0,0 1,0 1,2 2,2 2,3 3,3 3,3",  # Bob: 3, 1, 0
                "0,3 0,3 1,3 1,2 2,2 2,2 3,2 3,3",  # Cy: 0, 1, 1
                "0,3 0,2 1,2 1,2 2,2 2,3 3,3 3,3",  # Ann: 1, 1, 0
            ],
        )

    def test_round_by_round(self):
        head, rows = self.page.table("rt")
        self.assertEqual(texts(head), ["Round", "Lines", "Ended by", "Kills", "Winner"])
        self.assertEqual(
            [(texts(row[:4]), row[4].names, row[4].mark) for row in rows],
            [
                (["1", "1\u20135", "fraglimit hit", "4"], ["Bob"], 3),
                (["2", "6\u20139", "fraglimit hit", "3"], RANKED, 1),  # all three, ranked
                (["3", "10\u201311", "the end of the log", "1"], ["Cy"], 1),
            ],
        )


# Round ends of the forms that name who ended the round, and one that names nobody; then chat
# after the last round end, which is no round. Bob falls to his death in round 2.
NAMED_ENDS = (
    b"Ann was railed by Bob\n"  # 1
    b"^1Bob^7 hit the fraglimit.\n"  # 2: round 1, ended by the player ^1Bob
    b"Bob cratered\n"  # 3
    b"Ann was railed by Bob\n"  # 4
    b"Cy was railed by Ann\n"  # 5
    b"Red hit the fraglimit.\n"  # 6: round 2, ended by the red team
    b"Ann ate Bob's rocket\n"  # 7
    b"Cy was railed by Bob\n"  # 8
    b"a fraglimit of another form\n"  # 9: round 3, the line itself
    b"Kestrel: gg\n"  # 10
)


class RoundsAndScores(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.page = page_of(NAMED_ENDS)

    def test_who_ended_each_round_and_no_round_after_the_last(self):
        self.assertEqual(self.page.tiles["Rounds"], "3 and 1 line after the last round")
        _, rows = self.page.table("rt")
        self.assertEqual(
            [(row[1].text, row[2].names or row[2].text, row[4].names, row[4].mark) for row in rows],
            [
                ("1\u20132", ["^1Bob"], ["Bob"], 1),
                ("3\u20136", "Red", ["Bob", "Ann"], 1),
                ("7\u20139", "a fraglimit of another form", ["Bob"], 2),
            ],
        )
        head, _ = self.page.table("r")
        self.assertEqual(texts(head[3:]), ["1", "2", "3"])

    def test_scores_are_kills_minus_suicides(self):
        # Bob: 4 kills, 1 suicide; Ann: 1 kill; Cy: none.
        _, rows = self.page.table("lb")
        self.assertEqual([(row[1].names, texts(row[2:5])) for row in rows],
                         [(["Bob"], ["3", "4", "0"]), (["Ann"], ["1", "1", "3"]),
                          (["Cy"], ["0", "0", "2"])])
        # Each round's scoreboard: score, kills, deaths and suicides of everyone it counts.
        boards = [[(row[0].names, texts(row[1:])) for row in table[1:]]
                  for table in self.page.tables["sb"]]
        self.assertEqual(boards, [
            [(["Bob"], ["1", "1", "0", "0"]), (["Ann"], ["0", "0", "1", "0"])],
            [(["Ann"], ["1", "1", "1", "0"]), (["Bob"], ["0", "1", "0", "1"]),
             (["Cy"], ["0", "0", "1", "0"])],
            [(["Bob"], ["2", "2", "0", "0"]), (["Ann"], ["0", "0", "1", "0"]),
             (["Cy"], ["0", "0", "1", "0"])],
        ])


class RoundLimit(unittest.TestCase):
    def test_the_last_round_and_how_it_ended(self):
        # Bob kills Ann once in every round. Only a 51st round end stops the run; the line
        # after it is not read.
        kill = b"Ann was railed by Bob\n"
        game = kill + b"fraglimit hit\n"
        cases = [
            # What the log holds, its rounds, and the last one's lines and end.
            ("50 round ends close the log", game * 50, 50, "99\u2013100", "fraglimit hit"),
            ("a round after the 50th round end", game * 50 + kill, 51, "101\u2013101",
             "the end of the log"),
            ("the 51st round end stops the run", game * 51 + b"Cy was railed by Ann\n", 51,
             "101\u2013102", "fraglimit hit (the round limit)"),
        ]
        for name, log, rounds, last_lines, last_ended_by in cases:
            with self.subTest(name):
                stopped = last_ended_by.endswith("(the round limit)")
                page = page_of(log)
                self.assertEqual(page.tiles["Rounds"], str(rounds))
                self.assertEqual(page.tiles["Players"], "2")
                self.assertEqual(page.tiles["Round limit"],
                                 "stopped the run" if stopped else "not reached")
                self.assertEqual(
                    [n for n in page.notes if n.startswith("The run stopped")],
                    ["The run stopped at round end 51; the log's later lines were not read."]
                    if stopped
                    else [],
                )
                numbers = [str(r) for r in range(1, rounds + 1)]
                head, rows = page.table("r")
                self.assertEqual(texts(head[3:]), numbers)
                self.assertEqual([row[0].names for row in rows], [["Bob"], ["Ann"]])
                self.assertEqual(
                    [texts(row[3:]) for row in rows], [["1"] * rounds, ["0"] * rounds]
                )
                _, rows = page.table("rt")
                self.assertEqual(
                    [texts(row[:3]) for row in rows],
                    [[str(r), "%d\u2013%d" % (2 * r - 1, 2 * r), "fraglimit hit"]
                     for r in range(1, rounds)]
                    + [[str(rounds), last_lines, last_ended_by]],
                )


if __name__ == "__main__":
    unittest.main()
