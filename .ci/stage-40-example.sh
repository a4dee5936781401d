#!/usr/bin/env bash
# Runs the README's commands, as written there and in order, on a fresh clone of this commit:
# the first command of "Build and test", then the blocks of "Try it on the example" and of the
# page. Checks the report they make against the expected one and the README's excerpt, that the
# page is there, and that git ignores everything they leave behind.
set -euo pipefail
cd "$(dirname "$0")/.."
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
git clone --quiet . "$clone/fragtally"
expected=$PWD/tests/data/example.qconsole.txt

run_block() {
  local commands
  commands=$(bash .ci/readme-commands.sh "$1" | sed -n "${2:-1,\$}p")
  [ -n "$commands" ] || { echo "README: no commands under \"$1\""; exit 1; }
  echo "--- $1:"
  echo "$commands"
  # A block that ends with the program ends with its status after a normal run, 1.
  local status=0
  (cd "$clone/fragtally" && bash -c "$commands" >"$clone/output" 2>&1) || status=$?
  if [ "$status" -gt 1 ]; then
    tail -20 "$clone/output"
    echo "status $status"
    exit 1
  fi
}

run_block "Build and test" 1
cmp "$clone/fragtally/examples/qconsole.txt" "$expected"
grep -q '^<!DOCTYPE html>' "$clone/fragtally/examples/qconsole.html"
rm "$clone/fragtally/examples/qconsole."{txt,html}

run_block "Try it on the example"
cmp "$clone/fragtally/examples/qconsole.txt" "$expected"
python3 - "$clone/fragtally/examples/qconsole.txt" <<'PY'
import sys
readme = open("README.md").read()
section = readme.split("## Try it on the example", 1)[1].split("\n## ", 1)[0]
excerpt = section[section.index("    ====="):].rstrip("\n") + "\n"
excerpt = "".join(line[4:] + "\n" for line in excerpt.splitlines())
if excerpt not in open(sys.argv[1]).read():
    sys.exit("README: the example report's excerpt differs from the real report")
PY

run_block "The page for a web browser"
grep -q '^<!DOCTYPE html>' "$clone/fragtally/examples/qconsole.html"

left=$(git -C "$clone/fragtally" status --porcelain --untracked-files=all)
if [ -n "$left" ]; then
  printf 'the README'"'"'s commands leave files git does not ignore:\n%s\n' "$left"
  exit 1
fi
echo "the README's commands, run in order from the clone's root: report as expected, page there"
