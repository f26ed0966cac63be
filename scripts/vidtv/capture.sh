#!/bin/sh
# Runs inside the vidtv guest (scripts/vidtv.sh capture): holds DVB-S
# 11362000 kHz locked with dvbv5-zap and reads PAT, SDT and NIT from the demux
# with dmxsections into $VIDTV_OUT.
set -u
cat >/tmp/vidtv.conf <<CONF
[vidtv]
	DELIVERY_SYSTEM = DVBS
	FREQUENCY = 11362000
	POLARIZATION = HORIZONTAL
	SYMBOL_RATE = 27500000
	INNER_FEC = AUTO
	INVERSION = AUTO
CONF
# -r keeps the front end tuned until the time-out or until it is killed.
dvbv5-zap -l UNIVERSAL -c /tmp/vidtv.conf -r -t 30 vidtv >/tmp/zap.txt 2>&1 &
zap=$!
n=0
until grep -q Lock /tmp/zap.txt; do
  n=$((n + 1))
  if [ $n -gt 100 ] || ! kill -0 $zap 2>/dev/null; then
    cat /tmp/zap.txt
    echo "capture: no lock"
    exit 1
  fi
  usleep 100000
done
cat /tmp/zap.txt
rc=0
dmx=/dev/dvb/adapter0/demux0
while read -r name pid table; do
  "$VIDTV_DMXSECTIONS" $dmx "$pid" "$table" "$VIDTV_OUT/$name.bin" 10 >>"$VIDTV_OUT/sections.txt" || rc=1
done <<TABLES
pat 0x0000 0x00
sdt 0x0011 0x42
nit 0x0010 0x40
TABLES
kill $zap
cat "$VIDTV_OUT/sections.txt"
exit $rc
