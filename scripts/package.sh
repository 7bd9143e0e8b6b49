#!/usr/bin/env bash
# Builds the release glidora.exe (32-bit Windows) and makes the download for
# players: dist/glidora-<version>-win32.zip and dist/SHA256SUMS. The same
# commit gives the same bytes anywhere, so anyone can rebuild and compare.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target glidora
version=$(cat build/windows/version.txt)
tools/make_package.sh build/windows/ui/glidora.exe "$version" dist
echo "package: dist/glidora-$version-win32.zip"
cat dist/SHA256SUMS
