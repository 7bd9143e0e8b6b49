#!/usr/bin/env bash
# The choice of Wine (scripts/wine.sh) against stand-ins for wine32's loader
# and for the kernel's answer to a 32-bit program, and wine-run.sh's refusals: a prefix of the other kind, none, a relative one.
# The prefix template that a failed creation left unfinished is made again,
# and the cores CTest hands out are those of the affinity mask.
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs choose_wine_arch in a clean shell with `loader` as wine32's loader and
# `program` in place of the 32-bit program put to the kernel; prints
# "<status> <arch> <reason>" and, on its own lines, what it said.
choose() {
    local loader=$1 program=$2
    shift 2
    # shellcheck disable=SC2016 # the inner shell expands them
    env -u GLIDORA_WINE_ARCH -u GLIDORA_WINE_REASON "$@" bash -c '
        source "$1/wine.sh"
        WINE32_LOADER=$2 WINE32_LEFT_OUT=$3/left-out
        program=$4
        write_i386_program() { cp "$program" "$1"; }
        choose_wine_arch 2>"$3/said"
        status=$?
        echo "$status ${GLIDORA_WINE_ARCH:-} ${GLIDORA_WINE_REASON:-}"
        cat "$3/said"' _ "$scripts" "$loader" "$work" "$program"
}

expect() {
    local what=$1 result=$2 pattern=$3
    [[ $result =~ $pattern ]] || fail "$what: wanted /$pattern/, got: $result"
}

printf '#!/bin/sh\necho wine-8.0\n' >"$work/starts"
printf '#!/bin/sh\nexit 42\n' >"$work/i386"
printf '#!/bin/sh\necho "no display" >&2\nexit 1\n' >"$work/fails"
# An ELF header for no machine at all (EM_NONE), as a 32-bit x86 program is
# to a kernel without 32-bit emulation. A real machine's, such as ARM's, would
# run on a host that hands such programs to an emulator (binfmt_misc, qemu).
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\000\000\001\000\000\000' \
    >"$work/foreign"
chmod +x "$work/starts" "$work/i386" "$work/fails" "$work/foreign"

expect "probe, loader runs" "$(choose "$work/starts" "$work/i386")" '^0 win32 this host runs 32-bit x86 code'
expect "probe, Exec format error" "$(choose "$work/foreign" "$work/i386")" \
    '^0 win64 this host cannot run 32-bit x86 code .*Exec format error'
# Without wine32 the 64-bit build runs, saying why: the kernel's answer, or
# why setup.sh left wine32 out.
expect "probe, loader missing" "$(choose "$work/absent" "$work/i386")" \
    '^0 win64 wine32 is not installed \(.*missing; scripts/setup.sh installs it\)'
echo "the mirror's bookworm-security/main/binary-i386/Packages.xz is out of step" >"$work/left-out"
expect "probe, loader left out by setup" "$(choose "$work/absent" "$work/i386")" \
    '^0 win64 wine32 is not installed: the mirror.s bookworm-security/main/binary-i386/Packages.xz'
rm "$work/left-out"
expect "probe, loader missing, kernel refuses" "$(choose "$work/absent" "$work/foreign")" \
    '^0 win64 this host cannot run 32-bit x86 code \(the kernel refuses'
expect "probe, loader fails" "$(choose "$work/fails" "$work/i386")" \
    '^1 .*wine32 does not start .*exit 1.*GLIDORA_WINE_ARCH=win64'
expect "choice printed once, in one line" "$(choose "$work/starts" "$work/i386" | sed 1d | wc -l)" '^1$'

expect "variable overrides the probe" "$(choose "$work/starts" "$work/i386" GLIDORA_WINE_ARCH=win64)" \
    '^0 win64 GLIDORA_WINE_ARCH chose it; the probe would take win32'
expect "variable agreeing with the probe" "$(choose "$work/foreign" "$work/i386" GLIDORA_WINE_ARCH=win64)" \
    '^0 win64 GLIDORA_WINE_ARCH chose it'$'\nwine: win64'
expect "unknown variable value" "$(choose "$work/starts" "$work/i386" GLIDORA_WINE_ARCH=win16)" \
    '^2 .*must be win32 or win64'
decided=$(choose "$work/absent" "$work/i386" GLIDORA_WINE_ARCH=win32 GLIDORA_WINE_REASON=decided)
[ "$decided" = "0 win32 decided" ] || fail "decided by a calling script: got $decided"
expect "an inherited decision is checked too" \
    "$(choose "$work/starts" "$work/i386" GLIDORA_WINE_ARCH=win16 GLIDORA_WINE_REASON=decided)" \
    '^2 .*must be win32 or win64'

# The real 32-bit program: the kernel answers it clearly, and as it answers
# wine32's loader where that is installed; an emulator, where there is one,
# shows that it runs to its exit status.
# shellcheck source=scripts/wine.sh
kernel=$(source "$scripts/wine.sh" && kernel_runs_i386)
[ "$kernel" != unknown ] || fail "the kernel gave no clear answer to the 32-bit program"
if loader_said=$(LC_ALL=C /usr/lib/wine/wine --version 2>&1); then
    [ "$kernel" = yes ] || fail "wine32 starts, yet the kernel refuses the 32-bit program"
elif [[ $loader_said == *"Exec format error"* ]]; then
    [ "$kernel" = no ] || fail "wine32 is refused, yet the kernel runs the 32-bit program"
fi
if command -v qemu-i386 >/dev/null; then
    # shellcheck source=scripts/wine.sh
    (source "$scripts/wine.sh" && write_i386_program "$work/real-i386")
    qemu-i386 "$work/real-i386"
    [ $? -eq 42 ] || fail "the 32-bit program does not exit with 42 under qemu-i386"
fi

mkdir -p "$work/prefix32"
echo "#arch=win32" >"$work/prefix32/system.reg"
said=$("$scripts/wine-run.sh" --arch win64 "$work/prefix32" none.exe 2>&1)
status=$?
[ $status -ne 0 ] || fail "a win32 prefix ran a win64 program"
expect "mixed prefix" "$said" 'is not a win64 prefix'

# No prefix, or a relative one, is refused before anything is made.
mkdir -p "$work/cwd"
for args in "" "--arch win64" "relative/prefix none.exe"; do
    # shellcheck disable=SC2086 # the words are the arguments
    said=$(cd "$work/cwd" && "$scripts/wine-run.sh" $args 2>&1)
    expect "wine-run.sh $args" "$? $said" '^2 .*usage: wine-run.sh'
done
[ -z "$(ls -A "$work/cwd")" ] || fail "wine-run.sh made $(ls -A "$work/cwd") in the caller's folder"

# A template folder without its registry is made again, not moved into.
mkdir -p "$work/clone/scripts" "$work/clone/build/wineprefix-template-win64" "$work/bin"
sed "s|^WINE64_LOADER=.*|WINE64_LOADER=$work/wine64|" "$scripts/wine.sh" >"$work/clone/scripts/wine.sh"
cp "$scripts/wine-run.sh" "$work/clone/scripts/"
# shellcheck disable=SC2016 # the stand-in expands them
printf '#!/bin/sh\nmkdir -p "$WINEPREFIX" && echo "#arch=$WINEARCH" >"$WINEPREFIX/system.reg"\n' \
    >"$work/wine64"
printf '#!/bin/sh\n' >"$work/bin/wineserver"
chmod +x "$work/wine64" "$work/bin/wineserver"
PATH="$work/bin:$PATH" "$work/clone/scripts/wine-run.sh" --arch win64 --template ||
    fail "wine-run.sh --template failed on an unfinished template"
expect "unfinished template" "$(ls -A "$work/clone/build/wineprefix-template-win64")" '^system.reg$'

# OMP_NUM_THREADS, which nproc obeys, makes no more cores than the mask holds.
cores() {
    OMP_NUM_THREADS=5 "$@" cmake -DCORES_FILE="$work/cores.json" -P "$scripts/../cmake/cores.cmake" &&
        grep -o '"id"' "$work/cores.json" | wc -l
}
expect "cores" "$(cores)" "^$(env -u OMP_NUM_THREADS -u OMP_THREAD_LIMIT nproc)\$"
if taskset -c 0 true 2>/dev/null; then
    expect "cores of a mask of one" "$(cores taskset -c 0)" '^1$'
fi

finish "wine choice"
