#!/usr/bin/env bash
# Configures and builds a preset (default: "default"). "ppc" cross-builds for
# the box's 32-bit PowerPC against the sysroot scripts/ppc-sysroot.sh makes
# (or finds in its cache), through ccache.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
jobs="$(nproc)"
[ "$jobs" -le 2 ] || jobs=2  # others build on this machine too

# The cross compile's objects are kept in a ccache beside the sysroot, so a
# fresh clone builds warm. Its key is the sysroot's: a new recipe starts a new
# cache. Paths under the clone are hashed relative to it (base_dir), so
# clones in other folders share it.
ppc_launcher() {  # SYSROOT
  local dir="$1.ccache"
  if ! command -v ccache >/dev/null; then
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "build: installing ccache" >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends \
      ccache >/dev/null || { echo "build: apt-get install ccache failed" >&2; exit 1; }
  fi
  mkdir -p "$dir"
  CCACHE_DIR="$dir" ccache --set-config=max_size=2G
  echo "env;CCACHE_DIR=$dir;CCACHE_BASEDIR=$PWD;ccache"
}

if [ "$preset" = ppc ]; then
  sysroot="$(./scripts/ppc-sysroot.sh)"
  launcher="$(ppc_launcher "$sysroot")"
  cmake --preset ppc -DVANTREL_PPC_SYSROOT="$sysroot" -DCMAKE_C_COMPILER_LAUNCHER="$launcher" \
    -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" >/dev/null
else
  cmake --preset "$preset" >/dev/null
fi
cmake --build --preset "$preset" -j "$jobs"
