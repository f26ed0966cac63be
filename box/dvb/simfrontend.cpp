#include "box/dvb/simfrontend.h"

#include "box/base/trace.h"
#include "box/dvb/state.h"
#include "host/dvb.h"

namespace box {
namespace {
constexpr int kSnrStream = 0, kAgcStream = 1, kPeekStream = 2;
}  // namespace

SimFrontend::SimFrontend(const Band& band_) : band(band_) {
  answerTimer.timeout.connect(sigc::mem_fun(*this, &SimFrontend::deliverPending));
  if (!frontend) frontend = this;
}

SimFrontend::~SimFrontend() = default;  // eFrontend's destructor clears the instance

int SimFrontend::SNR() {
  const int v = reading(snrLevel(band, tuned, lockedCarrier()), band.noise.snrJitter,
                        noise(band.noise.seed, tuned, kSnrStream, snrReads++));
  report(FrontendReading::snr, v);
  return v;
}

int SimFrontend::SignalStrength() {
  const int v = reading(agcLevel(band, tuned), band.noise.agcJitter,
                        noise(band.noise.seed, tuned, kAgcStream, agcReads++));
  report(FrontendReading::strength, v);
  return v;
}

void SimFrontend::report(FrontendReading::Kind kind, int value) const {
  FrontendReading r;
  r.freqKHz = tuned.freqKHz;
  r.srSym = tuned.srSym;
  r.pol = tuned.pol;
  r.kind = kind;
  r.value = value;
  r.locked = locked;
  reportReading(r);
}

int SimFrontend::peekSNR() {
  return reading(snrLevel(band, tuned, lockedCarrier()), band.noise.snrJitter,
                 noise(band.noise.seed, tuned, kPeekStream, peeks++));
}

int SimFrontend::peekSignalStrength() {
  return reading(agcLevel(band, tuned), band.noise.agcJitter,
                 noise(band.noise.seed, tuned, kPeekStream + 1, peeks++));
}

int SimFrontend::tune(eTransponder* tp) {
  if (!tp) return -22;
  if (pending.tp) {
    // The demodulator drops the old tune; its answer goes out once the
    // caller has returned, never from inside this call.
    answers.cancel(pending);
  }
  const auto& s = tp->satellite;
  tuned = {s.frequency, s.symbol_rate, s.polarisation};
  snrReads = agcReads = peeks = 0;
  locked = false;
  carrier = box::lockedCarrier(band, tuned);
  int err = carrier >= 0 ? 0 : kTimedOut;
  ++tunes;
  if (band.frontend.cancelEvery > 0 && tunes % uint64_t(band.frontend.cancelEvery) == 0) err = kCancelled;
  pending = {tp, s.frequency, err};
  answerTimer.start(carrier >= 0 ? band.frontend.lockMs : band.frontend.timeoutMs, true);
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

}  // namespace box
