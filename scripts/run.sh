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
"$cli" --version

. "$root/scripts/sample_world.sh"

echo "== Sample library"
make_sample_world orvanasync-demo
"$cli" playlists --source "$work/library/Library.xml" --settings "$work/settings.conf"

echo "== Music-server simulator on 127.0.0.1:8731"
start_simulator
cat "$work/simulator.out"

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
stop_simulator
tail -n 1 "$work/requests.log"
