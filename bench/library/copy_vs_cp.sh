#!/usr/bin/env bash
# Copies 100 new tracks of 5 MB each through copyTrack and with a plain cp of
# the same files into the same kind of folder, alternately, and prints the
# times and their ratio (median of the rounds).
# Usage: bench/library/copy_vs_cp.sh <build dir> [rounds] [work folder]
set -euo pipefail
build="${1:?build dir}"
rounds="${2:-5}"
work="$(mktemp -d "${3:-/tmp}/copy-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
tool="$(find "$build" -type f -name copy_tracks_tool -perm -u+x | head -n1)"
[[ -x "$tool" ]] || { echo "copy_tracks_tool not built in $build" >&2; exit 1; }
mkdir -p "$work/source"
for i in $(seq -w 1 100); do head -c 5242880 /dev/urandom > "$work/source/$i Track $i.mp3"; done
sync
now() { date +%s.%N; }
engine=(); engine_inside=(); plain=()
settle() { sync; sleep "${ORVANA_COPY_BENCH_SETTLE:-3}"; }
run_cp() {
  settle
  mkdir -p "$work/share-cp/Music/Artist/Album"
  start=$(now); cp "$work/source/"* "$work/share-cp/Music/Artist/Album/"; end=$(now)
  plain+=("$(echo "$end - $start" | bc -l)")
  sync
}
run_engine() {
  settle
  start=$(now); inside=$("$tool" "$work/source" "$work/share-engine/Music"); end=$(now)
  engine+=("$(echo "$end - $start" | bc -l)")
  engine_inside+=("$inside")
  cmp -s "$work/source/050 Track 050.mp3" "$work/share-engine/Music/Artist/Album/050 Track 050.mp3"
  sync
}
# Alternate which copy goes first, so that neither always meets the other's
# write-back.
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/share-cp" "$work/share-engine"; sync
  if (( round % 2 )); then run_cp; run_engine; else run_engine; run_cp; fi
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m_cp=$(median "${plain[@]}"); m_engine=$(median "${engine[@]}")
echo "cp:        ${plain[*]} (median $m_cp s)"
echo "copyTrack: ${engine[*]} (median $m_engine s)"
m_inside=$(median "${engine_inside[@]}")
echo "copyTrack inside the process (no start-up): ${engine_inside[*]} (median $m_inside s)"
echo "ratio copyTrack/cp: $(echo "$m_engine / $m_cp" | bc -l | cut -c1-5)"
echo "ratio copyTrack/cp without process start-up: $(echo "$m_inside / $m_cp" | bc -l | cut -c1-5)"
