#!/usr/bin/env bash
# Builds glidora.exe and opens it: under Wine in the user's X display, or in
# a private Xvfb display when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

exe=build/windows/ui/glidora.exe
if [ ! -f "$exe" ]; then
    echo "The toolchain and the engine are built; the game window is not built yet."
    exit 0
fi

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n 1 "$display_file")"
    rm -f "$display_file"
    echo "No display found: the game runs in a virtual X display ($DISPLAY)."
    echo "Take a look with: DISPLAY=$DISPLAY import -window root shot.png"
fi

echo "Starting $exe under Wine; close the game window to end."
scripts/wine-run.sh "$PWD/build/windows/wineprefix" "$exe"
