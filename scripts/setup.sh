#!/usr/bin/env bash
# Installs the Debian packages the project needs (only the missing ones),
# then configures and builds into build/ (or $ORVANA_BUILD_DIR). Safe to run again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_BUILD_DIR:-$root/build}"

mapfile -t packages < <(grep -v '^\s*#' "$root/scripts/packages.txt" | sed '/^\s*$/d')
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${ORVANA_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$build" --parallel "${ORVANA_JOBS:-$(nproc)}"
