# shellcheck shell=bash
# Sourced by every script that starts Wine (bash): which Wine runs Glidora's
# Windows programs here, decided once per run in one place.
#
# win32 runs the shipped 32-bit build under wine32; win64 runs the 64-bit build
# of the same sources under wine64, for hosts whose kernel runs no 32-bit x86
# code at all (the kernel refuses such programs: "Exec format error") and for
# those where setup.sh could not install wine32.
# GLIDORA_WINE_ARCH=win32|win64 chooses; unset, the host is probed.
#
#   choose_wine_arch     exports GLIDORA_WINE_ARCH and GLIDORA_WINE_REASON and
#                        prints the choice, unless a calling script already did
#   wine_loader ARCH     the Wine loader for that kind of program
#   windows_preset ARCH  the CMake preset that builds the programs it runs
#   choose_wine_build NAME
#                        choose_wine_arch, then sets preset, build and
#                        prefix: that Wine's build and a prefix of the
#                        caller's own in it, build/<preset>/wineprefix-NAME

WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

# A whole 32-bit x86 Linux program, 96 bytes: an ELF header, one program header
# loading the file at 0x08048000, and the code at 0x08048054, exit(42) by int 0x80.
I386_PROGRAM_HEX='7f454c46 01010100 00000000 00000000 0200 0300 01000000 54800408
    34000000 00000000 00000000 3400 2000 0100 0000 0000 0000
    01000000 00000000 00800408 00800408 60000000 60000000 05000000 00100000
    b801000000 bb2a000000 cd80'
I386_PROGRAM_STATUS=42

write_i386_program() {
    local hex bytes="" i
    hex=$(tr -d ' \n' <<<"$I386_PROGRAM_HEX")
    for ((i = 0; i < ${#hex}; i += 2)); do
        bytes+="\\x${hex:i:2}"
    done
    printf '%b' "$bytes" >"$1" && chmod +x "$1"
}

# Runs PROGRAM ARGS from a shell started in the C locale, which reports a
# refused exec in its words, whatever the caller's language. Sets run_status
# and run_output.
run_program() {
    run_status=0
    run_output=$(LC_ALL=C bash -c 'exec "$@"' _ "$@" 2>&1) || run_status=$?
}

# Prints yes, no (the kernel refuses it: Exec format error) or unknown (the
# program could not be made or run at all, e.g. in a noexec temp folder):
# whether this host runs 32-bit x86 code, asked of the kernel itself, so that
# the answer does not need wine32.
kernel_runs_i386() {
    local dir run_status run_output
    dir=$(mktemp -d) || {
        echo unknown
        return
    }
    if write_i386_program "$dir/i386"; then
        run_program "$dir/i386"
    else
        run_status=-1 run_output=""
    fi
    rm -rf "$dir"
    if [ "$run_status" -eq "$I386_PROGRAM_STATUS" ]; then
        echo yes
    elif grep -q 'Exec format error' <<<"$run_output"; then
        echo no
    else
        echo unknown
    fi
}

# Where setup.sh left wine32 out, and why.
WINE32_LEFT_OUT=$(dirname "${BASH_SOURCE[0]}")/../build/wine32-left-out.txt

# Sets probed_arch and probed_reason. Without wine32 the 64-bit build runs
# (probed_arch win64), and the reason says why the shipped 32-bit build does
# not; an installed wine32 that does not start gets none (probed_arch empty),
# since falling back would leave the shipped build untested over a fault that
# its owner can mend.
probe_wine_arch() {
    local run_status run_output
    if [ ! -e "$WINE32_LOADER" ]; then
        probed_arch=win64
        if [ "$(kernel_runs_i386)" = no ]; then
            probed_reason="this host cannot run 32-bit x86 code (the kernel refuses a 32-bit x86 program: Exec format error)"
        elif [ -s "$WINE32_LEFT_OUT" ]; then
            probed_reason="wine32 is not installed: $(cat "$WINE32_LEFT_OUT")"
        else
            probed_reason="wine32 is not installed ($WINE32_LOADER is missing; scripts/setup.sh installs it)"
        fi
        return
    fi
    # wine32's loader is itself 32-bit x86 code: whether it starts is whether
    # this host runs such code.
    run_program "$WINE32_LOADER" --version
    if [ "$run_status" -eq 0 ]; then
        probed_arch=win32
        probed_reason="this host runs 32-bit x86 code ($WINE32_LOADER --version: $run_output)"
    elif grep -q 'Exec format error' <<<"$run_output"; then
        probed_arch=win64
        probed_reason="this host cannot run 32-bit x86 code ($WINE32_LOADER: Exec format error)"
    else
        probed_arch=""
        probed_reason="wine32 does not start ($WINE32_LOADER --version: exit $run_status, $(head -n 1 <<<"$run_output"))"
    fi
}

choose_wine_arch() {
    if [ -n "${GLIDORA_WINE_REASON:-}" ] && [ -n "${GLIDORA_WINE_ARCH:-}" ]; then
        # Decided by a calling script, or so the environment claims.
        case "$GLIDORA_WINE_ARCH" in
        win32 | win64) return 0 ;;
        esac
        echo "GLIDORA_WINE_ARCH is '$GLIDORA_WINE_ARCH' (inherited, because" \
            "$GLIDORA_WINE_REASON); it must be win32 or win64" >&2
        return 2
    fi
    local probed_arch probed_reason
    probe_wine_arch
    case "${GLIDORA_WINE_ARCH:-}" in
    "")
        if [ -z "$probed_arch" ]; then
            echo "wine: $probed_reason. Mend wine32, or choose the x86-64 build with" \
                "GLIDORA_WINE_ARCH=win64 (the shipped 32-bit build then runs nowhere)" >&2
            return 1
        fi
        GLIDORA_WINE_ARCH=$probed_arch
        GLIDORA_WINE_REASON=$probed_reason
        ;;
    win32 | win64)
        GLIDORA_WINE_REASON="GLIDORA_WINE_ARCH chose it"
        if [ "$GLIDORA_WINE_ARCH" != "$probed_arch" ]; then
            GLIDORA_WINE_REASON+="; the probe would take ${probed_arch:-neither}: $probed_reason"
        fi
        ;;
    *)
        echo "GLIDORA_WINE_ARCH is '$GLIDORA_WINE_ARCH'; it must be win32 or win64" >&2
        return 2
        ;;
    esac
    export GLIDORA_WINE_ARCH GLIDORA_WINE_REASON
    echo "wine: $(describe_wine_arch "$GLIDORA_WINE_ARCH"), because $GLIDORA_WINE_REASON" >&2
}

describe_wine_arch() {
    case "$1" in
    win32) echo "win32: the 32-bit build (preset windows) under wine32" ;;
    win64) echo "win64: the x86-64 build (preset windows64) under wine64" ;;
    esac
}

wine_loader() {
    case "$1" in
    win32) echo "$WINE32_LOADER" ;;
    win64) echo "$WINE64_LOADER" ;;
    *) return 2 ;;
    esac
}

windows_preset() {
    case "$1" in
    win32) echo windows ;;
    win64) echo windows64 ;;
    *) return 2 ;;
    esac
}

# A prefix of the calling tool's own: neither a test run nor another tool
# starts or ends its Wine server.
# shellcheck disable=SC2034 # for the caller
choose_wine_build() {
    choose_wine_arch || return
    preset=$(windows_preset "$GLIDORA_WINE_ARCH")
    build=build/$preset
    prefix=$PWD/$build/wineprefix-$1
}
