#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, both at once, starting from a copy of its seed
# corpus so the repository stays as it is. A crash fails the stage and prints the input that
# caused it; add that input to fuzz/corpus/<target>/ under a name that says what it pins.
# FUZZ_SECONDS sets the time per target (default 75).
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_line fuzz_pass

seconds=${FUZZ_SECONDS:-75}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pids=()
for target in fuzz_line fuzz_pass; do
  mkdir -p "$work/$target"
  cp fuzz/corpus/$target/* "$work/$target/"
  build/fuzz/$target -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -dict=fuzz/obituary.dict -print_final_stats=1 -artifact_prefix="$work/$target-" \
    "$work/$target" >"$work/$target.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in 0 1; do
  target=$([ "$i" -eq 0 ] && echo fuzz_line || echo fuzz_pass)
  if wait "${pids[$i]}"; then
    echo "--- $target"
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$target.log" || true
    echo "corpus grew from $(ls fuzz/corpus/$target | wc -l) to $(ls "$work/$target" | wc -l) inputs"
  else
    failed=1
    echo "--- $target FAILED"
    tail -n 60 "$work/$target.log"
    for artifact in "$work/$target"-*; do
      [ -e "$artifact" ] || continue
      echo "input $(basename "$artifact"), as C escapes:"
      od -An -c "$artifact" | head -n 40
    done
  fi
done
exit "$failed"
