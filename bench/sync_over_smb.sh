#!/usr/bin/env bash
# Sync runs over SMB, as people run them: a Samba server and a GVfs
# session of this run's own on 127.0.0.1 (tests/e2e/samba_session), the
# share mounted by the first run itself. A generated library is synced
# once and then again with nothing changed; beside them, through the same
# mount and in this run, `cp -r` copies the same tree and `rsync -a
# --dry-run` compares it with that copy (rsync cannot write through GVfs:
# it fails to set permissions and times). Each first run starts from an
# empty share. Output goes to /dev/null; no refresh (no web service).
#
# Usage: bench/sync_over_smb.sh <build dir> [tracks]
# Environment: CLI (the orvanasync-cli to time, default the build's), ROUNDS (runs of each, default 2 first and 3 no-change; the
# median counts), SIZE (bytes per generated track, default the maker's
# small files; real tracks make the copy, not the round trips, the cost).
# Needs root (smbd serves the share as the caller), smbd, gvfsd, /dev/fuse,
# python3, rsync and GNU time; the build must have the tests (samba_session).
# About 1.5 minutes for the default 2,000 tracks.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

if [[ "${1:-}" == --inside ]]; then
  # Within the session: $2 work folder, $3 the CLI, $4 rounds.
  work="$2"; cli="$3"; rounds="$4"
  cd "$work"
  printf '[General]\nMountMethod=gvfs\n' >settings.conf
  chmod 600 settings.conf
  synced=(sync --settings settings.conf --source library/Library.xml --server "$SAMBA_SERVER" --user "$SAMBA_USER"
          --password-file "$SAMBA_PASSWORD_FILE" --library-id BENCH --entire-library)
  measure() { # NAME COMMAND...
    local name="$1"; shift
    sync
    if ! /usr/bin/time -f '%e %U %S %M' -o time.out "$@" >/dev/null 2>"$name.err"; then
      echo "failed: $*" >&2; tail -n 20 "$name.err" >&2; exit 1
    fi
    tail -n 1 time.out >>"$name.times"
  }
  empty_share() { rm -rf "$SAMBA_SHARE_FOLDER"/{Music,Library,Artwork,cp-copy}; }
  for round in $(seq 1 "$rounds"); do
    echo "first runs, round $round..." >&2
    empty_share
    measure cli_first "$cli" "${synced[@]}"
    mount="$(ls -d "$GVFS_FUSE_FOLDER"/smb-share* | head -n 1)"
    measure cp_first cp -r library/Music "$mount/cp-copy"
  done
  [[ -f "$SAMBA_SHARE_FOLDER/Library/BENCH.xml" ]] || { echo "the share lacks the library file" >&2; exit 1; }
  for round in $(seq 1 $(( rounds + 1 ))); do
    echo "no-change runs, round $round..." >&2
    measure cli_again "$cli" "${synced[@]}"
    measure rsync_dry rsync -a --dry-run library/Music/ "$mount/cp-copy/"
  done
  exit 0
fi

build="$(cd "${1:?build dir}" && pwd)"
tracks="${2:-2000}"
rounds="${ROUNDS:-2}"
cli="${CLI:-$build/cli/orvanasync-cli}"
session="$build/tests/e2e/samba_session"
for program in "$cli" "$session"; do
  [[ -x "$program" ]] || { echo "$program is not built" >&2; exit 1; }
done
for tool in python3 rsync /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install python3 rsync time)" >&2; exit 1; }
done
work="$(mktemp -d /tmp/sync-over-smb.XXXXXX)"
trap 'rm -rf "$work"' EXIT
albums=$(( tracks / 10 > 0 ? tracks / 10 : 1 ))
echo "generating $tracks tracks in $albums albums..." >&2
python3 "$here/../tests/e2e/make_sample_library.py" "$work/library" --tracks "$tracks" --albums "$albums" \
  --size "${SIZE:-0}" >/dev/null
# One generated album has a name SMB does not allow ("Second <Wind>"): the
# sync drops such characters, cp and rsync cannot, so it is renamed.
mv "$work/library/Music/Bob & The Bells/Second <Wind>" "$work/library/Music/Bob & The Bells/Second Wind"
sed -i 's/Second%20%3CWind%3E/Second%20Wind/' "$work/library/Library.xml"
"$session" "$work/session" bash "$0" --inside "$work" "$cli" "$rounds"

median() { awk -v c="$2" '{print $c}' "$work/$1.times" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
row() { # NAME LABEL [REFERENCE]
  local wall
  wall="$(median "$1" 1)"
  printf '%-36s %8.2f s' "$2" "$wall"
  [[ -n "${3:-}" ]] && awk -v a="$wall" -v b="$(median "$3" 1)" 'BEGIN {printf "   %.2f x %s", (b > 0 ? a / b : 0), ""}' \
    && printf '%s' "$3"
  printf '\n'
}
printf '\n%s tracks over SMB through GVfs (127.0.0.1), %s cores\n' "$(find "$work/library/Music" -type f | wc -l)" "$(nproc)"
echo "first run, empty share (median of $rounds)"
row cp_first "  cp -r"
row cli_first "  orvanasync-cli sync" cp_first
echo "no-change run (median of $(( rounds + 1 )))"
row rsync_dry "  rsync -a --dry-run"
row cli_again "  orvanasync-cli sync" rsync_dry
