#include "box/dvb/real/tuner.h"

#include <libdvbv5/dvb-demux.h>
#include <libdvbv5/dvb-fe.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

#include "box/dvb/real/readings.h"
#include "box/dvb/state.h"
#include "box/gui/loop.h"
#include "box/gui/trace.h"
#include "host/dvb.h"

namespace box::real {
namespace {

constexpr int kPollMs = 10;

const char* systemName(unsigned sys) {
  return sys == SYS_DVBS2 ? "DVB-S2" : sys == SYS_DVBS ? "DVB-S" : "other";
}

}  // namespace

RealFrontend::RealFrontend(dvb_v5_fe_parms* parms_, int demuxFd, const TunerOptions& options_, bool offersS2)
    : parms(parms_), options(options_), tables(demuxFd) {
  if (options.delsys == "dvbs")
    systems = {SYS_DVBS};
  else if (options.delsys == "dvbs2")
    systems = {SYS_DVBS2};
  else if (offersS2)
    systems = {SYS_DVBS2, SYS_DVBS};  // most demodulators lock DVB-S carriers as DVB-S2 with auto settings
  else
    systems = {SYS_DVBS};
  pollTimer.timeout.connect(sigc::mem_fun(*this, &RealFrontend::poll));
  cancelTimer.timeout.connect(sigc::mem_fun(*this, &RealFrontend::deliverCancelled));
}

RealFrontend::~RealFrontend() {
  playing.reset();  // while this is still the front end that forgets its tune
  setWaiting(false);
  tables.stop();
  dvb_fe_close(parms);
}

unsigned RealFrontend::status() {
  uint32_t s = 0;
  if (dvb_fe_get_stats(parms) != 0) return 0;
  if (dvb_fe_retrieve_stats(parms, DTV_STATUS, &s) != 0) return 0;
  return s;
}

namespace {
Stat stat(dvb_v5_fe_parms* parms, unsigned cmd) {
  Stat s;
  if (const dtv_stats* st = dvb_fe_retrieve_stats_layer(parms, cmd, 0)) {
    s.scale = st->scale;
    s.value = st->scale == FE_SCALE_DECIBEL ? st->svalue : int64_t(std::min<uint64_t>(st->uvalue, INT64_MAX));
  }
  return s;
}
}  // namespace

// dvb_fe_get_stats reads the status and the DVBv5 statistics together, so
// each reading looks at the status it was taken with.
int RealFrontend::SNR() {
  const unsigned s = status();
  return snrReading(stat(parms, DTV_STAT_CNR), s & FE_HAS_CARRIER);
}

int RealFrontend::SignalStrength() {
  const unsigned s = status();
  return strengthReading(stat(parms, DTV_STAT_SIGNAL_STRENGTH), s & FE_HAS_SIGNAL);
}

int RealFrontend::Locked() {
  return (status() & FE_HAS_LOCK) ? 1 : 0;
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
    cancelled.push_back({pending.tp, pending.freqKHz, kCancelled});
    cancelTimer.start(0, true);
  }
  tuned = tp->satellite;
  pending = {tp, tuned.frequency, 0};
  attempt = 0;
  const auto now = Clock::now();
  deadline = now + std::chrono::milliseconds(options.lockTimeoutMs);
  setWaiting(true);
  pollTimer.start(kPollMs, false);
  if (!startAttempt()) pending.err = refusedResult(errno);
  return 0;
}

// Sets the front end for the attempt's delivery system; libdvbv5 turns the
// satellite frequency into the LNB's IF and sets voltage, tone and DiSEqC.
// A refused attempt moves on to the next system; false when none is left.
bool RealFrontend::startAttempt() {
  for (; attempt < systems.size(); ++attempt) {
    const unsigned sys = systems[attempt];
    const auto now = Clock::now();
    // A first try of two gets half the time, the fallback the rest.
    attemptDeadline = attempt + 1 < systems.size() ? now + (deadline - now) / 2 : deadline;
    dvb_set_sys(parms, fe_delivery_system_t(sys));
    dvb_fe_store_parm(parms, DTV_FREQUENCY, uint32_t(tuned.frequency));
    dvb_fe_store_parm(parms, DTV_SYMBOL_RATE, uint32_t(tuned.symbol_rate));
    dvb_fe_store_parm(parms, DTV_POLARIZATION, tuned.polarisation ? POLARIZATION_V : POLARIZATION_H);
    dvb_fe_store_parm(parms, DTV_INNER_FEC, FEC_AUTO);
    dvb_fe_store_parm(parms, DTV_INVERSION, INVERSION_AUTO);
    if (sys == SYS_DVBS2) {
      dvb_fe_store_parm(parms, DTV_MODULATION, QAM_AUTO);
      dvb_fe_store_parm(parms, DTV_ROLLOFF, ROLLOFF_AUTO);
      dvb_fe_store_parm(parms, DTV_PILOT, PILOT_AUTO);
    }
    errno = 0;
    const int r = dvb_fe_set_parms(parms);
    if (r == 0) return true;
    if (errno == 0) errno = r < -1 ? -r : EIO;
  }
  return false;
}

void RealFrontend::poll() {
  if (!pending.tp) {
    pollTimer.stop();
    setWaiting(false);
    return;
  }
  if (pending.err != 0) return answer(pending.err);
  if (status() & FE_HAS_LOCK) {
    lockedSystem = systemName(systems[attempt]);
    return answer(kLocked);
  }
  const auto now = Clock::now();
  if (now < attemptDeadline) return;
  if (attempt + 1 < systems.size()) {
    ++attempt;
    if (!startAttempt()) pending.err = refusedResult(errno);
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
  deliver(a);
}

void RealFrontend::forget(const eTransponder* tp) {
  if (!tp) return;
  if (pending.tp == tp) {
    pending = Answer();
    pollTimer.stop();
    setWaiting(false);
  }
  for (auto it = cancelled.begin(); it != cancelled.end();)
    it = it->tp == tp ? cancelled.erase(it) : std::next(it);
  for (eTransponder*& d : delivering)
    if (d == tp) d = nullptr;
}

void RealFrontend::deliverCancelled() {
  cancelTimer.stop();
  if (cancelled.empty()) return;
  Answer a = cancelled.front();
  cancelled.pop_front();
  if (!cancelled.empty()) cancelTimer.start(0, true);
  deliver(a);
}

void RealFrontend::deliver(const Answer& a) {
  if (a.err == kLocked)
    Trace::event("tuned", {{"freq", a.freqKHz}, {"err", a.err}, {"system", lockedSystem}});
  else
    Trace::event("tuned", {{"freq", a.freqKHz}, {"err", a.err}});
  // As with the simulated band: receivers may run nested loops in which the
  // transponder goes away, and a cancelled tune has no event of its own.
  delivering.push_back(a.tp);
  const size_t mine = delivering.size() - 1;
  tunedIn.emit(a.tp, a.err);
  eTransponder* tp = delivering[mine];
  delivering.pop_back();
  if (a.err == kCancelled) return;
  dvb::emitEvent(eDVBEvent(eDVBEvent::eventTunedIn, a.err, tp));
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
