#!/usr/bin/env bash
# The X displays of scripts/display.sh against real Xvfb servers: the probe
# tells a display that answers from one that does not, a dead DISPLAY gets a
# private display instead (and says why), a live one is kept, stopping is
# safe under set -e when the server is gone already, and a private server
# dies with the shell that started it, even one killed outright.
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
work=$(mktemp -d)
orphan=""
# shellcheck source=scripts/display.sh
source "$scripts/display.sh"

cleanup() {
    stop_private_display
    if [ -n "$orphan" ]; then
        kill "$orphan" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# A display number that no server holds: neither its socket nor its lock.
dead=:200
for number in $(seq 200 299); do
    if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
        dead=:$number
        break
    fi
done

display_answers "" && fail "an empty DISPLAY answers"
display_answers "$dead" && fail "the dead display $dead answers"

start_private_display || fail "Xvfb did not start"
live=$DISPLAY
display_answers "$live" || fail "the private display $live does not answer"

# A live display is kept, and nothing else is started.
said=$(
    XVFB_PID=""
    use_display_or_private
    echo "$DISPLAY ${XVFB_PID:-none}"
)
[ "$said" = "$live none" ] || fail "a display that answers was not kept: $said"

# A dead one gives way to a private display, which the script says.
said=$(
    XVFB_PID=""
    DISPLAY=$dead
    use_display_or_private
    display_answers && echo "answers at $DISPLAY"
    stop_private_display
)
[[ $said == *"nothing answers at DISPLAY=$dead"*"private X display"* ]] ||
    fail "a dead DISPLAY: $said"
if ! [[ $said =~ answers\ at\ :[0-9]+$ ]] || [[ $said == *"answers at $dead" ]]; then
    fail "a dead DISPLAY got no private display that answers: $said"
fi
said=$(
    XVFB_PID=""
    unset DISPLAY
    use_display_or_private
    stop_private_display
)
[[ $said == "DISPLAY is not set: "* ]] || fail "no DISPLAY: $said"

stop_private_display
display_answers "$live" && fail "the private display $live still answers after its stop"

# An EXIT trap that stops a server which died already keeps the exit status.
bash -euc 'source "$1/display.sh"
    trap stop_private_display EXIT
    start_private_display
    kill "$XVFB_PID"
    sleep 0.5' _ "$scripts"
status=$?
[ $status -eq 0 ] || fail "stopping a dead server turned exit 0 into $status"

# Killed outright, the starting shell takes its server along.
bash -c 'source "$1/display.sh"
    start_private_display
    echo "$XVFB_PID" >"$2/xvfb.pid"
    sleep 60' _ "$scripts" "$work" &
starter=$!
for _ in $(seq 100); do
    [ -s "$work/xvfb.pid" ] && break
    sleep 0.1
done
orphan=$(cat "$work/xvfb.pid" 2>/dev/null)
kill -KILL "$starter"
wait "$starter" 2>/dev/null
if [ -z "$orphan" ]; then
    fail "the starting shell reported no Xvfb"
else
    for _ in $(seq 50); do
        kill -0 "$orphan" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$orphan" 2>/dev/null; then
        fail "Xvfb $orphan outlived the shell that started it"
    else
        orphan=""
    fi
fi

finish "display"
