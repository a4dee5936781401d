"""Big logs against the plain model of the rules (tests/data/derive_report.py): every pair of a
hundred names in every kind, lines seen again across round ends, shuffled and in blocks larger
than the program keeps of the lines it has seen, 300 KB to 3 MB each, on every CPU path the
machine has. Small logs cannot fill the program's fixed buffers; these do."""

import io
import os
import random
import unittest
from contextlib import redirect_stderr

from harness import load_derive_report, run_in_new_folder

derive_report = load_derive_report()

PATHS = ["portable", "sse2", "avx2", "avx512"]
NAMES = [b"P%02d" % i for i in range(100)]
TWO_NAMES = [
    b"%s was railed by %s\n",
    b"%s was electrocuted by %s\n",
    b"%s was gunned down by %s\n",
    b"%s was machinegunned by %s\n",
    b"%s was melted by %s's plasmagun\n",
    b"%s almost dodged %s's rocket\n",
    b"%s was pummeled by %s\n",
    b"%s ate %s's rocket\n",
]
ONE_NAME = [
    b"%s blew himself up.\n",
    b"%s melted himself.\n",
    b"%s was in the wrong place.\n",
    b"%s cratered.\n",
    b"%s does a back flip into the lava.\n",
]
ROUND_END = b"Sarge hit the fraglimit.\n"


def pairs(kinds=TWO_NAMES[:1]):
    """A line for every victim and killer of the hundred names, in every kind given."""
    return [k % (v, w) for k in kinds for w in NAMES for v in NAMES if v != w]


def the_reported_crash():
    block = b"".join(pairs())
    return block + ROUND_END + block + ROUND_END + block


def every_kind_shuffled_then_sampled(rng):
    lines = pairs(TWO_NAMES)
    rng.shuffle(lines)
    rounds = [b"".join(rng.choices(lines, k=3000)) for _ in range(2)]
    return b"".join(
        [b"".join(lines), ROUND_END, rounds[0], ROUND_END, rounds[1], ROUND_END]
        + [b"".join(lines[:2000])] * 3
    )


def blocks_larger_than_remembered():
    # More distinct lines than the program keeps, in order, then all of them again.
    block = b"".join(pairs(TWO_NAMES)[:40000])
    return block + ROUND_END + block


def empty_and_short_lines(rng):
    # Runs of thousands of empty lines fill every word of the line-feed maps.
    lines = pairs(TWO_NAMES[:3])
    out = []
    for _ in range(40):
        out.append(b"\n" * rng.randrange(2000, 9000))
        out.append(b"".join(rng.choices(lines, k=200)))
        out.append(b"a\n" * rng.randrange(1, 700))
    return b"".join(out)


def names_of_every_length_past_the_round_limit(rng):
    # Names of 1 to 30 bytes, so lines on both sides of the longest the program remembers, and
    # more round ends than the limit allows.
    names = [bytes(rng.choice(b"abcdefXYZ_-.[]") for _ in range(n % 30 + 1)) for n in range(90)]
    lines = [k % (v, w) for k in TWO_NAMES for v in names[:40] for w in names[40:80]]
    lines += [k % (p,) for k in ONE_NAME for p in names]
    out = []
    for _ in range(60):
        out.append(b"".join(rng.choices(lines, k=900)))
        out.append(ROUND_END)
    return b"".join(out)


def stress_logs():
    rng = random.Random(20261211)
    return [
        ("the reported crash: every pair, railed, three times", the_reported_crash()),
        ("every pair in every kind, shuffled, sampled rounds, a block thrice",
         every_kind_shuffled_then_sampled(rng)),
        ("blocks larger than what is remembered, seen again", blocks_larger_than_remembered()),
        ("runs of empty and short lines between obituaries", empty_and_short_lines(rng)),
        ("names of every length, past the round limit",
         names_of_every_length_past_the_round_limit(rng)),
    ]


def expected_report(log):
    tally = derive_report.Tally()
    with redirect_stderr(io.StringIO()):
        tally.read(log)
        return derive_report.report(tally)


def run_on_path(path, log):
    env = dict(os.environ, FRAGTALLY_CPU=path)
    return run_in_new_folder(log, args=["-q"], env=env, timeout=600)


class StressLogs(unittest.TestCase):
    def test_big_logs_give_the_models_report_on_every_path(self):
        taken = []
        for what, log in stress_logs():
            self.assertTrue(300_000 <= len(log) <= 3_200_000, (what, len(log)))
            expected = expected_report(log)
            for path in PATHS:
                with self.subTest(log=what, path=path):
                    run = run_on_path(path, log)
                    if run.status == 2 and run.stderr.startswith(b"fragtally: FRAGTALLY_CPU"):
                        continue  # a path this machine lacks
                    taken.append(path)
                    # The notice of the round limit may be there, but no message of a fault.
                    self.assertNotIn(b"fragtally:", run.stderr)
                    self.assertEqual(run.status, 1)
                    self.assertTrue(run.report == expected, "the report differs from the model's")
        self.assertIn("portable", taken)


if __name__ == "__main__":
    unittest.main()
