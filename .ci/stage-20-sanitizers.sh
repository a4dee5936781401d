#!/usr/bin/env bash
# The whole test suite (unit tests, corpus replays and the end-to-end tests against the
# sanitized program) built with clang, AddressSanitizer and UndefinedBehaviorSanitizer, with
# no recovery: the first report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh libclang-rt-14-dev

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
