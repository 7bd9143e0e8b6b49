# shellcheck shell=bash
# Sourced by the scripts that need an X display (bash).
#   start_private_display  starts Xvfb on a free display number, exports
#                          DISPLAY and remembers the server's pid;
#   stop_private_display   ends that server, and only that one;
#   display_answers [D]    whether an X server answers at D (default: $DISPLAY);
#   use_display_or_private keeps $DISPLAY if its server answers, otherwise
#                          starts a private one and says why.

XVFB_PID=""

start_private_display() {
    local number_file
    number_file=$(mktemp)
    # setpriv ties the server to this shell: killed outright, it takes its
    # Xvfb along instead of leaving it running for good.
    setpriv --pdeathsig KILL -- \
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        rm -f "$number_file"
        stop_private_display
        echo "Xvfb did not start" >&2
        return 1
    fi
    DISPLAY=":$(head -n 1 "$number_file")"
    export DISPLAY
    rm -f "$number_file"
}

# Safe under set -e and from an EXIT trap: the server may be gone already.
stop_private_display() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
    return 0
}

# Asks the server for its screen size. A stale forward or a server that is
# gone answers with an error, or not at all: hence the time limit.
display_answers() {
    local display=${1-${DISPLAY:-}}
    [ -n "$display" ] || return 1
    DISPLAY=$display timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1
}

use_display_or_private() {
    local why
    if [ -z "${DISPLAY:-}" ]; then
        why="DISPLAY is not set"
    elif display_answers "$DISPLAY"; then
        return 0
    else
        why="nothing answers at DISPLAY=$DISPLAY"
    fi
    start_private_display || return 1
    echo "$why: the game runs in a private X display, $DISPLAY."
}
