#!/usr/bin/env bash
# The tests of a fresh machine: installs what is missing, builds, runs ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh default
ctest --preset default
