// The sweep window on a scripted front end: stepping and its pace, the
// best-frequency search and the scan it leads to, the end of the band,
// plotting, and what the box gets back when the window's run ends.
#include <filesystem>
#include <fstream>

#include "graph/egrafico.h"
#include "host/decoder.h"
#include "host/eskin.h"
#include "plugin/sweep_fixture.h"

namespace {

// A band seen by the box's DVB layer; the scripted front end answers the
// tunes, so only the playing service and the orbital position matter here.
std::string writeBand(const std::string& name, bool playing) {
  const std::string path = VANTREL_BINARY_DIR "/test-output/" + name + ".json";
  std::filesystem::create_directories(VANTREL_BINARY_DIR "/test-output");
  std::ofstream out(path);
  out << R"({"name": "Test", "orbital_position": 192, )";
  if (playing)
    out << R"("playing": {"frequency_mhz": 11766, "polarisation": "H", "symbol_rate_ks": 27500, "fec": 3,
                          "service": "Canale Test"}, )";
  out << R"("carriers": [{"frequency_mhz": 11766, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 10,
                          "system": "DVB-S", "services": [{"name": "Canale Test", "provider": "Prova"}]}]})";
  return path;
}

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

// Nothing plays at the start unless a test says otherwise, so the only tunes
// are the sweep's own.
class SweepRun : public SweepTest {
 protected:
  std::string band() override { return writeBand("nothing-playing", false); }
};

TEST_F(SweepRun, DefaultsStepEveryThreeMHzAtAQuickeningPaceAndEndWithTheMessage) {
  std::string rangeText;
  bool graphFocused = false;
  later(10, [&] {
    rangeText = window->search("lb_range")->getText();
    graphFocused = dynamic_cast<eGrafico*>(window->getFocus()) != nullptr;
  });
  const int64_t t0 = eApp->now();
  sweep("10700", "12750", "00003", "27500", 0);

  EXPECT_EQ(rangeText, "Range di frequenze: 10699 - 12750");
  EXPECT_TRUE(graphFocused);
  EXPECT_EQ(fe->tunedFrequencies(), range(10702, 12748, 3));
  ASSERT_EQ(fe->tunes.size(), 683u);
  EXPECT_EQ(fe->tunes[0].at - t0, 2500);
  for (const auto& t : fe->tunes) ASSERT_TRUE(t.srKs == 27500 && t.pol == 0);

  // Nothing played before the sweep: the orbital position falls back to 130.
  auto first = eventsWith("setSatellite", "freq", 10702000);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0]["sr"], 27500000);
  EXPECT_EQ(first[0]["pol"], 0);
  EXPECT_EQ(first[0]["fec"], 0);
  EXPECT_EQ(first[0]["orb"], 130);
  EXPECT_EQ(first[0]["inv"], 0);

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

  auto box = events("messageBox");
  ASSERT_EQ(box.size(), 1u);
  EXPECT_EQ(box[0]["text"], "Scansione terminata. Premere annulla per uscire");
  EXPECT_EQ(box[0]["caption"], "Finito");
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
  fe->snr = [](int f) { return f <= 10720 ? 30000 - 1000 * std::abs(f - 10716) : 20000 + 100 * (f - 10723); };
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
  int scanWindows = 0;
  for (const auto& e : events("window"))
    scanWindows += e.value("action", "") == "show" && e.value("title", "") == "Vantrel:";
  EXPECT_EQ(scanWindows, 2);
}

TEST_F(SweepRun, TiesGoToTheEarlierSampleAndAllZeroToTheLock) {
  fe->result = [](int f) { return (f >= 10711 && f <= 10720) ? 0 : -110; };
  fe->snr = [](int f) { return (f == 10713 || f == 10717) ? 5000 : 100; };
  sweep("10700", "10722", "00003", "27500", 0);
  fe->snr = [](int) { return 0; };
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

TEST_F(SweepRun, LeavingGivesBackTvModeTransponderAndServiceOnce) {
  bootBand(writeBand("playing", true));
  window = new scan4transp("10700", "10703", "00001", "27500", 0);
  later(2500 + 60, [&] { press(rc::red); });
  window->show();
  window->exec();
  const auto plays = events("play");
  ASSERT_EQ(plays.size(), 1u);
  EXPECT_EQ(plays[0]["service"], "Canale Test");
  EXPECT_EQ(events("setMode").back()["mode"], eDVB::modeTV);
  // The saved transponder is tuned again, on the orbital position it had.
  ASSERT_EQ(fe->tunes.size(), 2u);
  EXPECT_EQ(fe->tunes[1].freqMHz, 11766);
  EXPECT_EQ(eventsWith("setSatellite", "freq", 10700000).at(0)["orb"], 192);
  EXPECT_EQ(Decoder::locked, 0);

  // A second end of the run gives back the TV mode and nothing else.
  const size_t modes = events("setMode").size();
  window->event(eWidgetEvent(eWidgetEvent::execDone));
  EXPECT_EQ(events("setMode").size(), modes + 1);
  EXPECT_EQ(events("play").size(), 1u);
  EXPECT_EQ(fe->tunes.size(), 2u);
  window->hide();
  delete window;
  window = nullptr;

  // With nothing playing at the start, no service is played on leaving.
  bootBand(writeBand("nothing-playing", false));
  later(100, [&] { press(rc::red); });
  sweep("10700", "10703", "00001", "27500", 0, false);
  EXPECT_EQ(events("play").size(), 1u);
}

TEST_F(SweepRun, TheLastPercentageSentOutlivesTheWindow) {
  sweep("10700", "10701", "00001", "27500", 0);  // 50, then 100
  EXPECT_EQ(progress(events("setPerc")), (std::vector<int>{0, 50, 100}));
  const size_t before = events("setPerc").size();
  sweep("10700", "10700", "00001", "27500", 0);  // its only step is at 100 again
  auto all = events("setPerc");
  EXPECT_EQ(progress(std::vector<nlohmann::json>(all.begin() + before, all.end())), std::vector<int>{0});
}

class SweepPlot : public SweepTest {
 protected:
  eGrafico* graphOf(eWidget* w) {
    for (eWidget* child : w->getChildren())
      if (auto* g = dynamic_cast<eGrafico*>(child)) return g;
    return nullptr;
  }
  // Rows of column x in colour c.
  static std::vector<int> rowsIn(const gImage& img, int x, int c) {
    std::vector<int> rows;
    for (int y = 0; y < img.y; ++y)
      if (img.pixel(x, y) == c) rows.push_back(y);
    return rows;
  }
};

TEST_F(SweepPlot, TracesStartFromTheBottomEdgeAndScaleInSinglePrecision) {
  const int green = eSkin::getActive()->queryColor("std_green");
  const int white = eSkin::getActive()->queryColor("std_white");
  auto* w = new scan4transp("10700", "12750", "00003", "27500", 0);
  eGrafico* g = graphOf(w);
  ASSERT_NE(g, nullptr);
  g->hBmp = 100;  // a 100-row image
  g->setRange(10700, 12970, 100);
  w->disegnaSpettro(10702, 32768, 0);
  // 100 * 32768 / 65535 truncates to 50: the AGC runs from row 100 to 50.
  EXPECT_EQ(rowsIn(*g->image(), 2, green), range(50, 99, 1));
  w->disegnaSpettro(10702, 65535, 65535);  // same column, from the rows before
  // SNR 100 -> 0 first, then AGC 50 -> 0 over it.
  EXPECT_EQ(rowsIn(*g->image(), 2, white), range(51, 99, 1));
  EXPECT_EQ(rowsIn(*g->image(), 2, green), range(0, 50, 1));
  w->disegnaSpettro(10705, 0, 65535);
  EXPECT_EQ(rowsIn(*g->image(), 5, green), range(0, 99, 1));
  EXPECT_TRUE(rowsIn(*g->image(), 3, green).empty() && rowsIn(*g->image(), 4, white).empty());
  delete w;

  // A new window starts again from its own bottom edge.
  auto* next = new scan4transp("10700", "12750", "00003", "27500", 0);
  eGrafico* g2 = graphOf(next);
  next->disegnaSpettro(10710, 65535, 0);
  EXPECT_EQ(rowsIn(*g2->image(), 10, green), range(0, g2->hBmp - 1, 1));
  delete next;
  Decoder::locked = 0;
}

}  // namespace
