#include "box/dvb/sim/model.h"

#include <algorithm>
#include <cmath>

namespace box::sim {
namespace {

// The band-pass of a tune without a usable symbol rate.
constexpr double kDefaultSrMHz = 27.5;

// Relative power density of a raised-cosine spectrum at offset df (MHz) from
// its centre: 1 in the flat part, falling to 0 at sr*(1+rolloff)/2.
double raisedCosine(double df, double srMHz, double rolloff) {
  double a = std::fabs(df);
  double flat = srMHz * (1 - rolloff) / 2, edge = srMHz * (1 + rolloff) / 2;
  if (a <= flat) return 1;
  if (a >= edge) return 0;
  return 0.5 * (1 + std::cos(M_PI * (a - flat) / (edge - flat)));
}

uint64_t mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

double captureRangeMHz(const Band& band, const BandCarrier& carrier) {
  const FrontendSettings& f = band.frontend;
  return std::clamp(carrier.srKs / 1000.0 * f.captureFraction, f.captureMinMHz, f.captureMaxMHz);
}

int lockedCarrier(const Band& band, const TunedParams& tuned) {
  if (tuned.srSym <= 0) return -1;
  double fMHz = tuned.freqKHz / 1000.0, srKs = tuned.srSym / 1000.0;
  int best = -1;
  double bestOffset = 0;
  for (size_t i = 0; i < band.carriers.size(); ++i) {
    const BandCarrier& c = band.carriers[i];
    if (c.dvbs2 || c.pol != tuned.pol || c.cnDb < band.frontend.lockCnDb || !onAirAt(c, tuned.atMs)) continue;
    if (std::fabs(srKs - c.srKs) > band.frontend.srTolerance * c.srKs) continue;
    double offset = std::fabs(fMHz - c.freqMHz);
    if (offset > captureRangeMHz(band, c)) continue;
    if (best < 0 || offset < bestOffset) {
      best = int(i);
      bestOffset = offset;
    }
  }
  return best;
}

double snrLevel(const Band& band, const TunedParams& tuned, int carrier) {
  const NoiseSettings& n = band.noise;
  if (carrier < 0 || size_t(carrier) >= band.carriers.size()) return n.snrFloor;
  const BandCarrier& c = band.carriers[size_t(carrier)];
  if (!onAirAt(c, tuned.atMs)) return n.snrFloor;
  double rel = (tuned.freqKHz / 1000.0 - c.freqMHz) / captureRangeMHz(band, c);
  double db = c.cnDb - 6.0 * rel * rel;
  return std::max<double>(n.snrFloor, n.snrFloor + n.snrPerDb * db);
}

double agcLevel(const Band& band, const TunedParams& tuned) {
  const NoiseSettings& n = band.noise;
  double f0 = tuned.freqKHz / 1000.0;
  double srMHz = tuned.srSym > 0 ? tuned.srSym / 1e6 : kDefaultSrMHz;
  double width = srMHz * (1 + n.rolloff);
  double crossPol = std::pow(10.0, -n.crossPolDb / 10);
  // Mean power density over the band-pass, relative to the noise floor's.
  const int steps = 64;
  double sum = 0;
  for (int s = 0; s < steps; ++s) {
    double f = f0 - width / 2 + width * (s + 0.5) / steps;
    double density = 1;
    for (const BandCarrier& c : band.carriers) {
      double cSr = c.srKs / 1000.0;
      if (std::fabs(f - c.freqMHz) >= cSr * (1 + n.rolloff) / 2 || !onAirAt(c, tuned.atMs)) continue;
      double gain = c.pol == tuned.pol ? 1.0 : crossPol;
      density += gain * std::pow(10.0, c.cnDb / 10) * raisedCosine(f - c.freqMHz, cSr, n.rolloff);
    }
    sum += density;
  }
  double db = 10 * std::log10(sum / steps);
  return n.agcFloor + n.agcPerDb * db;
}

double noise(uint64_t seed, const TunedParams& tuned, int stream, uint32_t index) {
  uint64_t h = mix(seed);
  h = mix(h ^ uint64_t(uint32_t(tuned.freqKHz)));
  h = mix(h ^ (uint64_t(uint32_t(tuned.srSym)) << 1));
  h = mix(h ^ (uint64_t(uint32_t(tuned.pol)) << 2) ^ (uint64_t(uint32_t(stream)) << 40));
  h = mix(h ^ index);
  double a = double(h & 0xffffffffu) / 4294967295.0, b = double(h >> 32) / 4294967295.0;
  return a + b - 1;
}

int reading(double level, int jitter, double noiseValue) {
  double v = std::round(level + jitter * noiseValue);
  return int(std::clamp(v, 0.0, 65535.0));
}

}  // namespace box::sim
