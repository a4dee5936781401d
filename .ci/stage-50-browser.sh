#!/usr/bin/env bash
# Renders the HTML pages of the example log, the server-derived log and a log of hostile names
# in a headless Chromium (no network): figures against the text report, no element from a name,
# no request, tidy without a message, and screenshots at 1280 and 375 px into build/browser.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh chromium tidy

cmake --preset ci >/dev/null
cmake --build --preset ci --target fragtally
python3 tests/browser/check_pages.py "$PWD/build/ci/fragtally" build/browser
