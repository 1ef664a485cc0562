# Shell functions shared by the scripts that start the virtual instrument
# (source it; the callers set -euo pipefail and end what the pids name).

# Starts kova-instrument of build folder $1 on root $2 in the background and
# waits for its "ready" line, which it prints. Sets instrument_pid; returns 1
# when the instrument did not start.
start_instrument() {
    local ready line
    ready=$(mktemp -u)
    mkfifo "$ready"
    "$1/simulator/instrument/kova-instrument" "$2" >"$ready" &
    instrument_pid=$!
    if ! read -r line <"$ready" || [[ $line != *ready* ]]; then
        rm -f "$ready"
        return 1
    fi
    rm -f "$ready"
    echo "$line"
}

# Starts a private 800×480 Xvfb screen in the background. Sets xvfb_pid and
# display (":N"); returns 1 when no screen came up.
start_xvfb() {
    local file
    file=$(mktemp)
    Xvfb -displayfd 4 -screen 0 800x480x24 -nolisten tcp 4>"$file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    display=":$(tr -d '\n' <"$file")"
    rm -f "$file"
    [ "$display" != ":" ]
}
