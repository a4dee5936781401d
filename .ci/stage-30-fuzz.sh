#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, all at once, starting from a copy of its seed
# corpus so the repository stays as it is. Inputs may be long enough to hold thousands of lines
# (fuzz_pass), a line past the examined length (fuzz_line), or a program that writes logs of
# megabytes (fuzz_games). A crash fails the stage and prints the input that
# caused it; add that input to fuzz/corpus/<target>/ under a name that says what it pins.
# FUZZ_SECONDS sets the time per target (default 75).
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_line fuzz_pass fuzz_games

seconds=${FUZZ_SECONDS:-75}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
targets=(fuzz_line fuzz_pass fuzz_games)
declare -A max_len=([fuzz_line]=70000 [fuzz_pass]=65536 [fuzz_games]=4096)
pids=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  cp fuzz/corpus/$target/* "$work/$target/"
  build/fuzz/$target -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
    -max_len="${max_len[$target]}" \
    -dict=fuzz/obituary.dict -print_final_stats=1 -artifact_prefix="$work/$target-" \
    "$work/$target" >"$work/$target.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
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
