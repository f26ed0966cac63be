#include "box/dvb/sim/simfrontend.h"

#include <utility>

#include "box/dvb/sim/records.h"
#include "host/dvb.h"

namespace box::sim {
namespace {
constexpr int kSnrStream = 0, kAgcStream = 1, kPeekStream = 2;
}  // namespace

SimFrontend::SimFrontend(const Band& band_) : sky(&band_) {
  answerTimer.timeout.connect(sigc::mem_fun(*this, &SimFrontend::deliverPending));
  foundTimer.timeout.connect(sigc::mem_fun(*this, &SimFrontend::deliverFound));
  if (!frontend) frontend = this;
}

SimFrontend::~SimFrontend() = default;  // eFrontend's destructor clears the instance

void SimFrontend::look(const Band& other) {
  // A carrier index means nothing in another band.
  sky = &other;
  locked = false;
  carrier = -1;
  tuned = TunedParams();
}

int SimFrontend::SNR() {
  tuned.atMs = eApp->now();
  const int v = reading(snrLevel(*sky, tuned, lockedCarrier()), sky->noise.snrJitter,
                        noise(sky->noise.seed, tuned, kSnrStream, snrReads++));
  report(FrontendReading::snr, v);
  return v;
}

int SimFrontend::SignalStrength() {
  tuned.atMs = eApp->now();
  const int v = reading(agcLevel(*sky, tuned), sky->noise.agcJitter,
                        noise(sky->noise.seed, tuned, kAgcStream, agcReads++));
  report(FrontendReading::strength, v);
  return v;
}

void SimFrontend::report(FrontendReading::Kind kind, int value) const {
  reportReading({tuned.freqKHz, tuned.srSym, tuned.pol, kind, value, locked});
}

int SimFrontend::peekSNR() {
  tuned.atMs = eApp->now();
  return reading(snrLevel(*sky, tuned, lockedCarrier()), sky->noise.snrJitter,
                 noise(sky->noise.seed, tuned, kPeekStream, peeks++));
}

int SimFrontend::peekSignalStrength() {
  tuned.atMs = eApp->now();
  return reading(agcLevel(*sky, tuned), sky->noise.agcJitter,
                 noise(sky->noise.seed, tuned, kPeekStream + 1, peeks++));
}

int SimFrontend::tune(eTransponder* tp) {
  if (!tp) return -22;
  if (pending.tp) {
    // The demodulator drops the old tune; its answer goes out once the
    // caller has returned, never from inside this call.
    answers.cancel(pending);
  }
  const auto& s = tp->satellite;
  tuned = {s.frequency, s.symbol_rate, s.polarisation, eApp->now()};
  snrReads = agcReads = peeks = 0;
  locked = false;
  carrier = sim::lockedCarrier(*sky, tuned);
  int err = carrier >= 0 ? 0 : kTimedOut;
  ++tunes;
  if (sky->frontend.cancelEvery > 0 && tunes % uint64_t(sky->frontend.cancelEvery) == 0) err = kCancelled;
  pending = {tp, s.frequency, err};
  answerTimer.start(carrier >= 0 ? sky->frontend.lockMs : sky->frontend.timeoutMs, true);
  return 0;
}

void SimFrontend::forget(const eTransponder* tp) {
  if (!tp) return;
  if (pending.tp == tp) {
    pending = Answer();
    answerTimer.stop();
  }
  answers.forget(tp);
}

void SimFrontend::deliverPending() {
  answerTimer.stop();
  Answer a = pending;
  pending = Answer();
  if (!a.tp) return;
  locked = a.err == 0;
  answers.deliver(a);
}

// The locked carrier's services, on the transponder the list keeps for it.
// They are at hand at once, but go out from the loop as a real tuner's do,
// so that the scan has one way of taking them.
void SimFrontend::findServices(const eTransponder& /*tp*/, ServicesRead done) {
  found.clear();
  const int c = lockedCarrier();
  // A carrier that went off the air since the lock carries nothing.
  if (c >= 0 && eDVB::instance && onAirAt(sky->carriers[size_t(c)], eApp->now())) {
    const BandCarrier& on = sky->carriers[size_t(c)];
    eTransponder kept(*eDVB::instance->getTransponders());
    carrierTransponder(*sky, on, &kept);
    for (const BandService& s : on.services)
      found.push_back({serviceReference(*sky, on, s), serviceRecord(s), kept.satellite});
  }
  foundDone = std::move(done);
  foundTimer.start(0, true);
}

void SimFrontend::stopFinding() {
  foundTimer.stop();
  foundDone = nullptr;
  found.clear();
}

void SimFrontend::deliverFound() {
  ServicesRead done = std::move(foundDone);
  std::vector<FoundService> services = std::move(found);
  foundDone = nullptr;
  found.clear();
  if (done) done(std::move(services));
}

}  // namespace box::sim
