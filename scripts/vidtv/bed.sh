# shellcheck shell=sh
# The test bed that scripts/vidtv-box.sh and scripts/vidtv-bench.sh share, on
# the host: the carriers vidtv sends, how far off them a tune locks, the boot
# that runs scripts/vidtv-box.sh in the guest, and the figures drawn from a
# box's trace. POSIX sh, sourced after setting vidtv_here (the scripts folder).

# Eight carriers, four in each band of the LNB, off the plug-in's step grid,
# each locking within 2 MHz: a window wider than the sweep's 3 MHz step, so
# one step at least falls in it wherever the grid lies, and the search that
# follows a lock finds several locked frequencies, the C/N highest nearest
# the carrier. vidtv compares intermediate frequencies only, so a low-band
# carrier F also locks at F+850 MHz in the high band and a high-band one G at
# G-850 MHz in the low band: low-band carriers stay below 10848 MHz and
# high-band ones from 12552 MHz (window included), which keeps those ghosts
# out of 10700-12750 MHz. The band file's "playing" transponder is 12618 MHz,
# one of them.
vidtv_bed_carriers="10718400 10751700 10785000 10822300 12575600 12618000 12662900 12711400"
vidtv_bed_shift=2000

# vidtv_bed_run BUILD OUT TIMEOUT NAME=VALUE ARGS...: boots the bed with the box
# of BUILD and runs "vidtv-box.sh ARGS..." inside, with the variable NAME set
# to VALUE; its files land in OUT. Returns the
# guest command's status (vidtv.sh's: 124 timed out, 125 the bed failed).
vidtv_bed_run() {
  bed_build=$1 bed_out=$2 bed_timeout=$3 bed_env=$4
  shift 4
  "$vidtv_here/vidtv.sh" run --freqs "$(echo "$vidtv_bed_carriers" | tr ' ' ',')" --shift "$vidtv_bed_shift" \
    --timeout "$bed_timeout" --build "$bed_build" --env "VIDTV_BOX=$bed_build/vantrel-box" \
    --env "VIDTV_CARRIERS=$vidtv_bed_carriers" --env "VIDTV_WINDOW=$vidtv_bed_shift" \
    --env ASAN_OPTIONS=detect_leaks=1 --env "$bed_env" --out "$bed_out" --pack "$vidtv_here/vidtv-box.sh" \
    --pack "$vidtv_here/../tests/data/vidtv/band.json" --pack "$vidtv_here/../tests/data/vidtv/band-192.json" \
    --pack "$vidtv_here/../tests/data/vidtv/hunt.json" -- sh "$vidtv_here/vidtv-box.sh" "$@"
}

# vidtv_bed_stats LABEL: the count, median and 95th percentile (nearest rank)
# of the numbers on standard input, one a line.
vidtv_bed_stats() {
  sort -n | awk -v label="$1" '{ v[++n] = $1 }
    function rank(p,  r) { r = int(n * p); if (r < n * p) r++; return v[r] }
    END { if (n) printf "%-34s %5d   median %6d ms   95%% %6d ms\n", label, n, rank(0.5), rank(0.95)
          else printf "%-34s %5d\n", label, 0 }'
}

# vidtv_bed_figures DIR [realtime]: the figures of the sweep whose trace and
# wall time (ms, from the guest's uptime) the guest left in DIR. A step is a
# tune of the sweep (not of the scan, not the give-back at exit) and its
# answer; during a tune the box follows the wall clock, so the answer's box
# time less the tune's is the tune's real time. With "realtime" (a box on the
# wall clock) also the box's own time between an answer and the next step,
# once the plug-in's pace has come down to its 100 ms: the gap less 100 ms.
vidtv_bed_figures() {
  bed_trace=$1/trace.jsonl
  awk '
    function num(key,  s) {
      if (!match($0, "\"" key "\":-?[0-9]+")) return ""
      s = substr($0, RSTART + length(key) + 3, RLENGTH - length(key) - 3)
      return s + 0
    }
    /"ev":"messageBox"/ && /"caption":"Finito"/ { done = 1 }
    /"ev":"setMode","mode":1[,}]/ { scanning = 1 }
    /"ev":"setMode","mode":2[,}]/ { scanning = 0; answered = 0 }
    done || scanning { next }
    /"ev":"tune",/ {
      if (answered && answers >= 24) print "gap", num("t") - at - 100
      answered = 0; freq = num("freq"); start = num("t")
    }
    /"ev":"tuned",/ && num("freq") == freq && start != "" {
      err = num("err")
      if (err == 0) print "locked", num("t") - start
      else if (err == -110) print "empty", num("t") - start
      if (err == 0 || err == -110) { answers++; answered = 1; at = num("t") }
      start = ""
    }' "$bed_trace" >"$1/figures.txt"
  awk '$1 == "empty" { print $2 }' "$1/figures.txt" | vidtv_bed_stats "empty steps (answered -110):"
  awk '$1 == "locked" { print $2 }' "$1/figures.txt" | vidtv_bed_stats "locked steps (answered 0):"
  if [ "${2:-}" = realtime ]; then
    awk '$1 == "gap" { print $2 }' "$1/figures.txt" | vidtv_bed_stats "box overhead per step (gap - 100):"
  fi
  echo "whole run: $(cat "$1/wall_ms" 2>/dev/null || echo '?') ms wall time"
}
