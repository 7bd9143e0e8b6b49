#!/usr/bin/env bash
# Configures and builds the given CMake presets one after the other, for
# scripts/test.sh, which tests each as soon as it is built:
#   build-presets.sh <preset>[:<build preset>]...
# A build preset, where given, builds part of the configure preset's tree.
# Each step writes a log of its own (build/<preset>-configure.log, then
# build/<preset>-build.log); the outcome, "ok", "configure" or "build" (the
# step that failed), goes to build/<preset>.outcome once the preset is done.
# Runs on after a failure: a later preset may not need the failed one.
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
    rm -f "build/$preset.outcome" "build/$preset-configure.log" "build/$preset-build.log"
    if ! step cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
        outcome=configure
    elif ! step cmake --build --preset "${suite#*:}" >"build/$preset-build.log" 2>&1; then
        outcome=build
    fi
    # Whole or not at all, for the reader that waits for it.
    echo "$outcome" >"build/$preset.outcome.new"
    mv "build/$preset.outcome.new" "build/$preset.outcome"
done
