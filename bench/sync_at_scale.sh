#!/usr/bin/env bash
# A sync run at scale beside the tools that do the same work, all measured in
# this run: a library of 100,000 tracks (real files) in 10,000 albums with
# 200 playlists of 500, copied by a first `orvanasync-cli sync` to a share
# folder and by `cp -r` and `rsync -a`, then synced again with nothing
# changed beside `rsync -a --dry-run` of the same tree. A library a tenth of
# the size gives the cost per track. When the desktop program has been
# built, the window's no-change run of the large library is timed too
# (offscreen). Output goes to /dev/null; no server, so no refresh.
#
# Usage: bench/sync_at_scale.sh <build dir> [tracks] [work folder]
# The work folder defaults to /dev/shm (memory: the disk's other users do not
# time the copies); it holds about five copies of the tree.
# Environment: ROUNDS (no-change runs of each tool, default 3; the median
# counts), FIRST_ROUNDS (first runs and copies, default 1), WINDOW=0 leaves
# the window out.
# Needs python3 and GNU time (/usr/bin/time); without rsync its rows are left
# out, and the output says so.
set -euo pipefail
build="$(cd "${1:?build dir}" && pwd)"
tracks="${2:-100000}"
rounds="${ROUNDS:-3}"
first_rounds="${FIRST_ROUNDS:-1}"
here="$(cd "$(dirname "$0")" && pwd)"
maker="$here/../tests/e2e/make_sample_library.py"
cli="$build/cli/orvanasync-cli"
desktop="$build/desktop/orvanasync"
[[ -x "$cli" ]] || { echo "orvanasync-cli is not built in $build" >&2; exit 1; }
for tool in python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install python3 time)" >&2; exit 1; }
done
have_rsync=1
command -v rsync >/dev/null || have_rsync=0
default_work=/dev/shm; [[ -w "$default_work" ]] || default_work=/tmp
work="$(mktemp -d "${3:-$default_work}/sync-at-scale.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# measure NAME COMMAND...: appends "wall user sys peak-kB" of one run to
# $work/NAME.times; standard output goes to /dev/null.
measure() {
  local name="$1"; shift
  sync
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time.out" "$@" >/dev/null 2>"$work/$name.err"; then
    echo "failed: $*" >&2; tail -n 20 "$work/$name.err" >&2; exit 1
  fi
  tail -n 1 "$work/time.out" >>"$work/$name.times"
}
# column N of NAME's runs, median
median() { awk -v c="$2" '{print $c}' "$work/$1.times" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
peak_mb() { awk '{if ($4 > m) m = $4} END {printf "%.0f", m / 1024}' "$work/$1.times"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
row() { # NAME LABEL [REFERENCE]
  local wall cpu
  wall="$(median "$1" 1)"
  cpu="$(awk '{print $2 + $3}' "$work/$1.times" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')"
  printf '%-44s %8.2f s %8.2f s %7s MB' "$2" "$wall" "$cpu" "$(peak_mb "$1")"
  [[ -n "${3:-}" ]] && printf '   %s x %s' "$(ratio "$wall" "$(median "$3" 1)")" "$3"
  printf '\n'
}

make_library() { # FOLDER TRACKS
  python3 "$maker" "$1" --tracks "$2" --albums $(( $2 / 10 > 0 ? $2 / 10 : 1 )) \
    --playlists $(( $2 >= 100000 ? 200 : $2 / 500 )) --playlist-length 500 >/dev/null
}
# orvanasync-cli sync "${synced[@]}" --source LIBRARY --share-folder SHARE
synced=(--settings "$work/settings.conf" --entire-library --library-id BENCH)

echo "generating $tracks tracks in $(( tracks / 10 )) albums..." >&2
big="$work/big"; small="$work/small"
make_library "$big" "$tracks"
make_library "$small" $(( tracks / 10 ))
echo "source tree: $(du -sh "$big/Music" | cut -f1), $(find "$big/Music" -type f | wc -l) files" >&2

for round in $(seq 1 "$first_rounds"); do
  rm -rf "$work/cp-copy" "$work/rsync-copy" "$work/share"; mkdir -p "$work/share"
  echo "first runs, round $round..." >&2
  measure cp_first cp -r "$big/Music" "$work/cp-copy"
  measure cli_first "$cli" sync "${synced[@]}" --source "$big/Library.xml" --share-folder "$work/share"
  if (( have_rsync )); then measure rsync_first rsync -a "$big/Music/" "$work/rsync-copy/"; fi
done
cmp -s "$big/Music/Filler Artist 7/Filler Album 29/030 Filler.mp3" \
  "$work/share/Music/Filler Artist 7/Filler Album 29/030 Filler.mp3" || { echo "the share lacks a track" >&2; exit 1; }

# The window reads the same run from its settings file.
for setting in "MusicSource=$big/Library.xml" "ShareFolder=$work/share" SyncEntireLibrary=true iTunesGUID=BENCH; do
  "$cli" --settings "$work/window.conf" config set "${setting%%=*}" "${setting#*=}"
done
mkdir -p "$work/small-share"
"$cli" sync "${synced[@]}" --source "$small/Library.xml" --share-folder "$work/small-share" >/dev/null 2>&1
for round in $(seq 1 "$rounds"); do
  echo "no-change runs, round $round..." >&2
  if (( have_rsync )); then measure rsync_dry rsync -a --dry-run "$big/Music/" "$work/rsync-copy/"; fi
  measure cli_again "$cli" sync "${synced[@]}" --source "$big/Library.xml" --share-folder "$work/share"
  measure cli_again_small "$cli" sync "${synced[@]}" --source "$small/Library.xml" \
    --share-folder "$work/small-share"
  if [[ -x "$desktop" && "${WINDOW:-1}" != 0 ]]; then
    measure window_again env QT_QPA_PLATFORM=offscreen ORVANASYNC_AUTOMATED_RUN=1 \
      "$desktop" --settings "$work/window.conf"
  fi
done

printf '\n%s tracks, %s albums, %s playlists; %s\n' "$tracks" $(( tracks / 10 )) \
  $(( tracks >= 100000 ? 200 : tracks / 500 )) "$(nproc) cores"
printf '%-44s %10s %10s %10s\n' "" "wall" "cpu" "peak"
echo "first run (median of $first_rounds)"
row cp_first "  cp -r"
if (( have_rsync )); then row rsync_first "  rsync -a"; else echo "  rsync -a: rsync is missing (apt-get install rsync), left out"; fi
row cli_first "  orvanasync-cli sync" cp_first
echo "no-change run (median of $rounds)"
if (( have_rsync )); then
  row rsync_dry "  rsync -a --dry-run"
  row cli_again "  orvanasync-cli sync" rsync_dry
else
  echo "  rsync -a --dry-run: rsync is missing (apt-get install rsync), left out"
  row cli_again "  orvanasync-cli sync"
fi
row cli_again_small "  orvanasync-cli sync, $(( tracks / 10 )) tracks"
if [[ -f "$work/window_again.times" ]]; then
  row window_again "  orvanasync (window, offscreen)" cli_again
  printf 'window / orvanasync-cli, no-change run: %s x (at most 2 x)\n' \
    "$(ratio "$(median window_again 1)" "$(median cli_again 1)")"
fi
big_wall="$(median cli_again 1)"; small_wall="$(median cli_again_small 1)"
awk -v b="$big_wall" -v s="$small_wall" -v n="$tracks" \
  'BEGIN {printf "cost per track, no-change run (%d to %d tracks): %.1f us\n", n / 10, n, (b - s) / (n - n / 10) * 1e6}'
