#!/usr/bin/env bash
# The Windows build stand-in: what Linux can check of the README's Windows
# routes, with the nearest tools Debian has. No real Visual Studio or MSYS2
# runs here; see docs/windows-build.md for what this proves.
#
#  1. Visual Studio: the project configured as on a Windows host with clang-cl
#     in MSVC mode for 32-bit Windows (Ninja Multi-Config, Release and Debug),
#     lld-link, llvm-rc, MinGW-w64's headers and libstdc++ standing in for the
#     SDK and Microsoft's library, GoogleTest from its sources. Checked: every
#     product source compiles with the project's MSVC flags (/W4 /WX); every
#     compile uses the static runtime (/MT, /MTd in Debug); no program gets a
#     linker-made manifest, and the game's one manifest comes from its resource
#     script; only GoogleTest programs are registered as tests. Nothing links:
#     Microsoft's runtime and import libraries are not here.
#  2. The resource script compiled by windres, by llvm-rc (through CMake, as
#     above) and by llvm-windres (MSYS2's CLANG64 windres) holds the same
#     resources, byte for byte, whatever order each writes them in, and none
#     twice.
#  3. MSYS2's MinGW shells: the project configured as on a Windows host with
#     MinGW-w64's GCC, GoogleTest from its sources, and nothing found outside
#     the MinGW-w64 root (no FreeType, no clang-format). Checked: configure
#     succeeds, programs link statically, only GoogleTest programs are
#     registered as tests.
#
# Usage: windows_standin_check.sh SOURCE_DIR WORK_DIR
set -euo pipefail

source_dir=$1
work=$2

fail() {
  echo "stand-in: FAILED: $*" >&2
  exit 1
}
step() {
  echo "stand-in: $*"
}

mingw_root=/usr/i686-w64-mingw32
googletest=/usr/src/googletest
for tool in clang i686-w64-mingw32-windres i686-w64-mingw32-g++-posix cmake ninja; do
  command -v "$tool" >/dev/null || fail "$tool is missing (Debian: clang, MinGW-w64, CMake, Ninja)"
done
[ -f "$googletest/CMakeLists.txt" ] || fail "no GoogleTest sources in $googletest"

rm -rf "$work"
mkdir -p "$work/bin"
# The LLVM tools by their plain names, from PATH or else from the directory of
# clang's own version, where Debian keeps every one unversioned (Debian 12's
# PATH has no plain llvm-windres). clang-cl is clang and llvm-windres llvm-rc
# under another name, which picks the mode.
llvm_bin=$(dirname "$(readlink -f "$(command -v clang)")")
llvm_tool() {
  local name=$1 found
  found=$(command -v "$name" || true)
  [ -n "$found" ] || [ ! -x "$llvm_bin/$name" ] || found=$llvm_bin/$name
  [ -n "$found" ] || return 1
  ln -s "$found" "$work/bin/$name"
}
ln -s "$(command -v clang)" "$work/bin/clang-cl"
for tool in lld-link llvm-rc llvm-lib llvm-mt llvm-cvtres llvm-readobj; do
  llvm_tool "$tool" || fail "$tool is missing (Debian: lld, llvm)"
done
llvm_tool llvm-windres || ln -s "$work/bin/llvm-rc" "$work/bin/llvm-windres"
export PATH="$work/bin:$PATH"

# The headers as a Visual Studio developer prompt names them: INCLUDE.
gcc_dirs=("/usr/lib/gcc/i686-w64-mingw32/"*-posix)
libstdcxx=${gcc_dirs[0]}/include/c++
[ -d "$libstdcxx" ] || fail "no libstdc++ headers of i686-w64-mingw32-g++-posix"
export INCLUDE="$libstdcxx;$libstdcxx/i686-w64-mingw32;$mingw_root/include"

# Every test in build tree $1 must be a GoogleTest program of this project
# whose cases CTest discovers: nothing Linux-only, no Wine.
only_googletest_programs() {
  local tree=$1 added
  added=$(grep -rhE '^add_test\(' --include=CTestTestfile.cmake "$tree" | cut -c1-80 || true)
  [ -z "$added" ] || fail "$tree registers tests that are not GoogleTest programs: $added"
  for program in engine_test ui_window_test ui_dialogs_test ui_pixels_test ui_nopictures_test \
    ui_robustness_test ui_resources_test; do
    grep -q "/${program}\[1\]_include.cmake" "$tree/tests/CTestTestfile.cmake" ||
      fail "$tree does not register $program"
  done
  if grep -E '^(CLANG_FORMAT|FREETYPE_[A-Z_]*|Freetype_DIR):' "$tree/CMakeCache.txt"; then
    fail "$tree looked for clang-format or FreeType"
  fi
}

# ---- 1. Visual Studio ---------------------------------------------------------
msvc=$work/msvc
step "configuring the Visual Studio stand-in (clang-cl, MSVC mode, i686)"
cmake -G "Ninja Multi-Config" -S "$source_dir" -B "$msvc" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/tests/windows_standin_msvc.cmake" \
  -DCMAKE_CONFIGURATION_TYPES="Release;Debug" -DGLIDORA_GOOGLETEST_SOURCE="$googletest" \
  >"$work/msvc-configure.log" 2>&1 || {
  cat "$work/msvc-configure.log"
  fail "configuring the Visual Studio stand-in"
}
only_googletest_programs "$msvc"

for config in Release Debug; do
  runtime=-MT
  [ "$config" = Debug ] && runtime=-MTd
  # Each compile statement of the build: its rule, then its FLAGS.
  verdict=$(awk -v runtime="$runtime" '
    /^build / {
      target = $2; sub(/:$/, "", target)
      rule = ""
      if (match($0, /[^$]: [A-Za-z0-9_]+/)) rule = substr($0, RSTART + 3, RLENGTH - 3)
      linking = rule ~ /^CXX_EXECUTABLE_LINKER__/
      next
    }
    /^  FLAGS = / && rule ~ /^(C|CXX)_COMPILER__/ {
      compiles++
      if (index($0 " ", " " runtime " ") == 0 || ($0 " ") ~ /[-\/]MDd? /) {
        print "not " runtime ": " target; bad++
      }
      # CMake 3.25 writes the warning flags mid-line, CMake 3.31 at its end.
      if (target ~ /^(engine|ui|tools|tests)\// && (($0 " ") !~ /\/W4 / || ($0 " ") !~ /\/WX /)) {
        print "no /W4 /WX: " target; bad++
      }
    }
    /^  LINK_FLAGS = / && linking {
      links++; linking = 0
      if ($0 !~ /\/MANIFEST:NO/) { print "a linker manifest for " target; bad++ }
    }
    /^  MANIFESTS = ./ { print "manifest files given: " $0; bad++ }
    END { printf "%d compiles, %d links, %d faults\n", compiles, links, bad }
  ' "$msvc/CMakeFiles/impl-$config.ninja")
  while IFS= read -r line; do
    echo "stand-in: $config: $line"
  done <<<"$verdict"
  case $verdict in
  *", 0 faults") ;;
  *) fail "the $config build's runtime, warnings or manifests" ;;
  esac
  case $verdict in
  "0 compiles"* | *" 0 links"*) fail "no compile or link statements read in the $config build" ;;
  esac
done

# The product's sources: engine, front end, measurement programs, resources.
mapfile -t objects < <(ninja -C "$msvc" -f build-Release.ninja -t targets all |
  grep -E '^(engine|ui|tools)/.*\.(obj|res):' | cut -d: -f1)
[ ${#objects[@]} -ge 10 ] || fail "only ${#objects[@]} product objects in the Release build"
step "compiling ${#objects[@]} product objects with /W4 /WX"
ninja -C "$msvc" -f build-Release.ninja "${objects[@]}" >"$work/msvc-build.log" 2>&1 || {
  cat "$work/msvc-build.log"
  fail "compiling the product with clang-cl"
}
# A .res file's resources as text: llvm-cvtres sorts them into a resource
# directory, refusing any given twice; llvm-readobj prints it, every byte in
# hex, less the directory's offsets, which follow the order of the file.
resources_text() {
  llvm-cvtres /machine:x86 /out:"$work/$1.obj" "$2" >/dev/null ||
    fail "llvm-cvtres refuses the resources of $1"
  llvm-readobj --coff-resources "$work/$1.obj" | grep -vE '^File: |(Offset|Address|RVA): ' \
    >"$work/$1.txt"
}
resources_text llvm-rc "$msvc/ui/CMakeFiles/glidora.dir/Release/__/res/glidora.rc.res"
manifests=$(awk '/^  Type: / { m = /MANIFEST/ } m && /Data \[/ { n++ } END { print n + 0 }' \
  "$work/llvm-rc.txt")
[ "$manifests" = 1 ] || fail "the game's resources hold $manifests manifests, not 1"

# ---- 2. The resource script by three compilers ---------------------------------
step "comparing the resources of windres, llvm-rc and llvm-windres"
i686-w64-mingw32-windres -O res -I "$msvc/generated" -I "$source_dir" \
  "$source_dir/res/glidora.rc" "$work/windres.res"
llvm-windres -O res -I "$mingw_root/include" -I "$msvc/generated" -I "$source_dir" \
  "$source_dir/res/glidora.rc" "$work/llvm-windres.res"
for compiler in windres llvm-windres; do
  resources_text "$compiler" "$work/$compiler.res"
  (cd "$work" && diff -u -F "^    Name: " llvm-rc.txt "$compiler.txt" | head -n 60) ||
    fail "$compiler and llvm-rc disagree (above; the numbers on the left are offsets in a resource)"
done

# ---- 3. MSYS2's MinGW shells ------------------------------------------------------
mingw=$work/mingw
step "configuring the MSYS2 stand-in (MinGW-w64 GCC, i686, nothing outside its root)"
cmake -G Ninja -S "$source_dir" -B "$mingw" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/tests/windows_standin_mingw.cmake" \
  -DCMAKE_MAKE_PROGRAM="$(command -v ninja)" -DCMAKE_BUILD_TYPE=Release \
  -DGLIDORA_GOOGLETEST_SOURCE="$googletest" >"$work/mingw-configure.log" 2>&1 || {
  cat "$work/mingw-configure.log"
  fail "configuring the MSYS2 stand-in"
}
only_googletest_programs "$mingw"
unlinked=$(awk '
  /^build / { linking = $0 ~ /[^$]: CXX_EXECUTABLE_LINKER__/; exe = $2; next }
  /^  LINK_FLAGS = / && linking { links++; linking = 0; if ($0 !~ / -static( |$)/) print exe }
  END { if (links == 0) print "no link statement" }
' "$mingw/build.ninja")
[ -z "$unlinked" ] || fail "not linked statically: $unlinked"
grep -q '^build ui/glidora.exe:' "$mingw/build.ninja" || fail "the MSYS2 stand-in builds no game"

step "passed"
