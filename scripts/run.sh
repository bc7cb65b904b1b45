#!/usr/bin/env bash
# Sets up and runs the main job on its built-in default.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_BUILD_DIR:-$root/build}"
bash "$root/scripts/setup.sh" >/dev/null
"$build/app/orvanasync-cli" --version
"$build/app/orvanasync-cli" --help
