#!/usr/bin/env bash
# Cross-builds fragtally.exe with mingw-w64, checks that it imports only DLLs that come with
# Windows, and runs the end-to-end tests of the real program under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
took() { echo "--- $1: $((SECONDS - started)) s"; started=$SECONDS; }

bash .ci/install-deps.sh g++-mingw-w64-x86-64 wine wine64
took "tools"

bash cmake/sqlite-windows.sh
took "SQLite for Windows"
cmake --preset windows
cmake --build --preset windows
exe=$PWD/build/windows/fragtally.exe
took "cross-build"

# A self-contained program: no compiler runtime or thread library DLL may be needed beside it.
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "fragtally.exe imports:" $dlls
for dll in $dlls; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll) ;;
    *)
      echo "fragtally.exe needs $dll, which Windows does not provide"
      exit 1
      ;;
  esac
done

# A private, quiet wine that asks nothing and needs no display.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX
WINEPREFIX=$(mktemp -d)
unset DISPLAY WAYLAND_DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
# The server and wine's own services start here, with no pipe of a test open: a service
# started by a test's run would hold that run's output pipes open until it exits.
wineserver -p
wineboot -i </dev/null >/dev/null 2>&1
took "wine prefix"

# The plain model of the rules reads the kinds and counters from the listing of the tables,
# which a native build writes; the follow tests measure the peak memory of wine's process that
# runs the program with the native peak_rss launcher. The driver of console events
# (console_events.exe) is built beside the program, where the follow tests find it.
cmake --preset ci >/dev/null
cmake --build --preset ci --target fragtally table_listing_file peak_rss
export FRAGTALLY_TABLES=$PWD/build/ci/tests/tables.json
export FRAGTALLY_PEAK_RSS=$PWD/build/ci/peak_rss
took "the listing of the tables and the peak_rss launcher"

# The history's kill test preloads its shim into wine, whose C library writes the Windows
# program's files.
gcc -shared -fPIC -O2 -o build/windows/libkill_shim.so tests/kill_shim.c -ldl
export FRAGTALLY_KILL_SHIM=$PWD/build/windows/libkill_shim.so
export FRAGTALLY=$exe FRAGTALLY_RUNNER=wine PYTHONDONTWRITEBYTECODE=1
python3 -m unittest discover -v -s tests/e2e -t tests/e2e -p 'test_*.py'
took "end-to-end tests under wine"

# The JSON report holds the same bytes whichever program writes it.
linux=$PWD/build/ci/fragtally
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX" "$work"' EXIT
cp examples/qconsole.log "$work/example.log"
cp tests/data/server-derived.qconsole.log "$work/server.log"
for log in example.log server.log; do
  # Both end with status 1 after a normal run.
  (cd "$work" && { "$linux" -q -o linux.json "$log" || [ $? -eq 1 ]; })
  (cd "$work" && { wine "$exe" -q -o windows.json "$log" || [ $? -eq 1 ]; })
  cmp "$work/linux.json" "$work/windows.json"
  echo "$log: the same JSON report from both programs"
done
took "JSON reports compared"
