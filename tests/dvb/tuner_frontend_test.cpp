// The real front end's tuning logic on a scripted device: how tunes are
// answered (lock, time-out, refusal, replaced, forgotten), the DVB-S2 then
// DVB-S tries, the readings, and the main loop following the wall clock only
// while the device is busy.
#include <cerrno>
#include <chrono>
#include <map>
#include <sstream>

#include "box/base/loop.h"
#include "box/dvb/delivery.h"
#include "box/dvb/real/tuner.h"
#include "dvb/dvb_fixture.h"

namespace {

using box::real::Device;
using box::real::Stat;

// Locks on lockKHz once it has been read lockAfter times since its set, with
// the systems in locksWith; refuses what refusals names.
struct FakeDevice : Device {
  std::ostringstream* log = nullptr;
  int lockKHz = 11362000, lockAfter = 2;
  std::map<System, bool> locksWith{{dvbs2, true}, {dvbs, true}};
  std::map<std::pair<int, System>, int> refusals;  // (kHz, system) -> errno
  System system = dvbs;
  int freqKHz = 0, reads = 0;

  int set(System sys, const struct eTransponder::satellite& s) override {
    auto refused = refusals.find({s.frequency, sys});
    *log << "set " << (sys == dvbs2 ? "DVB-S2 " : "DVB-S ") << s.frequency
         << (refused != refusals.end() ? " refused" : "") << "\n";
    if (refused != refusals.end()) return refused->second;
    system = sys;
    freqKHz = s.frequency;
    reads = 0;
    return 0;
  }
  std::string modulation() override { return system == dvbs2 ? "8PSK" : ""; }
  bool read(unsigned* status, Stat* strength, Stat* cnr) override {
    const bool locked = freqKHz == lockKHz && locksWith[system] && ++reads > lockAfter;
    *status = locked ? 0x1f : 0;
    // vidtv's way: a strength in dBm even without signal, a C/N not available.
    *strength = {1, locked ? -34000 : -51000};
    *cnr = locked ? Stat{1, 10000} : Stat{0, 4242};
    return true;
  }
};

class TunerFrontendTest : public DvbTest {
 protected:
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(bandJson(""), &error)) << error;
    sim = eFrontend::frontend;
  }
  void TearDown() override {
    real.reset();
    eFrontend::frontend = sim;
    DvbTest::TearDown();
  }

  // Puts a real front end on a scripted device in place of the simulated one.
  FakeDevice& useReal(const std::string& delsys = "auto", bool offersS2 = true, int timeoutMs = 200,
                      const box::real::Lnb& lnb = box::real::Lnb()) {
    auto device = std::make_unique<FakeDevice>();
    FakeDevice& d = *device;
    d.log = &log;
    box::TunerOptions o;
    o.delsys = delsys;
    o.lockTimeoutMs = timeoutMs;
    real = std::make_unique<box::real::RealFrontend>(std::move(device), -1, o, offersS2, lnb);
    eFrontend::frontend = real.get();
    real->tunedIn.connect([this](eTransponder* tp, int err) {
      log << "answer " << (tp ? tp->satellite.frequency : 0) << " " << err << "\n";
      answeredAt = eApp->now();
    });
    dvbEvents.disconnect();
    dvbEvents =
        eDVB::instance->event.connect([this](const eDVBEvent& e) { log << "event " << e.type << "\n"; });
    return d;
  }

  // Tunes tp to freqKHz; the answer must not come inside the call.
  void tune(eTransponder& tp, int freqKHz) {
    tp.setSatellite(freqKHz, 27500000, 0, 0, 130, 0);
    log << "tune " << freqKHz << "\n";
    ASSERT_EQ(tp.tune(), 0);
    log << "returned\n";
  }

  void settle(int ms = 1000) {
    box::runUntil([] { return !box::deviceWaiting(); }, ms);
    box::wait(1);  // the answers queued behind the last one
  }

  std::ostringstream log;
  sigc::connection dvbEvents;
  int64_t answeredAt = -1;  // box time of the last answer
  std::unique_ptr<box::real::RealFrontend> real;
  eFrontend* sim = nullptr;
};

}  // namespace

TEST_F(TunerFrontendTest, TunesAreAnsweredByLockTimeOutRefusalOrANewerTune) {
  FakeDevice& d = useReal();
  d.refusals[{12000000, Device::dvbs2}] = EINVAL;
  d.refusals[{12000000, Device::dvbs}] = EINVAL;
  d.refusals[{11500000, Device::dvbs2}] = EOPNOTSUPP;
  eTransponder a(*eDVB::instance->getTransponders()), b(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(a, 11362000));
  settle();
  ASSERT_NO_FATAL_FAILURE(tune(a, 11363000));
  settle();
  ASSERT_NO_FATAL_FAILURE(tune(a, 12000000));
  settle();
  // Refused as DVB-S2, tried as DVB-S, which the device takes.
  ASSERT_NO_FATAL_FAILURE(tune(a, 11500000));
  settle();
  // A newer tune replaces one in flight: -125 and no event for it.
  ASSERT_NO_FATAL_FAILURE(tune(a, 11364000));
  ASSERT_NO_FATAL_FAILURE(tune(b, 11362000));
  settle();
  // A forgotten tune is never answered.
  ASSERT_NO_FATAL_FAILURE(tune(a, 11363000));
  real->forget(&a);
  settle();
  EXPECT_FALSE(box::deviceWaiting());
  EXPECT_EQ(
      log.str(),
      "tune 11362000\nset DVB-S2 11362000\nreturned\nanswer 11362000 0\nevent 0\n"
      "tune 11363000\nset DVB-S2 11363000\nreturned\nset DVB-S 11363000\nanswer 11363000 -110\nevent 0\n"
      "tune 12000000\nset DVB-S2 12000000 refused\nset DVB-S 12000000 refused\nreturned\n"
      "answer 12000000 -22\nevent 0\n"
      "tune 11500000\nset DVB-S2 11500000 refused\nset DVB-S 11500000\nreturned\n"
      "answer 11500000 -110\nevent 0\n"
      "tune 11364000\nset DVB-S2 11364000\nreturned\n"
      "tune 11362000\nset DVB-S2 11362000\nreturned\nanswer 11364000 -125\nanswer 11362000 0\nevent 0\n"
      "tune 11363000\nset DVB-S2 11363000\nreturned\n");
}

TEST_F(TunerFrontendTest, ADvbSCarrierLocksOnTheSecondTryWithinTheSameTimeOut) {
  FakeDevice& d = useReal("auto", true, 1000);
  d.locksWith[Device::dvbs2] = false;
  eTransponder tp(*eDVB::instance->getTransponders());
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11362000));
  settle();
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(log.str(),
            "tune 11362000\nset DVB-S2 11362000\nreturned\nset DVB-S 11362000\nanswer 11362000 0\nevent 0\n");
  // The DVB-S2 try has half the time-out; the lock comes right after.
  EXPECT_GE(ms, 500);
  EXPECT_LT(ms, 1000);
}

TEST_F(TunerFrontendTest, DelsysChoosesWhatATuneTries) {
  struct Case {
    const char* delsys;
    bool offersS2;
    const char* tries;
  };
  const Case cases[] = {
      {"dvbs", true, "set DVB-S 11363000\n"},
      {"dvbs2", true, "set DVB-S2 11363000\n"},
      {"auto", false, "set DVB-S 11363000\n"},
      {"auto", true, "set DVB-S2 11363000\nset DVB-S 11363000\n"},
  };
  for (const Case& c : cases) {
    log.str("");
    useReal(c.delsys, c.offersS2, 60);
    eTransponder tp(*eDVB::instance->getTransponders());
    tp.setSatellite(11363000, 27500000, 0, 0, 130, 0);
    ASSERT_EQ(tp.tune(), 0);
    settle();
    EXPECT_EQ(log.str(), std::string(c.tries) + "answer 11363000 -110\nevent 0\n") << c.delsys;
  }
}

TEST_F(TunerFrontendTest, ReadingsCountOnlyWithSignalAndCarrier) {
  useReal();
  eTransponder tp(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11363000));
  settle();
  // Unlocked: vidtv's garbage strength and its C/N "not available" read 0.
  EXPECT_EQ(real->SignalStrength(), 0);
  EXPECT_EQ(real->SNR(), 0);
  EXPECT_EQ(real->Locked(), 0);
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11362000));
  settle();
  // -34 dBm in -80..-20, 10 dB in 0..20.
  std::ostringstream reported;
  box::setReadingListener([&](const box::FrontendReading& r) {
    reported << (r.kind == box::FrontendReading::snr ? "snr " : "strength ") << r.freqKHz << " " << r.srSym
             << " " << r.pol << " " << r.value << (r.locked ? " locked\n" : "\n");
  });
  EXPECT_EQ(real->SignalStrength(), 50243);
  EXPECT_EQ(real->SNR(), 32767);
  EXPECT_EQ(real->peekSNR(), 32767);
  EXPECT_EQ(real->peekSignalStrength(), 50243);
  EXPECT_EQ(real->Locked(), 1);
  box::setReadingListener(nullptr);
  // The run's spectrum gets the plug-in's readings, not the status widget's peeks.
  EXPECT_EQ(reported.str(),
            "strength 11362000 27500000 0 50243 locked\nsnr 11362000 27500000 0 32767 locked\n");
}

TEST_F(TunerFrontendTest, TheClockFollowsTheWallOnlyWhileATuneIsInFlight) {
  useReal("dvbs", true, 300);
  bool fired = false;
  eTimer later(eApp);
  later.timeout.connect([&] { fired = true; });
  later.start(10000, true);
  eTransponder tp(*eDVB::instance->getTransponders());
  const int64_t box0 = eApp->now();
  const auto wall0 = std::chrono::steady_clock::now();
  auto wallMs = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wall0)
        .count();
  };
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11363000));
  EXPECT_TRUE(box::deviceWaiting());
  settle();
  const int64_t boxAtAnswer = answeredAt - box0;
  const int64_t wallAtAnswer = wallMs();
  // The time-out is wall time, and box time kept pace with it (it moves
  // from one poll's deadline to the next, so it may trail by one 10 ms poll).
  EXPECT_GE(wallAtAnswer, 300);
  EXPECT_GE(boxAtAnswer, 300 - 10);
  EXPECT_LE(boxAtAnswer, wallAtAnswer + 20);
  EXPECT_FALSE(fired);
  // Idle again: the 10 s timer comes at once.
  box::runUntil([&] { return fired; }, 20000);
  EXPECT_TRUE(fired);
  EXPECT_LT(wallMs() - wallAtAnswer, 1000);
}

TEST_F(TunerFrontendTest, AFrequencyTheLnbDoesNotReceiveIsNoLockAndTheSweepGoesOn) {
  box::real::Lnb universal;
  ASSERT_TRUE(box::real::findLnb("UNIVERSAL", &universal));
  useReal("auto", true, 5000, universal);
  eTransponder tp(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(tp, 10700000));
  settle(6000);
  EXPECT_LT(answeredAt, 100);
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11362000));
  settle(6000);
  // Never set on the device, answered without waiting for the time-out.
  EXPECT_EQ(log.str(),
            "tune 10700000\nreturned\nanswer 10700000 -110\nevent 0\n"
            "tune 11362000\nset DVB-S2 11362000\nreturned\nanswer 11362000 0\nevent 0\n");
  std::vector<std::string> lnb;
  for (auto e : events("lnb")) {
    e.erase("t");
    lnb.push_back(e.dump());
  }
  EXPECT_EQ(lnb, (std::vector<std::string>{
                     R"({"band":"outside","ev":"lnb","freq":10700000})",
                     R"({"band":"low","ev":"lnb","freq":11362000,"if":1612000,"voltage":18})"}));
}

TEST_F(TunerFrontendTest, ALockKeepsItsDeliverySystemAndModulationForTheServiceList) {
  FakeDevice& d = useReal("auto", true, 400);
  eTransponder s2(*eDVB::instance->getTransponders()), s1(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(s2, 11362000));
  settle();
  d.locksWith[Device::dvbs2] = false;
  s1.setSatellite(11362000, 22000000, 1, 0, 130, 0);
  ASSERT_EQ(s1.tune(), 0);
  settle();
  std::string got;
  for (const eTransponder* tp : {&s2, &s1}) {
    const box::DeliverySystem* found = box::deliverySystem(tp->satellite);
    got += found ? found->system + " " + found->modulation + "\n" : "none\n";
  }
  // DVB-S says nothing of its modulation: it is always QPSK.
  EXPECT_EQ(got, "DVB-S2 8PSK\nDVB-S QPSK\n");
  std::vector<std::string> tuned;
  for (auto e : events("tuned")) {
    e.erase("t");
    tuned.push_back(e.dump());
  }
  EXPECT_EQ(tuned, (std::vector<std::string>{
                       R"({"err":0,"ev":"tuned","freq":11362000,"modulation":"8PSK","system":"DVB-S2"})",
                       R"({"err":0,"ev":"tuned","freq":11362000,"modulation":"QPSK","system":"DVB-S"})"}));
}
