#include "box/export/channels.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>

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
  // Sorted by orbital position then kHz, the transponders are sorted by
  // orbital position then MHz too (rounding keeps the order): a service's
  // candidates are one run of them, found by binary search.
  const auto key = [](const ExportTransponder& t) {
    return std::make_pair(t.orbital, std::lround(t.freqKHz / 1000.0));
  };
  const auto before = [&](const ExportTransponder& t, const std::pair<int, long>& k) { return key(t) < k; };
  const auto after = [&](const std::pair<int, long>& k, const ExportTransponder& t) { return k < key(t); };
  for (const auto& [ref, record] : list.getServices()) {
    const std::pair<int, long> wanted(ref.data[4], ref.data[5]);
    const auto first = std::lower_bound(out.transponders.begin(), out.transponders.end(), wanted, before);
    const auto last = std::upper_bound(first, out.transponders.end(), wanted, after);
    const size_t candidates = size_t(last - first);
    size_t found = size_t(first - out.transponders.begin());
    // Of several, the one tuned nearest the reference's MHz, else the first.
    for (auto t = first; t != last; ++t)
      if (std::abs(t->freqKHz - ref.data[5] * 1000) <
          std::abs(out.transponders[found].freqKHz - ref.data[5] * 1000))
        found = size_t(t - out.transponders.begin());
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
