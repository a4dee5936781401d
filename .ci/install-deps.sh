#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools this machine lacks.
# Usage: .ci/install-deps.sh [extra-package ...]
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
have clang++ || need+=(clang)
have clang-format || need+=(clang-format)
have python3 || need+=(python3)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
# The JSON report's library (every build, the Windows one included) and its schema check.
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
python3 -c 'import jsonschema' >/dev/null 2>&1 || need+=(python3-jsonschema)
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${need[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo -n"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq </dev/null
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}" </dev/null
