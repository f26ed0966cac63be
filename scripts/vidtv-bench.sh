#!/usr/bin/env bash
# How fast the box sweeps a real front end: boots the test bed of
# scripts/vidtv-box.sh (vidtv under qemu, eight carriers locking within 2 MHz),
# runs the box over a band and prints, from its trace, the count, median and
# 95th percentile of the tunes answered -110 (empty steps) and of those
# answered 0 (locked steps), each the real time from the tune to its answer,
# and the whole run's wall time in the guest. With --realtime the box runs on
# the wall clock and the script also prints its own overhead per step once the
# plug-in's pace has come down to 100 ms between an answer and the next tune.
#
# Usage: scripts/vidtv-bench.sh [--build DIR] [--band START-END] [--realtime] [OUT]
#   --build DIR       the build folder whose box runs (default build)
#   --band START-END  sweep START-END MHz at 27500 ksym/s in 1 MHz steps instead
#                     of the plug-in's default sweep (10700-12750 MHz, 3 MHz)
#   --realtime        run the box on the wall clock
#   OUT               where the trace, screens and figures go (default
#                     BUILD/vidtv-bench)
set -euo pipefail

vidtv_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
usage_error() {
  echo "vidtv-bench: $*" >&2
  echo "Usage: scripts/vidtv-bench.sh [--build DIR] [--band START-END] [--realtime] [OUT]" >&2
  exit 2
}

build=$vidtv_here/../build start="" end="" realtime="" out=""
while [ $# -gt 0 ]; do
  case $1 in
    --build)
      [ -d "${2:-}" ] || usage_error "--build: no folder '${2:-}'"
      build=$2
      shift
      ;;
    --band)
      [[ ${2:-} =~ ^([0-9]{5})-([0-9]{5})$ ]] || usage_error "--band wants START-END in MHz, not '${2:-}'"
      start=${BASH_REMATCH[1]} end=${BASH_REMATCH[2]}
      ((start >= 10700 && end <= 12750 && start <= end)) ||
        usage_error "--band: $2 is not a band within 10700-12750 MHz"
      shift
      ;;
    --realtime) realtime=--realtime ;;
    -*) usage_error "unknown option '$1'" ;;
    *)
      [ -z "$out" ] || usage_error "one output folder only"
      out=$1
      ;;
  esac
  shift
done
build=$(cd "$build" && pwd)
out=${out:-$build/vidtv-bench}
mkdir -p "$out" && out=$(cd "$out" && pwd)
rm -rf "$out/bench"

# Today's box waits the whole lock time-out (1.5 s) on an empty step; on the
# wall clock the plug-in's pace adds 31 s and 100 ms a step.
if [ -n "$start" ]; then
  steps=$((end - start + 1)) step=1
else
  steps=684 step=3
fi
timeout=$((120 + steps * 2))
[ -z "$realtime" ] || timeout=$((timeout + 40 + steps / 10))

# shellcheck source=scripts/vidtv/bed.sh
. "$vidtv_here/vidtv/bed.sh"
rc=0
vidtv_bed_run "$build" "$out" "$timeout" VIDTV_BENCH=1 bench "$start" "$end" "$step" $realtime || rc=$?
if [ ! -s "$out/bench/trace.jsonl" ]; then
  echo "vidtv-bench: the box left no trace (status $rc)" >&2
  exit $((rc ? rc : 1))
fi
echo "vidtv-bench: $(basename "$build")/vantrel-box, ${start:-10700}-${end:-12750} MHz step $step${realtime:+, on the wall clock}:"
vidtv_bed_figures "$out/bench" ${realtime:+realtime} | tee "$out/bench/summary.txt"
exit "$rc"
