#!/usr/bin/env bash
# Times `xmllint --noout` and the XML model's benchmark on the same 5 MB SOAP
# response, in one run, and prints the throughput of each and their ratio.
# Usage: bench/xml/compare_xmllint.sh [path/to/xml_benchmark]
# (default: $ORVANA_BUILD_DIR/bench/xml/xml_benchmark, ORVANA_BUILD_DIR
# defaulting to build/). Build the benchmark in a Release or RelWithDebInfo
# tree first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
binary="${1:-${ORVANA_BUILD_DIR:-$root/build}/bench/xml/xml_benchmark}"
runs="${XMLLINT_RUNS:-20}"
[[ -x "$binary" ]] || { echo "no benchmark binary at $binary" >&2; exit 1; }
command -v xmllint >/dev/null || { echo "xmllint is not installed (libxml2-utils)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
document="$work/response.xml"
"$binary" --write-document="$document"
bytes=$(stat -c %s "$document")

# xmllint: the best of several runs, in CPU time (user + system) as Google
# Benchmark reports its rates, so that other load on the machine does not
# skew the ratio; process start-up is included and is a small part of it.
TIMEFORMAT='%3U %3S %3R'
best_cpu_ms=""
best_wall_ms=""
for ((i = 0; i < runs; i++)); do
  read -r user sys real < <({ time xmllint --noout "$document" >/dev/null; } 2>&1)
  cpu_ms=$(python3 -c "print(round(($user + $sys) * 1000, 3))")
  wall_ms=$(python3 -c "print(round($real * 1000, 3))")
  if [[ -z "$best_cpu_ms" ]] || python3 -c "import sys; sys.exit(0 if $cpu_ms < $best_cpu_ms else 1)"; then
    best_cpu_ms=$cpu_ms
  fi
  if [[ -z "$best_wall_ms" ]] || python3 -c "import sys; sys.exit(0 if $wall_ms < $best_wall_ms else 1)"; then
    best_wall_ms=$wall_ms
  fi
done

"$binary" --benchmark_format=json --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  >"$work/model.json"

python3 - "$bytes" "$best_cpu_ms" "$best_wall_ms" "$work/model.json" <<'PY'
import json, sys
size, cpu_ms, wall_ms, report = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
mb = size / 1e6
xmllint_rate = mb / (cpu_ms / 1e3)
print(f"document: {size} bytes")
print(f"xmllint --noout: {cpu_ms:.1f} ms CPU ({wall_ms:.1f} ms wall), {xmllint_rate:.1f} MB/s (best of runs)")
for entry in json.load(open(report))["benchmarks"]:
    if entry.get("aggregate_name") != "median":
        continue
    rate = entry["bytes_per_second"] / 1e6
    print(f"{entry['run_name']}: {entry['cpu_time']:.1f} ms CPU ({entry['real_time']:.1f} ms wall), "
          f"{rate:.1f} MB/s, ratio to xmllint {rate / xmllint_rate:.2f}")
PY
