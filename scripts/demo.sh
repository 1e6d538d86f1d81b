#!/usr/bin/env bash
# Sets up what is missing, builds the library and the demo program tarvel-fem out of source, and
# runs it: with no arguments it solves the default plate by the system-matrix and the skyline
# road (./scripts/demo.sh --help lists the options). Gmsh's API (libgmsh-dev) is used for --mesh
# when it is installed, and not needed otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(build_jobs)" --target tarvel-fem
exec build/release/apps/tarvel-fem/tarvel-fem "$@"
