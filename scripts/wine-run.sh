#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh [--buffer-output] [--arch win32|win64] <prefix> <program.exe> [args...]
#   wine-run.sh --arch win32|win64 --template
# The prefix is an absolute path, in a build tree. --arch names the kind of
# program (a 64-bit program needs wine64); without it the choice of
# scripts/wine.sh holds. Creates the prefix on first use, for that kind only:
# a prefix made for the other kind is refused, not mixed. Concurrent callers
# wait for the creation to finish. With --buffer-output the program's output
# is passed on when it has ended (see the end of this script); otherwise Wine
# replaces this script. With --template it only makes the pristine prefix
# that every prefix of that kind starts as (below), so that a test run can
# have it made while it builds.
set -euo pipefail
# shellcheck source=scripts/wine.sh
source "$(dirname "$0")/wine.sh"
usage="usage: wine-run.sh [--buffer-output] [--arch win32|win64] <prefix> <program.exe> [args...]"

buffer_output=0
template_only=0
arch=""
while [ $# -gt 0 ]; do
    case "$1" in
    --buffer-output) buffer_output=1 ;;
    --template) template_only=1 ;;
    --arch)
        [ $# -ge 2 ] || { echo "wine-run.sh: --arch needs win32 or win64" >&2; exit 2; }
        arch=$2
        shift
        ;;
    *) break ;;
    esac
    shift
done
[ $# -ge 2 ] || [ $template_only -eq 1 ] || { echo "$usage" >&2; exit 2; }
# A relative prefix would put the prefix, its lock and its copy of the
# template wherever the caller happens to be.
if [ $template_only -eq 0 ] && [[ $1 != /* ]]; then
    echo "wine-run.sh: the prefix '$1' is no absolute path" >&2
    echo "$usage" >&2
    exit 2
fi
if [ -z "$arch" ]; then
    choose_wine_arch
    arch=$GLIDORA_WINE_ARCH
fi
loader=$(wine_loader "$arch") || { echo "wine-run.sh: unknown --arch '$arch'" >&2; exit 2; }
[ -x "$loader" ] || { echo "wine-run.sh: $loader is not installed (scripts/setup.sh installs it)" >&2; exit 127; }

if [ $template_only -eq 0 ]; then
    export WINEPREFIX=$1
    shift
fi
export WINEARCH=$arch
export WINELOADER=$loader
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The cores this process may run on, one a line, from its affinity list
# ("0-3,8"); CTest's core ids count them from 0.
usable_cores() {
    local ranges range
    IFS=, read -ra ranges < <(sed -n 's/^Cpus_allowed_list:[[:space:]]*//p' /proc/self/status)
    for range in "${ranges[@]}"; do
        seq "${range%-*}" "${range#*-}"
    done
}

# Creates a prefix of this kind at $1, waiting until Wine has written it out.
create_prefix() {
    local status=0 boot_output
    boot_output=$(WINEPREFIX=$1 "$loader" wineboot -i 2>&1) || status=$?
    if [ $status -ne 0 ]; then
        echo "wine-run.sh: could not create the $arch prefix $1:" \
            "$loader wineboot -i ended with $status" >&2
        tail -n 5 <<<"$boot_output" >&2
        return $status
    fi
    WINEPREFIX=$1 wineserver -w
}

# Creating a prefix costs Wine many seconds, and a test run needs several:
# each starts as a copy of a pristine one, made once per kind in the build
# folder (Wine keeps no path of the prefix itself inside it).
template=$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix-template-$arch
make_template() {
    (
        flock 8
        if [ ! -f "$template/system.reg" ]; then
            # A folder without it is what an interrupted or failed creation
            # left: made again, not moved into.
            rm -rf "$template.new"
            create_prefix "$template.new" && rm -rf "$template" && mv "$template.new" "$template"
        fi
    ) 8>"$template.lock"
}

mkdir -p "$(dirname "$template")"
if [ $template_only -eq 1 ]; then
    make_template
    exit
fi
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        make_template || exit
        if [ -e "$WINEPREFIX" ]; then
            echo "wine-run.sh: $WINEPREFIX exists but is no Wine prefix; it is left as it is" >&2
            exit 1
        fi
        rm -rf "$WINEPREFIX.new"
        cp -a "$template" "$WINEPREFIX.new"
        # Debian's Wine does not find its own fonts by itself; without them the
        # caption buttons lose their Marlett glyphs and dialogs their MS Sans
        # Serif. Copied before the prefix is moved into place, so that an
        # interrupted copy leaves no prefix that lacks some of them.
        if [ -d /usr/share/wine/fonts ]; then
            mkdir -p "$WINEPREFIX.new/drive_c/windows/Fonts"
            cp /usr/share/wine/fonts/* "$WINEPREFIX.new/drive_c/windows/Fonts/"
        fi
        mv "$WINEPREFIX.new" "$WINEPREFIX"
    fi
    if ! grep -qx "#arch=$arch" "$WINEPREFIX/system.reg"; then
        echo "wine-run.sh: $WINEPREFIX is not a $arch prefix; it is left as it is" >&2
        exit 1
    fi
) 9>"$WINEPREFIX.lock"

# CTest hands a test that asks for it a core of its own (resource "cores",
# tests/ui_tests.cmake); the program and the Wine server it starts then run
# on that core alone. Each of their calls is a request to that server and a
# wait for its answer: on two cores every answer waits for an idle core to
# wake, which on a virtual machine takes longer than the work itself. Where
# the core cannot be chosen (a sandbox), it runs where it is put.
pin=()
if [[ ${CTEST_RESOURCE_GROUP_0_CORES:-} =~ ^id:([0-9]+), ]]; then
    mapfile -t usable < <(usable_cores)
    core=${usable[BASH_REMATCH[1] % ${#usable[@]}]}
    if taskset -c "$core" true 2>/dev/null; then
        pin=(taskset -c "$core")
    fi
fi

if [ $buffer_output -eq 0 ]; then
    exec "${pin[@]}" "$loader" "$@"
fi

# Wine's background processes (wineserver, services, the desktop), started by
# the first program in a prefix, inherit that program's output and hold it
# open long after it has ended. A caller that reads the output to its end,
# as CTest does, would wait for them; files take that inheritance instead.
# They lie beside the prefix, in the build tree, and outlive a caller that
# kills this script (CTest at a test's time limit): there they hold what Wine
# said.
output=$WINEPREFIX.output/$(basename "$1")-$$
mkdir -p "$(dirname "$output")"
status=0
"${pin[@]}" "$loader" "$@" >"$output.out" 2>"$output.err" || status=$?
cat "$output.out"
cat "$output.err" >&2
rm -f "$output.out" "$output.err"
exit $status
