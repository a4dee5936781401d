#!/usr/bin/env bash
# Builds SQLite for the Windows cross-build as a static library, from Debian's own source
# package of the SQLite that the Linux build links: `apt-get source sqlite3` (a deb-src entry is
# made from the machine's deb entries when there is none), `make sqlite3.c` (tclsh joins the
# sources into the one-file amalgamation), then the mingw-w64 C compiler. The preset windows
# finds the result in build/sqlite-windows/ (include/sqlite3.h, lib/libsqlite3.a). SQLite's
# sources stay in a temporary folder; nothing of them enters the repository.
#
#   cmake/sqlite-windows.sh [OUT]     OUT defaults to build/sqlite-windows
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/sqlite-windows}")
if [ -f "$out/lib/libsqlite3.a" ] && [ -f "$out/include/sqlite3.h" ]; then
  exit 0
fi
bash .ci/install-deps.sh tcl dpkg-dev gcc make gcc-mingw-w64-x86-64-win32

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
if ! grep -rqs '^\(Types:.*deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # The source entries of the archives the machine already uses, so that the source is that of
  # the installed package.
  entries=$(mktemp)
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && sed 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$file" >>"$entries" &&
      echo >>"$entries"
  done
  "${sudo[@]}" install -m 644 "$entries" /etc/apt/sources.list.d/fragtally-deb-src.sources
  rm -f "$entries"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${sudo[@]}" tee /etc/apt/sources.list.d/fragtally-deb-src.list >/dev/null
  fi
  "${sudo[@]}" apt-get update -qq </dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The version of the library the Linux build links, so that both programs run the same SQLite.
version=$(dpkg-query -W -f '${Version}' libsqlite3-dev 2>/dev/null || true)
cd "$work"
apt-get source -qq "sqlite3${version:+=$version}" </dev/null >/dev/null 2>&1 ||
  apt-get source -qq sqlite3 </dev/null
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
[ -n "$source_dir" ] || { echo "sqlite-windows: apt-get source sqlite3 gave no source folder"; exit 1; }
mkdir build
cd build
"$source_dir/configure" --disable-tcl >/dev/null
make -s sqlite3.c >/dev/null

# One thread (the program starts none), no extensions loaded from DLLs.
x86_64-w64-mingw32-gcc-win32 -O2 -DSQLITE_THREADSAFE=0 -DSQLITE_OMIT_LOAD_EXTENSION \
  -DSQLITE_DQS=0 -c sqlite3.c -o sqlite3.o
mkdir -p "$out/include" "$out/lib"
x86_64-w64-mingw32-ar rcs "$out/lib/libsqlite3.a" sqlite3.o
cp sqlite3.h "$out/include/"
echo "sqlite-windows: SQLite $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' sqlite3.h) in $out"
