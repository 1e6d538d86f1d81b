#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with Debian's clang (the library and the targets with
# ASan+UBSan, build/fuzz) and runs each for the given seconds (default 60), two at a time.
# Seeds: the files the test programs write into their temporary folders (the tests are run once
# with TARVEL_FUZZ_SEEDS set; the test build is build/tests, made when absent), plus the corpus
# of earlier runs. Each run: -timeout=5 (a hang), -rss_limit_mb=1024 and -malloc_limit_mb=1024
# (an allocation beyond 1 GiB), leaks and every sanitizer report fatal. Findings are written to
# build/fuzz/findings/; any finding fails the script.
#   FUZZ_TARGETS  space-separated target names (default: every fuzz/*_fuzz.cpp)
#   FUZZ_SEED_BUILD  the test build that writes the seeds (default build/tests)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make clang++:clang \
  /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake:libgtest-dev
# libFuzzer's runtime is only recommended by Debian's clang: installed on its own when missing.
clang_major=$(clang++ -dumpversion | cut -d. -f1)
ensure_packages "$(clang++ -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a:libclang-rt-$clang_major-dev"

seconds=${1:-60}
jobs=$(build_jobs)
root=$PWD
dir=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_FUZZ=ON \
  -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_APPS=OFF -DTARVEL_BUILD_EXAMPLES=OFF >/dev/null
targets=${FUZZ_TARGETS:-$(cd fuzz && ls *_fuzz.cpp | sed 's/\.cpp$//')}
# shellcheck disable=SC2086
cmake --build "$dir" -j "$jobs" --target $targets

# -- Seeds from the tests --
seeds=$root/$dir/seeds
if [[ ! -d $seeds ]]; then
  tests=${FUZZ_SEED_BUILD:-build/tests}
  if [[ ! -f $tests/CTestTestfile.cmake ]]; then
    cmake -S . -B "$tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$tests" -j "$jobs" >/dev/null
  mkdir -p "$seeds"
  (cd "$tests" && TARVEL_FUZZ_SEEDS=$seeds ctest -j "$jobs" >/dev/null) || true
fi
echo "$(ls "$seeds" | wc -l) seed files"

# -- Runs --
mkdir -p "$dir/findings" "$dir/logs"
run_target() {  # name
  local name=$1 corpus=$root/$dir/corpus/$1
  mkdir -p "$corpus"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/fuzz/$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
      -malloc_limit_mb=1024 -print_final_stats=1 \
      -artifact_prefix="$root/$dir/findings/$name-" "$corpus" "$seeds" \
      >"$dir/logs/$name.log" 2>&1
}

status=0
pids=()
names=()
for t in $targets; do
  run_target "$t" &
  pids+=($!)
  names+=("$t")
  if ((${#pids[@]} == 2)); then
    for k in 0 1; do
      if wait "${pids[$k]}"; then r=ok; else r=FAILED; status=1; fi
      echo "$r ${names[$k]}: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/logs/${names[$k]}.log" | grep -o '[0-9]*$') runs"
    done
    pids=(); names=()
  fi
done
for k in "${!pids[@]}"; do
  if wait "${pids[$k]}"; then r=ok; else r=FAILED; status=1; fi
  echo "$r ${names[$k]}: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/logs/${names[$k]}.log" | grep -o '[0-9]*$') runs"
done
if ((status)); then
  echo "Fuzzing found problems: see $dir/logs and $dir/findings"
  for f in "$dir"/logs/*.log; do grep -q "ERROR\|==ABORTING\|SUMMARY" "$f" && tail -n 40 "$f"; done
fi
exit $status
