#pragma once
// Which kept transponder a found one is. A carrier found again drifts: a
// demodulator reports where it locked, a sweep peaks a step off. So a
// transponder is the kept one at the same orbital position and polarisation
// whose frequency lies within max(2 MHz, its symbol rate / 8) of it, the
// nearest of them; and a service reference (orbital position and MHz only)
// lies on the nearest kept transponder within that distance, of either
// polarisation. Looked up in an ordered index, never by walking the list, so
// that a scan costs the same at fifty thousand kept transponders as at ten.
#include <map>
#include <tuple>

#include "host/dvb.h"

namespace box {

using Satellite = struct eTransponder::satellite;

// max(2000 kHz, symbol rate / 8), for a kept transponder.
int matchToleranceKHz(const Satellite& kept);

class TransponderIndex {
 public:
  void add(eTransponder* tp);
  void remove(const eTransponder* tp);  // before its values change
  void clear() { byFreq.clear(); }
  // The kept transponder s is, or nullptr.
  eTransponder* match(const Satellite& s) const;
  // The kept transponder a service at this orbital position and MHz lies
  // on, or nullptr.
  eTransponder* place(int orbital, int mhz) const;

 private:
  using Key = std::tuple<int, int, int>;  // orbital position, polarisation, kHz
  eTransponder* nearest(int orbital, int pol, int kHz, int* distance) const;
  std::multimap<Key, eTransponder*> byFreq;
};

// The index of a list's transponders (made empty with the list, kept by
// addTransponder; dropped with the list).
TransponderIndex& transponderIndex(const eTransponderList& list);
void dropTransponderIndex(const eTransponderList& list);

}  // namespace box
