// The feed scan window: its layout, the scan controller's start and abort,
// the DVB events it follows, the services it reports and its time estimate.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "box/base/loop.h"
#include "box/base/paths.h"
#include "box/dvb/boot.h"
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

// The time left as the window words it: seconds alone under a minute.
std::string mins(int m, int s) {
  char b[128];
  if (m) std::snprintf(b, sizeof b, _("%02i minutes and %02i seconds left"), m, s);
  if (!m) std::snprintf(b, sizeof b, _("%02i seconds left"), s);
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
    fs::create_directories(dir / "root/var/tuxbox/plugins");
    fs::copy_file(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml", skinPath());
    box::setRoot((dir / "root").string());
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

  fs::path skinPath() const { return dir / "root/var/tuxbox/plugins/vantrel.esml"; }
  scan4feed& open() {
    window = std::make_unique<scan4feed>(tp.get());
    return *window;
  }
  static eDVBScanController* scan() { return eDVB::getInstance()->getScanAPI(); }
  static void emit(int type, eTransponder* t = nullptr) { eDVB::getInstance()->event(eDVBEvent(type, 0, t)); }
  std::string text(const char* name) const {
    eWidget* w = window->search(name);
    return w ? std::string(w->getText()) : "<missing " + std::string(name) + ">";
  }
  int perc() const {
    auto* p = dynamic_cast<eProgress*>(window->search("scan_progress"));
    return p ? p->getPerc() : -1;
  }
  // The trace lines of these events as text without their times; of the
  // logs only the fatal ones.
  std::string traced(const std::vector<std::string>& evs) const {
    std::vector<nlohmann::json> lines;
    for (nlohmann::json e : trace)
      if (std::count(evs.begin(), evs.end(), e.value("ev", "")) && e.value("level", "fatal") == "fatal") {
        e["t"] = 0;
        lines.push_back(e);
      }
    return plugin_test::traceText(lines, 0, 0);
  }
  std::vector<int> dvbTypes() const {
    std::vector<int> out;
    for (const auto& e : events("dvb")) out.push_back(e.value("type", -100));
    return out;
  }

  fs::path dir;
  std::unique_ptr<eTransponder> tp;
  std::unique_ptr<scan4feed> window;
};

TEST_F(FeedScanTest, TheSkinPlacesEveryChildAndTheTransponderIsHandedOverUnstarted) {
  scan4feed& w = open();
  w.show();
  EXPECT_EQ(plugin_test::screenText(), R"(eWindow "" "Vantrel:" 110,93 500x390
  eLabel "services_scanned" "0" 320,8 162x32
  eLabel "transponder_scanned" "Transponder in scansione:" 10,122 472x28
  eLabel "time_left" "" 10,224 472x30
  eLabel "service_name" "-" 10,48 472x30
  eLabel "service_provider" "-" 10,80 472x28
  eLabel "transponder_data" "" 10,150 472x30
  eProgress "scan_progress" "" 10,194 472x22 perc=0
  eLabel "state" "Servizi trovati:" 10,8 300x32
  eButton "Annulla" "Annulla" 10,300 160x40 focus
)");
  EXPECT_EQ(traced({"log", "scanOption", "scanStart"}), R"(0 scanOption useONIT=0
0 scanOption useBAT=0
0 scanOption networkSearch=0
0 scanOption onlyFree=0
0 scanOption skipOtherOrbitalPositions=1
)");
}

TEST_F(FeedScanTest, EveryRunEndsWithAnAbortWhetherTheScanEndedOrTheUserLeft) {
  scan4feed& w = open();
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
  EXPECT_EQ(text("time_left"), mins(0, 1));
  EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5, 0, 4, 5, 0, 4, 5, 0, 4, 15}));
  EXPECT_EQ(traced({"scanAbort"}), "0 scanAbort running=false\n");
  // The timer stopped with the scan.
  box::wait(5000);
  EXPECT_EQ(text("time_left"), mins(0, 1));

  // A run ended by the user, and one by the exit key, while the first tune
  // is still in flight: the scan stops there.
  for (int key : {rc::ok, rc::exit}) {
    trace.clear();
    scan()->knownTransponder.assign(1, *tp);
    later(300, [&, key] {
      if (key == rc::ok) press(rc::down);  // onto "Annulla"
      press(key);
    });
    EXPECT_EQ(w.exec(), -1);
    box::wait(5000);
    EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5})) << "nothing may follow the abort";
    EXPECT_EQ(traced({"scanAbort"}), "0 scanAbort running=true\n");
  }

  // The start and the end of a run are the window's own: 0 and 1, without
  // the base handler.
  trace.clear();
  scan()->addTransponder(*tp);
  EXPECT_EQ(w.event(eWidgetEvent(eWidgetEvent::execBegin)), 0);
  EXPECT_EQ(w.event(eWidgetEvent(eWidgetEvent::execDone)), 1);
  EXPECT_EQ(traced({"scanStart", "scanAbort"}), "0 scanStart transponders=1\n0 scanAbort running=true\n");

  // Without a scan controller: a warning at the start and one at the run,
  // which ends at once.
  eDVB::getInstance()->setMode(eDVB::modeTV);
  trace.clear();
  open().show();
  EXPECT_EQ(window->exec(), 1);
  EXPECT_EQ(events("log").size(), 2u);
}

// The scan's events one after the other, each with the progress bar, the
// services counted and the time left it leaves behind. "begin N": a new scan
// with N queued and its first transponder under way; "next N": the scan moves
// on N times, each finishing one; "added N", "tuned" (starts the 1 s clock
// unless it runs), "end", "found" (a service), "open": a fresh window,
// "others": every other event type, and "wait MS".
TEST_F(FeedScanTest, ProgressServicesAndTimeLeftFollowTheScansEvents) {
  const std::string none = _("no estimate of the time left yet");
  eServiceReferenceDVB ref;
  ref.data[1] = 7;
  // "step=percentage services time-left;", the time left as "-" (no estimate
  // yet), "Ns" or "M:SS", missing while the label is empty.
  const std::string script =
      // The other event types change nothing, nor do they start the clock.
      "open=0 0;others=0 0;wait 5000=0 0;tuned=0 0;wait 1500=0 0 -;"
      // 1 finished, none left: 0 s whatever the time.
      "begin 1=0 0 -;next 1=100 0 -;wait 1000=100 0 0s;"
      // 1 finished, 1 left: the estimate is the seconds elapsed.
      "begin 2=0 0 0s;next 1=50 0 0s;wait 57000=50 0 59s;wait 1000=50 0 1:00;"
      // 5 left at 745 s: 3725 s, minutes not capped.
      "begin 6=0 0 1:00;next 1=16 0 1:00;wait 685000=16 0 62:05;"
      // A new scan counts afresh, the clock goes on; a second "tuned" keeps
      // its rhythm; 13 / 3 * 27 = 116.99... is truncated.
      "open=0 0;begin 30=0 0;next 3=10 0;tuned=10 0;wait 600=10 0;tuned=10 0;wait 13000=10 0 1:56;"
      "found=10 1 1:56;found=10 2 1:56;begin 5=0 2 1:56;wait 1000=0 2 -;found=0 1 -;next 1=20 1 -;"
      "wait 1000=20 1 1:00;"
      // The percentage truncates; nothing finished shows 0; a transponder
      // under way when a new scan begins is not counted, the end counts it.
      "begin 3=0 1 1:00;added 1=0 1 1:00;next 2=50 1 1:00;begin 3=0 1 1:00;next 1=33 1 1:00;"
      "added 1=25 1 1:00;begin 2=0 1 1:00;end=50 1 1:00;begin 1=0 1 1:00;added 192=0 1 1:00;"
      "next 97=50 1 1:00;added 1=49 1 1:00;next 96=99 1 1:00;"
      // Full at the end although 100.0 / 194 * 194 falls short of 100, and
      // stray reports do not go past it.
      "next 1=100 1 1:00;next 2=100 1 1:00;";
  std::string seen, expected;
  std::istringstream items(script);
  for (std::string item; std::getline(items, item, ';');) {
    const std::string step = item.substr(0, item.find('='));
    std::istringstream state(item.substr(item.find('=') + 1));
    std::string p, c, t;
    state >> p >> c >> t;
    const std::string left = t.empty()         ? ""
                             : t == "-"        ? none
                             : t.back() == 's' ? mins(0, std::stoi(t))
                                               : mins(std::stoi(t), std::stoi(t.substr(t.find(':') + 1)));
    std::istringstream in(step);
    std::string what;
    int n = 1;
    in >> what >> n;
    if (what == "open") open();
    if (what == "wait") box::wait(n);
    if (what == "tuned") emit(eDVBEvent::eventTunedIn);
    if (what == "end") emit(eDVBEvent::eventScanCompleted);
    for (int type : {1, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 255, -1, -15})
      if (what == "others") emit(type, tp.get());
    if (what == "found") eDVB::getInstance()->getTransponders()->service_found(ref, true);
    if (what == "begin") {
      scan()->knownTransponder.assign(size_t(n), *tp);
      emit(eDVBEvent::eventScanBegin);
      emit(eDVBEvent::eventScanTuneBegin);
    }
    for (int i = 0; i < n && (what == "next" || what == "added"); ++i)
      emit(what == "next" ? eDVBEvent::eventScanTuneBegin : eDVBEvent::eventScanTPadded);
    seen += step + ": " + std::to_string(perc()) + " " + text("services_scanned") + " " + text("time_left") +
            "\n";
    expected += step + ": " + p + " " + c + " " + left + "\n";
  }
  EXPECT_EQ(seen, expected);
}

// The transponder under way truncated to MHz and its polarisation named;
// each service found replaces name and provider and is counted.
TEST_F(FeedScanTest, TheTransponderAndServiceLabelsFollowTheirEvents) {
  open();
  const std::string vertical = _("Vertical");
  struct Row {
    int freqKHz, srS, pol;
    std::string text;
  } rows[] = {
      {11778999, 27500999, 1, "11778 Mhz / 27500 ksyms / " + vertical},
      {10719000, 4340000, 0, "10719 Mhz / 4340 ksyms / Horizontal"},
      {12500000, 30000000, 2, "12500 Mhz / 30000 ksyms / " + vertical},
      {0, 0, -1, "12500 Mhz / 30000 ksyms / " + vertical},  // no transponder: the text stays
      // Beyond 2^31 kHz (and symbols/s) the division is still unsigned.
      {int(3000000000u), int(2500000000u), 0, "3000000 Mhz / 2500000 ksyms / Horizontal"},
  };
  eTransponder other(*eDVB::getInstance()->getTransponders());
  for (const Row& r : rows) {
    other.setSatellite(r.freqKHz, r.srS, r.pol, 3, 130, 0);
    emit(eDVBEvent::eventScanTuneBegin, r.pol < 0 ? nullptr : &other);
    EXPECT_EQ(text("transponder_data"), r.text);
  }

  eTransponderList& list = *eDVB::getInstance()->getTransponders();
  eServiceReferenceDVB a, b, missing;
  a.data[1] = 101;
  b.data[1] = 102;
  missing.data[1] = 999;
  list.addService(a, {"Feed Uno", "Uplink A"});
  list.addService(b, {"Feed Due", "Uplink B"});
  std::string seen;
  for (const auto* ref : {&a, &b, &a, &missing}) {
    list.service_found(*ref, ref == &b);
    seen += text("services_scanned") + " " + text("service_name") + " / " + text("service_provider") + "\n";
  }
  EXPECT_EQ(seen,
            "1 Feed Uno / Uplink A\n2 Feed Due / Uplink B\n3 Feed Uno / Uplink A\n"
            "4 (sconosciuto) / (sconosciuto)\n");
}

TEST_F(FeedScanTest, ABrokenOrMissingSkinIsLoggedAndTheWindowStillRuns) {
  for (const char* content :
       {"<skin><layout name=\"scan4feed\" size=\"500,390\">",  // cut short
        "<skin><layout name=\"other\" size=\"500,390\"/></skin>", (const char*)nullptr}) {
    SCOPED_TRACE(content ? content : "(missing)");
    trace.clear();
    fs::remove(skinPath());
    if (content) std::ofstream(skinPath()) << content;
    scan4feed& w = open();
    EXPECT_EQ(traced({"log"}), "0 log level=fatal text=skin load of \"scan4feed\" failed\n");
    for (eWidget* c : w.getChildren()) EXPECT_TRUE(eRect(c->getPosition(), c->getSize()).isEmpty());
    // The scan runs its course (nothing locks at 11778 V) and ends the run.
    w.show();
    EXPECT_EQ(w.exec(), -1);
    EXPECT_EQ(dvbTypes(), (std::vector<int>{2, 5, 0, 4, 15}));
    EXPECT_EQ(perc(), 100);
    window.reset();
    scan()->knownTransponder.clear();
  }
}

}  // namespace
