# shellcheck shell=bash
# Sourced by the shell tests: fail notes a failed check and lets the test go
# on to the next; finish NAME prints the count and is the test's exit status.
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

finish() {
    echo "$1: $failures failed"
    [ $failures -eq 0 ]
}
