#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan+UBSan) into build-fuzz/ and
# runs each for ORVANA_FUZZ_SECONDS (default 20) on a copy of its seed corpus,
# as many at a time as there are cores (ORVANA_JOBS).
# ORVANA_FUZZ_BUILD_DIR names a build already configured with -DORVANA_FUZZ=ON
# (such as the sanitizer build of .ci/run): it is brought up to date, not
# configured again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${ORVANA_FUZZ_SECONDS:-20}"
jobs="${ORVANA_JOBS:-$(nproc)}"
if [[ -n "${ORVANA_FUZZ_BUILD_DIR:-}" ]]; then
  build="$ORVANA_FUZZ_BUILD_DIR"
  [[ -f "$build/fuzzers.txt" ]] || { echo "fuzz: $build is not configured with -DORVANA_FUZZ=ON" >&2; exit 2; }
  cmake --build "$build" --parallel "$jobs"
else
  build="$root/build-fuzz"
  CC=clang CXX=clang++ ORVANA_BUILD_DIR="$build" ORVANA_BUILD_TYPE=RelWithDebInfo \
    bash "$root/scripts/setup.sh" -DORVANA_FUZZ=ON -DORVANA_TESTS=OFF -DORVANA_BENCHMARKS=OFF
fi

# One fuzzer: its binary on a copy of its corpus; the exit status tells.
run_fuzzer() {
  local name="$1" corpus="$2" binary work status=0
  binary="$(find "$build" -type f -name "$name" -perm -u+x | head -n1)"
  work="$(mktemp -d)"
  if [[ -n "$corpus" && -d "$root/$corpus" ]]; then cp -r "$root/$corpus/." "$work/"; fi
  "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
    -artifact_prefix="$build/$name-" "$work" >"$build/$name.log" 2>&1 || status=$?
  rm -rf "$work"
  return $status
}

declare -A running=() # pid -> fuzzer name
failed=0
finish_one() {
  local pid status=0
  wait -n -p pid "${!running[@]}" || status=$?
  if ((status != 0)); then
    echo "fuzz: ${running[$pid]} FAILED"; tail -n 60 "$build/${running[$pid]}.log"; failed=1
  fi
  unset "running[$pid]"
}
while IFS='|' read -r name corpus; do
  [[ -n "$name" ]] || continue
  while ((${#running[@]} >= jobs)); do finish_one; done
  echo "fuzz: $name for ${seconds}s"
  run_fuzzer "$name" "$corpus" </dev/null &
  running[$!]="$name"
done < "$build/fuzzers.txt"
while ((${#running[@]} > 0)); do finish_one; done
exit $failed
