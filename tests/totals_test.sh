#!/usr/bin/env bash
# The test command's totals (scripts/totals.sh) against the record of a real
# ctest run: a small project whose tests pass, fail, skip themselves, are
# disabled, cannot start or lose their fixture, run with the colours forced on
# and in another language, as a CI runner may. Also: a suite whose ctest fails
# with no failing test, leaves no record or one that cannot be read, counts as
# a failure.
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=scripts/totals.sh
source "$scripts/totals.sh"

mkdir -p "$work/src" "$work/none"
cat >"$work/src/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(totals NONE)
enable_testing()
add_test(NAME passes COMMAND true)
# Its output imitates the record; the record must escape it.
add_test(NAME "passes <too> & \"quoted\"" COMMAND
         echo "<testcase name=\"x\" status=\"run\"></testcase> <skipped message=\"SKIP_\"/>")
add_test(NAME fails COMMAND false)
add_test(NAME skips COMMAND sh -c "exit 77")
set_tests_properties(skips PROPERTIES SKIP_RETURN_CODE 77)
add_test(NAME skips_by_output COMMAND echo "nothing to do here")
set_tests_properties(skips_by_output PROPERTIES SKIP_REGULAR_EXPRESSION "nothing to do")
add_test(NAME disabled COMMAND true)
set_tests_properties(disabled PROPERTIES DISABLED TRUE)
add_test(NAME cannot_start COMMAND ${CMAKE_CURRENT_BINARY_DIR}/no-such-program)
add_test(NAME fixture_fails COMMAND false)
set_tests_properties(fixture_fails PROPERTIES FIXTURES_SETUP broken)
add_test(NAME needs_fixture COMMAND true)
set_tests_properties(needs_fixture PROPERTIES FIXTURES_REQUIRED broken)
EOF
printf 'cmake_minimum_required(VERSION 3.25)\nproject(none NONE)\nenable_testing()\n' \
    >"$work/none/CMakeLists.txt"
for project in src none; do
    cmake -G Ninja -S "$work/$project" -B "$work/build-$project" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
done

# Runs ctest as test.sh does, in a hostile environment; prints its status.
run_ctest() {
    local build=$1 record=$2
    (cd "$build" && CLICOLOR_FORCE=1 LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 TERM=xterm-256color \
        ctest --no-tests=error --output-junit "$record" >"$work/ctest.log" 2>&1)
    echo $?
}

status=$(run_ctest "$work/build-src" "$work/src.xml")
[ "$status" -ne 0 ] || fail "ctest passed a project with failing tests"
totals=$(junit_totals "$work/src.xml")
[ "$totals" = "2 4 3" ] || fail "passed, failed, skipped: wanted 2 4 3, got $totals"

said=$(count_suite mixed "$work/src.xml" "$status")
[ "$said" = "== mixed: 2 passed, 4 failed, 3 skipped (skips, skips_by_output, disabled)" ] ||
    fail "the suite's line: $said"

# The sums go on over suites, and nothing counts twice.
count_suite mixed "$work/src.xml" "$status" >/dev/null
count_suite again "$work/src.xml" "$status" >/dev/null
totals="$TESTS_PASSED $TESTS_FAILED $TESTS_SKIPPED"
[ "$totals" = "4 8 6" ] || fail "two suites: wanted 4 8 6, got $totals"
[ "${TESTS_SKIPPED_NAMES[1]}" = "skips, skips_by_output, disabled (again)" ] ||
    fail "the skipped by name: ${TESTS_SKIPPED_NAMES[*]}"

status=$(run_ctest "$work/build-none" "$work/none.xml")
TESTS_FAILED=0
said=$(count_suite empty "$work/none.xml" "$status")
count_suite empty "$work/none.xml" "$status" >/dev/null
[ "$TESTS_FAILED" -eq 1 ] || fail "a suite without tests counted $TESTS_FAILED failures: $said"

TESTS_FAILED=0
count_suite lost "$work/no-record.xml" 0 >/dev/null
[ "$TESTS_FAILED" -eq 1 ] || fail "a suite without a record counted $TESTS_FAILED failures"

# A record cut short, or a parser that fails or says nothing, is no pass.
head -c 300 "$work/src.xml" >"$work/cut.xml"
mkdir -p "$work/mute"
printf '#!/bin/sh\nexit 0\n' >"$work/mute/xmllint"
chmod +x "$work/mute/xmllint"
TESTS_FAILED=0
count_suite cut "$work/cut.xml" 8 >/dev/null
PATH="$work/mute:$PATH" count_suite mute "$work/src.xml" 8 >/dev/null
PATH="$work/none" count_suite no-xmllint "$work/src.xml" 8 >/dev/null
[ "$TESTS_FAILED" -eq 3 ] || fail "unreadable records counted $TESTS_FAILED failures, not 3"

finish "totals"
