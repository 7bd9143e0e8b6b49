#!/usr/bin/env bash
# Takes a screenshot of glidora.exe as a player sees it, frame and title bar
# included: the game runs in a Wine virtual desktop inside a private Xvfb.
#   tools/screenshot.sh <output.png> [xdotool key names to press first...]
# Builds nothing: run scripts/run.sh first, or build the preset that this
# host's Wine runs (scripts/wine.sh says which). Refuses, as run.sh does,
# while a test run uses this clone's build trees; Ctrl-C or SIGTERM ends it
# with all it started.
set -euo pipefail
if [ -z "${1:-}" ]; then
    echo "usage: tools/screenshot.sh <output.png> [keys...]" >&2
    exit 2
fi
# The caller's folder, not the project's, is where a relative path points.
output=$(realpath -m -- "$1")
shift
cd "$(dirname "$0")/.."
source scripts/guard.sh
source scripts/display.sh
guard_clone screenshot tools/screenshot.sh refuse
source scripts/wine.sh
choose_wine_build screenshot
exe=$build/ui/glidora.exe
# The window opens at the desktop's top-left corner. Its size depends on the
# frame Wine draws (312 x 350 on Wine 8's classic frame, taller on Wine 10's),
# so the desktop leaves room and the picture is cut to the window afterwards.
desktop_size=480x480
[ -f "$exe" ] || { echo "screenshot: $exe is not built" >&2; exit 1; }

start_private_display 9>&-
scripts/wine-run.sh --arch "$GLIDORA_WINE_ARCH" "$prefix" explorer "/desktop=Glidora,$desktop_size" "$exe" 9>&- &

desktop=""
# A new prefix is created on first use, which takes a while.
for _ in $(seq 600); do
    desktop=$(xdotool search --onlyvisible --name '^Glidora - Wine desktop$' 2>/dev/null | head -n 1) &&
        [ -n "$desktop" ] && break
    sleep 0.1
done
[ -n "$desktop" ] || { echo "screenshot: the game's desktop did not appear" >&2; exit 1; }
sleep 2
# A click on the title bar gives the game the keyboard focus.
xdotool mousemove --window "$desktop" 100 10 click 1
sleep 0.3
for key in "$@"; do
    xdotool windowfocus --sync "$desktop" key --clearmodifiers "$key"
    sleep 0.3
done
sleep 1
import -window "$desktop" "$output"
# Everything of the desktop's own colour around the window goes.
corner="p{$((${desktop_size%x*} - 1)),$((${desktop_size#*x} - 1))}"
background=$(convert "$output" -format "%[pixel:$corner]" info:)
convert "$output" -bordercolor "$background" -border 1 -trim +repage "$output"
echo "screenshot: $output ($(identify -format '%wx%h' "$output"))"
