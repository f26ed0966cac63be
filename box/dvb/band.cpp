// Band files. The parser is strict: an unknown key, a wrong type, a value out
// of range or a key given twice is an error naming the file, the line, the
// JSON path and what is wrong, so that a typo never silently changes the sky.
// A UTF-8 byte order mark at the start is accepted (and not counted in
// columns); nesting deeper than 32 levels is refused.
//
// Keys (R: required). Frequencies in MHz, symbol rates in ksymbols/s.
//   name                 string; default: the file name
//   orbital_position  R  int -1800..1800, tenths of a degree, east positive
//   playing              null, or an object (nothing plays at boot when absent or null):
//     frequency_mhz R, polarisation R ("H"/"V"), symbol_rate_ks R, service R (its name),
//     fec (int 0..9, default 0)
//   carriers          R  array of at most 10000 objects:
//     frequency_mhz  R  number 10000..13000
//     polarisation   R  "H" or "V"
//     symbol_rate_ks R  int 1000..45000
//     cn_db          R  number -10..40, carrier to noise in its own bandwidth
//     system         R  "DVB-S" or "DVB-S2" (the box's front end locks on DVB-S only)
//     services       R  array of at most 65535 { name R (1..64 bytes), provider R (0..64 bytes),
//                       type ("tv", "radio", "data"; default "tv"), scrambled (bool),
//                       sid (int 1..65535; default: position in the list + 1, unique per carrier) }
//     fec (int 0..9, default 3), tsid (int 0..65535, default: carrier index + 1), onid (default 1)
//     on_air (array of at most 1000 [FROM_MS, TO_MS] pairs of whole numbers, 0 <= FROM < TO <=
//            1000000000000: the windows of box time from the run's start in which the carrier is
//            on the air; out of them it gives no reading, no lock and no services; default: always)
//   frontend             object, the demodulator's behaviour:
//     lock_ms (1..60000, default 250), timeout_ms (1..60000, default 600),
//     sr_tolerance (0..0.5, default 0.05: relative symbol-rate mismatch that still locks),
//     capture_fraction (0..1, default 0.15: capture range in MHz per Msym/s),
//     capture_min_mhz, capture_max_mhz (0..50, defaults 1.5 and 5; min <= max),
//     lock_cn_db (-10..40, default 2: weaker carriers never lock),
//     cancel_every (0..1000000, default 0: every Nth tune is answered -125, for tests of retries)
//   noise                object, the readings' model (readings are 0..65535):
//     seed (int >= 0, default 1), agc_floor (0..65535, default 16000), agc_per_db (0..10000,
//     default 2400), agc_jitter (0..10000, default 250), snr_floor (0..65535, default 3000),
//     snr_per_db (0..10000, default 2600), snr_jitter (0..10000, default 400),
//     cross_pol_db (0..100, default 25), rolloff (0..1, default 0.35)
//   scan                 object: service_gap_ms (1..60000, default 300), box time between
//                        two services that the scan reports
#include "box/dvb/band.h"

#include "box/base/fileio.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "box/base/jsonpos.h"
#include "box/base/tr.h"
#include "box/dvb/jsoncheck.h"

namespace box {
namespace {

using jsoncheck::Checker;
using jsoncheck::join;
using nlohmann::json;

// Deeper nesting than any band needs is refused as it is read, so that no
// input can exhaust the stack.
constexpr int kMaxDepth = 32;
// More carriers than fit side by side in the band (at 1 Msym/s, on both
// polarisations) are a mistake, and every reading walks them all.
constexpr size_t kMaxCarriers = 10000;
const std::vector<std::string> kPolarisations = {"H", "V"};

bool readService(Checker& c, const json& v, const std::string& path, BandService* s) {
  if (!c.object(v, path, {"name", "provider", "type", "scrambled", "sid"}, {"name", "provider"}))
    return false;
  int type = 0;
  if (!c.text(v, path, "name", 1, 64, &s->name) || !c.text(v, path, "provider", 0, 64, &s->provider) ||
      !c.choice(v, path, "type", {"tv", "radio", "data"}, &type) ||
      !c.boolean(v, path, "scrambled", &s->scrambled) || !c.integer(v, path, "sid", 1, 65535, &s->sid))
    return false;
  static const int kTypes[] = {1, 2, 12};
  s->type = kTypes[type];
  return true;
}

constexpr size_t kMaxWindows = 1000;
constexpr int64_t kMaxBoxMs = 1000000000000;  // as far as a script's waits reach

bool readOnAir(Checker& c, const json& v, const std::string& path,
               std::vector<std::pair<int64_t, int64_t>>* out) {
  if (!v.is_array()) return c.fail(path, tr("must be an array"));
  if (v.size() > kMaxWindows) return c.fail(path, trf("more than %zu windows", kMaxWindows));
  for (size_t i = 0; i < v.size(); ++i) {
    const std::string p = path + "[" + std::to_string(i) + "]";
    const json& w = v[i];
    if (!w.is_array() || w.size() != 2) return c.fail(p, tr("must be a pair [FROM_MS, TO_MS]"));
    int64_t ends[2];
    for (size_t e = 0; e < 2; ++e) {
      const std::string ep = p + "[" + std::to_string(e) + "]";
      if (!w[e].is_number_integer()) return c.fail(ep, tr("must be a whole number"));
      const bool inRange = w[e].is_number_unsigned()
                               ? w[e].get<uint64_t>() <= uint64_t(kMaxBoxMs)
                               : w[e].get<int64_t>() >= 0 && w[e].get<int64_t>() <= kMaxBoxMs;
      if (!inRange) return c.fail(ep, trf("must be between %lld and %lld", 0LL, (long long)kMaxBoxMs));
      ends[e] = w[e].get<int64_t>();
    }
    if (ends[1] <= ends[0]) return c.fail(p + "[1]", tr("must be after the window's start"));
    out->emplace_back(ends[0], ends[1]);
  }
  return true;
}

bool readCarrier(Checker& c, const json& v, const std::string& path, int index, BandCarrier* k) {
  if (!c.object(v, path,
                {"frequency_mhz", "polarisation", "symbol_rate_ks", "cn_db", "system", "services", "fec",
                 "tsid", "onid", "on_air"},
                {"frequency_mhz", "polarisation", "symbol_rate_ks", "cn_db", "system", "services"}))
    return false;
  int system = 0;
  k->fec = 3;
  k->tsid = index + 1;
  k->onid = 1;
  if (!c.number(v, path, "frequency_mhz", 10000, 13000, &k->freqMHz) ||
      !c.choice(v, path, "polarisation", kPolarisations, &k->pol) ||
      !c.integer(v, path, "symbol_rate_ks", 1000, 45000, &k->srKs) ||
      !c.number(v, path, "cn_db", -10, 40, &k->cnDb) ||
      !c.choice(v, path, "system", {"DVB-S", "DVB-S2"}, &system) ||
      !c.integer(v, path, "fec", 0, 9, &k->fec) || !c.integer(v, path, "tsid", 0, 65535, &k->tsid) ||
      !c.integer(v, path, "onid", 0, 65535, &k->onid))
    return false;
  k->dvbs2 = system == 1;
  if (v.contains("on_air") && !readOnAir(c, v["on_air"], path + ".on_air", &k->onAir)) return false;
  const json& services = v["services"];
  std::string sp = path + ".services";
  if (!services.is_array()) return c.fail(sp, tr("must be an array"));
  // Each service needs a service id of its own on the carrier.
  if (services.size() > 65535) return c.fail(sp, tr("more than 65535 services"));
  std::set<int> sids;
  for (size_t i = 0; i < services.size(); ++i) {
    std::string p = sp + "[" + std::to_string(i) + "]";
    BandService s;
    s.sid = int(i) + 1;
    if (!readService(c, services[i], p, &s)) return false;
    if (!sids.insert(s.sid).second)
      return c.fail(p + ".sid", trf("service id %d used twice on this carrier", int(s.sid)));
    k->services.push_back(s);
  }
  return true;
}

bool readPlaying(Checker& c, const json& v, BandPlaying* p) {
  const std::string path = "playing";
  if (!c.object(v, path, {"frequency_mhz", "polarisation", "symbol_rate_ks", "fec", "service"},
                {"frequency_mhz", "polarisation", "symbol_rate_ks", "service"}))
    return false;
  return c.number(v, path, "frequency_mhz", 10000, 13000, &p->freqMHz) &&
         c.choice(v, path, "polarisation", kPolarisations, &p->pol) &&
         c.integer(v, path, "symbol_rate_ks", 1000, 45000, &p->srKs) &&
         c.integer(v, path, "fec", 0, 9, &p->fec) && c.text(v, path, "service", 1, 64, &p->service);
}

bool readFrontend(Checker& c, const json& v, FrontendSettings* f) {
  const std::string path = "frontend";
  if (!c.object(v, path,
                {"lock_ms", "timeout_ms", "sr_tolerance", "capture_fraction", "capture_min_mhz",
                 "capture_max_mhz", "lock_cn_db", "cancel_every"},
                {}))
    return false;
  if (!c.integer(v, path, "lock_ms", 1, 60000, &f->lockMs) ||
      !c.integer(v, path, "timeout_ms", 1, 60000, &f->timeoutMs) ||
      !c.number(v, path, "sr_tolerance", 0, 0.5, &f->srTolerance) ||
      !c.number(v, path, "capture_fraction", 0, 1, &f->captureFraction) ||
      !c.number(v, path, "capture_min_mhz", 0, 50, &f->captureMinMHz) ||
      !c.number(v, path, "capture_max_mhz", 0, 50, &f->captureMaxMHz) ||
      !c.number(v, path, "lock_cn_db", -10, 40, &f->lockCnDb) ||
      !c.integer(v, path, "cancel_every", 0, 1000000, &f->cancelEvery))
    return false;
  if (f->captureMinMHz > f->captureMaxMHz)
    return c.fail("frontend.capture_max_mhz", trf("must not be below %s", "capture_min_mhz"));
  return true;
}

bool readNoise(Checker& c, const json& v, NoiseSettings* n) {
  const std::string path = "noise";
  if (!c.object(v, path,
                {"seed", "agc_floor", "agc_per_db", "agc_jitter", "snr_floor", "snr_per_db", "snr_jitter",
                 "cross_pol_db", "rolloff"},
                {}))
    return false;
  if (v.contains("seed")) {
    const json& s = v["seed"];
    if (!s.is_number_unsigned() && !(s.is_number_integer() && s.get<int64_t>() >= 0))
      return c.fail("noise.seed", tr("must be a whole number of 0 or more"));
    n->seed = s.get<uint64_t>();
  }
  return c.integer(v, path, "agc_floor", 0, 65535, &n->agcFloor) &&
         c.number(v, path, "agc_per_db", 0, 10000, &n->agcPerDb) &&
         c.integer(v, path, "agc_jitter", 0, 10000, &n->agcJitter) &&
         c.integer(v, path, "snr_floor", 0, 65535, &n->snrFloor) &&
         c.number(v, path, "snr_per_db", 0, 10000, &n->snrPerDb) &&
         c.integer(v, path, "snr_jitter", 0, 10000, &n->snrJitter) &&
         c.number(v, path, "cross_pol_db", 0, 100, &n->crossPolDb) &&
         c.number(v, path, "rolloff", 0, 1, &n->rolloff);
}

bool readBand(Checker& c, const json& root, Band* band) {
  if (!c.object(root, "", {"name", "orbital_position", "playing", "carriers", "frontend", "noise", "scan"},
                {"orbital_position", "carriers"}))
    return false;
  if (!c.text(root, "", "name", 0, 200, &band->name) ||
      !c.integer(root, "", "orbital_position", -1800, 1800, &band->orbitalPosition))
    return false;
  if (root.contains("playing") && !root["playing"].is_null()) {
    BandPlaying p;
    if (!readPlaying(c, root["playing"], &p)) return false;
    band->playing = p;
  }
  if (root.contains("frontend") && !readFrontend(c, root["frontend"], &band->frontend)) return false;
  if (root.contains("noise") && !readNoise(c, root["noise"], &band->noise)) return false;
  if (root.contains("scan")) {
    const json& s = root["scan"];
    if (!c.object(s, "scan", {"service_gap_ms"}, {}) ||
        !c.integer(s, "scan", "service_gap_ms", 1, 60000, &band->serviceGapMs))
      return false;
  }
  const json& carriers = root["carriers"];
  if (!carriers.is_array()) return c.fail("carriers", tr("must be an array"));
  if (carriers.size() > kMaxCarriers) return c.fail("carriers", trf("more than %zu carriers", kMaxCarriers));
  for (size_t i = 0; i < carriers.size(); ++i) {
    BandCarrier k;
    if (!readCarrier(c, carriers[i], "carriers[" + std::to_string(i) + "]", int(i), &k)) return false;
    band->carriers.push_back(std::move(k));
  }
  return true;
}

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

FileReader gReader = nullptr;

}  // namespace

bool onAirAt(const BandCarrier& carrier, int64_t ms) {
  if (ms < 0 || carrier.onAir.empty()) return true;
  for (const auto& [from, to] : carrier.onAir)
    if (ms >= from && ms < to) return true;
  return false;
}

bool parseBand(const std::string& fileText, const std::string& fileName, Band* band, std::string* error) {
  Band parsed;
  if (!jsoncheck::checkDocument(
          fileText, fileName, kMaxDepth, error,
          [&](Checker& c, const JsonPositions&, const json& root) { return readBand(c, root, &parsed); }))
    return false;
  parsed.file = fileName;
  if (parsed.name.empty()) parsed.name = baseName(fileName);
  *band = std::move(parsed);
  return true;
}

void setBandReader(FileReader reader) {
  gReader = reader;
}

bool loadBand(const std::string& path, Band* band, std::string* error) {
  std::string text;
  bool read = gReader ? gReader(path, &text, error) : readWholeFile(path, &text, error, kMaxBandBytes);
  if (!read) return false;
  return parseBand(text, path, band, error);
}

}  // namespace box
