#!/usr/bin/env bash
# Builds the Debian package build/vantrel_VERSION_ARCH.deb from the default
# build (the build/ the tests use; stripped when packed), installed under
# /usr. Prints the package's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >&2
./scripts/build.sh default >&2
cd build
rm -f vantrel_*.deb
cpack -G DEB >&2
deb=(vantrel_*.deb)
[ -f "${deb[0]}" ] || { echo "package: cpack made no vantrel_*.deb" >&2; exit 1; }
echo "$PWD/${deb[0]}"
