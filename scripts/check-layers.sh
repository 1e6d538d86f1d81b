#!/usr/bin/env bash
# Checks that the includes of the library run one way. The folders of tarvel/ form layers,
# lowest first; a file may include headers of its own folder and of the folders below it, never
# of one above it. The umbrella header and the library's entry file (tarvel/*.h, tarvel/*.cpp)
# stand above every layer. Prints each upward include (file, line, included header) and exits
# non-zero when there is one, or when a file includes a folder that is not a layer.
# Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(platform io core containers sparse reorder skyline exchange)

rank() {  # the position of folder $1 in the layers, or nothing
  local i
  for i in "${!layers[@]}"; do
    if [[ ${layers[$i]} == "$1" ]]; then
      echo "$i"
      return
    fi
  done
}

top=${#layers[@]}
status=0
checked=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  header=$(sed -nE 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](tarvel/[^>"]*)[>"].*|\1|p' <<<"${rest#*:}")
  [[ -z $header ]] && continue
  checked=$((checked + 1))
  folder=${file#tarvel/}
  if [[ $folder == */* ]]; then from=$(rank "${folder%%/*}"); else from=$top; fi
  target=${header#tarvel/}
  if [[ $target == */* ]]; then to=$(rank "${target%%/*}"); else to=$top; fi
  if [[ -z $from ]]; then
    echo "$file: not in a layer (scripts/check-layers.sh lists them)"
    status=1
  elif [[ -z $to ]]; then
    echo "$file:$line: includes $header, which is in no layer"
    status=1
  elif ((to > from)); then
    echo "$file:$line: includes $header, from a layer above its own"
    status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]tarvel/' tarvel \
  --include='*.h' --include='*.cpp' | sort)

if ((status)); then
  echo "Layers, lowest first: ${layers[*]}"
  exit 1
fi
echo "layers: $checked includes of tarvel/ run one way (${layers[*]})"
