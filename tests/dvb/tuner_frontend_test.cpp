// The real front end's tuning logic on a scripted device and a wall clock
// the test moves: how and when tunes are answered, the DVB-S2 then DVB-S
// tries, the readings, and the loop following the wall only while a tune is
// in flight.
#include <cerrno>
#include <sstream>

#include "box/base/clock.h"
#include "box/dvb/delivery.h"
#include "box/dvb/real/tuner.h"
#include "dvb/dvb_fixture.h"

namespace {

// What happened, each device step and answer with the wall time since the
// last tune began, and the box time too where that differs.
std::ostringstream journal;
int64_t wallStart = 0, boxStart = 0;

std::string since() {
  const int64_t wall = box::wallMs() - wallStart, boxTime = eApp->now() - boxStart;
  return " +" + std::to_string(wall) + (boxTime != wall ? " box +" + std::to_string(boxTime) : "") + ", ";
}

// 11362 MHz locks as either system, 11370 MHz as DVB-S only, 20 ms (wall
// clock) after the set; both and 11380 MHz, which never locks, show signal
// and carrier at once. 12000 MHz is refused as either system, 11500 MHz as
// DVB-S2; the switch is refused once after refuseSwitch is set.
struct FakeDevice : box::real::Device {
  System system = dvbs;
  int freqKHz = 0;
  int64_t setAt = 0;
  static inline bool refuseSwitch = false;

  int setSwitch(const box::real::SwitchSetting& s) override {
    journal << "switch " << (s.voltage18 ? "18V" : "13V") << (s.tone ? " tone" : "") << " port " << s.diseqc
            << (refuseSwitch ? " refused" : "") << ", ";
    return std::exchange(refuseSwitch, false) ? EIO : 0;
  }
  int set(System sys, uint32_t, const struct eTransponder::satellite& s) override {
    const bool refused = s.frequency == 12000000 || (s.frequency == 11500000 && sys == dvbs2);
    journal << (sys == dvbs2 ? "S2" : "S") << (refused ? " refused" : "") << since();
    if (refused) return s.frequency == 12000000 ? EINVAL : EOPNOTSUPP;
    std::tie(system, freqKHz, setAt) = std::make_tuple(sys, s.frequency, box::wallMs());
    return 0;
  }
  std::string modulation() override { return system == dvbs2 ? "8PSK" : ""; }
  bool read(unsigned* status, box::real::Stat* strength, box::real::Stat* cnr) override {
    const bool carrier = freqKHz == 11362000 || freqKHz == 11370000 || freqKHz == 11380000;
    const bool locked = carrier && freqKHz != 11380000 && (freqKHz == 11362000 || system == dvbs) &&
                        box::wallMs() - setAt >= 20;
    *status = locked ? 0x1f : carrier ? 0x03 : 0;
    // vidtv's way: a strength in dBm even without signal, a C/N not available.
    *strength = {1, locked ? -34000 : -51000};
    *cnr = {locked ? 1 : 0, locked ? 10000 : 4242};
    return true;
  }
};

class TunerFrontendTest : public DvbTest {
 protected:
  void SetUp() override {
    DvbTest::SetUp();
    journal.str("");
    std::string error;
    ASSERT_TRUE(boot(bandJson(""), &error)) << error;
    ASSERT_TRUE(box::real::findLnb("UNIVERSAL", &universal));
    sim = eFrontend::frontend;
    eDVB::instance->event.connect([](const eDVBEvent& e) { journal << "event " << e.type << ", "; });
  }
  void TearDown() override {
    real.reset();
    eFrontend::frontend = sim;
    DvbTest::TearDown();
  }

  // Puts a real front end on a scripted device in place of the simulated one.
  void useReal(const std::string& delsys = "auto", bool offersS2 = true, int carrierWaitMs = 50,
               int diseqc = -1) {
    box::TunerOptions o;
    o.delsys = delsys;
    o.lockTimeoutMs = 200;
    o.carrierWaitMs = carrierWaitMs;
    o.diseqc = diseqc;
    real =
        std::make_unique<box::real::RealFrontend>(std::make_unique<FakeDevice>(), -1, o, offersS2, universal);
    eFrontend::frontend = real.get();
    real->tunedIn.connect([this](eTransponder* tp, int err) {
      // The trace's "tuned" event goes out just before, with what a lock found.
      journal << "answer " << (tp ? tp->satellite.frequency : 0) << " " << err;
      if (trace.back().contains("system"))
        journal << " " << trace.back()["system"].get<std::string>() << "/"
                << trace.back()["modulation"].get<std::string>();
      if (const box::DeliverySystem* d = err == 0 ? box::deliverySystem(tp->satellite) : nullptr)
        journal << " kept " << d->system << "/" << d->modulation;
      journal << since();
    });
  }

  // Tunes tp to freqKHz and runs until no tune is in flight; the answer must
  // not come inside the call. "returned" tells where the LNB put it.
  void tune(eTransponder& tp, int freqKHz, bool settle = true, int pol = 0) {
    tp.setSatellite(freqKHz, 27500000, pol, 0, 130, 0);
    journal << "tune " << freqKHz << ", ";
    std::tie(wallStart, boxStart) = std::make_pair(box::wallMs(), eApp->now());
    const size_t traced = trace.size();
    ASSERT_EQ(tp.tune(), 0);
    journal << "returned";
    for (auto e = trace.begin() + long(traced); e != trace.end(); ++e)
      if ((*e)["ev"] == "lnb")
        journal << " " << e->value("band", "")
                << (e->contains("if") ? " " + (*e)["if"].dump() + " " + (*e)["voltage"].dump() + "V" : "");
    journal << ", ";
    if (!settle) return;
    box::runUntil([] { return !box::deviceWaiting(); }, 10000);
    box::wait(1);  // the answers queued behind the last one
  }

  box::ManualClock wall;
  box::real::Lnb universal;
  std::unique_ptr<box::real::RealFrontend> real;
  eFrontend* sim = nullptr;
};

}  // namespace

TEST_F(TunerFrontendTest, TunesAreAnsweredByLockCarrierWaitTimeOutOrRefusalInTime) {
  // Where no carrier shows within the carrier wait (50 ms here; by default
  // 173 ms at 27500 ksym/s; 0: none) the answer comes then, and no other
  // delivery system is tried. Where one shows, the DVB-S2 try has half the
  // time-out, the DVB-S try the rest; a refused try leaves the next the whole
  // time. A frequency the LNB does not receive is never set and answered at
  // once, so that a sweep goes on. The first tune sets the LNB's supply.
  const std::tuple<const char*, bool, int, int, const char*> cases[] = {
      {"auto", true, 50, 10700000, "returned outside, answer 10700000 -110 +10, event 0, "},
      {"auto", true, 50, 11362000,
       "switch 18V port -1, S2 +0, returned low 1612000 18V, answer 11362000 0 DVB-S2/8PSK kept DVB-S2/8PSK "
       "+20, event 0, "},
      {"auto", true, 50, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, answer 11363000 -110 +50, event 0, "},
      {"auto", true, -1, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, answer 11363000 -110 +180, event 0, "},
      {"auto", true, 0, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, S +100, answer 11363000 -110 +200, event 0, "},
      {"auto", true, 50, 11370000,
       "switch 18V port -1, S2 +0, returned low 1620000 18V, S +100, answer 11370000 0 DVB-S/QPSK kept "
       "DVB-S/QPSK +120, event 0, "},
      {"auto", true, 50, 11380000,
       "switch 18V port -1, S2 +0, returned low 1630000 18V, S +100, answer 11380000 -110 +200, event 0, "},
      {"auto", true, 50, 12000000,
       "switch 18V tone port -1, S2 refused +0, S refused +0, returned high 1400000 18V, answer 12000000 -22 "
       "+10, event 0, "},
      {"auto", true, 50, 11500000,
       "switch 18V port -1, S2 refused +0, S +0, returned low 1750000 18V, answer 11500000 -110 +50, event "
       "0, "},
      {"dvbs", true, 50, 11363000,
       "switch 18V port -1, S +0, returned low 1613000 18V, answer 11363000 -110 +50, event 0, "},
      {"dvbs2", true, 50, 11380000,
       "switch 18V port -1, S2 +0, returned low 1630000 18V, answer 11380000 -110 +200, event 0, "},
      {"auto", false, 50, 11370000,
       "switch 18V port -1, S +0, returned low 1620000 18V, answer 11370000 0 DVB-S/QPSK kept DVB-S/QPSK "
       "+20, "
       "event 0, "},
  };
  for (const auto& [delsys, offersS2, carrierWaitMs, freqKHz, expected] : cases) {
    journal.str("");
    useReal(delsys, offersS2, carrierWaitMs);
    eTransponder tp(*eDVB::instance->getTransponders());
    ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz));
    EXPECT_EQ(journal.str(), "tune " + std::to_string(freqKHz) + ", " + expected)
        << delsys << " " << carrierWaitMs;
  }
}

TEST_F(TunerFrontendTest, TheSwitchIsToldOnlyWhatChangesAndAgainAfterARefusal) {
  useReal("dvbs2", true, 50, 2);
  eTransponder tp(*eDVB::instance->getTransponders());
  std::string told;
  // frequency, polarisation (1 vertical), refuse the switch
  const std::tuple<int, int, bool> tunes[] = {
      {11362000, 0, false}, {11363000, 0, false}, {11363000, 1, false}, {11900000, 1, true},
      {11900000, 1, false}, {11950000, 1, false}, {10700000, 0, false}, {11950000, 1, false}};
  for (const auto& [freqKHz, pol, refuse] : tunes) {
    journal.str("");
    FakeDevice::refuseSwitch = refuse;
    ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz, true, pol));
    const std::string j = journal.str();
    const size_t at = j.find("switch");
    told += at == std::string::npos ? "-; " : j.substr(at, j.find(", ", at) - at) + "; ";
  }
  EXPECT_EQ(told,
            "switch 18V port 2; -; switch 13V port 2; switch 13V tone port 2 refused; switch 13V tone port "
            "2; -; -; -; ");
}

TEST_F(TunerFrontendTest, ANewerTuneReplacesOneInFlightAForgottenOneIsNeverAnsweredAndReadingsNeedALock) {
  useReal();
  box::setReadingListener([](const box::FrontendReading& r) {
    journal << (r.kind == box::FrontendReading::snr ? "snr " : "strength ") << r.freqKHz << " " << r.srSym
            << " " << r.pol << " " << r.value << (r.locked ? " locked, " : ", ");
  });
  auto read = [this] {
    const int v[] = {real->SignalStrength(), real->SNR(), real->peekSignalStrength(), real->peekSNR(),
                     real->Locked()};
    journal << "read " << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << " " << v[4] << ", ";
  };
  eTransponder a(*eDVB::instance->getTransponders()), b(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(a, 11364000, false));
  ASSERT_NO_FATAL_FAILURE(tune(b, 11362000));
  read();
  ASSERT_NO_FATAL_FAILURE(tune(a, 11363000, false));
  real->forget(&a);
  const int64_t wall0 = box::wallMs();
  box::wait(10000);
  read();
  box::setReadingListener(nullptr);
  // Idle again, box time jumps on while the wall stands.
  EXPECT_EQ(std::make_pair(box::deviceWaiting(), box::wallMs() - wall0), std::make_pair(false, int64_t(0)));
  // The replaced tune's answer, -125, has no event of its own. Locked: -34
  // dBm in -80..-20, 10 dB in 0..20; unlocked, vidtv's garbage strength and
  // its C/N "not available" read 0. The run's spectrum gets the plug-in's
  // readings, not the status widget's peeks.
  EXPECT_EQ(journal.str(),
            "tune 11364000, switch 18V port -1, S2 +0, returned low 1614000 18V, tune 11362000, S2 +0, "
            "returned low 1612000 18V, "
            "answer 11364000 -125 +0, answer 11362000 0 DVB-S2/8PSK kept DVB-S2/8PSK +20, event 0, "
            "strength 11362000 27500000 0 50243 locked, snr 11362000 27500000 0 32767 locked, "
            "read 50243 32767 50243 32767 1, tune 11363000, S2 +0, returned low 1613000 18V, "
            "strength 11363000 27500000 0 0, snr 11363000 27500000 0 0, read 0 0 0 0 0, ");
}
