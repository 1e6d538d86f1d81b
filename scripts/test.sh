#!/usr/bin/env bash
# Builds and runs every test twice: a normal build and an AddressSanitizer+UBSan build; then
# installs the library into a scratch prefix, builds a small consumer project against it
# through find_package and pkg-config, and runs the installed tarvel-fem on a small grid. Any
# failing test or sanitizer report fails the run. Gmsh's API (libgmsh-dev, about 40 MB) is
# installed so that the demo's --mesh test runs rather than being skipped; PETSc (petsc-dev, with
# Open MPI) so that Tarvel::PETSc is built and its tests run on 1 and 2 MPI ranks; scipy so that
# the Matrix Market interchange test runs; a de_DE.UTF-8 locale so that the text formats are
# checked under a comma decimal point. The tree's formatting and the one-way includes of the
# library's layers are checked first (scripts/format.sh, scripts/check-layers.sh), then the API
# reference is generated (scripts/docs.sh: any Doxygen warning on the public headers fails the
# run), and the normal build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages cmake:cmake g++:g++ make:make pkg-config:pkg-config \
  /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake:libgtest-dev \
  /usr/include/benchmark/benchmark.h:libbenchmark-dev /usr/include/gmsh.h:libgmsh-dev \
  /usr/lib/python3/dist-packages/scipy/io/__init__.py:python3-scipy \
  /usr/lib/x86_64-linux-gnu/pkgconfig/PETSc.pc:petsc-dev mpirun:openmpi-bin \
  /usr/include/x86_64-linux-gnu/openblas-pthread/cblas.h:libopenblas-dev \
  /usr/lib/x86_64-linux-gnu/liblapack.so:liblapack-dev \
  /usr/include/suitesparse/amd.h:libsuitesparse-dev /usr/include/metis.h:libmetis-dev \
  script:bsdutils  # the progress-bar test gives the demo a pseudo-terminal through script(1)
# The text formats are also checked under a comma-decimal locale (tests/io/TextFiles.h):
# a German one is made when the system lacks it, and the test fails rather than skips without it.
ensure_packages localedef:locales
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  sudo=(); if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
  "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
export TARVEL_TEST_COMMA_LOCALE=de_DE.UTF-8
if ! pkg-config --exists PETSc; then
  echo "NOTE: PETSc not found: Tarvel::PETSc is not built and its tests are skipped"
fi

jobs=$(build_jobs)
status=0

echo "=== formatting ==="
./scripts/format.sh || status=1
echo "=== layers ==="
./scripts/check-layers.sh || status=1
echo "=== API reference ==="
./scripts/docs.sh || status=1

run_suite() {  # name, extra cmake arguments...
  local name=$1; shift
  local dir=build/$name
  echo "=== $name build ==="
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_BUILD_BENCHMARKS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "=== $name tests ==="
  if ! (cd "$dir" && ctest --output-on-failure -j "$jobs"); then status=1; fi
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite tests -DTARVEL_WERROR=ON
run_suite tests-sanitize -DTARVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

echo "=== consumer of the installed package ==="
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/tests --prefix "$prefix" >/dev/null
cmake -S tests/consumer -B build/consumer -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/consumer -j "$jobs" >/dev/null
LD_LIBRARY_PATH="$prefix/lib" build/consumer/tarvel-consumer || status=1
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" \
  g++ tests/consumer/consumer.cpp $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs TarvelR10) \
  -o build/consumer/tarvel-consumer-pc
LD_LIBRARY_PATH="$prefix/lib" build/consumer/tarvel-consumer-pc || status=1
echo "=== installed tarvel-fem ==="
"$prefix/bin/tarvel-fem" --nx 20 --ny 5 --road system,skyline,cg --quiet >/dev/null || status=1
if [[ -e "$prefix/lib/libTarvelPETSc.so" ]]; then
  # Open MPI refuses to start as root unless told (CI runs as root).
  OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun --oversubscribe -n 2 \
    "$prefix/bin/tarvel-fem" --road petsc --nx 20 --ny 5 --quiet >/dev/null || status=1
fi

if ((status)); then echo "FAILED"; else echo "All test suites passed."; fi
exit $status
