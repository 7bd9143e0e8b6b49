#!/usr/bin/env bash
# Builds the release glidora.exe (32-bit Windows) and makes the download for
# players: dist/glidora-<version>-win32.zip and dist/SHA256SUMS, and
# dist/BUILDINFO.txt, which names the commit and the Debian packages that
# made the bytes. The same commit built with the same packages gives the same
# bytes anywhere, so anyone can rebuild and compare.
#   scripts/package.sh [--allow-dirty]
# A checkout with changes that are not committed is refused: its archive
# would carry the commit's name and date but not its contents. With
# --allow-dirty it is packed all the same, as glidora-<version>-dirty-win32.zip;
# so is a tree without git history, given SOURCE_DATE_EPOCH too. dist/ holds
# the files of one build only.
set -euo pipefail
cd "$(dirname "$0")/.."

allow_dirty=0
case "${1:-}" in
"") ;;
--allow-dirty) allow_dirty=1 ;;
*)
    echo "usage: scripts/package.sh [--allow-dirty]" >&2
    exit 2
    ;;
esac

# A checkout owned by another user (a bind mount, a CI checkout) is one git
# refuses to read by default; this only reads it.
git_here() {
    git -c safe.directory='*' "$@"
}

# Refused before anything is installed or built. A tree without a history
# that git can read (a source tarball, or no git installed) cannot be shown
# to be a commit's: it is packed only when asked to, and named as such.
if ! commit=$(git_here rev-parse --verify HEAD 2>&1); then
    if [ -z "${SOURCE_DATE_EPOCH:-}" ] || [ $allow_dirty -eq 0 ]; then
        echo "package: git cannot read this checkout's history ($(tail -n 1 <<<"$commit")), so" \
            "nothing shows which commit the tree is. Package from a git checkout, or pack it" \
            "anyway, named as such: SOURCE_DATE_EPOCH=<the commit's time, git log -1" \
            "--format=%ct> scripts/package.sh --allow-dirty" >&2
        exit 1
    fi
    commit="unknown"
    state="no git history here (--allow-dirty)"
else
    SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git_here log -1 --format=%ct)}
    changes=$(git_here status --porcelain)
    state="as committed"
    if [ -n "$changes" ]; then
        if [ $allow_dirty -eq 0 ]; then
            echo "package: the checkout has changes that are not committed; commit or" \
                "stash them, or pack them anyway, named as such, with --allow-dirty:" >&2
            head -n 10 <<<"$changes" | sed 's/^/    /' >&2
            exit 1
        fi
        state="with changes that are not committed (--allow-dirty)"
    fi
fi
export SOURCE_DATE_EPOCH

scripts/setup.sh

# A fresh build tree: nothing from an earlier configure (a cached option, a
# stale object) may enter the release; nor compiler flags from the
# environment, which CMake would take in.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS
build=build/package
rm -rf "$build"
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target glidora
version=$(cat "$build/version.txt")
if [ "$state" = "as committed" ]; then
    name_version=$version
else
    name_version=$version-dirty
fi
# Made whole in the build tree first, so that dist/ never mixes the files of
# two builds, even when this stops half way.
stage=$build/dist
scripts/make_package.sh "$build/ui/glidora.exe" "$name_version" "$stage"
archive=glidora-$name_version-win32.zip

# The compiler, binutils and MinGW-w64 runtime (the CRT and libstdc++ are
# linked in statically) shape the exe's bytes, CMake and Ninja the build,
# zip the archive's.
packages=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-i686-posix-runtime
    gcc-mingw-w64-base binutils-mingw-w64-i686 mingw-w64-i686-dev mingw-w64-common
    cmake ninja-build zip)
{
    echo "Glidora $version for 32-bit Windows: $archive"
    echo "commit: $commit ($state)"
    echo "exe and member time: $SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
    echo "built on: Debian $(cat /etc/debian_version 2>/dev/null || echo unknown)"
    echo "Debian packages (the same versions rebuild the same bytes):"
    for package in "${packages[@]}"; do
        echo "    $(dpkg-query -W -f='${Package} ${Version}' "$package" 2>/dev/null ||
            echo "$package: not installed")"
    done
    echo "sha256: $(cut -d ' ' -f 1 "$stage/SHA256SUMS")"
} >"$stage/BUILDINFO.txt"

mkdir -p dist
rm -f dist/glidora-*-win32.zip dist/SHA256SUMS dist/BUILDINFO.txt
mv "$stage/$archive" "$stage/SHA256SUMS" "$stage/BUILDINFO.txt" dist/

echo "package: dist/$archive"
cat dist/SHA256SUMS
