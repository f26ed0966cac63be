#include "box/dvb/real/tuner.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>

#include "box/base/clock.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/dvb/delivery.h"
#include "box/dvb/diseqc.h"
#include "box/dvb/mhz.h"
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
    : device(std::move(device_)), options(options_), lnb(lnb_), startPort(options_.diseqc), tables(demuxFd) {
  if (options.delsys == "dvbs")
    systems = {Device::dvbs};
  else if (options.delsys == "dvbs2")
    systems = {Device::dvbs2};
  else if (offersS2)
    systems = {Device::dvbs2,
               Device::dvbs};  // most demodulators lock DVB-S carriers as DVB-S2 with auto settings
  else
    systems = {Device::dvbs};
  tell = [](const std::string& message) { std::fprintf(stderr, "box: %s\n", message.c_str()); };
  pollTimer.timeout.connect(sigc::mem_fun(*this, &RealFrontend::poll));
}

RealFrontend::~RealFrontend() {
  playing.reset();  // while this is still the front end that forgets its tune
  setWaiting(false);
  tables.stop();
}

unsigned RealFrontend::status() {
  unsigned s = 0;
  if (gone || trouble(device->status(&s))) return 0;
  return s;
}

// A DVBv5 statistic where the driver gives one; the old call's value only
// where it gives none.
Stat RealFrontend::statistic(Device::Measure m) {
  Stat v5[2];
  if (gone) return Stat();
  device->statistics(&v5[Device::strength], &v5[Device::cnr]);
  Stat s = v5[m];
  uint16_t old = 0;
  if (s.scale == 0 && device->legacy(m, &old)) s = {2, old, true};
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

// The status first: many drivers bring their statistics up to date when
// their status is read.
int RealFrontend::snrNow(bool reported) {
  const bool lock = status() & kHasLock;
  const int v = snrReading(statistic(Device::cnr));
  if (reported) report(tuned, FrontendReading::snr, v, lock);
  return v;
}

int RealFrontend::strengthNow(bool reported) {
  const bool lock = status() & kHasLock;
  const int v = strengthReading(statistic(Device::strength));
  if (reported) report(tuned, FrontendReading::strength, v, lock);
  return v;
}

int RealFrontend::Locked() {
  return (status() & kHasLock) ? 1 : 0;
}

// EAGAIN and ENODEV are told once, naming the device. A device gone ends the
// run the way a finished one ends, so that what it found is kept and
// exported. True for those two.
bool RealFrontend::trouble(int err) {
  if (err == EAGAIN) {
    if (!std::exchange(toldUnready, true))
      tell(trf("%s: the front end is not ready (is its firmware loaded?); tunes find nothing until it is",
               device->name().c_str()));
    return true;
  }
  if (err != ENODEV) return false;
  if (!std::exchange(gone, true)) {
    tell(trf("%s: the tuner is gone (unplugged?); the run ends and keeps what it found",
             device->name().c_str()));
    abortAll(kExitTunerGone);
  }
  return true;
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
  carrierSeen = unready = false;
  setWaiting(true);
  pollTimer.start(kPollMs, false);
  if (gone) {
    pending.err = refusedResult(ENODEV);
    return 0;
  }
  tunerKHz = uint32_t(std::max(tuned.frequency, 0));
  highBand = false;
  if (lnb.lowLofKHz) {
    // Where the LNB puts the carrier: what the tuner is set to. A frequency
    // the LNB does not receive is no lock, answered at once: the kernel
    // would refuse it (EINVAL), and a refusal halts a sweep that merely
    // starts below the LNB's range (the plug-in's default band begins at
    // 10700 MHz, libdvbv5's UNIVERSAL at 10800).
    const LnbChoice c = chooseBand(lnb, tunerKHz, tuned.polarisation);
    if (!c.ok) {
      Trace::event("lnb", {{"freq", tuned.frequency}, {"band", "outside"}});
      if (!std::exchange(toldOutside, true)) {
        // A universal LNB receives 10700-10800 MHz too, which libdvbv5's
        // UNIVERSAL leaves out.
        const unsigned low = wholeMHz(int(lnb.minKHz)), high = wholeMHz(int(lnb.maxKHz)),
                       mhz = wholeMHz(int(tunerKHz));
        tell(lnb.name == "UNIVERSAL" && tunerKHz < lnb.minKHz
                 ? trf("LNB %s receives %u-%u MHz, not %u MHz: those tunes find nothing (--lnb EXTENDED "
                       "receives from 10700 MHz)",
                       lnb.name.c_str(), low, high, mhz)
                 : trf("LNB %s receives %u-%u MHz, not %u MHz: those tunes find nothing", lnb.name.c_str(),
                       low, high, mhz));
      }
      pending.err = kTimedOut;  // answered at the first poll
      return 0;
    }
    Trace::event("lnb", {{"freq", tuned.frequency},
                         {"if", c.ifKHz},
                         {"band", c.highBand ? "high" : "low"},
                         {"voltage", c.voltage18 ? 18 : 13}});
    tunerKHz = c.ifKHz;
    highBand = c.highBand;
    if (int err = switchFor(c)) {
      trouble(err);
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
  if (want.diseqc >= 0)
    Trace::event("diseqc", {{"bytes", diseqcText(committedSwitch(want.diseqc, want.voltage18, want.tone))}});
  const int err = device->setSwitch(want);
  // After a refusal the switch's state is unknown: the next tune sends it all again.
  switchKnown = err == 0;
  switched = want;
  return err;
}

// The bus is left as the message leaves it: the next tune sets voltage,
// tone and port again.
int RealFrontend::sendDiseqc(const std::vector<uint8_t>& message) {
  const int err = device->sendMaster(message);
  switchKnown = false;
  if (err) trouble(err);
  return err;
}

// A port that differs from the last one sent makes the next tune's switch
// command differ, and so go out.
void RealFrontend::selectPort(int port) {
  options.diseqc = port >= 0 ? port : startPort;
}

// Each delivery system's try has the whole lock time-out for the symbol
// rate: a DVB-S2 search that is cut short may be the one that would lock.
void RealFrontend::attemptStarted(int64_t now) {
  const int timeout = lockTimeoutMs(tuned.symbol_rate, options.lockTimeoutMs);
  attemptDeadline = now + timeout;
  if (!carrierSeen) carrierDeadline = now + carrierWaitMs(tuned.symbol_rate, options.carrierWaitMs, timeout);
}

// Sets the front end for the attempt's delivery system. A refused attempt
// moves on to the next system; the errno of the last refusal when none is
// left, else 0. A front end not ready yet is set again at each poll, within
// the try's time.
int RealFrontend::startAttempt() {
  int err = 0;
  for (; attempt < systems.size(); ++attempt) {
    current = Device::Tuning();
    current.system = systems[attempt];
    current.tunerKHz = tunerKHz;
    current.symbolRate = tuned.symbol_rate;
    // A stream filter means nothing to DVB-S.
    if (current.system == Device::dvbs2) current.streamId = options.streamId;
    err = device->set(current);
    if (err == 0 || err == EAGAIN) {
      attemptStarted(wallMs());
      unready = trouble(err);
      return 0;
    }
    if (trouble(err)) return err;
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
  if (unready) {
    if (wallMs() >= attemptDeadline) return answer(kTimedOut);
    const int err = device->set(current);
    if (err == EAGAIN) return;
    if (err) {
      trouble(err);
      return answer(refusedResult(err));
    }
    // Ready now: the try has its whole time from here.
    unready = false;
    attemptStarted(wallMs());
  }
  // The status alone: a read of the statistics costs several ioctls, and
  // some drivers sleep in the old ones. One-shot tuning queues no status
  // events to wait on, and a driver searching holds the front end until it
  // is done, so this read may take that long: the time is looked at after
  // it.
  const unsigned st = status();
  if (gone) return answer(refusedResult(ENODEV));
  if (st & kHasLock) return locked();
  carrierSeen |= (st & kFoundCarrier) != 0;
  const int64_t now = wallMs();
  // Nothing there: no other delivery system finds a carrier that this one
  // does not see. The carrier wait ends within the try's time, so a next
  // system is only ever tried where a carrier showed (or none is looked for).
  const bool lookingForCarrier = options.carrierWaitMs != 0;
  if (lookingForCarrier && !carrierSeen && now >= carrierDeadline) return answer(kTimedOut);
  if (now < attemptDeadline) return;
  if (attempt + 1 < systems.size()) {
    ++attempt;
    if (int err = startAttempt()) pending.err = refusedResult(err);
    return;
  }
  answer(kTimedOut);
}

// What the demodulator found is kept with the transponder in the service
// list, and traced beside what was asked: the frequency back through the
// LNB, as the dish sees it.
void RealFrontend::locked() {
  Device::Found f;
  f.system = systems[attempt];
  f.tunerKHz = tunerKHz;
  f.symbolRate = tuned.symbol_rate;
  device->found(&f);
  if (f.modulation.empty() && f.system == Device::dvbs) f.modulation = "QPSK";
  const int foundKHz = int(lnb.lowLofKHz ? satelliteKHz(lnb, f.tunerKHz, highBand) : f.tunerKHz);
  noteDeliverySystem(tuned, {systemName(f.system), f.modulation, foundKHz, f.symbolRate, f.fec});
  // Named to sort after "err", "ev" and "freq", which lead a traced line as
  // they always have.
  lockedFields = {{"system", systemName(f.system)},
                  {"modulation", f.modulation},
                  {"system_asked", systemName(systems[attempt])},
                  {"freq_found", foundKHz},
                  {"symbol_rate_found", f.symbolRate},
                  {"inner_fec_found", f.fec}};
  answer(kLocked);
}

void RealFrontend::answer(int err) {
  pollTimer.stop();
  setWaiting(false);
  Answer a = pending;
  a.err = err;
  pending = Answer();
  if (a.err == kLocked)
    answers.deliver(a, lockedFields);
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
    return s.valid && wholeMHz(s.frequency) == ref.data[5] && s.orbital_position == ref.data[4];
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
