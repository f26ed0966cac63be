// The real front end's tuning logic on a scripted device and a wall clock
// the test moves: how tunes are answered (lock, time-out, refusal, replaced,
// forgotten) and when, the DVB-S2 then DVB-S tries, the readings, and the
// main loop following the wall clock only while the device is busy.
#include <cerrno>
#include <map>
#include <set>
#include <sstream>

#include "box/base/clock.h"
#include "box/dvb/delivery.h"
#include "box/dvb/real/tuner.h"
#include "dvb/dvb_fixture.h"

namespace {

using box::real::Device;
using box::real::Stat;

// What happened, each device step and answer with the wall time since the
// last tune began.
std::ostringstream journal;
int64_t tuneStart = 0;

std::string since() {
  return " +" + std::to_string(box::wallMs() - tuneStart) + "\n";
}

// A carrier shows signal and carrier at once and locks 20 ms (wall clock)
// after a set with a system it locks with. 12000 MHz is refused as
// either system, 11500 MHz as DVB-S2.
struct FakeDevice : Device {
  std::map<int, std::set<System>> carriers{{11362000, {dvbs2, dvbs}}, {11370000, {dvbs}}};
  System system = dvbs;
  int freqKHz = 0;
  int64_t setAt = 0;

  int set(System sys, const struct eTransponder::satellite& s) override {
    const bool refused = s.frequency == 12000000 || (s.frequency == 11500000 && sys == dvbs2);
    journal << "set " << (sys == dvbs2 ? "DVB-S2 " : "DVB-S ") << s.frequency << (refused ? " refused" : "")
            << since();
    if (refused) return s.frequency == 12000000 ? EINVAL : EOPNOTSUPP;
    std::tie(system, freqKHz, setAt) = std::make_tuple(sys, s.frequency, box::wallMs());
    return 0;
  }
  std::string modulation() override { return system == dvbs2 ? "8PSK" : ""; }
  bool read(unsigned* status, Stat* strength, Stat* cnr) override {
    const bool carrier = carriers.count(freqKHz),
               locked = carrier && carriers[freqKHz].count(system) && box::wallMs() - setAt >= 20;
    *status = locked ? 0x1f : carrier ? 0x03 : 0;
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
    journal.str("");
    std::string error;
    ASSERT_TRUE(boot(bandJson(""), &error)) << error;
    sim = eFrontend::frontend;
    dvbEvents =
        eDVB::instance->event.connect([](const eDVBEvent& e) { journal << "event " << e.type << "\n"; });
  }
  void TearDown() override {
    dvbEvents.disconnect();
    real.reset();
    eFrontend::frontend = sim;
    DvbTest::TearDown();
  }

  // Puts a real front end on a scripted device in place of the simulated one.
  void useReal(const std::string& delsys = "auto", bool offersS2 = true, int timeoutMs = 200,
               const box::real::Lnb& lnb = box::real::Lnb()) {
    box::TunerOptions o;
    o.delsys = delsys;
    o.lockTimeoutMs = timeoutMs;
    real = std::make_unique<box::real::RealFrontend>(std::make_unique<FakeDevice>(), -1, o, offersS2, lnb);
    eFrontend::frontend = real.get();
    real->tunedIn.connect([this](eTransponder* tp, int err) {
      journal << "answer " << (tp ? tp->satellite.frequency : 0) << " " << err;
      if (const box::DeliverySystem* d = err == 0 ? box::deliverySystem(tp->satellite) : nullptr)
        journal << " " << d->system << " " << d->modulation;
      journal << since();
      answeredAt = eApp->now();
    });
  }

  // Tunes tp to freqKHz and runs until no tune is in flight; the answer must
  // not come inside the call.
  void tune(eTransponder& tp, int freqKHz, bool settle = true) {
    tp.setSatellite(freqKHz, 27500000, 0, 0, 130, 0);
    journal << "tune " << freqKHz << "\n";
    tuneStart = box::wallMs();
    ASSERT_EQ(tp.tune(), 0);
    journal << "returned\n";
    if (!settle) return;
    box::runUntil([] { return !box::deviceWaiting(); }, 10000);
    box::wait(1);  // the answers queued behind the last one
  }

  box::ManualClock wall;
  sigc::connection dvbEvents;
  int64_t answeredAt = -1;  // box time
  std::unique_ptr<box::real::RealFrontend> real;
  eFrontend* sim = nullptr;
};

}  // namespace

TEST_F(TunerFrontendTest, TunesAreAnsweredByLockTimeOutRefusalOrANewerTuneInTime) {
  useReal();
  eTransponder a(*eDVB::instance->getTransponders()), b(*eDVB::instance->getTransponders());
  for (int freqKHz : {11362000, 11363000, 11370000, 12000000, 11500000})
    ASSERT_NO_FATAL_FAILURE(tune(a, freqKHz));
  ASSERT_NO_FATAL_FAILURE(tune(a, 11364000, false));
  ASSERT_NO_FATAL_FAILURE(tune(b, 11362000));
  ASSERT_NO_FATAL_FAILURE(tune(a, 11363000, false));
  real->forget(&a);
  box::wait(1000);
  EXPECT_FALSE(box::deviceWaiting());
  // The DVB-S2 try has half the time-out, the DVB-S try the rest; a refused
  // try leaves the next the whole time. A newer tune replaces one in flight:
  // -125 and no event for it. A forgotten tune is never answered.
  EXPECT_EQ(journal.str(),
            "tune 11362000\nset DVB-S2 11362000 +0\nreturned\nanswer 11362000 0 DVB-S2 8PSK +20\nevent 0\n"
            "tune 11363000\nset DVB-S2 11363000 +0\nreturned\nset DVB-S 11363000 +100\n"
            "answer 11363000 -110 +200\nevent 0\n"
            "tune 11370000\nset DVB-S2 11370000 +0\nreturned\nset DVB-S 11370000 +100\n"
            "answer 11370000 0 DVB-S QPSK +120\nevent 0\n"
            "tune 12000000\nset DVB-S2 12000000 refused +0\nset DVB-S 12000000 refused +0\nreturned\n"
            "answer 12000000 -22 +10\nevent 0\n"
            "tune 11500000\nset DVB-S2 11500000 refused +0\nset DVB-S 11500000 +0\nreturned\n"
            "answer 11500000 -110 +200\nevent 0\n"
            "tune 11364000\nset DVB-S2 11364000 +0\nreturned\n"
            "tune 11362000\nset DVB-S2 11362000 +0\nreturned\nanswer 11364000 -125 +0\n"
            "answer 11362000 0 DVB-S2 8PSK +20\nevent 0\n"
            "tune 11363000\nset DVB-S2 11363000 +0\nreturned\n");
  std::string traced;
  for (const auto& e : events("tuned"))
    if (e.contains("system"))
      traced += e["system"].get<std::string>() + " " + e["modulation"].get<std::string>() + "\n";
  EXPECT_EQ(traced, "DVB-S2 8PSK\nDVB-S QPSK\nDVB-S2 8PSK\n");
}

TEST_F(TunerFrontendTest, DelsysChoosesWhatATuneTries) {
  struct Case {
    const char* delsys;
    bool offersS2;
    const char* tries;
  } const cases[] = {
      {"dvbs", true, "set DVB-S 11363000 +0\nreturned\n"},
      {"dvbs2", true, "set DVB-S2 11363000 +0\nreturned\n"},
      {"auto", false, "set DVB-S 11363000 +0\nreturned\n"},
      {"auto", true, "set DVB-S2 11363000 +0\nreturned\nset DVB-S 11363000 +30\n"},
  };
  for (const Case& c : cases) {
    journal.str("");
    useReal(c.delsys, c.offersS2, 60);
    eTransponder tp(*eDVB::instance->getTransponders());
    ASSERT_NO_FATAL_FAILURE(tune(tp, 11363000));
    EXPECT_EQ(journal.str(), "tune 11363000\n" + std::string(c.tries) + "answer 11363000 -110 +60\nevent 0\n")
        << c.delsys;
  }
}

TEST_F(TunerFrontendTest, ReadingsCountOnlyWithSignalAndCarrier) {
  useReal();
  std::ostringstream got;
  box::setReadingListener([&](const box::FrontendReading& r) {
    got << (r.kind == box::FrontendReading::snr ? "reported snr " : "reported strength ") << r.freqKHz << " "
        << r.srSym << " " << r.pol << " " << r.value << (r.locked ? " locked\n" : "\n");
  });
  eTransponder tp(*eDVB::instance->getTransponders());
  // Unlocked: vidtv's garbage strength and its C/N "not available" read 0;
  // locked: -34 dBm in -80..-20, 10 dB in 0..20. The run's spectrum gets the
  // plug-in's readings, not the status widget's peeks.
  for (int freqKHz : {11363000, 11362000}) {
    ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz));
    const int read[] = {real->SignalStrength(), real->SNR(), real->peekSignalStrength(), real->peekSNR(),
                        real->Locked()};
    for (int v : read) got << v << " ";
    got << "\n";
  }
  box::setReadingListener(nullptr);
  EXPECT_EQ(got.str(),
            "reported strength 11363000 27500000 0 0\nreported snr 11363000 27500000 0 0\n0 0 0 0 0 \n"
            "reported strength 11362000 27500000 0 50243 locked\n"
            "reported snr 11362000 27500000 0 32767 locked\n50243 32767 50243 32767 1 \n");
}

TEST_F(TunerFrontendTest, TheLoopFollowsTheWallOnlyWhileATuneIsInFlight) {
  useReal("dvbs", true, 300);
  int64_t firedAt = -1, wallAtFire = -1;
  eTimer later(eApp);
  later.timeout.connect([&] { firedAt = eApp->now(), wallAtFire = box::wallMs(); });
  const int64_t box0 = eApp->now();
  later.start(10000, true);
  eTransponder tp(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11363000, false));
  box::runUntil([&] { return firedAt >= 0; }, 20000);
  // The time-out is on the wall, and box time kept pace with it; idle again,
  // box time jumps to the 10 s timer while the wall stands.
  EXPECT_EQ(journal.str(),
            "tune 11363000\nset DVB-S 11363000 +0\nreturned\nanswer 11363000 -110 +300\nevent 0\n");
  EXPECT_EQ((std::vector<int64_t>{answeredAt - box0, firedAt - box0, wallAtFire}),
            (std::vector<int64_t>{300, 10000, 300}));
}

TEST_F(TunerFrontendTest, AFrequencyTheLnbDoesNotReceiveIsNoLockAndTheSweepGoesOn) {
  box::real::Lnb universal;
  ASSERT_TRUE(box::real::findLnb("UNIVERSAL", &universal));
  useReal("auto", true, 5000, universal);
  eTransponder tp(*eDVB::instance->getTransponders());
  ASSERT_NO_FATAL_FAILURE(tune(tp, 10700000));
  ASSERT_NO_FATAL_FAILURE(tune(tp, 11362000));
  // Never set on the device, answered without waiting for the time-out.
  EXPECT_EQ(journal.str(),
            "tune 10700000\nreturned\nanswer 10700000 -110 +10\nevent 0\n"
            "tune 11362000\nset DVB-S2 11362000 +0\nreturned\nanswer 11362000 0 DVB-S2 8PSK +20\nevent 0\n");
  std::string lnb;
  for (auto e : events("lnb")) lnb += (e.erase("t"), e.dump()) + "\n";
  EXPECT_EQ(lnb,
            "{\"band\":\"outside\",\"ev\":\"lnb\",\"freq\":10700000}\n"
            "{\"band\":\"low\",\"ev\":\"lnb\",\"freq\":11362000,\"if\":1612000,\"voltage\":18}\n");
}
