#!/usr/bin/env bash
# Checks the manual page with a man-page linter, that --help, the manual page and the README's
# usage table name the same options, and that the manual page and CHANGELOG.md know the
# program's version.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh mandoc

mandoc -T lint -W warning docs/fragtally.1
echo "mandoc: no findings"

cmake --preset ci >/dev/null
cmake --build --preset ci --target fragtally
build/ci/fragtally --help >build/ci/help.txt
python3 - build/ci/help.txt docs/fragtally.1 README.md <<'PY'
import re
import sys

help_text, manual, readme = (open(path, encoding="utf-8").read() for path in sys.argv[1:])
option = re.compile(r"(?<![\w-])--?[A-Za-z][\w-]*")

# --help: the option lines, those that start with "  -".
in_help = {o for line in help_text.splitlines() if line.startswith("  -") for o in option.findall(line.split("  ")[1])}

# The manual page: the tags of OPTIONS, the line after each .TP.
section = manual.split(".SH OPTIONS", 1)[1].split("\n.SH ", 1)[0]
tags = re.findall(r"^\.TP\n(.*)$", section, re.M)
in_manual = {o for tag in tags for o in option.findall(tag.replace("\\-", "-"))}

# The README: the first cell of each row of the usage table.
usage = readme.split("## Usage", 1)[1].split("\n## ", 1)[0]
cells = [row.split("|")[1] for row in usage.splitlines() if row.startswith("| `")]
in_readme = {o for cell in cells for o in option.findall(cell)}

print("options:", " ".join(sorted(in_help)))
if not in_help or in_help != in_manual or in_help != in_readme:
    sys.exit("options differ: --help %s, manual page %s, README %s"
             % (sorted(in_help), sorted(in_manual), sorted(in_readme)))
PY
echo "--help, the manual page and the README name the same options"

version=$(build/ci/fragtally --version | sed -n '1s/^fragtally //p')
grep -q "^\.TH FRAGTALLY 1 [0-9-]* \"fragtally $version\"" docs/fragtally.1 ||
  { echo "docs/fragtally.1: .TH does not name version $version"; exit 1; }
grep -q "^## $version " CHANGELOG.md || { echo "CHANGELOG.md: no section for $version"; exit 1; }
echo "the manual page and CHANGELOG.md know version $version"
