#!/usr/bin/env bash
# Installs what building, running and testing Glidora needs on Debian 12 or 13,
# as root:
# both Windows toolchains, and both Wines where the host runs 32-bit x86 code;
# where it does not, the x86-64 build runs under wine64 and wine32, which could
# not start there, is left out.
# Installs only the packages that are missing; when everything is present it
# touches nothing and says so.
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
if [ "$(kernel_runs_i386)" = no ]; then
  want_wine32=0
  echo "setup: this host cannot run 32-bit x86 code, so wine32 is left out" \
    "(the tests run the x86-64 build under wine64)"
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
# A fresh cloud machine often runs its unattended upgrades first: wait for
# them rather than fail on the lock. apt-get waits for dpkg's lock itself,
# but not for that of the package lists.
apt_get() {
  LC_ALL=C apt-get -o DPkg::Lock::Timeout=600 "${APT_ARCHITECTURES[@]}" "$@"
}
# A mirror in the middle of a sync serves index files that do not match its
# Release file yet; apt says so and ignores them (status 2 below). Going on
# would be wrong, as the i386 libraries of wine32 must match the amd64 ones of
# the security updates; but such a mirror is usually whole again in minutes.
MIRROR_SYNC_WAIT=300
MIRROR_SYNC_SAYS='Mirror sync in progress|Hash Sum mismatch'
mirror_in_sync() {
  grep -qE "$MIRROR_SYNC_SAYS" <<<"$1"
}
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
    else
      echo "$said" >&2
      mirror_in_sync "$said" && return 2
      return 1
    fi
  done
  [ -z "$said" ] || echo "$said"
}
status=0
update_package_lists || status=$?
if [ $status -ne 0 ]; then
  if [ $status -eq 2 ]; then
    echo "setup: the Debian mirror is still in the middle of a sync after" \
      "$((MIRROR_SYNC_WAIT / 60)) minutes: some of its index files do not match its Release" \
      "file yet (apt: \"Mirror sync in progress?\" or \"Hash Sum mismatch\"). The network and" \
      "the sources are fine. Run scripts/setup.sh again later (a sync usually ends within the" \
      "hour), or name another Debian mirror in /etc/apt/sources.list*." >&2
  else
    echo "setup: the package lists could not be fetched; check the network (or proxy)" \
      "and the sources in /etc/apt/sources.list*, then run scripts/setup.sh again" >&2
  fi
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! apt_get install -y -qq --no-install-recommends "${missing[@]}"; then
    echo "setup: apt-get could not install them; if it could not find or fetch a package," \
      "the package lists may be incomplete: check the network and /etc/apt/sources.list*" >&2
    exit 1
  fi
fi
