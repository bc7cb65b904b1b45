#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan+UBSan) into build-fuzz/ and
# runs each for ORVANA_FUZZ_SECONDS (default 20) on a copy of its seed corpus.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${ORVANA_FUZZ_SECONDS:-20}"
CC=clang CXX=clang++ ORVANA_BUILD_DIR="$build" ORVANA_BUILD_TYPE=RelWithDebInfo \
  bash "$root/scripts/setup.sh" -DORVANA_FUZZ=ON -DORVANA_TESTS=OFF -DORVANA_BENCHMARKS=OFF
status=0
while IFS='|' read -r name corpus; do
  [[ -n "$name" ]] || continue
  binary="$(find "$build" -type f -name "$name" -perm -u+x | head -n1)"
  work="$(mktemp -d)"
  if [[ -n "$corpus" && -d "$root/$corpus" ]]; then cp -r "$root/$corpus/." "$work/"; fi
  echo "fuzz: $name for ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
       -artifact_prefix="$build/$name-" "$work" >"$build/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 60 "$build/$name.log"; status=1
  fi
  rm -rf "$work"
done < "$build/fuzzers.txt"
exit $status
