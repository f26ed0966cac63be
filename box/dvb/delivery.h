#pragma once
// The delivery system and modulation a real tuner locked a transponder
// with, kept beside the transponders of the service list (the host's
// transponder record has no place for them) and written with them, so that
// channel-file exports can say DVB-S2 where it is.
#include <string>
#include <tuple>

#include "host/dvb.h"

namespace box {

struct DeliverySystem {
  std::string system;      // "DVB-S" or "DVB-S2"
  std::string modulation;  // "QPSK", "8PSK", "16APSK", "32APSK"; "" when the front end did not say
  // What the demodulator found where it locked (0: not told): the satellite
  // frequency (kHz), the symbol rate and the FEC in the host's numbering.
  int foundKHz = 0, foundSymbolRate = 0, fec = 0;
};

// What identifies a kept transponder in the records kept beside the list
// (its delivery system, when it was seen): frequency, symbol rate,
// polarisation, orbital position.
using TransponderKey = std::tuple<int, int, int, int>;
inline TransponderKey transponderKey(const struct eTransponder::satellite& s) {
  return {s.frequency, s.symbol_rate, s.polarisation, s.orbital_position};
}

// Keyed by transponderKey. An empty system forgets it.
void noteDeliverySystem(const struct eTransponder::satellite& s, const DeliverySystem& d);
const DeliverySystem* deliverySystem(const struct eTransponder::satellite& s);
void forgetDeliverySystems();

// What the list file accepts as values.
bool validSystem(const std::string& system);
bool validModulation(const std::string& modulation);

}  // namespace box
