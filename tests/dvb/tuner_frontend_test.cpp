// The real front end's tuning logic on a scripted device and a wall clock
// the test moves: how and when tunes are answered, the DVB-S2 then DVB-S
// tries, the readings, and the loop following the wall only while a tune is
// in flight.
#include <cerrno>
#include <sstream>

#include "box/base/clock.h"
#include "box/dvb/delivery.h"
#include "box/dvb/diseqc.h"
#include "box/dvb/real/tuner.h"
#include "dvb/dvb_fixture.h"

namespace {

// What happened, each device step and answer with the wall time since the
// last tune began, and the box time too where that differs.
std::ostringstream journal;
int64_t wallStart = 0, boxStart = 0;
int askedKHz = 0;  // the satellite frequency of the last tune

std::string since() {
  const int64_t wall = box::wallMs() - wallStart, boxTime = eApp->now() - boxStart;
  return " +" + std::to_string(wall) + (boxTime != wall ? " box +" + std::to_string(boxTime) : "") + ", ";
}

// 11362 MHz locks as either system, 11370 MHz as DVB-S only; both and 11380
// MHz, which never locks, show a carrier. 12000 MHz is refused as either
// system, 11500 MHz as DVB-S2; the switch (its voltage) is refused once after
// refuseSwitch is set. The card is vidtv but for the quirks in the table.
struct FakeDevice : box::real::Device {
  System system = dvbs;
  int freqKHz = 0, srSym = 0;
  int64_t setAt = 0;
  static inline bool refuseSwitch = false;
  static inline std::string quirks;
  static bool is(const char* quirk) { return quirks.find(quirk) != std::string::npos; }

  std::string name() const override { return "fake0"; }
  int setSwitch(const box::real::SwitchSetting& s) override {
    journal << "switch " << (s.voltage18 ? "18V" : "13V") << (s.tone ? " tone" : "") << " port " << s.diseqc
            << (refuseSwitch ? " refused" : "") << ", ";
    return std::exchange(refuseSwitch, false) ? EIO : 0;
  }
  int sendMaster(const std::vector<uint8_t>& m) override {
    journal << "master " << box::diseqcText(m) << ", ";
    return 0;
  }
  int set(const Tuning& t) override {
    if (int err = trouble()) return err;
    const int f = askedKHz;
    const bool refused = f == 12000000 || (f == 11500000 && t.system == dvbs2);
    journal << (t.system == dvbs2 ? "S2" : "S")
            << (t.streamId != ~0U ? " stream " + std::to_string(t.streamId) : "")
            << (refused ? " refused" : "") << since();
    if (refused) return f == 12000000 ? EINVAL : EOPNOTSUPP;
    std::tie(system, freqKHz, srSym, setAt) = std::make_tuple(t.system, f, t.symbolRate, box::wallMs());
    return 0;
  }
  int trouble() const {
    const int64_t t = box::wallMs() - wallStart;
    return is("gone") && t >= 30 ? ENODEV : is("firmware") && t < 150 ? EAGAIN : 0;
  }
  int64_t lockAt() const { return setAt + 20 + (is("slow") ? 4000000000LL / srSym : 0); }
  bool carrier() const { return freqKHz == 11362000 || freqKHz == 11370000 || freqKHz == 11380000; }
  bool locked() const {
    return carrier() && freqKHz != 11380000 && (freqKHz == 11362000 || system == dvbs) &&
           box::wallMs() >= lockAt();
  }
  int status(unsigned* bits) override {
    if (is("holds") && carrier() && box::wallMs() < lockAt()) box::wallSleep(lockAt() - box::wallMs());
    *bits = locked() ? 0x1f : carrier() && !is("lockbits") ? 0x03 : is("signalbit") ? 0x01 : 0;
    return trouble();
  }
  void statistics(box::real::Stat* strength, box::real::Stat* cnr) override {
    const int scale = is("relative") ? 2 : is("none") || is("legacy") ? 0 : 1;
    *strength = {scale, scale == 2 ? 30000 : locked() ? -34000 : -51000};
    *cnr = {locked() ? std::max(scale, is("cnr") ? 1 : 0) : 0, scale == 2 ? 30000 : is("cnr") ? 5000 : 10000};
  }
  bool legacy(Measure m, uint16_t* value) override {
    journal << "legacy " << (m == strength ? "strength, " : "snr, ");
    *value = m == strength ? 16384 : 73;
    return is("legacy");
  }
  bool found(Found* f) override {
    f->modulation = system == dvbs2 ? "8PSK" : "";
    if (is("offset"))
      std::tie(f->tunerKHz, f->system, f->symbolRate, f->fec, f->modulation) =
          std::make_tuple(f->tunerKHz + 1500, dvbs, 27490000, 3, "QPSK");
    return true;
  }
};

class TunerFrontendTest : public DvbTest {
 protected:
  TunerFrontendTest() { language = "C"; }  // the messages as written
  void SetUp() override {
    DvbTest::SetUp();
    journal.str("");
    std::string error;
    ASSERT_TRUE(boot(bandJson(""), &error)) << error;
    ASSERT_TRUE(box::real::findLnb("UNIVERSAL", &universal));
    sim = eFrontend::frontend;
    eDVB::instance->event.connect([this](const eDVBEvent& e) {
      if (!quiet) journal << "event " << e.type << ", ";
    });
  }
  void TearDown() override {
    real.reset();
    eFrontend::frontend = sim;
    DvbTest::TearDown();
  }

  // Puts a real front end on a scripted device in place of the simulated one.
  void useReal(const std::string& delsys = "auto", bool offersS2 = true, int carrierWaitMs = 50,
               int diseqc = -1, uint32_t streamId = ~0U) {
    box::TunerOptions o;
    o.delsys = delsys;
    o.lockTimeoutMs = 200;
    o.carrierWaitMs = carrierWaitMs;
    o.diseqc = diseqc;
    o.streamId = streamId;
    real =
        std::make_unique<box::real::RealFrontend>(std::make_unique<FakeDevice>(), -1, o, offersS2, universal);
    real->tell = [](const std::string& message) { journal << "told " << message << ", "; };
    eFrontend::frontend = real.get();
    real->tunedIn.connect([this](eTransponder* tp, int err) {
      // The trace's "tuned" event goes out just before, with what a lock found.
      journal << "answer " << (tp ? tp->satellite.frequency : 0) << " " << err;
      // As traced: the system asked, what was found (where it was found
      // when that is not what was asked), and " kept" when the kept record
      // says the same.
      auto said = [&](std::string sys, std::string mod, int khz, int sr, int fec) {
        const bool asked = khz == tp->satellite.frequency && sr == tp->satellite.symbol_rate && !fec;
        return sys + "/" + mod +
               (asked ? ""
                      : " at " + std::to_string(khz) + " " + std::to_string(sr) + " " + std::to_string(fec));
      };
      const nlohmann::json& t = trace.back();
      const std::string found = !t.contains("system") ? ""
                                                      : said(t["system"], t["modulation"], t["freq_found"],
                                                             t["symbol_rate_found"], t["inner_fec_found"]);
      if (!found.empty()) journal << " " << t["system_asked"].get<std::string>() << ": " << found;
      if (const box::DeliverySystem* d = err == 0 ? box::deliverySystem(tp->satellite) : nullptr) {
        const std::string kept = said(d->system, d->modulation, d->foundKHz, d->foundSymbolRate, d->fec);
        journal << (kept == found ? " kept" : " kept " + kept);
      }
      journal << since();
    });
  }

  // Tunes tp to freqKHz and runs until no tune is in flight; the answer must
  // not come inside the call. "returned" tells where the LNB put it.
  void tune(eTransponder& tp, int freqKHz, bool settle = true, int pol = 0, int srKs = 27500) {
    tp.setSatellite(askedKHz = freqKHz, srKs * 1000, pol, 0, 130, 0);
    journal << "tune " << freqKHz << ", ";
    std::tie(wallStart, boxStart) = std::make_pair(box::wallMs(), eApp->now());
    const size_t traced = trace.size();
    ASSERT_EQ(tp.tune(), 0);
    if (!quiet) {
      journal << "returned";
      for (auto e = trace.begin() + long(traced); e != trace.end(); ++e)
        if ((*e)["ev"] == "lnb")
          journal << " " << e->value("band", "")
                  << (e->contains("if") ? " " + (*e)["if"].dump() + " " + (*e)["voltage"].dump() + "V" : "");
      journal << ", ";
    }
    if (!settle) return;
    box::runUntil([] { return !box::deviceWaiting(); }, 10000);
    box::wait(1);  // the answers queued behind the last one
  }

  bool quiet = false;  // no "returned", no events
  box::ManualClock wall;
  box::real::Lnb universal;
  std::unique_ptr<box::real::RealFrontend> real;
  eFrontend* sim = nullptr;
};

}  // namespace

TEST_F(TunerFrontendTest, TunesAreAnsweredByLockCarrierWaitTimeOutOrRefusalInTime) {
  // Where no carrier shows within the carrier wait (50 ms here; by default
  // 173 ms at 27500 ksym/s; 0: none) the answer comes then, and no other
  // delivery system is tried. Where one shows, the DVB-S2 try has the whole
  // time-out, then the DVB-S try its own; a refused try leaves the next the
  // whole time. A frequency the LNB does not receive is never set and
  // answered at once, so that a sweep goes on; the user is told. The first
  // tune sets the LNB's supply; 11700 MHz is the high band's first.
  const std::tuple<const char*, bool, int, int, const char*> cases[] = {
      {"auto", true, 50, 10700000,
       "told LNB UNIVERSAL receives 10800-12700 MHz, not 10700 MHz: those tunes find nothing (--lnb EXTENDED "
       "receives from 10700 MHz), returned outside, answer 10700000 -110 +10, event 0, "},
      {"auto", true, 50, 11362000,
       "switch 18V port -1, S2 +0, returned low 1612000 18V, answer 11362000 0 DVB-S2: DVB-S2/8PSK kept +20, "
       "event 0, "},
      {"auto", true, 50, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, answer 11363000 -110 +50, event 0, "},
      {"auto", true, -1, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, answer 11363000 -110 +180, event 0, "},
      {"auto", true, 0, 11363000,
       "switch 18V port -1, S2 +0, returned low 1613000 18V, S +200, answer 11363000 -110 +400, event 0, "},
      {"auto", true, 50, 11370000,
       "switch 18V port -1, S2 +0, returned low 1620000 18V, S +200, answer 11370000 0 DVB-S: DVB-S/QPSK "
       "kept +220, event 0, "},
      {"auto", true, 50, 11380000,
       "switch 18V port -1, S2 +0, returned low 1630000 18V, S +200, answer 11380000 -110 +400, event 0, "},
      {"auto", true, 50, 11700000,
       "switch 18V tone port -1, S2 +0, returned high 1100000 18V, answer 11700000 -110 +50, event 0, "},
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
       "switch 18V port -1, S +0, returned low 1620000 18V, answer 11370000 0 DVB-S: DVB-S/QPSK kept +20, "
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

TEST_F(TunerFrontendTest, RealCardsWaysAreMetReadingsByScaleLocksByTheirSymbolsFindingsKept) {
  // Each card tunes one frequency (the LNB's supply already set, input
  // stream 5 asked for) and is read once after the answer: the statistics
  // only then. Lock time-out 200 ms, 2982 ms at 2000 ksym/s; carrier wait
  // 50 ms. Quirks: no status bit before the lock (lockbits), FE_HAS_SIGNAL
  // always (signalbit); relative, no (none) or only the old (legacy)
  // statistics, with a C/N in dB (cnr); the lock 4 million symbols on
  // (slow); a status read waits for the search (holds); the lock 1500 kHz up
  // as DVB-S 3/4 at 27490 ksym/s (offset); EAGAIN for 150 ms (firmware);
  // ENODEV from 30 ms (gone), which ends the run.
  const std::string s2 = "S2 stream 5 +0, ", locked = "0 DVB-S2: DVB-S2/8PSK kept ",
                    read = "read 50243 32767, ";
  const std::tuple<const char*, int, int, std::string> cases[] = {
      {"lockbits", 27500, 11380000, s2 + "answer 11380000 -110 +50, legacy snr, read 31675 0, "},
      {"signalbit", 27500, 11363000, s2 + "answer 11363000 -110 +50, legacy snr, read 31675 0, "},
      {"relative", 27500, 11362000, s2 + "answer 11362000 " + locked + "+20, read 30000 30000, "},
      {"none", 27500, 11362000,
       s2 + "answer 11362000 " + locked + "+20, legacy strength, legacy snr, read 0 0, "},
      {"legacy", 27500, 11362000,
       s2 + "answer 11362000 " + locked + "+20, legacy strength, legacy snr, read 16384 73, "},
      {"legacy cnr", 27500, 11362000,
       s2 + "answer 11362000 " + locked + "+20, legacy strength, read 16384 16383, "},
      {"slow", 2000, 11362000, s2 + "answer 11362000 " + locked + "+2020, " + read},
      {"slow holds", 2000, 11380000, s2 + "S +2990, answer 11380000 -110 +5980, legacy snr, read 31675 0, "},
      {"offset", 27500, 11362000,
       s2 + "answer 11362000 0 DVB-S2: DVB-S/QPSK at 11363500 27490000 3 kept +20, " + read},
      {"firmware", 27500, 11362000,
       "told fake0: the front end is not ready (is its firmware loaded?); tunes find nothing until it is, S2 "
       "stream 5 +150, answer 11362000 " +
           locked + "+170, " + read},
      {"", 27500, 10700000, "answer 10700000 -110 +10, " + read},  // told once, before
      {"gone", 27500, 11363000,
       s2 + "told fake0: the tuner is gone (unplugged?); the run ends and keeps what it found, answer "
            "11363000 -19 +30, read 0 0, exit 6, "},
  };
  useReal("auto", true, 50, -1, 5);
  eTransponder tp(*eDVB::instance->getTransponders());
  for (int freqKHz : {10700000, 11363000}) ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz));
  quiet = true;
  for (const auto& [quirks, srKs, freqKHz, expected] : cases) {
    FakeDevice::quirks = quirks;
    journal.str("");
    ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz, true, 0, srKs));
    const int v[] = {real->SignalStrength(), real->SNR()};
    journal << "read " << v[0] << " " << v[1] << ", "
            << (box::aborted() ? "exit " + std::to_string(box::abortCode()) + ", " : "");
    EXPECT_EQ(journal.str(), "tune " + std::to_string(freqKHz) + ", " + expected) << quirks;
  }
  FakeDevice::quirks = "";
}

TEST_F(TunerFrontendTest, TheSwitchIsToldOnlyWhatChangesAndAgainAfterARefusalOrAPositionerCommand) {
  useReal("dvbs2", true, 50, 2);
  eTransponder tp(*eDVB::instance->getTransponders());
  std::string told;
  // frequency, polarisation (1 vertical), refuse the switch, before the tune:
  // 9 a positioner's goto, 0-3 a sweep's port, -1 back to the command line's
  const std::tuple<int, int, bool, int> tunes[] = {
      {11362000, 0, false, -2}, {11363000, 0, false, -2}, {11363000, 1, false, -2}, {11900000, 1, true, -2},
      {11900000, 1, false, -2}, {11950000, 1, false, -2}, {10700000, 0, false, -2}, {11950000, 1, false, -2},
      {11950000, 1, false, 9},  {11950000, 1, false, -2}, {11950000, 1, false, 1},  {11950000, 1, false, 1},
      {11950000, 1, false, -1}};
  for (const auto& [freqKHz, pol, refuse, before] : tunes) {
    journal.str("");
    FakeDevice::refuseSwitch = refuse;
    if (before == 9) real->sendDiseqc(box::usalsGoto(-43.38));
    if (before >= -1 && before < 9) real->selectPort(before);
    ASSERT_NO_FATAL_FAILURE(tune(tp, freqKHz, true, pol));
    const std::string j = journal.str();
    if (j.find("master") != std::string::npos) told += j.substr(j.find("master"), 21) + "; ";
    const size_t at = j.find("switch");
    told += at == std::string::npos ? "-; " : j.substr(at, j.find(", ", at) - at) + "; ";
  }
  EXPECT_EQ(told,
            "switch 18V port 2; -; switch 13V port 2; switch 13V tone port 2 refused; switch 13V tone port "
            "2; -; -; -; master E0 31 6E D2 B6; switch 13V tone port 2; -; switch 13V tone port 1; -; "
            "switch 13V tone port 2; ");
}

TEST_F(TunerFrontendTest, ANewerTuneReplacesOneInFlightAForgottenOneIsNeverAnsweredReadingsGoByScale) {
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
  // dBm in -80..-20, 10 dB in 0..20; unlocked, the strength's -51 dBm counts
  // without a lock and the C/N "not available" reads 0. The run's spectrum
  // gets the plug-in's readings, not the status widget's peeks.
  EXPECT_EQ(journal.str(),
            "tune 11364000, switch 18V port -1, S2 +0, returned low 1614000 18V, tune 11362000, S2 +0, "
            "returned low 1612000 18V, "
            "answer 11364000 -125 +0, answer 11362000 0 DVB-S2: DVB-S2/8PSK kept +20, "
            "event 0, strength 11362000 27500000 0 50243 locked, snr 11362000 27500000 0 32767 "
            "locked, read 50243 32767 50243 32767 1, tune 11363000, S2 +0, returned low 1613000 "
            "18V, strength 11363000 27500000 0 31675, legacy snr, snr 11363000 27500000 0 0, "
            "legacy snr, read 31675 0 31675 0 0, ");
}
