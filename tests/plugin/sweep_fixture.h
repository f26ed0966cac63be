#pragma once
// A booted box with its DVB layer, and a front end whose answers a test
// scripts exactly: which frequencies lock, time out or get cancelled, and
// what SNR and signal strength each one reads.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "box/dvb/boot.h"
#include "box/dvb/state.h"
#include "gui/gui_fixture.h"
#include "host/decoder.h"
#include "host/dvb.h"
#include "host/einit.h"
#include "host/emessage.h"
#include "host/frontend.h"
#include "host/rc.h"
#include "host/service.h"
#include "plugin/plugin_support.h"
#include "sweep/scan4transp.h"
#include "test_dir.h"

// Answers each tune 50 ms later as the box's own front end does: the
// tuning result, then (unless the tune was cancelled) the DVB event of type 0.
// Results go to the box's trace ("tuned") and the plug-in's readings to the
// test's ("read"), so that a test sees them in order among the host calls.
class ScriptedFrontend : public eFrontend {
 public:
  struct Tune {
    int64_t at;  // box time of the tune
    int freqMHz, srKs, pol;
  };

  // By tuned frequency in MHz: the tuning result and the strength; the SNR
  // also by the number of SNR reads since the result came.
  std::function<int(int)> result = [](int) { return -110; };
  std::function<int(int, int)> snr = [](int, int) { return 0; };
  std::function<int(int)> strength = [](int) { return 0; };
  // A host that sends the DVB event first, a cancelled tune's too.
  bool eventFirst = false;

  std::vector<Tune> tunes;
  std::vector<int64_t> answers;  // box time of each result delivered

  std::vector<nlohmann::json>* log = nullptr;  // where readings are noted

  int SNR() override {
    note("snr");
    return snr(tunedMHz, snrReads++);
  }
  int SignalStrength() override {
    note("strength");
    return strength(tunedMHz);
  }
  // Only the sweep window's status widget asks, right after reading SNR and
  // strength: those two readings were the box's, not the plug-in's.
  int Locked() override {
    auto isRead = [this](size_t i, const char* what) {
      return (*log)[i].value("ev", "") == "read" && (*log)[i].value("what", "") == what;
    };
    const size_t n = log ? log->size() : 0;
    if (n >= 2 && isRead(n - 2, "snr") && isRead(n - 1, "strength")) {
      log->resize(n - 2);
      --snrReads;
    }
    return lastErr == 0;
  }
  int tune(eTransponder* tp) override {
    tunedMHz = tp->satellite.frequency / 1000;
    tunedKHz = tp->satellite.frequency;
    tunes.push_back({eApp->now(), tunedMHz, tp->satellite.symbol_rate / 1000, tp->satellite.polarisation});
    pending = tp;  // a tune in flight is simply replaced
    answer.start(50, true);
    return 0;
  }

  ScriptedFrontend() {
    answer.timeout.connect([this] {
      eTransponder* tp = pending;
      pending = nullptr;
      // A receiver may tune again from within the result (a whole scan):
      // what follows belongs to this answer.
      const int err = lastErr = result(tunedMHz);
      snrReads = 0;
      answers.push_back(eApp->now());
      auto dvbEvent = [&] {
        if (eDVB::getInstance()) box::dvb::emitEvent(eDVBEvent(eDVBEvent::eventTunedIn, err, tp));
      };
      if (eventFirst) dvbEvent();
      box::Trace::event("tuned", {{"freq", tunedKHz}, {"err", err}});
      tunedIn.emit(tp, err);
      if (!eventFirst && err != -125) dvbEvent();
    });
  }

  void note(const char* what) {
    if (log) log->push_back({{"t", eApp->now()}, {"ev", "read"}, {"what", what}});
  }

 private:
  eTimer answer{eApp};
  eTransponder* pending = nullptr;
  int tunedMHz = 0, tunedKHz = 0;
  int lastErr = -110;
  int snrReads = 0;
};

class SweepTest : public GuiTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    dir = vantrel_test::testDir();
    // Its timer runs on the main loop that the GUI has just brought up.
    fe = std::make_unique<ScriptedFrontend>();
    fe->log = &trace;
    box::DvbOptions options;
    options.bandFile = band();
    options.serviceList = "";  // nothing kept between tests
    std::string error;
    ASSERT_TRUE(box::bootDvb(options, &error)) << error;
    simulated = eFrontend::frontend;
    eFrontend::frontend = fe.get();
    box::Trace::addObserver(&SweepTest::notePlaying, this);
    // The last percentage sent to a progress bar outlives its window by
    // design, so every test starts from one it knows: a sweep whose one step
    // is all of it leaves 100.
    ASSERT_NO_FATAL_FAILURE(sweep("10700", "10700", "00001", "27500", 0));
    ASSERT_EQ(endMessages, 1);
    box::wait(1000);  // the answer to the tune that gave back what played
    endMessages = 0;
    fe->tunes.clear();
    fe->answers.clear();
    trace.clear();
  }
  // The band booted at the start: "" for the demo band.
  virtual std::string band() { return ""; }
  void TearDown() override {
    box::Trace::removeObserver(&SweepTest::notePlaying, this);
    eFrontend::frontend = simulated;
    box::shutdownDvb();
    fe.reset();
    Decoder::locked = 0;
    GuiTest::TearDown();
  }

  // A band file in the test's own folder; the scripted front end answers the
  // tunes, so only the playing service and the orbital position matter.
  std::string writeBand(const std::string& name, bool playing) {
    const std::string path = (dir / (name + ".json")).string();
    std::ofstream out(path);
    out << R"({"name": "Test", "orbital_position": 192, )";
    if (playing)
      out << R"("playing": {"frequency_mhz": 11766, "polarisation": "H", "symbol_rate_ks": 27500, "fec": 3,
                            "service": "Canale Test"}, )";
    out << R"("carriers": [{"frequency_mhz": 11766, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 10,
                            "system": "DVB-S", "services": [{"name": "Canale Test", "provider": "Prova"}]}]})";
    return path;
  }

  // Runs one sweep window modally as the dialog does. When the end-of-band
  // message shows, atEndMessage runs, then the message is confirmed and
  // "Annulla" pressed, unless the test has its own plan (leaveAtEnd false).
  void sweep(const char* start, const char* end, const char* step, const char* sr, int pol,
             bool leaveAtEnd = true) {
    window = new scan4transp(start, end, step, sr, pol);
    eTimer watch(eApp);
    const int64_t giveUpAt = eApp->now() + 3600 * 1000;
    const int messagesBefore = endMessages;
    watch.timeout.connect([this, leaveAtEnd, giveUpAt, messagesBefore] {
      if (eApp->now() > giveUpAt) {
        ADD_FAILURE() << "the sweep did not end within an hour of box time";
        return box::abortAll(5);
      }
      // Like a user: confirm the message, then a moment later "Annulla".
      if (dynamic_cast<eMessageBox*>(box::Screen::instance().activeWindow())) {
        if (++endMessages == messagesBefore + 1 && atEndMessage) atEndMessage();
        if (leaveAtEnd) press(rc::ok);
      } else if (endMessages > messagesBefore && leaveAtEnd) {
        press(rc::red);
      }
    });
    watch.start(1000, false);
    window->show();
    window->exec();
    watch.stop();
    window->hide();
    delete window;
    window = nullptr;
  }

  std::filesystem::path dir;  // the test's own folder
  std::unique_ptr<ScriptedFrontend> fe;
  eFrontend* simulated = nullptr;
  scan4transp* window = nullptr;
  int endMessages = 0;
  std::function<void()> atEndMessage;

 private:
  // A play line also tells what the player held as playing when it was asked.
  static void notePlaying(const nlohmann::json& line, void* self) {
    auto* test = static_cast<SweepTest*>(self);
    if (line.value("ev", "") == "play" && !test->trace.empty())
      test->trace.back()["before"] = eServiceInterface::getInstance()->service.type;
  }
};
