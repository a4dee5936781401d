#!/usr/bin/env bash
# Runs the README's example commands, as written there, on a fresh clone of this commit, and
# checks that the report they make is the expected one and holds the README's excerpt.
set -euo pipefail
cd "$(dirname "$0")/.."
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
git clone --quiet . "$clone/fragtally"

# The indented lines right after the heading "## Try it on the example", up to the report.
commands=$(awk '/^## Try it on the example/ { on = 1; next }
                on && /^    / { print substr($0, 5); found = 1; next }
                on && found { exit }' README.md)
[ -n "$commands" ] || { echo "README: no example commands found"; exit 1; }
echo "$commands"
(cd "$clone/fragtally" && bash -c "$commands" >"$clone/output" 2>&1) || {
  tail -20 "$clone/output"
  exit 1
}
cmp "$clone/fragtally/examples/qconsole.txt" tests/data/example.qconsole.txt
python3 - "$clone/fragtally/examples/qconsole.txt" <<'PY'
import sys
readme = open("README.md").read()
section = readme.split("## Try it on the example", 1)[1].split("\n## ", 1)[0]
excerpt = section[section.index("    ====="):].rstrip("\n") + "\n"
excerpt = "".join(line[4:] + "\n" for line in excerpt.splitlines())
if excerpt not in open(sys.argv[1]).read():
    sys.exit("README: the example report's excerpt differs from the real report")
PY
echo "example run as the README says: report as expected"
