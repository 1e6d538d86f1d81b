#!/usr/bin/env bash
# Solves a million degrees of freedom through the library's two roads and writes the results
# into their own section of docs/performance.md (not run by CI: about an hour on two cores).
#
#   1. Growth of every reordering's time on the square (Q4 Poisson) at about 10^4, 10^5 and
#      10^6 DOFs, each run in a process of its own under a time limit; a reordering whose time
#      grows more than twice as fast as n log n between two sizes is flagged, one that passes
#      the limit is flagged and not run at the larger sizes.
#   2. The square (1001^2 DOFs) and the cube of eight-node elements (100^3 DOFs), each through
#      the system matrix and conjugate gradients and through the skyline matrix with the best
#      reordering of step 1 (the smallest profile among those that finished at 10^6), in the
#      Release build; then once more in the sanitizer build (Debug, ASan+UBSan). Each road
#      reports its time, the peak resident memory of its process and the resident bytes per
#      stored entry; a skyline profile larger than SCALE_LIMIT_MB is reported, not allocated.
#
#   SCALE_TIMEOUT   seconds allowed to one reordering run (default 600)
#   SCALE_ROAD_TIMEOUT  seconds allowed to one road at 10^6 (default 3600)
#   SCALE_LIMIT_MB  largest skyline profile to allocate, MiB (default 4096)
#   SCALE_SANITIZE_LIMIT_MB  the same for the sanitizer pass (default 4096)
#   SCALE_SKIP_SANITIZE=1  skips the sanitizer pass
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make python3:python3 timeout:coreutils

timeout_s=${SCALE_TIMEOUT:-600}
road_timeout_s=${SCALE_ROAD_TIMEOUT:-3600}
export TARVEL_SCALE_LIMIT_MB=${SCALE_LIMIT_MB:-4096}
out=build/scale
mkdir -p "$out"
log="$out/results.txt"
: >"$log"

build() {  # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_APPS=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$(build_jobs)" --target scale_roads >/dev/null
}
build build/scale-release -DCMAKE_BUILD_TYPE=Release
release=$PWD/build/scale-release/examples/scale_roads

run() {  # label, program, arguments...: one line of results, or the reason there is none
  local label=$1 program=$2; shift 2
  local line status=0 limit=$timeout_s
  [[ $3 == reorder ]] || limit=$road_timeout_s
  line=$(cd "$out" && timeout "$limit" "$program" "$@" 2>/dev/null) || status=$?
  if ((status == 124)); then line="problem=$1 N=$2 road=$3 reordering=${4:-none} timeout=$limit"
  elif [[ -z $line ]]; then line="problem=$1 N=$2 road=$3 reordering=${4:-none} failed=$status"
  elif ((status)); then line="$line failed=$status"; fi
  echo "build=$label $line" | tee -a "$log"
}

# -- 1. Reorderings: 101^2, 317^2 and 1001^2 DOFs --
reorderings="MinDegReorder MinDegReorder2 MinDegReorder3 MinDegReorder4 Hager1 Hager2 Hager3
  TabuReorder TabuReorder2 RevCuthillMcKee Sloan SloanExchange"
for r in $reorderings; do
  for N in 100 316 1000; do
    run release "$release" square "$N" reorder "$r"
    tail -n1 "$log" | grep -q "timeout=\|failed=" && break
  done
done

# -- 2. The roads at a million DOFs --
best=$(python3 - "$log" <<'PY'
import sys
best = None
for line in open(sys.argv[1]):
    f = dict(kv.split("=", 1) for kv in line.split() if "=" in kv)
    if f.get("road") == "reorder" and f.get("N") == "1000" and "profile" in f:
        if best is None or float(f["profile"]) < best[0]:
            best = (float(f["profile"]), f["reordering"])
print(best[1] if best else "none")
PY
)
echo "best reordering at 10^6: $best"
for problem in "square 1000" "cube 99"; do
  run release "$release" $problem cg
  run release "$release" $problem skyline "$best"
done
if [[ ${SCALE_SKIP_SANITIZE:-0} != 1 ]]; then
  build build/scale-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARVEL_SANITIZE=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1
  export TARVEL_SCALE_LIMIT_MB=${SCALE_SANITIZE_LIMIT_MB:-4096}
  for problem in "square 1000" "cube 99"; do
    run sanitize "$PWD/build/scale-sanitize/examples/scale_roads" $problem cg
    run sanitize "$PWD/build/scale-sanitize/examples/scale_roads" $problem skyline "$best"
  done
fi

python3 scripts/scale_report.py "$log" docs/performance.md
echo "Wrote the scale section of docs/performance.md"
