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

source scripts/display.sh
trap stop_private_display EXIT

if [ -z "${DISPLAY:-}" ]; then
    start_private_display
    echo "No display found: the game runs in a virtual X display ($DISPLAY)."
    echo "Take a look with: DISPLAY=$DISPLAY import -window root shot.png"
fi

echo "Starting $exe under Wine; close the game window to end."
scripts/wine-run.sh "$PWD/build/windows/wineprefix" "$exe"
