#!/usr/bin/env bash
# Builds the game a second time from a copy of the sources in another folder,
# in another build folder, time zone, locale and umask, and demands the same
# bytes as the build under test: nothing of the machine may enter the exe.
# The copy has no git history: SOURCE_DATE_EPOCH gives it the time the build
# under test was dated with.
#   reproducible_exe_test.sh <source dir> <toolchain file> <built glidora.exe> <work dir>
set -euo pipefail
usage="usage: reproducible_exe_test.sh <source dir> <toolchain file> <built glidora.exe> <work dir>"
# Each must be given: an empty work dir would put folders under /.
source_dir=${1:?$usage}
toolchain=${2:?$usage}
built=${3:?$usage}
work=${4:?$usage}

rm -rf "$work"
copy=$work/a/longer/path/elsewhere/glidora
mkdir -p "$copy"
cp -R "$source_dir/CMakeLists.txt" "$source_dir/LICENSE" "$source_dir/cmake" "$source_dir/engine" \
    "$source_dir/ui" "$source_dir/res" "$source_dir/tools" "$copy/"
(
    umask 077
    export TZ=Pacific/Kiritimati LC_ALL=C
    # Without GoogleTest only the game and its tools are configured: cheap.
    cmake -S "$copy" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/$(basename "$toolchain")" \
        -DGLIDORA_GOOGLETEST_SOURCE="$work/no-googletest" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
    cmake --build "$work/build" --target glidora >"$work/build.log" 2>&1 ||
        { cat "$work/build.log"; exit 1; }
)
if ! cmp "$built" "$work/build/ui/glidora.exe"; then
    echo "FAIL: the second build of glidora.exe differs from $built"
    exit 1
fi
echo "glidora.exe: the second build is byte-identical"
rm -rf "$work"
