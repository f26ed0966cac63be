#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs each for a
# while: the band parser seeded with the shipped bands, the kept service
# list's reader with a small list. Usage: scripts/fuzz.sh [SECONDS] (default
# 30, per target). A crash leaves its input in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_band fuzz_servicelist -- -j1
mkdir -p build-fuzz/fuzz-corpus/band build-fuzz/fuzz-corpus/servicelist build-fuzz/fuzz-artifacts
cp -n data/bands/*.json build-fuzz/fuzz-corpus/band/ 2>/dev/null || true
printf '%s\n' '{"version": 1, "transponders": [{"frequency_khz": 11000000, "symbol_rate": 27500000, "polarisation": 0, "fec": 3, "orbital_position": 130, "inversion": 0}], "services": [{"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1", "service_type": 1, "scrambled": false}]}' \
  >build-fuzz/fuzz-corpus/servicelist/seed.json
for target in band servicelist; do
  build-fuzz/fuzz_$target -max_total_time="$seconds" -max_len=16384 -timeout=10 \
    -artifact_prefix=build-fuzz/fuzz-artifacts/ build-fuzz/fuzz-corpus/$target
done
