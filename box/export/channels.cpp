#include "box/export/channels.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "box/dvb/delivery.h"

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

ChannelList channelList(const eTransponderList& list) {
  ChannelList out;
  for (const eTransponder& tp : list.getKnownTransponders())
    if (tp.satellite.valid) out.transponders.push_back(fromSatellite(tp.satellite));
  std::stable_sort(
      out.transponders.begin(), out.transponders.end(),
      [](const ExportTransponder& a, const ExportTransponder& b) { return order(a) < order(b); });
  for (const auto& [ref, record] : list.getServices()) {
    size_t found = out.transponders.size(), candidates = 0;
    for (size_t i = 0; i < out.transponders.size(); ++i) {
      const ExportTransponder& t = out.transponders[i];
      if (t.orbital != ref.data[4] || std::lround(t.freqKHz / 1000.0) != ref.data[5]) continue;
      // Of several, the one tuned nearest the reference's MHz, else the first.
      if (++candidates == 1 || std::abs(t.freqKHz - ref.data[5] * 1000) <
                                   std::abs(out.transponders[found].freqKHz - ref.data[5] * 1000))
        found = i;
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
    out.services.push_back(std::move(s));
  }
  std::stable_sort(out.services.begin(), out.services.end(),
                   [](const ExportService& a, const ExportService& b) {
                     return std::tie(a.transponder, a.sid) < std::tie(b.transponder, b.sid);
                   });
  return out;
}

}  // namespace box
