#!/usr/bin/env bash
# Prints the commands of the README's first indented block after the heading "## <section>",
# as a person would copy them, so that CI runs exactly what the README states.
# Usage: .ci/readme-commands.sh "Build and test"
set -euo pipefail
cd "$(dirname "$0")/.."
awk -v heading="## $1" '$0 == heading { on = 1; next }
  on && /^## / { exit }
  on && /^    / { print substr($0, 5); found = 1; next }
  on && found { exit }' README.md
