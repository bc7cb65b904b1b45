#!/usr/bin/env bash
# Sets up and shows the desktop program on the sample library, with the
# music-server simulator on 127.0.0.1:8731 and a share folder of its own.
# For a person at a desktop (needs DISPLAY or WAYLAND_DISPLAY). Press Sync,
# then Exit; the script prints what reached the share. Nothing leaves this
# machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORVANA_BUILD_DIR:-$root/build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "window: no display; run this in a desktop session (the headless demonstration is scripts/run.sh)" >&2
    exit 2
fi
bash "$root/scripts/setup.sh" >/dev/null
window="$build/desktop/orvanasync"
simulator="$build/tools/simulator/orvana-simulator"

work="$(mktemp -d "${TMPDIR:-/tmp}/orvanasync-window.XXXXXX")"
simulator_pid=""
cleanup() {
    if [ -n "$simulator_pid" ]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

python3 "$root/tests/e2e/make_sample_library.py" "$work/library" >/dev/null
mkdir -p "$work/share"
# The settings of a user who has set up the server by its address.
umask 077
cat >"$work/settings.conf" <<SETTINGS
[General]
MusicSource=$work/library/Library.xml
ShareFolder=$work/share
MusicServerIPAddress=127.0.0.1
SelectByIPAddress=true
ITunesLibraryName=Demo Library
SyncEntireLibrary=true
SETTINGS

"$simulator" --port 8731 --share "$work/share" --log "$work/requests.log" >"$work/simulator.out" 2>&1 &
simulator_pid=$!
for _ in $(seq 50); do
    grep -q "Listening" "$work/simulator.out" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q "Listening" "$work/simulator.out"; then
    cat "$work/simulator.out" >&2
    echo "window: the simulator did not start" >&2
    exit 1
fi

"$window" --settings "$work/settings.conf"

echo "== On the share"
(cd "$work/share" && find . -type f | sort)
