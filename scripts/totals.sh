# shellcheck shell=bash
# Sourced by scripts/test.sh (bash): the totals over its suites, read by
# xmllint from the JUnit record that CTest writes (ctest --output-junit),
# whatever its layout, never from its printed summary, whose words and
# colours follow the terminal, the locale and settings such as CLICOLOR_FORCE.
#
#   junit_totals FILE          prints "<passed> <failed> <skipped>"
#   count_suite NAME FILE STATUS
#                              adds the suite whose ctest ended with STATUS
#                              and wrote FILE to TESTS_PASSED, TESTS_FAILED
#                              and TESTS_SKIPPED (their names, with the suite's, to
#                              TESTS_SKIPPED_NAMES), and prints one line on it
#   count_failed_step NAME WHAT
#                              counts a suite that could not run as one failure

TESTS_PASSED=0
TESTS_FAILED=0
TESTS_SKIPPED=0
TESTS_SKIPPED_NAMES=()

# CTest marks a test "notrun" both when the test skipped itself
# (SKIP_RETURN_CODE, SKIP_REGULAR_EXPRESSION) and when it could not start at
# all (no executable, a failed fixture, missing required files); CTest counts
# the latter as failures, and so does this. A disabled test is skipped.
JUNIT_SKIPPED='@status="disabled" or (@status="notrun" and skipped[starts-with(@message, "SKIP_")])'
junit_totals() {
    xmllint --xpath "concat(count(//testcase[@status='run']), ' ',
        count(//testcase[not(@status='run' or $JUNIT_SKIPPED)]), ' ',
        count(//testcase[$JUNIT_SKIPPED]))" "$1"
}

# The skipped tests' names, one a line.
junit_skipped() {
    xmllint --xpath "//testcase[$JUNIT_SKIPPED]/@name" "$1" 2>/dev/null | sed 's/^ name="\(.*\)"$/\1/'
}

count_suite() {
    local name=$1 record=$2 status=$3 passed failed skipped totals
    if [ ! -s "$record" ]; then
        echo "== $name: ctest ended with $status and left no test record ($record)"
        TESTS_FAILED=$((TESTS_FAILED + 1))
        return
    fi
    # A record that cannot be read, one cut short, or a parser that fails or
    # says nothing would otherwise count as zero tests, none failed.
    if ! grep -q '</testsuite>' "$record" 2>/dev/null || ! totals=$(junit_totals "$record") ||
        ! [[ $totals =~ ^[0-9]+\ [0-9]+\ [0-9]+$ ]]; then
        echo "== $name: ctest ended with $status; its test record could not be read ($record)"
        TESTS_FAILED=$((TESTS_FAILED + 1))
        return
    fi
    read -r passed failed skipped <<<"$totals"
    # ctest fails for more than failing tests, e.g. when it finds none.
    if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
        echo "== $name: ctest ended with $status, though no test in its record failed"
        failed=1
    fi
    TESTS_PASSED=$((TESTS_PASSED + passed))
    TESTS_FAILED=$((TESTS_FAILED + failed))
    TESTS_SKIPPED=$((TESTS_SKIPPED + skipped))
    local names=""
    if [ "$skipped" -gt 0 ]; then
        names=$(junit_skipped "$record" | paste -sd , - | sed 's/,/, /g')
        TESTS_SKIPPED_NAMES+=("$names ($name)")
        names=" ($names)"
    fi
    echo "== $name: $passed passed, $failed failed, $skipped skipped$names"
}

count_failed_step() {
    echo "== $1: $2"
    TESTS_FAILED=$((TESTS_FAILED + 1))
}
