#pragma once
// What the dish and the demodulator make of a band: which carrier a tune
// locks on, the signal-to-noise ratio and the power the tuned band-pass sees,
// and the deterministic noise on every reading. Pure functions of the band
// and the tuned values, so that the same calls always read the same.
#include <cstdint>

#include "box/dvb/band.h"

namespace box::sim {

struct TunedParams {
  int freqKHz = 0;
  int srSym = 0;  // symbols/s
  int pol = 0;
  // Box time (ms) of the reading, for carriers that are on the air only at
  // times; -1: every carrier is there (a picture of the whole band).
  int64_t atMs = -1;
  bool operator==(const TunedParams& o) const {
    return freqKHz == o.freqKHz && srSym == o.srSym && pol == o.pol;
  }
};

// Half-width (MHz) around a carrier's centre in which a tune still locks.
double captureRangeMHz(const Band& band, const BandCarrier& carrier);
// The carrier a tune locks on, or -1: a DVB-S carrier of the tuned
// polarisation, strong enough, whose symbol rate is within the tolerance of
// the tuned one and whose centre is within the capture range; the nearest
// centre wins.
int lockedCarrier(const Band& band, const TunedParams& tuned);

// Readings without noise, 0..65535.
// SNR: the locked carrier's C/N less a penalty that grows with the square of
// the offset from its centre (6 dB at the edge of the capture range); the
// floor without a lock.
double snrLevel(const Band& band, const TunedParams& tuned, int carrier);
// AGC: noise floor plus every carrier's raised-cosine spectrum (DVB-S2 ones
// and the other polarisation, through the cross-polar isolation, included)
// integrated over a band-pass as wide as the tuned symbol rate with its roll-off.
double agcLevel(const Band& band, const TunedParams& tuned);

// Noise in [-1, 1] (triangular), fixed by the seed, the tuned values, which
// reading it is (stream: 0 SNR, 1 AGC, 2+ others) and its index since the tune.
double noise(uint64_t seed, const TunedParams& tuned, int stream, uint32_t index);

// level plus jitter times the noise, rounded and clamped to 0..65535.
int reading(double level, int jitter, double noiseValue);

}  // namespace box::sim
