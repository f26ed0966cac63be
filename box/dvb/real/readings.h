#pragma once
// What a real front end's answers mean to the plug-in, as pure functions so
// that they can be checked without a device: the readings' scales, the
// result codes of a tune, and the band an LNB puts a frequency in.
#include <cstdint>
#include <string>

#include "box/dvb/delivery.h"

namespace box::real {

// A statistic as the front end gave it (struct dtv_stats): its scale
// (FE_SCALE_*) and value.
struct Stat {
  int scale = 0;  // 0 not available, 1 decibel (0.001 dB units), 2 relative (0..65535), 3 counter
  int64_t value = 0;
  // From the old FE_READ_SIGNAL_STRENGTH / FE_READ_SNR calls, taken only
  // where the driver gives no DVBv5 statistic: relative by convention, in
  // the driver's own unit in fact (most use 0..65535; some count the SNR in
  // 0.1 dB or 1/256 dB, which then draws low). Drawn as relative.
  bool legacy = false;
};

// Decibel readings are mapped linearly onto 0..65535 through these windows,
// clamped at both ends. They cover what a dish and a DVB-S/S2 demodulator
// see in practice: a tuner's input runs from about -80 dBm (just above its
// sensitivity) to -20 dBm (overloaded), and a carrier's C/N from 0 dB (no
// DVB-S2 mode decodes below it) to 20 dB (a strong transponder; more changes
// nothing for reception). Relative scales are taken as they are.
constexpr int64_t kStrengthLowMilliDbm = -80000, kStrengthHighMilliDbm = -20000;
constexpr int64_t kCnrLowMilliDb = 0, kCnrHighMilliDb = 20000;

// Whether a statistic counts is what its scale says, not the status bits:
// many demodulators raise FE_HAS_SIGNAL and FE_HAS_CARRIER only with the
// lock, yet measure the signal all along. 0 when it is not available.
int strengthReading(const Stat& s);
int snrReading(const Stat& s);

// How long one delivery system's try waits for the lock (wall-clock ms). A
// demodulator's search takes a number of symbols more than a fixed time, so
// below 27500 ksymbols/s the configured time-out grows by the time six
// million symbols take beyond their time at 27500 (218 ms):
//   timeout + 6e6 / rate - 218 ms
// e.g. 1500 ms at 27500 and above, 1882 at 10000, 4282 at 2000, 7282 at
// 1000; at most 60000.
constexpr int kLockReferenceRate = 27500000;
constexpr int64_t kLockSymbols = 6000000;
int lockTimeoutMs(int symbolRate, int configuredMs);

// How long a tune looks for a carrier (wall-clock ms) before it answers "no
// lock" without waiting for the lock time-out. A demodulator needs a number
// of symbols to find a carrier, not of milliseconds: by default 100 ms for the
// tuner to settle and two million symbols, 173 ms at 27500 ksymbols/s, 1.1 s
// at 2000, 4.1 s at 500. configuredMs overrides it (-1: the default; 0: no
// early answer); never past the lock time-out.
constexpr int kSettleMs = 100;
constexpr int64_t kCarrierSymbols = 2000000;
int carrierWaitMs(int symbolRate, int configuredMs, int lockTimeoutMs);

// A device that refused the parameters gives its negated errno as the
// tuning result (never 0, never a positive number: those mean lock).
int refusedResult(int errnoValue);

// An LNB's local oscillators and band switch (kHz), and where a satellite
// frequency lands: the intermediate frequency the tuner is set to, the band
// (22 kHz tone on in the high band) and the voltage (18 V horizontal).
struct Lnb {
  std::string name;
  uint32_t lowLofKHz = 0, highLofKHz = 0, switchKHz = 0;
  uint32_t minKHz = 0, maxKHz = 0;  // what the LNB receives; 0: not told
};
struct LnbChoice {
  bool ok = false;  // false: the frequency is outside what the LNB receives
  uint32_t ifKHz = 0;
  bool highBand = false;
  bool voltage18 = false;
};
LnbChoice chooseBand(const Lnb& lnb, uint32_t freqKHz, int polarisation);
// The satellite frequency an intermediate frequency comes from in that band:
// how a frequency the demodulator found reads on the dish.
uint32_t satelliteKHz(const Lnb& lnb, uint32_t ifKHz, bool highBand);
// libdvbv5's LNB of that name (dvb_sat_search_lnb); false when it has none.
bool findLnb(const std::string& name, Lnb* lnb);

// What a scan keeps of a transponder that locked: the frequency, symbol rate
// and FEC the demodulator read back where it found them (a demodulator
// searches a window around the asked frequency), else those asked.
struct eTransponder::satellite keptSatellite(const struct eTransponder::satellite& asked,
                                             const DeliverySystem* found);

}  // namespace box::real
