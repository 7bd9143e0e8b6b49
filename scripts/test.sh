#!/usr/bin/env bash
# Runs every test of the project on Debian 12, installing what is missing:
# the native engine tests under ASan and UBSan, the Windows programs under
# Wine in a private Xvfb display (built with MinGW's GCC, and with clang as a
# second compiler that must accept the sources too), the end-to-end tests that drive the built
# game with real X input, and the fuzzer for a bounded time.
# Ends with one summary line over all suites; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

source scripts/display.sh

passed=0
failed=0

cleanup() {
    local prefix
    for prefix in build/*/wineprefix; do
        [ -d "$prefix" ] && WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null
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
    echo "== $name: $summary"
}

run_suite() {
    local preset=$1 log="build/$1-test.log"
    mkdir -p build
    echo "== $preset: configure, build, test"
    if cmake --preset "$preset" >"build/$preset-configure.log" 2>&1 &&
        cmake --build --preset "$preset" >"build/$preset-build.log" 2>&1; then
        ctest --preset "$preset" 2>&1 | tee "$log"
    else
        cat "build/$preset-configure.log" "build/$preset-build.log" 2>/dev/null | tail -n 40
        : >"$log"
    fi
    count_suite "$preset" "$log"
}

run_suite native
start_private_display || failed=$((failed + 1))
run_suite windows
run_suite windows-clang
run_suite e2e
run_suite fuzz

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
