#pragma once
// A booted box with its DVB layer, and a front end whose answers a test
// scripts exactly: which frequencies lock, time out or get cancelled, and
// what SNR and signal strength each one reads.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "box/dvb/boot.h"
#include "gui/gui_fixture.h"
#include "host/dvb.h"
#include "host/einit.h"
#include "host/emessage.h"
#include "host/frontend.h"
#include "host/rc.h"
#include "sweep/scan4transp.h"

class ScriptedFrontend : public eFrontend {
 public:
  struct Tune {
    int64_t at;  // box time of the tune
    int freqMHz, srKs, pol;
  };

  // By tuned frequency in MHz: the tuning result, the SNR and the strength.
  std::function<int(int)> result = [](int) { return -110; };
  std::function<int(int)> snr = [](int) { return 0; };
  std::function<int(int)> strength = [](int) { return 0; };
  int answerMs = 50;

  std::vector<Tune> tunes;
  std::vector<int64_t> answers;  // box time of each result delivered
  int snrReads = 0;

  int SNR() override {
    ++snrReads;
    return snr(tunedMHz);
  }
  int SignalStrength() override { return strength(tunedMHz); }
  int Locked() override { return lastErr == 0; }
  int tune(eTransponder* tp) override {
    tunedMHz = tp->satellite.frequency / 1000;
    tunes.push_back({eApp->now(), tunedMHz, tp->satellite.symbol_rate / 1000, tp->satellite.polarisation});
    pending = tp;  // a tune in flight is simply replaced
    answer.start(answerMs, true);
    return 0;
  }

  ScriptedFrontend() {
    answer.timeout.connect([this] {
      eTransponder* tp = pending;
      pending = nullptr;
      lastErr = result(tunedMHz);
      answers.push_back(eApp->now());
      tunedIn.emit(tp, lastErr);
      if (eDVB::getInstance()) eDVB::getInstance()->event(eDVBEvent(eDVBEvent::eventTunedIn, lastErr, tp));
    });
  }

  // The frequencies tuned, in MHz, in order.
  std::vector<int> tunedFrequencies() const {
    std::vector<int> out;
    for (const Tune& t : tunes) out.push_back(t.freqMHz);
    return out;
  }

 private:
  eTimer answer{eApp};
  eTransponder* pending = nullptr;
  int tunedMHz = 0;
  int lastErr = -110;
};

class SweepTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    // Its timer runs on the main loop that the GUI has just brought up.
    fe = std::make_unique<ScriptedFrontend>();
    bootBand(band());
  }
  // The band booted at the start: "" for the demo band.
  virtual std::string band() { return ""; }
  void TearDown() override {
    eFrontend::frontend = simulated;
    box::shutdownDvb();
    fe.reset();
    GuiTest::TearDown();
  }

  // Boots the DVB layer on a band file ("" : the demo band) and puts the
  // scripted front end in front of it.
  void bootBand(const std::string& band) {
    eFrontend::frontend = simulated;
    box::DvbOptions options;
    options.bandFile = band;
    options.serviceList = "";  // nothing kept between tests
    std::string error;
    ASSERT_TRUE(box::bootDvb(options, &error)) << error;
    simulated = eFrontend::frontend;
    eFrontend::frontend = fe.get();
  }

  // Runs one sweep window modally as the dialog does. When the end-of-band
  // message shows, it is confirmed and "Annulla" pressed, unless the test
  // has its own plan (leaveAtEnd false).
  void sweep(const char* start, const char* end, const char* step, const char* sr, int pol,
             bool leaveAtEnd = true) {
    window = new scan4transp(start, end, step, sr, pol);
    eTimer watch(eApp);
    const int64_t giveUpAt = eApp->now() + 3600 * 1000;
    const int messagesBefore = endMessages;
    watch.timeout.connect([this, leaveAtEnd, giveUpAt, messagesBefore] {
      if (eApp->now() > giveUpAt) {
        std::string last;
        for (size_t i = trace.size() > 8 ? trace.size() - 8 : 0; i < trace.size(); ++i)
          last += trace[i].dump() + "\n";
        ADD_FAILURE() << "the sweep did not end within an hour of box time; " << fe->tunes.size()
                      << " tunes; the trace ends with\n"
                      << last;
        box::abortAll(5);
        return;
      }
      // Like a user: confirm the message, then a moment later "Annulla".
      if (dynamic_cast<eMessageBox*>(box::Screen::instance().activeWindow())) {
        ++endMessages;
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

  // Trace lines of an event whose field has that value.
  std::vector<nlohmann::json> eventsWith(const std::string& ev, const std::string& field, int value) const {
    std::vector<nlohmann::json> out;
    for (const auto& e : events(ev))
      if (e.value(field, -1) == value) out.push_back(e);
    return out;
  }

  // The frequencies (kHz) that scans were started on: the setSatellite that
  // follows each switch into scan mode.
  std::vector<int> scannedKHz() const {
    std::vector<int> out;
    bool scanMode = false;
    for (const auto& e : trace) {
      if (e.value("ev", "") == "setMode") scanMode = e.value("mode", 0) == eDVB::modeScan;
      if (scanMode && e.value("ev", "") == "setSatellite") {
        out.push_back(e.value("freq", 0));
        scanMode = false;
      }
    }
    return out;
  }

  std::unique_ptr<ScriptedFrontend> fe;
  eFrontend* simulated = nullptr;
  scan4transp* window = nullptr;
  int endMessages = 0;
};
