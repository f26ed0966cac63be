// The DVB widgets: the transponder widget takes only what it can show, and
// the status widget follows the front end.
#include <climits>

#include "dvb/dvb_fixture.h"
#include "host/dvbwidgets.h"
#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/ewindow.h"

namespace {

class WidgetTest : public DvbTest {
 protected:
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(
        bandJson(carrierJson(11000, "H", 27500, 10, "DVB-S", R"({"name": "A", "provider": "P"})")), &error))
        << error;
    window = std::make_unique<eWindow>(0);
    window->resize(eSize(520, 476));
  }
  void TearDown() override {
    window.reset();
    DvbTest::TearDown();
  }
  std::string text(const char* name) {
    eWidget* w = window->search(name);
    return w ? w->getText() : "<none>";
  }
  std::unique_ptr<eWindow> window;
};

}  // namespace

TEST_F(WidgetTest, TransponderWidgetShowsWhatItTookAndRefusesWhatItCannotShow) {
  auto* tpW = new eTransponderWidget(window.get(), 0, 10);
  tpW->cresize(eSize(500, 170));
  window->show();
  // Hidden until its owner has loaded and shown it.
  EXPECT_FALSE(tpW->isVisible());
  EXPECT_EQ(tpW->load(), 0);
  tpW->show();
  EXPECT_TRUE(tpW->isVisible());
  auto shown = [&] {
    return text("tp_frequency") + "|" + text("tp_symbolrate") + "|" + text("tp_polarisation") + "|" +
           text("tp_fec");
  };
  eTransponder good(*eDVB::instance->getTransponders()), out(good), tp(good);
  good.setSatellite(11778999, 27500000, 1, 3, 130, 0);
  ASSERT_EQ(tpW->setTransponder(&good), 0);
  EXPECT_EQ(shown(), "Frequenza: 11779 MHz|Symbol rate: 27500 ksym/s|Polarizzazione: verticale|FEC: 3/4");
  ASSERT_EQ(tpW->getTransponder(&out), 0);
  EXPECT_TRUE(out == good);
  EXPECT_EQ(out.satellite.fec, 3);
  const int bad[][4] = {
      {-1000, 27500000, 0, 0},    {0, 27500000, 0, 0},         {100000000, 27500000, 0, 0},
      {10702000, 0, 0, 0},        {10702000, -5, 0, 0},        {10702000, 100000000, 0, 0},
      {10702000, 27500000, 2, 0}, {10702000, 27500000, 0, 10}, {10702000, 27500000, -1, -1}};
  for (const auto& b : bad) {
    ASSERT_EQ(tpW->setTransponder(&good), 0);
    tp.setSatellite(b[0], b[1], b[2], b[3], 130, 0);
    EXPECT_NE(tpW->setTransponder(&tp), 0) << b[0] << " " << b[1] << " " << b[2] << " " << b[3];
    // Never the earlier transponder in its place.
    out.setSatellite(1, 1, 0, 0, 0, 0);
    EXPECT_NE(tpW->getTransponder(&out), 0);
    EXPECT_EQ(out.satellite.frequency, 1);
    EXPECT_EQ(text("tp_frequency"), "Frequenza: -");
  }
  eTransponder blank(*eDVB::instance->getTransponders());
  EXPECT_NE(tpW->setTransponder(&blank), 0);  // no satellite parameters at all
  EXPECT_NE(tpW->setTransponder(nullptr), 0);
}

TEST_F(WidgetTest, StatusWidgetShowsLockAndBarsOnItsOwnTimer) {
  auto* status = new eFEStatusWidget(window.get(), eFrontend::frontend);
  status->cresize(eSize(500, 100));
  window->show();
  eTransponder tp(*eDVB::instance->getTransponders());
  tuneAndWait(tp, 11000000, 27500, 0);
  box::wait(600);
  EXPECT_EQ(text("fe_lock"), "Agganciato");
  auto* snr = static_cast<eProgress*>(window->search("fe_snr"));
  auto* agc = static_cast<eProgress*>(window->search("fe_agc"));
  ASSERT_NE(snr, nullptr);
  int lockedSnr = snr->getPerc(), lockedAgc = agc->getPerc();
  EXPECT_GT(lockedSnr, 35);
  EXPECT_EQ(text("fe_snr_text"), "SNR: " + std::to_string(lockedSnr) + "%");
  tuneAndWait(tp, 12000000, 27500, 0);
  box::wait(600);
  EXPECT_EQ(text("fe_lock"), "Non agganciato");
  EXPECT_LT(snr->getPerc(), 10);
  EXPECT_LT(agc->getPerc(), lockedAgc);
  // Its own ticks neither trace nor take readings from the plug-in's streams.
  EXPECT_TRUE(events("setPerc").empty());
  // Hidden, it stops ticking.
  status->hide();
  tuneAndWait(tp, 11000000, 27500, 0);
  box::wait(600);
  EXPECT_EQ(text("fe_lock"), "Non agganciato");
  // Another front end's readings that run past the scale (as a driver's might) are taken within it.
  struct Loud : eFrontend {
    int snr = 0, strength = 0;
    int SNR() override { return snr; }
    int SignalStrength() override { return strength; }
    int Locked() override { return 1; }
    int tune(eTransponder*) override { return 0; }
  } loud;
  window = std::make_unique<eWindow>(0);
  window->resize(eSize(520, 476));
  (new eFEStatusWidget(window.get(), &loud))->cresize(eSize(500, 100));
  window->show();
  std::string shown;
  for (auto [snr, strength] : {std::pair{INT_MAX, INT_MIN}, std::pair{65535, 0}, std::pair{-5, 32768}}) {
    std::tie(loud.snr, loud.strength) = std::tie(snr, strength);
    box::wait(600);
    shown += text("fe_snr_text") + " " + text("fe_agc_text") + "; ";
  }
  EXPECT_EQ(shown, "SNR: 100% AGC: 0%; SNR: 100% AGC: 0%; SNR: 0% AGC: 50%; ");
  window.reset();  // the widget goes before the front end it reads
}
