// The sweep window on a scripted front end: stepping and its pace, the
// best-frequency search and the scan it leads to, the end of the band,
// plotting, and what the box gets back when the window's run ends.
#include <memory>

#include "graph/egrafico.h"
#include "plugin/sweep_fixture.h"

namespace {

// FNV-1a: the same 64 bits on every platform (std::hash differs between the
// PC and the box's 32-bit PowerPC).
uint64_t fnv1a(const std::string& text) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::vector<int> progress(const std::vector<nlohmann::json>& setPerc) {
  std::vector<int> out;
  for (const auto& e : setPerc)
    if (e.value("widget", "") == "progBar") out.push_back(e.value("perc", -1));
  return out;
}

eGrafico* graphOf(eWidget* w) {
  for (eWidget* child : w->getChildren())
    if (auto* g = dynamic_cast<eGrafico*>(child)) return g;
  return nullptr;
}

// Nothing plays at the start unless a test says otherwise, so the only tunes
// are the sweep's own.
class SweepRun : public SweepTest {
 protected:
  std::string band() override { return writeBand("nothing-playing", false); }

  // What the sweeps since the last call did: the tunes in MHz (V: vertical,
  // /rate when not 27500; xN: N alike in a row), the steps set, the
  // frequencies scanned and the end-of-band messages.
  std::string summary() {
    std::string out;
    for (size_t i = 0; i < fe->tunes.size();) {
      const auto& t = fe->tunes[i];
      size_t n = 1;
      while (i + n < fe->tunes.size() && fe->tunes[i + n].freqMHz == t.freqMHz) ++n;
      out += std::to_string(t.freqMHz) + (t.pol ? "V" : "") +
             (t.srKs != 27500 ? "/" + std::to_string(t.srKs) : "") + (n > 1 ? "x" + std::to_string(n) : "") +
             " ";
      i += n;
    }
    out += "| steps " + std::to_string(events("setPerc").size() - 1) + " | scan";
    // A scan starts with the setSatellite that follows the switch to scan mode.
    bool scanMode = false;
    for (const auto& e : trace) {
      if (e.value("ev", "") == "setMode") scanMode = e.value("mode", 0) == eDVB::modeScan;
      if (scanMode && e.value("ev", "") == "setSatellite")
        out += " " + std::to_string(e.value("freq", 0) / 1000);
      scanMode &= e.value("ev", "") != "setSatellite";
    }
    out += " | end " + std::to_string(events("messageBox").size());
    fe->tunes.clear();
    fe->answers.clear();
    trace.clear();
    return out;
  }
};

// The pace from a result to the next step, 2400 ms and 100 less each time, is
// in the whole sweep's trace below. Here, at its quickest (100 ms), the 27th
// tune is cancelled twice and retried at once: +100 twice, -100 at the result
// that finally comes.
TEST_F(SweepRun, DefaultsStepEveryThreeMHzACancelledTuneSlowsThePaceTheLastPercentageStays) {
  int cancelled = 0;
  fe->result = [&](int f) { return f == 10780 && cancelled++ < 2 ? -125 : -110; };
  const int64_t t0 = eApp->now();
  sweep("10700", "12750", "00003", "27500", 0);
  ASSERT_EQ(fe->tunes.size(), 685u);
  EXPECT_EQ(fe->tunes.back().freqMHz, 12748);
  std::vector<int64_t> waits;
  for (size_t k = 26; k < 30; ++k) waits.push_back(fe->tunes[k + 1].at - fe->answers[k]);
  EXPECT_EQ(waits, (std::vector<int64_t>{0, 0, 200, 100}));
  // Nothing played before the sweep: the orbital position falls back to 130.
  EXPECT_EQ(plugin_test::traceText({events("setSatellite").front()}, 0, t0),
            "2500 setSatellite fec=0 freq=10702000 inv=0 orb=130 pol=0 sr=27500000\n");
  // The bar: 0 at the start, then each percentage once, the first step's 1 on.
  std::vector<int> percs;
  for (int p = 0; p <= 100; ++p) percs.push_back(p);
  EXPECT_EQ(progress(events("setPerc")), percs);
  trace.clear();
  sweep("10700", "10700", "00001", "27500", 0);  // its only step is at 100 again
  EXPECT_EQ(progress(events("setPerc")), std::vector<int>{0});
}

// Whole sweeps, each summed up in a line: the steps, the searches and the
// scans they lead to, and the end of the band.
TEST_F(SweepRun, SweepsTuneSearchAndScanAsTheTableSays) {
  auto locks = [](int from, int to) { return [from, to](int f) { return f >= from && f <= to ? 0 : -110; }; };
  struct Row {
    const char *start, *end, *step, *sr;
    int pol;
    std::function<int(int)> result;
    std::function<int(int, int)> snr;
    int leaveAfterMs;  // 0: at the end-of-band message
    std::string expected;
  } rows[] = {
      // A step of 1 starts on the start; a rate of 0 is replaced.
      {"10700", "10705", "00001", "00000", 1, locks(0, 0), nullptr, 0,
       "10700V 10701V 10702V 10703V 10704V 10705V | steps 6 | scan | end 1"},
      // Ten locks from 10711 peaking at 10716, scanned (the scan's own tune of
      // 10716 locks and is ignored); a second carrier at 10723..10725 whose
      // search the time-out at 10726 ends with three samples.
      {"10700", "10735", "00003", "27500", 0, locks(10711, 10725),
       [](int f, int) { return f <= 10720 ? 30000 - 1000 * std::abs(f - 10716) : 20000 + 100 * (f - 10723); },
       0,
       "10702 10705 10708 10711 10712 10713 10714 10715 10716 10717 10718 10719 10720 10716 10723 10724 "
       "10725 "
       "10726 10725 10729 10732 10735 | steps 24 | scan 10716 10725 | end 1"},
      // 10713 reads 2 twenty times, 10716 reads 59 once and then 0: both
      // average 2 and the earlier wins (a sum divided by 19, or one read,
      // would make 10716 the better); all zero: the lock itself.
      {"10700", "10722", "00003", "27500", 0, locks(10711, 10720),
       [](int f, int n) { return f == 10713 ? 2 : (f == 10716 && n == 0) * 59; }, 0,
       "10702 10705 10708 10711 10712 10713 10714 10715 10716 10717 10718 10719 10720 10713 | steps 15 | "
       "scan 10713 | end 1"},
      {"10700", "10722", "00003", "27500", 0, locks(10711, 10720), nullptr, 0,
       "10702 10705 10708 10711 10712 10713 10714 10715 10716 10717 10718 10719 10720 10711 | steps 15 | "
       "scan 10711 | end 1"},
      // The end of the band drops a search under way.
      {"10700", "10706", "00001", "27500", 0, locks(10704, 99999), nullptr, 0,
       "10700 10701 10702 10703 10704 10705 10706 | steps 7 | scan | end 1"},
      // A start above the end tunes nothing; a step of 0 stays put.
      {"12000", "11000", "00003", "27500", 0, locks(0, 0), nullptr, 0, "| steps 0 | scan | end 1"},
      {"10700", "10800", "00000", "27500", 0, locks(0, 0), nullptr, 20000,
       "10699x9 | steps 1 | scan | end 0"},
      // An unknown result (-5) halts the sweep until the user leaves; so does
      // polarisation 2, which the transponder widget refuses at every step.
      {"10700", "10720", "00003", "27500", 0, [](int f) { return f == 10705 ? -5 : -110; }, nullptr, 60000,
       "10702 10705 | steps 2 | scan | end 0"},
      {"10700", "10720", "00003", "27500", 2, locks(0, 0), nullptr, 60000, "| steps 1 | scan | end 0"},
  };
  for (const Row& r : rows) {
    fe->result = r.result;
    fe->snr = r.snr ? r.snr : [](int, int) { return 0; };
    if (r.leaveAfterMs) later(r.leaveAfterMs, [&] { press(rc::red); });
    sweep(r.start, r.end, r.step, r.sr, r.pol, r.leaveAfterMs == 0);
    EXPECT_EQ(summary(), r.expected) << r.start << " " << r.end << " " << r.step << " pol " << r.pol;
  }
}

TEST_F(SweepRun, AnnullaClosesAtOnceOrRightAfterTheReadingInFlight) {
  struct Row {
    int pressAt;
    bool eventFirst, cancelFirstTune;
    int64_t closedAt;
  } rows[] = {
      {1000, false, false, 1000},  // before the first step: nothing is outstanding
      {2510, false, false, 2550},  // between a tune and its reading
      // The host sends the DVB event of a cancelled tune before tuned(-125):
      // the retune is in flight, so "Annulla" still waits for its reading.
      {2560, true, true, 2600},
  };
  for (const Row& r : rows) {
    fe->eventFirst = r.eventFirst;
    fe->tunes.clear();
    fe->result = [&](int) { return r.cancelFirstTune && fe->tunes.size() == 1 ? -125 : -110; };
    trace.clear();
    const int64_t t0 = eApp->now();
    later(r.pressAt, [&] { press(rc::red); });
    sweep("10700", "12750", "00003", "27500", 0, false);
    int64_t closedAt = -1;
    for (const auto& e : events("window"))
      if (e.value("action", "") == "close" && closedAt < 0) closedAt = e.value("t", int64_t(-1)) - t0;
    EXPECT_EQ(closedAt, r.closedAt) << r.pressAt;
  }
}

// willClose stops the clock and is answered as a plain window answers it. A
// second end of the run gives back only the TV mode; with nothing playing
// before the sweep, the first plays nothing either.
TEST_F(SweepRun, WillCloseStopsTheClockAndASecondEndOfTheRunGivesBackOnlyTheTvMode) {
  scan4transp w("10700", "12750", "00003", "27500", 0);
  eWindow plain(0);
  const eWidgetEvent willClose(eWidgetEvent::willClose);
  EXPECT_EQ(w.event(willClose), plain.event(willClose));
  box::wait(10000);
  EXPECT_TRUE(fe->tunes.empty());
  later(60, [&] { press(rc::red); });
  w.show();
  w.exec();
  const size_t from = trace.size();
  w.event(eWidgetEvent(eWidgetEvent::execDone));
  EXPECT_EQ(plugin_test::traceText(trace, from, eApp->now()), "0 setMode mode=2\n");
  EXPECT_TRUE(events("play").empty());
  EXPECT_EQ(Decoder::locked, 0);
  w.hide();
}

class SweepPlaying : public SweepTest {
 protected:
  std::string band() override { return writeBand("playing", true); }
};

// One sweep of 10700..10714 MHz, step 3, from start to leaving: a cancelled
// tune retried, three locks sampled and the best one scanned, the end of the
// band and the way back to what was playing. Its trace, its screen at the
// end-of-band message and its graph are compared with the tables whole.
TEST_F(SweepPlaying, AWholeSweepTracesDrawsAndShowsWhatItShould) {
  int cancels = 0;
  fe->result = [&](int f) {
    return f >= 10708 && f <= 10710 ? 0 : f == 10705 && cancels++ == 0 ? -125 : -110;
  };
  // A carrier at 10708..10710 with its best SNR at 10709.
  fe->snr = [](int f, int) {
    return f == 10709 ? 30000 : f == 10708 ? 20000 : f == 10710 ? 25000 : 50000 - 1000 * (f - 10700);
  };
  fe->strength = [](int f) { return 3000 * (f - 10699); };
  std::string screen, graph;
  atEndMessage = [&] {
    screen = plugin_test::screenText();
    eGrafico* g = graphOf(window);
    ASSERT_NE(g, nullptr);
    graph = plugin_test::imageText(*g->image());
  };
  const int64_t t0 = eApp->now();
  sweep("10700", "10714", "00003", "27500", 0);

  // The whole trace by its hash: any change of order or field fails.
  const std::string all = plugin_test::traceText(trace, 0, t0);
  EXPECT_EQ(fnv1a(all), 12381611566956688942ull) << all;
  EXPECT_EQ(screen, R"x(eWindow "" "Vantrel at work...shhh non disturbare ;-)" 100,10 520x476
  eTransponderWidget "tpW" "" 0,0 512x170
  eLabel "lb_range" "Range di frequenze: 10699 - 10714" 10,280 502x30
  eProgress "progBar" "" 10,260 492x20 perc=100
  eGrafico "" "" 10,282 492x120 focus
    eLabel "" "<" 10,284 20x20
    eLabel "" ">" 482,284 20x20
    eSlider "" "" 30,284 452x18 value=0 max=1778
  eButton "" "Annulla" 10,398 100x30
eMessageBox "" "Finito"
  eLabel "" "Scansione terminata. Premere annulla per uscire"
  eButton "" "OK" focus
)x");
  // The readings in the order they came, each an SNR (2) then an AGC (4)
  // segment from the previous reading's rows. The scan's own tune and the
  // time-out that ended the search are both read after the scan, at the
  // scanned 10709.
  EXPECT_EQ(graph, R"(2470x80 background 13
grid 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300 1400 1500 1600 1700 1800 1900 2000 2100 2200
2: 13@0-21 2@22-69 4@70-79
5: 13@0-21 2@22-26 13@27-58 4@59-70 13@71-79
8: 13@0-25 2@26-47 4@48-59 13@60-79
9: 13@0-39 4@40-44 2@45-56 13@57-79
10: 13@0-39 4@40-44 2@45-50 13@51-79
14: 13@0-25 4@26-44 13@45-79
)");
}

// Plotting straight into a window's graph, with a 100-row image: the traces
// start from the bottom edge, and one redraw shows both segments of a reading.
TEST_F(SweepRun, PlottingStartsFromTheBottomEdgeAndAsksForOneRedrawAReading) {
  auto w = std::make_unique<scan4transp>("10700", "12750", "00003", "27500", 0);
  eGrafico* g = graphOf(w.get());
  ASSERT_NE(g, nullptr);
  g->hBmp = 100;
  g->setRange(kGraphStartMHz, kGraphEndMHz, kGraphGridMHz);
  // What each redraw shows, less the size and the grid lines.
  auto drawn = [&] {
    const std::string t = plugin_test::imageText(*g->image());
    return t.substr(t.find('\n', t.find('\n') + 1) + 1);
  };
  std::string redraws;
  g->redrawRequested.connect([&] { redraws += drawn() + "|"; });
  w->disegnaSpettro(10702, 32768, 0);
  w->disegnaSpettro(10702, 65535, 65535);  // same column, from the rows before
  // The height stays the one of the window's first point.
  g->hBmp = 50;
  w->disegnaSpettro(10705, 32768, 65535);
  // 100 * 32768 / 65535 truncates to row 50; the SNR (2) is drawn first and
  // the AGC (4) over it.
  EXPECT_EQ(redraws, "2: 13@0-49 4@50-99\n|2: 4@0-50 2@51-99\n|2: 4@0-50 2@51-99\n5: 4@0-50 13@51-99\n|");
  w.reset();

  // A new window starts again from its own bottom edge.
  w = std::make_unique<scan4transp>("10700", "12750", "00003", "27500", 0);
  g = graphOf(w.get());
  w->disegnaSpettro(10710, 65534, 0);
  EXPECT_EQ(drawn(), "10: 13@0-0 4@1-79\n");
}

}  // namespace
