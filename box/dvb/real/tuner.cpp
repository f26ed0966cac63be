#include "box/dvb/real/tuner.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "box/base/clock.h"
#include "box/base/loop.h"
#include "box/base/trace.h"
#include "box/dvb/delivery.h"
#include "box/dvb/real/readings.h"
#include "box/dvb/state.h"
#include "host/dvb.h"

namespace box::real {
namespace {

constexpr int kPollMs = 10;

const char* systemName(Device::System sys) {
  return sys == Device::dvbs2 ? "DVB-S2" : "DVB-S";
}

}  // namespace

RealFrontend::RealFrontend(std::unique_ptr<Device> device_, int demuxFd, const TunerOptions& options_,
                           bool offersS2, const Lnb& lnb_)
    : device(std::move(device_)), options(options_), lnb(lnb_), tables(demuxFd) {
  if (options.delsys == "dvbs")
    systems = {Device::dvbs};
  else if (options.delsys == "dvbs2")
    systems = {Device::dvbs2};
  else if (offersS2)
    systems = {Device::dvbs2,
               Device::dvbs};  // most demodulators lock DVB-S carriers as DVB-S2 with auto settings
  else
    systems = {Device::dvbs};
  pollTimer.timeout.connect(sigc::mem_fun(*this, &RealFrontend::poll));
}

RealFrontend::~RealFrontend() {
  playing.reset();  // while this is still the front end that forgets its tune
  setWaiting(false);
  tables.stop();
}

// The status and the statistics come from one read, so each reading looks
// at the status it was taken with.
unsigned RealFrontend::status(Stat* strength, Stat* cnr) {
  unsigned s = 0;
  Stat a, b;
  if (!device->read(&s, &a, &b)) return 0;
  if (strength) *strength = a;
  if (cnr) *cnr = b;
  return s;
}

int RealFrontend::SNR() {
  return snrNow(true);
}

int RealFrontend::SignalStrength() {
  return strengthNow(true);
}

namespace {

void report(const struct eTransponder::satellite& tuned, FrontendReading::Kind kind, int value, bool locked) {
  reportReading({tuned.frequency, tuned.symbol_rate, tuned.polarisation, kind, value, locked});
}

}  // namespace

int RealFrontend::snrNow(bool reported) {
  Stat cnr;
  const unsigned s = status(nullptr, &cnr);
  const int v = snrReading(cnr, s & kHasCarrier);
  if (reported) report(tuned, FrontendReading::snr, v, s & kHasLock);
  return v;
}

int RealFrontend::strengthNow(bool reported) {
  Stat strength;
  const unsigned s = status(&strength, nullptr);
  const int v = strengthReading(strength, s & kHasSignal);
  if (reported) report(tuned, FrontendReading::strength, v, s & kHasLock);
  return v;
}

int RealFrontend::Locked() {
  return (status() & kHasLock) ? 1 : 0;
}

void RealFrontend::setWaiting(bool on) {
  if (on == waiting) return;
  waiting = on;
  if (on)
    beginDeviceWait();
  else
    endDeviceWait();
}

int RealFrontend::tune(eTransponder* tp) {
  if (!tp) return -22;
  if (pending.tp) {
    // The old tune is dropped; its answer goes out once the caller has
    // returned, never from inside this call.
    answers.cancel(pending);
  }
  tuned = tp->satellite;
  pending = {tp, tuned.frequency, 0};
  attempt = 0;
  carrierSeen = false;
  deadline = wallMs() + options.lockTimeoutMs;
  setWaiting(true);
  pollTimer.start(kPollMs, false);
  tunerKHz = uint32_t(std::max(tuned.frequency, 0));
  if (lnb.lowLofKHz) {
    // Where the LNB puts the carrier: what the tuner is set to. A frequency
    // the LNB does not receive is no lock, answered at once: libdvbv5 would
    // refuse it (EINVAL), and a refusal halts a sweep that merely starts
    // below the LNB's range (the plug-in's default band begins at 10700 MHz,
    // libdvbv5's UNIVERSAL at 10800).
    const LnbChoice c = chooseBand(lnb, tunerKHz, tuned.polarisation);
    if (!c.ok) {
      Trace::event("lnb", {{"freq", tuned.frequency}, {"band", "outside"}});
      pending.err = kTimedOut;  // answered at the first poll
      return 0;
    }
    Trace::event("lnb", {{"freq", tuned.frequency},
                         {"if", c.ifKHz},
                         {"band", c.highBand ? "high" : "low"},
                         {"voltage", c.voltage18 ? 18 : 13}});
    tunerKHz = c.ifKHz;
    if (int err = switchFor(c)) {
      pending.err = refusedResult(err);
      return 0;
    }
  }
  if (int err = startAttempt()) pending.err = refusedResult(err);
  return 0;
}

// Voltage, tone and the DiSEqC command go out only when one of them changes:
// between two steps of one band and polarisation nothing does, and the
// commands with their waits would cost every step tens of milliseconds.
int RealFrontend::switchFor(const LnbChoice& c) {
  SwitchSetting want;
  want.voltage18 = c.voltage18;
  want.tone = c.highBand;
  want.diseqc = options.diseqc;
  if (switchKnown && want == switched) return 0;
  Trace::event("switch",
               {{"voltage", want.voltage18 ? 18 : 13}, {"tone", want.tone}, {"diseqc", want.diseqc}});
  const int err = device->setSwitch(want);
  // After a refusal the switch's state is unknown: the next tune sends it all again.
  switchKnown = err == 0;
  switched = want;
  return err;
}

// Sets the front end for the attempt's delivery system. A refused attempt
// moves on to the next system; the errno of the last refusal when none is
// left, else 0.
int RealFrontend::startAttempt() {
  int err = 0;
  for (; attempt < systems.size(); ++attempt) {
    const int64_t now = wallMs();
    // A first try of two gets half the time, the fallback the rest.
    attemptDeadline = attempt + 1 < systems.size() ? now + (deadline - now) / 2 : deadline;
    err = device->set(systems[attempt], tunerKHz, tuned);
    if (err == 0) {
      if (!carrierSeen)
        carrierDeadline = now + carrierWaitMs(tuned.symbol_rate, options.carrierWaitMs,
                                              int(std::max<int64_t>(deadline - now, 0)));
      return 0;
    }
  }
  attempt = systems.size() - 1;
  return err;
}

void RealFrontend::poll() {
  if (!pending.tp) {
    pollTimer.stop();
    setWaiting(false);
    return;
  }
  if (pending.err != 0) return answer(pending.err);
  const unsigned st = status();
  if (st & kHasLock) {
    // Kept with the transponder in the service list.
    lockedSystem = systemName(systems[attempt]);
    lockedModulation = device->modulation();
    if (lockedModulation.empty() && systems[attempt] == Device::dvbs) lockedModulation = "QPSK";
    noteDeliverySystem(tuned, {lockedSystem, lockedModulation});
    return answer(kLocked);
  }
  carrierSeen |= (st & kFoundCarrier) != 0;
  const int64_t now = wallMs();
  // Nothing there: no other delivery system finds a carrier that this one
  // does not see.
  const bool lookingForCarrier = options.carrierWaitMs != 0;
  if (lookingForCarrier && !carrierSeen && now >= carrierDeadline) return answer(kTimedOut);
  if (now < attemptDeadline) return;
  if (attempt + 1 < systems.size() && (carrierSeen || !lookingForCarrier)) {
    ++attempt;
    if (int err = startAttempt()) pending.err = refusedResult(err);
    return;
  }
  if (now >= deadline) answer(kTimedOut);
}

void RealFrontend::answer(int err) {
  pollTimer.stop();
  setWaiting(false);
  Answer a = pending;
  a.err = err;
  pending = Answer();
  if (a.err == kLocked)
    answers.deliver(a, {{"system", lockedSystem}, {"modulation", lockedModulation}});
  else
    answers.deliver(a);
}

void RealFrontend::forget(const eTransponder* tp) {
  if (!tp) return;
  if (pending.tp == tp) {
    pending = Answer();
    pollTimer.stop();
    setWaiting(false);
  }
  answers.forget(tp);
}

void RealFrontend::findServices(const eTransponder& tp, ServicesRead done) {
  tables.start(tp, std::move(done));
}

void RealFrontend::play(const eServiceReference& ref) {
  // There is no decoder on a PC: playing is tuning the service's transponder,
  // one the list knows or the one that played at boot.
  if (!eDVB::instance) return;
  auto carries = [&ref](const eTransponder& tp) {
    const auto& s = tp.satellite;
    return s.valid && int(std::lround(s.frequency / 1000.0)) == ref.data[5] &&
           s.orbital_position == ref.data[4];
  };
  const eTransponder* found = nullptr;
  for (const eTransponder& known : eDVB::instance->getTransponders()->getKnownTransponders())
    if (!found && carries(known)) found = &known;
  eDVBServiceController* sapi = eDVB::instance->getServiceAPI();
  if (!found && sapi && sapi->transponder && carries(*sapi->transponder)) found = sapi->transponder;
  if (!found) return;
  if (playing) forget(playing.get());
  playing = std::make_unique<eTransponder>(*found);
  playing->tune();
}

}  // namespace box::real
