#!/usr/bin/env bash
# Configures and builds a preset (default: "default"). "ppc" cross-builds for
# the box's 32-bit PowerPC against the sysroot scripts/ppc-sysroot.sh makes
# (or finds in its cache).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
if [ "$preset" = ppc ]; then
  sysroot="$(./scripts/ppc-sysroot.sh)"
  cmake --preset ppc -DVANTREL_PPC_SYSROOT="$sysroot" >/dev/null
else
  cmake --preset "$preset" >/dev/null
fi
cmake --build --preset "$preset" -j "$(nproc)"
