// Bringing the DVB layer up and down, and the state its parts share: the
// band, the front end, the kept service list and what this run's scans found.
#include "box/dvb/boot.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/paths.h"
#include "box/base/tr.h"
#include "box/dvb/delivery.h"
#include "box/dvb/sim/records.h"
#include "box/dvb/sim/simfrontend.h"
#include "box/dvb/state.h"
#include "box/dvb/store.h"
#include "host/decoder.h"
#include "host/dvb.h"
#include "host/service.h"

namespace box {
namespace {

struct Visit {
  int freqKHz, srSym, pol;
  bool locked;
  std::vector<std::pair<std::string, std::string>> services;  // name, provider
};

struct DvbState {
  std::unique_ptr<Band> band;
  std::unique_ptr<Frontend> frontend;
  std::unique_ptr<eTransponder> playing;
  std::string serviceListPath;
  ServiceChanges pending;  // not saved yet (a failed save keeps them here)
  // What this run found or changed: written whole at shutdown, and where
  // another box saved the same entry, this run's wins. What the run only
  // loaded yields to the disk.
  ServiceChanges own;
  bool loading = false;     // filling the list from the kept one: nothing new
  KeptFileStamp listStamp;  // the list file as this box last read or wrote it
  std::string saveError;    // the last failed save that no later save made good
  std::vector<Visit> visits;
};

DvbState& state() {
  static DvbState s;
  return s;
}

constexpr size_t kMaxShownName = 64;

const char* polName(int pol) {
  return pol ? "V" : "H";
}

}  // namespace

namespace dvb {

const Band* band() {
  return state().band.get();
}

// Only the DVB instance's list is kept.
bool isKept(DvbState& s, const eTransponderList& list) {
  return !s.loading && eDVB::instance && &list == eDVB::instance->getTransponders();
}

void transponderAdded(const eTransponderList& list, const eTransponder& tp) {
  DvbState& s = state();
  if (!isKept(s, list)) return;
  s.pending.transponders.push_back(tp.satellite);
  s.own.transponders.push_back(tp.satellite);
}

void serviceAdded(const eTransponderList& list, const eServiceReferenceDVB& ref) {
  DvbState& s = state();
  if (!isKept(s, list)) return;
  s.pending.services.insert(ref);
  s.own.services.insert(ref);
}

void saveServiceList() {
  DvbState& s = state();
  if (s.pending.empty() || s.serviceListPath.empty() || !eDVB::instance) return;
  std::string error;
  if (!box::saveServiceChanges(s.serviceListPath, *eDVB::instance->getTransponders(), s.pending, &error,
                               &s.listStamp, &s.own)) {
    std::fprintf(stderr, "box: %s\n", box::trf("cannot keep the service list: %s", error.c_str()).c_str());
    s.saveError = error;
    return;
  }
  // The changes of failed saves were still pending: this one kept them too.
  s.saveError.clear();
  s.pending.clear();
}

void recordVisit(const eTransponder& tp, bool locked) {
  const auto& sat = tp.satellite;
  state().visits.push_back({sat.frequency, sat.symbol_rate, sat.polarisation, locked, {}});
}

void recordService(const eTransponder& tp, const eServiceDVB& service) {
  auto& visits = state().visits;
  if (visits.empty() || visits.back().freqKHz != tp.satellite.frequency) recordVisit(tp, true);
  visits.back().services.emplace_back(service.service_name, service.service_provider);
}

}  // namespace dvb

namespace {

// A run that changed the list writes it whole at the end, merged with what
// other boxes added, and the journal goes away. Should that fail, what is
// still pending goes to the journal, which keeps it just as well.
void keepAtShutdown(DvbState& s) {
  if (s.own.empty() || s.serviceListPath.empty() || !eDVB::instance) return;
  std::string error;
  if (box::saveServiceList(s.serviceListPath, *eDVB::instance->getTransponders(), &error, &s.listStamp,
                           &s.own)) {
    s.pending.clear();
    s.saveError.clear();
    return;
  }
  std::fprintf(stderr, "box: %s\n",
               box::trf("cannot write the service list whole: %s", error.c_str()).c_str());
  dvb::saveServiceList();
  if (!s.saveError.empty() || !s.pending.empty()) s.saveError = error;
}

// What plays at boot: the band's service of that name on a carrier at the
// playing frequency and polarisation if there is one, else a reference made
// from the playing entry alone.
void startPlaying(const Band& band, DvbState& s) {
  eServiceInterface::getInstance()->service = eServiceReference();
  if (!band.playing) return;
  const BandPlaying& p = *band.playing;
  s.playing = std::make_unique<eTransponder>(*eDVB::instance->getTransponders());
  sim::setSatellite(s.playing.get(), p.freqMHz, p.srKs, p.pol, p.fec, band.orbitalPosition);
  eDVB::instance->getServiceAPI()->transponder = s.playing.get();
  eServiceReferenceDVB ref;
  ref.data[0] = 1;
  ref.data[1] = 1;
  ref.data[4] = band.orbitalPosition;
  ref.data[5] = int(std::lround(p.freqMHz));
  ref.descr = p.service;
  for (const BandCarrier& c : band.carriers) {
    if (c.pol != p.pol || std::fabs(c.freqMHz - p.freqMHz) > 1.0) continue;
    for (const BandService& service : c.services)
      if (service.name == p.service) ref = sim::serviceReference(band, c, service);
  }
  eDVB::instance->getServiceAPI()->service = ref;
  eServiceInterface::getInstance()->service = ref;
}

}  // namespace

bool bootDvb(const DvbOptions& options, std::string* error) {
  shutdownDvb();
  // Everything is read before anything is made.
  auto band = std::make_unique<Band>();
  std::string bandFile = options.bandFile.empty() ? dataFile("bands/demo.json") : options.bandFile;
  if (!loadBand(bandFile, band.get(), error)) return false;
  std::string listPath = options.serviceList.empty() ? std::string() : resolve(options.serviceList);
  KeptServices kept;
  KeptFileStamp stamp;
  forgetDeliverySystems();  // the list read now tells them again
  if (!listPath.empty() && !loadServiceList(listPath, &kept, error, &stamp)) return false;
  std::unique_ptr<Frontend> device;
  if (options.tuner.adapter >= 0 && !(device = openRealFrontend(options.tuner, error))) return false;

  DvbState& s = state();
  s.band = std::move(band);
  s.serviceListPath = listPath;
  s.listStamp = stamp;
  s.visits.clear();
  new eDVB;
  eTransponderList* list = eDVB::instance->getTransponders();
  s.loading = true;
  eTransponder tp(*list);
  for (const Satellite& sat : kept.transponders) {
    tp.satellite = sat;
    list->addTransponder(tp);
  }
  for (const auto& [ref, record] : kept.services) list->addService(ref, record);
  kept = KeptServices();  // a big list is not held twice any longer than needed
  s.loading = false;
  s.pending.clear();
  s.own.clear();
  if (!device) device = std::make_unique<sim::SimFrontend>(*s.band);
  s.frontend = std::move(device);
  eFrontend::frontend = s.frontend.get();
  Decoder::locked = 0;
  startPlaying(*s.band, s);
  return true;
}

void takeNewerKeptServices() {
  DvbState& s = state();
  if (s.serviceListPath.empty() || !eDVB::instance) return;
  eTransponderList* list = eDVB::instance->getTransponders();
  std::vector<std::pair<eServiceReferenceDVB, eServiceDVB>> newer;
  std::string error;
  if (!newerKeptServices(s.serviceListPath, *list, &s.own, s.listStamp, &newer, &error)) {
    std::fprintf(stderr, "box: %s\n", box::trf("cannot read the service list: %s", error.c_str()).c_str());
    return;
  }
  // Taken as loaded: nothing this run found, nothing to save.
  s.loading = true;
  for (const auto& [ref, record] : newer) list->addService(ref, record);
  s.loading = false;
}

bool shutdownDvb(std::string* error) {
  DvbState& s = state();
  if (!eDVB::instance && !s.band) return true;
  keepAtShutdown(s);
  const bool kept = s.saveError.empty();
  if (!kept && error) *error = s.saveError;
  s.saveError.clear();
  s.playing.reset();
  delete eDVB::instance;  // ends a scan still running
  s.frontend.reset();
  s.band.reset();
  s.serviceListPath.clear();
  s.pending.clear();
  s.own.clear();
  eServiceInterface::getInstance()->service = eServiceReference();
  Decoder::locked = 0;
  return kept;
}

std::string foundSummary() {
  const auto& visits = state().visits;
  if (visits.empty()) return std::string(tr("No transponder was scanned.")) + "\n";
  std::string out = trf("Transponders scanned: %zu", visits.size()) + "\n";
  for (const Visit& v : visits) {
    const size_t n = v.services.size();
    out += "  ";
    out += !v.locked ? trf("%d MHz %s %d ksym/s: no lock", v.freqKHz / 1000, polName(v.pol), v.srSym / 1000)
                     : trnf("%d MHz %s %d ksym/s: %zu service", "%d MHz %s %d ksym/s: %zu services", n,
                            v.freqKHz / 1000, polName(v.pol), v.srSym / 1000, n);
    out += "\n";
    // Names come from band files: shown escaped, they cannot play tricks on a terminal.
    for (const auto& [name, provider] : v.services)
      out += "    " + printable(name, kMaxShownName) + " (" + printable(provider, kMaxShownName) + ")\n";
  }
  return out;
}

}  // namespace box
