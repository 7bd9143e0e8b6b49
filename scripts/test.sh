#!/usr/bin/env bash
# Runs every test of the project on Debian 12, installing what is missing:
# the native engine tests under ASan and UBSan, the Windows programs under
# Wine in a private Xvfb display (built with MinGW's GCC, and with clang as a
# second compiler that must accept the sources too), the end-to-end tests that
# drive the built game with real X input, and the fuzzer for a bounded time.
# The Windows suites run the build that this host's Wine runs (scripts/wine.sh
# decides: the shipped 32-bit build, or the x86-64 one where no 32-bit code
# runs); the other build is still built with warnings as errors, and partly run
# where it can be.
# Ends with one summary line over all suites; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

source scripts/display.sh
source scripts/wine.sh
choose_wine_arch || exit 1

passed=0
failed=0
suite_start=$SECONDS

background_build=""

cleanup() {
    local prefix
    if [ -n "$background_build" ]; then
        kill -- -"$background_build" 2>/dev/null
        wait "$background_build" 2>/dev/null
    fi
    for prefix in build/*/wineprefix*/; do
        WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null
    done
    stop_private_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Adds a suite's CTest result to the totals; a suite that does not build or
# report counts as one failure.
count_suite() {
    local name=$1 log=$2 summary total failures
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        echo "== $name: no test result"
        failed=$((failed + 1))
        return
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    failures=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - failures))
    failed=$((failed + failures))
    echo "== $name: $summary ($((SECONDS - suite_start)) s)"
}

# Configures and builds a preset; a build that fails counts as one failure.
build_preset() {
    local preset=$1
    mkdir -p build
    if cmake --preset "$preset" >"build/$preset-configure.log" 2>&1 &&
        cmake --build --preset "$preset" >"build/$preset-build.log" 2>&1; then
        return 0
    fi
    cat "build/$preset-configure.log" "build/$preset-build.log" 2>/dev/null | tail -n 40
    echo "== $preset: the build failed"
    failed=$((failed + 1))
    return 1
}

# The Wine suites wait on Wine and the display far more than they compute:
# while one runs, the presets named in `meanwhile` are built in the
# background at low priority, in a process group of their own. Their suites
# wait for that and then find their build done, or fail it themselves.
meanwhile=()

build_in_background() {
    setsid bash -c 'for preset; do
        nice -n 19 cmake --preset "$preset" >"build/$preset-configure.log" 2>&1 &&
            nice -n 19 cmake --build --preset "$preset" >"build/$preset-build.log" 2>&1
    done' _ "$@" &
    background_build=$!
}

wait_for_background_build() {
    if [ -n "$background_build" ]; then
        wait "$background_build"
        background_build=""
    fi
}

# Builds a preset and runs its tests; arguments after the preset go to ctest.
run_suite() {
    local preset=$1 log="build/$1-test.log"
    shift
    echo "== $preset: configure, build, test"
    suite_start=$SECONDS
    wait_for_background_build
    build_preset "$preset" || return 0
    if [ ${#meanwhile[@]} -gt 0 ]; then
        build_in_background "${meanwhile[@]}"
        meanwhile=()
    fi
    ctest --preset "$preset" "$@" 2>&1 | tee "$log"
    count_suite "$preset" "$log"
}

run_suite native
start_private_display || failed=$((failed + 1))
if [ "$GLIDORA_WINE_ARCH" = win32 ]; then
    meanwhile=(windows-clang e2e windows64 fuzz)
    run_suite windows
    run_suite windows-clang
    run_suite e2e
    # Keeps the other path from rotting at little cost: wine64, a prefix of
    # its kind, the 64-bit window and resource programs, and its reading of
    # the 32-bit game. The rest stays with the hosts that need this build.
    run_suite windows64 --tests-regex '^(engine_test|ui_window_test|ui_resources_test.*)$'
else
    # Wine cannot run the shipped build here: it is built, its tests that
    # need no Wine run, and the 64-bit resource test reads it back.
    run_suite windows --label-regex '^host$'
    meanwhile=(windows64-clang e2e64 fuzz)
    run_suite windows64
    run_suite windows64-clang
    run_suite e2e64
fi
run_suite fuzz

echo "Windows suites ran $(describe_wine_arch "$GLIDORA_WINE_ARCH"), because $GLIDORA_WINE_REASON."
echo "All suites took $((SECONDS / 60)) min $((SECONDS % 60)) s."
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
