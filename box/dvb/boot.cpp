// Bringing the DVB layer up and down, and the state its parts share: the
// band, the front end, the kept service list and what this run's scans found.
#include "box/dvb/boot.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/base/paths.h"
#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/dvb/delivery.h"
#include "box/dvb/diseqc.h"
#include "box/dvb/keptindex.h"
#include "box/dvb/mhz.h"
#include "box/dvb/seen.h"
#include "box/dvb/sim/records.h"
#include "box/dvb/sim/simfrontend.h"
#include "box/dvb/state.h"
#include "box/dvb/store.h"
#include "host/decoder.h"
#include "host/dvb.h"
#include "host/service.h"

namespace box {
namespace {

struct VisitService {
  std::string name, provider;
  bool isNew;
  std::string oldName;  // "" unless renamed
  int type, sid;
  bool scrambled;
};

struct Visit {
  int freqKHz, srSym, pol;
  bool locked;
  std::string system;  // what it locked with: "DVB-S", "DVB-S2", "" not known
  std::vector<VisitService> services;
  bool isNew = false;  // its services' transponder was first found by this run
  // The transponder its services were kept on, as the channel files write
  // it (the tuner may have locked a little off the frequency it was sent
  // to); the tuned one while no service was found.
  int shownKHz = freqKHz, shownSym = srSym;
  int position = 0;  // where the dish pointed
};

using Ids = std::tuple<int, int, int>;  // orbital position, original network id, transport stream id

struct DvbState {
  // One band per orbital position; the dish sees band, the first at boot.
  std::vector<std::unique_ptr<Band>> bands;
  const Band* band = nullptr;
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
  // This run's sightings: what it saw, what it found first, the names
  // services had before it renamed them.
  std::set<const eTransponder*> tpSeen, tpNew;
  std::set<eServiceReferenceDVB> servicesSeen, serviceNew;
  std::map<eServiceReferenceDVB, std::string> renamed;
  // Kept transponders by the ids of the services on them; made at the first
  // service found that matches no kept frequency.
  std::multimap<Ids, eTransponder*> byIds;
  bool byIdsMade = false;
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
  return state().band;
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
  DvbState& s = state();
  const auto& sat = tp.satellite;
  // A real tuner notes the system it locked with as it locks; the simulated
  // front end locks on DVB-S only.
  std::string system;
  if (const DeliverySystem* d = locked ? deliverySystem(sat) : nullptr)
    system = d->system;
  else if (locked && dynamic_cast<const sim::SimFrontend*>(s.frontend.get()))
    system = "DVB-S";
  s.visits.push_back({sat.frequency, sat.symbol_rate, sat.polarisation, locked, system, {}});
  if (s.band) s.visits.back().position = s.band->orbitalPosition;
}

void recordService(const eTransponder& tp, const eServiceDVB& service, const Found& kept) {
  auto& visits = state().visits;
  if (visits.empty() || visits.back().freqKHz != tp.satellite.frequency) recordVisit(tp, true);
  Visit& v = visits.back();
  v.isNew |= kept.transponderNew;
  if (v.services.empty() && kept.transponder.valid) {
    v.shownKHz = kept.transponder.frequency;
    v.shownSym = kept.transponder.symbol_rate;
  }
  v.services.push_back({service.service_name, service.service_provider, kept.serviceNew, kept.oldName,
                        service.service_type, kept.ref.getServiceID(), service.scrambled});
}

namespace {

// The kept transponder with these ids that this run has not seen (two
// carriers of one run are two, whatever their ids say), nearest in frequency.
eTransponder* matchByIds(DvbState& s, const eTransponderList& list, const FoundService& f) {
  const int onid = f.ref.data[3], tsid = f.ref.data[2];
  if (!onid && !tsid) return nullptr;  // a tuner that read no ids
  const TransponderIndex& index = transponderIndex(list);
  if (!s.byIdsMade) {
    for (const auto& [ref, record] : list.getServices())
      if (eTransponder* t = index.place(ref.data[4], ref.data[5]))
        s.byIds.emplace(Ids{ref.data[4], ref.data[3], ref.data[2]}, t);
    s.byIdsMade = true;
  }
  eTransponder* best = nullptr;
  auto [from, to] = s.byIds.equal_range(Ids{f.transponder.orbital_position, onid, tsid});
  for (auto it = from; it != to; ++it) {
    const auto d = [&](const eTransponder* t) {
      return std::abs(t->satellite.frequency - f.transponder.frequency);
    };
    if (!s.tpSeen.count(it->second) && (!best || d(it->second) < d(best))) best = it->second;
  }
  return best;
}

// The kept service with the found one's type, ids and position that lies on
// t (or on no kept transponder: t moved away from it), found by its place
// in the list's order, not by a walk.
const eServiceReferenceDVB* keptService(const eTransponderList& list, const eTransponder* t,
                                        const eServiceReferenceDVB& found) {
  const TransponderIndex& index = transponderIndex(list);
  eServiceReferenceDVB from = found;
  from.data[5] = from.data[6] = from.data[7] = INT_MIN;
  from.flags = INT_MIN;
  from.path = "";
  const auto& services = list.getServices();
  for (auto it = services.lower_bound(from); it != services.end(); ++it) {
    const eServiceReferenceDVB& r = it->first;
    if (r.type != found.type || !std::equal(r.data, r.data + 5, found.data)) break;
    const eTransponder* on = index.place(r.data[4], r.data[5]);
    if (on == t || !on) return &r;
  }
  return nullptr;
}

// A sighting now: the first time stays, the last moves on, and the run
// counts once however often it sees the entry.
Seen sighted(Seen seen, bool againThisRun) {
  const int64_t now = utcNow();
  if (!seen.first) seen.first = now;
  seen.last = now;
  if (!againThisRun) ++seen.times;
  return seen;
}

}  // namespace

Found keepFound(const FoundService& f) {
  DvbState& s = state();
  Found out;
  out.ref = f.ref;
  if (!eDVB::instance) return out;
  eTransponderList& list = *eDVB::instance->getTransponders();
  TransponderIndex& index = transponderIndex(list);
  eTransponder* t = index.match(f.transponder);
  if (!t && (t = matchByIds(s, list, f))) {
    // The same multiplex moved: the entry takes its new place.
    index.remove(t);
    moveTransponderNotes(t->satellite, f.transponder);
    t->satellite = f.transponder;
    index.add(t);
    transponderAdded(list, *t);
  }
  if (!t) {
    eTransponder found(list);
    found.satellite = f.transponder;
    t = list.addTransponder(found);
    s.tpNew.insert(t);
  } else {
    eTransponder found(list);
    found.satellite = f.transponder;
    list.addTransponder(found);  // brings its values up to date
  }
  const bool tpAgain = !s.tpSeen.insert(t).second;
  setTransponderSeen(t->satellite, sighted(transponderSeen(t->satellite), tpAgain));
  if (!tpAgain) transponderAdded(list, *t);
  out.transponderNew = s.tpNew.count(t) > 0;
  out.transponder = t->satellite;

  if (const eServiceReferenceDVB* kept = keptService(list, t, f.ref)) out.ref = *kept;
  const eServiceDVB* old = list.searchService(out.ref);
  out.wasKept = old != nullptr;
  if (!old) s.serviceNew.insert(out.ref);
  if (old && old->service_name != f.record.service_name && !s.renamed.count(out.ref))
    s.renamed[out.ref] = old->service_name;
  out.serviceNew = s.serviceNew.count(out.ref) > 0;
  auto was = s.renamed.find(out.ref);
  if (was != s.renamed.end() && was->second != f.record.service_name) out.oldName = was->second;
  list.addService(out.ref, f.record);
  if (s.byIdsMade && !old) s.byIds.emplace(Ids{out.ref.data[4], out.ref.data[3], out.ref.data[2]}, t);
  const bool serviceAgain = !s.servicesSeen.insert(out.ref).second;
  setServiceSeen(out.ref, sighted(serviceSeen(out.ref), serviceAgain));
  serviceAdded(list, out.ref);
  return out;
}

}  // namespace dvb

namespace {

// What reading a list notes beside it, for the entries the host's records
// have no place for: when each was seen, the system it locked with. Written
// with every entry appended afterwards, so nothing is left from one list's
// reading for the next.
void forgetNotes() {
  forgetDeliverySystems();
  forgetSeen();
}

// A run that changed the list writes it whole at the end, merged with what
// other boxes added, and the journal goes away. Should that fail, what is
// still pending goes to the journal, which keeps it just as well.
void keepAtShutdown(DvbState& s) {
  if (s.serviceListPath.empty() || !eDVB::instance) return;
  // A journal that an earlier run left behind (it was killed before its
  // last save) is folded in by the next run, whether or not this one found
  // anything: else it stays beside the list for good, replayed at every load.
  struct stat st;
  if (s.own.empty() && ::lstat(serviceJournalPath(s.serviceListPath).c_str(), &st) != 0) return;
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
  ref.data[5] = wholeMHz(int(std::lround(p.freqMHz * 1000)));
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
  std::vector<std::unique_ptr<Band>> bands;
  std::vector<std::string> files = {options.bandFile.empty() ? dataFile("bands/demo.json")
                                                             : options.bandFile};
  files.insert(files.end(), options.moreBands.begin(), options.moreBands.end());
  for (const std::string& file : files) {
    bands.push_back(std::make_unique<Band>());
    if (!loadBand(file, bands.back().get(), error)) return false;
    // The dish could not tell two skies at one position apart.
    for (size_t i = 0; i + 1 < bands.size(); ++i)
      if (bands[i]->orbitalPosition == bands.back()->orbitalPosition) {
        *error =
            trf("%s: orbital_position %s is already that of %s", printable(file, 200).c_str(),
                positionName(bands.back()->orbitalPosition).c_str(), printable(bands[i]->file, 200).c_str());
        return false;
      }
  }
  std::string listPath = options.serviceList.empty() ? std::string() : resolve(options.serviceList);
  KeptServices kept;
  KeptFileStamp stamp;
  if (!fixStartInstant(error)) return false;
  forgetNotes();  // the list read now tells them again
  if (!listPath.empty() && !loadServiceList(listPath, &kept, error, &stamp)) return false;
  std::unique_ptr<Frontend> device;
  if (options.tuner.adapter >= 0 && !(device = openRealFrontend(options.tuner, error))) return false;

  DvbState& s = state();
  s.bands = std::move(bands);
  s.band = s.bands.front().get();
  s.serviceListPath = listPath;
  s.listStamp = stamp;
  s.visits.clear();
  s.tpSeen.clear();
  s.tpNew.clear();
  s.servicesSeen.clear();
  s.serviceNew.clear();
  s.renamed.clear();
  s.byIds.clear();
  s.byIdsMade = false;
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

std::string positionName(int orbitalPosition) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%d%c", std::abs(orbitalPosition) / 10, std::abs(orbitalPosition) % 10,
                orbitalPosition < 0 ? 'W' : 'E');
  return buf;
}

bool hasBandAt(int orbitalPosition) {
  for (const auto& band : state().bands)
    if (band->orbitalPosition == orbitalPosition) return true;
  return false;
}

bool pointDish(int orbitalPosition) {
  DvbState& s = state();
  for (const auto& band : s.bands)
    if (band->orbitalPosition == orbitalPosition) {
      if (s.band == band.get()) return true;
      s.band = band.get();
      if (auto* sim = dynamic_cast<sim::SimFrontend*>(s.frontend.get())) sim->look(*band);
      return true;
    }
  return false;
}

int sendDiseqc(const std::vector<uint8_t>& message) {
  Trace::event("diseqc", {{"bytes", diseqcText(message)}});
  Frontend* frontend = state().frontend.get();
  return frontend ? frontend->sendDiseqc(message) : 0;
}

void selectSwitchPort(int port) {
  if (Frontend* frontend = state().frontend.get()) frontend->selectPort(port);
}

FoundCounts foundCounts() {
  const DvbState& s = state();
  FoundCounts c;
  for (const Visit& v : s.visits) c.locked += v.locked;
  c.newTransponders = s.tpNew.size();
  c.services = s.servicesSeen.size();
  return c;
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
  if (!eDVB::instance && s.bands.empty()) {
    forgetNotes();  // a list read while the layer was down noted them all the same
    return true;
  }
  keepAtShutdown(s);
  const bool kept = s.saveError.empty();
  if (!kept && error) *error = s.saveError;
  s.saveError.clear();
  s.playing.reset();
  delete eDVB::instance;  // ends a scan still running
  s.frontend.reset();
  s.band = nullptr;
  s.bands.clear();
  s.serviceListPath.clear();
  s.pending.clear();
  s.own.clear();
  forgetNotes();
  eServiceInterface::getInstance()->service = eServiceReference();
  Decoder::locked = 0;
  return kept;
}

namespace {

// TV, radio, data or the number, as the service's table gave it.
std::string serviceTypeName(int type) {
  switch (type) {
    case 1:
      return tr("TV");
    case 2:
      return tr("radio");
    case 12:
      return tr("data");
    default:
      return trf("type %d", type);
  }
}

std::string transponderLine(const Visit& v) {
  const int mhz = wholeMHz(v.shownKHz), ks = v.shownSym / 1000;
  const size_t n = v.services.size();
  if (!v.locked) return trf("%d MHz %s %d ksym/s: no lock", mhz, polName(v.pol), ks);
  if (v.system.empty())
    return trnf("%d MHz %s %d ksym/s: %zu service", "%d MHz %s %d ksym/s: %zu services", n, mhz,
                polName(v.pol), ks, n);
  return trnf("%d MHz %s %d ksym/s %s: %zu service", "%d MHz %s %d ksym/s %s: %zu services", n, mhz,
              polName(v.pol), ks, v.system.c_str(), n);
}

// A transponder scanned again (a hunt's later round, a second sweep over it)
// is one entry, in the place of its first scan: the services it carried at
// any scan, as last seen, new when any scan found them first.
std::vector<Visit> mergedVisits(const std::vector<Visit>& visits) {
  std::vector<Visit> merged;
  std::map<std::tuple<int, int, int, int, bool>, size_t> at;
  for (const Visit& v : visits) {
    const auto [it, first] =
        at.emplace(std::make_tuple(v.position, v.shownKHz, v.shownSym, v.pol, v.locked), merged.size());
    if (first) {
      merged.push_back(v);
      continue;
    }
    Visit& m = merged[it->second];
    m.isNew |= v.isNew;
    if (m.system.empty()) m.system = v.system;
    for (const VisitService& service : v.services) {
      auto same = std::find_if(m.services.begin(), m.services.end(),
                               [&](const VisitService& o) { return o.sid == service.sid; });
      if (same == m.services.end()) {
        m.services.push_back(service);
        continue;
      }
      const bool wasNew = same->isNew;
      const std::string oldName = same->oldName.empty() ? service.oldName : same->oldName;
      *same = service;
      same->isNew |= wasNew;
      same->oldName = oldName;
    }
  }
  return merged;
}

}  // namespace

std::string foundSummary() {
  const DvbState& s = state();
  const std::vector<Visit> visits = mergedVisits(s.visits);
  if (visits.empty()) return std::string(tr("No transponder was scanned.")) + "\n";
  std::string out = trf("Transponders scanned: %zu", visits.size()) + "\n";
  const std::string newMark = std::string(" (") + tr("new") + ")";
  // A night on several satellites says where each transponder lies.
  const bool positions = std::any_of(visits.begin(), visits.end(),
                                     [&](const Visit& v) { return v.position != visits[0].position; });
  for (const Visit& v : visits) {
    out += "  " + (positions ? positionName(v.position) + " " : std::string()) + transponderLine(v) +
           (v.isNew ? newMark + "\n" : "\n");
    // Names come from band files: shown escaped, they cannot play tricks on a terminal.
    for (const VisitService& service : v.services) {
      const std::string type = serviceTypeName(service.type);
      out += "    " + printable(service.name, kMaxShownName) + " (" +
             printable(service.provider, kMaxShownName) + "): " +
             (service.scrambled ? trf("%s, scrambled, SID %d", type.c_str(), service.sid)
                                : trf("%s, free, SID %d", type.c_str(), service.sid));
      if (service.isNew)
        out += newMark;
      else if (!service.oldName.empty())
        out += " (" + trf("was: %s", printable(service.oldName, kMaxShownName).c_str()) + ")";
      out += "\n";
    }
  }
  // The totals count each service once, as it is kept now, however often
  // the run saw it.
  eTransponderList* list = eDVB::instance ? eDVB::instance->getTransponders() : nullptr;
  size_t tv = 0, radio = 0, scrambled = 0;
  for (const eServiceReferenceDVB& ref : s.servicesSeen)
    if (const eServiceDVB* now = list ? list->searchService(ref) : nullptr) {
      tv += now->service_type == 1;
      radio += now->service_type == 2;
      scrambled += now->scrambled;
    }
  out += trf("Found: %s, %s (%zu TV, %zu radio, %zu scrambled).",
             trnf("%zu transponder", "%zu transponders", s.tpSeen.size(), s.tpSeen.size()).c_str(),
             trnf("%zu service", "%zu services", s.servicesSeen.size(), s.servicesSeen.size()).c_str(), tv,
             radio, scrambled) +
         "\n";
  // Services seen again count once each, whatever their name now.
  const size_t seenBefore = s.servicesSeen.size() - s.serviceNew.size();
  size_t renamed = 0;
  for (const auto& [ref, oldName] : s.renamed) {
    const eServiceDVB* now = list ? list->searchService(ref) : nullptr;
    renamed += now && now->service_name != oldName;
  }
  out += trf("New: %s, %s; %s; %s.",
             trnf("%zu transponder", "%zu transponders", s.tpNew.size(), s.tpNew.size()).c_str(),
             trnf("%zu service", "%zu services", s.serviceNew.size(), s.serviceNew.size()).c_str(),
             trnf("%zu renamed", "%zu renamed", renamed, renamed).c_str(),
             trnf("%zu seen before", "%zu seen before", seenBefore, seenBefore).c_str());
  return out + "\n";
}

}  // namespace box
