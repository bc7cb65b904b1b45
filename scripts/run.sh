#!/usr/bin/env bash
# Sets up and runs the main job on its built-in default: a demonstration
# sync of a sample library to the music-server simulator on 127.0.0.1:8731,
# twice (the second run copies nothing). Nothing leaves this machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_BUILD_DIR:-$root/build}"
echo "== Set-up: missing packages, configure and build (about 15 minutes on a fresh machine)"
# The installer's and the build's own progress, on standard error, so that a
# long build is seen to move.
bash "$root/scripts/setup.sh" >&2
echo "== Built"
cli="$build/cli/orvanasync-cli"
simulator="$build/tools/simulator/orvana-simulator"
"$cli" --version

work="$(mktemp -d "${TMPDIR:-/tmp}/orvanasync-demo.XXXXXX")"
simulator_pid=""
cleanup() {
    if [ -n "$simulator_pid" ]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Sample library"
python3 "$root/tests/e2e/make_sample_library.py" "$work/library" >/dev/null
mkdir -p "$work/share"
"$cli" playlists --source "$work/library/Library.xml" --settings "$work/settings.conf"

echo "== Music-server simulator on 127.0.0.1:8731"
"$simulator" --port 8731 --share "$work/share" --log "$work/requests.log" >"$work/simulator.out" 2>&1 &
simulator_pid=$!
for _ in $(seq 50); do
    grep -q "Listening" "$work/simulator.out" 2>/dev/null && break
    sleep 0.1
done
cat "$work/simulator.out"
if ! grep -q "Listening" "$work/simulator.out"; then
    echo "run: the simulator did not start" >&2
    exit 1
fi

sync_once() {
    "$cli" sync --settings "$work/settings.conf" --source "$work/library/Library.xml" \
        --server 127.0.0.1 --share-folder "$work/share" --library-name "Demo Library" --entire-library
}
echo "== First run"
sync_once
echo "== Second run (nothing new to copy)"
sync_once

echo "== On the share"
(cd "$work/share" && find . -type f | sort)
echo "== What the simulator found (its last request)"
kill "$simulator_pid" && wait "$simulator_pid" 2>/dev/null || true
simulator_pid=""
tail -n 1 "$work/requests.log"
