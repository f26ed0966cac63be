#include "box/dvb/seen.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "box/dvb/delivery.h"

namespace box {
namespace {

std::map<TransponderKey, Seen>& transponders() {
  static std::map<TransponderKey, Seen> m;
  return m;
}

// The order of eServiceReference's <, here so that the list reader built
// alone (the fuzz target) needs nothing of the DVB layer's code.
struct RefOrder {
  bool operator()(const eServiceReferenceDVB& a, const eServiceReferenceDVB& b) const {
    if (a.type != b.type) return a.type < b.type;
    for (int i = 0; i < 8; ++i)
      if (a.data[i] != b.data[i]) return a.data[i] < b.data[i];
    return std::tie(a.flags, a.path) < std::tie(b.flags, b.path);
  }
};

std::map<eServiceReferenceDVB, Seen, RefOrder>& services() {
  static std::map<eServiceReferenceDVB, Seen, RefOrder> m;
  return m;
}

int64_t earliest(int64_t a, int64_t b) {
  return !a ? b : !b ? a : std::min(a, b);
}

}  // namespace

Seen mergeSeen(const Seen& a, const Seen& b) {
  return {earliest(a.first, b.first), std::max(a.last, b.last), std::max(a.times, b.times)};
}

void noteTransponderSeen(const struct eTransponder::satellite& s, const Seen& seen) {
  if (!seen.known()) return;
  Seen& at = transponders()[transponderKey(s)];
  at = mergeSeen(at, seen);
}

Seen transponderSeen(const struct eTransponder::satellite& s) {
  auto it = transponders().find(transponderKey(s));
  return it == transponders().end() ? Seen() : it->second;
}

void noteServiceSeen(const eServiceReferenceDVB& ref, const Seen& seen) {
  if (!seen.known()) return;
  Seen& at = services()[ref];
  at = mergeSeen(at, seen);
}

Seen serviceSeen(const eServiceReferenceDVB& ref) {
  auto it = services().find(ref);
  return it == services().end() ? Seen() : it->second;
}

void moveTransponderNotes(const struct eTransponder::satellite& from,
                          const struct eTransponder::satellite& to) {
  if (transponderKey(from) == transponderKey(to)) return;
  auto it = transponders().find(transponderKey(from));
  if (it != transponders().end()) {
    const Seen seen = it->second;
    transponders().erase(it);
    noteTransponderSeen(to, seen);
  }
  // The newer values' own delivery system, where a tuner noted one, wins.
  if (const DeliverySystem* d = deliverySystem(from)) {
    const DeliverySystem moved = *d;
    noteDeliverySystem(from, DeliverySystem());
    if (!deliverySystem(to)) noteDeliverySystem(to, moved);
  }
}

void setTransponderSeen(const struct eTransponder::satellite& s, const Seen& seen) {
  transponders()[transponderKey(s)] = seen;
}

void setServiceSeen(const eServiceReferenceDVB& ref, const Seen& seen) {
  services()[ref] = seen;
}

void forgetSeen() {
  transponders().clear();
  services().clear();
}

}  // namespace box
