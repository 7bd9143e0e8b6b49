#!/usr/bin/env bash
# Installs what building, running and testing Glidora needs on Debian 12 or 13,
# as root:
# both Windows toolchains, and both Wines where the host runs 32-bit x86 code;
# where it does not, or GLIDORA_WINE_ARCH=win64 asks for the x86-64 build only,
# wine32 is left out and nothing of i386 is read.
# Installs only the packages that are missing; when everything is present it
# touches nothing and says so. A mirror whose lists stay out of step does not
# stop it: it installs what it soundly can and says what it left out, and
# where that is wine32, writes why to build/wine32-left-out.txt for the
# scripts that choose the Wine.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang clang-format libclang-rt-dev lld llvm
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  googletest libgtest-dev libbenchmark-dev
  wine wine64 fonts-wine
  xvfb xauth xdotool imagemagick libxdo-dev
  zip unzip shellcheck mount libxml2-utils
)

# Every name above exists on both releases (libclang-rt-dev is the unversioned
# name of clang's runtime libraries, which the fuzzer and sanitizers link;
# mount, which tools/debian13.sh and its test use, is not essential on 13).

release=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")
echo "setup: found ${release:-an unknown release}"

# shellcheck source=scripts/wine.sh
source "$(dirname "$0")/wine.sh"
want_wine32=1
APT_ARCHITECTURES=()
LEFT_OUT=$(cd "$(dirname "$0")/.." && pwd)/build/wine32-left-out.txt
if [ "${GLIDORA_WINE_ARCH:-}" = win64 ]; then
  want_wine32=0
  echo "setup: GLIDORA_WINE_ARCH=win64 asks for the x86-64 build only, so wine32 is left out"
elif [ "${GLIDORA_WINE_ARCH:-}" != win32 ] && [ "$(kernel_runs_i386)" = no ]; then
  want_wine32=0
  echo "setup: this host cannot run 32-bit x86 code, so wine32 is left out" \
    "(the tests run the x86-64 build under wine64)"
fi
if [ $want_wine32 -eq 0 ]; then
  # Then, unless something of i386 is installed, apt reads the package lists of
  # the native architecture only: a mirror whose i386 lists are out of step
  # does not stop a host that would never use them.
  native=$(dpkg --print-architecture)
  installed=$(dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' 2>/dev/null || true)
  if [ -n "$native" ] && ! grep -qx 'installed i386' <<<"$installed"; then
    APT_ARCHITECTURES=(-o "APT::Architectures=$native")
  fi
else
  PACKAGES+=(wine32:i386)
fi

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for pkg in "${PACKAGES[@]}"; do
  is_installed "$pkg" || missing+=("$pkg")
done
# Trying wine32 again would cost every run the wait for the mirror; a fresh
# clone, or removing the record, tries again.
if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && [ -s "$LEFT_OUT" ]; then
  echo "setup: wine32 stays left out, as an earlier run found: $(cat "$LEFT_OUT")." \
    "To try again, remove $LEFT_OUT"
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | grep -vx 'wine32:i386')
fi

need_i386=0
if [ $want_wine32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  echo "setup: all build and test packages are present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  wanted=""
  [ ${#missing[@]} -eq 0 ] || wanted="missing packages: ${missing[*]}; "
  [ $need_i386 -eq 0 ] || wanted+="the i386 architecture is not enabled in dpkg; "
  echo "setup: ${wanted}run this script as root" >&2
  exit 1
fi

if [ $need_i386 -eq 1 ]; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A setup stopped in the middle of an install (Ctrl-C, a test run ended by a
# signal) leaves dpkg's work half done, and apt builds on nothing until it is
# finished.
if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
  echo "setup: finishing the install that was stopped midway (dpkg --configure -a)"
  dpkg --configure -a
fi
# A fresh cloud machine often runs its unattended upgrades first: wait for
# them rather than fail on the lock. apt-get waits for dpkg's lock itself,
# but not for that of the package lists.
apt_get() {
  LC_ALL=C apt-get -o DPkg::Lock::Timeout=600 "${APT_ARCHITECTURES[@]}" "$@"
}
# A mirror in the middle of a sync serves index files that do not match its
# Release file yet; apt says so and leaves them out. Such a mirror is usually
# whole again in minutes, so the update is tried again for a while; after
# that, setup goes on without those lists (see install_wine32_with_twins).
MIRROR_SYNC_WAIT=300
MIRROR_SYNC_SAYS='Mirror sync in progress|Hash Sum mismatch'
mirror_in_sync() {
  grep -qE "$MIRROR_SYNC_SAYS" <<<"$1"
}
# The lists apt could not take, as "<dist>/<component>/binary-<arch>/<file>",
# and the dists of the i386 ones.
OUT_OF_STEP=()
I386_OUT_OF_STEP=()
update_package_lists() {
  local said lock_waited=0 sync_waited=0
  until said=$(apt_get update -qq 2>&1); do
    if grep -q 'Could not get lock' <<<"$said" && [ $lock_waited -lt 600 ]; then
      [ $lock_waited -gt 0 ] || echo "setup: waiting for another apt to finish"
      sleep 5
      lock_waited=$((lock_waited + 5))
    elif mirror_in_sync "$said" && [ $sync_waited -lt $MIRROR_SYNC_WAIT ]; then
      if [ $sync_waited -eq 0 ]; then
        echo "setup: the Debian mirror is in the middle of a sync; trying again every 30 s" \
          "for $((MIRROR_SYNC_WAIT / 60)) minutes. apt said:"
        grep -E "$MIRROR_SYNC_SAYS" <<<"$said" | head -n 3 | sed 's/^/    /'
      fi
      sleep 30
      sync_waited=$((sync_waited + 30))
    elif mirror_in_sync "$said"; then
      mapfile -t OUT_OF_STEP < <(grep -E "$MIRROR_SYNC_SAYS" <<<"$said" |
        grep -oE '/dists/[^ ]+/binary-[^ /]+/[^ ]+' | cut -d / -f 3- | sort -u)
      mapfile -t I386_OUT_OF_STEP < <(printf '%s\n' "${OUT_OF_STEP[@]}" | awk -F / '$3 == "binary-i386" { print $1 }' | sort -u)
      echo "setup: after $((MIRROR_SYNC_WAIT / 60)) minutes the Debian mirror still serves" \
        "lists that do not match its Release file: ${OUT_OF_STEP[*]}. Going on without them:" \
        "the network and the sources are fine."
      # apt drops every list of a dist one of whose lists fails, the native
      # ones with the i386 ones; those it keeps from an update that fetches
      # only the native lists, and the next whole update keeps them in turn.
      if [ ${#APT_ARCHITECTURES[@]} -eq 0 ] &&
        apt_get -o APT::Architectures="$(dpkg --print-architecture)" update -qq >/dev/null 2>&1; then
        apt_get update -qq >/dev/null 2>&1 || true
      fi
      return 0
    else
      echo "$said" >&2
      return 1
    fi
  done
  [ -z "$said" ] || echo "$said"
}

# Installs at the candidate versions, never downgrading or removing a package.
apt_install() {
  apt_get "${APT_PINS[@]}" install -y -qq --no-install-recommends --no-remove "$@"
}

# Writes an apt preferences file that takes, for the packages of the given
# Package field, no version from a dist whose i386 lists are out of step, so
# that both architectures agree on a version both lists hold. The system's
# own preferences still apply.
write_twin_pins() {
  local dist
  cat /etc/apt/preferences 2>/dev/null || true
  for dist in "${I386_OUT_OF_STEP[@]}"; do
    printf '\nPackage: %s\nPin: release n=%s\nPin-Priority: 100\n' "$1" "$dist"
  done
}

# "<package> <candidate version>" of the native twins.
native_candidates() {
  LC_ALL=C apt-cache "$@" policy "${twins[@]}" |
    awk '/^[^ ]/ { name = $1; sub(/:$/, "", name) } / Candidate:/ { print name, $2 }' | sort
}

# Of the libraries apt names with :i386 in what it said, "<name> <version>"
# of those installed whose version the mirror has no i386 build of: these
# wine32 cannot match without downgrading them.
blocking_libraries() {
  local named
  named=$(grep -oE '[a-z0-9][a-z0-9.+-]*:i386' <<<"$1" | sort -u) || return 0
  # shellcheck disable=SC2086 # one word a package
  awk 'NR == FNR { served[$1 " " $2]; next } !(($1 ":i386 " $2) in served) { print $1 " " $2 }' \
    <(LC_ALL=C apt-cache madison $named 2>/dev/null | awk -F '|' '{ gsub(/ /, ""); print $1, $2 }') \
    <(dpkg-query -W -f='${Package} ${Version} ${db:Status-Status}\n' ${named//:i386/} 2>/dev/null |
      awk '$3 == "installed" { print $1, $2 }') | paste -sd , - | sed 's/,/, /g'
}

# Where the i386 lists of some dist are out of step, the i386 libraries of
# wine32 cannot have that dist's versions, which their native twins would
# get. For just those libraries both then take the newest version both
# architectures have, and setup names each update it holds back. Where
# wine32 cannot be installed even so, it is left out, saying why.
install_wine32_with_twins() {
  local pins=$1 said twins=() name was now
  if [ ${#I386_OUT_OF_STEP[@]} -gt 0 ]; then
    # Every package held back first: the i386 ones wine32 then brings are
    # those that need it.
    write_twin_pins '*' >"$pins"
    APT_PINS=(-o Dir::Etc::Preferences="$pins")
    mapfile -t twins < <(apt_install -s "${missing[@]}" 2>/dev/null |
      awk '$1 == "Inst" && $2 ~ /:i386$/ { sub(/:i386$/, "", $2); print $2 }')
  fi
  if [ ${#twins[@]} -gt 0 ]; then
    write_twin_pins "$(for name in "${twins[@]}"; do echo -n "$name $name:i386 "; done)" >"$pins"
    if said=$(apt_install -s "${missing[@]}" 2>&1); then
      echo "setup: the mirror's ${OUT_OF_STEP[*]} is out of step, so for these libraries" \
        "wine32 and their native twins take the newest version both architectures have:"
      join <(native_candidates) <(native_candidates -o Dir::Etc::Preferences="$pins") |
        while read -r name was now; do
          [ "$was" = "$now" ] || echo "    $name $now, holding back the update to $was"
        done
      return
    fi
  fi
  APT_PINS=()
  # Not quiet: apt names the unmet dependencies only then.
  said=$(apt_get install -s --no-install-recommends --no-remove "${missing[@]}" 2>&1) || true
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | grep -vx 'wine32:i386')
  local blocking
  blocking=$(blocking_libraries "$said")
  {
    echo -n "apt cannot install wine32:i386 here"
    [ ${#OUT_OF_STEP[@]} -eq 0 ] || echo -n " while the mirror's ${OUT_OF_STEP[*]} is out of step"
    [ -z "$blocking" ] || echo -n ": its i386 libraries must match the installed $blocking," \
      "and the mirror serves no i386 build of those versions"
    echo " ($(grep '^E:' <<<"$said" | head -n 1))"
  } >"$LEFT_OUT.new" && mv "$LEFT_OUT.new" "$LEFT_OUT"
  echo "setup: wine32 is left out: $(cat "$LEFT_OUT"). The tests run the x86-64 build under" \
    "wine64 instead, and say so."
}

APT_PINS=()
update_package_lists || {
  echo "setup: the package lists could not be fetched; check the network (or proxy)" \
    "and the sources in /etc/apt/sources.list*, then run scripts/setup.sh again" >&2
  exit 1
}
mkdir -p "$(dirname "$LEFT_OUT")"
pins=$(mktemp)
trap 'rm -f "$pins"' EXIT
if [[ " ${missing[*]} " == *" wine32:i386 "* ]]; then
  rm -f "$LEFT_OUT"
  apt_install -s "${missing[@]}" >/dev/null 2>&1 || install_wine32_with_twins "$pins"
fi
if [ ${#missing[@]} -gt 0 ] && ! { echo "setup: installing ${missing[*]}" && apt_install "${missing[@]}"; }; then
  echo "setup: apt-get could not install them; if it could not find or fetch a package," \
    "the package lists may be incomplete: check the network and /etc/apt/sources.list*" >&2
  exit 1
fi
