#!/usr/bin/env bash
# The whole test suite of the ci build (unit tests, corpus replays, end-to-end tests) once more
# on each CPU path this machine has besides the fastest, which the build-and-test stage took.
# FRAGTALLY_CPU makes the program and the test programs take the path.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci >/dev/null
cmake --build --preset ci
program=$PWD/build/ci/fragtally

# A path is there when the program runs on an empty log with it (status 1); it refuses one the
# CPU lacks with status 2.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
: >"$probe/qconsole.log"
has_path() {
  local status=0
  (cd "$probe" && FRAGTALLY_CPU=$1 "$program" </dev/null >/dev/null 2>&1) || status=$?
  [ "$status" -eq 1 ]
}

paths=()
for path in portable sse2 avx2 avx512; do
  if has_path "$path"; then
    paths+=("$path")
  fi
done
echo "CPU paths of this machine: ${paths[*]}"
unset 'paths[-1]'  # the fastest: the build-and-test stage ran the suite on it
for path in "${paths[@]}"; do
  echo "--- the whole suite on the $path path"
  FRAGTALLY_CPU=$path ctest --preset ci -j "$(nproc)"
done
