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

# xmllint: best wall time of several runs (process start included; it is a
# small part of a 5 MB parse).
best_ns=""
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  xmllint --noout "$document"
  elapsed=$(( $(date +%s%N) - start ))
  if [[ -z "$best_ns" || $elapsed -lt $best_ns ]]; then best_ns=$elapsed; fi
done

"$binary" --benchmark_format=json --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  >"$work/model.json"

python3 - "$bytes" "$best_ns" "$work/model.json" <<'PY'
import json, sys
size, xmllint_ns, report = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
mb = size / 1e6
xmllint_rate = mb / (xmllint_ns / 1e9)
print(f"document: {size} bytes")
print(f"xmllint --noout: {xmllint_ns / 1e6:.1f} ms, {xmllint_rate:.1f} MB/s (best of runs)")
for entry in json.load(open(report))["benchmarks"]:
    if entry.get("aggregate_name") != "median":
        continue
    rate = entry["bytes_per_second"] / 1e6
    print(f"{entry['run_name']}: {entry['real_time']:.1f} ms, {rate:.1f} MB/s, "
          f"ratio to xmllint {rate / xmllint_rate:.2f}")
PY
