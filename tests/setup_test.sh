#!/usr/bin/env bash
# scripts/setup.sh against a Debian mirror in the middle of a sync, played by
# stand-ins for apt-get, dpkg, the clock and the kernel's answer to a 32-bit
# program: it tries again for a while, goes on once the mirror is whole, and
# otherwise stops saying what happened and what to do, not blaming the
# network; a host that runs no 32-bit code neither installs wine32 nor reads
# the i386 lists that are out of step.
# shellcheck disable=SC2016 # the stand-ins expand what they are given
set -uo pipefail
# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
setup=$(cd "$(dirname "$0")/../scripts" && pwd)/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A root shell on amd64 that lacks every package; apt-get update fails while
# the file "syncs" holds a count above zero, taking one off each time, unless
# it is told to read the amd64 lists only. The file "kernel" says how the
# kernel answers setup's 32-bit program.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
cat >"$work/bin/dpkg" <<'STUB'
#!/bin/sh
case "$1" in --print-architecture) echo amd64 ;; --print-foreign-architectures) echo i386 ;; esac
exit 0
STUB
cat >"$work/bin/bash" <<'STUB'
#!/bin/sh
[ "$1 $2" = '-c exec "$@"' ] || exec /bin/bash "$@"
[ "$(cat "$WORK/kernel")" = runs ] && exit 42
echo "bash: $4: cannot execute binary file: Exec format error" >&2
exit 126
STUB
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho "$1" >>"$WORK/slept"\n' >"$work/bin/sleep"
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
case " $* " in *" update "*) ;; *) echo "installed" >>"$WORK/apt"; echo "$*" >"$WORK/installed"; exit 0 ;; esac
echo "update" >>"$WORK/apt"
case " $* " in *" APT::Architectures=amd64 "*) exit 0 ;; esac
left=$(cat "$WORK/syncs")
[ "$left" -gt 0 ] || exit 0
echo $((left - 1)) >"$WORK/syncs"
echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
exit 100
STUB
chmod +x "$work/bin"/*

# Runs setup.sh with the mirror out of step for that many updates, on a kernel
# that runs 32-bit code unless a second argument says otherwise; prints its
# status, then what it said.
setup_with_syncs() {
    echo "$1" >"$work/syncs"
    echo "${2:-runs}" >"$work/kernel"
    rm -f "$work/apt" "$work/slept" "$work/installed"
    WORK=$work PATH="$work/bin:$PATH" /bin/bash "$setup" >"$work/said" 2>&1
    echo $?
    cat "$work/said"
}

said=$(setup_with_syncs 2)
[[ $said == 0* ]] || fail "a mirror whole again after two tries: $said"
[ "$(tr '\n' ' ' <"$work/apt")" = "update update update installed " ] ||
    fail "updates and installs: $(tr '\n' ' ' <"$work/apt")"
grep -qs wine32:i386 "$work/installed" || fail "no wine32 where 32-bit code runs"

said=$(setup_with_syncs 1000)
[[ $said == 1* ]] || fail "a mirror that stays out of step: $said"
[[ $said == *"still in the middle of a sync"*"network and the sources are fine"* ]] ||
    fail "the message does not say what happened: $said"
[[ $said == *"check the network"* ]] && fail "the network is blamed: $said"
waited=$(awk '{ s += $1 } END { print s + 0 }' "$work/slept")
[ "$waited" -ge 300 ] || fail "gave up after $waited s"
grep -q installed "$work/apt" && fail "installed from incomplete package lists"

said=$(setup_with_syncs 1000 refuses)
[[ $said == 0*"cannot run 32-bit x86 code"* ]] || fail "i386 lists stopped a host without 32-bit code: $said"
grep -qs wine32:i386 "$work/installed" && fail "wine32 installed on a host that cannot start it"

finish "setup"
