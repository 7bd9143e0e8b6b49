#!/usr/bin/env bash
# Packs a built glidora.exe for players, reproducibly: the same exe, version
# and commit give the same bytes on any machine, whatever its folder, clock,
# time zone, locale or umask.
#   tools/make_package.sh <glidora.exe> <version> <output dir>
# Writes <output dir>/glidora-<version>-win32.zip, holding glidora.exe,
# LICENSE.txt and README.txt in that order, and <output dir>/SHA256SUMS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$1
version=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
name=glidora-$version-win32.zip

# Every member carries the time of the commit it was made from (or
# SOURCE_DATE_EPOCH), never the time of packing.
fallback_epoch=1767225600 # 2026-01-01, for a tree without its history
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo $fallback_epoch)}

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
