#!/usr/bin/env bash
# The whole test suite against an optimised build that keeps assert() and the standard library's
# bounds checks: faults that the sanitized debug build does not reach, because the optimiser
# shapes the code differently, or that only big logs reach, stop the program here.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset assert
cmake --build --preset assert
ctest --preset assert
