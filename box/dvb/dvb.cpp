// The DVB layer's objects as the plug-in reaches them: transponders and their
// list, service references, the DVB instance with its modes and events, the
// service interface and the decoders. Every call is traced as on a real box.
#include "host/dvb.h"

#include "box/base/trace.h"
#include "box/dvb/frontend.h"
#include "box/dvb/keptindex.h"
#include "box/dvb/seen.h"
#include "box/dvb/state.h"
#include "host/decoder.h"
#include "host/frontend.h"
#include "host/service.h"

eDVB* eDVB::instance = nullptr;
eFrontend* eFrontend::frontend = nullptr;
int Decoder::locked = 0;

namespace {
eTransponderList* gTransponderList = nullptr;
}

namespace box::dvb {

void emitEvent(const eDVBEvent& event) {
  Trace::event("dvb", {{"type", event.type}});
  if (eDVB::instance) eDVB::instance->event.emit(event);
}

}  // namespace box::dvb

eTransponder::eTransponder(eTransponderList& list) : transponderList(list) {}

eTransponder::~eTransponder() {
  if (eFrontend::frontend)
    if (auto* fe = dynamic_cast<box::Frontend*>(eFrontend::frontend)) fe->forget(this);
}

eTransponder& eTransponder::operator=(const eTransponder& other) {
  satellite = other.satellite;
  return *this;
}

void eTransponder::setSatellite(int frequency, int symbol_rate, int polarisation, int fec,
                                int orbital_position, int inversion) {
  satellite.valid = true;
  satellite.frequency = frequency;
  satellite.symbol_rate = symbol_rate;
  satellite.polarisation = polarisation;
  satellite.fec = fec;
  satellite.orbital_position = orbital_position;
  satellite.inversion = inversion;
  box::Trace::event("setSatellite", {{"freq", frequency},
                                     {"sr", symbol_rate},
                                     {"pol", polarisation},
                                     {"fec", fec},
                                     {"orb", orbital_position},
                                     {"inv", inversion}});
}

int eTransponder::tune() {
  box::Trace::event(
      "tune",
      {{"freq", satellite.frequency}, {"sr", satellite.symbol_rate}, {"pol", satellite.polarisation}});
  if (!eFrontend::frontend) return -19;  // -ENODEV
  return eFrontend::frontend->tune(this);
}

bool eTransponder::operator==(const eTransponder& o) const {
  return satellite.frequency == o.satellite.frequency && satellite.symbol_rate == o.satellite.symbol_rate &&
         satellite.polarisation == o.satellite.polarisation &&
         satellite.orbital_position == o.satellite.orbital_position;
}

bool eServiceReference::operator==(const eServiceReference& o) const {
  if (type != o.type || flags != o.flags) return false;
  for (int i = 0; i < 8; ++i)
    if (data[i] != o.data[i]) return false;
  return path == o.path;
}

bool eServiceReference::operator<(const eServiceReference& o) const {
  if (type != o.type) return type < o.type;
  for (int i = 0; i < 8; ++i)
    if (data[i] != o.data[i]) return data[i] < o.data[i];
  if (flags != o.flags) return flags < o.flags;
  return path < o.path;
}

eTransponderList::eTransponderList() {
  if (!gTransponderList) gTransponderList = this;
}

eTransponderList::~eTransponderList() {
  box::dropTransponderIndex(*this);
  if (gTransponderList == this) gTransponderList = nullptr;
}

eTransponderList* eTransponderList::getInstance() {
  // The DVB instance's list is the host's; any other is a private one.
  return eDVB::instance ? eDVB::instance->getTransponders() : gTransponderList;
}

void eTransponderList::leaveTransponder(eTransponder* tp) {
  box::Trace::event("leaveTransponder", {{"freq", tp ? tp->satellite.frequency : 0}});
}

eServiceDVB* eTransponderList::searchService(const eServiceReference& service) {
  // A plain reference with the same fields finds the DVB one: < and == look
  // at the same fields, so the map's own search finds what == would, without
  // walking a list of many thousand services for every service a scan reports.
  eServiceReferenceDVB key;
  static_cast<eServiceReference&>(key) = service;
  auto it = services.find(key);
  return it == services.end() ? nullptr : &it->second;
}

void eTransponderList::addService(const eServiceReferenceDVB& ref, const eServiceDVB& record) {
  auto it = services.find(ref);
  // A service found again as it was is nothing new to keep.
  if (it != services.end() && it->second.service_name == record.service_name &&
      it->second.service_provider == record.service_provider &&
      it->second.service_type == record.service_type && it->second.scrambled == record.scrambled)
    return;
  services[ref] = record;
  box::dvb::serviceAdded(*this, ref);
}

// A transponder found again, a little off or with other parameters, is the
// one kept (keptindex.h): it takes the newer values, and what was noted of
// it goes along.
eTransponder* eTransponderList::addTransponder(const eTransponder& tp) {
  box::TransponderIndex& index = box::transponderIndex(*this);
  if (eTransponder* known = index.match(tp.satellite)) {
    const auto& a = known->satellite;
    const auto& b = tp.satellite;
    if (a.frequency == b.frequency && a.symbol_rate == b.symbol_rate && a.fec == b.fec &&
        a.inversion == b.inversion)
      return known;
    index.remove(known);
    box::moveTransponderNotes(a, b);
    known->satellite = b;
    index.add(known);
    box::dvb::transponderAdded(*this, *known);
    return known;
  }
  transponders.emplace_back(*this);
  transponders.back() = tp;
  index.add(&transponders.back());
  box::dvb::transponderAdded(*this, transponders.back());
  transponder_added.emit(&transponders.back());
  return &transponders.back();
}

eDVB::eDVB() : transponderlist(new eTransponderList), serviceController(new eDVBServiceController) {
  instance = this;
}

eDVB::~eDVB() {
  delete scanController;
  delete serviceController;
  delete transponderlist;
  if (instance == this) instance = nullptr;
}

void eDVB::setMode(int m) {
  box::Trace::event("setMode", {{"mode", m}});
  mode = m;
  if (mode == modeScan && !scanController) scanController = new eDVBScanController;
  if (mode != modeScan && scanController) {
    // Leaving scan mode ends a scan still running (without further events).
    eDVBScanController* old = scanController;
    scanController = nullptr;
    delete old;
  }
}

eDVBServiceController* eDVB::getServiceAPI() {
  return mode == modeScan ? nullptr : serviceController;
}

eDVBScanController* eDVB::getScanAPI() {
  return mode == modeScan ? scanController : nullptr;
}

eFrontend::~eFrontend() {
  if (frontend == this) frontend = nullptr;
}

void Decoder::Flush() {
  box::Trace::event("flush");
}

eServiceInterface* eServiceInterface::getInstance() {
  static eServiceInterface instance;
  return &instance;
}

int eServiceInterface::play(const eServiceReference& ref) {
  box::Trace::event("play", {{"service", ref.descr}, {"freq", ref.data[5]}});
  if (ref.type == eServiceReference::idInvalid) return -1;
  service = ref;
  if (auto* fe = dynamic_cast<box::Frontend*>(eFrontend::frontend)) fe->play(ref);
  return 0;
}
