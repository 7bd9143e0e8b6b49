# Sourced by the scripts that need a private X display (bash).
#   start_private_display  starts Xvfb on a free display number, exports
#                          DISPLAY and remembers the server's pid;
#   stop_private_display   ends that server, and only that one.

XVFB_PID=""

start_private_display() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        rm -f "$number_file"
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$number_file")"
    rm -f "$number_file"
}

stop_private_display() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
    fi
    return 0
}
