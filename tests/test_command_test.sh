#!/usr/bin/env bash
# scripts/test.sh in scratch clones, with stand-ins for setup, CMake, CTest,
# Xvfb and wineserver: a run that waits for another's lock and is stopped
# ends nothing; the record of a run that came with a copy of the tree is left
# alone, while this clone's own is acted on; and when the private display
# fails, the suites that need one are not run, never on the caller's display.
# shellcheck disable=SC2016 # the stand-ins expand what they are given
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
    [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin" "$work/a/scripts" "$work/a/tests" "$work/a/build/windows64/wineprefix"
cp "$source_dir"/scripts/{test,display,wine,totals,build-presets}.sh "$work/a/scripts/"
printf '#!/bin/sh\n' | tee "$work/a/tests/docs_facts.sh" >"$work/a/scripts/setup.sh"
printf '#!/bin/sh\n' >"$work/bin/cmake"
printf '#!/bin/sh\necho "$WINEPREFIX $*" >>"$WORK/wineserver"\n' >"$work/bin/wineserver"
printf '#!/bin/sh\n[ -z "${XVFB_FAILS:-}" ] || exit 1\necho 77 >&3\nexec sleep 300\n' \
    >"$work/bin/Xvfb"
# Notes each suite with the display it got, and writes a record of one pass.
printf '#!/bin/sh\necho "$2 ${DISPLAY:-none}" >>"$WORK/ctest"
printf "<testsuite>\\n<testcase name=\\"t\\" status=\\"run\\"></testcase>\\n</testsuite>\\n" >"$4"\n' \
    >"$work/bin/ctest"
chmod +x "$work/a/scripts/setup.sh" "$work/a/tests/docs_facts.sh" "$work/bin"/*

# Starts test.sh in a clone, in the background; its output goes to <clone>.said.
start_run() {
    local clone=$1
    shift
    rm -f "$work/ctest" "$work/wineserver"
    (cd "$clone" && exec env PATH="$work/bin:$PATH" WORK="$work" GLIDORA_WINE_ARCH=win64 \
        GLIDORA_WINE_REASON=chosen "$@" scripts/test.sh >"$clone.said" 2>&1) &
}

# Runs test.sh in a clone to its end; prints its status.
run() {
    start_run "$@"
    wait $!
    echo $?
}

# A process carrying a run's mark, as Wine's server would; prints its pid.
marked() {
    env GLIDORA_TEST_RUN="$1" sleep 300 >/dev/null 2>&1 &
    echo $!
}

alive() {
    [ -e "/proc/$1" ] && ! grep -q ') Z' "/proc/$1/stat"
}

# The private display fails: the caller's is never used.
[ "$(run "$work/a" DISPLAY=:5 XVFB_FAILS=1)" -ne 0 ] || fail "a run without its display passed"
[ "$(tr '\n' ' ' <"$work/ctest")" = "native none windows-host none fuzz none " ] ||
    fail "suites and their displays without Xvfb: $(tr '\n' ' ' <"$work/ctest")"
grep -q "windows64: not tested: no private X display" "$work/a.said" ||
    fail "the missing display is not named: $(cat "$work/a.said")"

# A copy of the clone brings the record of a's last run; b leaves its
# processes alone, a ends them as the leftovers of its own run.
pids+=("$(marked "$(cat "$work/a/build/test.run")")")
cp -a "$work/a" "$work/b"
[ "$(run "$work/b")" -eq 0 ] || fail "a run in the copy: $(cat "$work/b.said")"
grep -q ' :77$' "$work/ctest" || fail "no suite got the private display: $(cat "$work/ctest")"
alive "${pids[0]}" || fail "a run in a copy of the tree ended the original's process"
run "$work/a" >/dev/null
alive "${pids[0]}" && fail "a run left a process of this clone's previous run"

# A run that waits for the lock and is stopped ends nothing at all.
pids+=("$(marked "$(cat "$work/a/build/test.run")")")
bash -c 'exec 9>>"$1" && flock 9 && exec sleep 300' _ "$work/a/build/test.lock" &
pids+=($!)
start_run "$work/a"
waiting=$!
for _ in $(seq 100); do
    grep -q "waiting for it to end" "$work/a.said" 2>/dev/null && break
    sleep 0.1
done
kill -TERM "$waiting"
wait "$waiting"
status=$?
[ $status -eq 143 ] || fail "a waiting run stopped with $status: $(cat "$work/a.said")"
alive "${pids[1]}" || fail "a waiting run that was stopped ended the live run's process"
[ -e "$work/wineserver" ] && fail "a waiting run ran wineserver: $(cat "$work/wineserver")"
[ -e "$work/ctest" ] && fail "a waiting run tested: $(cat "$work/ctest")"

finish "test command"
