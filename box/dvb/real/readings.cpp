#include "box/dvb/real/readings.h"

#include <algorithm>

namespace box::real {
namespace {

constexpr int kScaleDecibel = 1, kScaleRelative = 2;

int window(int64_t value, int64_t low, int64_t high) {
  if (value <= low) return 0;
  if (value >= high) return 65535;
  return int((value - low) * 65535 / (high - low));
}

int reading(const Stat& s, int64_t low, int64_t high) {
  if (s.scale == kScaleDecibel) return window(s.value, low, high);
  if (s.scale == kScaleRelative) return int(std::clamp<int64_t>(s.value, 0, 65535));
  return 0;
}

}  // namespace

int strengthReading(const Stat& s) {
  return reading(s, kStrengthLowMilliDbm, kStrengthHighMilliDbm);
}

int snrReading(const Stat& s) {
  return reading(s, kCnrLowMilliDb, kCnrHighMilliDb);
}

int lockTimeoutMs(int symbolRate, int configuredMs) {
  if (symbolRate <= 0 || symbolRate >= kLockReferenceRate) return configuredMs;
  const int64_t more = kLockSymbols * 1000 / symbolRate - kLockSymbols * 1000 / kLockReferenceRate;
  return int(std::min<int64_t>(configuredMs + more, 60000));
}

int carrierWaitMs(int symbolRate, int configuredMs, int lockTimeoutMs) {
  if (configuredMs == 0) return lockTimeoutMs;
  int64_t ms = configuredMs;
  if (configuredMs < 0)
    ms = symbolRate > 0 ? kSettleMs + (kCarrierSymbols * 1000 + symbolRate - 1) / symbolRate : lockTimeoutMs;
  return int(std::min<int64_t>(ms, lockTimeoutMs));
}

int refusedResult(int errnoValue) {
  // A refusal without a reason still must not read as a lock.
  if (errnoValue <= 0) return -5;  // -EIO
  return -errnoValue;
}

LnbChoice chooseBand(const Lnb& lnb, uint32_t freqKHz, int polarisation) {
  LnbChoice c;
  if (lnb.minKHz && lnb.maxKHz && (freqKHz < lnb.minKHz || freqKHz > lnb.maxKHz)) return c;
  c.highBand = lnb.highLofKHz && lnb.switchKHz && freqKHz >= lnb.switchKHz;
  const uint32_t lof = c.highBand ? lnb.highLofKHz : lnb.lowLofKHz;
  // A C-band LNB's oscillator lies above the band: the spectrum is inverted.
  c.ifKHz = lof > freqKHz ? lof - freqKHz : freqKHz - lof;
  c.voltage18 = polarisation == 0;
  c.ok = true;
  return c;
}

uint32_t satelliteKHz(const Lnb& lnb, uint32_t ifKHz, bool highBand) {
  const uint32_t lof = highBand && lnb.highLofKHz ? lnb.highLofKHz : lnb.lowLofKHz;
  if (!lof) return ifKHz;
  // As chooseBand: an oscillator above the band inverts the spectrum.
  const bool inverted = lnb.maxKHz && lof > lnb.maxKHz;
  return inverted ? lof - ifKHz : lof + ifKHz;
}

struct eTransponder::satellite keptSatellite(const struct eTransponder::satellite& asked,
                                             const DeliverySystem* found) {
  struct eTransponder::satellite kept = asked;
  if (!found) return kept;
  if (found->foundKHz > 0) kept.frequency = found->foundKHz;
  if (found->foundSymbolRate > 0) kept.symbol_rate = found->foundSymbolRate;
  if (found->fec > 0) kept.fec = found->fec;
  return kept;
}

}  // namespace box::real
