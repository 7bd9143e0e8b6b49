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
# The choice of Wine is the cases' own.
unset GLIDORA_WINE_ARCH GLIDORA_WINE_REASON
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
[ "$1" != --audit ] || [ ! -e "$WORK/stopped" ] || echo "wine32:i386 is only half configured"
[ "$1" != --configure ] || { echo "configure" >>"$WORK/apt"; rm "$WORK/stopped"; }
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
pins=$(echo "$*" | sed -n 's/.*Preferences=\([^ ]*\).*/\1/p')
case " $* " in *" update "*) ;; *)
  # As this mirror: the security updates of wine32's i386 libraries are out
  # of reach, so they must stay at versions both architectures have.
  case " $* " in *" wine32:i386 "*)
    grep -qs '^Package: \*$' "$pins" &&
      printf 'Inst libssl3 [3.0.19] (3.0.20 Debian [amd64])\nInst libssl3:i386 (3.0.20 Debian [i386])\n'
    [ "$(cat "$WORK/syncs")" -eq 0 ] || grep -qs ' libssl3:i386 \|^Package: \*$' "$pins" &&
      [ "$(cat "$WORK/twins")" = served ] ||
      { echo "E: Unable to correct problems, you have held broken packages."; exit 100; } ;;
  esac
  case " $* " in *" -s "*) exit 0 ;; esac
  echo "installed" >>"$WORK/apt"; echo "$*" >"$WORK/installed"; cp "${pins:-/dev/null}" "$WORK/pins"; exit 0 ;;
esac
echo "update" >>"$WORK/apt"
case " $* " in *" APT::Architectures=amd64 "*) exit 0 ;; esac
left=$(cat "$WORK/syncs")
[ "$left" -gt 0 ] || exit 0
echo $((left - 1)) >"$WORK/syncs"
echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
exit 100
STUB
cat >"$work/bin/apt-cache" <<'STUB'
#!/bin/sh
held=3.0.22
case "$*" in *Preferences=*) held=3.0.20 ;; esac
for p; do
  case $p in libssl3) printf '%s:\n  Candidate: %s\n' "$p" "$held" ;; wine32) printf 'wine32:\n  Candidate: 8.0\n' ;; esac
done
STUB
chmod +x "$work/bin"/*

# Runs setup.sh with the mirror out of step for that many updates, on a kernel
# that runs 32-bit code unless a second argument says otherwise, where the
# pinned twins can be installed unless a third one says otherwise; prints its
# status, then what it said.
setup_with_syncs() {
    echo "$1" >"$work/syncs"
    echo "${2:-runs}" >"$work/kernel"
    echo "${3:-served}" >"$work/twins"
    rm -f "$work/apt" "$work/slept" "$work/installed" "$work/pins"
    WORK=$work PATH="$work/bin:$PATH" /bin/bash "$work/scripts/setup.sh" >"$work/said" 2>&1
    echo $?
    cat "$work/said"
}
mkdir -p "$work/scripts"
cp "$setup" "$(dirname "$setup")/wine.sh" "$work/scripts/"

said=$(setup_with_syncs 2)
[[ $said == 0* ]] || fail "a mirror whole again after two tries: $said"
[ "$(tr '\n' ' ' <"$work/apt")" = "update update update installed " ] ||
    fail "updates and installs: $(tr '\n' ' ' <"$work/apt")"
grep -qs wine32:i386 "$work/installed" || fail "no wine32 where 32-bit code runs"

# An install that was stopped midway is finished before apt goes on.
touch "$work/stopped"
said=$(setup_with_syncs 0)
[ "$(tr '\n' ' ' <"$work/apt")" = "configure update installed " ] ||
    fail "after an install stopped midway: $(tr '\n' ' ' <"$work/apt") $said"

said=$(setup_with_syncs 1000)
[[ $said == 0*"do not match its Release file: bookworm-security/main/binary-i386/Packages.xz"* ]] ||
    fail "a mirror that stays out of step: $said"
[[ $said == *"check the network"* ]] && fail "the network is blamed: $said"
waited=$(awk '{ s += $1 } END { print s + 0 }' "$work/slept")
[ "$waited" -ge 300 ] || fail "gave up after $waited s"
# wine32 with the twin libraries held back, and only those, by name.
grep -qs 'wine32:i386.*--no-remove\|--no-remove.*wine32:i386' "$work/installed" ||
    fail "wine32 not installed, or not without removals: $(cat "$work/installed")"
grep -qs 'allow-downgrades' "$work/installed" && fail "downgrades allowed"
if ! grep -qx 'Package: libssl3 libssl3:i386 *' "$work/pins" || ! grep -qx 'Pin: release n=bookworm-security' "$work/pins"; then
    fail "the pins: $(cat "$work/pins")"
fi
[[ $said == *"libssl3 3.0.20, holding back the update to 3.0.22"* ]] || fail "held back, unnamed: $said"
[[ $said == *wine32\ 8.0* ]] && fail "named as held back, though it is not: $said"

said=$(setup_with_syncs 1000 runs refused)
[[ $said == 0*"wine32 is left out: apt cannot install wine32:i386 here while the mirror's bookworm-security/main/binary-i386/Packages.xz is out of step"* ]] ||
    fail "wine32 that cannot be installed: $said"
grep -qs wine32 "$work/installed" && fail "wine32 installed against apt's refusal"
grep -qs 'held broken' "$work/build/wine32-left-out.txt" || fail "no record of why wine32 is left out"
said=$(setup_with_syncs 1000)
if [[ $said != 0*"wine32 stays left out, as an earlier run found: apt cannot install"* ]] ||
    grep -qs wine32 "$work/installed"; then
    fail "wine32 tried again on every run: $said"
fi
rm "$work/build/wine32-left-out.txt" || fail "the record went with the run that kept wine32 out"

said=$(setup_with_syncs 1000 refuses)
[[ $said == 0*"cannot run 32-bit x86 code"* ]] || fail "i386 lists stopped a host without 32-bit code: $said"
grep -qs wine32:i386 "$work/installed" && fail "wine32 installed on a host that cannot start it"
said=$(GLIDORA_WINE_ARCH=win64 setup_with_syncs 1000)
if [[ $said != 0*"asks for the x86-64 build only"* ]] || grep -q wine32 "$work/installed" ||
    [ "$(tr '\n' ' ' <"$work/apt")" != "update installed " ]; then
    fail "GLIDORA_WINE_ARCH=win64 asked for i386: $said"
fi

finish "setup"
