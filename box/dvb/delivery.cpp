#include "box/dvb/delivery.h"

#include <map>
#include <tuple>

namespace box {
namespace {

using Key = std::tuple<int, int, int, int>;

Key key(const struct eTransponder::satellite& s) {
  return {s.frequency, s.symbol_rate, s.polarisation, s.orbital_position};
}

std::map<Key, DeliverySystem>& systems() {
  static std::map<Key, DeliverySystem> m;
  return m;
}

}  // namespace

void noteDeliverySystem(const struct eTransponder::satellite& s, const DeliverySystem& d) {
  if (d.system.empty())
    systems().erase(key(s));
  else
    systems()[key(s)] = d;
}

const DeliverySystem* deliverySystem(const struct eTransponder::satellite& s) {
  auto it = systems().find(key(s));
  return it == systems().end() ? nullptr : &it->second;
}

void forgetDeliverySystems() {
  systems().clear();
}

bool validSystem(const std::string& system) {
  return system == "DVB-S" || system == "DVB-S2";
}

bool validModulation(const std::string& m) {
  return m.empty() || m == "QPSK" || m == "8PSK" || m == "16APSK" || m == "32APSK";
}

}  // namespace box
