#include "box/export/channels.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>

#include "box/dvb/delivery.h"
#include "box/dvb/keptindex.h"
#include "box/dvb/seen.h"

namespace box {
namespace {

auto order(const ExportTransponder& t) {
  return std::make_tuple(t.orbital, t.freqKHz, t.pol, t.srSym);
}

ExportTransponder fromSatellite(const struct eTransponder::satellite& s) {
  ExportTransponder t;
  t.freqKHz = s.frequency;
  t.srSym = s.symbol_rate;
  t.pol = s.polarisation;
  t.fec = s.fec;
  t.orbital = s.orbital_position;
  t.modulation = "QPSK";
  t.seen = transponderSeen(s);
  if (const DeliverySystem* d = deliverySystem(s)) {
    t.dvbs2 = d->system == "DVB-S2";
    t.modulation = d->modulation;
  }
  return t;
}

}  // namespace

CodeRate codeRate(int fec) {
  static const CodeRate rates[] = {{0, 0}, {1, 2}, {2, 3}, {3, 4}, {5, 6},
                                   {7, 8}, {8, 9}, {3, 5}, {4, 5}, {9, 10}};
  return fec > 0 && fec < int(std::size(rates)) ? rates[fec] : CodeRate();
}

std::string exportName(const ExportService& s) {
  std::string name = s.name;
  for (char& c : name)
    if ((unsigned char)c < 0x20 || c == 0x7f) c = ' ';
  if (name.find_first_not_of(' ') == std::string::npos) name = "SID " + std::to_string(s.sid);
  return name;
}

ChannelList channelList(const eTransponderList& list) {
  ChannelList out;
  for (const eTransponder& tp : list.getKnownTransponders())
    if (tp.satellite.valid) out.transponders.push_back(fromSatellite(tp.satellite));
  std::stable_sort(
      out.transponders.begin(), out.transponders.end(),
      [](const ExportTransponder& a, const ExportTransponder& b) { return order(a) < order(b); });
  // Sorted by orbital position then kHz: a service's candidates (a
  // transponder found again a little off keeps the reference its services
  // were first found with) are one stretch of them, found by binary search.
  const auto key = [](const ExportTransponder& t) { return std::make_pair(t.orbital, long(t.freqKHz)); };
  const auto before = [&](const ExportTransponder& t, const std::pair<int, long>& k) { return key(t) < k; };
  constexpr long kWindowKHz = 6000;  // past any transponder's tolerance
  for (const auto& [ref, record] : list.getServices()) {
    const long wantedKHz = long(ref.data[5]) * 1000;
    const auto first = std::lower_bound(out.transponders.begin(), out.transponders.end(),
                                        std::make_pair(ref.data[4], wantedKHz - kWindowKHz), before);
    size_t candidates = 0, found = 0;
    long nearest = 0;
    // Of several, the one tuned nearest the reference's MHz.
    for (auto t = first;
         t != out.transponders.end() && key(*t) <= std::make_pair(ref.data[4], wantedKHz + kWindowKHz); ++t) {
      struct eTransponder::satellite kept;
      kept.symbol_rate = t->srSym;
      const long d = std::labs(t->freqKHz - wantedKHz);
      if (d > matchToleranceKHz(kept)) continue;
      if (!candidates++ || d < nearest) {
        found = size_t(t - out.transponders.begin());
        nearest = d;
      }
    }
    if (candidates == 0) {
      ++out.unplaced;
      continue;
    }
    if (candidates > 1) ++out.ambiguous;
    ExportService s;
    s.transponder = found;
    s.name = record.service_name;
    s.provider = record.service_provider;
    s.sid = ref.data[1];
    s.tsid = ref.data[2];
    s.onid = ref.data[3];
    s.type = record.service_type;
    s.scrambled = record.scrambled;
    s.seen = serviceSeen(ref);
    out.services.push_back(std::move(s));
  }
  std::stable_sort(out.services.begin(), out.services.end(),
                   [](const ExportService& a, const ExportService& b) {
                     return std::tie(a.transponder, a.sid) < std::tie(b.transponder, b.sid);
                   });
  return out;
}

}  // namespace box
