#!/bin/sh
# The box on a real Linux DVB front end: the kernel's virtual tuner (vidtv)
# under qemu, through scripts/vidtv.sh. vidtv carries its multiplex on
# 11362000 kHz only. Two sweeps run in one boot, each a whole plug-in run:
#   found: 11355-11370 MHz, step 1, 27500 ksym/s, horizontal. Only 11362 MHz
#          may lock; the sweep must search around it, scan it and report
#          "Beethoven" from "LinuxTV.org".
#   empty: 11400-11410 MHz: no lock, no scan, nothing found.
# Then a box must refuse the front end while another program holds it.
# Each run must give the playing transponder (11362 MHz, tests/data/vidtv/
# band.json) back at exit and end with status 0. Traces, screens and the
# box's output are kept in OUT (default build/vidtv-box).
#
# Usage: scripts/vidtv-box.sh [--build DIR] [OUT]   (on the host; DIR: the build
#                                                   folder whose box runs, e.g.
#                                                   build-asan; default build)
#        scripts/vidtv-box.sh guest                  (inside the guest; vidtv.sh does it)
set -u

# The dialog's fields: start and end (5 digits each move on by themselves),
# the symbol rate, then down to the step; green starts the sweep. At the end
# the graph is scrolled to the band swept (10 MHz a press from 10700 MHz).
keys() {
  digits=$(echo "$1$2" | sed 's/./key &;/g')
  scroll=$(awk -v n=$((($1 - 10700) / 10 - 1)) 'BEGIN { for (i = 0; i < n; i++) printf "key right;" }')
  echo "wait 200; ${digits} key 2;key 7;key 5;key 0;key 0; key down; key 0;key 0;key 0;key 0;key 1;" \
    "key green; wait-text \"Scansione terminata\" 600000; wait 200; shot $3; key ok; wait 200;" \
    "${scroll} wait 200; shot $3-graph; key red; wait 500; key red"
}

failed=0
check() {
  if [ "$2" = yes ]; then
    echo "vidtv-box: ok: $1"
  else
    echo "vidtv-box: FAILED: $1"
    failed=1
  fi
}
has() { grep -q "$1" "$2" && echo yes || echo no; }
hasnt() { grep -q "$1" "$2" && echo no || echo yes; }

# Runs the box for one sweep; its trace, screens and output land in $out/$1.
sweep() {
  dir=$out/$1
  mkdir -p "$dir"
  t0=$(awk '{ printf "%d", $1 * 1000 }' /proc/uptime)
  "$box" --adapter 0 --lock-timeout 300 --band tests/data/vidtv/band.json --root /tmp/root-$1 \
    --max-time 600000 --keys "$(keys "$2" "$3" "$1")" --shots "$dir" --trace "$dir/trace.jsonl" \
    >"$dir/stdout.txt" 2>"$dir/stderr.txt"
  status=$?
  t1=$(awk '{ printf "%d", $1 * 1000 }' /proc/uptime)
  echo "vidtv-box: the $1 sweep took $((t1 - t0)) ms"
  cat "$dir/stdout.txt" "$dir/stderr.txt"
  check "$1: the box exits 0 (it gave $status)" "$([ $status -eq 0 ] && echo yes || echo no)"
  trace=$dir/trace.jsonl
  # Each tune's answer: the lock, then the give-back at exit, which also locks.
  grep '"ev":"tuned"' "$trace" | sed 's/,"t":[0-9]*//' >"$dir/tuned.txt"
  # What happens after the sweep window left scan mode for good: the give-back.
  awk '/"ev":"setMode","mode":2/ { n = NR } { line[NR] = $0 } END { for (i = n; i <= NR; i++) print line[i] }' \
    "$trace" >"$dir/exit.jsonl"
  check "$1: the transponder is given back at exit" "$(has '"ev":"tune","freq":11362000' "$dir/exit.jsonl")"
  check "$1: playing Beethoven again tunes 11362 MHz and locks" \
    "$(has '"err":0,"ev":"tuned","freq":11362000' "$dir/exit.jsonl")"
  check "$1: no tune fails with a device error" \
    "$(grep '"ev":"tuned"' "$trace" | grep -qv '"err":\(0\|-110\|-125\),' && echo no || echo yes)"
}

guest() {
  out=${VIDTV_OUT:?}
  box=${VIDTV_BOX:-./build/vantrel-box}
  sweep found 11355 11370
  d=$out/found
  check "found: 11362 MHz locks" "$(has '"err":0,"ev":"tuned","freq":11362000' "$d/tuned.txt")"
  check "found: nothing else locks" "$(grep '"err":0,' "$d/tuned.txt" | grep -qv '"freq":11362000,' && echo no || echo yes)"
  # The search tunes on 1 MHz past the lock (where vidtv does not lock)
  # before the scan starts.
  awk '/"err":0,"ev":"tuned","freq":11362000/ { locked = 1 }
       locked && /"err":-110,"ev":"tuned","freq":11363000/ { searched = 1 }
       /"ev":"dvb"/ && /"type":2[,}]/ { scanned = 1; exit }
       END { exit !(searched && scanned) }' "$d/trace.jsonl"
  check "found: the lock is searched 1 MHz at a time before the scan" "$([ $? -eq 0 ] && echo yes || echo no)"
  check "found: the transponder is scanned" "$(has '"ev":"dvb","t":[0-9]*,"type":15' "$d/trace.jsonl")"
  check "found: the scan reports Beethoven from LinuxTV.org" \
    "$(has '"ev":"serviceFound","freq":11362000,"name":"Beethoven","provider":"LinuxTV.org"' "$d/trace.jsonl")"
  check "found: the box lists Beethoven (LinuxTV.org) at exit" "$(has 'Beethoven (LinuxTV.org)' "$d/stdout.txt")"
  cp /tmp/root-found/var/tuxbox/config/vantrel-box/services.json "$d/services.json" 2>/dev/null
  check "found: the service list keeps 11362 MHz with its delivery system" \
    "$(has '"frequency_khz": 11362000,.*"system": "DVB-S2"' "$d/services.json")"
  check "found: the universal LNB puts 11362 MHz at IF 1612 MHz, low band, 18 V" \
    "$(has '"band":"low","ev":"lnb","freq":11362000,"if":1612000,"t":[0-9]*,"voltage":18' "$d/trace.jsonl")"

  sweep empty 11400 11410
  d=$out/empty
  check "empty: nothing locks during the sweep" \
    "$(awk '/"ev":"setMode","mode":2/ { exit } /"ev":"tuned"/ && /"err":0,/ { bad = 1 } END { exit bad }' \
      "$d/trace.jsonl" && echo yes || echo no)"
  check "empty: no scan starts" "$(hasnt '"ev":"serviceFound"' "$d/trace.jsonl")"
  # The box speaks Italian unless told otherwise, as its plug-in does.
  check "empty: the box found nothing" "$(has 'No transponder was scanned\|Nessun transponder è stato scansionato' "$d/stdout.txt")"

  # Another program holds the front end open for writing.
  exec 3<>/dev/dvb/adapter0/frontend0
  "$box" --adapter 0 --keys 'key red' --root /tmp/root-busy >"$out/busy.txt" 2>&1
  status=$?
  exec 3>&-
  cat "$out/busy.txt"
  check "busy: the box exits 2 (it gave $status)" "$([ $status -eq 2 ] && echo yes || echo no)"
  check "busy: it names the device and the reason" \
    "$(has '^vantrel-box: --adapter: /dev/dvb/adapter0/frontend0: \(busy\|occupato\)' "$out/busy.txt")"
  exit $failed
}

if [ "${1:-}" = guest ]; then
  guest
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build
if [ "${1:-}" = --build ]; then
  [ -d "${2:-}" ] || { echo "vidtv-box: --build: no folder '${2:-}'" >&2; exit 2; }
  build=$2
  shift 2
fi
build=$(cd "$build" && pwd)
out=${1:-$build/vidtv-box}
mkdir -p "$out" && out=$(cd "$out" && pwd)
exec "$here/vidtv.sh" run --freqs 11362000 --timeout 170 --build "$build" --env "VIDTV_BOX=$build/vantrel-box" \
  --env ASAN_OPTIONS=detect_leaks=1 --out "$out" --pack "$here/vidtv-box.sh" \
  --pack "$here/../tests/data/vidtv/band.json" -- sh "$here/vidtv-box.sh" guest
