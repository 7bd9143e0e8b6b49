#!/usr/bin/env bash
# Runs every test of the project on Debian 12 or 13, installing what is missing:
# the native engine tests under ASan and UBSan, the Windows programs under
# Wine in a private Xvfb display (built with MinGW's GCC, and with clang as a
# second compiler that must accept the sources too), the end-to-end tests that
# drive the built game with real X input, and the fuzzer for a bounded time.
# The Windows suites run the build that this host's Wine runs (scripts/wine.sh
# decides: the shipped 32-bit build, or the x86-64 one where no 32-bit code
# runs); the other build is still built with warnings as errors, and partly run
# where it can be (the x86-64 one beside the 32-bit build: the game and the
# programs that run).
#
# The suites build one after the other in the background while those built
# already are tested, in the same order (the end-to-end suite beside the
# Windows suite, the fuzzer beside the rest); each runs its CTest preset, which
# sets what tests it runs (CMakePresets.json). Ends with the build the Windows
# suites ran and why, the skipped tests, the time all suites took, and one
# summary line over all suites, from CTest's JUnit records; exits non-zero on
# any failure.
#
# One command at a time uses the clone's build trees (build/test.lock, which
# run.sh, tools/perf.sh and tools/screenshot.sh take too): a run started
# beside another waits for it. SIGINT or SIGTERM, once or more, ends the run
# within seconds, setup's apt included, and with it every process it started,
# and nothing else; then the run ends by that signal (130 or 143 to a shell).
# A run killed outright has its leftovers ended by the next one in the same
# clone. The Windows and end-to-end suites use the run's own displays, never
# the caller's: without them they are not run.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

source scripts/guard.sh
source scripts/display.sh
source scripts/wine.sh
source scripts/totals.sh

# Every process of the run carries its mark, and the next run in this clone
# ends what one killed outright left.
guard_clone test scripts/test.sh wait
clone_id=${GLIDORA_RUN_MARK%:*}

# The lock is free, so the run that wrote the record has ended; one killed
# outright may have left Wine servers and other processes. A record that
# names another clone came with a copy of the tree: its run may be alive.
previous_run=$(cat build/test.run 2>/dev/null)
echo "$GLIDORA_RUN_MARK" >build/test.run
if [[ $previous_run == "$clone_id":* ]]; then
    end_marked_processes "$previous_run"
elif [ -n "$previous_run" ]; then
    echo "test: build/test.run is another clone's record (a copy of the tree?); left alone"
fi

step scripts/setup.sh || exit 1
choose_wine_arch || exit 1

# Each suite as "<configure preset>[:<build and test preset>][&]", in the
# order they build and run; windows64 reads build/windows' glidora.exe. A
# suite marked & is tested beside the ones after it. The end-to-end tests,
# one at a time, mostly wait on Wine and the display: they play the game of
# the Windows tree (game_tree) on a display of their own, beside that tree's
# suite. The fuzzer keeps one core busy for its fixed time. The second
# compiler's tree builds last, as nothing waits for it.
if [ "$GLIDORA_WINE_ARCH" = win32 ]; then
    suites=(native 'e2e&' windows 'fuzz&' windows64:windows64-beside-win32 windows-clang)
    prefix_kinds=(win32 win64)
else
    suites=(native windows:windows-host 'e2e64&' windows64 'fuzz&' windows64-clang)
    prefix_kinds=(win64)
fi

# The presets build one after the other in the background, at low priority
# (scripts/build-presets.sh), while the suites built already are tested in
# the same order: the Wine suites mostly wait on Wine and the display, and
# building every suite first would take the run past ten minutes on two cores.
# The builder names each preset and its outcome on a line of its own, read
# here from fd 8: the end of that pipe is the builder's end, however it ends.
presets=()
for suite in "${suites[@]}"; do
    presets+=("${suite%&}")
done
builds_started=$SECONDS
exec 8< <(exec setpriv --pdeathsig KILL -- nice -n 19 scripts/build-presets.sh "${presets[@]}" 9>&-)
declare -A outcomes=()

# Waits until build-presets.sh is done with a preset; sets outcome to "ok",
# the step that failed, or nothing where the builder ended before it.
wait_for_outcome() {
    local preset result
    while [ -z "${outcomes[$1]:-}" ] && read -r -u 8 preset result; do
        outcomes[$preset]=$result
    done
    outcome=${outcomes[$1]:-}
}

# Waits until a preset is built; a failed step shows its own log and counts
# as one failure.
wait_for_build() {
    local preset=$1
    wait_for_outcome "$preset"
    case "$outcome" in
    ok) return 0 ;;
    configure | build)
        tail -n 40 "build/$preset-$outcome.log"
        count_failed_step "$preset" "the $outcome step failed (build/$preset-$outcome.log)"
        ;;
    *) count_failed_step "$preset" "build-presets.sh ended before building it" ;;
    esac
    return 1
}

# The Windows suites get a display of the run's own, and the end-to-end
# suite another, each or none: never the caller's, where the end-to-end
# tests would press keys and click. Both servers carry the run's mark.
unset DISPLAY XAUTHORITY WAYLAND_DISPLAY
e2e_display="" windows_display=""
start_private_display 9>&- && e2e_display=$DISPLAY
start_private_display 9>&- && windows_display=$DISPLAY
unset DISPLAY
needs_display() {
    case "$1" in
    native | fuzz | windows-host) return 1 ;;
    esac
}
# The tree whose glidora.exe an end-to-end preset plays (its GLIDORA_GAME_EXE).
game_tree() {
    case "$1" in
    e2e) echo windows ;;
    e2e64) echo windows64 ;;
    esac
}
# A pristine Wine prefix costs Wine some 20 s of one core, and each kind of
# prefix starts as a copy of one: made now, while the first presets build,
# rather than by the first test that needs it.
templates=()
if [ -n "$windows_display$e2e_display" ]; then
    for kind in "${prefix_kinds[@]}"; do
        DISPLAY=${windows_display:-$e2e_display} setpriv --pdeathsig KILL -- \
            scripts/wine-run.sh --arch "$kind" --template \
            >"build/wineprefix-template-$kind.log" 2>&1 9>&- &
        templates+=("$kind $!")
    done
fi

# Before the first suite that runs Wine: a template that could not be made
# is a failure of its own, shown here rather than by every test after it.
wait_for_templates() {
    local entry kind pid log
    for entry in "${templates[@]}"; do
        read -r kind pid <<<"$entry"
        wait "$pid" && continue
        log=build/wineprefix-template-$kind.log
        count_failed_step "wineprefix-template-$kind" "the $kind Wine prefix could not be made ($log):"
        tail -n 10 "$log" | sed 's/^/    /'
    done
    templates=()
}

# Tests a suite whose preset is built, on the given display (none if empty):
# in the foreground, or, with "&" as its fourth argument, in the background,
# its output kept for count_background.
background=()
test_suite() {
    local preset=$1 tests=$2 record=$PWD/build/$1-junit.xml status=0
    echo "== $preset: built after $((SECONDS - builds_started)) s; testing (preset $tests)"
    unset DISPLAY
    [ -z "$3" ] || export DISPLAY=$3
    if [ "${4:-}" = "&" ]; then
        setpriv --pdeathsig KILL -- ctest --preset "$tests" --output-junit "$record" \
            >"build/$preset-test.log" 2>&1 9>&- &
        background+=("$preset $! $SECONDS")
        return
    fi
    local started=$SECONDS
    step ctest --preset "$tests" --output-junit "$record" || status=$?
    count_suite "$preset" "$record" "$status"
    echo "== $preset: tested in $((SECONDS - started)) s"
}

count_background() {
    local entry preset pid started status
    for entry in "${background[@]}"; do
        read -r preset pid started <<<"$entry"
        status=0
        wait "$pid" || status=$?
        echo "== $preset, tested beside the suites after it:"
        cat "build/$preset-test.log"
        count_suite "$preset" "$PWD/build/$preset-junit.xml" "$status"
        echo "== $preset: tested in $((SECONDS - started)) s"
    done
}

for suite in "${suites[@]}"; do
    mode=""
    [[ $suite != *'&' ]] || mode='&'
    suite=${suite%&}
    preset=${suite%%:*}
    tests=${suite#*:}
    rm -f "$PWD/build/$preset-junit.xml"
    wait_for_build "$preset" || continue
    game=$(game_tree "$preset")
    if [ -n "$game" ]; then
        wait_for_outcome "$game"
        if [ "$outcome" != ok ]; then
            count_failed_step "$preset" "not tested: build/$game, whose game it plays, did not build"
            continue
        fi
    fi
    display=$windows_display
    [ -z "$game" ] || display=$e2e_display
    if needs_display "$tests"; then
        if [ -z "$display" ]; then
            count_failed_step "$preset" "not tested: no private X display (Xvfb did not start)"
            continue
        fi
        wait_for_templates
    fi
    test_suite "$preset" "$tests" "$display" $mode
done
count_background

# What the docs name, against the trees this run left: one test.
if step tests/docs_facts.sh; then
    TESTS_PASSED=$((TESTS_PASSED + 1))
else
    count_failed_step docs "what they name is not all there (tests/docs_facts.sh)"
fi

echo "Windows suites ran $(describe_wine_arch "$GLIDORA_WINE_ARCH"), because $GLIDORA_WINE_REASON."
if [ "$GLIDORA_WINE_ARCH" != win32 ]; then
    echo "The shipped 32-bit glidora.exe was built and checked, but not run: see the line above."
fi
[ "$TESTS_SKIPPED" -eq 0 ] || echo "Skipped: ${TESTS_SKIPPED_NAMES[*]}."
echo "All suites took $((SECONDS / 60)) min $((SECONDS % 60)) s."
echo "tests: $TESTS_PASSED passed, $TESTS_FAILED failed, $TESTS_SKIPPED skipped"
[ "$TESTS_FAILED" -eq 0 ]
