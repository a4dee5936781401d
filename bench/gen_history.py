#!/usr/bin/env python3
"""Makes a history of many sessions for the history's benchmarks, through the program itself:
writes one seeded session log at a time (a "logfile opened on" first line, ROUNDS rounds each
ended by a fraglimit line, obituaries of 8 to 16 players drawn from a pool of regulars) and
records it with `fragtally -q --history HISTORY LOG`, so that the file holds exactly what real
runs record.

    bench/gen_history.py [--sessions N] [--rounds R] [--seed S] FRAGTALLY HISTORY

The same arguments always give the same sessions (the recording times differ). Logs are
written to a temporary folder and removed.
"""

import argparse
import datetime
import pathlib
import random
import subprocess
import sys
import tempfile

# Victim first, killer second, as the game writes them: (before the killer, after the killer).
KILLS = [
    (" was railed by ", ""),
    (" was electrocuted by ", ""),
    (" was gunned down by ", ""),
    (" was machinegunned by ", ""),
    (" was melted by ", "'s plasmagun"),
    (" almost dodged ", "'s rocket"),
    (" was pummeled by ", ""),
    (" ate ", "'s rocket"),
]
SUICIDES = [
    " was in the wrong place.",
    " melted himself.",
    " blew himself up.",
    " does a back flip into the lava.",
    " cratered.",
]
COLOURS = "1234567"


def session_log(rng, pool, start, rounds):
    """One session's log as bytes."""
    lines = ["logfile opened on %s\n" % start.strftime("%a %b %d %H:%M:%S %Y"),
             "------- Server Initialization -------\n"]
    players = rng.sample(pool, rng.randint(8, 16))
    for player in players:
        lines.append("%s entered the game\n" % player)
    for _ in range(rounds):
        for _ in range(rng.randint(80, 160)):
            victim = rng.choice(players)
            if rng.random() < 0.1:
                lines.append(victim + rng.choice(SUICIDES) + "\n")
                continue
            killer = rng.choice([p for p in players if p != victim])
            before, after = rng.choice(KILLS)
            lines.append(victim + before + killer + after + "\n")
        lines.append("%s hit the fraglimit.\n" % rng.choice(players))
    return "".join(lines).encode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sessions", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("fragtally")
    parser.add_argument("history")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    pool = ["^%s%s^7" % (rng.choice(COLOURS), "Player%03d" % i) for i in range(120)]
    first = datetime.datetime(2026, 1, 1, 20, 0, 0)
    with tempfile.TemporaryDirectory(prefix="fragtally-history-") as folder:
        log = pathlib.Path(folder) / "qconsole.log"
        for s in range(args.sessions):
            start = first + datetime.timedelta(hours=7 * s, minutes=rng.randint(0, 59))
            log.write_bytes(session_log(rng, pool, start, args.rounds))
            run = subprocess.run([args.fragtally, "-q", "--history", args.history, "-o",
                                  str(log.with_suffix(".txt")), str(log)],
                                 capture_output=True, check=False)
            if run.returncode != 1:
                sys.exit("gen_history: session %d: status %d: %s"
                         % (s + 1, run.returncode, run.stderr.decode(errors="replace")))
    print("gen_history: %d sessions of %d rounds in %s" % (args.sessions, args.rounds,
                                                          args.history))


if __name__ == "__main__":
    main()
