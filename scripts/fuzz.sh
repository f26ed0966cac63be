#!/usr/bin/env bash
# Builds the band parser's fuzz target with clang (preset "fuzz") and runs it
# for a while, seeded with the shipped bands. Usage: scripts/fuzz.sh [SECONDS]
# (default 30). A crash leaves its input in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_band -- -j1
corpus=build-fuzz/fuzz-corpus/band
mkdir -p "$corpus" build-fuzz/fuzz-artifacts
cp -n data/bands/*.json "$corpus"/ 2>/dev/null || true
build-fuzz/fuzz_band -max_total_time="$seconds" -max_len=16384 -timeout=10 \
  -artifact_prefix=build-fuzz/fuzz-artifacts/ "$corpus"
