#!/usr/bin/env bash
# Runs this tree's program and a baseline's (the first parent of HEAD, the landed program a
# merge builds on, or FRAGTALLY_BASELINE) on the example log, the test logs and a generated log
# of 120 players over 51 round ends, on every CPU path, and fails unless both leave the same
# bytes: the default run's qconsole.txt, standard output, standard error and exit status, and
# the txt, json and html reports of one run with -o. FRAGTALLY_BASELINE_PROGRAM names a baseline
# program already built, which skips the build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'git worktree remove --force "$work/tree" 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --preset ci >/dev/null
cmake --build --preset ci --target fragtally
current=$root/build/ci/fragtally

baseline=${FRAGTALLY_BASELINE_PROGRAM:-}
if [ -z "$baseline" ]; then
  if ! commit=$(git rev-parse --quiet --verify "${FRAGTALLY_BASELINE:-HEAD^1}^{commit}"); then
    echo "no baseline: ${FRAGTALLY_BASELINE:-HEAD^1} names no commit (a clone without history?)"
    exit 1
  fi
  echo "baseline: $commit"
  git worktree add --detach "$work/tree" "$commit" >/dev/null
  cmake -S "$work/tree" -B "$work/tree-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$work/tree-build" --target fragtally
  baseline=$work/tree-build/fragtally
fi

# 120 names (20 beyond the slots), every kind, a round end every 600 lines: the run stops at
# the 51st round end, with obituaries left uncounted on the way.
python3 - "$work/many.log" <<'PY'
import random, sys
rng = random.Random(20)
names = ["^%dP%03d" % (i % 8, i) for i in range(120)]
one = [" was in the wrong place", " melted himself.", " does a back flip into the lava.",
       " blew himself up.", " cratered."]
two = [(" was railed by ", ""), (" was electrocuted by ", ""), (" was gunned down by ", ""),
       (" was machinegunned by ", ""), (" was melted by ", "'s plasmagun"),
       (" almost dodged ", "'s rocket"), (" was pummeled by ", ""), (" ate ", "'s rocket")]
lines = []
for n in range(52 * 600):
    if n % 600 == 599:
        lines.append("%s hit the fraglimit." % rng.choice(names))
    elif rng.random() < 0.2:
        lines.append(rng.choice(names) + rng.choice(one))
    else:
        mid, tail = rng.choice(two)
        lines.append(rng.choice(names) + mid + rng.choice(names) + tail)
open(sys.argv[1], "wb").write(("\n".join(lines) + "\n").encode())
PY

logs=(examples/qconsole.log tests/data/server-derived.qconsole.log tests/data/report/*.log
      "$work/many.log")
# Everything a run leaves, in its folder: the log, the reports, out, err and status.
run() {
  local program=$1 folder=$2 log=$3
  shift 3
  mkdir -p "$folder"
  cp "$log" "$folder/qconsole.log"
  (cd "$folder" && set +e && "$program" "$@" </dev/null >out 2>err; echo $? >status)
}
# A commit that means to change reports says which in a trailer of its message, such as
# "Reports-change: json html" for a new counter; those reports are then left out of the
# comparison, and everything else must still be the same bytes.
changed=$(git log -1 --format='%(trailers:key=Reports-change,valueonly,separator= )' HEAD | tr ',' ' ')
excluded=()
for format in $changed; do
  case $format in
    txt) excluded+=(--exclude=r.txt --exclude=qconsole.txt) ;;
    json | html) excluded+=(--exclude="r.$format") ;;
    *) echo "Reports-change: $format names no report format (txt, json, html)"; exit 1 ;;
  esac
done
[ ${#excluded[@]} -eq 0 ] || echo "reports this commit says it changes, not compared: $changed"
failed=0
compared=0
for cpu in portable sse2 avx2 avx512; do
  for log in "${logs[@]}"; do
    for mode in default reports; do
      args=()
      [ "$mode" = reports ] && args=(-o r.txt -o r.json -o r.html)
      for side in baseline current; do
        program=$baseline
        [ "$side" = current ] && program=$current
        FRAGTALLY_CPU=$cpu run "$program" "$work/runs/$side" "$log" "${args[@]}"
      done
      if ! diff -r "${excluded[@]}" "$work/runs/baseline" "$work/runs/current" >/dev/null; then
        echo "different on $log ($mode, FRAGTALLY_CPU=$cpu):"
        diff -rq "${excluded[@]}" "$work/runs/baseline" "$work/runs/current" || true
        failed=1
      fi
      compared=$((compared + 1))
      rm -rf "${work:?}/runs"
    done
  done
done
echo "$compared runs compared"
exit $failed
