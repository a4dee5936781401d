#!/usr/bin/env bash
# Makes both release packages into build/packages: the Linux program as a .tar.gz and the
# Windows program, cross-built with mingw-w64, as a .zip. Needs what the build needs, plus
# Debian's g++-mingw-w64-x86-64 for the Windows program, whose SQLite cmake/sqlite-windows.sh
# builds from Debian's source package.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset package-linux
bash cmake/sqlite-windows.sh
cmake --workflow --preset package-windows
ls -l build/packages
