#!/usr/bin/env bash
# Installs what building, running and testing Glidora needs on Debian 12 or 13,
# as root:
# both Windows toolchains and both Wines, since the x86-64 build runs where the
# host cannot run 32-bit code.
# Installs only the packages that are missing; when everything is present it
# touches nothing and says so.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang clang-format libclang-rt-dev lld llvm
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth xdotool imagemagick libxdo-dev
  zip unzip shellcheck
)

# Every name above exists on both releases (libclang-rt-dev is the unversioned
# name of clang's runtime libraries, which the fuzzer and sanitizers link).
release=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")
echo "setup: found ${release:-an unknown release}"

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for pkg in "${PACKAGES[@]}"; do
  is_installed "$pkg" || missing+=("$pkg")
done

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

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
  LC_ALL=C apt-get -o DPkg::Lock::Timeout=600 "$@"
}
update_package_lists() {
  local said waited=0
  until said=$(apt_get update -qq 2>&1); do
    if ! grep -q 'Could not get lock' <<<"$said" || [ $waited -ge 600 ]; then
      echo "$said" >&2
      return 1
    fi
    [ $waited -gt 0 ] || echo "setup: waiting for another apt to finish"
    sleep 5
    waited=$((waited + 5))
  done
  [ -z "$said" ] || echo "$said"
}
if ! update_package_lists; then
  echo "setup: the package lists could not be fetched; check the network (or proxy)" \
    "and the sources in /etc/apt/sources.list*, then run scripts/setup.sh again" >&2
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
