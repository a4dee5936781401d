#!/usr/bin/env bash
# Prints the commands of the README's Nth indented block (the first by default) under the
# heading "## <section>", as a person would copy them, so that CI runs exactly what the README
# states.
# Usage: .ci/readme-commands.sh "Build and test" [N]
set -euo pipefail
cd "$(dirname "$0")/.."
awk -v heading="## $1" -v wanted="${2:-1}" '$0 == heading { on = 1; next }
  on && /^## / { exit }
  on && /^    / { if (!inside) { block++; inside = 1 } if (block == wanted) print substr($0, 5); next }
  on && block == wanted && inside { exit }
  { inside = 0 }' README.md
