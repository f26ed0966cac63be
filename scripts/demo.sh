#!/usr/bin/env bash
# The main job: the box runs the plug-in on the built-in demo band with a
# scripted user, writes screenshots to out/demo and prints what it found.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh default
mkdir -p out/demo
start=$EPOCHREALTIME
status=0
./build/vantrel-box --keys @data/scripts/demo.keys --shots out/demo --trace out/demo/trace.jsonl || status=$?
end=$EPOCHREALTIME
echo "demo: vantrel-box exited with $status after $(awk "BEGIN{printf \"%.3f\", $end - $start}") s of wall time"
echo "demo: screenshots and trace in out/demo:"
ls out/demo
exit $status
