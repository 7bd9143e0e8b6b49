#!/usr/bin/env bash
# Packs a built glidora.exe for players, reproducibly: the same exe, version
# and commit give the same bytes on any machine, whatever its folder, clock,
# time zone, locale or umask.
#   scripts/make_package.sh <glidora.exe> <version> <output dir>
# Writes <output dir>/glidora-<version>-win32.zip, holding glidora.exe,
# LICENSE.txt and README.txt in that order, and <output dir>/SHA256SUMS.
# Every member is dated with SOURCE_DATE_EPOCH when it is set, and otherwise
# with the time of the checkout's commit; without either it stops.
set -euo pipefail
usage="usage: scripts/make_package.sh <glidora.exe> <version> <output dir>"
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:?$usage}
version=${2:?$usage}
mkdir -p "${3:?$usage}"
out=$(cd "$3" && pwd)
name=glidora-$version-win32.zip

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
# A checkout owned by another user (a bind mount, a CI checkout) is one git
# refuses to read by default; this reads only the commit's time.
elif ! epoch=$(git -c safe.directory='*' -C "$root" log -1 --format=%ct 2>&1); then
    echo "make_package.sh: no commit time, and no SOURCE_DATE_EPOCH: git cannot read" \
        "the history of $root ($(tail -n 1 <<<"$epoch")). Package from a git checkout," \
        "or set SOURCE_DATE_EPOCH to the commit's time (git log -1 --format=%ct)." >&2
    exit 1
fi
if ! [[ $epoch =~ ^[0-9]+$ ]]; then
    echo "make_package.sh: '$epoch' is no time in seconds since 1970 (SOURCE_DATE_EPOCH?)" >&2
    exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/glidora.exe"
# Text for Windows players: CRLF line ends, whatever the checkout has.
sed 's/\r$//; s/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
sed "s/\r\$//; s/@VERSION@/$version/; s/\$/\r/" "$root/docs/player-readme.txt" >"$stage/README.txt"
chmod 0644 "$stage"/*
touch -d "@$epoch" "$stage"/*

rm -f "$out/$name"
# -X leaves out the owner and extra time fields; zip writes local times, so
# the zone is fixed.
(cd "$stage" && TZ=UTC LC_ALL=C zip -X -D -q "$out/$name" glidora.exe LICENSE.txt README.txt)
(cd "$out" && sha256sum "$name" >SHA256SUMS)
