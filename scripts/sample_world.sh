# Sourced by run.sh and window.sh (after root and build are set): a work
# folder with the sample library and a share folder, the music-server
# simulator on 127.0.0.1:8731, and their removal when the script ends.

simulator="$build/tools/simulator/orvana-simulator"
simulator_pid=""

# make_sample_world NAME: $work holds library/Library.xml and share/.
make_sample_world() {
    work="$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")"
    trap remove_sample_world EXIT
    python3 "$root/tests/e2e/make_sample_library.py" "$work/library" >/dev/null
    mkdir -p "$work/share"
}

remove_sample_world() {
    stop_simulator
    rm -rf "$work"
}

# Starts the simulator on the share, logging to $work/requests.log; its
# banner is in $work/simulator.out. Fails when it does not listen.
start_simulator() {
    "$simulator" --port 8731 --share "$work/share" --log "$work/requests.log" >"$work/simulator.out" 2>&1 &
    simulator_pid=$!
    for _ in $(seq 50); do
        grep -q "Listening" "$work/simulator.out" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$work/simulator.out" >&2
    echo "$(basename "$0"): the simulator did not start" >&2
    return 1
}

stop_simulator() {
    if [ -n "$simulator_pid" ]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
        simulator_pid=""
    fi
}
