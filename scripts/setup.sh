#!/usr/bin/env bash
# Installs whatever is missing from scripts/packages.txt. Sourced by run.sh and test.sh.
set -euo pipefail

bandscope_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bandscope_install_packages() {
  local wanted=() missing=() pkg
  mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$bandscope_root/scripts/packages.txt")
  for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "==> all ${#wanted[@]} Debian packages are installed"
    return
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "==> installing: ${missing[*]}"
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures and builds one CMake preset; further arguments name the targets to build.
bandscope_build() {
  local preset="$1"
  shift
  echo "==> configuring preset $preset"
  cmake --preset "$preset" -S "$bandscope_root" >/dev/null
  echo "==> building preset $preset ${*:-(all targets)}"
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}
