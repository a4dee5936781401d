#!/usr/bin/env python3
"""Prints the shape of console logs, one column per log, as a Markdown table.

    python3 bench/log_stats.py LOG [LOG...]

Rows: lines; mean and longest line length (bytes, line feed included);
obituary share (lines holding the phrases of a counted obituary); repeated
obituaries (an obituary line equal byte for byte to an earlier one anywhere
in the log, and to one of the last 1,000 obituary lines, which is what a memo
of recent lines can hope to catch); round ends ("fraglimit" lines); players
per game and per 48 obituaries (the mean length of a game in the real-games
log).

Real logs mark no game start, so a game starts at a server start-up line, at
two or more "entered the game" lines in a row after other lines, or at the
entry of a player who already entered the current game and played in it
(players re-enter on changing teams, which splits some real games in two).
Only games of 10 or more obituaries are counted, as the rules also cut off
fragments of games.
"""
import collections
import re
import statistics
import sys

# The phrases of each counted obituary kind: a line holding all of one
# kind's phrases is an obituary.
OBITUARY_KINDS = (
    (b"in the wrong place",), (b"melted himself",), (b"into the lava",),
    (b"blew himself up",), (b"cratered",), (b"was railed by",),
    (b"was electrocuted by",), (b"was gunned down by",), (b"machinegunned by",),
    (b"melted by",), (b"almost dodged",), (b"was pummeled by",),
    (b"ate", b"rocket"),
)
GAME_START = b"------ Server Initialization ------"
ENTERED = b" entered the game"
# Where the names of a well-formed line are: the text before the first verb,
# and the killer after the verb's last word up to "'s" or the line's end.
VICTIM = re.compile(rb"^(.*?) (?:was |ate |almost |melted |blew |cratered|does |tried |"
                    rb"should |died|sank |entered |connected|disconnected|hit the |"
                    rb"picked |called |is now |took |tied |: )")
KILLER = re.compile(rb" (?:by|ate|dodged|avoid|invade) (.*?)(?:'s .*)?$")
WINDOW = 1000
GAME_OBITUARIES = 48
LEAST_GAME = 10


def is_obituary(line):
    return any(all(p in line for p in kind) for kind in OBITUARY_KINDS)


def names_of(line):
    m = VICTIM.match(line)
    if m is None:
        return ()
    k = KILLER.search(line, m.end(1))
    return (m.group(1), k.group(1)) if k else (m.group(1),)


def stats(path):
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    lengths = [len(line) + 1 for line in lines]
    obituaries = repeated = repeated_recent = rounds = 0
    seen = set()
    recent = collections.OrderedDict()
    games = []  # names per game
    game, entered, busy, game_obituaries = set(), set(), False, 0
    window_players, window = [], set()
    for i, line in enumerate(lines):
        if b"fraglimit" in line:
            rounds += 1
        joins = line.endswith(ENTERED)
        burst = i + 1 < len(lines) and lines[i + 1].endswith(ENTERED)
        if line == GAME_START or (joins and busy and (burst or line[:-len(ENTERED)] in entered)):
            if game_obituaries >= LEAST_GAME:
                games.append(len(game))
            game, entered, busy, game_obituaries = set(), set(), False, 0
        if joins:
            entered.add(line[:-len(ENTERED)])
        else:
            busy = True
        names = names_of(line)
        game.update(names)
        if not is_obituary(line):
            continue
        obituaries += 1
        game_obituaries += 1
        window.update(names)
        if obituaries % GAME_OBITUARIES == 0:
            window_players.append(len(window))
            window = set()
        if line in seen:
            repeated += 1
        seen.add(line)
        if line in recent:
            repeated_recent += 1
            recent.move_to_end(line)
        recent[line] = None
        if len(recent) > WINDOW:
            recent.popitem(last=False)
    if game_obituaries >= LEAST_GAME:
        games.append(len(game))

    def share(n, of):
        return f"{100 * n / of:.1f}%" if of else "n/a"

    def spread(values):
        if not values:
            return "n/a"
        return (f"{statistics.mean(values):.1f} ({min(values)} to {max(values)}, "
                f"median {statistics.median(values):g})")

    return [
        ("lines", f"{len(lines):,}"),
        ("mean line length, bytes", f"{statistics.mean(lengths):.1f}" if lengths else "n/a"),
        ("longest line, bytes", f"{max(lengths)}" if lengths else "n/a"),
        ("obituary share", share(obituaries, len(lines))),
        ("distinct obituary lines", f"{len(seen):,}"),
        ("obituaries repeating an earlier line", share(repeated, obituaries)),
        (f"... one of the last {WINDOW:,} obituaries", share(repeated_recent, obituaries)),
        ("round ends", f"{rounds}"),
        (f"games of {LEAST_GAME}+ obituaries found", f"{len(games):,}"),
        ("players per game", spread(games)),
        (f"players per {GAME_OBITUARIES} obituaries", spread(window_players)),
    ]


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: log_stats.py LOG [LOG...]")
    columns = [stats(path) for path in sys.argv[1:]]
    print("| | " + " | ".join(sys.argv[1:]) + " |")
    print("|---|" + "---:|" * len(columns))
    for i, (label, _) in enumerate(columns[0]):
        print(f"| {label} | " + " | ".join(c[i][1] for c in columns) + " |")


if __name__ == "__main__":
    main()
