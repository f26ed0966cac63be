#include "box/dvb/keptindex.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <unordered_map>

namespace box {
namespace {

// Past any symbol rate a DVB-S2 carrier has (45 Msym/s / 8 < 6 MHz): the
// stretch searched either side of a frequency.
constexpr int kWindowKHz = 6000;

std::unordered_map<const eTransponderList*, TransponderIndex>& indexes() {
  static std::unordered_map<const eTransponderList*, TransponderIndex> m;
  return m;
}

}  // namespace

int matchToleranceKHz(const Satellite& kept) {
  return std::min(kWindowKHz, std::max(2000, kept.symbol_rate / 8000));
}

void TransponderIndex::add(eTransponder* tp) {
  const Satellite& s = tp->satellite;
  byFreq.emplace(Key{s.orbital_position, s.polarisation, s.frequency}, tp);
}

void TransponderIndex::remove(const eTransponder* tp) {
  const Satellite& s = tp->satellite;
  auto [from, to] = byFreq.equal_range(Key{s.orbital_position, s.polarisation, s.frequency});
  for (auto it = from; it != to; ++it)
    if (it->second == tp) {
      byFreq.erase(it);
      return;
    }
}

eTransponder* TransponderIndex::nearest(int orbital, int pol, int kHz, int* distance) const {
  eTransponder* best = nullptr;
  const int lo = kHz > INT_MIN + kWindowKHz ? kHz - kWindowKHz : INT_MIN;
  const int hi = kHz < INT_MAX - kWindowKHz ? kHz + kWindowKHz : INT_MAX;
  for (auto it = byFreq.lower_bound(Key{orbital, pol, lo}), end = byFreq.upper_bound(Key{orbital, pol, hi});
       it != end; ++it) {
    const int d = std::abs(it->second->satellite.frequency - kHz);
    if (d <= matchToleranceKHz(it->second->satellite) && (!best || d < *distance)) {
      best = it->second;
      *distance = d;
    }
  }
  return best;
}

eTransponder* TransponderIndex::match(const Satellite& s) const {
  int d = 0;
  return nearest(s.orbital_position, s.polarisation, s.frequency, &d);
}

eTransponder* TransponderIndex::place(int orbital, int mhz) const {
  const int kHz = mhz > INT_MAX / 1000 ? INT_MAX : mhz < INT_MIN / 1000 ? INT_MIN : mhz * 1000;
  int dh = 0, dv = 0;
  eTransponder* h = nearest(orbital, 0, kHz, &dh);
  eTransponder* v = nearest(orbital, 1, kHz, &dv);
  return !v || (h && dh <= dv) ? h : v;
}

TransponderIndex& transponderIndex(const eTransponderList& list) {
  return indexes()[&list];
}

void dropTransponderIndex(const eTransponderList& list) {
  indexes().erase(&list);
}

}  // namespace box
