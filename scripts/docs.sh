#!/usr/bin/env bash
# Generates the API reference from the comments of the public headers (every header of tarvel/
# outside detail/, and the headers the components install) into build/docs/html with Doxygen,
# installed when missing; the settings are in docs/Doxyfile. Fails on any Doxygen warning: a
# public class or member without its comment, or a comment Doxygen cannot read.
# Usage: scripts/docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages doxygen:doxygen

version=$(sed -nE 's/^project\(TarvelR10 VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
rm -rf build/docs
mkdir -p build/docs
if ! TARVEL_VERSION=$version doxygen docs/Doxyfile; then
  echo "docs: Doxygen found the problems above in the public headers"
  exit 1
fi
echo "docs: API reference of Tarvel $version in build/docs/html/index.html"
