#!/usr/bin/env bash
# Renders the HTML pages of the example log, the server-derived log and a log of hostile names
# in a headless Chromium (no network): figures against the text report, no element from a name,
# no request, tidy without a message, and screenshots at 1280 and 375 px into build/browser.
# Then the README's screenshot commands, as written there, on a fresh clone: they must work
# here, as root too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh chromium tidy optipng

cmake --preset ci >/dev/null
# The plain count the pages are checked against reads the kinds and counters from the listing
# of the program's tables.
cmake --build --preset ci --target fragtally table_listing_file
FRAGTALLY_TABLES=$PWD/build/ci/tests/tables.json \
  python3 tests/browser/check_pages.py "$PWD/build/ci/fragtally" build/browser

clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
git clone --quiet . "$clone/fragtally"
build/ci/fragtally -q -o "$clone/fragtally/examples/qconsole.html" examples/qconsole.log || [ $? -eq 1 ]
commands=$(bash .ci/readme-commands.sh "The page for a web browser" 2)
echo "$commands"
rm "$clone/fragtally/docs/example-page.png"
(cd "$clone/fragtally" && bash -c "$commands" >"$clone/output" 2>&1) || {
  tail -20 "$clone/output"
  exit 1
}
python3 - "$clone/fragtally/docs/example-page.png" <<'PY'
import struct
import sys
data = open(sys.argv[1], "rb").read()
if not data.startswith(b"\x89PNG\r\n\x1a\n"):
    sys.exit("the README's screenshot commands made no PNG")
width, height = struct.unpack(">II", data[16:24])
if (width, height) != (1000, 1250):
    sys.exit("the README's screenshot is %dx%d, not 1000x1250" % (width, height))
PY
echo "the README's screenshot commands: a 1000x1250 picture of the page"
