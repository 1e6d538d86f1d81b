#!/usr/bin/env bash
# Runs the benchmarks of bench/ side by side with the peers and writes docs/performance.md.
#
# Installs what is missing with apt-get (Google Benchmark, Eigen, SuiteSparse, LAPACK and
# OpenBLAS, which becomes the system BLAS and LAPACK that CHOLMOD and dpbtrf run on), builds
# Release out of source in build/bench, runs every case single-threaded (medians of
# repetitions, one run), measures each case's peak memory in a process of its own, and
# generates the report with the machine it ran on.
#   BENCH_REPETITIONS  repetitions per case (default 5)
#   BENCH_FILTER       regular expression selecting cases (default: all)
#   BENCH_MIN_TIME     least seconds of one repetition (default 0.5; a slower case runs once)
#   BENCH_ONLY=direct  only the sparse direct solvers (cases sn-* and the dgemm rate); their
#                      section of docs/performance.md is regenerated, the rest kept as it is
# The sparse direct solvers' cases on the problems of 3 10^5 DOFs and more take minutes each
# (three repetitions); a quick run leaves them out:
#   BENCH_ONLY=direct BENCH_FILTER='dgemm|plate-447x112|elastic-32' scripts/bench.sh
# Cases named *-2t/* run on two threads (OpenBLAS and OpenMP told so); all others on one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
multiarch=$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)
ensure_packages cmake:cmake g++:g++ make:make python3:python3 \
  /usr/include/benchmark/benchmark.h:libbenchmark-dev \
  /usr/include/eigen3/Eigen/Core:libeigen3-dev \
  /usr/include/suitesparse/cholmod.h:libsuitesparse-dev \
  "/usr/lib/$multiarch/liblapack.so:liblapack-dev" \
  /usr/include/metis.h:libmetis-dev \
  "/usr/lib/$multiarch/openblas-pthread/liblapack.so.3:libopenblas-dev"

dir=build/bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_BENCHMARKS=ON \
  -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$dir" -j "$(build_jobs)" --target tarvel_bench
bench="$dir/bench/tarvel_bench"

# One thread everywhere: OpenMP, OpenBLAS, MKL; Eigen is built without threads.
export OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 MKL_NUM_THREADS=1
filter=${BENCH_FILTER:-.}
only='.'
[[ ${BENCH_ONLY:-} == direct ]] && only='^(sn-|dgemm/)'

# Each case runs in a process of its own, first timed, then once more for its peak memory, so
# that no case inherits the heap left by another (the library's cell pools keep what earlier
# cases freed).
echo "=== each case: median of ${BENCH_REPETITIONS:-5} repetitions, then peak memory ==="
rm -rf "$dir/results"
mkdir -p "$dir/results"
: >"$dir/memory.txt"
i=0
while read -r name; do
  [[ $name =~ $filter && $name =~ $only ]] || continue
  i=$((i + 1))
  threads=1
  [[ $name == *-2t/* ]] && threads=2
  OPENBLAS_NUM_THREADS=$threads OMP_NUM_THREADS=$threads "$bench" --benchmark_filter="^${name}(/|\$)" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
    --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" --benchmark_report_aggregates_only=true --benchmark_out="$dir/results/$i.json" \
    --benchmark_out_format=json | grep -E "_median|ERROR" || true
  peak=$("$bench" --memory="$name" | sed -n 's/^peak_kib=//p')
  [[ -n $peak ]] && echo "$name $peak" >>"$dir/memory.txt"
done < <("$bench" --list)

echo "=== which code each method ran on ==="
"$bench" --platform | tee "$dir/platform.txt"

mkdir -p docs
if [[ ${BENCH_ONLY:-} == direct ]]; then
  python3 scripts/bench_report.py --direct "$dir/results" "$dir/memory.txt" "$dir/platform.txt" \
    bench/DIRECT.md docs/performance.md
  echo "Wrote the sparse direct solvers' section of docs/performance.md"
  exit 0
fi

echo "=== problems and labellings ==="
"$bench" --problems | tee "$dir/problems.txt"

previous=$(mktemp)
cp docs/performance.md "$previous" 2>/dev/null || true
python3 scripts/bench_report.py "$dir/results" "$dir/memory.txt" "$dir/problems.txt" \
  bench/ANALYSIS.md "$dir/platform.txt" bench/DIRECT.md >docs/performance.md
python3 scripts/scale_report.py --carry "$previous" docs/performance.md  # scripts/scale.sh's part
python3 scripts/bench_report.py --carry "$previous" docs/performance.md  # direct cases filtered out
rm -f "$previous"
echo "Wrote docs/performance.md"
