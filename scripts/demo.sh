#!/usr/bin/env bash
# Sets up what is missing, builds the library and its programs out of source, and runs the
# main job.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(build_jobs)"
exec build/release/examples/fem_roads "$@"
