#!/usr/bin/env bash
# The README's two commands, run from the clone's root on Debian (12 or newer) as root or as a
# user who may use sudo:
#   ./dev.sh example  installs what building the program needs, builds it (the release preset,
#                     without the tests) and runs it on examples/qconsole.log, which leaves the
#                     report examples/qconsole.txt and the page examples/qconsole.html
#   ./dev.sh test     installs everything the tests need too, builds with warnings as errors
#                     and runs every test (the `test` workflow preset); CI runs this command
set -euo pipefail
cd "$(dirname "$0")"

case "${1:-}" in
  example)
    bash .ci/install-deps.sh --program
    cmake --workflow --preset release
    # A normal run ends with status 1.
    status=0
    build/release/fragtally -q -o examples/qconsole.txt -o examples/qconsole.html \
      examples/qconsole.log || status=$?
    if [ "$status" -ne 1 ]; then
      echo "dev.sh: the example run ended with status $status" >&2
      exit 1
    fi
    echo "The example's report: examples/qconsole.txt; its page: examples/qconsole.html"
    ;;
  test)
    bash .ci/install-deps.sh
    cmake --workflow --preset test
    ;;
  *)
    echo "usage: ./dev.sh example | test" >&2
    exit 2
    ;;
esac
