#!/usr/bin/env bash
# The release (scripts/package.sh, scripts/make_package.sh) on a small copy of
# the project whose install step and CMake are stand-ins: a checkout with
# changes is refused before anything is installed or built, or packed under
# a name that says so; without a commit time and without SOURCE_DATE_EPOCH
# nothing is packed, nor without a history unless asked to; members carry the
# commit's time, also in a checkout owned by another user; the build tree is a
# fresh one; BUILDINFO.txt names the commit and the toolchain's packages;
# dist/ never mixes two builds.
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
commit_time=1700000000 # 2023-11-14 22:13:20 UTC
commit_stamp=20231114.221320

# CMake's stand-in: configuring makes the tree and notes whether it was
# fresh, building writes an "exe".
mkdir -p "$work/bin"
cat >"$work/bin/cmake" <<'EOF'
#!/bin/sh
case "$1" in
--preset)
    [ -e "$4/left-over" ] && echo "reused build tree" >>"$RAN"
    mkdir -p "$4/ui" && echo "${VERSION:-1.0.0}" >"$4/version.txt" ;;
--build) echo "built from $PWD" >"$2/ui/glidora.exe" ;;
esac
echo "cmake $*" >>"$RAN"
EOF
# A checksum that fails on demand stops packing half way.
# shellcheck disable=SC2016 # the stand-in expands them
printf '#!/bin/sh\n[ -z "${FAIL_CHECKSUM:-}" ] || exit 1\nexec %s "$@"\n' "$(command -v sha256sum)" \
    >"$work/bin/sha256sum"
chmod +x "$work/bin/cmake" "$work/bin/sha256sum"

# A copy of what packing reads, as a git checkout committed at commit_time
# (or, with "no-git", a tree without its history).
make_tree() {
    local tree=$work/$1
    mkdir -p "$tree/scripts" "$tree/docs" "$tree/build/package"
    cp "$source_dir/scripts/package.sh" "$tree/scripts/"
    cp "$source_dir/scripts/make_package.sh" "$tree/scripts/"
    cp "$source_dir/LICENSE" "$tree/"
    cp "$source_dir/docs/player-readme.txt" "$tree/docs/"
    # shellcheck disable=SC2016 # the stand-in expands it
    echo 'echo setup >>"$RAN"' >"$tree/scripts/setup.sh"
    chmod +x "$tree/scripts/setup.sh"
    printf '/build/\n/dist/\n' >"$tree/.gitignore"
    touch "$tree/build/package/left-over"
    if [ "${2:-}" != no-git ]; then
        git -C "$tree" init -q
        git -C "$tree" add -A
        GIT_COMMITTER_DATE=@$commit_time git -C "$tree" -c user.name=t -c user.email=t@t \
            commit -q -m tree
    fi
    echo "$tree"
}

# Runs package.sh in a tree; prints its status, then what it said. What ran
# is noted beside the tree, in <tree>.ran.
package() {
    local tree=$1
    shift
    : >"$tree.ran"
    (cd "$tree" && env -u SOURCE_DATE_EPOCH RAN="$tree.ran" PATH="$work/bin:$PATH" "$@" \
        scripts/package.sh ${ALLOW_DIRTY:+--allow-dirty} >"$tree.said" 2>&1)
    echo $?
    cat "$tree.said"
}

# The members' times, as the archive holds them (written in UTC).
member_times() {
    TZ=UTC zipinfo -T "$1" | awk '$7 ~ /^[0-9]+\.[0-9]+$/ { print $7 }' | sort -u | tr '\n' ' '
}

refused() {
    local what=$1 tree=$2 said=$3 pattern=$4
    [[ $said == 0* ]] && fail "$what: packed all the same"
    [[ $said =~ $pattern ]] || fail "$what: the message does not say /$pattern/: $said"
    [ -s "$tree.ran" ] && fail "$what: ran $(tr '\n' ' ' <"$tree.ran")before refusing"
    [ -e "$tree/dist" ] && fail "$what: wrote $(ls "$tree/dist")"
}

tree=$(make_tree untracked)
echo notes >"$tree/notes.txt"
refused "an untracked file" "$tree" "$(package "$tree")" 'not committed.*notes\.txt'

tree=$(make_tree modified)
echo "changed" >>"$tree/LICENSE"
refused "a changed file" "$tree" "$(package "$tree")" 'not committed.*LICENSE'
said=$(ALLOW_DIRTY=1 package "$tree")
[[ $said == 0* ]] || fail "--allow-dirty: $said"
[ -f "$tree/dist/glidora-1.0.0-dirty-win32.zip" ] || fail "--allow-dirty: $(ls "$tree/dist")"
[ -e "$tree/dist/glidora-1.0.0-win32.zip" ] && fail "--allow-dirty wrote the committed name"
grep -q "^commit: [0-9a-f]\{40\} (with changes that are not committed" "$tree/dist/BUILDINFO.txt" ||
    fail "BUILDINFO.txt hides the changes: $(cat "$tree/dist/BUILDINFO.txt")"

tree=$(make_tree clean)
said=$(package "$tree")
[[ $said == 0* ]] || fail "a clean checkout: $said"
zip=$tree/dist/glidora-1.0.0-win32.zip
[ "$(member_times "$zip")" = "$commit_stamp " ] ||
    fail "members are not dated with the commit: $(member_times "$zip")"
grep -q "reused build tree" "$tree.ran" && fail "the release was built in a reused build tree"
info=$tree/dist/BUILDINFO.txt
grep -qx "commit: $(git -C "$tree" rev-parse HEAD) (as committed)" "$info" ||
    fail "BUILDINFO.txt does not name the commit: $(cat "$info")"
for package in g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev cmake ninja-build; do
    version=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null)
    grep -qxF "    $package ${version:-}" "$info" || grep -qxF "    $package: not installed" "$info" ||
        fail "BUILDINFO.txt does not give $package's version ${version:-}"
done
grep -qx "sha256: $(sha256sum "$zip" | cut -d ' ' -f 1)" "$info" || fail "BUILDINFO.txt: no checksum"

tree=$(make_tree history-less no-git)
refused "no history, no SOURCE_DATE_EPOCH" "$tree" "$(package "$tree")" 'SOURCE_DATE_EPOCH'
refused "no history, no --allow-dirty" "$tree" "$(package "$tree" SOURCE_DATE_EPOCH=1)" \
    'cannot read.*--allow-dirty'
said=$(cd "$tree" && env -u SOURCE_DATE_EPOCH scripts/make_package.sh scripts/setup.sh 1.0.0 dist 2>&1)
status=$?
[ $status -ne 0 ] || fail "make_package.sh packed without a commit time"
[[ $said == *SOURCE_DATE_EPOCH* ]] || fail "make_package.sh without a commit time: $said"
[ -e "$tree/dist/glidora-1.0.0-win32.zip" ] && fail "make_package.sh wrote an archive without a time"
said=$(ALLOW_DIRTY=1 package "$tree" SOURCE_DATE_EPOCH=$commit_time)
[[ $said == 0* ]] || fail "no history, SOURCE_DATE_EPOCH and --allow-dirty given: $said"
[ "$(member_times "$tree/dist/glidora-1.0.0-dirty-win32.zip")" = "$commit_stamp " ] ||
    fail "members are not dated with SOURCE_DATE_EPOCH"

# dist/ holds one build's files: packing that stops half way leaves the last
# build whole, a new version replaces it.
tree=$work/clean
package "$tree" VERSION=1.1.0 FAIL_CHECKSUM=1 >/dev/null
[ "$(cd "$tree/dist" && echo *)" = "BUILDINFO.txt SHA256SUMS glidora-1.0.0-win32.zip" ] ||
    fail "packing that stopped half way changed dist/: $(cd "$tree/dist" && echo *)"
package "$tree" VERSION=1.1.0 >/dev/null
[ "$(cd "$tree/dist" && echo *)" = "BUILDINFO.txt SHA256SUMS glidora-1.1.0-win32.zip" ] ||
    fail "dist/ after a new version: $(cd "$tree/dist" && echo *)"

# Only root can give a checkout to another user.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    tree=$(make_tree foreign)
    chown -R nobody "$tree"
    said=$(package "$tree")
    [[ $said == 0* ]] || fail "a checkout owned by another user: $said"
    [ "$(member_times "$tree/dist/glidora-1.0.0-win32.zip")" = "$commit_stamp " ] ||
        fail "a checkout owned by another user: members not dated with the commit"
else
    echo "not root: the checkout owned by another user is not tried"
fi

finish "release refusals"
