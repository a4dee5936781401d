#!/usr/bin/env bash
# Static checks of src/: clang-tidy with the checks of .clang-tidy (every finding an error),
# using the compile database of a clang build, then cppcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps.sh clang-tidy cppcheck

cmake -S . -B build/static -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF >/dev/null
git ls-files -- 'src/*.cpp' | xargs -P "$(nproc)" -n 4 clang-tidy -p build/static --quiet 2>&1 |
  { grep -v 'warnings generated\.$' || true; }
echo "clang-tidy: no findings"

cppcheck --quiet --std=c++20 --enable=warning,performance,portability --inline-suppr \
  --error-exitcode=1 -I src src
echo "cppcheck: no findings"
