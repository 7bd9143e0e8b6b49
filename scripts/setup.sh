#!/usr/bin/env bash
# Installs what building, running and testing Glidora needs on Debian 12 or 13,
# as root:
# both Windows toolchains and both Wines, since the x86-64 build runs where the
# host cannot run 32-bit code.
# Installs only the packages that are missing; when everything is present it
# touches nothing and says so.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang clang-format libclang-rt-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xdotool imagemagick
  zip unzip
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
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

if [ $need_i386 -eq 1 ]; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
echo "setup: installing ${missing[*]}"
apt-get install -y -qq --no-install-recommends "${missing[@]}"
