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

. "$root/scripts/sample_world.sh"
make_sample_world orvanasync-window
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

start_simulator

"$window" --settings "$work/settings.conf"

echo "== On the share"
(cd "$work/share" && find . -type f | sort)
