#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh <prefix> <program.exe> [args...]
# Creates the prefix on first use; concurrent callers wait for that to finish.
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win32

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    # Debian's Wine does not find its own fonts by itself; without them the
    # caption buttons lose their Marlett glyphs and dialogs their MS Sans Serif.
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ -d /usr/share/wine/fonts ] && [ ! -f "$fonts/marlett.ttf" ]; then
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/* "$fonts/"
    fi
) 9>"$WINEPREFIX.lock"

exec wine "$@"
