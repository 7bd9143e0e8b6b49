#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh [--buffer-output] <prefix> <program.exe> [args...]
# Creates the prefix on first use; concurrent callers wait for that to finish.
# With --buffer-output the program's output is passed on when it has ended
# (see the end of this script); otherwise Wine replaces this script.
set -euo pipefail
buffer_output=0
if [ "${1:-}" = "--buffer-output" ]; then
    buffer_output=1
    shift
fi
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

if [ $buffer_output -eq 0 ]; then
    exec wine "$@"
fi

# Wine's background processes (wineserver, services, the desktop), started by
# the first program in a prefix, inherit that program's output and hold it
# open long after it has ended. A caller that reads the output to its end,
# as CTest does, would wait for them; files take that inheritance instead.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
wine "$@" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit $status
