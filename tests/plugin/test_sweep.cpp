// The sweep window on a scripted front end: stepping and its pace, the
// best-frequency search and the scan it leads to, the end of the band,
// plotting, and what the box gets back when the window's run ends.
#include <memory>
#include <sstream>

#include "graph/egrafico.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "plugin/sweep_fixture.h"

namespace {

std::vector<int> range(int from, int to, int step) {
  std::vector<int> out;
  for (int f = from; f <= to; f += step) out.push_back(f);
  return out;
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

// A reading's image row: hUtileBmp - trunc(hUtileBmp * (reading / 65535)),
// in single precision.
int rowOf(int reading, int height) {
  return height - int(float(height) * (float(reading) / 65535.0f));
}

// Nothing plays at the start unless a test says otherwise, so the only tunes
// are the sweep's own.
class SweepRun : public SweepTest {
 protected:
  std::string band() override { return writeBand("nothing-playing", false); }
};

TEST_F(SweepRun, DefaultsStepEveryThreeMHzAtAQuickeningPaceAndEndWithTheMessage) {
  const int64_t t0 = eApp->now();
  sweep("10700", "12750", "00003", "27500", 0);

  EXPECT_EQ(fe->tunedFrequencies(), range(10702, 12748, 3));
  ASSERT_EQ(fe->tunes.size(), 683u);
  EXPECT_EQ(fe->tunes[0].at - t0, 2500);
  for (const auto& t : fe->tunes) ASSERT_TRUE(t.srKs == 27500 && t.pol == 0);
  // Nothing played before the sweep: the orbital position falls back to 130.
  EXPECT_EQ(plugin_test::traceText(eventsWith("setSatellite", "freq", 10702000), 0, t0),
            "2500 setSatellite fec=0 freq=10702000 inv=0 orb=130 pol=0 sr=27500000\n");

  std::vector<int> percs = progress(events("setPerc"));
  ASSERT_GE(percs.size(), 3u);
  EXPECT_EQ(percs[0], 0);  // the constructor's
  EXPECT_EQ(percs[1], 1);
  EXPECT_EQ(percs.back(), 100);
  for (size_t i = 2; i < percs.size(); ++i)
    ASSERT_GT(percs[i], percs[i - 1]) << "no percentage is sent twice";

  // From a result to the next step: 2400 ms, 100 less each time, down to 100.
  for (size_t k = 0; k + 1 < fe->tunes.size(); ++k) {
    const int64_t want = k < 24 ? 2400 - 100 * int64_t(k) : 100;
    ASSERT_EQ(fe->tunes[k + 1].at - fe->answers[k], want) << "after result " << k + 1;
  }
  EXPECT_EQ(events("messageBox").size(), 1u);
  EXPECT_TRUE(scannedKHz().empty()) << "no lock, no scan";
}

TEST_F(SweepRun, StepOfOneStartsOnTheStartWithTheGivenPolarisationAndAZeroRateReplaced) {
  sweep("10700", "10705", "00001", "00000", 1);
  EXPECT_EQ(fe->tunedFrequencies(), range(10700, 10705, 1));
  for (const auto& t : fe->tunes) {
    EXPECT_EQ(t.pol, 1);
    EXPECT_EQ(t.srKs, 27500);
  }
  EXPECT_EQ(endMessages, 1);
}

TEST_F(SweepRun, ALockStartsASearchOneMHzApartThatScansTheBestSample) {
  // Ten locks from 10711 peaking at 10716; a second carrier at 10723..10725
  // whose search the time-out at 10726 ends with three samples.
  fe->result = [](int f) { return (f >= 10711 && f <= 10725) ? 0 : -110; };
  fe->snr = [](int f, int) {
    return f <= 10720 ? 30000 - 1000 * std::abs(f - 10716) : 20000 + 100 * (f - 10723);
  };
  sweep("10700", "10735", "00003", "27500", 0);

  std::vector<int> expected = {10702, 10705, 10708};
  for (int f = 10711; f <= 10720; ++f) expected.push_back(f);
  // The scan tunes 10716 itself, and locks there: the sweep must ignore it.
  expected.push_back(10716);
  expected.insert(expected.end(), {10723, 10724, 10725, 10726});
  expected.push_back(10725);  // the second scan, on the best of three
  expected.insert(expected.end(), {10729, 10732, 10735});
  EXPECT_EQ(fe->tunedFrequencies(), expected);
  EXPECT_EQ(scannedKHz(), (std::vector<int>{10716000, 10725000}));
}

TEST_F(SweepRun, TheBestTwentyReadAverageIsScannedTheEarlierOnATieAndTheLockWhenAllAreZero) {
  // Ten locks from 10711. 10713 reads 2 twenty times, 10716 reads 59 once and
  // then 0: both average 2 and the earlier wins. A sum divided by 19, or one
  // read, would make 10716 the better.
  fe->result = [](int f) { return (f >= 10711 && f <= 10720) ? 0 : -110; };
  fe->snr = [](int f, int n) { return f == 10713 ? 2 : f == 10716 && n == 0 ? 59 : 0; };
  sweep("10700", "10722", "00003", "27500", 0);
  fe->snr = [](int, int) { return 0; };
  sweep("10700", "10722", "00003", "27500", 0);
  EXPECT_EQ(scannedKHz(), (std::vector<int>{10713000, 10711000}));
}

TEST_F(SweepRun, ACancelledTuneIsRetriedAtOnceAndSlowsThePace) {
  // 30 steps; the 27th tune is cancelled twice, when the pace is already at
  // its quickest: 100 ms, +100 twice, -100 at the result that finally comes.
  int cancelled = 0;
  fe->result = [&](int f) { return f == 10726 && cancelled++ < 2 ? -125 : -110; };
  sweep("10700", "10729", "00001", "27500", 0);
  std::vector<int> expected = range(10700, 10729, 1);
  expected.insert(expected.begin() + 27, {10726, 10726});
  ASSERT_EQ(fe->tunedFrequencies(), expected);
  EXPECT_EQ(fe->tunes[27].at, fe->answers[26]) << "retuned at once";
  EXPECT_EQ(fe->tunes[28].at, fe->answers[27]);
  EXPECT_EQ(fe->tunes[29].at - fe->answers[28], 200);
  EXPECT_EQ(fe->tunes[30].at - fe->answers[29], 100);
}

TEST_F(SweepRun, ASearchThatTheEndOfTheBandInterruptsIsDropped) {
  fe->result = [](int f) { return f >= 10704 ? 0 : -110; };
  sweep("10700", "10706", "00001", "27500", 0);
  EXPECT_EQ(fe->tunedFrequencies(), range(10700, 10706, 1));
  EXPECT_TRUE(scannedKHz().empty());
  EXPECT_EQ(endMessages, 1);
}

TEST_F(SweepRun, AStartAboveTheEndTunesNothingAndAStepOfZeroStaysPut) {
  sweep("12000", "11000", "00003", "27500", 0);
  EXPECT_TRUE(fe->tunes.empty());
  EXPECT_EQ(events("messageBox").size(), 1u);

  later(20000, [&] { press(rc::red); });
  sweep("10700", "10800", "00000", "27500", 0, false);
  ASSERT_GE(fe->tunes.size(), 5u);
  for (const auto& t : fe->tunes) ASSERT_EQ(t.freqMHz, 10699);
}

TEST_F(SweepRun, AnUnknownResultOrARefusedTransponderHaltsTheSweepUntilAnnulla) {
  // A result of -5 at 10705: nothing more until the user leaves a minute
  // later.
  fe->result = [](int f) { return f == 10705 ? -5 : -110; };
  later(60000, [&] { press(rc::red); });
  sweep("10700", "10720", "00003", "27500", 0, false);
  EXPECT_EQ(fe->tunedFrequencies(), (std::vector<int>{10702, 10705}));
  EXPECT_TRUE(events("messageBox").empty());

  // Polarisation 2: the transponder widget refuses every step, nothing is
  // tuned and the sweep stays on its first step.
  trace.clear();
  fe->tunes.clear();
  later(60000, [&] { press(rc::red); });
  sweep("10700", "10720", "00003", "27500", 2, false);
  EXPECT_TRUE(fe->tunes.empty());
  EXPECT_EQ(events("setSatellite").size(), 1u);
  EXPECT_TRUE(events("messageBox").empty());
}

TEST_F(SweepRun, AnnullaClosesAtOnceOrRightAfterTheReadingInFlight) {
  // Before the first step: nothing is outstanding.
  later(1000, [&] { press(rc::red); });
  sweep("10700", "12750", "00003", "27500", 0, false);
  EXPECT_TRUE(fe->tunes.empty());

  // Between a tune and its reading: closes when the reading is plotted.
  int64_t closedAt = -1;
  later(2500 + 10, [&] { press(rc::red); });
  const size_t before = trace.size();
  sweep("10700", "12750", "00003", "27500", 0, false);
  for (size_t i = before; i < trace.size(); ++i)
    if (trace[i].value("ev", "") == "window" && trace[i].value("action", "") == "close") {
      closedAt = trace[i].value("t", -1);
      break;
    }
  ASSERT_EQ(fe->tunes.size(), 1u);
  EXPECT_EQ(closedAt, fe->answers[0]);
}

TEST_F(SweepRun, ASecondEndOfTheRunGivesBackOnlyTheTvModeAndNothingPlayingPlaysNothing) {
  window = new scan4transp("10700", "10703", "00001", "27500", 0);
  later(2500 + 60, [&] { press(rc::red); });
  window->show();
  window->exec();
  const size_t from = trace.size();
  window->event(eWidgetEvent(eWidgetEvent::execDone));
  EXPECT_EQ(plugin_test::traceText(trace, from, eApp->now()), "0 setMode mode=2\n");
  window->hide();
  delete window;
  window = nullptr;
  EXPECT_TRUE(events("play").empty());
  EXPECT_EQ(Decoder::locked, 0);
}

TEST_F(SweepRun, TheLastPercentageSentOutlivesTheWindow) {
  sweep("10700", "10701", "00001", "27500", 0);  // 50, then 100
  EXPECT_EQ(progress(events("setPerc")), (std::vector<int>{0, 50, 100}));
  const size_t before = events("setPerc").size();
  sweep("10700", "10700", "00001", "27500", 0);  // its only step is at 100 again
  auto all = events("setPerc");
  EXPECT_EQ(progress(std::vector<nlohmann::json>(all.begin() + before, all.end())), std::vector<int>{0});
}

// The scripted readings of the whole sweep below, by frequency in MHz: a
// carrier at 10708..10710 with its best SNR at 10709.
int strengthAt(int f) {
  return 3000 * (f - 10699);
}
int snrAt(int f) {
  return f == 10709 ? 30000 : f == 10708 ? 20000 : f == 10710 ? 25000 : 50000 - 1000 * (f - 10700);
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
  fe->snr = [](int f, int) { return snrAt(f); };
  fe->strength = strengthAt;
  std::string screen, expectedScreen, graphDifference = "no end-of-band message";
  atEndMessage = [&] {
    screen = plugin_test::screenText();
    eGrafico* g = graphOf(window);
    ASSERT_NE(g, nullptr);
    // The tables of the window's and the graph's children; W, H: the
    // window's client size, w: the graph's, fs: its font size. The status
    // widget is hidden by now, and the graph has kept the focus.
    const int W = window->getClientSize().w, H = window->getClientSize().h;
    const int w = g->getClientSize().w, fs = g->getFont().pointSize;
    std::ostringstream t;
    t << "eWindow \"\" \"Vantrel at work...shhh non disturbare ;-)\" 100,10 520x476\n"
      << "  eTransponderWidget \"tpW\" \"\" 0,0 " << W << "x170\n"
      << "  eLabel \"lb_range\" \"Range di frequenze: 10699 - 10714\" 10,280 " << W - 10 << "x30\n"
      << "  eProgress \"progBar\" \"\" 10,260 " << W - 20 << "x20 perc=100\n"
      << "  eGrafico \"\" \"\" 10,282 " << W - 20 << "x120 focus\n"
      << "    eLabel \"\" \"<\" " << 10 << "," << 282 + 2 << " " << fs << "x" << fs << "\n"
      << "    eLabel \"\" \">\" " << 10 + w - fs << "," << 282 + 2 << " " << fs << "x" << fs << "\n"
      << "    eSlider \"\" \"\" " << 10 + fs << "," << 282 + 2 << " " << w - 2 * fs
      << "x18 value=0 max=" << 2270 - w << "\n"
      << "  eButton \"\" \"Annulla\" 10," << H - 40 << " 100x30\n"
      << "eMessageBox \"\" \"Finito\"\n"
      << "  eLabel \"\" \"Scansione terminata. Premere annulla per uscire\"\n"
      << "  eButton \"\" \"OK\" focus\n";
    expectedScreen = t.str();
    // The table: the background, grid lines every 100 columns, and the
    // readings in the order they came, each an SNR then an AGC segment from
    // the previous reading's rows, at the tuned frequency's column.
    const gColor white = eSkin::getActive()->queryColor("std_white");
    const gColor green = eSkin::getActive()->queryColor("std_green");
    const int h = g->hBmp;
    gImage expected(eSize(2470, h), 8);
    expected.fill(eRect(0, 0, 2470, h), eSkin::getActive()->queryScheme("eWindow.titleBar"));
    for (int x = 100; x < 2270; x += 100) expected.line(ePoint(x, 0), ePoint(x, h), white);
    int oldSNR = h, oldAGC = h;
    // The scan's own tune and the time-out that ended the search are both
    // read after the scan, at the scanned frequency.
    for (int f : {10702, 10705, 10708, 10709, 10710, 10709, 10709, 10714}) {
      const int x = f - 10700, ySNR = rowOf(snrAt(f), h), yAGC = rowOf(strengthAt(f), h);
      expected.line(ePoint(x, oldSNR), ePoint(x, ySNR), white);
      expected.line(ePoint(x, oldAGC), ePoint(x, yAGC), green);
      oldSNR = ySNR;
      oldAGC = yAGC;
    }
    graphDifference = plugin_test::imageDifference(*g->image(), expected, (dir / "graph.png").string());
  };
  const int64_t t0 = eApp->now();
  sweep("10700", "10714", "00003", "27500", 0);

  EXPECT_EQ(plugin_test::traceText(trace, 0, t0), R"(0 setPerc perc=0 widget=progBar
0 leaveTransponder freq=0
0 flush
0 setSatellite fec=3 freq=11766000 inv=0 orb=192 pol=0 sr=27500000
0 window action=show title=Vantrel at work...shhh non disturbare ;-)
2500 setSatellite fec=0 freq=10702000 inv=0 orb=192 pol=0 sr=27500000
2500 setPerc perc=20 widget=progBar
2500 tune freq=10702000 pol=0 sr=27500000
2550 tuned err=-110 freq=10702000
2550 dvb type=0
2550 read what=strength
2550 read what=snr
4950 setSatellite fec=0 freq=10705000 inv=0 orb=192 pol=0 sr=27500000
4950 setPerc perc=40 widget=progBar
4950 tune freq=10705000 pol=0 sr=27500000
5000 tuned err=-125 freq=10705000
5000 tune freq=10705000 pol=0 sr=27500000
5050 tuned err=-110 freq=10705000
5050 dvb type=0
5050 read what=strength
5050 read what=snr
7450 setSatellite fec=0 freq=10708000 inv=0 orb=192 pol=0 sr=27500000
7450 setPerc perc=60 widget=progBar
7450 tune freq=10708000 pol=0 sr=27500000
7500 tuned err=0 freq=10708000
7500 read what=snr x20
7500 dvb type=0
7500 read what=strength
7500 read what=snr
9800 setSatellite fec=0 freq=10709000 inv=0 orb=192 pol=0 sr=27500000
9800 setPerc perc=67 widget=progBar
9800 tune freq=10709000 pol=0 sr=27500000
9850 tuned err=0 freq=10709000
9850 read what=snr x20
9850 dvb type=0
9850 read what=strength
9850 read what=snr
12050 setSatellite fec=0 freq=10710000 inv=0 orb=192 pol=0 sr=27500000
12050 setPerc perc=74 widget=progBar
12050 tune freq=10710000 pol=0 sr=27500000
12100 tuned err=0 freq=10710000
12100 read what=snr x20
12100 dvb type=0
12100 read what=strength
12100 read what=snr
14200 setSatellite fec=0 freq=10711000 inv=0 orb=192 pol=0 sr=27500000
14200 setPerc perc=80 widget=progBar
14200 tune freq=10711000 pol=0 sr=27500000
14250 tuned err=-110 freq=10711000
14250 setMode mode=1
14250 setSatellite fec=0 freq=10709000 inv=0 orb=192 pol=0 sr=27500000
14250 scanAdd freq=10709000 pol=0 sr=27500000
14250 scanOption useONIT=0
14250 scanOption useBAT=0
14250 scanOption networkSearch=0
14250 scanOption onlyFree=0
14250 scanOption skipOtherOrbitalPositions=1
14250 window action=hide title=Vantrel at work...shhh non disturbare ;-)
14250 window action=show title=Vantrel:
14250 scanStart transponders=1
14250 dvb type=2
14250 setPerc perc=0 widget=scan_progress
14250 dvb type=5
14250 tune freq=10709000 pol=0 sr=27500000
14300 tuned err=0 freq=10709000
14300 dvb type=0
14300 read what=strength
14300 read what=snr
14300 dvb type=4
14300 dvb type=15
14300 setPerc perc=100 widget=scan_progress
14300 window action=close title=Vantrel:
14300 scanAbort running=false
14300 window action=hide title=Vantrel:
14300 window action=show title=Vantrel at work...shhh non disturbare ;-)
14300 setMode mode=2
14300 dvb type=0
14300 read what=strength
14300 read what=snr
16300 setSatellite fec=0 freq=10714000 inv=0 orb=192 pol=0 sr=27500000
16300 setPerc perc=100 widget=progBar
16300 tune freq=10714000 pol=0 sr=27500000
16350 tuned err=-110 freq=10714000
16350 dvb type=0
16350 read what=strength
16350 read what=snr
18250 messageBox caption=Finito text=Scansione terminata. Premere annulla per uscire
18250 window action=show title=Finito
19000 key name=ok
19000 window action=close title=Finito
19000 window action=hide title=Finito
20000 key name=red
20000 window action=close title=Vantrel at work...shhh non disturbare ;-)
20000 setMode mode=2
20000 leaveTransponder freq=0
20000 tune freq=11766000 pol=0 sr=27500000
20000 play before=-1 freq=11766 service=Canale Test
20000 window action=hide title=Vantrel at work...shhh non disturbare ;-)
)");

  EXPECT_EQ(screen, expectedScreen);
  EXPECT_EQ(graphDifference, "");
}

// Plotting straight into a window's graph, with a 100-row image.
class SweepPlot : public SweepRun {
 protected:
  // Rows of column x in colour c.
  static std::vector<int> rowsIn(const gImage& img, int x, int c) {
    std::vector<int> rows;
    for (int y = 0; y < img.y; ++y)
      if (img.pixel(x, y) == c) rows.push_back(y);
    return rows;
  }
  static std::vector<int> column(const gImage& img, int x) {
    std::vector<int> pixels;
    for (int y = 0; y < img.y; ++y) pixels.push_back(img.pixel(x, y));
    return pixels;
  }
};

TEST_F(SweepPlot, TracesStartFromTheBottomEdgeScaleInSinglePrecisionAndAskForOneRedraw) {
  const int green = eSkin::getActive()->queryColor("std_green");
  const int white = eSkin::getActive()->queryColor("std_white");
  auto w = std::make_unique<scan4transp>("10700", "12750", "00003", "27500", 0);
  eGrafico* g = graphOf(w.get());
  ASSERT_NE(g, nullptr);
  g->hBmp = 100;  // a 100-row image
  g->setRange(10700, 12970, 100);
  // The one redraw of a reading must show both of its segments.
  std::vector<std::vector<int>> asked;
  g->redrawRequested.connect([&] { asked.push_back(column(*g->image(), 2)); });
  w->disegnaSpettro(10702, 32768, 0);
  // 100 * 32768 / 65535 truncates to 50: the AGC runs from row 100 to 50.
  EXPECT_EQ(rowsIn(*g->image(), 2, green), range(50, 99, 1));
  EXPECT_EQ(asked, std::vector<std::vector<int>>{column(*g->image(), 2)});
  w->disegnaSpettro(10702, 65535, 65535);  // same column, from the rows before
  // SNR 100 -> 0 first, then AGC 50 -> 0 over it.
  EXPECT_EQ(rowsIn(*g->image(), 2, white), range(51, 99, 1));
  EXPECT_EQ(rowsIn(*g->image(), 2, green), range(0, 50, 1));
  EXPECT_EQ(asked.size(), 2u);
  // The height is the one of the window's first point, whatever the graph
  // says later: 32768 stays row 50.
  g->hBmp = 50;
  w->disegnaSpettro(10705, 32768, 65535);
  EXPECT_EQ(rowsIn(*g->image(), 5, green), range(0, 50, 1));  // over the SNR's row 0
  EXPECT_TRUE(rowsIn(*g->image(), 3, green).empty() && rowsIn(*g->image(), 4, white).empty());
  w.reset();

  // A new window starts again from its own bottom edge.
  w = std::make_unique<scan4transp>("10700", "12750", "00003", "27500", 0);
  g = graphOf(w.get());
  w->disegnaSpettro(10710, 65535, 0);
  EXPECT_EQ(rowsIn(*g->image(), 10, green), range(0, g->hBmp - 1, 1));
}

}  // namespace
