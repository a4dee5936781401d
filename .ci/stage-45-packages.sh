#!/usr/bin/env bash
# Makes the release packages as the README says, checks what each holds, runs lintian on the
# .deb, and runs the program of each, unpacked, on the example log: natively on Linux and under
# wine on Windows, where a log dragged onto fragtally-page.cmd gets its reports too. Checks
# `cmake --install` and the .deb too: their program runs and their manual page reads.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh g++-mingw-w64-x86-64 wine wine64 unzip man-db lintian

bash packaging/make-packages.sh
version=$(sed -n 's/.*program_version = "\(.*\)";/\1/p' src/version.h)
linux=build/packages/fragtally-$version-linux-x86_64
windows=build/packages/fragtally-$version-windows-x86_64
deb=build/packages/fragtally_${version}_amd64.deb

# The documents of share/doc/fragtally, in every package.
documents=(CHANGELOG.md report-json.md report-json.schema.json history.md)

# check_listing LISTING TOP README PROGRAM MORE...: the package's entries are exactly these.
check_listing() {
  local expected actual
  expected=$(printf '%s\n' "$2/LICENSE" "$2/$3" "$2/bin/" "$2/bin/$4" "$2/share/" "$2/share/doc/" \
    "$2/share/doc/fragtally/" "${documents[@]/#/$2/share/doc/fragtally/}" "${@:5}" | sort)
  actual=$(sort <<<"$1")
  if [ "$actual" != "$expected" ]; then
    printf 'package %s holds:\n%s\nexpected:\n%s\n' "$2" "$actual" "$expected"
    exit 1
  fi
}
linux_top=$(basename "$linux")
check_listing "$(tar tzf "$linux.tar.gz")" "$linux_top" README.md fragtally \
  "$linux_top/share/man/" "$linux_top/share/man/man1/" "$linux_top/share/man/man1/fragtally.1"
check_listing "$(unzip -Z1 "$windows.zip")" "$(basename "$windows")" README.txt fragtally.exe \
  "$(basename "$windows")/bin/fragtally-page.cmd" "$(basename "$windows")/bin/fragtally-live.cmd"
deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
deb_expected=$(printf '%s\n' ./usr/bin/fragtally ./usr/share/doc/fragtally/README.md \
  ./usr/share/doc/fragtally/copyright ./usr/share/doc/fragtally/changelog.gz \
  ./usr/share/doc/fragtally/report-json.md ./usr/share/doc/fragtally/report-json.schema.json \
  ./usr/share/doc/fragtally/history.md \
  ./usr/share/man/man1/fragtally.1.gz | sort)
if [ "$deb_files" != "$deb_expected" ]; then
  printf 'package %s holds:\n%s\nexpected:\n%s\n' "$deb" "$deb_files" "$deb_expected"
  exit 1
fi
ls -l "$linux.tar.gz" "$deb" "$windows.zip"

# The .deb as Debian's own checker sees it: no error and no warning.
lintian --fail-on error,warning --tag-display-limit 0 "$deb"
echo "lintian: no error and no warning"
# Its changelog is the changelog of the package's version, made from CHANGELOG.md.
dpkg-deb --fsys-tarfile "$deb" | tar xOf - ./usr/share/doc/fragtally/changelog.gz | gzip -dc |
  head -n 1 | grep -qx "fragtally ($version) unstable; urgency=medium"

work=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$work/wine
unset DISPLAY WAYLAND_DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
tar xzf "$linux.tar.gz" -C "$work"
unzip -q "$windows.zip" -d "$work"
mkdir "$work/wine"
wineboot -i </dev/null >/dev/null 2>&1

# Runs a packaged program in a folder holding the example log; expects status 1 and the
# example's report stored with the given line end.
run_example() {
  local folder=$work/run-$1 status=0
  mkdir "$folder"
  cp examples/qconsole.log "$folder/"
  (cd "$folder" && "${@:3}" >stdout 2>stderr </dev/null) || status=$?
  if [ "$status" -ne 1 ] || [ -s "$folder/stderr" ]; then
    echo "$1 package: exit status $status"
    cat "$folder/stderr"
    exit 1
  fi
  python3 - "$folder/qconsole.txt" tests/data/example.qconsole.txt "$2" <<'PY'
import sys
report, expected, line_end = sys.argv[1], sys.argv[2], sys.argv[3].encode().decode("unicode_escape")
wanted = open(expected, "rb").read().replace(b"\n", line_end.encode())
if open(report, "rb").read() != wanted:
    sys.exit(report + ": differs from the example's expected report")
PY
  echo "$1 package: the example's report as expected"
}
run_example linux '\n' "$work/$(basename "$linux")/bin/fragtally"

# The .deb unpacked into a scratch folder, and `cmake --install` into another: each program
# runs, and each manual page reads without a warning.
dpkg-deb -x "$deb" "$work/deb"
cmake --install build/package-linux --prefix "$work/installed"
for root in "$work/deb/usr" "$work/installed"; do
  "$root/bin/fragtally" --version | grep -qx "fragtally $version"
  manual=$(ls "$root"/share/man/man1/fragtally.1*)
  MANWIDTH=80 man --warnings -l "$manual" 2>"$work/man-warnings" |
    grep -q "^SYNOPSIS"
  if [ -s "$work/man-warnings" ]; then
    cat "$work/man-warnings"
    exit 1
  fi
done
run_example deb '\n' "$work/deb/usr/bin/fragtally"
run_example installed '\n' "$work/installed/bin/fragtally"
run_example windows '\r\n' wine "$work/$(basename "$windows")/bin/fragtally.exe"

# The page of the example is the same bytes from the Linux and the Windows program.
page_of() {
  local folder=$work/page-$1 status=0
  mkdir "$folder"
  cp examples/qconsole.log "$folder/"
  (cd "$folder" && "${@:2}" -q -o qconsole.html </dev/null) || status=$?
  [ "$status" -eq 1 ] || { echo "$1 package: exit status $status writing the page"; exit 1; }
}
page_of linux "$work/$(basename "$linux")/bin/fragtally"
page_of windows wine "$work/$(basename "$windows")/bin/fragtally.exe"
cmp "$work/page-linux/qconsole.html" "$work/page-windows/qconsole.html"
echo "the example's page: the same bytes from both packages"
