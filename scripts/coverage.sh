#!/usr/bin/env bash
# Line coverage of the library (tarvel/) by the test suite, measured with gcov through gcovr:
# a Debug build with --coverage in build/coverage (counters updated atomically: several tests run
# threads, and torn counts make gcov print negative branch counts that gcovr rejects), every
# test run once, then
#   build/coverage/coverage.txt  the summary and every file's uncovered lines
#   build/coverage/summary.txt   the one-line total for README.md
# docs/coverage.md lists the lines left uncovered and why.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make gcovr:gcovr \
  /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake:libgtest-dev

dir=build/coverage
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DTARVEL_BUILD_APPS=ON \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic -O0" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$dir" -j "$(build_jobs)"
find "$dir" -name '*.gcda' -delete
(cd "$dir" && ctest -j "$(build_jobs)" --output-on-failure) || echo "(some tests failed; coverage still reported)"

# Library sources only: gcovr 5 cannot merge the records of header functions compiled into several
# programs (the inline element accessors are exercised by every suite).
gcovr -r . "$dir" --filter 'tarvel/.*\.cpp$' --exclude-unreachable-branches \
  --txt "$dir/coverage.txt" --print-summary >"$dir/summary-full.txt"
grep -E '^lines:' "$dir/summary-full.txt" | tee "$dir/summary.txt"
