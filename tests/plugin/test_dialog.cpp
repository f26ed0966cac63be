// The parameter dialog: defaults, digit entry, focus and the sweep round trip.
#include <string>
#include <vector>

#include "entry/evantrel.h"
#include "host/enumber.h"
#include "host/i18n.h"
#include "host/rc.h"
#include "plugin/sweep_fixture.h"

extern "C" int plugin_exec();

namespace {

class DialogTest : public SweepTest {
 protected:
  static eWidget* top() { return box::Screen::instance().activeWindow(); }
  // The windows shown, bottom first, by the start of their titles.
  static std::string shown() {
    std::string out;
    for (eWidget* w : box::Screen::instance().windows()) out += std::string(w->getText()).substr(0, 10) + ";";
    return out;
  }
};

TEST_F(DialogTest, OpensOnDefaultsWithFocusOnStartFrequency) {
  eVantrel dialog;
  dialog.show();
  EXPECT_EQ(plugin_test::screenText(), R"(eWindow "" "Vantrel by Tessmar v 0.1.0.beta" 100,10 520x376
  eLabel "lFreqStart" "Frequenza iniziale:" 10,30 150x30
  eNumber "freqStart" "" 170,25 120x30 focus value=10700
  eLabel "lFreqEnd" "Frequenza finale:" 10,60 150x60
  eNumber "freqEnd" "" 170,55 120x30 value=12750
  eLabel "lSymbolRate" "Symbol Rate:" 10,90 150x60
  eNumber "symbolRate" "" 170,85 120x30 value=27500
  eLabel "lStep" "Step scansione:" 10,120 150x60
  eNumber "valStep" "" 170,115 120x30 value=00003
  eLabel "lpolarita" "Polarità:" 10,150 150x60
  eListBox "polarita" "" 170,145 120x34 current=orizzontale
  eButton "" "Avvia" 372,298 130x30
  eLabel "" "" 140,298 272x30
  eButton "" "Annulla" 10,298 130x30
)");
}

// Two sweeps from the dialog: the defaults at once, then typed digits, which
// keep their leading zeros and move on after the fifth, as confirming does.
// The sweep window gets the step before the symbol rate.
TEST_F(DialogTest, EachAvviaRoundTripsTypedDigitsAndRedCloses) {
  std::vector<std::string> seen;
  later(100, [&] { press(rc::green); });
  later(150, [&] {
    seen.push_back(shown());
    press(rc::red);  // "Annulla" in the sweep window
  });
  later(200, [&] {
    seen.push_back(shown());
    for (int k : {rc::k0, rc::k9, rc::k7, rc::k5, rc::k0}) press(k);
    EXPECT_EQ(top()->getFocus(), top()->search("freqEnd"));
    press(rc::ok);
    EXPECT_EQ(top()->getFocus(), top()->search("symbolRate"));
    top()->setFocus(top()->search("valStep"));
    for (int i = 0; i < 5; ++i) press(rc::k0);
    EXPECT_EQ(top()->getFocus(), top()->search("polarita"));
    press(rc::down);    // "verticale"
    fe->tunes.clear();  // what the first sweep gave back
    press(rc::green);
  });
  later(2800, [&] {
    seen.push_back(shown());
    press(rc::red);
  });
  later(2900, [&] {
    std::string s = shown();  // and the start frequency kept
    auto* n = dynamic_cast<eNumber*>(top()->search("freqStart"));
    for (int i = 0; n && i < 5; ++i) s += std::to_string(n->getNumber(i));
    seen.push_back(s);
    press(rc::red);
  });
  EXPECT_EQ(plugin_exec(), 0);
  // The sweeps as the launcher reported them, and the second's first tune:
  // a step of 0 stays on the start minus 1.
  std::string sweeps;
  for (const auto& e : events("log")) sweeps += e.value("text", "") + "\n";
  const auto& t = fe->tunes.at(0);
  EXPECT_EQ(sweeps + std::to_string(t.freqMHz) + " " + std::to_string(t.srKs) + " " + std::to_string(t.pol),
            "sweep 10700 12750 00003 27500 0\nsweep 09750 12750 00000 27500 1\n9749 27500 1");
  EXPECT_EQ(seen,
            (std::vector<std::string>{"Vantrel at;", "Vantrel by;", "Vantrel at;", "Vantrel by;09750"}));
  EXPECT_EQ(top(), nullptr);
}

}  // namespace
