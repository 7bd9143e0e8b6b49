#!/usr/bin/env bash
# Configures and builds the given CMake presets one after the other, for
# scripts/test.sh, which tests each as soon as it is built:
#   build-presets.sh <preset>[:<build preset>]...
# A build preset, where given, builds part of the configure preset's tree.
# Each step writes a log of its own (build/<preset>-configure.log, then
# build/<preset>-build.log); once the preset is done, a line on standard
# output names it and its outcome: "<preset> ok", or the step that failed,
# "<preset> configure" or "<preset> build". Runs on after a failure: a later
# preset may not need the failed one.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
mkdir -p build

# Each step dies with this script, whoever ends it.
step() {
    setpriv --pdeathsig KILL -- "$@"
}

for suite; do
    preset=${suite%%:*}
    outcome=ok
    rm -f "build/$preset-configure.log" "build/$preset-build.log"
    if ! step cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
        outcome=configure
    elif ! step cmake --build --preset "${suite#*:}" >"build/$preset-build.log" 2>&1; then
        outcome=build
    fi
    echo "$preset $outcome"
done
