#!/usr/bin/env bash
# Checks the dynamic symbol table of the shared library against the public headers (every header
# under tarvel/ outside detail/): a class they define whose members the library's objects define
# must export them, and nothing of tarvel::detail or of an anonymous namespace may be exported.
# A public class without TARVEL_API (tarvel/platform/Export.h) fails here although the tests,
# which link the library's objects, pass.
# Usage: scripts/check-exports.sh path/to/libTarvelR10.so directory-with-the-library-objects
set -euo pipefail
lib=$1
objects=$2
root=$(cd "$(dirname "$0")/.." && pwd)
exported=$(nm -D --defined-only -C "$lib" | cut -d' ' -f3-)
defined=$(find "$objects" -name '*.o' -exec nm -C --defined-only {} + | awk '$2 ~ /^[TDBR]$/' |
  cut -d' ' -f3-)
status=0

mapfile -t headers < <(find "$root/tarvel" -name '*.h' -not -path '*/detail/*' | sort)
mapfile -t classes < <(sed -nE \
  's/^(template <[^>]*> )?(class|struct) (TARVEL_API )?([A-Za-z_][A-Za-z0-9_]*)( :.*)?$/\4/p' \
  "${headers[@]}" | sort -u)
for c in "${classes[@]}"; do
  member="(^|[^A-Za-z0-9_])$c(<[^>]*>)?::"
  if grep -qE "$member" <<<"$defined" && ! grep -qE "$member" <<<"$exported"; then
    echo "not exported: $c (mark it TARVEL_API)"
    status=1
  fi
done
if grep -E "tarvel::detail|anonymous namespace" <<<"$exported"; then
  echo "exported although internal (above)"
  status=1
fi
((status)) || echo "exports: ${#classes[@]} public classes checked, nothing internal exported"
exit $status
