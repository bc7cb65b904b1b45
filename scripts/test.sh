#!/usr/bin/env bash
# Sets up (packages, configure, build) and runs the whole test suite.
# Extra arguments go to the configure step, e.g. -DORVANA_SANITIZE=ON.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_BUILD_DIR:-$root/build}"
bash "$root/scripts/setup.sh" "$@"
cd "$build"
ctest --output-on-failure --parallel "${ORVANA_JOBS:-$(nproc)}" --timeout 600
