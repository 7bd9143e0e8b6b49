#!/usr/bin/env bash
# scripts/setup.sh against a Debian mirror in the middle of a sync, played by
# stand-ins for apt-get, dpkg and the clock: it tries again for a while, goes
# on once the mirror is whole, and otherwise stops saying what happened and
# what to do, not blaming the network.
# shellcheck disable=SC2016 # the stand-ins expand what they are given
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
setup=$(cd "$(dirname "$0")/../scripts" && pwd)/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A root shell that lacks every package; apt-get update fails while the file
# "syncs" holds a count above zero, taking one off each time.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho "$1" >>"$WORK/slept"\n' >"$work/bin/sleep"
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
case " $* " in *" update "*) ;; *) echo "installed" >>"$WORK/apt"; exit 0 ;; esac
echo "update" >>"$WORK/apt"
left=$(cat "$WORK/syncs")
[ "$left" -gt 0 ] || exit 0
echo $((left - 1)) >"$WORK/syncs"
echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
exit 100
STUB
chmod +x "$work/bin"/*

# Runs setup.sh with the mirror out of step for that many updates; prints its
# status, then what it said.
setup_with_syncs() {
    echo "$1" >"$work/syncs"
    rm -f "$work/apt" "$work/slept"
    WORK=$work PATH="$work/bin:$PATH" bash "$setup" >"$work/said" 2>&1
    echo $?
    cat "$work/said"
}

said=$(setup_with_syncs 2)
[[ $said == 0* ]] || fail "a mirror whole again after two tries: $said"
[ "$(tr '\n' ' ' <"$work/apt")" = "update update update installed " ] ||
    fail "updates and installs: $(tr '\n' ' ' <"$work/apt")"

said=$(setup_with_syncs 1000)
[[ $said == 1* ]] || fail "a mirror that stays out of step: $said"
[[ $said == *"still in the middle of a sync"*"network and the sources are fine"* ]] ||
    fail "the message does not say what happened: $said"
[[ $said == *"check the network"* ]] && fail "the network is blamed: $said"
waited=$(awk '{ s += $1 } END { print s + 0 }' "$work/slept")
[ "$waited" -ge 300 ] || fail "gave up after $waited s"
grep -q installed "$work/apt" && fail "installed from incomplete package lists"

finish "setup"
