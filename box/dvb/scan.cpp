// The scan controller: visits its queue of transponders one by one. Per
// transponder: event 5, a tune; on a lock the carrier's services are reported
// a service gap apart (each put into the list first, so that searchService
// finds it); then event 4. Event 2 starts a scan, event 15 ends it, event 3
// tells of a transponder queued while it runs. abort() ends it at once: no
// event after it, no timer left running, no answer of its tune delivered.
// The services come from the front end after the lock, whichever stands
// behind it (a real tuner reads the transponder's tables, the simulated one
// the band's).
#include <memory>
#include <optional>
#include <vector>

#include "box/base/trace.h"
#include "box/dvb/frontend.h"
#include "box/dvb/state.h"
#include "host/dvb.h"
#include "host/ebase.h"

struct eDVBScanController::Impl : public sigc::trackable {
  explicit Impl(eDVBScanController& owner) : owner(owner) {
    timer.timeout.connect(sigc::mem_fun(*this, &Impl::step));
    if (eFrontend::frontend) eFrontend::frontend->tunedIn.connect(sigc::mem_fun(*this, &Impl::tuned));
  }

  enum class Phase { idle, next, tuning, reading, services, finishing };

  // Emits an event; false when the controller was destroyed meanwhile (a
  // receiver left scan mode), and then nothing more may be touched.
  bool emit(int type, eTransponder* tp) {
    std::weak_ptr<bool> alive = token;
    box::dvb::emitEvent(eDVBEvent(type, 0, tp));
    return !alive.expired();
  }

  void begin() {
    running = true;
    phase = Phase::next;
    if (!emit(eDVBEvent::eventScanBegin, nullptr)) return;
    if (running) timer.start(0, true);
  }

  void step() {
    timer.stop();
    switch (phase) {
      case Phase::next:
        nextTransponder();
        break;
      case Phase::services:
        reportService();
        break;
      case Phase::finishing:
        finishTransponder();
        break;
      default:
        break;
    }
  }

  void nextTransponder() {
    if (owner.knownTransponder.empty()) {
      running = false;
      phase = Phase::idle;
      box::dvb::saveServiceList();
      emit(eDVBEvent::eventScanCompleted, nullptr);
      return;
    }
    current.emplace(owner.knownTransponder.front());
    found.clear();
    nextFound = 0;
    if (!emit(eDVBEvent::eventScanTuneBegin, &*current) || !running) return;
    phase = Phase::tuning;
    if (current->tune() != 0) {
      box::dvb::recordVisit(*current, false);
      phase = Phase::finishing;
      timer.start(0, true);
    }
  }

  void tuned(eTransponder* tp, int err) {
    if (phase != Phase::tuning || !current || tp != &*current) return;
    box::dvb::recordVisit(*current, err == 0);
    // A front end other than the box's (a test's scripted one) finds nothing.
    auto* device = dynamic_cast<box::Frontend*>(eFrontend::frontend);
    if (err != 0 || !device) {
      phase = Phase::finishing;
      timer.start(0, true);
      return;
    }
    // The tune's own event 0 goes out before whatever the read brings.
    phase = Phase::reading;
    device->findServices(*current, [this](std::vector<box::FoundService> services) {
      if (phase != Phase::reading) return;
      for (box::FoundService& f : services)
        if (!(onlyFree && f.record.scrambled)) found.push_back(std::move(f));
      phase = found.empty() ? Phase::finishing : Phase::services;
      timer.start(found.empty() ? 0 : gapMs(), true);
    });
  }

  void reportService() {
    eTransponderList* list = eDVB::instance ? eDVB::instance->getTransponders() : nullptr;
    if (!list || nextFound >= found.size()) {
      phase = Phase::finishing;
      timer.start(0, true);
      return;
    }
    const box::FoundService& f = found[nextFound++];
    const box::dvb::Found kept = box::dvb::keepFound(f);
    const eServiceReferenceDVB ref = kept.ref;
    const eServiceDVB record = f.record;
    const bool isNew = !kept.wasKept;
    box::dvb::recordService(*current, record, kept);
    box::Trace::event("serviceFound", {{"name", record.service_name},
                                       {"provider", record.service_provider},
                                       {"freq", current->satellite.frequency}});
    std::weak_ptr<bool> alive = token;
    list->service_found.emit(ref, isNew);
    if (alive.expired() || !running) return;
    phase = nextFound < found.size() ? Phase::services : Phase::finishing;
    timer.start(gapMs(), true);
  }

  void finishTransponder() {
    if (!owner.knownTransponder.empty()) owner.knownTransponder.pop_front();
    phase = Phase::next;
    if (!emit(eDVBEvent::eventScanTransponderDone, current ? &*current : nullptr) || !running) return;
    timer.start(0, true);
  }

  void abort() {
    timer.stop();
    if (current)
      if (auto* fe = dynamic_cast<box::Frontend*>(eFrontend::frontend)) {
        fe->forget(&*current);
        fe->stopFinding();
      }
    bool wasRunning = running;
    running = false;
    phase = Phase::idle;
    owner.knownTransponder.clear();
    found.clear();
    if (wasRunning) box::dvb::saveServiceList();
  }

  int gapMs() const {
    const box::Band* band = box::dvb::band();
    return band ? band->serviceGapMs : 300;
  }

  eDVBScanController& owner;
  eTimer timer{eApp};
  bool running = false;
  Phase phase = Phase::idle;
  std::optional<eTransponder> current;  // the transponder being visited (what the scan tunes)
  std::vector<box::FoundService> found;
  size_t nextFound = 0;
  int onlyFree = 0;  // scrambled services are left out
  std::shared_ptr<bool> token = std::make_shared<bool>(true);
};

eDVBScanController::eDVBScanController() : impl(nullptr) {
  impl = new Impl(*this);
}

eDVBScanController::~eDVBScanController() {
  impl->abort();
  delete impl;
}

void eDVBScanController::addTransponder(const eTransponder& tp) {
  box::Trace::event("scanAdd", {{"freq", tp.satellite.frequency},
                                {"sr", tp.satellite.symbol_rate},
                                {"pol", tp.satellite.polarisation}});
  knownTransponder.push_back(tp);
  if (impl->running) impl->emit(eDVBEvent::eventScanTPadded, &knownTransponder.back());
}

void eDVBScanController::setUseONIT(int use) {
  box::Trace::event("scanOption", {{"useONIT", use}});
}
void eDVBScanController::setUseBAT(int use) {
  box::Trace::event("scanOption", {{"useBAT", use}});
}
void eDVBScanController::setNetworkSearch(int search) {
  box::Trace::event("scanOption", {{"networkSearch", search}});
}
void eDVBScanController::setOnlyFree(int onlyFree) {
  box::Trace::event("scanOption", {{"onlyFree", onlyFree}});
  impl->onlyFree = onlyFree;
}
// The box's dish sees one orbital position and the other options concern
// tables it does not simulate, so they are only traced.
void eDVBScanController::setSkipOtherOrbitalPositions(int skip) {
  box::Trace::event("scanOption", {{"skipOtherOrbitalPositions", skip}});
}

void eDVBScanController::start() {
  box::Trace::event("scanStart", {{"transponders", knownTransponder.size()}});
  if (impl->running) return;  // already under way: the queue simply goes on
  impl->begin();
}

void eDVBScanController::abort() {
  box::Trace::event("scanAbort", {{"running", impl->running}});
  impl->abort();
}

bool eDVBScanController::isRunning() const {
  return impl->running;
}
