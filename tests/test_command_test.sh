#!/usr/bin/env bash
# scripts/test.sh in scratch clones, with stand-ins for setup, CMake, CTest,
# Xvfb and wineserver: a run that waits for another's lock and is stopped
# ends nothing; the record of a run that came with a copy of the tree is left
# alone, while this clone's own is acted on; when a private display fails,
# the suites that need it are not run, never on the caller's display, and
# the others are; a builder that dies is seen at once; two SIGTERMs during
# setup end all it started, even what ignores TERM, and Ctrl-C stops the
# caller's loop; run.sh refuses at once while the build trees are in use.
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
cp "$source_dir"/scripts/{test,run,guard,display,wine,totals,build-presets}.sh "$work/a/scripts/"
# Setup, on SETUP_HANGS, waits on a child that ignores TERM, as apt's may.
cat >"$work/a/scripts/setup.sh" <<'EOF'
#!/bin/sh
[ -z "${SETUP_HANGS:-}" ] && exit
sh -c 'trap "" TERM; exec sleep 300' &
echo $! >"$WORK/setup-child"
wait
EOF
printf '#!/bin/sh\n[ -z "${TEMPLATE_FAILS:-}" ]\n' >"$work/a/scripts/wine-run.sh"
printf '#!/bin/sh\n' >"$work/a/tests/docs_facts.sh"
# CMake notes its calls; on BUILDER_DIES it kills build-presets.sh.
printf '#!/bin/sh\necho "$*" >>"$WORK/cmake"\n[ -z "${BUILDER_DIES:-}" ] || kill -KILL $PPID\n' \
    >"$work/bin/cmake"
printf '#!/bin/sh\necho "$WINEPREFIX $*" >>"$WORK/wineserver"\n' >"$work/bin/wineserver"
# Xvfb fails on XVFB_FAILS: every time, or the second time with "second".
printf '#!/bin/sh\necho >>"$WORK/xvfb"
[ "${XVFB_FAILS:-}" = all ] || [ "${XVFB_FAILS:-}$(wc -l <"$WORK/xvfb")" = second2 ] && exit 1
echo 77 >&3\nexec sleep 300\n' >"$work/bin/Xvfb"
# Notes each suite with the display it got, and writes a record of one pass.
printf '#!/bin/sh\necho "$2 ${DISPLAY:-none}" >>"$WORK/ctest"
printf "<testsuite>\\n<testcase name=\\"t\\" status=\\"run\\"></testcase>\\n</testsuite>\\n" >"$4"\n' \
    >"$work/bin/ctest"
chmod +x "$work/a/scripts/setup.sh" "$work/a/scripts/wine-run.sh" "$work/a/tests/docs_facts.sh" "$work/bin"/*

# Starts test.sh in a clone, in the background; its output goes to <clone>.said.
start_run() {
    local clone=$1
    shift
    rm -f "$work/ctest" "$work/wineserver" "$work/cmake" "$work/xvfb" "$work/setup-child"
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
    env GLIDORA_RUN_MARK="$1" sleep 300 >/dev/null 2>&1 &
    echo $!
}

# From one read: a process that is just ending may be gone between two.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) && [[ ${stat##*) } != Z* ]]
}

# The private display fails: the caller's is never used.
[ "$(run "$work/a" DISPLAY=:5 XVFB_FAILS=all)" -ne 0 ] || fail "a run without its display passed"
[ "$(tr '\n' ' ' <"$work/ctest")" = "native none windows-host none fuzz none " ] ||
    fail "suites and their displays without Xvfb: $(tr '\n' ' ' <"$work/ctest")"
grep -q "windows64: not tested: no private X display" "$work/a.said" ||
    fail "the missing display is not named: $(cat "$work/a.said")"
# Only the second fails: the end-to-end suite has its own, and runs. A Wine
# prefix template that cannot be made is a failure, named before the suites.
run "$work/a" XVFB_FAILS=second TEMPLATE_FAILS=1 >/dev/null
[ "$(tr '\n' ' ' <"$work/ctest")" = "native none windows-host none e2e64 :77 fuzz none " ] ||
    fail "suites and their displays without the second Xvfb: $(tr '\n' ' ' <"$work/ctest")"
grep -q "wineprefix-template-win64: the win64 Wine prefix could not be made" "$work/a.said" ||
    fail "a failed template is not named: $(cat "$work/a.said")"

# A builder that dies is its end, whatever became of its pid.
run "$work/a" BUILDER_DIES=1 >/dev/null
grep -q "native: build-presets.sh ended before building it" "$work/a.said" ||
    fail "the builder's end is not named: $(cat "$work/a.said")"

# A copy of the clone brings the record of a's last run; b leaves its
# processes alone, a ends them as the leftovers of its own run.
pids+=("$(marked "$(cat "$work/a/build/test.run")")")
cp -a "$work/a" "$work/b"
[ "$(run "$work/b")" -eq 0 ] || fail "a run in the copy: $(cat "$work/b.said")"
grep -q ' :77$' "$work/ctest" || fail "no suite got the private display: $(cat "$work/ctest")"
alive "${pids[0]}" || fail "a run in a copy of the tree ended the original's process"
run "$work/a" >/dev/null
alive "${pids[0]}" && fail "a run left a process of this clone's previous run"

# Two SIGTERMs 0.3 s apart during setup: the cleanup still ends what setup
# started, though it ignores TERM, and the run ends with 143.
until_setup_waits() {
    for _ in $(seq 100); do
        [ -s "$work/setup-child" ] && return
        sleep 0.1
    done
}
start_run "$work/a" SETUP_HANGS=1
terminated=$!
until_setup_waits
kill -TERM $terminated
sleep 0.3
kill -TERM $terminated
wait $terminated
[ $? -eq 143 ] || fail "a run stopped by SIGTERM in setup ended otherwise"
alive "$(cat "$work/setup-child")" && fail "setup's child outlived a run stopped twice"

# Ctrl-C to the process group of a loop: the loop stops, by the signal.
rm -f "$work/setup-child"
(cd "$work/a" && exec setsid env --default-signal=INT PATH="$work/bin:$PATH" WORK="$work" \
    GLIDORA_WINE_ARCH=win64 GLIDORA_WINE_REASON=chosen SETUP_HANGS=1 \
    bash -c 'scripts/test.sh; echo next' >"$work/loop.said" 2>&1) &
loop=$!
until_setup_waits
kill -INT -- -$loop
wait $loop
[ $? -eq 130 ] || fail "a loop interrupted in test.sh ended otherwise"
grep -q next "$work/loop.said" && fail "a loop went on after Ctrl-C in test.sh"

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

# run.sh beside a command that holds the build trees refuses at once and
# builds nothing.
said=$(cd "$work/a" && PATH="$work/bin:$PATH" WORK="$work" timeout 10 scripts/run.sh 2>&1)
[[ "$? $said" == "1 run: another command holds this clone's build trees"*ended ]] ||
    fail "run.sh beside a held lock: $said"
[ -e "$work/cmake" ] && fail "run.sh beside a held lock ran cmake: $(cat "$work/cmake")"

finish "test command"
