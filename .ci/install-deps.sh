#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools this machine lacks.
# Usage: .ci/install-deps.sh [--program] [extra-package ...]
#   --program  only what building the program needs (the README's example), no test tools
# Every package a build needs is named here; .ci/stage-05-fresh-machine.sh checks that on a
# clean Debian.
set -euo pipefail

program_only=false
if [ "${1:-}" = "--program" ]; then
  program_only=true
  shift
fi

need=()
have() { command -v "$1" >/dev/null 2>&1; }
# Building the program: CMake, Ninja, a C++20 compiler, two header-only libraries (the
# command line's, and the JSON report's, which the Windows build takes too) and SQLite.
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
# The history's store.
[ -f /usr/include/sqlite3.h ] || need+=(libsqlite3-dev)
if ! $program_only; then
  # The tests and the checks: the other compiler, formatting, the unit tests, the benchmarks,
  # the end-to-end tests and the JSON report's schema check.
  have clang++ || need+=(clang)
  have clang-format || need+=(clang-format)
  have python3 || need+=(python3)
  [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
  [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
  python3 -c 'import jsonschema' >/dev/null 2>&1 || need+=(python3-jsonschema)
fi
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${need[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  # A person at a terminal may be asked for a password; CI, without one, may not.
  if [ -t 0 ]; then
    sudo=(sudo)
  else
    sudo=(sudo -n)
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq </dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" </dev/null
