# Sourced by the other scripts: installs Debian packages that are missing, and only those.
# Usage: ensure_packages <command-or-file>:<package> ...
#   a probe starting with / is a file that must exist, otherwise a command on PATH.

ensure_packages() {
  local missing=()
  local pair probe pkg
  for pair in "$@"; do
    probe=${pair%%:*}
    pkg=${pair#*:}
    if [[ $probe == /* ]]; then
      [[ -e $probe ]] || missing+=("$pkg")
    else
      command -v "$probe" >/dev/null 2>&1 || missing+=("$pkg")
    fi
  done
  if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Number of parallel build jobs.
build_jobs() { nproc 2>/dev/null || echo 2; }
