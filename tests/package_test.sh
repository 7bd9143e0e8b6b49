#!/usr/bin/env bash
# The download for players, made twice from the built exe, the second time
# from another folder, time zone, locale and umask: identical archives and
# checksums, the three members in order, the exe as built, a checksum file
# that verifies, and text files with Windows line ends.
#   package_test.sh <built glidora.exe> <version> <work dir>
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
# Each must be given: an empty work dir would put folders under /.
exe=${1:?usage: package_test.sh <glidora.exe> <version> <work dir>}
version=${2:?usage: package_test.sh <glidora.exe> <version> <work dir>}
work=${3:?usage: package_test.sh <glidora.exe> <version> <work dir>}
name=glidora-$version-win32.zip

rm -rf "$work"
mkdir -p "$work/first" "$work/elsewhere"
"$scripts/make_package.sh" "$exe" "$version" "$work/first" || fail "make_package.sh failed"
(
    cd "$work/elsewhere"
    umask 077
    TZ=America/St_Johns LC_ALL=C "$scripts/make_package.sh" "$exe" "$version" second
) || fail "make_package.sh failed the second time"

zip=$work/first/$name
cmp "$zip" "$work/elsewhere/second/$name" || fail "the two archives differ"
cmp "$work/first/SHA256SUMS" "$work/elsewhere/second/SHA256SUMS" || fail "the checksums differ"
(cd "$work/first" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not verify"
[ "$(wc -l <"$work/first/SHA256SUMS")" -eq 1 ] || fail "SHA256SUMS names more than the archive"

members=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$members" = "glidora.exe LICENSE.txt README.txt " ] || fail "members: $members"
unzip -p "$zip" glidora.exe | cmp - "$exe" || fail "the packed exe is not the built one"
# Owner ids and extra time stamps would differ from one packer to the next.
extras=$(zipinfo -v "$zip" | grep 'length of extra field' | grep -vc ' 0 bytes')
[ "$extras" -eq 0 ] || fail "$extras members carry extra fields"
for text in README.txt LICENSE.txt; do
    unzip -p "$zip" "$text" >"$work/$text"
    lines=$(grep -c '' "$work/$text")
    crlf=$(grep -c $'\r$' "$work/$text")
    if [ "$lines" -eq 0 ] || [ "$lines" -ne "$crlf" ]; then
        fail "$text: $crlf of $lines lines end in CRLF"
    fi
done
grep -q "^Glidora $version"$'\r$' "$work/README.txt" || fail "README.txt does not name version $version"
# The unsigned exe's download warning, and the way past it.
for words in SmartScreen '"More info"' '"Run anyway"' Unblock; do
    grep -q "$words" "$work/README.txt" || fail "README.txt does not name $words"
done
grep -q 'Copyright (c) 2026 The Glidora authors' "$work/LICENSE.txt" || fail "LICENSE.txt"

[ $failures -eq 0 ] && rm -rf "$work"
finish package
