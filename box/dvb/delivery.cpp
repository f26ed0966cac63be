#include "box/dvb/delivery.h"

#include <map>

namespace box {
namespace {

std::map<TransponderKey, DeliverySystem>& systems() {
  static std::map<TransponderKey, DeliverySystem> m;
  return m;
}

}  // namespace

void noteDeliverySystem(const struct eTransponder::satellite& s, const DeliverySystem& d) {
  if (d.system.empty())
    systems().erase(transponderKey(s));
  else
    systems()[transponderKey(s)] = d;
}

const DeliverySystem* deliverySystem(const struct eTransponder::satellite& s) {
  auto it = systems().find(transponderKey(s));
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
