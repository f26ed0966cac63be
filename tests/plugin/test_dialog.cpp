// The parameter dialog: defaults, digit entry, focus and the sweep round trip.
#include <string>
#include <vector>

#include "entry/evantrel.h"
#include "host/enumber.h"
#include "host/rc.h"
#include "plugin/sweep_fixture.h"

extern "C" int plugin_exec();

namespace {

class DialogTest : public SweepTest {
 protected:
  // The sweeps started, as the launcher reported them.
  std::vector<std::string> sweeps() const {
    std::vector<std::string> out;
    for (const auto& e : events("log")) {
      std::string text = e.value("text", "");
      if (text.rfind("sweep ", 0) == 0) out.push_back(text);
    }
    return out;
  }
  static std::string digits(eWidget* dialog, const char* field) {
    auto* n = dynamic_cast<eNumber*>(dialog->search(field));
    if (!n) return "missing";
    std::string s;
    for (int i = 0; i < 5; ++i) s += std::to_string(n->getNumber(i));
    return s;
  }
  static eWidget* top() { return box::Screen::instance().activeWindow(); }
  // As each sweep window comes up: whether the dialog is off the screen.
  static void noteDialogHidden(const nlohmann::json& line, void* self) {
    auto* v = static_cast<std::vector<bool>*>(self);
    if (line.value("ev", "") != "window" || line.value("action", "") != "show" ||
        line.value("title", "").rfind("Vantrel at work", 0) != 0)
      return;
    bool dialogShown = false;
    for (eWidget* w : box::Screen::instance().windows())
      dialogShown |= w->getText() == "Vantrel by Tessmar v 0.1.0.beta";
    v->push_back(!dialogShown);
  }
};

TEST_F(DialogTest, OpensOnDefaultsWithFocusOnStartFrequency) {
  eVantrel dialog;
  dialog.show();
  EXPECT_EQ(dialog.getText(), "Vantrel by Tessmar v 0.1.0.beta");
  EXPECT_EQ(dialog.getPosition().x, 100);
  EXPECT_EQ(dialog.getSize().h, 376);
  EXPECT_EQ(digits(&dialog, "freqStart"), "10700");
  EXPECT_EQ(digits(&dialog, "freqEnd"), "12750");
  EXPECT_EQ(digits(&dialog, "symbolRate"), "27500");
  EXPECT_EQ(digits(&dialog, "valStep"), "00003");
  auto* pol = dynamic_cast<eListBox<eListBoxEntryText>*>(dialog.search("polarita"));
  ASSERT_NE(pol, nullptr);
  ASSERT_NE(pol->getCurrent(), nullptr);
  EXPECT_EQ(pol->getCurrent()->getText(), "orizzontale");
  EXPECT_EQ(dialog.getFocus(), dialog.search("freqStart"));
  EXPECT_TRUE(box::Screen::instance().showsText("Avvia"));
  EXPECT_TRUE(box::Screen::instance().showsText("Annulla"));
  later(50, [&] { press(rc::red); });  // leaves the sweep window again
  press(rc::green);                    // at once: the defaults, step before symbol rate
  EXPECT_EQ(sweeps(), std::vector<std::string>{"sweep 10700 12750 00003 27500 0"});
  EXPECT_TRUE(dialog.isShown());
}

TEST_F(DialogTest, TypedDigitsKeepLeadingZerosAndConfirmingMovesOn) {
  eVantrel dialog;
  dialog.show();
  for (int k : {rc::k0, rc::k9, rc::k7, rc::k5, rc::k0}) press(k);
  EXPECT_EQ(dialog.getFocus(), dialog.search("freqEnd"));
  press(rc::ok);
  EXPECT_EQ(dialog.getFocus(), dialog.search("symbolRate"));
  dialog.setFocus(dialog.search("valStep"));
  for (int i = 0; i < 5; ++i) press(rc::k0);
  EXPECT_EQ(dialog.getFocus(), dialog.search("polarita"));
  press(rc::down);  // "verticale"
  later(50, [&] { press(rc::red); });
  press(rc::green);
  EXPECT_EQ(sweeps(), std::vector<std::string>{"sweep 09750 12750 00000 27500 1"});
}

TEST_F(DialogTest, EachAvviaRoundTripsAndRedCloses) {
  std::vector<bool> hiddenDuring, shownAfter;
  std::vector<std::string> startAfter;
  box::Trace::addObserver(&noteDialogHidden, &hiddenDuring);
  later(100, [&] { press(rc::green); });
  later(150, [&] { press(rc::red); });  // "Annulla" in the sweep window
  later(200, [&] {
    shownAfter.push_back(top() && top()->getText() == "Vantrel by Tessmar v 0.1.0.beta");
    press(rc::k1);
    press(rc::k1);
    top()->setFocus(top()->search("polarita"));
    press(rc::down);
    press(rc::green);
  });
  later(250, [&] { press(rc::red); });
  later(300, [&] {
    shownAfter.push_back(top() && top()->getText() == "Vantrel by Tessmar v 0.1.0.beta");
    startAfter.push_back(digits(top(), "freqStart"));
    press(rc::red);
  });
  EXPECT_EQ(plugin_exec(), 0);
  box::Trace::removeObserver(&noteDialogHidden, &hiddenDuring);
  EXPECT_EQ(sweeps(),
            (std::vector<std::string>{"sweep 10700 12750 00003 27500 0", "sweep 11700 12750 00003 27500 1"}));
  EXPECT_EQ(hiddenDuring, (std::vector<bool>{true, true}));
  EXPECT_EQ(shownAfter, (std::vector<bool>{true, true}));
  EXPECT_EQ(startAfter, std::vector<std::string>{"11700"});
  EXPECT_EQ(top(), nullptr);
}

TEST_F(DialogTest, PluginReturnsZeroWhenExitEndsTheLoop) {
  later(50, [&] { press(rc::exit); });
  EXPECT_EQ(plugin_exec(), 0);
}

}  // namespace
