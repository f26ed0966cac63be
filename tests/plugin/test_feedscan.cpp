// The feed scan window: its layout, the scan controller's start and abort,
// the DVB events it follows, the services it reports and its time estimate.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "box/base/loop.h"
#include "box/base/paths.h"
#include "box/dvb/boot.h"
#include "box/gui/screen.h"
#include "feedscan/scan4feed.h"
#include "gui/gui_fixture.h"
#include "host/dvb.h"
#include "host/eprogress.h"
#include "host/i18n.h"
#include "host/rc.h"
#include "plugin/plugin_support.h"
#include "test_dir.h"

namespace fs = std::filesystem;

namespace {

const char* const kChildren[] = {"services_scanned", "transponder_scanned", "time_left",     "service_name",
                                 "service_provider", "transponder_data",    "scan_progress", "state",
                                 "Annulla"};

std::string secondsText(int s) {
  char b[128];
  std::snprintf(b, sizeof b, _("%02i seconds left"), s);
  return b;
}

std::string minutesText(int m, int s) {
  char b[128];
  std::snprintf(b, sizeof b, _("%02i minutes and %02i seconds left"), m, s);
  return b;
}

// Each test gets a root of its own (in its own folder) holding the plug-in's
// skin from the source tree, and a DVB layer in scan mode with a transponder
// to scan.
class FeedScanTest : public GuiTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    dir = vantrel_test::testDir();
    root = dir / "root";
    fs::create_directories(root / "var/tuxbox/plugins");
    fs::copy_file(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml", skinPath());
    box::setRoot(root.string());
    std::string error;
    ASSERT_TRUE(box::bootDvb(box::DvbOptions(), &error)) << error;
    eDVB::getInstance()->setMode(eDVB::modeScan);
    tp = std::make_unique<eTransponder>(*eDVB::getInstance()->getTransponders());
    tp->setSatellite(11778000, 27500000, 1, 3, 130, 0);
    trace.clear();
  }

  void TearDown() override {
    window.reset();
    tp.reset();
    box::shutdownDvb();
    GuiTest::TearDown();
  }

  fs::path skinPath() const { return root / "var/tuxbox/plugins/vantrel.esml"; }
  scan4feed& open() {
    window = std::make_unique<scan4feed>(tp.get());
    return *window;
  }
  static eDVBScanController* scan() { return eDVB::getInstance()->getScanAPI(); }
  static void emit(int type, eTransponder* t = nullptr) { eDVB::getInstance()->event(eDVBEvent(type, 0, t)); }
  // Makes the controller's queue n long, then starts the scan's counting
  // and the first transponder.
  void begin(int n) {
    scan()->knownTransponder.assign(size_t(n), *tp);
    emit(eDVBEvent::eventScanBegin);
    emit(eDVBEvent::eventScanTuneBegin);
  }
  // The scan moves on n times: each time a transponder is finished.
  void done(int n) {
    for (int i = 0; i < n; ++i) emit(eDVBEvent::eventScanTuneBegin);
  }
  void added(int n) {
    for (int i = 0; i < n; ++i) emit(eDVBEvent::eventScanTPadded);
  }
  std::string text(const char* name) const {
    eWidget* w = window->search(name);
    return w ? std::string(w->getText()) : "<missing " + std::string(name) + ">";
  }
  int perc() const {
    auto* p = dynamic_cast<eProgress*>(window->search("scan_progress"));
    return p ? p->getPerc() : -1;
  }
  std::vector<std::string> logs(const std::string& level) const {
    std::vector<std::string> out;
    for (const auto& e : events("log"))
      if (e.value("level", "") == level) out.push_back(e.value("text", ""));
    return out;
  }
  size_t count(const std::string& ev) const { return events(ev).size(); }
  std::vector<int> dvbTypes() const {
    std::vector<int> out;
    for (const auto& e : events("dvb")) out.push_back(e.value("type", -100));
    return out;
  }
  // For each abort: whether a scan was running when it came.
  std::vector<bool> aborts() const {
    std::vector<bool> out;
    for (const auto& e : events("scanAbort")) out.push_back(e.value("running", false));
    return out;
  }
  std::vector<std::string> scanOptions() const {
    std::vector<std::string> out;
    for (const auto& e : events("scanOption"))
      for (const auto& [key, value] : e.items())
        if (key != "t" && key != "ev") out.push_back(key + "=" + value.dump());
    return out;
  }

  fs::path dir, root;
  std::unique_ptr<eTransponder> tp;
  std::unique_ptr<scan4feed> window;
};

TEST_F(FeedScanTest, SkinPlacesEveryChildInsideTheWindowWithoutOverlap) {
  scan4feed& w = open();
  EXPECT_EQ(w.getText(), "Vantrel:");
  EXPECT_TRUE(logs("fatal").empty());
  EXPECT_EQ(logs("warning"), std::vector<std::string>{});
  std::vector<std::string> names;
  for (eWidget* c : w.getChildren()) names.push_back(c->getName());
  EXPECT_EQ(names, std::vector<std::string>(std::begin(kChildren), std::end(kChildren)));

  const eRect screen(0, 0, 720, 576);
  const eRect outer(w.getPosition(), w.getSize());
  EXPECT_EQ(outer.intersect(screen), outer) << "the window leaves the screen";
  const eRect client(ePoint(0, 0), w.getClientSize());
  std::vector<eRect> placed;
  for (eWidget* c : w.getChildren()) {
    eRect r(c->getPosition(), c->getSize());
    EXPECT_FALSE(r.isEmpty()) << c->getName() << " is not placed";
    EXPECT_EQ(r.intersect(client), r) << c->getName() << " leaves the client area";
    for (size_t i = 0; i < placed.size(); ++i)
      EXPECT_TRUE(placed[i].intersect(r).isEmpty()) << c->getName() << " overlaps " << names[i];
    placed.push_back(r);
  }
  EXPECT_EQ(text("Annulla"), "Annulla");
}

TEST_F(FeedScanTest, WithoutScanControllerWarnsTwiceAndEndsTheRunAtOnce) {
  eDVB::getInstance()->setMode(eDVB::modeTV);
  scan4feed& w = open();
  EXPECT_EQ(logs("warning"), std::vector<std::string>{"no scan active"});
  const int64_t before = eApp->now();
  w.show();
  EXPECT_EQ(w.exec(), 1);
  EXPECT_EQ(eApp->now(), before);
  EXPECT_EQ(logs("warning"), (std::vector<std::string>{"no scan active", "no scan active"}));
  EXPECT_EQ(count("scanStart"), 0u);
  EXPECT_EQ(count("scanAbort"), 0u);
}

TEST_F(FeedScanTest, HandsTheTransponderOverAndAbortsAtTheEndOfEveryRun) {
  scan4feed& w = open();
  ASSERT_EQ(scan()->knownTransponder.size(), 1u);
  EXPECT_TRUE(scan()->knownTransponder.front() == *tp);
  EXPECT_EQ(scanOptions(), (std::vector<std::string>{"useONIT=0", "useBAT=0", "networkSearch=0", "onlyFree=0",
                                                     "skipOtherOrbitalPositions=1"}));
  EXPECT_EQ(count("scanStart"), 0u) << "construction must not start the scan";
  w.show();

  // A clock already running before the run: the run counts its seconds afresh.
  emit(eDVBEvent::eventTunedIn);
  box::wait(5300);

  // Nothing to lock on at 11778 V: three tunes that time out 600 ms apart,
  // then the scan finishes by itself and the window with it. The last tick
  // (1.7 s into the run, 2 finished, 1 left) estimates 1 s.
  scan()->addTransponder(*tp);
  scan()->addTransponder(*tp);
  EXPECT_EQ(w.exec(), -1);
  EXPECT_EQ(text("time_left"), secondsText(1));
  EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5, 0, 4, 5, 0, 4, 5, 0, 4, 15}));
  EXPECT_EQ(aborts(), std::vector<bool>{false});
  EXPECT_EQ(perc(), 100);
  // The timer stopped with the scan: counts that would change the estimate
  // stay unseen.
  const std::string shown = text("time_left");
  begin(2);
  done(1);
  box::wait(5000);
  EXPECT_EQ(text("time_left"), shown);

  // A run ended by the user, and one by the exit key, while the first tune
  // is still in flight: the scan stops there.
  for (int key : {rc::ok, rc::exit}) {
    trace.clear();
    scan()->knownTransponder.clear();
    scan()->addTransponder(*tp);
    later(300, [&, key] {
      if (key == rc::ok) press(rc::down);  // onto "Annulla"
      press(key);
    });
    EXPECT_EQ(w.exec(), -1);
    EXPECT_EQ(aborts(), std::vector<bool>{true});
    EXPECT_FALSE(scan()->isRunning());
    box::wait(5000);
    EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5})) << "nothing may follow the abort";
  }

  // The start and the end of a run are the window's own: 0 and 1, without
  // the base handler.
  trace.clear();
  scan()->addTransponder(*tp);
  EXPECT_EQ(w.event(eWidgetEvent(eWidgetEvent::execBegin)), 0);
  EXPECT_EQ(w.event(eWidgetEvent(eWidgetEvent::execDone)), 1);
  EXPECT_EQ(count("scanStart"), 1u);
  EXPECT_EQ(aborts(), std::vector<bool>{true});
}

TEST_F(FeedScanTest, TimeLeftTextsFollowTheEstimate) {
  open();
  emit(eDVBEvent::eventTunedIn);
  box::wait(1500);
  EXPECT_EQ(text("time_left"), _("no estimate of the time left yet"));

  // 1 finished, none left: 0 s whatever the time.
  begin(1);
  done(1);
  box::wait(1000);
  EXPECT_EQ(text("time_left"), secondsText(0));

  // 1 finished, 1 left: the estimate is the seconds elapsed.
  begin(2);
  done(1);
  box::wait(57000);  // 59 s since the clock started
  EXPECT_EQ(text("time_left"), secondsText(59));
  box::wait(1000);
  EXPECT_EQ(text("time_left"), minutesText(1, 0));
  // 5 left at 745 s: 3725 s, minutes not capped.
  begin(6);
  done(1);
  box::wait(685000);
  EXPECT_EQ(text("time_left"), minutesText(62, 5));
}

TEST_F(FeedScanTest, TimeLeftTruncatesTheDoubleEstimate) {
  open();
  begin(30);
  done(3);
  emit(eDVBEvent::eventTunedIn);
  box::wait(13500);  // 13 / 3 * 27 = 116.99...
  EXPECT_EQ(text("time_left"), minutesText(1, 56));
}

TEST_F(FeedScanTest, SecondTunedInEventKeepsTheTickRhythm) {
  open();
  begin(2);
  done(1);  // estimate = seconds elapsed
  emit(eDVBEvent::eventTunedIn);
  box::wait(600);
  emit(eDVBEvent::eventTunedIn);
  box::wait(600);  // 1.2 s after the first event, 0.6 s after the second
  EXPECT_EQ(text("time_left"), secondsText(1));
  box::wait(9000);
  EXPECT_EQ(text("time_left"), secondsText(10));
}

TEST_F(FeedScanTest, OtherEventTypesChangeNothingShownOrCounted) {
  scan4feed& w = open();
  w.show();
  begin(4);
  done(1);
  emit(eDVBEvent::eventScanTuneBegin, tp.get());  // 2 finished, 2 left
  const std::string before = plugin_test::screenText();
  std::string changed;
  for (int type : {1, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 255, -1, -15}) {
    emit(type, tp.get());
    if (plugin_test::screenText() != before) changed += " " + std::to_string(type);
  }
  EXPECT_EQ(changed, "") << before;
  box::wait(5000);
  EXPECT_EQ(text("time_left"), "") << "the timer must still be idle";
  emit(eDVBEvent::eventTunedIn);
  box::wait(2500);  // 2 s / 2 finished * 2 left
  EXPECT_EQ(text("time_left"), secondsText(2));
  added(1);  // 3 left, 2 finished
  EXPECT_EQ(perc(), 40);
}

TEST_F(FeedScanTest, ATransponderCountsAsFinishedWhenTheScanMovesOnOrEnds) {
  open();
  std::vector<int> bar;
  begin(3);  // the first one is under way: nothing finished
  bar.push_back(perc());
  added(1);
  bar.push_back(perc());
  done(1);  // 1 finished, 3 left
  bar.push_back(perc());
  begin(2);                             // counting starts again: the one under way is not counted
  emit(eDVBEvent::eventScanCompleted);  // 1 finished, 1 left
  bar.push_back(perc());
  EXPECT_EQ(bar, (std::vector<int>{0, 0, 25, 50}));
}

TEST_F(FeedScanTest, ProgressTruncatesThePercentage) {
  open();
  begin(3);
  EXPECT_EQ(perc(), 0);
  added(1);
  EXPECT_EQ(perc(), 0) << "nothing finished yet";
  done(2);  // 2 left, 2 finished
  EXPECT_EQ(perc(), 50);
  begin(3);
  EXPECT_EQ(perc(), 0);
  done(1);  // 2 left, 1 finished
  EXPECT_EQ(perc(), 33);
  added(1);
  EXPECT_EQ(perc(), 25);
  begin(1);
  added(192);
  done(97);  // 96 left, 97 finished
  added(1);
  EXPECT_EQ(perc(), 49);
  done(96);  // 1 left, 193 finished
  EXPECT_EQ(perc(), 99);
  done(1);  // finished: full, although 100.0 / 194 * 194 falls short of 100
  EXPECT_EQ(perc(), 100);
  done(2);  // stray extra reports do not go past the end
  EXPECT_EQ(perc(), 100);
}

TEST_F(FeedScanTest, RepeatedScanBeginReloadsTheCountsButNotTheClock) {
  open();
  eServiceReferenceDVB ref;
  ref.data[1] = 7;
  begin(3);
  done(1);
  eDVB::getInstance()->getTransponders()->service_found(ref, true);
  eDVB::getInstance()->getTransponders()->service_found(ref, true);
  EXPECT_EQ(text("services_scanned"), "2");
  EXPECT_EQ(perc(), 33);
  emit(eDVBEvent::eventTunedIn);
  box::wait(3500);
  EXPECT_EQ(text("time_left"), secondsText(6));

  begin(5);
  EXPECT_EQ(perc(), 0);
  box::wait(1000);
  EXPECT_EQ(text("time_left"), _("no estimate of the time left yet"));
  eDVB::getInstance()->getTransponders()->service_found(ref, false);
  EXPECT_EQ(text("services_scanned"), "1");
  done(1);  // 4 left; the fifth second
  box::wait(1000);
  EXPECT_EQ(text("time_left"), secondsText(20));
}

TEST_F(FeedScanTest, TransponderTextTruncatesToMhzAndNamesThePolarisation) {
  open();
  eTransponder other(*eDVB::getInstance()->getTransponders());
  other.setSatellite(11778999, 27500999, 1, 3, 130, 0);
  emit(eDVBEvent::eventScanTuneBegin, &other);
  EXPECT_EQ(text("transponder_data"), std::string("11778 Mhz / 27500 ksyms / ") + _("Vertical"));
  other.setSatellite(10719000, 4340000, 0, 3, 130, 0);
  emit(eDVBEvent::eventScanTuneBegin, &other);
  EXPECT_EQ(text("transponder_data"), "10719 Mhz / 4340 ksyms / Horizontal");
  other.setSatellite(12500000, 30000000, 2, 3, 130, 0);
  emit(eDVBEvent::eventScanTuneBegin, &other);
  EXPECT_EQ(text("transponder_data"), std::string("12500 Mhz / 30000 ksyms / ") + _("Vertical"));
  emit(eDVBEvent::eventScanTuneBegin, nullptr);  // no transponder: the text stays
  EXPECT_EQ(text("transponder_data"), std::string("12500 Mhz / 30000 ksyms / ") + _("Vertical"));
  // Beyond 2^31 kHz (and symbols/s) the division is still unsigned.
  other.setSatellite(int(3000000000u), int(2500000000u), 0, 3, 130, 0);
  emit(eDVBEvent::eventScanTuneBegin, &other);
  EXPECT_EQ(text("transponder_data"), "3000000 Mhz / 2500000 ksyms / Horizontal");
}

TEST_F(FeedScanTest, EachServiceReplacesNameAndProviderAndIsCounted) {
  open();
  eTransponderList& list = *eDVB::getInstance()->getTransponders();
  eServiceReferenceDVB a, b, missing;
  a.data[1] = 101;
  b.data[1] = 102;
  missing.data[1] = 999;
  eServiceDVB ra, rb;
  ra.service_name = "Feed Uno";
  ra.service_provider = "Uplink A";
  rb.service_name = "Feed Due";
  rb.service_provider = "Uplink B";
  list.addService(a, ra);
  list.addService(b, rb);

  std::vector<std::string> seen;
  auto report = [&](const eServiceReferenceDVB& ref, bool flag) {
    list.service_found(ref, flag);
    seen.push_back(text("services_scanned") + " " + text("service_name") + " / " + text("service_provider"));
  };
  report(a, true);
  report(b, false);
  report(a, true);
  report(missing, true);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "1 Feed Uno / Uplink A", "2 Feed Due / Uplink B", "3 Feed Uno / Uplink A",
                      std::string("4 ") + scan4feed::kUnknown + " / " + scan4feed::kUnknown}));
}

TEST_F(FeedScanTest, BrokenOrMissingSkinIsLoggedAndTheWindowStillRuns) {
  const char* const broken[] = {
      "<skin><layout name=\"scan4feed\" size=\"500,390\">",  // cut short
      "<skin><layout name=\"other\" size=\"500,390\"/></skin>",
      nullptr,  // no file at all
  };
  for (const char* content : broken) {
    SCOPED_TRACE(content ? content : "(missing)");
    trace.clear();
    fs::remove(skinPath());
    if (content) std::ofstream(skinPath()) << content;
    scan4feed& w = open();
    EXPECT_EQ(logs("fatal"), std::vector<std::string>{"skin load of \"scan4feed\" failed"});
    for (eWidget* c : w.getChildren()) EXPECT_TRUE(eRect(c->getPosition(), c->getSize()).isEmpty());
    ASSERT_EQ(scan()->knownTransponder.size(), 1u) << "the scan is still prepared";
    // The scan runs its course (nothing locks at 11778 V) and ends the run.
    w.show();
    EXPECT_EQ(w.exec(), -1);
    EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5, 0, 4, 15}));
    EXPECT_EQ(text("transponder_data"), std::string("11778 Mhz / 27500 ksyms / ") + _("Vertical"));
    EXPECT_EQ(perc(), 100);
    window.reset();
    scan()->knownTransponder.clear();
  }
}

// The whole path on the demo band: the sweep has locked a carrier and opens
// the window on it; the box's scan finds what the band file lists. Halfway
// through, the screen is written as a picture of the window at work
// ($VANTREL_FEEDSCAN_PNG, default: feedscan.png in the test's folder).
TEST_F(FeedScanTest, ScansADemoCarrierAndShowsItsServices) {
  std::ifstream bandFile(VANTREL_SOURCE_DIR "/data/bands/demo.json");
  const nlohmann::json band = nlohmann::json::parse(bandFile);
  std::vector<std::string> expected;
  for (const auto& c : band["carriers"])
    if (c["frequency_mhz"] == 11807.6 && c["polarisation"] == "H")
      for (const auto& s : c["services"])
        expected.push_back(s["name"].get<std::string>() + " / " + s["provider"].get<std::string>());
  ASSERT_GE(expected.size(), 6u) << "the demo band changed: pick another carrier";

  tp->setSatellite(11807600, 27500000, 0, 3, 130, 0);
  ASSERT_EQ(tp->tune(), 0);
  box::wait(1000);
  ASSERT_EQ(events("tuned").back().value("err", -1), 0) << "the carrier does not lock";
  trace.clear();

  const char* env = std::getenv("VANTREL_FEEDSCAN_PNG");
  const std::string png = env && *env ? env : (dir / "feedscan.png").string();
  fs::create_directories(fs::path(png).parent_path());
  std::string shotError = "no picture taken";
  std::vector<std::string> midway;
  scan4feed& w = open();
  later(2200, [&] {
    midway = {text("services_scanned"), text("service_name") + " / " + text("service_provider")};
    box::Screen::instance().redrawDirty();
    if (box::Screen::instance().writePng(png, &shotError)) shotError.clear();
  });
  w.show();
  EXPECT_EQ(w.exec(), -1);

  std::vector<std::string> reported;
  for (const auto& e : events("serviceFound"))
    reported.push_back(e.value("name", "") + " / " + e.value("provider", ""));
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(text("services_scanned"), std::to_string(expected.size()));
  EXPECT_EQ(text("service_name") + " / " + text("service_provider"), expected.back());
  EXPECT_EQ(text("transponder_data"), "11807 Mhz / 27500 ksyms / Horizontal");
  EXPECT_EQ(perc(), 100);
  EXPECT_EQ(dvbTypes().front(), eDVBEvent::eventScanBegin);
  EXPECT_EQ(dvbTypes().back(), eDVBEvent::eventScanCompleted);
  EXPECT_EQ(aborts(), std::vector<bool>{false});

  EXPECT_EQ(shotError, "");
  EXPECT_GT(fs::exists(png) ? fs::file_size(png) : 0, 1000u);
  EXPECT_EQ(midway, (std::vector<std::string>{"6", expected[5]}));
}

}  // namespace
