#!/bin/sh
# Runs inside the vidtv guest (scripts/vidtv.sh selftest): Debian's dvb-tools
# against the virtual tuner. Exits non-zero when the front end is not vidtv's,
# when the transponder does not lock, when a frequency 1 MHz off locks, when
# the scan misses vidtv's service, or when the box fails.
set -u
conf=/tmp/vidtv.conf
channel() {
  cat >"$conf" <<CONF
[vidtv]
	DELIVERY_SYSTEM = DVBS
	FREQUENCY = $1
	POLARIZATION = HORIZONTAL
	SYMBOL_RATE = 27500000
	INNER_FEC = AUTO
	INVERSION = AUTO
CONF
}
# Milliseconds since boot (busybox's date has no %N).
ms() {
  awk '{ printf "%d\n", $1 * 1000 }' /proc/uptime
}
failed=0
check() {
  if grep -q "$2" "$3"; then
    echo "selftest: ok: $1"
  else
    echo "selftest: FAILED: $1"
    failed=1
  fi
}

echo "== dvb-fe-tool"
dvb-fe-tool 2>&1 | tee /tmp/fe.txt
check "the front end is vidtv's DVB-S/S2 demodulator" "DVBS2" /tmp/fe.txt

echo "== dvbv5-zap, DVB-S 11362000 kHz horizontal, universal LNB"
channel 11362000
t0=$(ms)
dvbv5-zap -l UNIVERSAL -c "$conf" -t 5 -x vidtv 2>&1 | tee /tmp/zap.txt
echo "selftest: zap took $(($(ms) - t0)) ms"
check "11362000 kHz locks" "Lock" /tmp/zap.txt

echo "== dvbv5-zap -N (raw statistics)"
dvbv5-zap -N -l UNIVERSAL -c "$conf" -t 5 -x vidtv 2>&1 | tee /tmp/zapn.txt

echo "== dvbv5-zap, 11363000 kHz, 1 MHz off"
channel 11363000
t0=$(ms)
dvbv5-zap -l UNIVERSAL -c "$conf" -t 3 -x vidtv 2>&1 | tee /tmp/off.txt
echo "selftest: zap took $(($(ms) - t0)) ms"
if grep -q "Lock" /tmp/off.txt; then
  echo "selftest: FAILED: 11363000 kHz locks"
  failed=1
else
  echo "selftest: ok: 11363000 kHz does not lock"
fi

echo "== dvbv5-scan, DVB-S 11362000 kHz"
channel 11362000
t0=$(ms)
dvbv5-scan -l UNIVERSAL -o /tmp/services.conf "$conf" 2>&1 | tee /tmp/scan.txt
echo "selftest: scan took $(($(ms) - t0)) ms"
cat /tmp/services.conf
check "the scan finds the service Beethoven" "Beethoven" /tmp/services.conf
check "from the provider LinuxTV.org" "Service Beethoven, provider LinuxTV.org" /tmp/scan.txt

# The host compares the box's screen with its own: fonts, catalogue and
# libraries must have come along.
if [ -n "${VIDTV_BOX_KEYS:-}" ]; then
  echo "== the box on its simulated band"
  if ./build/vantrel-box --keys "$VIDTV_BOX_KEYS" --shots "$VIDTV_OUT/box"; then
    echo "selftest: ok: the box runs"
  else
    echo "selftest: FAILED: the box exits $?"
    failed=1
  fi
fi
exit $failed
