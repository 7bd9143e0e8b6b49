#!/usr/bin/env bash
# Builds glidora.exe and opens it: under Wine in the user's X display, or in
# a private Xvfb display when there is none that answers. Where this host
# cannot run 32-bit programs, or wine32 is not installed, the x86-64 build of
# the same sources runs instead, and a line says why. While a test run (or
# another of these commands) uses this clone's build trees, it refuses at
# once, saying so, and builds nothing. Ctrl-C or SIGTERM ends it, setup's apt
# and the game included.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/guard.sh
source scripts/display.sh
guard_clone run scripts/run.sh refuse

step scripts/setup.sh
source scripts/wine.sh
choose_wine_build run
exe=$build/ui/glidora.exe
log=$build/glidora-run.log

step --output /dev/null cmake --preset "$preset"
step cmake --build --preset "$preset" --target glidora

# A DISPLAY that nothing answers (a stale ssh forward, a container, su)
# would leave the game without a window, and it ends quietly then.
use_display_or_private 9>&-
if [ -n "$XVFB_PID" ]; then
    echo "Take a look with: DISPLAY=$DISPLAY import -window root shot.png"
fi

echo "Starting $exe under Wine ($GLIDORA_WINE_ARCH); close the game window to end."
status=0
step --log "$log" scripts/wine-run.sh --arch "$GLIDORA_WINE_ARCH" "$prefix" "$exe" || status=$?
if [ $status -ne 0 ]; then
    echo "run: glidora.exe did not run to a normal end under Wine (exit code $status)." >&2
    echo "run: what Wine said, from $log:" >&2
    tail -n 15 "$log" | sed 's/^/    /' >&2
    echo "run: to look further, run it again with WINEDEBUG=warn+all" \
        "(the log keeps everything), or choose the other Wine with GLIDORA_WINE_ARCH=win32|win64." >&2
    exit $status
fi
echo "The game has ended."
